// Acts of completed work: one act per reporting period, each with its own
// price indexes, additional costs and signatures. Positions and resources
// refer to the acts of the estimate's list by index.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/signatures.h"
#include "shared/addons.h"
#include "smeta/addzatrats.h"
#include "smeta/indexes.h"

namespace kdx {

class TSmetaImlpemAct : public TKDXAbstractRow, public IPriceIndexAddOnTypesOwner {
 public:
  explicit TSmetaImlpemAct(TKDXAbstractRow* owner);
  TSmetaRowKind GetKind() const override { return srkImplemAct; }
  const char* XMLTag() const override { return "ImplemAct"; }
  TPriceIndexAddOnTypes* IndexAddOnTypes() override { return &FIndexesAddOnTypes; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  std::string FNumber;
  double FMakingDate = 0;
  uint16_t FYear = 0;
  uint16_t FMonth = 0;
  uint16_t FDayStart = 0;
  uint16_t FDayFinish = 0;
  uint8_t FIndexesMode = 0;
  int32_t FMtsnNaklZpmCurr = 0;
  int32_t FMtsnPlanZpmCurr = 0;
  TPriceIndexAddOnTypes FIndexesAddOnTypes;
  TSmetaIndexesPos FIndexesPos;
  TSmetaIndexesRes FIndexesRes;
  TKDXSmetaIndexSmrLz FCommonIndexSmr;
  TKDXSmetaIndexSmrLz FCommonIndexSmrLz;
  TKDXSmetaIndexSmrLz FCommonIndexRes;
  TSmetaAddZatrats FAddZatrs;
  TKDXDocSignatures FActSignatures;

  // The index of the act's own position indexes that stands for the given
  // one: the index itself when it is one of them; else the first of them
  // equal to it in all data; else the last with the same code (letter case
  // aside), made a copy of it; else a new copy appended.
  TKDXAbstractIndex* ReceivePositionIndex(const TKDXAbstractIndex& index);

  // The act's place in its list when the list last counted it; the list
  // checks it before trusting it.
  mutable size_t FListIndex = 0;

 private:
  // The position indexes by code in upper case, each in list order; covers
  // the first FIndexesByCodeCount of them.
  std::unordered_map<std::string, std::vector<TKDXAbstractIndex*>> FIndexesByCode;
  size_t FIndexesByCodeCount = 0;
  // What each index given to ReceivePositionIndex received, until the
  // position indexes change.
  std::unordered_map<const TKDXAbstractIndex*, TKDXAbstractIndex*> FReceived;
};

// The estimate's acts, and which of them is current.
class TSmetaImlpemActList : public TKdTypedList<TSmetaImlpemAct> {
 public:
  explicit TSmetaImlpemActList(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  const char* XMLTag() const override { return "ImplemActs"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // Index of the act in the list, or -1.
  int IndexOf(const TKDXAbstractRow* act) const;
  // The act of a reporting period, for the records of older files: the first
  // act of that month and year; else a new act for the period, appended, after
  // which the acts are sorted by making date, to be numbered "1", "2", ... by
  // NumberPending.
  // nullptr for a month outside 1..12.
  TSmetaImlpemAct* EnsureActInListOnOldFormatConvertion(int month, int year);
  // Gives the acts made since the last call their numbers (the estimate's
  // load does at its end).
  void NumberPending();
  // The act at a stored index; nullptr outside the list.
  TSmetaImlpemAct* Entry(int64_t index) const {
    return index < 0 ? nullptr : At(static_cast<size_t>(index));
  }

  TSmetaImlpemAct* FCurrentAct = nullptr;
  size_t FLoadedItemsCount = 0;

 private:
  // Brings the acts' places up to date.
  void CountPlaces() const;
  // Makes the period lookup and the order flag cover the acts as they are.
  void RefreshPeriods();
  void RebuildPeriods();
  // Sorts all acts by making date, then by number, and numbers them.
  void SortAndNumber();
  // The acts from the given place on are to be numbered "place + 1", ... by
  // NumberPending: an act put before all others would otherwise renumber
  // every act after it, each time.
  void NumberFrom(size_t place) { FUnnumberedFrom = std::min(FUnnumberedFrom, place); }

  // The first act of each (year, month), in list order; covers the first
  // FPeriodsCount acts.
  std::map<std::pair<int, int>, TSmetaImlpemAct*> FPeriods;
  size_t FPeriodsCount = 0;
  // The acts stand sorted and numbered, no two on the same day.
  bool FDaysOrdered = false;
  // Where the acts still to be numbered start (none when past the end).
  size_t FUnnumberedFrom = SIZE_MAX;
};

// The estimate's index mode, which an act takes when its file stores none.
class ISmetaIndexesModeSource {
 public:
  virtual uint8_t SmetaIndexesMode() const = 0;

 protected:
  ~ISmetaIndexesModeSource() = default;
};

}  // namespace kdx

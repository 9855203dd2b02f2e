// Acts of completed work: one act per reporting period, each with its own
// price indexes, additional costs and signatures. Positions and resources
// refer to the acts of the estimate's list by index.
#pragma once

#include <cstdint>
#include <string>

#include "model/signatures.h"
#include "priceindexes/addons.h"
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
  void XMLSave(XmlElement& element) override;

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
};

// The estimate's acts, and which of them is current.
class TSmetaImlpemActList : public TKdTypedList<TSmetaImlpemAct> {
 public:
  explicit TSmetaImlpemActList(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  const char* XMLTag() const override { return "ImplemActs"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement& element) override;

  // Index of the act in the list, or -1.
  int IndexOf(const TKDXAbstractRow* act) const;
  // The act at a stored index; nullptr outside the list.
  TSmetaImlpemAct* Entry(int64_t index) const {
    return index < 0 ? nullptr : At(static_cast<size_t>(index));
  }

  TSmetaImlpemAct* FCurrentAct = nullptr;
  size_t FLoadedItemsCount = 0;
};

// The estimate's index mode, which an act takes when its file stores none.
class ISmetaIndexesModeSource {
 public:
  virtual uint8_t SmetaIndexesMode() const = 0;

 protected:
  ~ISmetaIndexesModeSource() = default;
};

}  // namespace kdx

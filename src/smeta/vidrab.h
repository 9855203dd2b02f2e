// The work-type catalogue of an estimate: two lists (for the 1984 base price
// level and for current prices with the 2001 base) of named groups of work
// types, each work type carrying overhead and profit rates, the cost items
// they are taken from, a column of the object estimate and a price-index code.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "model/row.h"

namespace kdx {

// Which list of the catalogue.
enum TSmetaVidRabType : uint8_t { vr1984, vr2001 };
// Index of the per-method coefficient texts of a work type.
enum TSmetaCalcMethod : uint8_t { scmBase, scmBInd, scmRes };
inline constexpr int kCalcMethods = 3;

class TKDXSmetaVidRabGroup;

// A work type.
class TKDXSmetaVidRab : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  TSmetaRowKind GetKind() const override { return srkVr; }
  const char* XMLTag() const override { return "Vid_Rab"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // The group the work type belongs to, or nullptr.
  TKDXSmetaVidRabGroup* Group() const;
  // Its own price-index code, or the group's when its own is empty.
  std::string_view PriceIndexCode() const;
  uint8_t PlanMask() const { return FMask[0]; }
  uint8_t NaclMask() const { return FMask[1]; }

  int32_t FNacl = 0;
  int32_t FPlan = 0;
  int32_t FNaclCurr = 0;
  int32_t FPlanCurr = 0;
  // The profit base mask, then the overhead base mask (cost-part bits).
  std::array<uint8_t, 2> FMask{};
  int32_t FSys_ID = 0;
  uint8_t FOsColumn = 0;
  std::string FPriceIndexCode;
  std::array<std::string, kCalcMethods> FNaclK;
  std::array<std::string, kCalcMethods> FPlanK;
};

// A named group of work types.
class TKDXSmetaVidRabGroup : public TKdTypedList<TKDXSmetaVidRab> {
 public:
  explicit TKDXSmetaVidRabGroup(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  TSmetaRowKind GetKind() const override { return srkVrGroup; }
  const char* XMLTag() const override { return "VidRab_Group"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  int32_t FSysID = 0;
  std::string FPriceIndexCode;
};

// One list of groups; its caption is fixed by the list type and not stored.
class TKDXSmetaVidRabs : public TKdTypedList<TKDXSmetaVidRabGroup> {
 public:
  TKDXSmetaVidRabs(TKDXAbstractRow* owner, TSmetaVidRabType type)
      : TKdTypedList(owner, 0), FVrType(type) {}
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "Vids_Rab"; }
  TSmetaVidRabType VrType() const { return FVrType; }
  void ReadData(TKdFiler& filer) override;
  // The first work type with the ID, groups and their items in order; nullptr when none.
  TKDXSmetaVidRab* FindVidRab(int32_t id) const;

 private:
  TSmetaVidRabType FVrType;
  // The work types by ID, made at the first look-up after the list is read:
  // every position names its work types, and a search per position would
  // grow with the square of the document.
  mutable std::unordered_map<int32_t, TKDXSmetaVidRab*> FById;
  mutable bool FByIdMade = false;
};

// The catalogue: the 1984 list (entry 0) and the 2001 list (entry 1).
class TSmetaVidRabsCatalog : public TKDXAbstractRow {
 public:
  explicit TSmetaVidRabsCatalog(TKDXAbstractRow* owner)
      : TKDXAbstractRow(owner), FItems{{{this, vr1984}, {this, vr2001}}} {}
  const char* XMLTag() const override { return "VidRab_Catalog"; }
  TKDXAbstractRow* GetRow(size_t index) const override {
    return index < FItems.size() ? const_cast<TKDXSmetaVidRabs*>(&FItems[index]) : nullptr;
  }
  size_t GetRowsCount() const override { return FItems.size(); }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  TKDXSmetaVidRabs& List(TSmetaVidRabType type) { return FItems[type]; }
  const TKDXSmetaVidRabs& List(TSmetaVidRabType type) const { return FItems[type]; }
  // The caption as shown: a default name when none is stored.
  std::string_view DisplayCaption() const;

 private:
  std::array<TKDXSmetaVidRabs, 2> FItems;
};

}  // namespace kdx

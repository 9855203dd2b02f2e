// Index add-ons: charges (overheads, estimated profit, winter rise, or charges
// of user-defined types) that hang under every index position, the list of
// user-defined add-on types they refer to by position, and the index position
// that holds them.
#pragma once

#include <cstdint>
#include <memory>

#include "shared/abstract_index.h"

namespace kdx {

// A built-in add-on kind.
enum TPriceIndexAddOnCommonType : uint8_t { iactNone, iactNakl, iactPlan, iactWinter };
// Where an add-on is calculated.
enum TPriceIndexAddOnPlace : uint8_t { iaptAsIndex, iaptItog, iaptSmr };

// A user-defined add-on type.
class TPriceIndexAddOnType : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  const char* XMLTag() const override { return "AddOnType"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  int32_t FLevel = 1;
  bool FActive = true;
  uint8_t FPlace = iaptAsIndex;
};

class TPriceIndexAddOnTypes : public TKdTypedList<TPriceIndexAddOnType> {
 public:
  explicit TPriceIndexAddOnTypes(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  const char* XMLTag() const override { return "IndexAddOnTypes"; }
};

// An owner (a price-index document, an estimate, an act of completed work)
// whose add-on types the add-ons of its index positions refer to. An index
// position resolves against the nearest such owner.
class IPriceIndexAddOnTypesOwner {
 public:
  virtual TPriceIndexAddOnTypes* IndexAddOnTypes() = 0;

 protected:
  ~IPriceIndexAddOnTypesOwner() = default;
};

class TPriceIndexAddOnList;

// An add-on: an index item without caption, with a built-in kind or a
// reference to a user-defined type.
class TPriceIndexAddOn : public TKDXAbstractIndex {
 public:
  using TKDXAbstractIndex::TKDXAbstractIndex;
  uint8_t GetOptions() const override { return 0; }
  TSmetaRowKind GetKind() const override { return srkIndexAddOn; }
  const char* XMLTag() const override { return "AddOn"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  uint8_t FCommonType = iactNone;
  // The user-defined type (not owned), used when there is no built-in kind.
  const TPriceIndexAddOnType* FAddOnType = nullptr;

 protected:
  void XMLSaveValues(XmlElement element) const override;

 private:
  // Overheads and profit carry one rate: every factor other than 1 takes the
  // value of the first such factor.
  void NormaliseRate();
  bool IsNaklOrPlan() const { return FCommonType == iactNakl || FCommonType == iactPlan; }
  const TPriceIndexAddOnTypes* Types() const;
};

// The add-ons of one index position.
class TPriceIndexAddOnList : public TKdTypedList<TPriceIndexAddOn> {
 public:
  explicit TPriceIndexAddOnList(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  const char* XMLTag() const override { return "IndexesAddOns"; }
  // The add-on types the items refer to; resolved by the index position
  // before the items are read.
  const TPriceIndexAddOnTypes* Types() const { return FTypes; }
  void SetTypes(const TPriceIndexAddOnTypes* types) { FTypes = types; }

 private:
  const TPriceIndexAddOnTypes* FTypes = nullptr;
};

// An index with add-ons: an index position of an estimate and of the
// price-index document.
class TCustomIndexPos : public TKDXAbstractIndex {
 public:
  explicit TCustomIndexPos(TKDXAbstractRow* owner) : TKDXAbstractIndex(owner), FAddOns(this) {}
  TSmetaRowKind GetKind() const override { return srkIndex; }
  const char* XMLTag() const override { return "Index"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // The add-on types this index's add-ons refer to: those of the nearest
  // owner that keeps them, or nullptr.
  TPriceIndexAddOnTypes* AddOnTypes() const;
  TPriceIndexAddOnList& AddOns() { return FAddOns; }
  const TPriceIndexAddOnList& AddOns() const { return FAddOns; }

 private:
  TPriceIndexAddOnList FAddOns;
};

}  // namespace kdx

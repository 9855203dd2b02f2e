// The formulas of a position's prices for one unit: one formula text per cost
// part (direct costs, basic wages, machine operation, machinists' wages,
// materials). The prices themselves belong to the owner; each kind of formula
// row reports them by slot.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/row.h"

namespace kdx {

// The price level a formula row belongs to.
enum TSmetaPriceType : uint8_t { sptBase, sptCurr };

// Slots of the prices for one unit, in cost-part order.
inline constexpr int kForOneSlots = 5;

class TCustomPosForOneFx : public TKDXAbstractRow {
 public:
  TCustomPosForOneFx(TKDXAbstractRow* owner, TSmetaPriceType price_type)
      : TKDXAbstractRow(owner), FPriceType(price_type) {}
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "Fx"; }

  // The row head, an unused byte, a presence byte, then the formulas it names.
  void ReadData(TKdFiler& filer) override;
  // Written only when a formula is there.
  bool IsXMLStored() const override { return HasFormula(); }
  void XMLSave(XmlElement element) override;

  // The owner's price of a slot; none in the general row.
  virtual Currency SlotValue(int /*slot*/) const { return {}; }
  // No formula and a price of 0 (a slot outside 0..4 is empty).
  bool IsSlotEmpty(int slot) const;
  // Some slot has a formula text.
  bool HasFormula() const;
  // Whether the direct-costs total of an older file has to be taken as kept
  // apart from its parts: no part has a formula, some part has a price, and
  // the total differs from basic wages + machine operation + materials
  // (machinists' wages are part of machine operation and are not added).
  bool ForceUnsincPzNedeed() const;

  // The formula of a slot (0 to 4), and setting it.
  std::string_view Formula(int slot) const { return FFx[static_cast<size_t>(slot)]; }
  void SetFormula(int slot, std::string_view text) { FFx.Set(static_cast<size_t>(slot), text); }

  const TSmetaPriceType FPriceType;

 private:
  // A position has two of these rows, an act's data for a position one more,
  // and few hold a formula.
  SparseTexts<kForOneSlots> FFx;
};

}  // namespace kdx

// The quantity of an estimate position: a number, or a formula text that
// yields it, with a multiplicity coefficient, a unit coefficient and a
// rounding precision. Nothing is calculated: a formula is kept as text and the
// values are written as read.
#pragma once

#include <cstdint>
#include <string>

#include "model/row.h"

namespace kdx {

// The general quantity row; each derived kind reports its unit coefficient.
class TCustomPosQuantity : public TKDXAbstractRow {
 public:
  // The precision that means "not rounded".
  static constexpr int32_t kNoRounding = 6;

  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "Quantity"; }

  // Current form: the row head, a presence mask, then the fields it names.
  void ReadData(TKdFiler& filer) override;
  // First older form: the number alone, as a 64-bit double.
  void ReadOlderNumber(TKdFiler& filer) { FQuantity = filer.ReadDbl64(); }
  // Second older form: the formula text alone.
  void ReadOlderFormula(TKdFiler& filer) { FFx = filer.ReadStringView(); }

  bool IsXMLStored() const override { return !IsEmptyData(); }
  void XMLSave(XmlElement element) override;

  // No number (within 1E-8 of 0, as stored) and no formula.
  bool IsEmptyQuantity() const;
  // An empty quantity with every coefficient and the precision at its default.
  virtual bool IsEmptyData() const;
  // The coefficient of the unit of measure; 1 for the general row.
  virtual TExtended UnitCoefficient() const { return TExtended::One(); }
  // The text of the position's "Quantity" attribute: empty for an empty
  // quantity, else the number (a formula is not shown), wrapped as
  // "ОКР(<number>; <precision>)" when the quantity is rounded.
  std::string OldQuantityStr(char decimal_separator) const;

  // Quantities and coefficients are kept as stored, so that the tests against
  // 0 and 1 see the stored value; the ten-byte values and the precision come
  // last, where they share words.
  CompactString FFx;
  TExtended FQuantity;
  TExtended FKMult = TExtended::One();
  int8_t FPrecision = kNoRounding;  // stored as a signed byte

 protected:
  // Receives the unit coefficient stored in the current form; the general
  // row has none of its own and drops it.
  virtual void StoreUnitCoefficient(TExtended /*value*/) {}
};

// The quantity a position owns: it keeps the coefficient of the position's
// unit of measure.
class TPositionQuantity : public TCustomPosQuantity {
 public:
  using TCustomPosQuantity::TCustomPosQuantity;
  bool IsEmptyData() const override;
  TExtended UnitCoefficient() const override { return FKMultIsm; }

  TExtended FKMultIsm = TExtended::One();

 protected:
  void StoreUnitCoefficient(TExtended value) override { FKMultIsm = value; }
};

}  // namespace kdx

// The four-column price container shared by price lists, estimate resources,
// acts and resource summaries: columns "CE", "CT", "BE", "BT", each an optional
// currency value with an optional formula text.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "model/row.h"

namespace kdx {

// The field a price formula text gives a column: a numeric text its value (not
// yet rounded) and no text, any other text itself with the value 0, the empty
// or blank text the value 0 and no text.
struct TKdPriceFxField {
  Currency value;
  std::string_view text;
};
TKdPriceFxField PriceFxField(std::string_view text, char decimal_separator);

class TKdCustomResourcePrices : public TKDXAbstractRow {
 public:
  static constexpr const char* kColumnNames[4] = {"CE", "CT", "BE", "BT"};

  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "Price"; }

  // Which columns this container keeps; an unused column ignores every setting.
  virtual bool IsPriceColumnUsed(int column) const = 0;

  Currency GetPriceValue(int column) const { return FPrices[column]; }
  std::string_view GetPriceFx(int column) const { return FFx[static_cast<size_t>(column)]; }
  // Stores value and text as given (no rounding); a column left with value 0
  // and no text has no field.
  void StorePrice(int column, std::string_view text, Currency value);
  // Rounds to hundredths and stores the value, clearing the text.
  void SetPriceValue(int column, Currency value);

  // The container's own record: marker, a flags byte, the values of bits 0-3,
  // the texts of bits 4-7.
  void ReadData(TKdFiler& filer) override;
  // Element "Price" with "CE", "CT", "BE", "BT".
  void XMLSave(XmlElement element) override;

 protected:
  // True when the column has a field: a value other than 0 or a text.
  bool HasPriceField(int column) const { return (FFields >> column) & 1; }
  // True when some column has a field (an unused column has none).
  bool HasAnyPriceField() const { return FFields != 0; }

 private:
  // The fields of the columns: their values (0 without a field), the texts
  // (which few containers have) and which columns have a field. Price lists
  // and estimates hold one container per resource.
  std::array<Currency, 4> FPrices{};
  SparseTexts<4> FFx;
  uint8_t FFields = 0;
};

// The container that keeps all four columns.
class TKdResourcePrices : public TKdCustomResourcePrices {
 public:
  using TKdCustomResourcePrices::TKdCustomResourcePrices;
  bool IsPriceColumnUsed(int /*column*/) const override { return true; }
};

}  // namespace kdx

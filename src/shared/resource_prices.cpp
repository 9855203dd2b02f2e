#include "shared/resource_prices.h"

#include "model/common_rows.h"

namespace kdx {

void TKdCustomResourcePrices::StorePrice(int column, std::string_view text, Currency value) {
  if (!IsPriceColumnUsed(column)) return;
  const auto bit = static_cast<uint8_t>(1u << column);
  if (value.value == 0 && text.empty()) {
    FFields &= static_cast<uint8_t>(~bit);
  } else {
    FFields |= bit;
  }
  FPrices[column] = value;
  FFx.Set(static_cast<size_t>(column), text);
}

void TKdCustomResourcePrices::SetPriceValue(int column, Currency value) {
  if (!IsPriceColumnUsed(column)) return;
  const Currency rounded = RoundCurr(value, true);
  if (rounded == GetPriceValue(column) && GetPriceFx(column).empty()) return;
  StorePrice(column, {}, rounded);
}

TKdPriceFxField PriceFxField(std::string_view text, char decimal_separator) {
  const std::string_view trimmed = TrimText(text);
  if (trimmed.empty()) return {};
  const Currency value = TextToCurr(trimmed, kMaxCurrency, decimal_separator);
  if (value != kMaxCurrency) return {value, {}};
  return {Currency{}, trimmed};
}

void TKdCustomResourcePrices::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const uint8_t flags = filer.Read_Byte();
  for (int n = 0; n < 4; ++n) {
    const Currency value = (flags & (1u << n)) ? filer.ReadCurr64() : Currency{};
    StorePrice(n, {}, value);
  }
  for (int n = 0; n < 4; ++n) {
    if (flags & (1u << (4 + n))) StorePrice(n, filer.ReadString(), Currency{});
  }
}

void TKdCustomResourcePrices::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  for (int n = 0; n < 4; ++n) WriteAttrCurr(element, kColumnNames[n], GetPriceValue(n), Currency{});
}

}  // namespace kdx

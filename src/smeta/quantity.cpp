#include "smeta/quantity.h"

#include "model/document.h"

namespace kdx {
namespace {

// Bits of the presence mask of the current form.
constexpr uint8_t kHasFx = 0x01;
constexpr uint8_t kHasQuantity = 0x02;
constexpr uint8_t kHasPrecision = 0x04;
constexpr uint8_t kHasKMult = 0x08;
constexpr uint8_t kHasKUnit = 0x10;

}  // namespace

void TCustomPosQuantity::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const uint8_t mask = filer.Read_Byte();
  if (mask & kHasFx) FFx = filer.ReadStringView();
  if (mask & kHasQuantity) FQuantity = filer.ReadExtended();
  if (mask & kHasPrecision) FPrecision = filer.ReadInt08();
  if (mask & kHasKMult) FKMult = filer.ReadExtended();
  if (mask & kHasKUnit) StoreUnitCoefficient(filer.ReadExtended());
}

void TCustomPosQuantity::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  // The number of a quantity without formula in the XML's notation, as every
  // other number here.
  const char sep = element.Settings().decimal_separator;
  if (FFx.empty()) {
    WriteAttrStr(element, "Fx", FloatToGeneralText(FQuantity.ToDouble(), sep));
  } else {
    WriteAttrStr(element, "Fx", FFx);
  }
  if (!FKMult.NearOne()) SetAttrFloat(element, "KMult", FKMult.ToDouble());
  if (const TExtended unit = UnitCoefficient(); !unit.NearOne()) {
    SetAttrFloat(element, "KUnit", unit.ToDouble());
  }
  WriteAttrInt(element, "Precision", FPrecision, kNoRounding);
}

bool TCustomPosQuantity::IsEmptyQuantity() const { return FQuantity.NearZero() && FFx.empty(); }

bool TCustomPosQuantity::IsEmptyData() const {
  return IsEmptyQuantity() && FPrecision == kNoRounding && FKMult.NearOne();
}

std::string TCustomPosQuantity::OldQuantityStr(char decimal_separator) const {
  if (IsEmptyQuantity()) return {};
  std::string text = FloatToGeneralText(FQuantity.ToDouble(), decimal_separator);
  if (FPrecision == kNoRounding) return text;
  static const std::string round_open = Cp("ОКР(");
  return round_open + text + "; " + IntToText(FPrecision) + ")";
}

bool TPositionQuantity::IsEmptyData() const {
  return TCustomPosQuantity::IsEmptyData() && FKMultIsm.NearOne();
}

}  // namespace kdx

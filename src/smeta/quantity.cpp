#include "smeta/quantity.h"

#include <cmath>

#include "model/document.h"

namespace kdx {
namespace {

// Bits of the presence mask of the current form.
constexpr uint8_t kHasFx = 0x01;
constexpr uint8_t kHasQuantity = 0x02;
constexpr uint8_t kHasPrecision = 0x04;
constexpr uint8_t kHasKMult = 0x08;
constexpr uint8_t kHasKUnit = 0x10;

// Values this close count as equal.
constexpr double kTolerance = 1e-8;

bool Near(double value, double target) { return std::fabs(value - target) <= kTolerance; }

}  // namespace

void TCustomPosQuantity::ReadOlderNumber(TKdFiler& filer) { FQuantity = filer.ReadDbl64(); }

void TCustomPosQuantity::ReadOlderFormula(TKdFiler& filer) { FFx = filer.ReadStringView(); }

void TCustomPosQuantity::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const uint8_t mask = filer.Read_Byte();
  if (mask & kHasFx) FFx = filer.ReadStringView();
  if (mask & kHasQuantity) FQuantity = filer.ReadExtended();
  if (mask & kHasPrecision) FPrecision = filer.ReadInt08();
  if (mask & kHasKMult) FKMult = filer.ReadExtended();
  if (mask & kHasKUnit) StoreUnitCoefficient(filer.ReadExtended());
}

void TCustomPosQuantity::XMLSave(XmlElement& element) {
  if (!XMLSaveRow(element)) return;
  // The number of a quantity without formula in the document's notation (the
  // element's, for a quantity read on its own), as every other number here.
  const TKDXAbstractDocData* doc = GetDocData();
  const char sep = (doc ? doc->Settings() : element.Settings()).decimal_separator;
  if (FFx.empty()) {
    WriteAttrStr(element, "Fx", FloatToGeneralText(FQuantity, sep));
  } else {
    WriteAttrStr(element, "Fx", FFx);
  }
  WriteAttrFloat(element, "KMult", FKMult, 1);
  WriteAttrFloat(element, "KUnit", UnitCoefficient(), 1);
  WriteAttrInt(element, "Precision", FPrecision, kNoRounding);
  WriteAttrFloat(element, "Result", FQuantityResult, 0);
}

bool TCustomPosQuantity::IsEmptyQuantity() const { return Near(FQuantity, 0) && FFx.empty(); }

bool TCustomPosQuantity::IsEmptyData() const {
  return IsEmptyQuantity() && FPrecision == kNoRounding && Near(FKMult, 1);
}

std::string TCustomPosQuantity::OldQuantityStr(char decimal_separator) const {
  if (IsEmptyQuantity()) return {};
  std::string text =
      FFinalQtyStr.empty() ? FloatToGeneralText(FQuantity, decimal_separator) : FFinalQtyStr.str();
  if (FPrecision == kNoRounding) return text;
  static const std::string round_open = Cp("ОКР(");
  return round_open + text + "; " + IntToText(FPrecision) + ")";
}

bool TPositionQuantity::IsEmptyData() const {
  return TCustomPosQuantity::IsEmptyData() && Near(FKMultIsm, 1);
}

}  // namespace kdx

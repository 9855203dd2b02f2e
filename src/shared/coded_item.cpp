#include "shared/coded_item.h"

namespace kdx {

void TCustomSmetaKIItem::ReadKIItem(TKdFiler& filer) {
  ReadRowHead(filer);
  FCode = filer.ReadStringView();
  const uint8_t present = filer.Read_Byte();
  for (int slot = 0; slot < kKfSlots; ++slot) {
    FValues[static_cast<size_t>(slot)] = (present & (1u << slot)) ? filer.ReadInt32() : kFactorOne;
  }
}

bool TCustomSmetaKIItem::XMLSaveKIItem(XmlElement element) {
  if (!XMLSaveRow(element)) return false;
  WriteAttrStr(element, "Code", FCode);
  XMLSaveValues(element);
  return true;
}

void TCustomSmetaKIItem::XMLSaveValues(XmlElement element) const {
  for (int slot = 0; slot < kKfSlots; ++slot) {
    WriteAttrCurr(element, kValueNames[slot], Currency{FValues[static_cast<size_t>(slot)]},
                  Currency{kFactorOne});
  }
}

}  // namespace kdx

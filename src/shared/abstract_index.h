// A price index: a coded item (code and five factors for the total of
// construction works and four cost items) with index options.
#pragma once

#include <cstdint>
#include <string>

#include "shared/coded_item.h"

namespace kdx {

// Bits of an index's options: bit 0 separates machine operation, bits 1-12 are reserved.
inline constexpr uint16_t aioSeparateEm = 1u << 0;
std::string IndexOptionsToText(uint16_t set);

class TKDXAbstractIndex : public TCustomSmetaKIItem {
 public:
  using TCustomSmetaKIItem::TCustomSmetaKIItem;
  void ReadData(TKdFiler& filer) override { ReadIndex(filer); }
  void XMLSave(XmlElement& element) override { XMLSaveIndex(element); }

  uint16_t FOptions = 0;
  // Set by calculations; never stored.
  uint8_t FEquipmentMode = 0;

 protected:
  // The coded item, then the options (from the file version that has them).
  void ReadIndex(TKdFiler& filer);
  // The coded item's attributes, then "Options"; false when the row is not stored.
  bool XMLSaveIndex(XmlElement& element);
};

}  // namespace kdx

// A price index: a coded item (code and five factors for the total of
// construction works and four cost items) with index options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shared/coded_item.h"

namespace kdx {

// Bits of an index's options: bit 0 separates machine operation, bits 1-12 are reserved.
inline constexpr uint16_t aioSeparateEm = 1u << 0;
std::string IndexOptionsToText(uint16_t set);

class TKDXAbstractIndex : public TCustomSmetaKIItem {
 public:
  using TCustomSmetaKIItem::TCustomSmetaKIItem;
  void ReadData(TKdFiler& filer) override { ReadIndex(filer); }
  void XMLSave(XmlElement element) override { XMLSaveIndex(element); }

  uint16_t FOptions = 0;
  // Set by calculations; never stored.
  uint8_t FEquipmentMode = 0;

 protected:
  // The coded item, then the options (from the file version that has them).
  void ReadIndex(TKdFiler& filer);
  // The coded item's attributes, then "Options"; false when the row is not stored.
  bool XMLSaveIndex(XmlElement element);
};

// What a row charged under a price index keeps of it: an index of the
// document's list, else the code of an index the list does not hold.
class TPriceIndexRef {
 public:
  // Keeps an index only when it has a code; clears the stored code.
  void SetPriceIndex(TKDXAbstractIndex* index) {
    FPriceIndex = index && !index->FCode.empty() ? index : nullptr;
    FPriceIndexCode.clear();
  }
  // The code of the index when one is kept, else the stored code.
  std::string_view GetPriceIndexCode() const {
    return FPriceIndex ? std::string_view(FPriceIndex->FCode) : std::string_view(FPriceIndexCode);
  }

  TKDXAbstractIndex* FPriceIndex = nullptr;
  CompactString FPriceIndexCode;
};

}  // namespace kdx

#include "shared/abstract_index.h"

namespace kdx {
namespace {

constexpr int32_t kVerIndexOptions = 0x00010130;

}  // namespace

std::string IndexOptionsToText(uint16_t set) {
  static const NameTable names{"SeparEm",  "Reserved", "Reserved", "Reserved", "Reserved",
                               "Reserved", "Reserved", "Reserved", "Reserved", "Reserved",
                               "Reserved", "Reserved", "Reserved"};
  return SetToText(set, names);
}

void TKDXAbstractIndex::ReadIndex(TKdFiler& filer) {
  ReadKIItem(filer);
  if (GetFileVersion() >= kVerIndexOptions) FOptions = filer.ReadUInt16();
}

bool TKDXAbstractIndex::XMLSaveIndex(XmlElement element) {
  if (!XMLSaveKIItem(element)) return false;
  WriteAttrStr(element, "Options", IndexOptionsToText(FOptions));
  return true;
}

}  // namespace kdx

#include "smeta/abstract_index.h"

namespace kdx {
namespace {

constexpr int32_t kVerIndexOptions = 0x00010130;

}  // namespace

void TKDXAbstractIndex::ReadIndex(TKdFiler& filer) {
  ReadKIItem(filer);
  if (GetFileVersion() >= kVerIndexOptions) FOptions = filer.ReadUInt16();
}

bool TKDXAbstractIndex::XMLSaveIndex(XmlElement& element) {
  if (!XMLSaveKIItem(element)) return false;
  WriteAttrStr(element, "Options", IndexOptionsToText(FOptions));
  return true;
}

}  // namespace kdx

#include "smeta/chapters.h"

#include "model/row_cast.h"
#include "smeta/position.h"

namespace kdx {
namespace {

constexpr int32_t kVerChapterListRecord = 0x00010126;  // the generic list record
constexpr int32_t kVerChapterIndexCode = 0x00010135;

}  // namespace

std::unique_ptr<TKDXAbstractRow> TSmetaChapter::CreateItem(uint8_t type) {
  return MakeItemOfType<TSmetaHeader, TSmetaPosition>(type, this);
}

void TSmetaChapter::ReadData(TKdFiler& filer) {
  const int32_t version = GetFileVersion();
  if (version < kVerChapterListRecord) {
    // The old record: head and caption, the system ID, then the items, each
    // with its type byte.
    NestingGuard nesting(filer);
    Clear();
    ReadRowHead(filer);
    FSysID = filer.ReadInt32();
    const uint16_t count = filer.ReadUInt16();
    for (unsigned i = 0; i < count; ++i) Add(filer.Read_Byte()).Load(filer);
  } else {
    ReadListBody(filer);
    FSysID = filer.ReadInt32();
    if (version >= kVerChapterIndexCode) FPriceIndexCode = filer.ReadStringView();
  }
  RebuildPositions();
}

void TSmetaChapter::RebuildPositions() {
  FPositions.clear();
  for (const auto& item : FItems) {
    if (auto* position = RowCast<TSmetaPosition>(item.get())) FPositions.push_back(position);
  }
}

void TSmetaChapter::XMLSave(XmlElement element) {
  const bool items = XMLSaveListHead(element);
  WriteAttrInt(element, "SysID", FSysID, -1);
  WriteAttrStr(element, "IndexCode", FPriceIndexCode);
  if (items) XMLSaveItems(element);
  if (FItems.empty()) FPositions.clear();
}

}  // namespace kdx

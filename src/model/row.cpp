#include "model/row.h"

#include <algorithm>

#include "model/document.h"

namespace kdx {

TKDXAbstractDocData* TKDXAbstractRow::GetDocData() const {
  // A document has no owner, so only the row at the top of the chain can be
  // one: the chain is walked without asking each row.
  const TKDXAbstractRow* r = this;
  while (r->FOwner) r = r->FOwner;
  return r->AsDocData();
}

void TKDXAbstractRow::ReadRowHead(TKdFiler& filer) {
  filer.CheckSignature(kRowMarker);
  if (GetOptions() & aroStoreCaption) FCaption = filer.ReadStringView();
}

void TKDXAbstractRow::CheckXMLTag(const XmlElement element) const {
  const char* const tag = XMLTag();
  if (tag == element.Name()) return;  // the element was made with the row's own tag
  const std::string_view expected = tag;
  if (expected != element.Name()) {
    Raise(kESmetaXMLError, "Неверный XML тэг, ожидается \"" + std::string(expected) +
                               "\", фактически \"" + element.Name() + "\"");
  }
}

bool TKDXAbstractRow::XMLSaveRow(XmlElement element) {
  if (!IsXMLStored()) return false;
  CheckXMLTag(element);
  if (GetOptions() & aroXMLStoreCaption) WriteAttrStr(element, "Caption", FCaption);
  return true;
}

void TKDXAbstractRow::XMLSaveToChild(XmlElement parent) {
  if (!IsXMLStored()) return;
  XMLSave(parent.AppendChild(XMLTag()));
}

TKDXAbstractRow& TKDXAbstractObjectList::Add(uint8_t type) {
  std::unique_ptr<TKDXAbstractRow> row = CreateItem(type);
  // A type code the list does not know leaves nothing to read the item with.
  if (!row) RaiseBadData();
  if (CanInsertRow(*row)) return *PlaceRow(std::move(row), -1);
  if (!FRefused) FRefused = std::make_unique<std::vector<std::unique_ptr<TKDXAbstractRow>>>();
  FRefused->push_back(std::move(row));
  return *FRefused->back();
}

TKDXAbstractRow* TKDXAbstractObjectList::InsertRow(std::unique_ptr<TKDXAbstractRow> row,
                                                   int index) {
  if (!row || !CanInsertRow(*row)) return nullptr;
  return PlaceRow(std::move(row), index);
}

TKDXAbstractRow* TKDXAbstractObjectList::PlaceRow(std::unique_ptr<TKDXAbstractRow> row, int index) {
  row->SetOwner(this);
  if (index < 0 || static_cast<size_t>(index) >= FItems.size()) {
    FItems.push_back(std::move(row));
    return FItems.back().get();
  }
  return FItems.insert(FItems.begin() + index, std::move(row))->get();
}

void TKDXAbstractObjectList::ReadListBody(TKdFiler& filer) {
  NestingGuard nesting(filer);
  Clear();
  if (FOptions & soloStoreCaption) ReadRowHead(filer);
  KDX_TRACE_READ(kListCount, filer.Position(),
                 FOptions & soloCnt32   ? 4
                 : FOptions & soloCnt08 ? 1
                                        : 2);
  int64_t count;
  if (FOptions & soloCnt32) {
    count = filer.ReadInt32();
    if (count < 0 || count > kMaxListCount) {
      Raise(kEListError, "List capacity out of bounds (" + IntToText(count) + ")");
    }
  } else if (FOptions & soloCnt08) {
    count = filer.Read_Byte();
  } else {
    count = filer.ReadUInt16();
  }
  // Room is reserved before reading, but never more than the bytes left could
  // hold, and only up to a first portion: nested lists all see the same bytes
  // left, so false counts would otherwise add up level by level.
  constexpr int64_t kMaxReserve = 4096;
  FItems.reserve(
      static_cast<size_t>(std::min({count, static_cast<int64_t>(filer.Remaining()), kMaxReserve})));
  const bool multi = (FOptions & soloMultiClass) != 0;
  for (int64_t i = 0; i < count; ++i) {
    KDX_TRACE_READ(kItem, filer.Position(), 0);
    const uint8_t type = multi ? filer.Read_Byte() : 0;
    Add(type).Load(filer);
  }
  KDX_TRACE_READ(kListEnd, filer.Position(), 0);
}

bool TKDXAbstractObjectList::XMLSaveListHead(XmlElement element) {
  if (FOptions & soloXMLStoreCaption) {
    XMLSaveRow(element);
  } else {
    CheckXMLTag(element);
  }
  return IsXMLStored();
}

void TKDXAbstractObjectList::XMLSaveList(XmlElement element) {
  if (XMLSaveListHead(element)) XMLSaveItems(element);
}

void TKDXAbstractObjectList::XMLSaveItems(XmlElement element) {
  const TKDXAbstractDocData* doc = FreesWrittenItems() ? GetDocData() : nullptr;
  const bool free_written = doc && doc->WritingOnce();
  for (auto& item : FItems) {
    if (ItemType(*item) != -1) item->XMLSave(element.AppendChild(item->XMLTag()));
    if (free_written) item.reset();
  }
  if (free_written) FItems.clear();
}

}  // namespace kdx

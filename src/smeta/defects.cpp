#include "smeta/defects.h"

#include "smeta/coefficients.h"
#include "smeta/smeta_host.h"

namespace kdx {
namespace {

// File versions that changed the records of the defects list.
constexpr int32_t kVerDefectIdentifier = 0x00010153;  // identifier after the item flags
constexpr int32_t kVerDefectTargetID = 0x00010155;    // positions refer to estimate positions by ID

}  // namespace

// ---- common part ----

void TCustomDefectsListRow::ReadCommon(TKdFiler& filer) {
  ReadRowHead(filer);
  FQuantityFx = filer.ReadStringView();
  FInactive = filer.ReadByteBoolean();
  FItemFlags.Load(filer);
  if (GetFileVersion() >= kVerDefectIdentifier) ReadIdentifier(filer);
}

bool TCustomDefectsListRow::XMLSaveCommon(XmlElement element) {
  if (!IsXMLStored()) return false;
  TKdIdentifierRow::XMLSave(element);
  WriteAttrStr(element, "Number", NumberText());
  WriteAttrStr(element, "Quantity", FQuantityFx);
  FItemFlags.XMLSave(element);
  WriteAttrBool(element, "Inactive", FInactive, false);
  return true;
}

// ---- defect position ----

std::string TDefectsListPosition::NumberText() const {
  return TCustomSmetaRenumerator::PositionNumberToStr(static_cast<uint32_t>(FNumber));
}

void TDefectsListPosition::ReadData(TKdFiler& filer) {
  ReadCommon(filer);
  FTarget = nullptr;
  FTargetSysID = 0;
  if (GetFileVersion() < kVerDefectTargetID) {
    filer.SkipString();  // unused
    return;
  }
  const int32_t id = filer.ReadInt32();
  if (ISmetaDefectListHost* host = FindOwnerOf<ISmetaDefectListHost>(*this)) {
    FTarget = host->FindPositionBySysID(id);
    if (FTarget) FTargetSysID = host->PositionSysID(FTarget);
  }
}

void TDefectsListPosition::XMLSave(XmlElement element) {
  if (!XMLSaveCommon(element)) return;
  WriteAttrInt(element, "PosId", FTargetSysID, 0);
}

// ---- defect ----

void TDefectsListDefect::ReadData(TKdFiler& filer) {
  ReadCommon(filer);
  FCode = filer.ReadStringView();
  FIsm = filer.ReadStringView();
  FItems.Load(filer);
}

void TDefectsListDefect::XMLSave(XmlElement element) {
  if (!XMLSaveCommon(element)) return;
  WriteAttrStr(element, "Code", FCode);
  WriteAttrStr(element, "Units", FIsm);
  for (size_t i = 0; i < FItems.Count(); ++i) {
    TDefectsListPosition* position = FItems.At(i);
    position->XMLSave(element.AppendChild(position->XMLTag()));
  }
}

// ---- chapter ----

std::unique_ptr<TKDXAbstractRow> TDefectsListChapter::CreateItem(uint8_t type) {
  return MakeItemOfType<TSmetaHeader, TDefectsListDefect>(type, this);
}

int TDefectsListChapter::ItemType(const TKDXAbstractRow& row) const {
  return dynamic_cast<const TDefectsListDefect*>(&row) ? 1 : 0;
}

// ---- list ----

void TKdDefectsList::ReadData(TKdFiler& filer) {
  ReadListBody(filer);
  FMergeQuantityMode = filer.Read_Byte();
  Renumber();
}

void TKdDefectsList::XMLSave(XmlElement element) {
  static const NameTable kMergeModes{"", "Result", "Reserved1", "Reserved2"};
  const bool items = XMLSaveListHead(element);
  WriteAttrStr(element, "MergeQuantityMode", kMergeModes[FMergeQuantityMode]);
  if (items) XMLSaveItems(element);
}

void TKdDefectsList::Renumber() {
  FPositions.clear();
  FLinks.clear();
  uint32_t number = 0;
  for (size_t c = 0; c < Count(); ++c) {
    const TDefectsListChapter* chapter = At(c);
    for (size_t r = 0; r < chapter->Count(); ++r) {
      auto* defect = dynamic_cast<TDefectsListDefect*>(chapter->Item(r));
      if (!defect) continue;
      defect->FNumber = static_cast<int32_t>(++number);
      FPositions.push_back(defect);
      // A defect holds at most 65535 positions (16-bit count), so the place
      // fits the low half.
      for (size_t i = 0; i < defect->FItems.Count(); ++i) {
        TDefectsListPosition* position = defect->FItems.At(i);
        position->FNumber = static_cast<int32_t>((number << 16) | static_cast<uint32_t>(i + 1));
        FLinks.push_back(position);
      }
    }
  }
}

}  // namespace kdx

#include "model/common_rows.h"

#include "filer/codepage.h"
#include "model/document.h"

namespace kdx {

int IndexOfItem(const TKDXAbstractObjectList& list, const TKDXAbstractRow* row) {
  for (size_t i = 0; i < list.Count(); ++i) {
    if (list.Item(i) == row) return static_cast<int>(i);
  }
  return -1;
}

int IndexOfItemFromEnd(const TKDXAbstractObjectList& list, const TKDXAbstractRow* row) {
  for (size_t i = list.Count(); i-- > 0;) {
    if (list.Item(i) == row) return static_cast<int>(i);
  }
  return -1;
}

void TKdRowDocLink::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  filer.Skip(1);  // record format byte
  FLinkType = filer.Read_Byte();
  if (FLinkType != rdltNone) {
    FLink = filer.ReadStringView();
    FLinkTarget = filer.Read_Byte();
    FLinkInvalid = filer.ReadBoolean();
  }
}

void TKdRowDocLink::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element) || !Linked()) return;
  static const NameTable kTypes{"None", "OS", "RS", "LB", "SB", "Any"};
  if (!(FOptions & rdloTypeDontCare)) WriteAttrStr(element, "LinkType", kTypes[FLinkType]);
  WriteAttrStr(element, "Link", FLink);
  if (FLinkTarget == rdltgFile) WriteAttrStr(element, "LinkTarget", "File");
  if (FLinkInvalid) WriteAttrStr(element, "LinkState", "Invalid");
}

void TCustomSmetaRenumerator::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  filer.Skip(4);  // unused, 0 in documents
  FMode = static_cast<uint8_t>(filer.ReadUInt16());
  FOptions = filer.ReadUInt16();
}

void TCustomSmetaRenumerator::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  static const NameTable kModes{"Sequential", "ChapterFrac", "ChapterInt"};
  static const NameTable kOptions{"Auto", "SkipEmptyNum"};
  WriteAttrStr(element, "Mode", kModes[FMode]);
  WriteAttrSet(element, "Options", FOptions, kOptions);
}

std::string TCustomSmetaRenumerator::PositionNumberToStr(uint32_t number) {
  if (number == 0) return {};
  std::string text = IntToText(number >> 16);
  if (number & 0xFFFF) {
    text += '.';
    text += IntToText(number & 0xFFFF);
  }
  return text;
}

TKdVariable* TKdVariables::FindIdentifer(std::string_view identifier) const {
  if (identifier.empty()) return nullptr;
  for (size_t i = 0; i < Count(); ++i) {
    if (Cp1251SameText(At(i)->FIdentifier, identifier)) return At(i);
  }
  return nullptr;
}

void TKdUserData::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  filer.Skip(1);
  const uint16_t mask = filer.ReadUInt16();
  for (int i = 0; i < 10; ++i) {
    if (!(mask & (1u << i))) continue;
    FData.Set(static_cast<size_t>(i), filer.ReadStringView());
  }
}

bool TKdUserData::IsXMLStored() const { return FData.Any(); }

void TKdUserData::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  static constexpr std::string_view kNames[10] = {"Data_0", "Data_1", "Data_2", "Data_3", "Data_4",
                                                  "Data_5", "Data_6", "Data_7", "Data_8", "Data_9"};
  for (size_t i = 0; i < 10; ++i) WriteAttrStr(element, kNames[i], Data(i));
}

}  // namespace kdx

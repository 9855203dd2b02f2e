// Small row classes shared by several document kinds.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/row.h"

namespace kdx {

// The item for the stored type code of a list that knows two classes: 0 makes
// a First, 1 a Second (each given the owner and the extra arguments); nullptr
// for any other code.
template <class First, class Second, class... Args>
std::unique_ptr<TKDXAbstractRow> MakeItemOfType(uint8_t type, TKDXAbstractRow* owner,
                                                Args... args) {
  if (type == 0) return std::make_unique<First>(owner, args...);
  if (type == 1) return std::make_unique<Second>(owner, args...);
  return nullptr;
}

// The place of a row among the items of a list, or -1.
int IndexOfItem(const TKDXAbstractObjectList& list, const TKDXAbstractRow* row);
// The same, looked for from the end: the place of a row being read, the last
// of its list so far, in one step however long the list.
int IndexOfItemFromEnd(const TKDXAbstractObjectList& list, const TKDXAbstractRow* row);

// The document comment: its text is the caption; the record is the text alone.
class TKdDocComment : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  void ReadData(TKdFiler& filer) override { FCaption = filer.ReadStringView(); }
  // Writes "Comment" on the element it is given.
  void XMLSave(XmlElement element) override { WriteAttrStr(element, "Comment", FCaption); }
};

enum TKdRowDocLinkTarget : uint8_t { rdltgBase, rdltgFile };
enum TKdRowDocLinkType : uint8_t {
  rdltNone,
  rdltObjSmeta,
  rdltSmetaRes,
  rdltSmetaBase,
  rdltSmetaNoIdx,
  rdltAny
};
inline constexpr uint8_t rdloTypeDontCare = 1;

// A link from a row to another document or to a row of the document base.
class TKdRowDocLink : public TKDXAbstractRow {
 public:
  TKdRowDocLink(TKDXAbstractRow* owner, uint8_t options = 0)
      : TKDXAbstractRow(owner), FOptions(options) {}
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "DocLink"; }
  bool Linked() const { return !FLink.empty() && FLinkType != rdltNone; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  CompactString FLink;
  uint8_t FLinkTarget = rdltgBase;
  uint8_t FLinkType = rdltNone;
  uint8_t FOptions;
  bool FLinkInvalid = false;
};

// Colour flags of an item; written onto the owner's element.
class TKdItemFlags : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  void ReadData(TKdFiler& filer) override { FFlags = filer.ReadUInt16(); }
  void XMLSave(XmlElement element) override {
    WriteAttrSet(element, "ItemFlags", FFlags, ItemFlagNames());
  }
  uint16_t FFlags = 0;
};

// A caption-only row between the positions of a chapter.
class TSmetaHeader : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  TSmetaRowKind GetKind() const override { return srkHeader; }
  const char* XMLTag() const override { return "Header"; }
};

// The common chapter list; the concrete chapter class supplies the item factory.
class TCustomSmetaChapter : public TKDXAbstractObjectList {
 public:
  explicit TCustomSmetaChapter(TKDXAbstractRow* owner)
      : TKDXAbstractObjectList(owner, soloMultiClass | soloStoreCaption | soloXMLStoreCaption) {}
  TSmetaRowKind GetKind() const override { return srkChapter; }
  const char* XMLTag() const override { return "Chapter"; }
};

// A caption row with a code and a unit of measure.
class TKdCodeIzmRow : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  CompactString FCode;
  CompactString FIsm;
};

enum TSmetaRenumeratorMode : uint8_t { srnmSequential, srnmChapterFrac, srnmChapterInt };

// Numbering settings of positions.
class TCustomSmetaRenumerator : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "Numbering"; }
  void ReadData(TKdFiler& filer) override;
  bool IsXMLStored() const override { return FMode != 0 || FOptions != 0; }
  void XMLSave(XmlElement element) override;
  // "" for 0; "main" or "main.sub" otherwise.
  static std::string PositionNumberToStr(uint32_t number);

  uint8_t FMode = srnmSequential;
  uint16_t FOptions = 0;
};

// A row that formulas refer to by an identifier.
class TKdIdentifierRow : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  std::string_view GetIdentifier() const override { return FIdentifier; }
  void ReadIdentifier(TKdFiler& filer) { FIdentifier = filer.ReadStringView(); }
  void XMLSave(XmlElement element) override {
    if (!XMLSaveRow(element)) return;
    WriteAttrStr(element, "Identifier", FIdentifier);
  }
  CompactString FIdentifier;
};

class TKdVariable : public TKdIdentifierRow {
 public:
  using TKdIdentifierRow::TKdIdentifierRow;
  const char* XMLTag() const override { return "Variable"; }
  void ReadData(TKdFiler& filer) override {
    ReadRowHead(filer);
    ReadIdentifier(filer);
    FFormula = filer.ReadStringView();
  }
  void XMLSave(XmlElement element) override {
    TKdIdentifierRow::XMLSave(element);
    WriteAttrStr(element, "Value", FFormula);
  }
  CompactString FFormula;
};

class TKdVariables : public TKdTypedList<TKdVariable> {
 public:
  explicit TKdVariables(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  const char* XMLTag() const override { return "Variables"; }
  // The first variable whose identifier matches ignoring case; nullptr for "".
  TKdVariable* FindIdentifer(std::string_view identifier) const;
};

// Ten user texts, each present only when its bit of the mask is set.
class TKdUserData : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "UserData"; }
  void ReadData(TKdFiler& filer) override;
  bool IsXMLStored() const override;
  void XMLSave(XmlElement element) override;
  // The text at the index (0 to 9).
  std::string_view Data(size_t index) const { return FData[index]; }

 private:
  // Every estimate position has user data, and few hold any.
  SparseTexts<10> FData;
};

}  // namespace kdx

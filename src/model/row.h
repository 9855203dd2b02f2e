// Rows and row lists: every document is a tree of rows. A row reads its own
// record from the filer and writes itself as one XML element named by its tag;
// a row list owns an ordered list of child rows and reads them with a count of
// its own width, an optional type byte per item and an optional caption.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filer/compact_string.h"
#include "filer/filer.h"
#include "xml/values.h"
#include "xml/xml_writer.h"

namespace kdx {

class TKDXAbstractDocData;

enum TSmetaRowKind : uint8_t {
  srkNone,
  srkChapter,
  srkChapters,
  srkPosition,
  srkResource,
  srkHeader,
  srkItog,
  srkPosItog,
  srkResItog,
  srkChapItog,
  srkPosCheck,
  srkResCheck,
  srkDefListChapter,
  srkDefListDefect,
  srkDefListPosition,
  srkGlava,
  skrConv,
  srkResGroup,
  srkResRoot,
  srkResRep,
  srkResRepRoot,
  srkResResGroup,
  srkResRepRes,
  srkResRepItog,
  srkResRepTotalItog,
  srkResRepItogDetail,
  srkIndexRoot,
  srkResIndexRoot,
  srkIndex,
  srkIndexGroup,
  srkIndexAddOn,
  srkWinterK,
  srkWinterGroup,
  srkVr,
  srkVrGroup,
  srkAbstractKf,
  srkKfGroup,
  srkOsZatrGroup,
  srkNBChapter,
  srkNBRow,
  srkNBResource,
  srkResSummSmeta,
  srkResSummOS,
  srkResSummSSR,
  srkResSummResGroup,
  srkResSummRes,
  srkImplemAct,
  srkSignRoot,
  srkSignGroup,
  srkSignItem,
  srkSignAttrib
};

// Row options.
inline constexpr uint8_t aroStoreCaption = 1;     // caption stored in the record
inline constexpr uint8_t aroXMLStoreCaption = 2;  // caption written as "Caption"

// The marker byte every row record starts with.
inline constexpr uint8_t kRowMarker = 0xEF;

class TKDXAbstractRow {
 public:
  explicit TKDXAbstractRow(TKDXAbstractRow* owner) : FOwner(owner) {}
  virtual ~TKDXAbstractRow() = default;
  TKDXAbstractRow(const TKDXAbstractRow&) = delete;
  TKDXAbstractRow& operator=(const TKDXAbstractRow&) = delete;

  TKDXAbstractRow* Owner() const { return FOwner; }
  void SetOwner(TKDXAbstractRow* owner) { FOwner = owner; }
  std::string_view GetCaption() const { return FCaption; }
  void SetCaption(std::string_view caption) { FCaption = caption; }

  // Class-level constants.
  virtual uint8_t GetOptions() const { return aroStoreCaption | aroXMLStoreCaption; }
  virtual TSmetaRowKind GetKind() const { return srkNone; }
  virtual const char* XMLTag() const { return ""; }
  virtual std::string_view GetIdentifier() const { return {}; }
  virtual TKDXAbstractRow* GetRow(size_t /*index*/) const { return nullptr; }
  virtual size_t GetRowsCount() const { return 0; }

  // The document this row belongs to (through its owners), or nullptr.
  TKDXAbstractDocData* GetDocData() const;
  // The file version of the row's document; 0x0FFFFFFF without a document.
  int32_t GetFileVersion() const;

  // Protocol.
  void Load(TKdFiler& filer) { ReadData(filer); }
  virtual void ReadData(TKdFiler& filer) { ReadRowHead(filer); }
  virtual bool IsXMLStored() const { return true; }
  virtual void XMLSave(XmlElement element) { XMLSaveRow(element); }
  // Appends an element named by the tag and writes the row into it, when stored.
  void XMLSaveToChild(XmlElement parent);
  void CheckXMLTag(const XmlElement element) const;

 protected:
  // The common row head: the marker byte, then the caption when stored.
  void ReadRowHead(TKdFiler& filer);
  // The generic XML: nothing when not stored (returns false; overrides then
  // write nothing either); the tag check; "Caption".
  bool XMLSaveRow(XmlElement element);
  virtual TKDXAbstractDocData* AsDocData() const { return nullptr; }

  TKDXAbstractRow* FOwner;
  CompactString FCaption;
};

// Rows with a display expand state, which conversion neither reads nor writes.
class TKDXExpAbstractRow : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
};

// List options.
inline constexpr uint8_t soloCnt08 = 1;
inline constexpr uint8_t soloCnt32 = 2;
inline constexpr uint8_t soloMultiClass = 4;
inline constexpr uint8_t soloStoreCaption = 8;
inline constexpr uint8_t soloXMLStoreCaption = 16;

// Largest 32-bit item count a list accepts.
inline constexpr int64_t kMaxListCount = 134217727;

class TKDXAbstractObjectList : public TKDXAbstractRow {
 public:
  TKDXAbstractObjectList(TKDXAbstractRow* owner, uint8_t options)
      : TKDXAbstractRow(owner), FOptions(options) {}

  uint8_t ListOptions() const { return FOptions; }
  size_t Count() const { return FItems.size(); }
  // Item by index; nullptr outside 0..Count-1.
  TKDXAbstractRow* Item(size_t index) const {
    return index < FItems.size() ? FItems[index].get() : nullptr;
  }
  TKDXAbstractRow* GetRow(size_t index) const override { return Item(index); }
  size_t GetRowsCount() const override { return FItems.size(); }

  // Creates an item of the type and appends it; fails on a type the list does
  // not know. A row that CanInsertRow refuses is still created and returned, so
  // that its record can be read, but stays out of the items: the list keeps it
  // aside until it is cleared or destroyed.
  TKDXAbstractRow& Add(uint8_t type);
  // Inserts a row at the index (appends for a negative index or one past the
  // end) and returns it; a row that CanInsertRow refuses is destroyed, and the
  // result is nullptr.
  TKDXAbstractRow* InsertRow(std::unique_ptr<TKDXAbstractRow> row, int index = -1);
  void Clear() {
    FItems.clear();
    FRefused.reset();
  }

  virtual bool CanInsertRow(const TKDXAbstractRow& /*row*/) const { return true; }
  // The row for a type code, or nullptr when the list does not know the code.
  virtual std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) = 0;
  // The stored type code of an item; -1 leaves it out of writing and XML.
  virtual int ItemType(const TKDXAbstractRow& /*row*/) const { return 0; }
  // True when nothing written after an item refers to it: in a document that
  // is written once and then destroyed (TKDXAbstractDocData::XMLSaveOnce) the
  // list frees each item as soon as its element is made, so that the tree
  // grows into the memory the model gives back.
  virtual bool FreesWrittenItems() const { return false; }

  void ReadData(TKdFiler& filer) override { ReadListBody(filer); }
  bool IsXMLStored() const override { return !FItems.empty(); }
  void XMLSave(XmlElement element) override { XMLSaveList(element); }

 protected:
  void ReadListBody(TKdFiler& filer);
  // The list XML: caption (when the options say so), then one element per item.
  void XMLSaveList(XmlElement element);
  // The start of the list XML: the tag check and the caption when the options
  // say so; true when the items are to be written (XMLSaveItems), after the
  // attributes a list of its own adds.
  bool XMLSaveListHead(XmlElement element);
  // Only the item elements.
  void XMLSaveItems(XmlElement element);

  std::vector<std::unique_ptr<TKDXAbstractRow>> FItems;
  uint8_t FOptions;

 private:
  TKDXAbstractRow* PlaceRow(std::unique_ptr<TKDXAbstractRow> row, int index);

  // Rows made by Add that CanInsertRow refused; made only when a row is
  // refused, as few lists ever refuse one (a list is in every row).
  std::unique_ptr<std::vector<std::unique_ptr<TKDXAbstractRow>>> FRefused;
};

class TKDXExpAbstractObjectList : public TKDXAbstractObjectList {
 public:
  using TKDXAbstractObjectList::TKDXAbstractObjectList;
};

// A list whose items are all of one class, whatever the type code.
template <class T, class Base = TKDXAbstractObjectList>
class TKdTypedList : public Base {
 public:
  TKdTypedList(TKDXAbstractRow* owner, uint8_t options) : Base(owner, options) {}
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t /*type*/) override {
    return std::make_unique<T>(this);
  }
  T* At(size_t index) const { return static_cast<T*>(this->Item(index)); }
};

// A child row that most owners leave out of their record: made only when its
// record is read, so that an absent one costs a pointer instead of the row.
template <class T>
class TKdRowOnDemand {
 public:
  // The row, made (owned by owner) when it is not yet.
  T& Make(TKDXAbstractRow* owner) {
    if (!FRow) FRow = std::make_unique<T>(owner);
    return *FRow;
  }
  // The row, or nullptr when its record was never read.
  T* Get() const { return FRow.get(); }
  // Appends the row's element to parent when the row was read and is stored.
  void XMLSaveToChild(XmlElement parent) const {
    if (FRow) FRow->XMLSaveToChild(parent);
  }

 private:
  std::unique_ptr<T> FRow;
};

// A row in a list of shared values, with a reference count.
class TKdSharedRow : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  int32_t RefCount() const { return FRefCount; }
  void Reference() { ++FRefCount; }
  // Drops one reference; at 0 the row removes itself from its owner list.
  void Release();

 private:
  int32_t FRefCount = 0;
};

// A list of shared texts (units of measure and the like).
class TKdSharedStrings : public TKDXAbstractObjectList {
 public:
  TKdSharedStrings(TKDXAbstractRow* owner, uint8_t options)
      : TKDXAbstractObjectList(owner, options) {}
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  // The row holding the text (appended when new), with its count raised;
  // nullptr for the empty text.
  TKdSharedRow* StringReference(std::string_view text);
  // The row at the index with its count raised; nullptr outside the list.
  TKdSharedRow* StringReference(int index);
  void Remove(const TKDXAbstractRow* row);
};

}  // namespace kdx

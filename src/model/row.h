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

#include "filer/arena.h"
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
  srkDefListChapter,
  srkDefListDefect,
  srkDefListPosition,
  srkGlava,
  skrConv,
  srkResGroup,
  srkResRoot,
  srkIndexRoot,
  srkIndex,
  srkIndexGroup,
  srkIndexAddOn,
  srkWinterK,
  srkVr,
  srkVrGroup,
  srkAbstractKf,
  srkResSummSmeta,
  srkResSummOS,
  srkResSummSSR,
  srkResSummResGroup,
  srkResSummRes,
  srkImplemAct,
  srkSignRoot,
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
  // Rows are made in the arena of the document being read (filer/arena.h).
  static void* operator new(size_t size) { return AllocateModel(size); }
  static void operator delete(void* p) noexcept { FreeModel(p); }

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

  std::vector<std::unique_ptr<TKDXAbstractRow>, ModelAllocator<std::unique_ptr<TKDXAbstractRow>>>
      FItems;
  uint8_t FOptions;

 private:
  TKDXAbstractRow* PlaceRow(std::unique_ptr<TKDXAbstractRow> row, int index);

  // Rows made by Add that CanInsertRow refused; made only when a row is
  // refused, as few lists ever refuse one (a list is in every row).
  std::unique_ptr<std::vector<std::unique_ptr<TKDXAbstractRow>>> FRefused;
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

// Shared rows of one list, referred to by a stored index: an index outside
// the list finds nothing. References are not counted: the rows live as long as
// the document.
template <class T>
class TKdSharedList : public TKdTypedList<T> {
 public:
  explicit TKdSharedList(TKDXAbstractRow* owner) : TKdTypedList<T>(owner, 0) {}
  // The entry at a stored index; nullptr for a negative or out-of-range one.
  T* Entry(int64_t index) const {
    return index < 0 ? nullptr : this->At(static_cast<size_t>(index));
  }
};

// A list of shared texts (units of measure and the like), each a row's caption.
using TKdSharedStrings = TKdSharedList<TKDXAbstractRow>;

}  // namespace kdx

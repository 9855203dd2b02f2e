// A small XML document object model for writing. Elements live in an arena
// owned by the document and their names are static texts. An element's
// attributes are kept as the text they are written as, ` name="value"` with
// the value escaped, in runs of the same arena: the first run right behind
// the element, further runs only when the element gets attributes after
// other nodes were made. The document counts the bytes of its XML as it
// grows, so serialisation fills a buffer of the exact size: the declaration,
// CR LF line breaks, two blanks per nesting level, in windows-1251.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filer/byte_block.h"
#include "xml/settings.h"

namespace kdx {

class XmlDocument;

// True when the byte stands in an attribute value as it is, not escaped.
bool IsPlainXmlByte(char byte);

// Receives a serialised document in pieces, in order.
class XmlSink {
 public:
  virtual void Write(std::string_view bytes) = 0;

 protected:
  ~XmlSink() = default;
};

// A run of attribute text that does not stand right behind its element.
struct XmlAttrRun {
  XmlAttrRun* next;  // the runs of an element form a ring
  uint32_t size;
  char* Text() { return reinterpret_cast<char*>(this + 1); }
  const char* Text() const { return reinterpret_cast<const char*>(this + 1); }
};

// An attribute as kept: the name and the value as written (escaped).
struct XmlAttrText {
  std::string_view name;
  std::string_view escaped;
};

class XmlElement {
 public:
  const char* Name() const { return name_; }
  XmlDocument& Document() const { return *doc_; }
  inline const ConversionSettings& Settings() const;

  // Appends a child element after all earlier children and returns it.
  // The name is a static text: the tree keeps the pointer, and the document
  // remembers the size of a name by its pointer.
  XmlElement& AppendChild(const char* name);
  // Sets an attribute: a new one goes after the existing ones; an existing
  // one keeps its place and gets the new value. Bytes below 32 other than
  // tab, LF and CR are written as blanks.
  inline void SetAttr(std::string_view name, std::string_view value);
  // The same with every byte 7 left out of the value.
  inline void SetAttrWithoutBel(std::string_view name, std::string_view value);
  // The same for a text that holds no byte below 32 nor & < > " and 0x98
  // (numbers, fixed words): written as it stands.
  inline void SetAttrVerbatim(std::string_view name, std::string_view text);

  const XmlElement* FirstChild() const { return first_child_; }
  const XmlElement* NextSibling() const { return next_; }
  // Calls visit(XmlAttrText) for each attribute in order.
  template <typename F>
  void ForEachAttr(F&& visit) const;
  // Value of an attribute as it will read back, or nothing when it is not set.
  std::optional<std::string> FindAttr(std::string_view name) const;

 private:
  friend class XmlDocument;
  XmlElement(XmlDocument* doc, const char* name, uint16_t name_size, uint16_t level)
      : doc_(doc), name_(name), name_size_(name_size), level_(level) {}

  // The run that starts right behind the element.
  const char* FirstRunText() const { return reinterpret_cast<const char*>(this + 1); }
  char* FirstRunText() { return reinterpret_cast<char*>(this + 1); }
  // Calls visit(text) for each run in order.
  template <typename F>
  void ForEachRun(F&& visit) const;

  XmlDocument* doc_;
  const char* name_;
  XmlElement* first_child_ = nullptr;
  XmlElement* last_child_ = nullptr;
  XmlElement* next_ = nullptr;
  XmlAttrRun* last_run_ = nullptr;  // the ring of further runs, by its last run
  uint16_t name_size_;
  uint16_t level_;  // the document element is at level 1
  uint32_t first_run_size_ = 0;
};

class XmlDocument {
 public:
  explicit XmlDocument(const ConversionSettings& settings);
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  const ConversionSettings& Settings() const { return settings_; }
  // Creates the document element (once).
  XmlElement& CreateRoot(const char* name);
  XmlElement* Root() const { return root_; }

  // Size of the serialised document in bytes.
  size_t SavedSize() const { return saved_size_; }
  // Bytes of the arena the tree lives in.
  size_t ArenaSize() const { return arena_size_; }
  // Appends the declaration and the whole tree to out.
  void Save(std::string& out) const;
  // The declaration and the whole tree in a block of their size.
  ByteBlock Save() const;
  // The declaration and the whole tree handed to sink in pieces of up to
  // 64 KB (a longer attribute text as it stands), so that no block of the
  // document's size is needed.
  void Save(XmlSink& sink) const;

 private:
  friend class XmlElement;
  // How a value is written: escaped with the byte 7 as a blank or left out,
  // or as it stands.
  enum class Value : uint8_t { kEscaped, kEscapedWithoutBel, kVerbatim };

  // Room of the size in the arena, aligned to Align (a power of two).
  template <size_t Align>
  void* Allocate(size_t size) {
    static_assert((Align & (Align - 1)) == 0);
    const size_t pad = (0 - reinterpret_cast<uintptr_t>(cur_)) & (Align - 1);
    if (pad + size > left_) return AllocateInNewBlock(size, Align);
    char* p = cur_ + pad;
    cur_ = p + size;
    left_ -= pad + size;
    return p;
  }
  void* AllocateInNewBlock(size_t size, size_t align);
  XmlElement* NewElement(const char* name, size_t level);
  // Size of an element name, remembered by its pointer.
  size_t NameSize(const char* name) {
    TagSize& known = tag_sizes_[TagSlot(name)];
    if (known.name != name) known = {name, std::strlen(name)};
    return known.size;
  }
  static size_t TagSlot(const char* name) {
    const auto bits = reinterpret_cast<uintptr_t>(name);
    return (bits ^ (bits >> 6)) % kTagSizes;
  }
  void SetAttr(XmlElement& e, std::string_view name, std::string_view value, Value how);
  // Counts bytes of the XML; fails when they take it past the bound of the settings.
  void Grow(size_t bytes);
  // Starts remembering the names of the element's attributes.
  void RememberNamesOf(const XmlElement& e);
  // The attribute named so on the element, whose bit (NameBit) is among
  // those of the remembered names; -1 when there is none.
  int FindRememberedName(const XmlElement& e, std::string_view name, uint8_t bit);
  void RememberName(std::string_view name, uint8_t bit);
  // Gives the attribute at the index the value, escaped by the table (an
  // escape table of the serialiser, or nullptr: as it stands). Kept apart
  // from SetAttr, as it is rarely needed and needs a text of its own.
  void ReplaceAttr(XmlElement& e, int index, std::string_view name, std::string_view value,
                   const void* escape_table);
  // Writes all attributes of the element again into one run, the one at
  // index `replaced` with the new escaped value.
  void RewriteAttrs(XmlElement& e, int replaced, std::string_view escaped);
  // The element and everything below it as XML into out (a writer at a
  // pointer or into pieces, defined beside the serialiser).
  template <typename Out>
  static void PutElement(Out& out, const XmlElement& e);
  // The whole document into out; throws when its length is not the saved size.
  template <typename Out>
  void PutDocument(Out& out) const;

  const ConversionSettings& settings_;
  XmlElement* root_ = nullptr;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* cur_ = nullptr;
  size_t left_ = 0;
  size_t arena_size_ = 0;
  size_t saved_size_;

  // Names of the attributes of the element they were last set on, with a
  // bit of 64 per name (NameBit) so that most new names need no comparison,
  // and only names of the same bit are compared. The names are views of the
  // element's attribute text.
  static constexpr size_t kCachedNames = 48;
  const XmlElement* names_of_ = nullptr;
  bool names_complete_ = true;
  uint32_t name_count_ = 0;
  uint64_t name_bits_ = 0;
  uint8_t name_bit_of_[kCachedNames] = {};
  std::string_view names_[kCachedNames];

  // Sizes of element names by their pointers.
  struct TagSize {
    const char* name = nullptr;
    size_t size = 0;
  };
  static constexpr size_t kTagSizes = 64;
  TagSize tag_sizes_[kTagSizes];
};

const ConversionSettings& XmlElement::Settings() const { return doc_->Settings(); }

void XmlElement::SetAttr(std::string_view name, std::string_view value) {
  doc_->SetAttr(*this, name, value, XmlDocument::Value::kEscaped);
}

void XmlElement::SetAttrWithoutBel(std::string_view name, std::string_view value) {
  doc_->SetAttr(*this, name, value, XmlDocument::Value::kEscapedWithoutBel);
}

void XmlElement::SetAttrVerbatim(std::string_view name, std::string_view text) {
  doc_->SetAttr(*this, name, text, XmlDocument::Value::kVerbatim);
}

// The value of an escaped attribute text as a parser reads it back.
std::string UnescapeAttr(std::string_view escaped);
// The same into out (replacing its content).
void UnescapeAttr(std::string_view escaped, std::string& out);

template <typename F>
void XmlElement::ForEachRun(F&& visit) const {
  if (first_run_size_) visit(std::string_view(FirstRunText(), first_run_size_));
  if (!last_run_) return;
  const XmlAttrRun* run = last_run_;
  do {
    run = run->next;
    visit(std::string_view(run->Text(), run->size));
  } while (run != last_run_);
}

template <typename F>
void XmlElement::ForEachAttr(F&& visit) const {
  ForEachRun([&visit](std::string_view text) {
    // ` name="value"` one after another; a value holds no '"'.
    size_t i = 0;
    while (i < text.size()) {
      const size_t eq = text.find('=', i);
      const size_t end = text.find('"', eq + 2);
      visit(XmlAttrText{text.substr(i + 1, eq - i - 1), text.substr(eq + 2, end - eq - 2)});
      i = end + 1;
    }
  });
}

}  // namespace kdx

// The XML writer: a document written in order, straight into its bytes. An
// element's start tag is written when the element is appended, its
// attributes right behind it (each value escaped once, into the output), and
// its end when a later element is appended to an element above it or the
// document ends: the declaration, CR LF line breaks, two blanks per nesting
// level, windows-1251 bytes as they are. Nothing of the document is kept but
// the names of the open elements.
//
// The bytes go to an output: blocks kept for a host (XmlBytes), or a buffer
// handed to a sink whenever it is full (XmlSinkOutput). The output counts
// them and fails the conversion once they pass the bound of the settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filer/arena.h"
#include "xml/settings.h"

namespace kdx {

class XmlWriter;

// True when the byte stands in an attribute value as it is, not escaped.
bool IsPlainXmlByte(char byte);

// Receives a document's bytes in pieces, in order.
class XmlSink {
 public:
  virtual void Write(std::string_view bytes) = 0;

 protected:
  ~XmlSink() = default;
};

// Where a writer's bytes go: room handed to the writer block by block.
class XmlOutput {
 public:
  XmlOutput(const XmlOutput&) = delete;
  XmlOutput& operator=(const XmlOutput&) = delete;
  // Bytes taken from the writer so far (all of them once it has finished).
  uint64_t Size() const { return size_; }

 protected:
  explicit XmlOutput(uint64_t bound) : bound_(bound) {}
  ~XmlOutput() = default;
  // Counts bytes written; fails when they take the document past the bound.
  void Count(size_t bytes);
  uint64_t Bound() const { return bound_; }

 private:
  friend class XmlWriter;
  // Takes the bytes written into the room given last, from its start to end,
  // and gives room of at least need bytes: [begin, end).
  virtual void Next(char* end, size_t need, char*& begin, char*& room_end) = 0;
  // Takes the last bytes written.
  virtual void Close(char* end) = 0;

  uint64_t bound_;
  uint64_t size_ = 0;
};

// A document's bytes kept in blocks, for a host to copy out as often as it
// likes: the first of 64 KB, the others chunks of 2 MB (from its own pool,
// where a model loaded into it gives back what it leaves empty), the last one
// moved into a block of its size unless nearly full, so the blocks hold
// little more than the document.
class XmlBytes final : public XmlOutput {
 public:
  explicit XmlBytes(uint64_t bound = kMaxXmlSize) : XmlOutput(bound) {}
  ~XmlBytes();
  // The pool the chunks come from: a model whose arena gives its empty
  // chunks back here has them become the XML's blocks, their pages already
  // there. What is left in it is freed when the XML is finished.
  ChunkPool& Chunks() { return pool_; }
  // Hands the bytes to sink, block by block.
  void Save(XmlSink& sink) const;
  // The bytes in one text.
  std::string Text() const;
  // Bytes the blocks take.
  size_t Capacity() const;

 private:
  void Next(char* end, size_t need, char*& begin, char*& room_end) override;
  void Close(char* end) override;
  void Take(char* end);

  struct Block {
    char* bytes;
    size_t used;
    size_t capacity;
    bool chunk;  // a chunk (ChunkPool), else a block of its size
  };
  std::vector<Block> blocks_;
  ChunkPool pool_;
};

// A document's bytes handed to a sink in pieces of up to 64 KB, through one
// buffer: no block of the document's size is made.
class XmlSinkOutput final : public XmlOutput {
 public:
  XmlSinkOutput(XmlSink& sink, uint64_t bound);

 private:
  void Next(char* end, size_t need, char*& begin, char*& room_end) override;
  void Close(char* end) override;
  void Hand(char* end);

  XmlSink& sink_;
  std::vector<char> buffer_;
};

// An element being written, as the writer's kinds see it: a small value
// naming an open element. Appending a child ends whatever was appended below
// the element before; attributes go to the element last appended, before its
// first child. Anything else is a fault of the code that writes, and fails.
class XmlElement {
 public:
  XmlElement AppendChild(const char* name) const;
  const char* Name() const;
  const ConversionSettings& Settings() const;

  // Sets an attribute: it goes after the ones set before. Bytes below 32
  // other than tab, LF and CR are written as blanks.
  void SetAttr(std::string_view name, std::string_view value) const;
  // The same with every byte 7 left out of the value.
  void SetAttrWithoutBel(std::string_view name, std::string_view value) const;
  // The same for a text that holds no byte below 32 nor & < > " and 0x98
  // (numbers, fixed words): written as it stands.
  void SetAttrVerbatim(std::string_view name, std::string_view text) const;

 private:
  friend class XmlWriter;
  XmlElement(XmlWriter* writer, uint32_t depth, uint32_t serial)
      : writer_(writer), depth_(depth), serial_(serial) {}

  XmlWriter* writer_;
  uint32_t depth_;   // the document element is at depth 1
  uint32_t serial_;  // tells this element from later ones at its depth
};

class XmlWriter {
 public:
  // Writes the declaration into out.
  XmlWriter(const ConversionSettings& settings, XmlOutput& out);
  XmlWriter(const XmlWriter&) = delete;
  XmlWriter& operator=(const XmlWriter&) = delete;

  const ConversionSettings& Settings() const { return settings_; }
  // Starts the document element (once).
  XmlElement Root(const char* name);
  // Ends every open element and the document, and hands the last bytes to
  // the output.
  void Finish();

 private:
  friend class XmlElement;
  // How a value is written: escaped with the byte 7 as a blank or left out,
  // or as it stands.
  enum class Value : uint8_t { kEscaped, kEscapedWithoutBel, kVerbatim };
  struct Open {
    const char* name;
    uint32_t name_size;
    uint32_t serial;
  };

  // Room for n bytes at cur_.
  char* Room(size_t n) {
    if (static_cast<size_t>(end_ - cur_) < n) {
      out_.Next(cur_, n, cur_, end_);
      tag_start_ = nullptr;  // the start tag began in a block handed on
    }
    return cur_;
  }
  // Starts an element below the one at depth parent, ending what is open below that.
  XmlElement Start(uint32_t parent, const char* name);
  // Ends the open elements deeper than depth.
  void EndBelow(uint32_t depth);
  // Writes an attribute of e, which must be the element last appended,
  // still without children.
  void AttrOn(const XmlElement& e, std::string_view name, std::string_view value, Value how);
  void LongValue(std::string_view value, const void* escape_table);
  [[noreturn]] static void OutOfOrder();
  // Fails when the start tag being written has an attribute of the name.
  void CheckNewName(std::string_view name) const;
  bool IsOpen(const XmlElement& e) const {
    return e.writer_ == this && e.depth_ <= open_.size() && open_[e.depth_ - 1].serial == e.serial_;
  }
  // Size of an element name, remembered by its pointer.
  size_t NameSize(const char* name);

  const ConversionSettings& settings_;
  XmlOutput& out_;
  char* cur_ = nullptr;
  char* end_ = nullptr;
  std::vector<Open> open_;     // the open elements, the document element first
  bool in_start_tag_ = false;  // the innermost open element still takes attributes
  // The start tag being written, from its '<' (nullptr when it began in an
  // earlier block), and a bit per attribute name written into it (by the
  // name's size and ends), so that a name set twice is found.
  const char* tag_start_ = nullptr;
  uint64_t name_bits_ = 0;
  bool finished_ = false;
  uint32_t serial_ = 0;

  struct TagSize {
    const char* name = nullptr;
    size_t size = 0;
  };
  static constexpr size_t kTagSizes = 64;
  TagSize tag_sizes_[kTagSizes];
};

inline const ConversionSettings& XmlElement::Settings() const { return writer_->settings_; }

inline void XmlElement::SetAttr(std::string_view name, std::string_view value) const {
  writer_->AttrOn(*this, name, value, XmlWriter::Value::kEscaped);
}

inline void XmlElement::SetAttrWithoutBel(std::string_view name, std::string_view value) const {
  writer_->AttrOn(*this, name, value, XmlWriter::Value::kEscapedWithoutBel);
}

inline void XmlElement::SetAttrVerbatim(std::string_view name, std::string_view text) const {
  writer_->AttrOn(*this, name, text, XmlWriter::Value::kVerbatim);
}

}  // namespace kdx

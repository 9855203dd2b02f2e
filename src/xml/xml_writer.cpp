#include "xml/xml_writer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "filer/errors.h"

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

namespace kdx {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n";

// What a byte of an attribute value is written as: up to seven bytes and
// their count, stored together so that every byte is written by one 8-byte
// copy and an advance by the count.
struct Written {
  char bytes[7];
  uint8_t size;
};
constexpr size_t kLongestWritten = 6;  // "&quot;", "&#152;"

struct EscapeTable {
  Written of[256] = {};
  constexpr void Set(uint8_t byte, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) of[byte].bytes[i] = text[i];
    of[byte].size = static_cast<uint8_t>(text.size());
  }
  // keep_bel: the byte 7 becomes a blank like the other control bytes;
  // otherwise it is left out.
  constexpr explicit EscapeTable(bool keep_bel) {
    for (int b = 0; b < 256; ++b) {
      of[b].bytes[0] = static_cast<char>(b);
      of[b].size = 1;
    }
    // Control bytes become blanks: the XML holds none but tab, LF and CR,
    // and those inside values as character references, so that a parser
    // gets them back.
    for (uint8_t b = 0; b < 32; ++b) Set(b, " ");
    Set(7, keep_bel ? " " : "");
    Set(9, "&#9;");
    Set(10, "&#10;");
    Set(13, "&#13;");
    Set('&', "&amp;");
    Set('<', "&lt;");
    Set('>', "&gt;");
    Set('"', "&quot;");
    Set(0x98, "&#152;");  // the one byte windows-1251 leaves unassigned
  }
};
constexpr EscapeTable kEscapeKeepingBel(true);
constexpr EscapeTable kEscapeDroppingBel(false);

// The escaped bytes may reach this far beyond the last byte written: 8- and
// 16-byte copies.
constexpr size_t kCopySlack = 16;
// Values longer than this are escaped a piece of this size at a time, so the
// room asked for stays small, whatever the value.
constexpr size_t kSegment = 1024;

// The bytes of a value that are not written as they stand.
constexpr bool IsSpecial(uint8_t b) {
  return b < 32 || b == '&' || b == '<' || b == '>' || b == '"' || b == 0x98;
}

// The value escaped at p; returns the end. Runs of ordinary bytes are found
// 16 at a time where SSE2 is at hand.
#if defined(__SSE2__) && defined(__GNUC__)
// A bit per byte of the 16 that is not written as it stands.
inline unsigned SpecialBytes(__m128i x) {
  const __m128i below_space = _mm_set1_epi8(31);
  const __m128i special = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(x, below_space), x),
                   _mm_cmpeq_epi8(x, _mm_set1_epi8('&'))),
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('<')),
                                _mm_cmpeq_epi8(x, _mm_set1_epi8('>'))),
                   _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')),
                                _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(0x98))))));
  return static_cast<unsigned>(_mm_movemask_epi8(special));
}
#endif

char* PutValue(char* p, std::string_view value, const EscapeTable& table) {
  const char* s = value.data();
  const char* const end = s + value.size();
#if defined(__SSE2__) && defined(__GNUC__)
  if (value.size() < 16) {
    // Most values are short and plain: looked at all at once from a copy
    // (the value's own bytes may end at the end of a page), and copied whole.
    alignas(16) char copy[16] = {};
    std::memcpy(copy, s, value.size());
    const unsigned mine = (1u << value.size()) - 1;
    if ((SpecialBytes(_mm_load_si128(reinterpret_cast<const __m128i*>(copy))) & mine) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                       _mm_load_si128(reinterpret_cast<const __m128i*>(copy)));
      return p + value.size();
    }
  }
  while (end - s >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const unsigned mask = SpecialBytes(x);
    // All 16 bytes are stored; the room of the value covers them.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x);
    if (mask == 0) {
      p += 16;
      s += 16;
      continue;
    }
    const unsigned plain = static_cast<unsigned>(__builtin_ctz(mask));
    p += plain;
    s += plain;
    const Written& w = table.of[static_cast<uint8_t>(*s++)];
    std::memcpy(p, &w, sizeof w);
    p += w.size;
  }
#endif
  // Every byte by its entry, ordinary ones too: no branch per byte.
  for (; s < end; ++s) {
    const Written& w = table.of[static_cast<uint8_t>(*s)];
    std::memcpy(p, &w, sizeof w);
    p += w.size;
  }
  return p;
}

// The bytes at p; short texts (names, numbers) without a call, by two
// copies that may overlap, never reading past the text nor writing past
// its room.
char* PutShort(char* p, std::string_view text) {
  const char* s = text.data();
  const size_t n = text.size();
  if (n >= 8 && n <= 16) {
    uint64_t head, tail;
    std::memcpy(&head, s, 8);
    std::memcpy(&tail, s + n - 8, 8);
    std::memcpy(p, &head, 8);
    std::memcpy(p + n - 8, &tail, 8);
  } else if (n >= 4 && n < 8) {
    uint32_t head, tail;
    std::memcpy(&head, s, 4);
    std::memcpy(&tail, s + n - 4, 4);
    std::memcpy(p, &head, 4);
    std::memcpy(p + n - 4, &tail, 4);
  } else if (n < 4) {
    for (size_t i = 0; i < n; ++i) p[i] = s[i];
  } else {
    std::memcpy(p, s, n);
  }
  return p + n;
}

char* PutLineBreak(char* p, size_t blanks) {
  *p++ = '\r';
  *p++ = '\n';
  std::memset(p, ' ', blanks);
  return p + blanks;
}

// The bit of 64 (its index) chosen by a name's size and its first two and
// last two bytes: names of one size that differ near an end ("PriceCE",
// "PriceBE"; "CEFx", "CTFx") take different bits.
uint8_t NameBit(std::string_view name) {
  if (name.empty()) return 0;
  const size_t n = name.size();
  const auto byte = [&name](size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(name[i]));
  };
  const uint32_t head = byte(0) | byte(n > 1 ? 1 : 0) << 8;
  const uint32_t tail = byte(n - 1) | byte(n > 1 ? n - 2 : 0) << 8;
  const uint32_t mixed =
      head * 0x9E3779B1u + tail * 0x85EBCA6Bu + static_cast<uint32_t>(n) * 0xC2B2AE35u;
  return static_cast<uint8_t>(mixed >> 26);
}

const EscapeTable* TableOf(int how) {
  return how == 0 ? &kEscapeKeepingBel : how == 1 ? &kEscapeDroppingBel : nullptr;
}

}  // namespace

bool IsPlainXmlByte(char byte) { return !IsSpecial(static_cast<uint8_t>(byte)); }

// ---- outputs ----

void XmlOutput::Count(size_t bytes) {
  size_ += bytes;
  if (size_ > bound_) RaiseXmlTooLarge(bound_);
}

namespace {

// The first block, and blocks where no chunk can be had, come from the heap.
constexpr size_t kBlock = (size_t{64} << 10) - 32;
constexpr size_t kSinkPiece = size_t{64} << 10;

}  // namespace

XmlBytes::~XmlBytes() {
  for (const Block& b : blocks_) {
    if (b.chunk) {
      ChunkPool::FreeChunk(b.bytes);
    } else {
      std::free(b.bytes);
    }
  }
}

void XmlBytes::Take(char* end) {
  if (blocks_.empty()) return;
  Block& b = blocks_.back();
  const size_t used = static_cast<size_t>(end - b.bytes);
  Count(used - b.used);
  b.used = used;
}

void XmlBytes::Next(char* end, size_t need, char*& begin, char*& room_end) {
  Take(end);
  blocks_.reserve(blocks_.size() + 1);
  // Near the bound a block holds only what may still be written, so that a
  // document too large fails before it takes more memory than the bound.
  const uint64_t left = Bound() - Size();
  Block b{nullptr, 0, 0, false};
  if (!blocks_.empty() && need <= kChunkSize && left >= kChunkSize) {
    b.bytes = pool_.Take();
    b.capacity = kChunkSize;
    b.chunk = true;
  }
  if (!b.chunk) {
    b.capacity = std::max(left < kBlock ? static_cast<size_t>(left) + 1 : kBlock, need);
    b.bytes = static_cast<char*>(std::malloc(b.capacity));  // left uninitialised
    if (!b.bytes) throw std::bad_alloc();
  }
  blocks_.push_back(b);
  begin = b.bytes;
  room_end = b.bytes + b.capacity;
}

void XmlBytes::Close(char* end) {
  pool_.Clear();  // the model is gone: nothing gives chunks back any more
  Take(end);
  if (blocks_.empty()) return;
  // The room the last block did not use goes back.
  Block& b = blocks_.back();
  if (b.chunk && kChunkSize - b.used > Size() / 32) {
    // A chunk whose empty room is more than a thirty-second of the XML: its
    // bytes move to a block of their size, so the blocks hold little more
    // than the XML whatever its size.
    char* bytes = static_cast<char*>(std::malloc(std::max<size_t>(b.used, 1)));
    if (!bytes) return;
    std::memcpy(bytes, b.bytes, b.used);
    ChunkPool::FreeChunk(b.bytes);
    b = {bytes, b.used, std::max<size_t>(b.used, 1), false};
  } else if (!b.chunk && b.used < b.capacity) {
    if (char* shrunk = static_cast<char*>(std::realloc(b.bytes, std::max<size_t>(b.used, 1)))) {
      b.bytes = shrunk;
      b.capacity = std::max<size_t>(b.used, 1);
    }
  }
}

void XmlBytes::Save(XmlSink& sink) const {
  for (const Block& b : blocks_) {
    if (b.used) sink.Write({b.bytes, b.used});
  }
}

std::string XmlBytes::Text() const {
  std::string text;
  text.reserve(static_cast<size_t>(Size()));
  for (const Block& b : blocks_) text.append(b.bytes, b.used);
  return text;
}

size_t XmlBytes::Capacity() const {
  size_t capacity = 0;
  for (const Block& b : blocks_) capacity += b.capacity;
  return capacity;
}

XmlSinkOutput::XmlSinkOutput(XmlSink& sink, uint64_t bound) : XmlOutput(bound), sink_(sink) {}

void XmlSinkOutput::Hand(char* end) {
  if (buffer_.empty()) return;
  const size_t used = static_cast<size_t>(end - buffer_.data());
  // Counted first: no byte past the bound reaches the sink.
  Count(used);
  if (used) sink_.Write({buffer_.data(), used});
}

void XmlSinkOutput::Next(char* end, size_t need, char*& begin, char*& room_end) {
  Hand(end);
  if (buffer_.size() < std::max(need, kSinkPiece)) buffer_.resize(std::max(need, kSinkPiece));
  begin = buffer_.data();
  room_end = begin + buffer_.size();
}

void XmlSinkOutput::Close(char* end) { Hand(end); }

// ---- writer ----

XmlWriter::XmlWriter(const ConversionSettings& settings, XmlOutput& out)
    : settings_(settings), out_(out) {
  open_.reserve(64);
  char* p = Room(kDeclaration.size());
  std::memcpy(p, kDeclaration.data(), kDeclaration.size());
  cur_ = p + kDeclaration.size();
}

void XmlWriter::OutOfOrder() { throw std::logic_error("XML written out of document order"); }

void XmlWriter::CheckNewName(std::string_view name) const {
  if (!tag_start_) return;
  // ` name="value"` one after another behind the element's name; a value
  // holds no '"'.
  const std::string_view tag(tag_start_, static_cast<size_t>(cur_ - tag_start_));
  size_t i = 1 + open_.back().name_size;
  while (i < tag.size()) {
    const size_t eq = tag.find('=', i);
    if (tag.substr(i + 1, eq - i - 1) == name) {
      throw std::logic_error("XML attribute " + std::string(name) + " set twice");
    }
    i = tag.find('"', eq + 2) + 1;
  }
}

size_t XmlWriter::NameSize(const char* name) {
  const auto bits = reinterpret_cast<uintptr_t>(name);
  TagSize& known = tag_sizes_[(bits ^ (bits >> 6)) % kTagSizes];
  if (known.name != name) known = {name, std::strlen(name)};
  return known.size;
}

XmlElement XmlWriter::Root(const char* name) {
  if (serial_ != 0 || finished_) OutOfOrder();
  return Start(0, name);
}

XmlElement XmlWriter::Start(uint32_t parent, const char* name) {
  EndBelow(parent);
  const size_t name_size = NameSize(name);
  const size_t blanks = 2 * static_cast<size_t>(parent);
  char* p = Room(1 + 2 + blanks + 1 + name_size);
  if (in_start_tag_) *p++ = '>';  // the parent's start tag ends
  // Every element but the document element starts on a line of its own; the
  // declaration's line break is before that one.
  if (parent) p = PutLineBreak(p, blanks);
  tag_start_ = p;
  name_bits_ = 0;
  *p++ = '<';
  cur_ = PutShort(p, {name, name_size});
  if (name_size > UINT32_MAX) OutOfOrder();
  open_.push_back({name, static_cast<uint32_t>(name_size), ++serial_});
  in_start_tag_ = true;
  return XmlElement(this, parent + 1, serial_);
}

void XmlWriter::EndBelow(uint32_t depth) {
  while (open_.size() > depth) {
    const Open& e = open_.back();
    if (in_start_tag_) {
      // Without children: an empty-element tag.
      char* p = Room(2);
      p[0] = '/';
      p[1] = '>';
      cur_ = p + 2;
      in_start_tag_ = false;
    } else {
      // The end tag on a line indented like the start tag.
      const size_t blanks = 2 * (open_.size() - 1);
      char* p = PutLineBreak(Room(2 + blanks + 3 + e.name_size), blanks);
      *p++ = '<';
      *p++ = '/';
      p = PutShort(p, {e.name, e.name_size});
      *p++ = '>';
      cur_ = p;
    }
    open_.pop_back();
  }
}

void XmlWriter::Finish() {
  if (finished_) return;
  const bool any = serial_ != 0;
  EndBelow(0);
  if (any) cur_ = PutLineBreak(Room(2), 0);
  finished_ = true;
  out_.Close(cur_);
}

void XmlWriter::AttrOn(const XmlElement& e, std::string_view name, std::string_view value,
                       Value how) {
  if (!in_start_tag_ || e.depth_ != open_.size() || !IsOpen(e)) OutOfOrder();
  const uint64_t bit = uint64_t{1} << NameBit(name);
  if (name_bits_ & bit) CheckNewName(name);
  name_bits_ |= bit;
  const EscapeTable* table = TableOf(static_cast<int>(how));
  if (table && value.size() > kSegment) {
    char* p = Room(name.size() + 3);
    *p++ = ' ';
    p = PutShort(p, name);
    *p++ = '=';
    *p++ = '"';
    cur_ = p;
    LongValue(value, table);
    *Room(1) = '"';
    ++cur_;
    return;
  }
  const size_t room =
      name.size() + 4 + (table ? kLongestWritten * value.size() + kCopySlack : value.size());
  char* p = Room(room);
  *p++ = ' ';
  p = PutShort(p, name);
  *p++ = '=';
  *p++ = '"';
  p = table ? PutValue(p, value, *table) : PutShort(p, value);
  *p++ = '"';
  cur_ = p;
}

void XmlWriter::LongValue(std::string_view value, const void* escape_table) {
  const auto& table = *static_cast<const EscapeTable*>(escape_table);
  for (size_t at = 0; at < value.size(); at += kSegment) {
    const std::string_view piece = value.substr(at, kSegment);
    cur_ = PutValue(Room(kLongestWritten * piece.size() + kCopySlack), piece, table);
  }
}

// ---- element ----

XmlElement XmlElement::AppendChild(const char* name) const {
  if (!writer_->IsOpen(*this)) XmlWriter::OutOfOrder();
  return writer_->Start(depth_, name);
}

const char* XmlElement::Name() const {
  if (!writer_->IsOpen(*this)) XmlWriter::OutOfOrder();
  return writer_->open_[depth_ - 1].name;
}

}  // namespace kdx

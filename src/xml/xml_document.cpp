#include "xml/xml_document.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "filer/errors.h"

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

namespace kdx {
namespace {

constexpr size_t kBlockSize = 64 * 1024;
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

// Room an attribute may take before it is escaped; 8- and 16-byte copies may
// reach beyond the last byte written.
size_t AttrRoom(size_t name_size, size_t value_size) {
  return name_size + 4 + kLongestWritten * value_size + 16;
}

// Values longer than this get room of their escaped size, counted first.
constexpr size_t kLongValue = 64;

// The bytes of a value that are not written as they stand.
constexpr bool IsSpecial(uint8_t b) {
  return b < 32 || b == '&' || b == '<' || b == '>' || b == '"' || b == 0x98;
}

// Size of the value as the table escapes it.
size_t EscapedSize(std::string_view value, const EscapeTable& table) {
  size_t size = 0;
  for (const char c : value) size += table.of[static_cast<uint8_t>(c)].size;
  return size;
}

// The value escaped at p; returns the end. Runs of ordinary bytes are found
// 16 at a time where SSE2 is at hand.
char* PutValue(char* p, std::string_view value, const EscapeTable& table) {
  const char* s = value.data();
  const char* const end = s + value.size();
#if defined(__SSE2__) && defined(__GNUC__)
  const __m128i below_space = _mm_set1_epi8(31);
  while (end - s >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i special = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(x, below_space), x),
                     _mm_cmpeq_epi8(x, _mm_set1_epi8('&'))),
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('<')),
                                  _mm_cmpeq_epi8(x, _mm_set1_epi8('>'))),
                     _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')),
                                  _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(0x98))))));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
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
// copies that may overlap, never reading past the text.
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

// ` name="value"` at p, the value escaped by the table or, without one, as
// it stands; returns the end.
char* PutAttr(char* p, std::string_view name, std::string_view value, const EscapeTable* table) {
  *p++ = ' ';
  p = PutShort(p, name);
  *p++ = '=';
  *p++ = '"';
  if (table) {
    p = PutValue(p, value, *table);
  } else {
    p = PutShort(p, value);
  }
  *p++ = '"';
  return p;
}

char* Put(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

char* PutLineBreak(char* p, size_t blanks) {
  *p++ = '\r';
  *p++ = '\n';
  std::memset(p, ' ', blanks);
  return p + blanks;
}

}  // namespace

bool IsPlainXmlByte(char byte) { return !IsSpecial(static_cast<uint8_t>(byte)); }

// ---- element ----

XmlElement& XmlElement::AppendChild(const char* name) {
  XmlElement* child = doc_->NewElement(name, static_cast<size_t>(level_) + 1);
  // Written as a line of its own indented by 2 x level blanks; the first
  // child turns the empty element into a start tag and an end tag on a line
  // indented like the start tag.
  doc_->Grow(2 + 2 * static_cast<size_t>(level_) + child->name_size_ + 3 +
             (last_child_ ? 0 : 2 * (static_cast<size_t>(level_) - 1) + name_size_ + 4));
  if (last_child_) {
    last_child_->next_ = child;
  } else {
    first_child_ = child;
  }
  last_child_ = child;
  return *child;
}

std::optional<std::string> XmlElement::FindAttr(std::string_view name) const {
  std::optional<std::string> value;
  ForEachAttr([&](const XmlAttrText& a) {
    if (!value && a.name == name) value = UnescapeAttr(a.escaped);
  });
  return value;
}

// ---- document ----

XmlDocument::XmlDocument(const ConversionSettings& settings)
    : settings_(settings), saved_size_(kDeclaration.size()) {}

void* XmlDocument::AllocateInNewBlock(size_t size, size_t align) {
  const size_t block = size + align > kBlockSize ? size + align : kBlockSize;
  blocks_.push_back(std::unique_ptr<char[]>(new char[block]));  // left uninitialised
  arena_size_ += block;
  cur_ = blocks_.back().get();
  left_ = block;
  const size_t pad = (0 - reinterpret_cast<uintptr_t>(cur_)) & (align - 1);
  char* p = cur_ + pad;
  cur_ = p + size;
  left_ -= pad + size;
  return p;
}

XmlElement* XmlDocument::NewElement(const char* name, size_t level) {
  const size_t name_size = NameSize(name);
  if (level > UINT16_MAX || name_size > UINT16_MAX) throw std::length_error("XML nesting");
  void* p = Allocate<alignof(XmlElement)>(sizeof(XmlElement));
  return new (p)
      XmlElement(this, name, static_cast<uint16_t>(name_size), static_cast<uint16_t>(level));
}

XmlElement& XmlDocument::CreateRoot(const char* name) {
  if (!root_) {
    root_ = NewElement(name, 1);
    Grow(root_->name_size_ + 3 + 2);  // "<name/>" and the last line break
  }
  return *root_;
}

namespace {

// The bit of 64 (its index) chosen by a name's size and its first and last byte.
uint8_t NameBit(std::string_view name) {
  if (name.empty()) return 0;
  const auto first = static_cast<uint8_t>(name.front()), last = static_cast<uint8_t>(name.back());
  return static_cast<uint8_t>((name.size() * 31 + first * 7 + last) & 63);
}

}  // namespace

void XmlDocument::RememberName(std::string_view name, uint8_t bit) {
  name_bits_ |= uint64_t{1} << bit;
  if (name_count_ < kCachedNames) {
    name_bit_of_[name_count_] = bit;
    names_[name_count_++] = name;
  } else {
    names_complete_ = false;
  }
}

void XmlDocument::RememberNamesOf(const XmlElement& e) {
  names_of_ = &e;
  name_count_ = 0;
  name_bits_ = 0;
  names_complete_ = true;
  e.ForEachAttr([this](const XmlAttrText& a) { RememberName(a.name, NameBit(a.name)); });
}

int XmlDocument::FindRememberedName(const XmlElement& e, std::string_view name, uint8_t bit) {
  for (uint32_t i = 0; i < name_count_; ++i) {
    if (name_bit_of_[i] != bit) continue;
    if (names_[i] == name) return static_cast<int>(i);
  }
  if (names_complete_) return -1;
  int index = 0, found = -1;
  e.ForEachAttr([&](const XmlAttrText& a) {
    if (found < 0 && a.name == name) found = index;
    ++index;
  });
  return found;
}

void XmlDocument::Grow(size_t bytes) {
  saved_size_ += bytes;
  if (saved_size_ > settings_.max_xml_size) RaiseXmlTooLarge(settings_.max_xml_size);
}

void XmlDocument::SetAttr(XmlElement& e, std::string_view name, std::string_view value, Value how) {
  const EscapeTable* table = how == Value::kEscaped             ? &kEscapeKeepingBel
                             : how == Value::kEscapedWithoutBel ? &kEscapeDroppingBel
                                                                : nullptr;
  size_t room = table ? AttrRoom(name.size(), value.size()) : name.size() + value.size() + 4;
  if (table && value.size() > kLongValue) {
    // A long value takes the room it needs, counted first, and may not take
    // the XML past its bound.
    room = name.size() + 4 + EscapedSize(value, *table) + 16;
    if (saved_size_ + room - 16 > settings_.max_xml_size) RaiseXmlTooLarge(settings_.max_xml_size);
  }
  const uint8_t bit = NameBit(name);
  if (&e != names_of_) {
    if (e.first_run_size_ == 0 && !e.last_run_) {
      // The element has no attributes yet, as on most calls.
      names_of_ = &e;
      name_count_ = 0;
      name_bits_ = 0;
      names_complete_ = true;
    } else {
      RememberNamesOf(e);
    }
  }
  if (name_bits_ >> bit & 1) {
    if (const int existing = FindRememberedName(e, name, bit); existing >= 0) {
      ReplaceAttr(e, existing, name, value, table);
      return;
    }
  }

  // Written where the element's last run ends when that is the end of the
  // arena; otherwise in a new run.
  char* at;
  uint32_t* grown;
  if (!e.last_run_ && cur_ == e.FirstRunText() + e.first_run_size_ && left_ >= room) {
    at = cur_;
    grown = &e.first_run_size_;
  } else if (e.last_run_ && cur_ == e.last_run_->Text() + e.last_run_->size && left_ >= room) {
    at = cur_;
    grown = &e.last_run_->size;
  } else {
    auto* run = static_cast<XmlAttrRun*>(Allocate<alignof(XmlAttrRun)>(sizeof(XmlAttrRun) + room));
    run->size = 0;
    if (e.last_run_) {
      run->next = e.last_run_->next;
      e.last_run_->next = run;
    } else {
      run->next = run;
    }
    e.last_run_ = run;
    // The room not used goes back to the arena below.
    cur_ -= room;
    left_ += room;
    at = cur_;
    grown = &run->size;
  }
  const size_t size = static_cast<size_t>(PutAttr(at, name, value, table) - at);
  *grown += static_cast<uint32_t>(size);
  cur_ += size;
  left_ -= size;
  Grow(size);
  // Remembered as written: the caller's text may not outlive the call.
  RememberName(std::string_view(at + 1, name.size()), bit);
}

void XmlDocument::ReplaceAttr(XmlElement& e, int index, std::string_view name,
                              std::string_view value, const void* escape_table) {
  const auto* table = static_cast<const EscapeTable*>(escape_table);
  std::string text(table ? AttrRoom(name.size(), value.size()) : name.size() + value.size() + 4,
                   '\0');
  text.resize(static_cast<size_t>(PutAttr(text.data(), name, value, table) - text.data()));
  const size_t value_start = name.size() + 3;
  RewriteAttrs(e, index, std::string_view(text).substr(value_start, text.size() - value_start - 1));
}

void XmlDocument::RewriteAttrs(XmlElement& e, int replaced, std::string_view escaped) {
  std::vector<XmlAttrText> attrs;
  size_t old_size = 0, size = 0;
  e.ForEachAttr([&](const XmlAttrText& a) {
    const size_t index = attrs.size();
    attrs.push_back(index == static_cast<size_t>(replaced) ? XmlAttrText{a.name, escaped} : a);
    old_size += a.name.size() + a.escaped.size() + 4;
    size += attrs.back().name.size() + attrs.back().escaped.size() + 4;
  });
  auto* run = static_cast<XmlAttrRun*>(Allocate<alignof(XmlAttrRun)>(sizeof(XmlAttrRun) + size));
  run->next = run;
  run->size = static_cast<uint32_t>(size);
  char* p = run->Text();
  for (const XmlAttrText& a : attrs) {
    *p++ = ' ';
    p = Put(p, a.name);
    *p++ = '=';
    *p++ = '"';
    p = Put(p, a.escaped);
    *p++ = '"';
  }
  e.first_run_size_ = 0;
  e.last_run_ = run;
  names_of_ = nullptr;
  saved_size_ -= old_size;
  Grow(size);
}

namespace {

// Writes XML at a pointer into room of the exact size.
class PointerOut {
 public:
  explicit PointerOut(char* p) : start_(p), p_(p) {}
  void Put(std::string_view text) { p_ = kdx::Put(p_, text); }
  void Byte(char c) { *p_++ = c; }
  void LineBreak(size_t blanks) { p_ = PutLineBreak(p_, blanks); }
  size_t Written() const { return static_cast<size_t>(p_ - start_); }

 private:
  char* const start_;
  char* p_;
};

// Writes XML into a buffer handed to a sink whenever the next piece would
// not fit; a text longer than the buffer goes to the sink as it stands.
class SinkOut {
 public:
  explicit SinkOut(XmlSink& sink) : sink_(sink), buffer_(new char[kSize]) {}
  void Put(std::string_view text) {
    if (text.size() > kSize) {
      Flush();
      Hand(text);
      return;
    }
    Reserve(text.size());
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
  }
  void Byte(char c) {
    Reserve(1);
    buffer_[used_++] = c;
  }
  void LineBreak(size_t blanks) {
    if (blanks + 2 <= kSize) {
      Reserve(blanks + 2);
      used_ = static_cast<size_t>(PutLineBreak(buffer_.get() + used_, blanks) - buffer_.get());
      return;
    }
    // Deeper than a piece holds (levels are 16-bit): the blanks go piece by piece.
    Byte('\r');
    Byte('\n');
    while (blanks) {
      const size_t n = blanks < kSize ? blanks : kSize;
      Reserve(n);
      std::memset(buffer_.get() + used_, ' ', n);
      used_ += n;
      blanks -= n;
    }
  }
  void Flush() {
    if (used_) Hand({buffer_.get(), used_});
    used_ = 0;
  }
  size_t Written() const { return written_ + used_; }

 private:
  // Pieces of 64 KB stay in the processor's cache between being written
  // and handed over, and the buffer comes from the heap, not from a mapping
  // made and dropped at every save.
  static constexpr size_t kSize = size_t{1} << 16;
  void Reserve(size_t n) {
    if (used_ + n > kSize) Flush();
  }
  void Hand(std::string_view bytes) {
    sink_.Write(bytes);
    written_ += bytes.size();
  }

  XmlSink& sink_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  size_t written_ = 0;
};

}  // namespace

template <typename Out>
void XmlDocument::PutElement(Out& out, const XmlElement& e) {
  out.Byte('<');
  out.Put({e.name_, e.name_size_});
  e.ForEachRun([&out](std::string_view run) { out.Put(run); });
  if (!e.first_child_) {
    out.Byte('/');
    out.Byte('>');
    return;
  }
  out.Byte('>');
  for (const XmlElement* c = e.first_child_; c; c = c->next_) {
    out.LineBreak(2 * static_cast<size_t>(e.level_));
    PutElement(out, *c);
  }
  out.LineBreak(2 * (static_cast<size_t>(e.level_) - 1));
  out.Byte('<');
  out.Byte('/');
  out.Put({e.name_, e.name_size_});
  out.Byte('>');
}

template <typename Out>
void XmlDocument::PutDocument(Out& out) const {
  out.Put(kDeclaration);
  if (root_) {
    PutElement(out, *root_);
    out.LineBreak(0);
  }
  if (out.Written() != saved_size_) throw std::logic_error("XML size");
}

void XmlDocument::Save(std::string& out) const {
  const size_t start = out.size();
  out.resize(start + saved_size_);
  PointerOut writer(out.data() + start);
  PutDocument(writer);
}

ByteBlock XmlDocument::Save() const {
  ByteBlock out(saved_size_);
  PointerOut writer(out.data());
  PutDocument(writer);
  return out;
}

void XmlDocument::Save(XmlSink& sink) const {
  SinkOut writer(sink);
  PutDocument(writer);
  writer.Flush();
}

void UnescapeAttr(std::string_view escaped, std::string& value) {
  static constexpr struct {
    std::string_view text;
    char byte;
  } kReferences[] = {{"&amp;", '&'}, {"&lt;", '<'},   {"&gt;", '>'},   {"&quot;", '"'},
                     {"&#9;", '\t'}, {"&#10;", '\n'}, {"&#13;", '\r'}, {"&#152;", '\x98'}};
  value.clear();
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '&') {
      for (const auto& r : kReferences) {
        if (escaped.substr(i, r.text.size()) == r.text) {
          value += r.byte;
          i += r.text.size() - 1;
          break;
        }
      }
      continue;
    }
    value += escaped[i];
  }
}

std::string UnescapeAttr(std::string_view escaped) {
  std::string value;
  UnescapeAttr(escaped, value);
  return value;
}

}  // namespace kdx

#include "xml/xml_document.h"

#include <cstring>
#include <new>

namespace kdx {
namespace {

constexpr size_t kBlockSize = 64 * 1024;

// How each byte is written inside an attribute value: 0 as it stands,
// otherwise an index into kEscapes.
constexpr const char* kEscapes[] = {nullptr, "&amp;", "&lt;",  "&gt;",  "&quot;",
                                    "&#9;",  "&#10;", "&#13;", "&#152;"};
constexpr uint8_t kEscapeLen[] = {0, 5, 4, 4, 6, 4, 5, 5, 6};

struct EscapeTable {
  uint8_t code[256] = {};
  constexpr EscapeTable() {
    code[static_cast<uint8_t>('&')] = 1;
    code[static_cast<uint8_t>('<')] = 2;
    code[static_cast<uint8_t>('>')] = 3;
    code[static_cast<uint8_t>('"')] = 4;
    code[9] = 5;
    code[10] = 6;
    code[13] = 7;
    code[0x98] = 8;  // the one byte windows-1251 leaves unassigned
  }
};
constexpr EscapeTable kEscapeTable;

void AppendEscaped(std::string& out, std::string_view value) {
  size_t start = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const uint8_t code = kEscapeTable.code[static_cast<uint8_t>(value[i])];
    if (code == 0) continue;
    out.append(value.data() + start, i - start);
    out.append(kEscapes[code], kEscapeLen[code]);
    start = i + 1;
  }
  out.append(value.data() + start, value.size() - start);
}

void AppendIndent(std::string& out, size_t blanks) {
  out.append("\r\n", 2);
  out.append(blanks, ' ');
}

void SaveElement(std::string& out, const XmlElement& e, size_t level) {
  out += '<';
  out += e.Name();
  for (const XmlAttr* a = e.FirstAttr(); a; a = a->next) {
    out += ' ';
    out += a->name;
    out.append("=\"", 2);
    AppendEscaped(out, a->value);
    out += '"';
  }
  if (!e.FirstChild()) {
    out.append("/>", 2);
    return;
  }
  out += '>';
  for (const XmlElement* c = e.FirstChild(); c; c = c->NextSibling()) {
    AppendIndent(out, 2 * level);
    SaveElement(out, *c, level + 1);
  }
  AppendIndent(out, 2 * (level - 1));
  out.append("</", 2);
  out += e.Name();
  out += '>';
}

}  // namespace

const ConversionSettings& XmlElement::Settings() const { return doc_->Settings(); }

XmlElement& XmlElement::AppendChild(const char* name) {
  XmlElement* child = doc_->NewElement(name);
  if (last_child_) {
    last_child_->next_ = child;
  } else {
    first_child_ = child;
  }
  last_child_ = child;
  return *child;
}

void XmlElement::SetAttr(const char* name, std::string_view value) {
  for (XmlAttr* a = first_attr_; a; a = a->next) {
    if (a->name == name || (a->name[0] == name[0] && std::strcmp(a->name, name) == 0)) {
      a->value = doc_->CopyText(value);
      return;
    }
  }
  auto* attr = static_cast<XmlAttr*>(doc_->Allocate(sizeof(XmlAttr), alignof(XmlAttr)));
  new (attr) XmlAttr{name, doc_->CopyText(value), nullptr};
  if (last_attr_) {
    last_attr_->next = attr;
  } else {
    first_attr_ = attr;
  }
  last_attr_ = attr;
}

const std::string_view* XmlElement::FindAttr(const char* name) const {
  for (const XmlAttr* a = first_attr_; a; a = a->next) {
    if (std::strcmp(a->name, name) == 0) return &a->value;
  }
  return nullptr;
}

void* XmlDocument::Allocate(size_t size, size_t align) {
  size_t pad = (align - reinterpret_cast<uintptr_t>(cur_) % align) % align;
  if (!cur_ || pad + size > left_) {
    const size_t block = size + align > kBlockSize ? size + align : kBlockSize;
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(block));
    cur_ = blocks_.back().get();
    left_ = block;
    pad = (align - reinterpret_cast<uintptr_t>(cur_) % align) % align;
  }
  char* p = cur_ + pad;
  cur_ = p + size;
  left_ -= pad + size;
  bytes_used_ += size;
  return p;
}

XmlElement* XmlDocument::NewElement(const char* name) {
  void* p = Allocate(sizeof(XmlElement), alignof(XmlElement));
  return new (p) XmlElement(this, name);
}

std::string_view XmlDocument::CopyText(std::string_view text) {
  if (text.empty()) return {};
  char* p = static_cast<char*>(Allocate(text.size(), 1));
  std::memcpy(p, text.data(), text.size());
  return {p, text.size()};
}

XmlElement& XmlDocument::CreateRoot(const char* name) {
  if (!root_) root_ = NewElement(name);
  return *root_;
}

void XmlDocument::Save(std::string& out) const {
  out.reserve(out.size() + bytes_used_ * 2 + 256);
  out.append("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n");
  if (root_) {
    SaveElement(out, *root_, 1);
    out.append("\r\n", 2);
  }
}

void SweepControlCharacters(std::string& bytes) {
  // Written without a branch so that the loop vectorises.
  auto* p = reinterpret_cast<uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = p[i];
    const bool control = b < 32 && b != 9 && b != 10 && b != 13;
    p[i] = control ? uint8_t{32} : b;
  }
}

}  // namespace kdx

#include "libxml2_reference.h"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <string>
#include <string_view>

#include "filer/codepage.h"

namespace kdx::bench {
namespace {

const xmlChar* Text(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// An escaped windows-1251 value as UTF-8 into reused buffers.
struct Buffers {
  std::string name, plain, utf8;
};

const xmlChar* Utf8(Buffers& b, std::string_view escaped) {
  UnescapeAttr(escaped, b.plain);
  std::string& buffer = b.utf8;
  buffer.clear();
  for (char byte : b.plain) {
    const char16_t c = Cp1251ToChar(static_cast<uint8_t>(byte));
    if (c < 0x80) {
      buffer += static_cast<char>(c);
    } else {  // windows-1251 characters all lie below U+0800 or in U+2000..U+2122
      if (c < 0x800) {
        buffer += static_cast<char>(0xC0 | (c >> 6));
      } else {
        buffer += static_cast<char>(0xE0 | (c >> 12));
        buffer += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      }
      buffer += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return reinterpret_cast<const xmlChar*>(buffer.c_str());
}

void CopyElement(xmlNodePtr target, const XmlElement source, Buffers& buffers) {
  source.ForEachAttr([&](const XmlAttrText& a) {
    buffers.name.assign(a.name);
    xmlNewProp(target, Text(buffers.name.c_str()), Utf8(buffers, a.escaped));
  });
  for (const XmlElement* c = source.FirstChild(); c; c = c->NextSibling()) {
    CopyElement(xmlNewChild(target, nullptr, Text(c->Name()), nullptr), *c, buffers);
  }
}

}  // namespace

Libxml2Tree::Libxml2Tree(const XmlDocument& source) {
  xmlDocPtr doc = xmlNewDoc(Text("1.0"));
  doc_ = doc;
  if (const XmlElement* root = source.Root()) {
    xmlNodePtr node = xmlNewDocNode(doc, nullptr, Text(root->Name()), nullptr);
    xmlDocSetRootElement(doc, node);
    Buffers buffers;
    CopyElement(node, *root, buffers);
  }
}

Libxml2Tree::~Libxml2Tree() { xmlFreeDoc(static_cast<xmlDocPtr>(doc_)); }

Libxml2Tree::Saved::~Saved() { xmlFree(bytes); }

void Libxml2Tree::Save(Saved& out) const {
  xmlFree(out.bytes);
  out.bytes = nullptr;
  xmlDocDumpFormatMemoryEnc(static_cast<xmlDocPtr>(doc_), &out.bytes, &out.size, "windows-1251", 1);
}

}  // namespace kdx::bench

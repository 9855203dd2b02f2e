#include "libxml2_reference.h"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <string>
#include <string_view>

#include "filer/codepage.h"

namespace kdx::bench {
namespace {

const xmlChar* Text(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// windows-1251 bytes as UTF-8 into a reused buffer.
const xmlChar* Utf8(std::string& buffer, std::string_view cp1251) {
  buffer.clear();
  for (char byte : cp1251) {
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

void CopyElement(xmlNodePtr target, const XmlElement& source, std::string& buffer) {
  for (const XmlAttr* a = source.FirstAttr(); a; a = a->next) {
    xmlNewProp(target, Text(a->name), Utf8(buffer, a->value));
  }
  for (const XmlElement* c = source.FirstChild(); c; c = c->NextSibling()) {
    CopyElement(xmlNewChild(target, nullptr, Text(c->Name()), nullptr), *c, buffer);
  }
}

}  // namespace

Libxml2Tree::Libxml2Tree(const XmlDocument& source) {
  xmlDocPtr doc = xmlNewDoc(Text("1.0"));
  doc_ = doc;
  if (const XmlElement* root = source.Root()) {
    xmlNodePtr node = xmlNewDocNode(doc, nullptr, Text(root->Name()), nullptr);
    xmlDocSetRootElement(doc, node);
    std::string buffer;
    CopyElement(node, *root, buffer);
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

#include "libxml2_reference.h"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <string>
#include <string_view>
#include <vector>

#include "filer/codepage.h"

namespace kdx::bench {
namespace {

const xmlChar* Text(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// A windows-1251 text as UTF-8, the references of the XML resolved.
std::string Utf8(std::string_view escaped) {
  static constexpr struct {
    std::string_view text;
    char byte;
  } kReferences[] = {{"&amp;", '&'}, {"&lt;", '<'},   {"&gt;", '>'},   {"&quot;", '"'},
                     {"&#9;", '\t'}, {"&#10;", '\n'}, {"&#13;", '\r'}, {"&#152;", '\x98'}};
  std::string plain;
  for (size_t i = 0; i < escaped.size(); ++i) {
    char byte = escaped[i];
    if (byte == '&') {
      for (const auto& r : kReferences) {
        if (escaped.substr(i, r.text.size()) == r.text) {
          byte = r.byte;
          i += r.text.size() - 1;
          break;
        }
      }
    }
    plain += byte;
  }
  return Cp1251ToUtf8(plain);
}

}  // namespace

Libxml2Elements::Libxml2Elements(const std::string& xml) {
  // Tags as this library writes them: values hold no '<' nor '"'.
  size_t depth = 0;
  for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
    if (xml[at + 1] == '?') continue;
    if (xml[at + 1] == '/') {
      --depth;
      continue;
    }
    Element e{++depth, {}, {}};
    size_t i = xml.find_first_of(" />", at + 1);
    e.name = xml.substr(at + 1, i - at - 1);
    while (xml[i] == ' ') {
      const size_t eq = xml.find('=', i);
      const size_t end = xml.find('"', eq + 2);
      e.attributes.emplace_back(xml.substr(i + 1, eq - i - 1),
                                Utf8(std::string_view(xml).substr(eq + 2, end - eq - 2)));
      i = end + 1;
    }
    if (xml[i] == '/') --depth;
    elements.push_back(std::move(e));
  }
}

Libxml2Tree::Libxml2Tree(const Libxml2Elements& source) {
  xmlDocPtr doc = xmlNewDoc(Text("1.0"));
  doc_ = doc;
  std::vector<xmlNodePtr> open;
  for (const Libxml2Elements::Element& e : source.elements) {
    open.resize(e.depth - 1);
    xmlNodePtr node = open.empty()
                          ? xmlNewDocNode(doc, nullptr, Text(e.name.c_str()), nullptr)
                          : xmlNewChild(open.back(), nullptr, Text(e.name.c_str()), nullptr);
    if (open.empty()) xmlDocSetRootElement(doc, node);
    for (const auto& [name, value] : e.attributes) {
      xmlNewProp(node, Text(name.c_str()), Text(value.c_str()));
    }
    open.push_back(node);
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

// The reference a developer would write with a standard library: the same
// XML tree built with libxml2's DOM API and saved in windows-1251.
#pragma once

#include <cstddef>

#include "xml/xml_writer.h"

namespace kdx::bench {

// An owned libxml2 document (xmlDocPtr kept opaque here).
class Libxml2Tree {
 public:
  // Builds the tree of the given document: every element and attribute, the
  // attribute texts turned from windows-1251 into libxml2's UTF-8.
  explicit Libxml2Tree(const XmlDocument& source);
  ~Libxml2Tree();
  Libxml2Tree(const Libxml2Tree&) = delete;
  Libxml2Tree& operator=(const Libxml2Tree&) = delete;

  // The saved bytes, freed with the object.
  struct Saved {
    unsigned char* bytes = nullptr;
    int size = 0;
    Saved() = default;
    Saved(const Saved&) = delete;
    Saved& operator=(const Saved&) = delete;
    ~Saved();
  };
  // Saves the document indented, in windows-1251.
  void Save(Saved& out) const;

 private:
  void* doc_;
};

}  // namespace kdx::bench

// The reference a developer would write with a standard library: the same
// elements and attributes built into a tree with libxml2's DOM API and saved
// in windows-1251.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace kdx::bench {

// The elements of a document in document order, with their depth and their
// names and values in UTF-8, as a program holding its data would hand them to
// a DOM.
struct Libxml2Elements {
  struct Element {
    size_t depth;  // the document element is at 1
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
  };
  // Read from XML as this library writes it (windows-1251).
  explicit Libxml2Elements(const std::string& xml);
  std::vector<Element> elements;
};

// An owned libxml2 document (xmlDocPtr kept opaque here).
class Libxml2Tree {
 public:
  // Builds the tree of the elements.
  explicit Libxml2Tree(const Libxml2Elements& source);
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

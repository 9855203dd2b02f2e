// A small XML document object model for writing: elements and attributes live
// in an arena owned by the document; names are static texts, values are
// windows-1251 bytes copied into the arena. Serialisation writes the
// windows-1251 XML with CR LF line breaks and two blanks per nesting level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/settings.h"

namespace kdx {

class XmlDocument;

struct XmlAttr {
  const char* name;
  std::string_view value;
  XmlAttr* next;
};

class XmlElement {
 public:
  const char* Name() const { return name_; }
  XmlDocument& Document() const { return *doc_; }
  const ConversionSettings& Settings() const;

  // Appends a child element after all earlier children and returns it.
  XmlElement& AppendChild(const char* name);
  // Sets an attribute: a new one goes after the existing ones; an existing
  // one keeps its place and gets the new value.
  void SetAttr(const char* name, std::string_view value);

  const XmlAttr* FirstAttr() const { return first_attr_; }
  const XmlElement* FirstChild() const { return first_child_; }
  const XmlElement* NextSibling() const { return next_; }
  // Value of an attribute, or nullptr when it is not set.
  const std::string_view* FindAttr(const char* name) const;

 private:
  friend class XmlDocument;
  XmlElement(XmlDocument* doc, const char* name) : doc_(doc), name_(name) {}

  XmlDocument* doc_;
  const char* name_;
  XmlAttr* first_attr_ = nullptr;
  XmlAttr* last_attr_ = nullptr;
  XmlElement* first_child_ = nullptr;
  XmlElement* last_child_ = nullptr;
  XmlElement* next_ = nullptr;
};

class XmlDocument {
 public:
  explicit XmlDocument(const ConversionSettings& settings) : settings_(settings) {}
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  const ConversionSettings& Settings() const { return settings_; }
  // Creates the document element (once).
  XmlElement& CreateRoot(const char* name);
  XmlElement* Root() const { return root_; }

  // Appends the declaration and the whole tree to out.
  void Save(std::string& out) const;

 private:
  friend class XmlElement;
  void* Allocate(size_t size, size_t align);
  XmlElement* NewElement(const char* name);
  std::string_view CopyText(std::string_view text);

  const ConversionSettings& settings_;
  XmlElement* root_ = nullptr;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* cur_ = nullptr;
  size_t left_ = 0;
  size_t bytes_used_ = 0;
};

// Replaces every byte below 32 other than tab, LF and CR by a blank.
void SweepControlCharacters(std::string& bytes);

}  // namespace kdx

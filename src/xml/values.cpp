// Attribute policy: how a field of a row becomes an attribute, when it is
// left out, and how sets of bits are spelled.
#include "xml/values.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "filer/codepage.h"

namespace kdx {

std::string Cp(std::string_view utf8) { return Utf8ToCp1251(utf8); }

NameTable::NameTable(std::initializer_list<const char*> utf8_names) {
  names_.reserve(utf8_names.size());
  for (const char* n : utf8_names) names_.push_back(Utf8ToCp1251(n));
}

namespace {

// A number text is written as it stands unless its separator needs escaping.
void SetNumberText(XmlElement e, std::string_view name, std::string_view text) {
  if (IsPlainXmlByte(e.Settings().decimal_separator)) {
    e.SetAttrVerbatim(name, text);
  } else {
    e.SetAttr(name, text);
  }
}

}  // namespace

void SetAttr(XmlElement e, std::string_view name, std::string_view text) { e.SetAttr(name, text); }
void SetAttrInt(XmlElement e, std::string_view name, int64_t value) {
  char buf[kNumberText];
  e.SetAttrVerbatim(name, IntText(buf, value));
}
void SetAttrCurr(XmlElement e, std::string_view name, Currency value) {
  char buf[kNumberText];
  SetNumberText(e, name, CurrText(buf, value, e.Settings().decimal_separator));
}
void SetAttrFloat(XmlElement e, std::string_view name, double value) {
  char buf[kFloatText];
  SetNumberText(e, name, FloatText(buf, value, e.Settings().decimal_separator));
}

void WriteAttrStr(XmlElement e, std::string_view name, std::string_view text) {
  if (!text.empty()) e.SetAttrWithoutBel(name, text);
}

void WriteAttrInt(XmlElement e, std::string_view name, int32_t value, int32_t def) {
  if (value != def) SetAttrInt(e, name, value);
}

void WriteAttrCurr(XmlElement e, std::string_view name, Currency value, Currency def) {
  if (value != def) SetAttrCurr(e, name, value);
}

void WriteAttrFloat(XmlElement e, std::string_view name, double value, double def) {
  if (std::fabs(value - def) <= 1e-8) return;
  SetAttrFloat(e, name, value);
}

void WriteAttrBool(XmlElement e, std::string_view name, bool value, bool def) {
  if (value != def) e.SetAttrVerbatim(name, value ? "Yes" : "No");
}

void WriteAttrDate(XmlElement e, std::string_view name, double date) {
  WriteAttrStr(e, name, DateToText(date));
}

void WriteAttrDateDef(XmlElement e, std::string_view name, double date, double def) {
  if (date != def) WriteAttrDate(e, name, date);
}

void WriteAttrIntList(XmlElement e, std::string_view name, const std::vector<int32_t>& values) {
  if (values.empty()) return;
  std::string text = "(";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) text += ", ";
    text += IntToText(values[i]);
  }
  text += ')';
  WriteAttrStr(e, name, text);
}

namespace {

// Calls use(text) with the names of the set bits, each after a blank, the
// blanks at both ends trimmed; the text is made on the stack unless long.
template <typename F>
void WithSetText(uint32_t bits, const NameTable& names, F&& use) {
  // Only the set bits that have a place in the table are visited.
  const uint32_t set = names.size() >= 32 ? bits : bits & ((1u << names.size()) - 1);
  size_t size = 0;
  for (uint32_t m = set; m; m &= m - 1)
    size += 1 + names[static_cast<size_t>(std::countr_zero(m))].size();
  char local[256];
  std::string heap;
  char* const text = size <= sizeof local ? local : (heap.resize(size), heap.data());
  char* p = text;
  for (uint32_t m = set; m; m &= m - 1) {
    *p++ = ' ';
    const std::string_view name = names[static_cast<size_t>(std::countr_zero(m))];
    if (!name.empty()) std::memcpy(p, name.data(), name.size());
    p += name.size();
  }
  std::string_view trimmed(text, size);
  const size_t last = trimmed.find_last_not_of(' ');
  if (last == std::string_view::npos) {
    use(std::string_view());
    return;
  }
  const size_t first = trimmed.find_first_not_of(' ');
  use(trimmed.substr(first, last + 1 - first));
}

}  // namespace

std::string SetToText(uint32_t bits, const NameTable& names) {
  std::string text;
  WithSetText(bits, names, [&text](std::string_view t) { text = t; });
  return text;
}

void WriteAttrSet(XmlElement e, std::string_view name, uint32_t bits, const NameTable& names) {
  WithSetText(bits, names, [&](std::string_view text) { WriteAttrStr(e, name, text); });
}

const NameTable& ItemFlagNames() {
  static const NameTable names{"Red", "Yellow", "Green", "Blue", "Violet", "Orange", "Info",
                               "",    "",       "",      "",     "",       ""};
  return names;
}

std::string ItemFlagsToText(uint16_t set) { return SetToText(set, ItemFlagNames()); }

}  // namespace kdx

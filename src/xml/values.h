// Value texts and attribute helpers, a file for each job: number texts
// (number_text.cpp), number parsing (number_parse.cpp), dates (dates.cpp), and
// the attribute policy: how every field of a row becomes an XML attribute,
// when it is left out, and how sets and enumerations are spelled (values.cpp).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "filer/filer.h"
#include "xml/xml_writer.h"

namespace kdx {

// windows-1251 text of a UTF-8 literal.
std::string Cp(std::string_view utf8);

// A fixed table of names (enumeration values, set bits), held in windows-1251.
class NameTable {
 public:
  NameTable(std::initializer_list<const char*> utf8_names);
  size_t size() const { return names_.size(); }
  // The name at index i, or the empty text outside the table.
  std::string_view operator[](size_t i) const {
    return i < names_.size() ? std::string_view(names_[i]) : std::string_view();
  }

 private:
  std::vector<std::string> names_;
};

// ---- number texts ----
// Longest text of a 64-bit integer or a currency amount, with a sign and a separator.
inline constexpr size_t kNumberText = 24;
// Longest general number text: a sign, 15 digits, a separator, "E-" and three digits.
inline constexpr size_t kFloatText = 32;
// The texts made in a buffer of the caller's: no heap text on the way.
std::string_view IntText(char (&buf)[kNumberText], int64_t value);
std::string_view CurrText(char (&buf)[kNumberText], Currency value, char decimal_separator);
std::string_view FloatText(char (&buf)[kFloatText], double value, char decimal_separator);
std::string IntToText(int64_t value);
std::string CurrToText(Currency value, char decimal_separator);
// General number format with 15 significant digits.
std::string FloatToGeneralText(double value, char decimal_separator);
// Empty when blank_zero is set, keep_zero clear and the value is 0.
std::string FloatToText(bool keep_zero, bool blank_zero, double value, char decimal_separator);
// Rounds half away from zero to hundredths or to whole units.
Currency RoundCurr(Currency value, bool to_hundredths);

// ---- number parsing ----
// Parses a decimal number (first '.' and first ',' count as the decimal
// separator); returns def when the text is not a number or out of range.
Currency TextToCurr(std::string_view text, Currency def, char decimal_separator);
// Trims blanks (and other characters up to 32) at both ends.
std::string_view TrimText(std::string_view text);

// ---- dates ----
// "dd.mm.yyyy" of a date value.
std::string DateToText(double date);
// Date value (days since 30 December 1899) of a calendar date.
double DateValueOf(int year, int month, int day);
// True for a day of the calendar from 01.01.0001 to 31.12.9999.
bool IsCalendarDate(int year, int month, int day);

// ---- attribute policy ----
// SetAttr and its kin write the value whatever it is; a WriteAttr helper
// leaves the attribute out at its default. The two text writers differ on
// the byte 7: SetAttr writes it as a blank, like every control byte, while
// WriteAttrStr, which writes the texts of rows, leaves it out (after its test
// for the empty text, so a text of byte 7 alone gives an empty attribute).
// The documents' XML has always been written so: made one, the two would
// change the bytes of every document whose texts hold the byte.
void SetAttr(XmlElement e, std::string_view name, std::string_view text);
void SetAttrInt(XmlElement e, std::string_view name, int64_t value);
void SetAttrCurr(XmlElement e, std::string_view name, Currency value);
void SetAttrFloat(XmlElement e, std::string_view name, double value);

void WriteAttrStr(XmlElement e, std::string_view name, std::string_view text);
void WriteAttrInt(XmlElement e, std::string_view name, int32_t value, int32_t def);
void WriteAttrCurr(XmlElement e, std::string_view name, Currency value, Currency def);
void WriteAttrFloat(XmlElement e, std::string_view name, double value, double def);
void WriteAttrBool(XmlElement e, std::string_view name, bool value, bool def);
void WriteAttrDate(XmlElement e, std::string_view name, double date);
void WriteAttrDateDef(XmlElement e, std::string_view name, double date, double def);
void WriteAttrIntList(XmlElement e, std::string_view name, const std::vector<int32_t>& values);

// ---- set texts ----
// Names of the set bits, ascending, separated by blanks, trimmed.
std::string SetToText(uint32_t bits, const NameTable& names);
// The same text as an attribute, left out when empty; no heap text on the way.
void WriteAttrSet(XmlElement e, std::string_view name, uint32_t bits, const NameTable& names);
// Names of the colour flags of an item.
const NameTable& ItemFlagNames();
std::string ItemFlagsToText(uint16_t set);

}  // namespace kdx

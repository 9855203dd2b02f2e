// Texts of documents are windows-1251 bytes; the model keeps them as such and
// the XML is written in the same code page, so conversions happen only at the
// edges (UTF-8 source literals and messages, UTF-16 for the host).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kdx {

// The UTF-16 character of a windows-1251 byte (the unassigned 0x98 maps to U+0098).
char16_t Cp1251ToChar(uint8_t byte);
// Upper-case letter of a windows-1251 byte (Latin and Cyrillic).
uint8_t Cp1251Upper(uint8_t byte);
// True when the text compares equal ignoring letter case.
bool Cp1251SameText(std::string_view a, std::string_view b);

std::string Cp1251ToUtf8(std::string_view text);
// Characters windows-1251 cannot hold become '?'.
std::string Utf8ToCp1251(std::string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace kdx

// What a conversion needs to know of its surroundings: the decimal separator
// of number texts, the current date used as a default by some documents, the
// program version written on the root element, and how large its XML may grow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kdx {

// The most XML bytes a conversion through the exports may make: the largest
// size GetDataSize can state.
inline constexpr uint64_t kMaxXmlSize = 0x7FFFFFFF;

struct ConversionSettings {
  char decimal_separator = ',';
  double today = 0;  // date value (days since 30 December 1899, no time part)
  std::string program_version = "0.0.0.0";
  // A conversion whose XML would grow past this many bytes fails with
  // EOutOfMemory before the memory is taken.
  uint64_t max_xml_size = kMaxXmlSize;
};

// Decimal separator of the process environment: KDX2XML_DECIMAL_SEPARATOR when
// it holds one character, else the LC_NUMERIC locale of the environment.
char EnvironmentDecimalSeparator();
// The decimal separator of the environment's locale alone.
char LocaleDecimalSeparator();
// KDX2XML_DECIMAL_SEPARATOR when it holds one character.
std::optional<char> DecimalSeparatorOverride();
// Today's date: from SOURCE_DATE_EPOCH (seconds since 1970, UTC) when set,
// else from the clock (local time).
double EnvironmentToday();
// KDX2XML_MAX_XML_SIZE, when set: a bound a host sets on every conversion's
// XML, a decimal number of bytes (at least 1); any other text fails with
// EConvertException.
std::optional<uint64_t> EnvironmentMaxXmlSize();
// The number of a text of decimal digits only (no sign, no blanks), when it
// fits in 64 bits.
std::optional<uint64_t> ParseByteCount(const char* text);

}  // namespace kdx

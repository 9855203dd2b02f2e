// What a conversion needs to know of its surroundings: the decimal separator
// of number texts, the current date used as a default by some documents, and
// the program version written on the root element.
#pragma once

#include <string>

namespace kdx {

struct ConversionSettings {
  char decimal_separator = ',';
  double today = 0;  // date value (days since 30 December 1899, no time part)
  std::string program_version = "0.0.0.0";
};

// Decimal separator of the process environment: KDX2XML_DECIMAL_SEPARATOR when
// it holds one character, else the LC_NUMERIC locale of the environment.
char EnvironmentDecimalSeparator();
// Today's date: from SOURCE_DATE_EPOCH (seconds since 1970, UTC) when set,
// else from the clock (local time).
double EnvironmentToday();

}  // namespace kdx

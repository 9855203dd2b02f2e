// Floating-point std::to_chars with a precision and std::from_chars, with a
// fallback where the standard library lacks them (the libc++ of the WebAssembly
// build): printf and strtod give the same digits there, and that build always
// runs in the C locale, so the decimal point is '.'.
#pragma once

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kdx {

// The text of std::to_chars(first, last, value, std::chars_format::scientific,
// precision); returns its end.
inline char* ScientificChars(char* first, char* last, double value, int precision) {
#ifdef __EMSCRIPTEN__
  const int n = std::snprintf(first, static_cast<size_t>(last - first), "%.*e", precision, value);
  return n < 0 || n >= last - first ? first : first + n;
#else
  return std::to_chars(first, last, value, std::chars_format::scientific, precision).ptr;
#endif
}

// A scientific text that reads back as the value: the shortest, as
// std::to_chars(first, last, value, std::chars_format::scientific), where the
// library has it, else one of 17 significant digits. Returns its end.
inline char* ScientificChars(char* first, char* last, double value) {
#ifdef __EMSCRIPTEN__
  return ScientificChars(first, last, value, 16);
#else
  return std::to_chars(first, last, value, std::chars_format::scientific).ptr;
#endif
}

// The value of a number text made by ScientificChars; `value` is left as it is
// when the text is not a number.
inline void ParseDouble(const char* first, const char* last, double& value) {
#ifdef __EMSCRIPTEN__
  const std::string text(first, last);
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str()) value = parsed;
#else
  std::from_chars(first, last, value);
#endif
}

}  // namespace kdx

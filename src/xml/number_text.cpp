// Number texts: integers, currency amounts and the general number format,
// each with the decimal separator it is given.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "xml/float_chars.h"
#include "xml/values.h"

namespace kdx {

std::string_view IntText(char (&buf)[kNumberText], int64_t value) {
  return {buf, static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf)};
}

std::string_view CurrText(char (&buf)[kNumberText], Currency value, char sep) {
  const bool negative = value.value < 0;
  const uint64_t mag =
      negative ? 0 - static_cast<uint64_t>(value.value) : static_cast<uint64_t>(value.value);
  char* p = buf;
  if (negative) *p++ = '-';
  p = std::to_chars(p, buf + sizeof buf, mag / 10000).ptr;
  unsigned frac = static_cast<unsigned>(mag % 10000);
  if (frac) {
    *p++ = sep;
    char digits[4] = {static_cast<char>('0' + frac / 1000),
                      static_cast<char>('0' + frac / 100 % 10),
                      static_cast<char>('0' + frac / 10 % 10), static_cast<char>('0' + frac % 10)};
    int n = 4;
    while (digits[n - 1] == '0') --n;
    for (int i = 0; i < n; ++i) *p++ = digits[i];
  }
  return {buf, static_cast<size_t>(p - buf)};
}

std::string IntToText(int64_t value) {
  char buf[kNumberText];
  return std::string(IntText(buf, value));
}

std::string CurrToText(Currency value, char sep) {
  char buf[kNumberText];
  return std::string(CurrText(buf, value, sep));
}

namespace {

// The significant digits and the decimal exponent of a scientific text
// "[-]d.ddde[+-]x..."; returns the count of digits.
int ScientificDigits(const char* p, const char* end, char (&digits)[24], int& exp10) {
  int n = 0;
  for (; p < end && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9' && n < 24) digits[n++] = *p;
  }
  exp10 = 0;
  const bool negative = p + 1 < end && p[1] == '-';
  for (p += 2; p < end; ++p) exp10 = exp10 * 10 + (*p - '0');
  if (negative) exp10 = -exp10;
  return n;
}

// The text of a value that is a whole number of hundred-thousandths below
// 1E15, as most quantities, coefficients and rates are; empty for other
// values. Such a value is m / 10^k for the fewest decimals k whose m gives it
// back (the division rounds correctly), and those digits are then the
// shortest that read back as the value, so the text is the general one.
std::string_view FewDecimalsText(char (&out)[kFloatText], double value, char sep) {
  static constexpr double kScale[] = {1, 10, 100, 1000, 10000, 100000};
  const double magnitude = std::fabs(value);
  for (int k = 0; k < static_cast<int>(std::size(kScale)); ++k) {
    const double scaled = magnitude * kScale[k];
    if (!(scaled < 1e15)) break;
    const double whole = std::round(scaled);
    if (whole == 0 || whole / kScale[k] != magnitude) continue;
    char digits[kFloatText];
    const int n = static_cast<int>(
        std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(whole)).ptr - digits);
    int decimals = k;
    while (decimals > 0 && digits[n - k + decimals - 1] == '0') --decimals;
    char* o = out;
    if (value < 0) *o++ = '-';
    const int whole_digits = n - k;
    if (whole_digits > 0) {
      o = std::copy(digits, digits + whole_digits, o);
    } else {
      *o++ = '0';
    }
    if (decimals > 0) {
      *o++ = sep;
      for (int i = whole_digits; i < 0; ++i) *o++ = '0';
      const int from = whole_digits > 0 ? whole_digits : 0;
      o = std::copy(digits + from, digits + n - k + decimals, o);
    }
    return {out, static_cast<size_t>(o - out)};
  }
  return {};
}

}  // namespace

std::string_view FloatText(char (&out)[kFloatText], double value, char sep) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  if (const std::string_view text = FewDecimalsText(out, value, sep); !text.empty()) return text;
  const double magnitude = std::fabs(value);
  // The value rounded to 15 significant digits. When the shortest text that
  // reads back as the value has at most 15 digits, those are the digits: the
  // value lies closer to that text than half a unit of its 15th digit. Only
  // other values need the slower exact rounding.
  char buf[40];
  char digits[24];
  int exp10;
  const char* end = ScientificChars(buf, buf + sizeof buf, magnitude);
  int n = ScientificDigits(buf, end, digits, exp10);
  if (n > 15) {
    end = ScientificChars(buf, buf + sizeof buf, magnitude, 14);
    n = ScientificDigits(buf, end, digits, exp10);
  }
  char* o = out;
  if (value < 0) *o++ = '-';
  while (n > 1 && digits[n - 1] == '0') --n;
  if (exp10 <= 14 && exp10 >= -5) {
    if (exp10 >= 0) {
      for (int i = 0; i <= exp10; ++i) *o++ = i < n ? digits[i] : '0';
      if (n > exp10 + 1) {
        *o++ = sep;
        for (int i = exp10 + 1; i < n; ++i) *o++ = digits[i];
      }
    } else {
      *o++ = '0';
      *o++ = sep;
      for (int i = 0; i < -exp10 - 1; ++i) *o++ = '0';
      for (int i = 0; i < n; ++i) *o++ = digits[i];
    }
  } else {
    *o++ = digits[0];
    if (n > 1) {
      *o++ = sep;
      for (int i = 1; i < n; ++i) *o++ = digits[i];
    }
    *o++ = 'E';
    if (exp10 < 0) *o++ = '-';
    o = std::to_chars(o, out + kFloatText, std::abs(exp10)).ptr;
  }
  return {out, static_cast<size_t>(o - out)};
}

std::string FloatToGeneralText(double value, char sep) {
  char buf[kFloatText];
  return std::string(FloatText(buf, value, sep));
}

Currency RoundCurr(Currency value, bool to_hundredths) {
  int64_t v = value.value;
  const int64_t d = to_hundredths ? 100 : 10000;
  if (v != 0 && v % 10 == 0) v += v > 0 ? 1 : -1;
  int64_t q = v / d;
  const int64_t r = v % d;
  const int64_t twice = 2 * (r < 0 ? -r : r);
  if (twice > d || (twice == d && (q % 2 != 0))) q += v > 0 ? 1 : -1;
  const int64_t limit = INT64_MAX / d;
  if (q > limit) q = limit;
  if (q < -limit) q = -limit;
  return Currency{q * d};
}

std::string FloatToText(bool keep_zero, bool blank_zero, double value, char sep) {
  if (blank_zero && !keep_zero && value == 0) return {};
  return FloatToGeneralText(value, sep);
}

}  // namespace kdx

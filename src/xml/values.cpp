#include "xml/values.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "filer/codepage.h"
#include "xml/float_chars.h"

namespace kdx {

std::string Cp(std::string_view utf8) { return Utf8ToCp1251(utf8); }

NameTable::NameTable(std::initializer_list<const char*> utf8_names) {
  names_.reserve(utf8_names.size());
  for (const char* n : utf8_names) names_.push_back(Utf8ToCp1251(n));
}

namespace {

// Longest text of a 64-bit integer or a currency amount, with a sign and a separator.
constexpr size_t kNumberText = 24;

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

}  // namespace

std::string IntToText(int64_t value) {
  char buf[kNumberText];
  return std::string(IntText(buf, value));
}

std::string CurrToText(Currency value, char sep) {
  char buf[kNumberText];
  return std::string(CurrText(buf, value, sep));
}

namespace {

// Longest general number text: a sign, 15 digits, a separator, "E-" and three digits.
constexpr size_t kFloatText = 32;

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

// A number text is written as it stands unless its separator needs escaping.
void SetNumberText(XmlElement e, std::string_view name, std::string_view text) {
  if (IsPlainXmlByte(e.Settings().decimal_separator)) {
    e.SetAttrVerbatim(name, text);
  } else {
    e.SetAttr(name, text);
  }
}

}  // namespace

std::string FloatToGeneralText(double value, char sep) {
  char buf[kFloatText];
  return std::string(FloatText(buf, value, sep));
}

std::string DateToText(double date) {
  char buf[32];
  if (!std::isfinite(date) || std::fabs(date) >= 2958466.0) {
    // From 01.01.10000 on a year needs five digits: no calendar date.
    return "00.00.0000";
  }
  const long long days = static_cast<long long>(date) - 25569;  // days since 1970-01-01
  if (days < -719162) return "00.00.0000";                      // before 01.01.0001
  long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
  std::snprintf(buf, sizeof buf, "%02u.%02u.%04lld", d, m, y);
  return buf;
}

bool IsCalendarDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap);
}

double DateValueOf(int year, int month, int day) {
  // Days from the civil date in the proleptic Gregorian calendar.
  const int y = year - (month <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned m = static_cast<unsigned>(month);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(day) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days1970 = static_cast<long long>(era) * 146097 + doe - 719468;
  return static_cast<double>(days1970 + 25569);
}

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

std::string_view TrimText(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<uint8_t>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<uint8_t>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

Currency TextToCurr(std::string_view text, Currency def, char sep) {
  // The copy of the text and its digits are made on the stack unless long.
  char local[2][64];
  std::string heap[2];
  char* const copy =
      text.size() <= sizeof local[0] ? local[0] : (heap[0].resize(text.size()), heap[0].data());
  char* const digits =
      text.size() <= sizeof local[1] ? local[1] : (heap[1].resize(text.size()), heap[1].data());
  char* const end = std::copy(text.begin(), text.end(), copy);
  if (char* const dot = std::find(copy, end, '.'); dot != end) *dot = sep;
  const std::string_view s = TrimText(std::string_view(copy, text.size()));
  char* const from = copy + (s.data() - copy);
  if (char* const comma = std::find(from, from + s.size(), ','); comma != from + s.size()) {
    *comma = sep;
  }

  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  // All digits, leading zeros dropped.
  struct Digits {
    char* at;
    size_t n = 0;
    bool empty() const { return n == 0; }
    size_t size() const { return n; }
    char operator[](size_t k) const { return at[k]; }
    void operator+=(char c) { at[n++] = c; }
  } mant{digits};
  int frac_digits = 0;
  int digit_count = 0;
  auto take_digits = [&](bool fraction) {
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      if (!(mant.empty() && s[i] == '0')) mant += s[i];
      if (fraction) ++frac_digits;
      ++digit_count;
      ++i;
    }
  };
  take_digits(false);
  if (i < s.size() && s[i] == sep) {
    ++i;
    take_digits(true);
  }
  if (digit_count == 0) return def;
  long long exp10 = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return def;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      if (exp10 < 100000) exp10 = exp10 * 10 + (s[i] - '0');
      ++i;
    }
    if (eneg) exp10 = -exp10;
  }
  if (i != s.size()) return def;
  if (mant.empty()) return Currency{0};
  // value = mant * 10^(exp10 - frac_digits); scaled by 10^4 for currency.
  const long long k = exp10 - frac_digits + 4;
  const long long len = static_cast<long long>(mant.size());
  if (len + k > 20) return def;
  unsigned long long whole = 0;
  const long long int_len = len + k;  // digits of mant that form the integer part
  for (long long j = 0; j < int_len; ++j) {
    const unsigned dgt = j < len ? static_cast<unsigned>(mant[static_cast<size_t>(j)] - '0') : 0;
    if (whole > (UINT64_MAX - dgt) / 10) return def;
    whole = whole * 10 + dgt;
  }
  // Round half to even on the dropped digits.
  if (int_len < len) {
    const long long first = int_len < 0 ? -1 : int_len;  // index of first dropped digit
    int cmp;                                             // dropped part compared with one half
    if (first < 0) {
      cmp = -1;  // dropped part below 0.1 of a unit
    } else {
      const char d0 = mant[static_cast<size_t>(first)];
      if (d0 > '5') {
        cmp = 1;
      } else if (d0 < '5') {
        cmp = -1;
      } else {
        cmp = 0;
        for (size_t j = static_cast<size_t>(first) + 1; j < mant.size(); ++j) {
          if (mant[j] != '0') {
            cmp = 1;
            break;
          }
        }
      }
    }
    if (cmp > 0 || (cmp == 0 && (whole & 1))) ++whole;
  }
  const unsigned long long limit = negative ? 9223372036854775808ull : 9223372036854775807ull;
  if (whole > limit) return def;
  const int64_t v = negative ? static_cast<int64_t>(0 - whole) : static_cast<int64_t>(whole);
  return Currency{v};
}

}  // namespace kdx

// Number parsing: the decimal texts of price formulas read as currency amounts.
#include <algorithm>
#include <cstdint>
#include <string>

#include "xml/values.h"

namespace kdx {
namespace {

// The parts of a decimal number's text: its sign, its digits with the leading
// zeros dropped, how many digits stood after the separator, and the exponent.
struct DecimalParts {
  char* digits;  // room for as many digits as the text has
  size_t count = 0;
  bool negative = false;
  int frac_digits = 0;
  long long exp10 = 0;
};

// Reads "[+-]digits[sep digits][(e|E)[+-]digits]" filling the whole text;
// false for any other text, or one without a digit before the exponent.
bool ParseDecimal(std::string_view s, char sep, DecimalParts& number) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) number.negative = s[i++] == '-';
  int digit_count = 0;
  const auto take_digits = [&](bool fraction) {
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++digit_count) {
      if (number.count > 0 || s[i] != '0') number.digits[number.count++] = s[i];
      if (fraction) ++number.frac_digits;
    }
  };
  take_digits(false);
  if (i < s.size() && s[i] == sep) {
    ++i;
    take_digits(true);
  }
  if (digit_count == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      if (number.exp10 < 100000) number.exp10 = number.exp10 * 10 + (s[i] - '0');
    }
    if (negative) number.exp10 = -number.exp10;
  }
  return i == s.size();
}

// The digits from first on, dropped, against half a unit of the digit before
// them: above (1), at (0) or below (-1); a first before the digits (-1) is
// below a tenth of that unit.
int DroppedAgainstHalf(const DecimalParts& number, long long first) {
  if (first < 0) return -1;
  const char lead = number.digits[first];
  if (lead != '5') return lead > '5' ? 1 : -1;
  for (size_t j = static_cast<size_t>(first) + 1; j < number.count; ++j) {
    if (number.digits[j] != '0') return 1;
  }
  return 0;
}

// The number in ten-thousandths, rounded half to even; false outside the
// currency range.
bool TenThousandths(const DecimalParts& number, int64_t& value) {
  // value = digits * 10^(exp10 - frac_digits), scaled by 10^4: the first
  // int_len digits (filled with zeros) are the whole ten-thousandths.
  const long long len = static_cast<long long>(number.count);
  const long long int_len = len + number.exp10 - number.frac_digits + 4;
  if (int_len > 20) return false;
  unsigned long long whole = 0;
  for (long long j = 0; j < int_len; ++j) {
    const unsigned digit = j < len ? static_cast<unsigned>(number.digits[j] - '0') : 0;
    if (whole > (UINT64_MAX - digit) / 10) return false;
    whole = whole * 10 + digit;
  }
  if (int_len < len) {
    const int dropped = DroppedAgainstHalf(number, int_len < 0 ? -1 : int_len);
    if (dropped > 0 || (dropped == 0 && (whole & 1))) ++whole;
  }
  const unsigned long long limit =
      number.negative ? 9223372036854775808ull : 9223372036854775807ull;
  if (whole > limit) return false;
  value = number.negative ? static_cast<int64_t>(0 - whole) : static_cast<int64_t>(whole);
  return true;
}

}  // namespace

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
  // The first '.' and the first ',' both stand for the separator.
  if (char* const dot = std::find(copy, end, '.'); dot != end) *dot = sep;
  const std::string_view s = TrimText(std::string_view(copy, text.size()));
  char* const from = copy + (s.data() - copy);
  if (char* const comma = std::find(from, from + s.size(), ','); comma != from + s.size()) {
    *comma = sep;
  }
  DecimalParts number{digits};
  if (!ParseDecimal(s, sep, number)) return def;
  if (number.count == 0) return Currency{0};
  int64_t value = 0;
  return TenThousandths(number, value) ? Currency{value} : def;
}

}  // namespace kdx

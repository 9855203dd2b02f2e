#include "filer/filer.h"

#include <cmath>

namespace kdx {

TExtended::TExtended(double d) {
  uint64_t mantissa = 0;
  unsigned se = std::signbit(d) ? 0x8000 : 0;
  const double a = std::fabs(d);
  if (std::isinf(a)) {
    mantissa = kIntegerBit;
    se |= 0x7FFF;
  } else if (std::isnan(a)) {
    mantissa = 0xC000000000000000ull;
    se |= 0x7FFF;
  } else if (a != 0) {
    int e;
    const double frac = std::frexp(a, &e);  // a = frac * 2^e, frac in [0.5, 1)
    mantissa = static_cast<uint64_t>(std::ldexp(frac, 64));
    se |= static_cast<unsigned>(e - 1 + 16383);
  }
  mantissa_ = mantissa;
  sign_exponent_ = static_cast<uint16_t>(se);
}

double TExtended::ToDouble() const {
  const bool negative = (sign_exponent_ & 0x8000) != 0;
  const int exponent = sign_exponent_ & 0x7FFF;
  const int biased = exponent - 16383 + 1023;  // the exponent of a double
  if ((mantissa_ & kIntegerBit) && biased >= 1 && biased <= 2046) {
    // A normal double: the top 53 bits of the significand, rounded to the
    // nearest, ties to even.
    uint64_t top = mantissa_ >> 11;
    const uint64_t rest = mantissa_ & 0x7FF;
    uint64_t e = static_cast<uint64_t>(biased);
    if (rest > 0x400 || (rest == 0x400 && (top & 1))) {
      if (++top == uint64_t{1} << 53) {
        top >>= 1;
        ++e;
      }
    }
    if (e <= 2046) {
      const uint64_t bits =
          (negative ? uint64_t{1} << 63 : 0) | e << 52 | (top & ~(uint64_t{1} << 52));
      double value;
      std::memcpy(&value, &bits, sizeof value);
      return value;
    }
  }
  double value;
  if (exponent == 0x7FFF) {
    value = (mantissa_ << 1) == 0 ? INFINITY : NAN;
  } else if (mantissa_ == 0) {
    value = 0.0;
  } else {
    // The significand has an explicit integer bit: value = m * 2^(e - 16383 - 63).
    const int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
    value = std::ldexp(static_cast<double>(mantissa_), e);
  }
  return negative ? -value : value;
}

bool TExtended::NearZeroSlow() const {
  // Brought to the form with the integer bit set, the value compares by
  // exponent, then by significand.
  uint64_t mantissa = mantissa_;
  int exponent = sign_exponent_ & 0x7FFF;
  if (mantissa == 0) return exponent != 0x7FFF;
  if (exponent == 0x7FFF) return false;
  if (exponent == 0) exponent = 1;
  while (!(mantissa & kIntegerBit)) {
    mantissa <<= 1;
    --exponent;
  }
  return exponent < kToleranceExponent ||
         (exponent == kToleranceExponent && mantissa <= kTolerance);
}

std::string_view TOrvakFiler::ReadStringView() {
  KDX_TRACE_READ(kString, pos_, 0);
  int64_t length;
  switch (Read_Byte()) {
    case 6:
      length = Read_Byte();
      break;
    case 7:
      length = ReadUInt16();
      break;
    case 8:
      length = ReadInt32();
      break;
    default:
      RaiseBadData();
  }
  // The length is checked against what is left before anything is allocated.
  if (length < 0) RaiseReadError();
  const auto count = static_cast<size_t>(length);
  return {reinterpret_cast<const char*>(Take(count)), count};
}

}  // namespace kdx

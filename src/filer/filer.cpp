#include "filer/filer.h"

#include <cmath>

namespace kdx {

namespace {

// The extended value nearest to 1E-8: kTolerance * 2^-90.
constexpr uint64_t kTolerance = 12379400392853802749u;
constexpr int kToleranceExponent = 16383 - 27;
constexpr uint64_t kIntegerBit = uint64_t{1} << 63;

}  // namespace

TExtended::TExtended(uint64_t mantissa, uint16_t sign_exponent) {
  for (int i = 0; i < 4; ++i) words_[i] = static_cast<uint16_t>(mantissa >> (16 * i));
  words_[4] = sign_exponent;
}

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
  *this = TExtended(mantissa, static_cast<uint16_t>(se));
}

uint64_t TExtended::Mantissa() const {
  uint64_t mantissa = 0;
  for (int i = 0; i < 4; ++i) mantissa |= static_cast<uint64_t>(words_[i]) << (16 * i);
  return mantissa;
}

double TExtended::ToDouble() const {
  const uint64_t mantissa = Mantissa();
  const int exponent = words_[4] & 0x7FFF;
  double value;
  if (exponent == 0x7FFF) {
    value = (mantissa << 1) == 0 ? INFINITY : NAN;
  } else if (exponent == 0 && mantissa == 0) {
    value = 0.0;
  } else {
    // The significand has an explicit integer bit: value = m * 2^(e - 16383 - 63).
    const int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
    value = std::ldexp(static_cast<double>(mantissa), e);
  }
  return (words_[4] & 0x8000) ? -value : value;
}

bool TExtended::NearZero() const {
  uint64_t mantissa = Mantissa();
  int exponent = words_[4] & 0x7FFF;
  if (exponent == 0x7FFF) return false;
  if (mantissa == 0) return true;
  // Brought to the form with the integer bit set, the value compares by
  // exponent, then by significand.
  if (exponent == 0) exponent = 1;
  while (!(mantissa & kIntegerBit)) {
    mantissa <<= 1;
    --exponent;
  }
  return exponent < kToleranceExponent ||
         (exponent == kToleranceExponent && mantissa <= kTolerance);
}

bool TExtended::NearOne() const {
  const uint64_t mantissa = Mantissa();
  if (!(mantissa & kIntegerBit)) return false;  // below 0.5 (or not a normal form)
  // Above 1 the distance is (m - 2^63) * 2^-63, below it (2^64 - m) * 2^-64;
  // against kTolerance * 2^-90 that is a comparison with kTolerance shifted.
  switch (words_[4]) {
    case 16383:
      return mantissa - kIntegerBit <= kTolerance >> 27;
    case 16382:
      return (~mantissa + 1) <= kTolerance >> 26;
    default:
      return false;
  }
}

std::string_view TOrvakFiler::ReadStringView() {
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

void TKdFilerWriter::WriteString(std::string_view text) {
  const size_t n = text.size();
  WriteStringTagged(n <= 255 ? 6 : n <= 65534 ? 7 : 8, text);
}

void TKdFilerWriter::WriteStringTagged(uint8_t tag, std::string_view text) {
  WriteInt08(tag);
  switch (tag) {
    case 6:
      WriteInt08(static_cast<uint8_t>(text.size()));
      break;
    case 7:
      WriteInt16(static_cast<uint16_t>(text.size()));
      break;
    default:
      WriteInt32(static_cast<int32_t>(text.size()));
      break;
  }
  Write(text.data(), text.size());
}

}  // namespace kdx

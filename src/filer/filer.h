// The typed little-endian reader over the bytes of a packed document, and the
// matching writer that tests use to build documents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "filer/errors.h"

namespace kdx {

// Fixed-point currency: the amount times 10000.
struct Currency {
  int64_t value = 0;
  friend bool operator==(Currency a, Currency b) = default;
  static constexpr Currency FromUnits(int64_t units) { return Currency{units * 10000}; }
};
inline constexpr Currency kMaxCurrency{INT64_MAX};

// An 80-bit extended value as stored: a 64-bit significand with its integer
// bit, then the sign and a 15-bit exponent biased by 16383. Kept as its bits,
// since not every platform has an 80-bit type, so that a value can be tested
// against 0 or 1 exactly as stored; numbers are written from its nearest double.
// Packed to its ten bytes: rows hold several.
#pragma pack(push, 2)
class TExtended {
 public:
  constexpr TExtended() = default;
  // Exact: every double is an extended value.
  TExtended(double value);  // NOLINT(google-explicit-constructor): values are assigned as numbers
  constexpr TExtended(uint64_t mantissa, uint16_t sign_exponent)
      : mantissa_(mantissa), sign_exponent_(sign_exponent) {}
  static constexpr TExtended One() { return {uint64_t{1} << 63, 16383}; }
  uint64_t Mantissa() const { return mantissa_; }
  uint16_t SignExponent() const { return sign_exponent_; }
  double ToDouble() const;
  // Within 1E-8 (the extended value nearest to it) of 0, of 1.
  bool NearZero() const {
    if (!(mantissa_ & kIntegerBit)) return NearZeroSlow();
    // A normal form (infinities too) compares by exponent, then by significand.
    const int exponent = sign_exponent_ & 0x7FFF;
    return exponent < kToleranceExponent ||
           (exponent == kToleranceExponent && mantissa_ <= kTolerance);
  }
  bool NearOne() const {
    // Above 1 the distance is (m - 2^63) * 2^-63, below it (2^64 - m) * 2^-64;
    // against kTolerance * 2^-90 that is a comparison with kTolerance shifted.
    if (!(mantissa_ & kIntegerBit)) return false;  // not a normal form
    switch (sign_exponent_) {
      case 16383:
        return mantissa_ - kIntegerBit <= kTolerance >> 27;
      case 16382:
        return (~mantissa_ + 1) <= kTolerance >> 26;
      default:
        return false;
    }
  }

  static constexpr uint64_t kIntegerBit = uint64_t{1} << 63;
  // The extended value nearest to 1E-8: kTolerance * 2^-90.
  static constexpr uint64_t kTolerance = 12379400392853802749u;
  static constexpr int kToleranceExponent = 16383 - 27;

 private:
  // Unnormal and denormal forms: brought to the normal form first.
  bool NearZeroSlow() const;

  uint64_t mantissa_ = 0;
  uint16_t sign_exponent_ = 0;
};
#pragma pack(pop)

#if defined(KDX2XML_READ_TRACE)
// Fuzz builds only: the reading of a document told as events, so that a
// mutator learns where its fields, strings and list items lie from the
// reading itself. Positions are offsets in the bytes being read.
class ReadTrace {
 public:
  enum Event : uint8_t {
    kRead,       // count bytes taken at position
    kString,     // a tagged string starts at position
    kListCount,  // a list's count of count bytes at position
    kItem,       // a list item starts at position
    kListEnd,    // the list's items end at position
  };
  virtual void On(Event event, size_t position, size_t count) = 0;

 protected:
  ~ReadTrace() = default;
};
// The trace of this thread's reading, when one is listening.
inline thread_local ReadTrace* g_read_trace = nullptr;
#define KDX_TRACE_READ(event, position, count)                                                  \
  do {                                                                                          \
    if (::kdx::g_read_trace) ::kdx::g_read_trace->On(::kdx::ReadTrace::event, position, count); \
  } while (false)
#else
#define KDX_TRACE_READ(event, position, count) static_cast<void>(0)
#endif

// Nesting of rows is capped so that reading, writing XML and destroying a
// crafted file cannot exhaust the stack.
inline constexpr int kMaxRowNesting = 256;

// Every read returns the width and signedness it reads, and every read goes
// through Take, the one place where a length is checked against what is left.
class TOrvakFiler {
 public:
  TOrvakFiler(const uint8_t* data, size_t size, size_t position = 0)
      : data_(data), size_(size), pos_(position <= size ? position : size) {}

  size_t Position() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
  bool IsEndOfStream() const { return pos_ == size_; }

  // Copies exactly count raw bytes.
  void Read(void* buffer, size_t count) {
    const uint8_t* bytes = Take(count);
    if (count) std::memcpy(buffer, bytes, count);
  }
  // Passes over count bytes that nothing keeps.
  void Skip(size_t count) { Take(count); }
  int8_t ReadInt08() { return static_cast<int8_t>(*Take(1)); }
  uint8_t Read_Byte() { return *Take(1); }
  int16_t ReadInt16() { return static_cast<int16_t>(Fixed<uint16_t>()); }
  uint16_t ReadUInt16() { return Fixed<uint16_t>(); }
  int32_t ReadInt32() { return static_cast<int32_t>(Fixed<uint32_t>()); }
  uint32_t ReadUInt32() { return Fixed<uint32_t>(); }
  int64_t ReadInt64() { return static_cast<int64_t>(Fixed<uint64_t>()); }
  uint64_t ReadUInt64() { return Fixed<uint64_t>(); }
  bool ReadBoolean() { return Read_Byte() == 10; }
  bool ReadByteBoolean() { return Read_Byte() != 0; }
  double ReadDbl64() {
    const uint64_t bits = ReadUInt64();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  Currency ReadCurr64() { return Currency{ReadInt64()}; }
  TExtended ReadExtended() {
    const uint8_t* bytes = Take(10);
    uint64_t mantissa = 0;
    for (size_t i = 0; i < 8; ++i) mantissa |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    return {mantissa, static_cast<uint16_t>(bytes[8] | bytes[9] << 8)};
  }
  // A tagged string (tag 6, 7 or 8 and a 1-, 2- or 4-byte length); the bytes
  // are windows-1251 text and are returned as they stand.
  std::string ReadString() { return std::string(ReadStringView()); }
  // The same text as a view of the bytes being read, for a field that copies
  // it at once: no text is made on the way. Valid as long as the bytes are.
  std::string_view ReadStringView();
  void SkipString() { ReadStringView(); }

  // Reads the marker byte a record starts with.
  void CheckSignature(uint8_t value) {
    if (Read_Byte() != value) RaiseInvalidSignature();
  }

 private:
  // The next count bytes, or EReadError when fewer are left.
  const uint8_t* Take(size_t count) {
    KDX_TRACE_READ(kRead, pos_, count);
    if (count > size_ - pos_) RaiseReadError();
    const uint8_t* bytes = data_ + pos_;
    pos_ += count;
    return bytes;
  }
  template <typename T>
  T Fixed() {
    const uint8_t* bytes = Take(sizeof(T));
    T v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<T>(bytes[i]) << (8 * i));
    return v;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_;
};

// The filer rows read from: the general reader and the nesting guard of the
// row lists being read.
// The reader of a document: the typed reads, the row nesting guard and the
// file version every row's reader asks (the state of one read passed down
// with the reads, not found through the rows' owners).
class TKdFiler : public TOrvakFiler {
 public:
  // The file version a row read on its own reads as: newer than any file.
  static constexpr int32_t kNewerThanAnyVersion = 0x0FFFFFFF;

  using TOrvakFiler::TOrvakFiler;

  // The file version of the document being read; the newest of all until
  // the document's header is read (a row read on its own).
  int32_t FileVersion() const { return file_version_; }
  void SetFileVersion(int32_t version) { file_version_ = version; }

  // Row nesting guard: one level per row list being read.
  void EnterNesting() {
    if (++nesting_ > kMaxRowNesting) RaiseBadData();
  }
  void LeaveNesting() { --nesting_; }

 private:
  int nesting_ = 0;
  int32_t file_version_ = kNewerThanAnyVersion;
};

// RAII nesting level for reading one row list.
class NestingGuard {
 public:
  explicit NestingGuard(TKdFiler& filer) : filer_(filer) { filer_.EnterNesting(); }
  ~NestingGuard() { filer_.LeaveNesting(); }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  TKdFiler& filer_;
};

}  // namespace kdx

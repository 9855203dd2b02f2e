// Test document builder: a typed writer over the filer's encodings, with
// helpers for row heads, list bodies and the packed header, so that every test
// states its input as readable code. Texts are given in UTF-8 and written in
// windows-1251.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "filer/filer.h"
#include "xml/settings.h"

namespace kdx::test {

// Date value of a calendar date (days since 30 December 1899).
double DateValue(int year, int month, int day);
// Currency from a decimal amount given as text ("12.5"), exactly.
Currency Curr(std::string_view amount);

// The typed writer of test documents: the mirror of every read of the filer,
// little-endian, into a growing byte buffer.
class DocBuilder {
 public:
  DocBuilder& Byte(uint8_t v) {
    bytes_ += static_cast<char>(v);
    return *this;
  }
  DocBuilder& I16(uint16_t v) { return Fixed(v); }
  DocBuilder& I32(int32_t v) { return Fixed(static_cast<uint32_t>(v)); }
  DocBuilder& I64(int64_t v) { return Fixed(static_cast<uint64_t>(v)); }
  DocBuilder& Bool(bool v) { return Byte(v ? 10 : 9); }
  DocBuilder& ByteBool(bool v) { return Byte(v ? 1 : 0); }
  DocBuilder& Dbl(double v) { return Fixed(std::bit_cast<uint64_t>(v)); }
  // The ten bytes of an extended value: the mantissa, then sign and exponent.
  DocBuilder& Ext(double v) {
    const TExtended value(v);
    return I64(static_cast<int64_t>(value.Mantissa())).I16(value.SignExponent());
  }
  // A currency amount given as decimal text, e.g. Cur("12.345").
  DocBuilder& Cur(std::string_view amount) { return I64(Curr(amount).value); }
  DocBuilder& CurRaw(int64_t scaled) { return I64(scaled); }
  DocBuilder& Date(int year, int month, int day) { return Dbl(DateValue(year, month, day)); }
  // A string in UTF-8, written in windows-1251 with the tag its length asks for.
  DocBuilder& Str(std::string_view utf8);
  // A string with a chosen tag (6, 7 or 8) whatever its length.
  DocBuilder& StrTagged(uint8_t tag, std::string_view utf8);
  DocBuilder& Raw(std::string_view bytes) {
    bytes_ += bytes;
    return *this;
  }
  DocBuilder& Append(const DocBuilder& other) { return Raw(other.Bytes()); }

  // The row marker 0xEF, then the caption when one is given.
  DocBuilder& Head(std::optional<std::string_view> caption = std::nullopt);
  // The head of a list body for the given list options: the row head (when the
  // options store a caption), then the count in the width the options choose.
  DocBuilder& ListHead(uint8_t options, int64_t count,
                       std::optional<std::string_view> caption = std::nullopt);

  const std::string& Bytes() const { return bytes_; }
  size_t Size() const { return bytes_.size(); }

 private:
  template <typename T>
  DocBuilder& Fixed(T v) {
    for (size_t i = 0; i < sizeof(T); ++i) bytes_ += static_cast<char>((v >> (8 * i)) & 0xFF);
    return *this;
  }
  std::string bytes_;
};

// The packed document: "KR00", the kind byte, four free bytes, then the body
// header (the 8-byte signature and the file version) and the body.
std::string PackDocument(uint8_t kind, std::string_view signature, int32_t version,
                         const std::string& body, uint32_t free_bytes = 0);

// The settings tests convert with: ',' as the decimal separator, 15.03.2023 as today.
ConversionSettings TestSettings();
// The same settings as one object that lives as long as the tests (documents
// and XML writers keep a reference to theirs).
const ConversionSettings& Conventions();

// Outcome of a conversion through the core driver.
struct Outcome {
  bool ok = false;
  std::string xml;      // UTF-8, CR LF kept
  std::string failure;  // "Class: message" in UTF-8
};
Outcome Convert(const std::string& packed, const ConversionSettings& settings = TestSettings());

// The XML of a successful conversion with the declaration and the root start
// tag's line removed and CR LF turned into LF: what a test compares against.
std::string BodyLines(const std::string& xml);
// The line of the root start tag, without its line end.
std::string RootLine(const std::string& xml);

// Expects the packed document to convert and every shorter prefix of it to
// fail: within the first four bytes as a wrong header, at four as no document
// of this program, past that as a read beyond the end.
void ExpectEveryCutFails(const std::string& packed);

}  // namespace kdx::test

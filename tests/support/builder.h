// Test document builder: a typed writer over the filer's encodings, with
// helpers for row heads, list bodies and the packed header, so that every test
// states its input as readable code. Texts are given in UTF-8 and written in
// windows-1251.
#pragma once

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

class DocBuilder {
 public:
  DocBuilder& Byte(uint8_t v) {
    w_.WriteInt08(v);
    return *this;
  }
  DocBuilder& I16(uint16_t v) {
    w_.WriteInt16(v);
    return *this;
  }
  DocBuilder& I32(int32_t v) {
    w_.WriteInt32(v);
    return *this;
  }
  DocBuilder& I64(int64_t v) {
    w_.WriteInt64(v);
    return *this;
  }
  DocBuilder& Bool(bool v) {
    w_.WriteBoolean(v);
    return *this;
  }
  DocBuilder& ByteBool(bool v) {
    w_.WriteByteBoolean(v);
    return *this;
  }
  DocBuilder& Dbl(double v) {
    w_.WriteDbl64(v);
    return *this;
  }
  DocBuilder& Ext(double v) {
    w_.WriteExtended(v);
    return *this;
  }
  // A currency amount given as decimal text, e.g. Cur("12.345").
  DocBuilder& Cur(std::string_view amount) {
    w_.WriteCur64(Curr(amount));
    return *this;
  }
  DocBuilder& CurRaw(int64_t scaled) {
    w_.WriteInt64(scaled);
    return *this;
  }
  DocBuilder& Date(int year, int month, int day) { return Dbl(DateValue(year, month, day)); }
  // A string in UTF-8, written in windows-1251 with the tag its length asks for.
  DocBuilder& Str(std::string_view utf8);
  // A string with a chosen tag (6, 7 or 8) whatever its length.
  DocBuilder& StrTagged(uint8_t tag, std::string_view utf8);
  DocBuilder& Raw(std::string_view bytes) {
    w_.Write(bytes.data(), bytes.size());
    return *this;
  }
  DocBuilder& Append(const DocBuilder& other) { return Raw(other.Bytes()); }

  // The row marker 0xEF, then the caption when one is given.
  DocBuilder& Head(std::optional<std::string_view> caption = std::nullopt);
  // The head of a list body for the given list options: the row head (when the
  // options store a caption), then the count in the width the options choose.
  DocBuilder& ListHead(uint8_t options, int64_t count,
                       std::optional<std::string_view> caption = std::nullopt);

  const std::string& Bytes() const { return w_.Bytes(); }
  size_t Size() const { return w_.Bytes().size(); }

 private:
  TKdFilerWriter w_;
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

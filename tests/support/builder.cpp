#include "support/builder.h"

#include "api/convert.h"
#include "filer/codepage.h"
#include "model/row.h"
#include "support/outcomes.h"
#include "xml/values.h"

namespace kdx::test {

double DateValue(int year, int month, int day) { return DateValueOf(year, month, day); }

Currency Curr(std::string_view amount) {
  bool negative = !amount.empty() && amount[0] == '-';
  if (negative) amount.remove_prefix(1);
  int64_t whole = 0, frac = 0;
  int frac_digits = 0;
  bool in_frac = false;
  for (char ch : amount) {
    if (ch == '.' || ch == ',') {
      in_frac = true;
    } else if (in_frac) {
      if (frac_digits < 4) {
        frac = frac * 10 + (ch - '0');
        ++frac_digits;
      }
    } else {
      whole = whole * 10 + (ch - '0');
    }
  }
  while (frac_digits < 4) {
    frac *= 10;
    ++frac_digits;
  }
  const int64_t v = whole * 10000 + frac;
  return Currency{negative ? -v : v};
}

DocBuilder& DocBuilder::Str(std::string_view utf8) {
  const size_t n = Utf8ToCp1251(utf8).size();
  return StrTagged(n <= 255 ? 6 : n <= 65534 ? 7 : 8, utf8);
}

DocBuilder& DocBuilder::StrTagged(uint8_t tag, std::string_view utf8) {
  const std::string text = Utf8ToCp1251(utf8);
  Byte(tag);
  if (tag == 6) {
    Byte(static_cast<uint8_t>(text.size()));
  } else if (tag == 7) {
    I16(static_cast<uint16_t>(text.size()));
  } else {
    I32(static_cast<int32_t>(text.size()));
  }
  return Raw(text);
}

DocBuilder& DocBuilder::Head(std::optional<std::string_view> caption) {
  Byte(kRowMarker);
  if (caption) Str(*caption);
  return *this;
}

DocBuilder& DocBuilder::ListHead(uint8_t options, int64_t count,
                                 std::optional<std::string_view> caption) {
  if (options & soloStoreCaption) Head(caption ? caption : std::optional<std::string_view>(""));
  if (options & soloCnt32) {
    I32(static_cast<int32_t>(count));
  } else if (options & soloCnt08) {
    Byte(static_cast<uint8_t>(count));
  } else {
    I16(static_cast<uint16_t>(count));
  }
  return *this;
}

std::string PackDocument(uint8_t kind, std::string_view signature, int32_t version,
                         const std::string& body, uint32_t free_bytes) {
  return DocBuilder()
      .Raw("KR00")
      .Byte(kind)
      .I32(static_cast<int32_t>(free_bytes))
      .Raw(signature)
      .I32(version)
      .Raw(body)
      .Bytes();
}

ConversionSettings TestSettings() {
  ConversionSettings s;
  s.decimal_separator = ',';
  s.today = DateValue(2023, 3, 15);
  s.program_version = "1.0.0.0";
  return s;
}

const ConversionSettings& Conventions() {
  static const ConversionSettings settings = TestSettings();
  return settings;
}

Outcome Convert(const std::string& packed, const ConversionSettings& settings) {
  Outcome out;
  out.failure = FailureOf([&] {
    const std::string xml =
        ConvertDocument(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(), settings);
    out.ok = true;
    out.xml = Cp1251ToUtf8(xml);
  });
  return out;
}

std::string RootLine(const std::string& xml) {
  const size_t start = xml.find('\n') + 1;
  return xml.substr(start, xml.find('\r', start) - start);
}

std::string BodyLines(const std::string& xml) {
  std::string text;
  for (char ch : xml) {
    if (ch != '\r') text += ch;
  }
  // Drop the declaration line and the root start tag line.
  for (int i = 0; i < 2; ++i) {
    const size_t nl = text.find('\n');
    text = nl == std::string::npos ? std::string() : text.substr(nl + 1);
  }
  return text;
}

}  // namespace kdx::test

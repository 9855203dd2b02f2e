#include "support/common_builder.h"

namespace kdx::test {

void WriteSignatures(DocBuilder& b, const Signatures& s) {
  b.Head(s.caption).I16(static_cast<uint16_t>(s.items.size()));
  for (const Signature& sign : s.items) {
    b.Head(sign.role).I32(sign.id).Str(sign.value).Head(sign.attributes_caption);
    b.I16(static_cast<uint16_t>(sign.attributes.size()));
    for (const SignAttribute& a : sign.attributes) b.Head(a.caption).I32(a.id).Str(a.value);
  }
}

void WriteVariables(DocBuilder& b, const std::vector<Variable>& list) {
  b.I16(static_cast<uint16_t>(list.size()));
  for (const Variable& v : list) b.Head(v.caption).Str(v.identifier).Str(v.formula);
}

void WriteUserData(DocBuilder& b, const UserTexts& data) {
  uint16_t mask = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    if (!data[i].empty()) mask |= static_cast<uint16_t>(1u << i);
  }
  b.Head().Byte(0).I16(mask);
  for (const std::string& text : data) {
    if (!text.empty()) b.Str(text);
  }
}

void WriteDocLink(DocBuilder& b, const DocLink& link) {
  b.Head().Byte(1).Byte(link.type);
  if (link.type != 0) b.Str(link.link).Byte(link.target).Bool(link.invalid);
}

void WritePrices(DocBuilder& b, const PriceTexts& values, const PriceTexts& texts) {
  uint8_t flags = 0;
  for (size_t c = 0; c < kPriceColumns; ++c) {
    if (values[c]) flags |= static_cast<uint8_t>(kPriceValue << c);
    if (texts[c]) flags |= static_cast<uint8_t>(kPriceText << c);
  }
  b.Head().Byte(flags);
  for (const auto& value : values) {
    if (value) b.Cur(*value);
  }
  for (const auto& text : texts) {
    if (text) b.Str(*text);
  }
}

}  // namespace kdx::test

#include "support/ressummary_builder.h"

namespace kdx::test::ressummary {

DocBuilder ResourceRecord(const Resource& r) {
  uint32_t flags = r.extra_flags;
  if (r.code) flags |= kHasCode;
  if (r.units) flags |= kHasUnits;
  if (r.name) flags |= kHasName;
  if (r.quantity) flags |= kHasQuantity;
  if (r.cargo) flags |= kHasCargo;
  if (r.brutto) flags |= kHasMass;
  if (r.grade) flags |= kHasWorkClass;
  if (r.prices) flags |= kHasPrices;
  if (r.requested) flags |= kHasRequestedPrices;
  DocBuilder b;
  b.Head().I32(static_cast<int32_t>(flags));
  for (const auto& index : {r.code, r.units, r.name}) {
    if (index) b.I16(static_cast<uint16_t>(*index));
  }
  if (r.quantity) b.Dbl(*r.quantity);
  if (r.cargo) b.I16(static_cast<uint16_t>(*r.cargo));
  if (r.brutto) b.I32(*r.brutto);
  if (r.grade) b.I16(static_cast<uint16_t>(*r.grade));
  for (const auto& prices : {r.prices, r.requested}) {
    if (prices) WritePrices(b, prices->values, prices->texts);
  }
  return b;
}

DocBuilder Source(std::string_view caption, std::string_view code, const DocLink& link) {
  DocBuilder b;
  b.Head(caption).Head().Str(code);
  WriteDocLink(b, link);
  return b;
}

DocBuilder DocumentRow(uint8_t kind, int8_t k, int16_t index) {
  return DocBuilder()
      .Head()
      .Byte(kind)
      .Byte(static_cast<uint8_t>(k))
      .I16(static_cast<uint16_t>(index));
}

DocBuilder ChapterRow(uint8_t kind, int8_t k, bool inactive, int16_t index) {
  return DocBuilder()
      .Byte(kind)
      .Head()
      .Byte(static_cast<uint8_t>(k))
      .Bool(inactive)
      .I16(static_cast<uint16_t>(index));
}

DocBuilder Chapter(std::string_view caption, uint16_t count, const DocBuilder& rows,
                   bool inactive) {
  return DocBuilder().Head(caption).I16(count).Append(rows).Bool(inactive);
}

DocBuilder Summary::Body() const {
  DocBuilder b;
  b.I32(static_cast<int32_t>(report.options))
      .Byte(report.grouping)
      .Byte(report.sort_mode)
      .Byte(report.report_options);
  if (version >= kSortDirection) b.Byte(report.direction);
  for (const auto* list : {&codes, &names, &units}) {
    b.I16(static_cast<uint16_t>(list->size()));
    for (const std::string& text : *list) b.Head(text);
  }
  b.I16(ls_count).Append(ls).I16(os_count).Append(os).I16(ssr_count).Append(ssr);
  b.I16(chapter_count).Append(chapters).Str(comment);
  WriteUserData(b, user_data);
  return b;
}

std::string Summary::Packed() const { return PackDocument(6, "KD_RSumm", version, Body().Bytes()); }

}  // namespace kdx::test::ressummary

#include "support/cennik_builder.h"

namespace kdx::test::cennik {

DocBuilder ResourceItem(int32_t version, const Resource& r) {
  const bool wide = version >= kDatesAndNotes, texts = version >= kPriceTexts;
  uint16_t flags = r.extra_flags;
  for (size_t n = 0; n < kColumns; ++n) {
    if (r.price[n]) flags |= static_cast<uint16_t>(kHasPrice << n);
    if (texts && r.fx[n]) flags |= static_cast<uint16_t>(kHasPriceText << n);
  }
  if (r.cargo) flags |= kHasCargo;
  if (r.brutto) flags |= kHasMass;
  if (r.rasr) flags |= kHasWorkClass;
  if (r.comment) flags |= kHasComment;
  if (wide && r.base_note) flags |= kHasBaseNote;
  if (wide && r.curr_note) flags |= kHasCurrNote;

  DocBuilder b;
  b.Byte(kResourceItem).Head(r.name).Str(r.code).I16(static_cast<uint16_t>(r.units));
  if (wide) {
    b.I16(flags);
  } else {
    b.Byte(static_cast<uint8_t>(flags));
  }
  for (const auto& p : r.price) {
    if (p) b.Cur(*p);
  }
  if (r.cargo) b.I16(static_cast<uint16_t>(*r.cargo));
  if (r.brutto) b.I32(*r.brutto);
  if (r.rasr) b.I16(static_cast<uint16_t>(*r.rasr));
  if (r.comment) b.Str(*r.comment);
  if (wide && r.base_note) b.Str(*r.base_note);
  if (wide && r.curr_note) b.Str(*r.curr_note);
  for (const auto& t : r.fx) {
    if (texts && t) b.Str(*t);
  }
  return b;
}

DocBuilder FolderItem(std::string_view caption, const std::vector<DocBuilder>& items) {
  DocBuilder b;
  b.Byte(kFolderItem).Head(caption).I32(static_cast<int32_t>(items.size()));
  for (const auto& i : items) b.Append(i);
  return b;
}

DocBuilder FolderItem(std::string_view caption, std::initializer_list<DocBuilder> items) {
  return FolderItem(caption, std::vector<DocBuilder>(items));
}

DocBuilder Group(const std::vector<DocBuilder>& items) {
  DocBuilder b;
  b.I32(static_cast<int32_t>(items.size()));
  for (const auto& i : items) b.Append(i);
  return b;
}

DocBuilder Group(std::initializer_list<DocBuilder> items) {
  return Group(std::vector<DocBuilder>(items));
}

std::string PriceList::Body() const {
  DocBuilder b;
  if (version >= kDatesAndNotes) {
    b.Str(comment).Dbl(base_date).Str(base_note).Dbl(curr_date).Str(curr_note);
  }
  b.Byte(visible).I16(static_cast<uint16_t>(units.size()));
  for (const auto& u : units) b.Head(u);
  uint8_t mask = mask_extra;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (groups[i]) mask |= static_cast<uint8_t>(1u << i);
  }
  b.Byte(mask);
  for (const auto& g : groups) {
    if (g) b.Append(*g);
  }
  if (version >= kSignatures) WriteSignatures(b, signatures);
  if (version >= kVariables) WriteVariables(b, variables);
  return b.Bytes();
}

std::string PriceList::Packed() const { return PackDocument(3, "KD_Cennk", version, Body()); }

}  // namespace kdx::test::cennik

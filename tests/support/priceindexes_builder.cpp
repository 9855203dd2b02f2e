#include "support/priceindexes_builder.h"

namespace kdx::test::priceindexes {

DocBuilder IndexItem(const Index& index) {
  DocBuilder b;
  b.Byte(kIndexItem);
  WriteIndex(b, index, true, true);
  return b;
}

DocBuilder Folder(std::string_view caption, const std::vector<DocBuilder>& items) {
  DocBuilder b;
  b.Head(caption).I32(static_cast<int32_t>(items.size()));
  for (const DocBuilder& item : items) b.Append(item);
  return b;
}

DocBuilder Folder(std::string_view caption, std::initializer_list<DocBuilder> items) {
  return Folder(caption, std::vector<DocBuilder>(items));
}

DocBuilder FolderItem(std::string_view caption, const std::vector<DocBuilder>& items) {
  return DocBuilder().Byte(kFolderItem).Append(Folder(caption, items));
}

DocBuilder FolderItem(std::string_view caption, std::initializer_list<DocBuilder> items) {
  return FolderItem(caption, std::vector<DocBuilder>(items));
}

std::string Document::Body() const {
  DocBuilder b;
  WriteAddOnTypes(b, add_on_types);
  b.I32(static_cast<int32_t>(folders.size()));
  for (const DocBuilder& folder : folders) b.Append(folder);
  if (version >= kSignatures) WriteSignatures(b, signatures);
  if (version >= kBindingDate) b.Str(comment).Dbl(date).Str(date_comment).I32(nakl).I32(plan);
  return b.Bytes();
}

std::string Document::Packed() const { return PackDocument(4, "KD_Index", version, Body()); }

}  // namespace kdx::test::priceindexes

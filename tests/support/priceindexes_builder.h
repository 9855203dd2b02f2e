// Price-index documents (document kind 4) written from content at any file
// version, for the tests and the sample tool: add-on types, folders of
// indexes (the index records estimates hold too), signatures, the comment, the
// binding date and the rates on machinists' wages.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "support/builder.h"
#include "support/common_builder.h"
#include "support/smeta_builder.h"

namespace kdx::test::priceindexes {

using smeta::AddOn;
using smeta::AddOnType;
using smeta::Factors;
using smeta::Index;
using smeta::kNoChange;
using smeta::kOne;

// File versions, and what each one brought.
inline constexpr int32_t kSignatures = 0x0001014C;
// The comment, the binding date, its note and the rates on machinists' wages.
inline constexpr int32_t kBindingDate = 0x0001014E;
inline constexpr int32_t kNewest = 0x0001015F;

// Item types inside a folder.
inline constexpr uint8_t kIndexItem = 0, kFolderItem = 1;
// Built-in add-on kinds, stored negated; others are 1-based add-on types.
inline constexpr int8_t kOverheads = -1, kProfit = -2, kWinter = -3;
// Where an add-on of an add-on type is calculated.
inline constexpr uint8_t kAsIndex = 0, kInItog = 1, kInSmr = 2;
// Index options: machine operation indexed apart from the total.
inline constexpr uint16_t kSeparateEm = 0x0001;

// An index item of a folder.
DocBuilder IndexItem(const Index& index);
// A folder item (inside another folder) with its items.
DocBuilder FolderItem(std::string_view caption, std::initializer_list<DocBuilder> items);
DocBuilder FolderItem(std::string_view caption, const std::vector<DocBuilder>& items);
// A top-level folder: no type byte.
DocBuilder Folder(std::string_view caption, std::initializer_list<DocBuilder> items);
DocBuilder Folder(std::string_view caption, const std::vector<DocBuilder>& items);

struct Document {
  int32_t version = kNewest;
  std::vector<AddOnType> add_on_types{};
  std::vector<DocBuilder> folders{};  // top-level folders
  Signatures signatures{};
  std::string comment{};
  double date = DateValue(2020, 2, 13);
  std::string date_comment{};
  int32_t nakl = 0, plan = 0;  // rates on machinists' wages, percent times 10000

  std::string Body() const;
  std::string Packed() const;
};

}  // namespace kdx::test::priceindexes

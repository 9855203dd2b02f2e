// Price lists (document kind 3) written from content at any file version, for
// the tests and the sample tool. A resource's flags follow from the fields it
// is given; only the fields the version's layout holds are written.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/builder.h"
#include "support/common_builder.h"

namespace kdx::test::cennik {

// File versions, and what each one brought.
inline constexpr int32_t kOldest = 0x00010001;
// The header's comment and dates; 16-bit resource flags and the two price notes.
inline constexpr int32_t kDatesAndNotes = 0x00010002;
inline constexpr int32_t kSignatures = 0x00010003;
inline constexpr int32_t kVariables = 0x00010004;
// The texts (formulas) of the four prices.
inline constexpr int32_t kPriceTexts = 0x00010005;
inline constexpr int32_t kNewest = kPriceTexts;

// Bits of a resource's flags, each announcing a field of the record.
inline constexpr uint16_t kHasPrice = 0x0001;  // shifted by the price column
inline constexpr uint16_t kHasCargo = 0x0010;
inline constexpr uint16_t kHasMass = 0x0020;
inline constexpr uint16_t kHasWorkClass = 0x0040;
inline constexpr uint16_t kHasComment = 0x0080;
inline constexpr uint16_t kHasBaseNote = 0x0100;
inline constexpr uint16_t kHasCurrNote = 0x0200;
inline constexpr uint16_t kHasPriceText = 0x0400;  // shifted by the price column

// Price columns: current, its second part, base, its second part.
inline constexpr size_t kColumns = 4;
// Item types within a group or a folder.
inline constexpr uint8_t kResourceItem = 0, kFolderItem = 1;
// The four root groups, in stream order.
inline constexpr size_t kWorkers = 0, kMechanics = 1, kMaterials = 2, kMachines = 3;

struct Resource {
  std::string name{};
  std::string code{};
  int16_t units = -1;                                        // index into the document's units
  std::array<std::optional<std::string>, kColumns> price{};  // stored amounts, e.g. "12.345"
  std::optional<int16_t> cargo{};                            // hundredths
  std::optional<int32_t> brutto{};                           // thousandths
  std::optional<int16_t> rasr{};                             // hundredths
  std::optional<std::string> comment{};
  std::optional<std::string> base_note{};
  std::optional<std::string> curr_note{};
  std::array<std::optional<std::string>, kColumns> fx{};
  uint16_t extra_flags = 0;  // bits set without their fields
};

// A resource item: the type byte, then the record.
DocBuilder ResourceItem(int32_t version, const Resource& r);
// A folder item with its items.
DocBuilder FolderItem(std::string_view caption, std::initializer_list<DocBuilder> items);
DocBuilder FolderItem(std::string_view caption, const std::vector<DocBuilder>& items);
// The content of a root group: its count and items.
DocBuilder Group(std::initializer_list<DocBuilder> items);
DocBuilder Group(const std::vector<DocBuilder>& items);

struct PriceList {
  int32_t version = kNewest;
  std::string comment{};
  double base_date = DateValue(2000, 1, 1);
  std::string base_note{};
  double curr_date = DateValue(2023, 1, 1);
  std::string curr_note{};
  uint8_t visible = 15;
  std::vector<std::string> units{};
  std::array<std::optional<DocBuilder>, 4> groups{};
  uint8_t mask_extra = 0;  // bits of the group mask set besides those of the groups
  Signatures signatures{};
  std::vector<Variable> variables{};

  std::string Body() const;
  std::string Packed() const;
};

}  // namespace kdx::test::cennik

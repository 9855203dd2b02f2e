// Resource summaries (document kind 6) written from content at any file
// version, for the tests and the sample tool: the report settings, the shared
// texts resources refer to by index, the three source lists, the chapters, the
// comment and the user data. Lists hold ready-made item records.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/builder.h"
#include "support/common_builder.h"

namespace kdx::test::ressummary {

// File versions, and what each one brought.
inline constexpr int32_t kSortDirection = 0x00010003;
inline constexpr int32_t kNewest = 0x00010004;

// Bits of a resource's flags, each announcing a field of the record.
inline constexpr uint32_t kHasCode = 0x0001;
inline constexpr uint32_t kHasUnits = 0x0002;
inline constexpr uint32_t kHasName = 0x0004;
inline constexpr uint32_t kHasQuantity = 0x0008;
inline constexpr uint32_t kHasCargo = 0x0010;
inline constexpr uint32_t kHasMass = 0x0020;
inline constexpr uint32_t kHasWorkClass = 0x0040;
inline constexpr uint32_t kHasPrices = 0x0400;
inline constexpr uint32_t kHasRequestedPrices = 0x0800;

// Kinds of the documents a source consists of, and of chapter rows.
inline constexpr uint8_t kLs = 0, kOs = 1, kSsr = 2;

struct Report {
  uint32_t options = 0;
  uint8_t grouping = 0;
  uint8_t sort_mode = 0;
  uint8_t report_options = 0;
  uint8_t direction = 0;  // from kSortDirection
};

// A resource of a local-estimate source; indexes point into the shared texts.
struct Resource {
  std::optional<int16_t> code{}, units{}, name{};
  std::optional<double> quantity{};
  std::optional<int16_t> cargo{};   // hundredths
  std::optional<int32_t> brutto{};  // thousandths
  std::optional<int16_t> grade{};   // hundredths
  std::optional<Prices> prices{}, requested{};
  uint32_t extra_flags = 0;  // bits set without their fields
};
DocBuilder ResourceRecord(const Resource& r);

// The head of a source: caption, document info with the code, and the link.
DocBuilder Source(std::string_view caption, std::string_view code = "", const DocLink& link = {});
// A document of an object-estimate or consolidated source: its kind, its
// multiplicity (a signed byte) and the index of its source.
DocBuilder DocumentRow(uint8_t kind, int8_t k, int16_t index);
// A source row of a chapter: the kind byte, then the record.
DocBuilder ChapterRow(uint8_t kind, int8_t k, bool inactive, int16_t index);
// A chapter: caption, the count and the rows given, whether it is inactive.
DocBuilder Chapter(std::string_view caption, uint16_t count, const DocBuilder& rows, bool inactive);

struct Summary {
  int32_t version = kNewest;
  Report report{};
  std::vector<std::string> codes{}, names{}, units{};
  uint16_t ls_count = 0, os_count = 0, ssr_count = 0, chapter_count = 0;
  DocBuilder ls{}, os{}, ssr{}, chapters{};
  std::string comment{};
  UserTexts user_data{};

  DocBuilder Body() const;
  std::string Packed() const;
};

}  // namespace kdx::test::ressummary

// Object estimates and consolidated calculations (document kinds 1 and 2)
// written from content, for the tests and the sample tool: the settings, the
// chapters, the conversion groups, the closing part and the cost rows as each
// file version holds them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/builder.h"
#include "support/common_builder.h"

namespace kdx::test::objsmeta {

// File versions, and what each one brought.
inline constexpr int32_t kOldest = 0x00010001;
inline constexpr int32_t kSignatureTexts = 0x00010002;  // four signature texts
inline constexpr int32_t kRowAmounts = 0x00010002;      // a cost row's amounts and identifier
inline constexpr int32_t kRowOptions = 0x00010003;
inline constexpr int32_t kThousands = 0x00010004;  // the flag; amounts before it are in thousands
inline constexpr int32_t kChaptersOnTheirOwn = 0x00010006;  // no blocks after the first chapter
inline constexpr int32_t kAmountsLink = 0x00010006;         // a link after a row's amounts
inline constexpr int32_t kCcChapter = 0x00010007;           // the estimate's chapter, one byte
inline constexpr int32_t kModeByte = 0x00010008;  // the mode, the stored chapters, reserved options
inline constexpr int32_t kChapterCaption = 0x00010009;
inline constexpr int32_t kFormulas = 0x0001000A;  // a formula or an amount in each of four columns
inline constexpr int32_t kCcChapters = 0x0001000B;  // one chapter for each calculation mode
inline constexpr int32_t kConversionGroups = 0x0001000C;
inline constexpr int32_t kEightSignatureTexts = 0x0001000D;
inline constexpr int32_t kRoundMode = 0x0001000E;
inline constexpr int32_t kLinkTargetByte = 0x0001000F;  // a byte after the link, unused
inline constexpr int32_t kSixColumns = 0x00010010;      // formulas in all six columns
inline constexpr int32_t kLinkTarget = 0x00010011;      // the link's target and state
inline constexpr int32_t kCommentAndUserData = 0x00010012;
inline constexpr int32_t kVariables = 0x00010014;
inline constexpr int32_t kLinkRecord = 0x00010014;  // a cost row's link has a record of its own
inline constexpr int32_t kFiveConversionFactors = 0x00010015;
inline constexpr int32_t kOtherMethods = 0x00010016;  // a row's amounts by the other methods, K
inline constexpr int32_t kSignatureList = 0x00010017;
inline constexpr int32_t kNewest = kSignatureList;

// Items of a chapter.
inline constexpr uint8_t kHeaderItem = 0, kCostItem = 1;
// Cost row options.
inline constexpr uint8_t kDisabled = 0x02;
// Amount columns: construction works, installation works, equipment, other
// costs, wage fund, unit price.
inline constexpr size_t kColumns = 6;
using Amounts = std::array<int64_t, kColumns>;  // currency units times 10000
// Coefficients are stored times 10000.
inline constexpr int32_t kOne = 10000;

// A cost row as the version holds it. A formula replaces the amount of its
// column (from kFormulas; before kSixColumns the flags of the last two columns
// are written, but their amounts stand). Before kFormulas the amounts follow a
// layout byte: 0 the first four amounts (and from kAmountsLink the link's type
// and text), 1 and 2 records that hold no amounts, any other nothing. From
// kOtherMethods a linked local estimate adds its amounts by the other two
// methods, and every row its coefficient.
struct Cost {
  std::string caption{};
  std::string basis{};
  uint8_t options = 0;                          // from kRowOptions
  uint8_t layout = 0;                           // before kFormulas
  std::array<std::string, kColumns> amounts{};  // decimal text, "" for 0
  std::array<std::optional<std::string>, kColumns> formulas{};
  DocLink link{};
  std::string id{};
  UserTexts user_data{};
  std::vector<Amounts> other_methods{};
  int32_t k = kOne;
};
DocBuilder CostItem(const Cost& cost, int32_t version = kNewest);
DocBuilder HeaderItem(std::string_view caption);
// A chapter record with its items (a caption only from kChapterCaption).
DocBuilder ChapterRecord(int32_t version, std::string_view caption, uint16_t count,
                         const DocBuilder& items);

// A conversion row: coefficients times 10000 for all columns but the unit price.
struct Conversion {
  std::string caption;
  std::array<int32_t, kColumns - 1> k{kOne, kOne, kOne, kOne, kOne};
};

struct Document {
  bool estimate = true;  // an object estimate, else a consolidated calculation
  int32_t version = kNewest;
  uint8_t mode = 0;
  std::optional<uint8_t> stored{};  // chapters stored, when not those given
  bool thousands = false;
  uint16_t reserved = 0;
  uint8_t round = 0;
  std::vector<DocBuilder> chapters{};  // chapter records (and the blocks of old files)
  std::vector<Conversion> first_conversions{}, second_conversions{};
  uint16_t summaries = 4992;
  std::vector<std::string> signature_texts{};  // before kSignatureList, by place
  Signatures signatures{};
  std::array<uint8_t, 3> cc_chapters = {2, 2, 2};  // of an estimate
  std::string comment{};
  UserTexts user_data{};
  std::vector<Variable> variables{};

  // The settings and the chapters; the rest; both packed.
  DocBuilder Head() const;
  DocBuilder Tail() const;
  std::string Packed() const;
  std::string Packed(const DocBuilder& tail) const;
};

}  // namespace kdx::test::objsmeta

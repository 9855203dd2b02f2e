// The texts of a row kept in one block: each slot gives back exactly its own
// text whichever slots around it are empty, whatever the lengths.
#include "shared/packed_texts.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kdx {
namespace {

TEST(PackedTexts, EverySlotGivesBackItsOwnText) {
  const std::string long127(127, 'a'), long128(128, 'b'), long20000(20000, 'c');
  const std::vector<std::array<std::string_view, 5>> cases = {
      {"", "", "", "", ""},
      {"код", "", "", "", ""},
      {"", "", "", "", "last"},
      {"401-10001", "Цена & условия", "", "БАЗА*8,15", ""},
      {"x", "yy", "zzz", "", "w"},
      // Lengths that take one, two and three bytes.
      {long127, "", long128, "", long20000},
      {long20000, long128, long127, "1", ""},
  };
  for (const auto& texts : cases) {
    PackedTexts<5> packed;
    packed.Assign(texts);
    const std::array<std::string_view, 5> unpacked = packed.Unpack();
    for (size_t slot = 0; slot < texts.size(); ++slot) {
      EXPECT_EQ(packed[slot], texts[slot]) << "slot " << slot;
      EXPECT_EQ(unpacked[slot], texts[slot]) << "slot " << slot;
    }
  }
}

TEST(PackedTexts, AssigningAgainReplacesEverySlot) {
  PackedTexts<8> packed;
  packed.Assign({"a", "b", "c", "d", "e", "f", "g", "h"});
  EXPECT_EQ(packed[7], "h");
  std::string source = "kept after the source is gone";
  packed.Assign({"", source, "", "", "", "", "", ""});
  source.assign(source.size(), '?');
  for (size_t slot : {0u, 2u, 7u}) EXPECT_TRUE(packed[slot].empty()) << "slot " << slot;
  EXPECT_EQ(packed[1], "kept after the source is gone");
  packed.Assign({});
  EXPECT_TRUE(packed[1].empty());
}

}  // namespace
}  // namespace kdx

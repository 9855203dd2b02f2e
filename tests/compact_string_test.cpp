// Texts of the model in one word: empty, short texts in the word, longer ones
// on the heap; every length keeps its bytes (zero bytes and windows-1251
// letters too) through copies, moves and assignments, also from itself.
#include "filer/compact_string.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace kdx::test {
namespace {

TEST(CompactString, EveryLengthKeepsItsBytes) {
  EXPECT_EQ(sizeof(CompactString), sizeof(void*));
  for (size_t n = 0; n <= 40; ++n) {
    std::string text;
    for (size_t i = 0; i < n; ++i) text += static_cast<char>(i % 3 == 0 ? 0 : 0xC0 + i);
    const CompactString s(text);
    EXPECT_EQ(s.size(), n);
    EXPECT_EQ(s.empty(), n == 0);
    EXPECT_EQ(s.view(), text);
    EXPECT_TRUE(s == text);

    CompactString copy = s;
    EXPECT_EQ(copy.view(), text);
    CompactString moved = std::move(copy);
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved text is empty
    EXPECT_EQ(moved.view(), text);
    moved = moved.view().substr(n / 2);  // from its own bytes
    EXPECT_EQ(moved.view(), text.substr(n / 2));
    moved = "";
    EXPECT_TRUE(moved.empty());
    moved = s;
    moved.clear();
    EXPECT_EQ(moved.view(), "");
    EXPECT_EQ(s.view(), text);
  }
}

// Texts by slot: empty slots until a text arrives, a text cleared again
// leaves none, and the slots keep apart.
TEST(SparseTexts, SlotsKeepTheirTextsAndEmptyOnesCostNothing) {
  SparseTexts<3> texts;
  texts.Set(1, "");
  EXPECT_FALSE(texts.Any());
  texts.Set(2, "formula of slot two, longer than a word");
  EXPECT_TRUE(texts.Any());
  EXPECT_EQ(texts[0], "");
  EXPECT_EQ(texts[2], "formula of slot two, longer than a word");
  texts.Set(0, "a");
  texts.Set(2, "");
  EXPECT_EQ(texts[0], "a");
  EXPECT_EQ(texts[2], "");
  texts.Set(0, "");
  EXPECT_FALSE(texts.Any());
}

}  // namespace
}  // namespace kdx::test

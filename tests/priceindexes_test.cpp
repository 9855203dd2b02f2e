// Price-index documents end to end: what each file version adds to the body,
// the rate normalisation of overhead and profit add-ons, add-on "Type" texts
// and positions, add-on types, folders in folders, and damaged bodies.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/row.h"
#include "support/builder.h"
#include "support/outcomes.h"
#include "support/priceindexes_builder.h"

namespace kdx::test {
namespace {

using namespace priceindexes;

// An add-on "a" of the kind with the given factors.
AddOn A(int8_t type, const Factors& factors = kNoChange) {
  return {.code = "a", .factors = factors, .type = type};
}

// An index item "i" with the code and add-ons.
DocBuilder I(std::string_view code, std::vector<AddOn> add_ons = {}) {
  return IndexItem({.item = {"i", std::string(code)}, .add_ons = std::move(add_ons)});
}

// The texts joined (appending keeps clear of a false warning of the optimiser).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

TEST(PriceIndexes, BodyByVersion) {
  const std::string head =
      "<Document ProgramVersion=\"1.0.0.0\" Generator=\"Orvakplan\" "
      "DocumentType=\"{2B0470FD-477C-4359-9F34-EEBE36B7D347}\"";
  struct Case {
    int32_t version;
    const char* root;
    const char* body;
  };
  const Case cases[] = {
      // Before 0x1014C: no signatures, the binding date is today.
      {kSignatures - 1, " BindingDate=\"15.03.2023\">", ""},
      {kSignatures, " BindingDate=\"15.03.2023\">",
       "  <KdDocSignatures Caption=\"S\">\n    <Item Caption=\"Составил\" ID=\"300\" "
       "Value=\"Иванов\"/>\n  </KdDocSignatures>\n"},
      {kBindingDate - 1, " BindingDate=\"15.03.2023\">",
       "  <KdDocSignatures Caption=\"S\">\n    <Item Caption=\"Составил\" ID=\"300\" "
       "Value=\"Иванов\"/>\n  </KdDocSignatures>\n"},
      {kBindingDate, " Comment=\"к\" BindingDate=\"13.02.2020\" DateComment=\"на дату\">",
       "  <KdDocSignatures Caption=\"S\">\n    <Item Caption=\"Составил\" ID=\"300\" "
       "Value=\"Иванов\"/>\n  </KdDocSignatures>\n  <MtsnNPZpm PC=\"77,5\"/>\n"},
  };
  for (const Case& c : cases) {
    // A folder keeps the root open even when the rest is empty.
    const Document body{.version = c.version,
                        .folders = {Folder("", {})},
                        .signatures = {"S", {{"Составил", 300, "Иванов"}}},
                        .comment = "к",
                        .date_comment = "на дату",
                        .plan = 775000};
    const Outcome out = Convert(body.Packed());
    ASSERT_TRUE(out.ok) << out.failure;
    EXPECT_EQ(RootLine(out.xml), Join({head, c.root})) << std::hex << c.version;
    EXPECT_EQ(BodyLines(out.xml),
              Join({"  <Indexes>\n    <Folder/>\n  </Indexes>\n", c.body, "</Document>\n"}))
        << std::hex << c.version;
  }

  // Nothing at all: only the root attributes.
  const Document empty{.nakl = 5};
  const Outcome out = Convert(empty.Packed());
  ASSERT_TRUE(out.ok) << out.failure;
  EXPECT_EQ(BodyLines(out.xml), "  <MtsnNPZpm NC=\"0,0005\"/>\n</Document>\n");
}

TEST(PriceIndexes, AddOnRatesAndKinds) {
  struct Case {
    AddOn add_on;
    const char* xml;
  };
  const Case cases[] = {
      // Overheads and profit carry the first rate other than 1 into every such slot.
      {A(kOverheads, {kOne, 11200, kOne, 11500, kOne}), "OZ=\"0,12\" ZM=\"0,12\" Type=\"NR\""},
      {A(kProfit, {9000, kOne, 12000, kOne, kOne}), "PZ=\"-0,1\" EM=\"-0,1\" Type=\"SP\""},
      {A(kOverheads), "Type=\"NR\""},
      // The winter rise, user types and unknown kinds keep their factors.
      {A(kWinter, {kOne, 11200, kOne, 11500, kOne}), "OZ=\"1,12\" ZM=\"1,15\" Type=\"ZU\""},
      {A(1, {kOne, 11200, kOne, 11500, kOne}), "OZ=\"1,12\" ZM=\"1,15\" Type=\"1\""},
      {A(-9, {kOne, 11200, kOne, 11500, kOne}), "OZ=\"1,12\" ZM=\"1,15\""},
  };
  for (const Case& c : cases) {
    const Document body{.add_on_types = {{"t", 1, true, kAsIndex}},
                        .folders = {Folder("f", {I("X", {c.add_on})})}};
    const Outcome out = Convert(body.Packed());
    ASSERT_TRUE(out.ok) << out.failure;
    EXPECT_NE(BodyLines(out.xml).find(Join({"<AddOn Code=\"a\" ", c.xml, "/>"})), std::string::npos)
        << BodyLines(out.xml);
  }
}

TEST(PriceIndexes, AddOnTypesAndTheirPositions) {
  const Document body{.add_on_types = {{"plain", 1, true, kAsIndex},
                                       {"itog", -2, false, kInItog},
                                       {"smr", 9, true, kInSmr}},
                      .folders = {Folder("f", {I("X", {A(3), A(1), A(4), A(0), A(127)})})}};
  const Outcome out = Convert(body.Packed());
  ASSERT_TRUE(out.ok) << out.failure;
  EXPECT_EQ(BodyLines(out.xml),
            "  <IndexAddOnTypes>\n"
            "    <AddOnType Caption=\"plain\"/>\n"
            "    <AddOnType Caption=\"itog\" Level=\"-2\" Active=\"No\" CalcPlace=\"Itog\"/>\n"
            "    <AddOnType Caption=\"smr\" Level=\"9\" CalcPlace=\"Smr\"/>\n"
            "  </IndexAddOnTypes>\n"
            "  <Indexes>\n"
            "    <Folder Caption=\"f\">\n"
            "      <Index Caption=\"i\" Code=\"X\">\n"
            "        <IndexesAddOns>\n"
            "          <AddOn Code=\"a\" Type=\"3\"/>\n"
            "          <AddOn Code=\"a\" Type=\"1\"/>\n"
            "          <AddOn Code=\"a\"/>\n"
            "          <AddOn Code=\"a\"/>\n"
            "          <AddOn Code=\"a\"/>\n"
            "        </IndexesAddOns>\n"
            "      </Index>\n"
            "    </Folder>\n"
            "  </Indexes>\n"
            "</Document>\n");
}

// count folders, each inside the one before; the innermost holds one index.
DocBuilder NestedFolders(int count) {
  DocBuilder b;
  for (int i = 0; i < count; ++i) {
    if (i > 0) b.Byte(kFolderItem);
    b.Head("f").I32(1);
  }
  return b.Append(I("deep"));
}

TEST(PriceIndexes, Folders) {
  const Document nested{
      .folders = {Folder("", {}), Folder("outer", {FolderItem("inner", {I("Y")}), I("Z")})}};
  Outcome out = Convert(nested.Packed());
  ASSERT_TRUE(out.ok) << out.failure;
  EXPECT_EQ(BodyLines(out.xml),
            "  <Indexes>\n"
            "    <Folder/>\n"
            "    <Folder Caption=\"outer\">\n"
            "      <Folder Caption=\"inner\">\n"
            "        <Index Caption=\"i\" Code=\"Y\"/>\n"
            "      </Folder>\n"
            "      <Index Caption=\"i\" Code=\"Z\"/>\n"
            "    </Folder>\n"
            "  </Indexes>\n"
            "</Document>\n");

  // Deep trees load up to the nesting cap and fail cleanly beyond it.
  Document deep{.folders = {NestedFolders(200)}};
  out = Convert(deep.Packed());
  EXPECT_TRUE(out.ok) << out.failure;
  deep.folders = {NestedFolders(kMaxRowNesting + 10)};
  EXPECT_EQ(Convert(deep.Packed()).failure, kBadData);

  // An item type other than index (0) or folder (1).
  const Document unknown{.folders = {Folder("f", {DocBuilder().Byte(2).Append(I("X"))})}};
  EXPECT_EQ(Convert(unknown.Packed()).failure, kBadData);
}

TEST(PriceIndexes, EveryTruncationFails) {
  const Document body{.add_on_types = {{"t", 2, false, kInItog}},
                      .folders = {Folder("f", {I("X", {A(1, {1, 2, kOne, kOne, kOne}), A(kProfit)}),
                                               FolderItem("g", {})})},
                      .signatures = {"S", {{"r", 1, "v"}}},
                      .comment = "cc"};
  ExpectEveryCutFails(body.Packed());
}

}  // namespace
}  // namespace kdx::test

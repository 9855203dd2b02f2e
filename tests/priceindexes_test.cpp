// Price-index documents end to end: what each file version adds to the body,
// the rate normalisation of overhead and profit add-ons, add-on "Type" texts
// and positions, add-on types, folders in folders, and damaged bodies.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "model/row.h"
#include "support/builder.h"
#include "support/outcomes.h"

namespace kdx::test {
namespace {

constexpr uint8_t kKind = 4;
constexpr int32_t kLatest = 0x0001015F;

struct Body {
  int32_t version = kLatest;
  uint16_t type_count = 0;
  DocBuilder types;
  int32_t folder_count = 0;
  DocBuilder folders;
  // From 0x1014C.
  DocBuilder signatures = DocBuilder().ListHead(soloStoreCaption, 0, "");
  // From 0x1014E.
  std::string comment;
  double date = DateValue(2020, 2, 13);
  std::string date_comment;
  int32_t nakl = 0, plan = 0;

  std::string Packed() const {
    DocBuilder b;
    b.I16(type_count).Append(types).I32(folder_count).Append(folders);
    if (version >= 0x0001014C) b.Append(signatures);
    if (version >= 0x0001014E) b.Str(comment).Dbl(date).Str(date_comment).I32(nakl).I32(plan);
    return PackDocument(kKind, "KD_Index", version, b.Bytes());
  }
};

DocBuilder AddOnType(std::string_view caption, int8_t level, bool active, uint8_t place) {
  return DocBuilder().Head(caption).Byte(static_cast<uint8_t>(level)).Bool(active).Byte(place);
}

// An add-on with factors for the slots of the presence byte, in slot order.
DocBuilder AddOn(int8_t type, uint8_t present, std::initializer_list<int32_t> values) {
  DocBuilder b;
  b.Head().Str("a").Byte(present);
  for (int32_t v : values) b.I32(v);
  return b.I16(0).Byte(static_cast<uint8_t>(type));
}

// A folder item that is an index with the given add-ons.
DocBuilder IndexItem(std::string_view code, uint16_t add_on_count, const DocBuilder& add_ons) {
  return DocBuilder().Byte(0).Head("i").Str(code).Byte(0).I16(0).I16(add_on_count).Append(add_ons);
}

// The texts joined (appending keeps clear of a false warning of the optimiser).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

// The root start tag's line of the XML.
std::string RootLine(const std::string& xml) {
  const size_t start = xml.find('\n') + 1;
  return xml.substr(start, xml.find('\r', start) - start);
}

TEST(PriceIndexes, BodyByVersion) {
  const std::string head =
      "<Document ProgramVersion=\"1.0.0.0\" Generator=\"Orvakplan\" "
      "DocumentType=\"{2B0470FD-477C-4359-9F34-EEBE36B7D347}\"";
  const DocBuilder one_signature = DocBuilder()
                                       .ListHead(soloStoreCaption, 1, "S")
                                       .Head("Составил")
                                       .I32(300)
                                       .Str("Иванов")
                                       .ListHead(soloStoreCaption, 0, "");
  struct Case {
    int32_t version;
    const char* root;
    const char* body;
  };
  const Case cases[] = {
      // Before 0x1014C: no signatures, the binding date is today.
      {0x0001014B, " BindingDate=\"15.03.2023\">", ""},
      {0x0001014C, " BindingDate=\"15.03.2023\">",
       "  <KdDocSignatures Caption=\"S\">\n    <Item Caption=\"Составил\" ID=\"300\" "
       "Value=\"Иванов\"/>\n  </KdDocSignatures>\n"},
      {0x0001014D, " BindingDate=\"15.03.2023\">",
       "  <KdDocSignatures Caption=\"S\">\n    <Item Caption=\"Составил\" ID=\"300\" "
       "Value=\"Иванов\"/>\n  </KdDocSignatures>\n"},
      {0x0001014E, " Comment=\"к\" BindingDate=\"13.02.2020\" DateComment=\"на дату\">",
       "  <KdDocSignatures Caption=\"S\">\n    <Item Caption=\"Составил\" ID=\"300\" "
       "Value=\"Иванов\"/>\n  </KdDocSignatures>\n  <MtsnNPZpm PC=\"77,5\"/>\n"},
  };
  for (const Case& c : cases) {
    Body body;
    body.version = c.version;
    body.signatures = one_signature;
    body.comment = "к";
    body.date_comment = "на дату";
    body.plan = 775000;
    // A folder keeps the root open even when the rest is empty.
    body.folder_count = 1;
    body.folders = DocBuilder().Head("").I32(0);
    const Outcome out = Convert(body.Packed());
    ASSERT_TRUE(out.ok) << out.failure;
    EXPECT_EQ(RootLine(out.xml), Join({head, c.root})) << std::hex << c.version;
    EXPECT_EQ(BodyLines(out.xml),
              Join({"  <Indexes>\n    <Folder/>\n  </Indexes>\n", c.body, "</Document>\n"}))
        << std::hex << c.version;
  }

  // Nothing at all: only the root attributes.
  Body empty;
  empty.nakl = 5;
  const Outcome out = Convert(empty.Packed());
  ASSERT_TRUE(out.ok) << out.failure;
  EXPECT_EQ(BodyLines(out.xml), "  <MtsnNPZpm NC=\"0,0005\"/>\n</Document>\n");
}

TEST(PriceIndexes, AddOnRatesAndKinds) {
  struct Case {
    DocBuilder add_on;
    const char* xml;
  };
  const Case cases[] = {
      // Overheads and profit carry the first rate other than 1 into every such slot.
      {AddOn(-1, 0x1F, {10000, 11200, 10000, 11500, 10000}), "OZ=\"0,12\" ZM=\"0,12\" Type=\"NR\""},
      {AddOn(-2, 0x05, {9000, 12000}), "PZ=\"-0,1\" EM=\"-0,1\" Type=\"SP\""},
      {AddOn(-1, 0x00, {}), "Type=\"NR\""},
      // The winter rise, user types and unknown kinds keep their factors.
      {AddOn(-3, 0x0A, {11200, 11500}), "OZ=\"1,12\" ZM=\"1,15\" Type=\"ZU\""},
      {AddOn(1, 0x0A, {11200, 11500}), "OZ=\"1,12\" ZM=\"1,15\" Type=\"1\""},
      {AddOn(-9, 0x0A, {11200, 11500}), "OZ=\"1,12\" ZM=\"1,15\""},
  };
  for (const Case& c : cases) {
    Body body;
    body.type_count = 1;
    body.types = AddOnType("t", 1, true, 0);
    body.folder_count = 1;
    body.folders = DocBuilder().Head("f").I32(1).Append(IndexItem("X", 1, c.add_on));
    const Outcome out = Convert(body.Packed());
    ASSERT_TRUE(out.ok) << out.failure;
    EXPECT_NE(BodyLines(out.xml).find(Join({"<AddOn Code=\"a\" ", c.xml, "/>"})), std::string::npos)
        << BodyLines(out.xml);
  }
}

TEST(PriceIndexes, AddOnTypesAndTheirPositions) {
  Body body;
  body.type_count = 3;
  body.types = DocBuilder()
                   .Append(AddOnType("plain", 1, true, 0))
                   .Append(AddOnType("itog", -2, false, 1))
                   .Append(AddOnType("smr", 9, true, 2));
  body.folder_count = 1;
  body.folders = DocBuilder().Head("f").I32(1).Append(IndexItem("X", 5,
                                                                DocBuilder()
                                                                    .Append(AddOn(3, 0, {}))
                                                                    .Append(AddOn(1, 0, {}))
                                                                    .Append(AddOn(4, 0, {}))
                                                                    .Append(AddOn(0, 0, {}))
                                                                    .Append(AddOn(127, 0, {}))));
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
    if (i > 0) b.Byte(1);
    b.Head("f").I32(1);
  }
  return b.Append(IndexItem("deep", 0, DocBuilder()));
}

TEST(PriceIndexes, Folders) {
  Body nested;
  nested.folder_count = 2;
  nested.folders = DocBuilder()
                       .Head("")
                       .I32(0)
                       .Head("outer")
                       .I32(2)
                       .Byte(1)
                       .Head("inner")
                       .I32(1)
                       .Append(IndexItem("Y", 0, DocBuilder()))
                       .Append(IndexItem("Z", 0, DocBuilder()));
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
  Body deep;
  deep.folder_count = 1;
  deep.folders = NestedFolders(200);
  out = Convert(deep.Packed());
  EXPECT_TRUE(out.ok) << out.failure;
  deep.folders = NestedFolders(kMaxRowNesting + 10);
  EXPECT_EQ(Convert(deep.Packed()).failure, kBadData);

  // An item type other than index (0) or folder (1).
  Body unknown;
  unknown.folder_count = 1;
  unknown.folders = DocBuilder().Head("f").I32(1).Byte(2).Head("i").Str("X").Byte(0).I16(0).I16(0);
  EXPECT_EQ(Convert(unknown.Packed()).failure, kBadData);
}

TEST(PriceIndexes, EveryTruncationFails) {
  Body body;
  body.type_count = 1;
  body.types = AddOnType("t", 2, false, 1);
  body.folder_count = 1;
  body.folders = DocBuilder().Head("f").I32(2).Append(
      IndexItem("X", 2, DocBuilder().Append(AddOn(1, 0x03, {1, 2})).Append(AddOn(-2, 0, {}))));
  body.folders.Byte(1).Head("g").I32(0);
  body.signatures = DocBuilder()
                        .ListHead(soloStoreCaption, 1, "S")
                        .Head("r")
                        .I32(1)
                        .Str("v")
                        .ListHead(soloStoreCaption, 0, "");
  body.comment.assign(2, 'c');
  const std::string packed = body.Packed();
  ASSERT_TRUE(Convert(packed).ok);
  for (size_t n = 0; n < packed.size(); ++n) {
    const Outcome out = Convert(packed.substr(0, n));
    EXPECT_FALSE(out.ok) << n;
    EXPECT_FALSE(out.failure.empty()) << n;
  }
}

}  // namespace
}  // namespace kdx::test

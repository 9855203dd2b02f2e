// Estimate price indexes: factors present by the presence byte, options by
// version, add-ons resolved against the estimate's add-on types, lookups by
// code, the write rule of the common indexes and the column index codes.
#include "smeta/indexes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "filer/codepage.h"
#include "support/model_fixtures.h"

namespace kdx::test {
namespace {

// The stand-in estimate keeping the add-on types its index positions refer to.
class Estimate : public TestEstimate, public IPriceIndexAddOnTypesOwner {
 public:
  explicit Estimate(int32_t version) : TestEstimate(version), types(this) {}
  TPriceIndexAddOnTypes* IndexAddOnTypes() override { return &types; }
  TPriceIndexAddOnTypes types;
};

TEST(Indexes, FactorsAndOptions) {
  struct Case {
    int32_t version;
    DocBuilder record;
    const char* xml;
  };
  const Case cases[] = {
      // No factor present: all read back as 1.
      {kLatest, DocBuilder().Head("i").Str("A1").Byte(0).I16(0),
       "  <Index Caption=\"i\" Code=\"A1\"/>\n"},
      // 0xFF: five factors, the high bits ignored.
      {kLatest,
       DocBuilder()
           .Head("")
           .Str("")
           .Byte(0xFF)
           .I32(12000)
           .I32(10000)
           .I32(5)
           .I32(-10000)
           .I32(123456)
           .I16(0x0003),
       "  <Index SMR=\"1,2\" EM=\"0,0005\" ZM=\"-1\" MT=\"12,3456\" Options=\"SeparEm "
       "Reserved\"/>\n"},
      {kLatest, DocBuilder().Head("").Str("").Byte(0x12).I32(20000).I32(30000).I16(0),
       "  <Index OZ=\"2\" MT=\"3\"/>\n"},
      // Options exist from 0x10130.
      {0x0001012F, DocBuilder().Head("i").Str("A1").Byte(0),
       "  <Index Caption=\"i\" Code=\"A1\"/>\n"},
  };
  for (const Case& c : cases) {
    Estimate doc(c.version);
    TSmetaIndexRes index(&doc);
    ReadRow(index, c.record);
    EXPECT_EQ(RowXml(index), c.xml);
  }
}

TEST(Indexes, PositionAddOnsUseTheOwnersTypes) {
  Estimate doc(kLatest);
  ReadRow(
      doc.types,
      DocBuilder().I16(2).Head("t1").Byte(1).Bool(true).Byte(0).Head("t2").Byte(2).Bool(false).Byte(
          2));
  TSmetaIndexesPos list(&doc);
  const auto add_on = [](int8_t type) {
    return DocBuilder().Head().Str("a").Byte(0x01).I32(11500).I16(0).Byte(
        static_cast<uint8_t>(type));
  };
  ReadRow(list, DocBuilder()
                    .I16(2)
                    .Head("with")
                    .Str("P1")
                    .Byte(0)
                    .I16(0)
                    .I16(3)
                    .Append(add_on(2))
                    .Append(add_on(3))
                    .Append(add_on(-1))
                    .Head("without")
                    .Str("P2")
                    .Byte(0)
                    .I16(0)
                    .I16(0));
  EXPECT_EQ(RowXml(list),
            "  <IndexesPos>\n"
            "    <Index Caption=\"with\" Code=\"P1\">\n"
            "      <IndexesAddOns>\n"
            "        <AddOn Code=\"a\" SMR=\"1,15\" Type=\"2\"/>\n"
            "        <AddOn Code=\"a\" SMR=\"1,15\"/>\n"
            "        <AddOn Code=\"a\" PZ=\"0,15\" Type=\"NR\"/>\n"
            "      </IndexesAddOns>\n"
            "    </Index>\n"
            "    <Index Caption=\"without\" Code=\"P2\"/>\n"
            "  </IndexesPos>\n");
  const auto* pos = static_cast<TSmetaIndexPos*>(list.At(0));
  EXPECT_EQ(pos->AddOnTypes(), &doc.types);
  EXPECT_EQ(pos->AddOns().At(0)->FAddOnType, doc.types.At(1));

  TSmetaIndexesRes empty(&doc);
  ReadRow(empty, DocBuilder().I16(0));
  EXPECT_EQ(RowXml(empty), "");
}

TEST(Indexes, FindIndexByCode) {
  Estimate doc(kLatest);
  TSmetaIndexesRes list(&doc);
  DocBuilder b;
  b.I16(4);
  for (const char* code : {" AB1", "AB1", "ab1", "Вр_5"}) b.Head("").Str(code).Byte(0).I16(0);
  ReadRow(list, b);
  struct Case {
    const char* code;
    int found;  // index in the list, -1 for none
  };
  const Case cases[] = {
      {" ab1\t ", 1}, {"AB1", 1}, {"вР_5", 3}, {"  ", -1}, {"", -1}, {"AB", -1}, {"AB1 x", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(list.FindIndex(Utf8ToCp1251(c.code)), c.found < 0 ? nullptr : list.At(c.found))
        << c.code;
  }
}

TEST(Indexes, CommonIndexWriteRule) {
  struct Case {
    int32_t version;
    TSmetaIndexSmrLzMode mode;
    const char* formula;
    uint16_t options;  // stored from 0x1012F
    const char* xml;
  };
  const Case cases[] = {
      // Older files have no options: inactive, written only with a formula.
      {0x0001012E, smrimBlz, " ", 0, ""},
      {0x0001012E, smrimAlz, "1,2", 0,
       "  <CommonIndexB Caption=\"c\" Formula=\"1,2\" Options=\"Disabled\"/>\n"},
      // Only the Disabled bit is kept.
      {0x0001012F, smrimRes, "2", 0xFFFF,
       "  <CommonIndexR Caption=\"c\" Formula=\"2\" Options=\"Disabled\"/>\n"},
      {0x0001012F, smrimRes, "", 0xFBFF, "  <CommonIndexR Caption=\"c\"/>\n"},
      {0x0001012F, smrimBlz, "", 0x0400, ""},
      {0x0001012F, smrimBlz, "x", 0x0001, "  <CommonIndexA Caption=\"c\" Formula=\"x\"/>\n"},
  };
  for (const Case& c : cases) {
    Estimate doc(c.version);
    TKDXSmetaIndexSmrLz index(&doc, c.mode);
    DocBuilder b;
    b.Head("c").Str(c.formula);
    if (c.version >= 0x0001012F) b.I16(c.options);
    ReadRow(index, b);
    EXPECT_EQ(RowXml(index), c.xml) << c.formula << " " << c.options;
  }
}

TEST(Indexes, ColumnIndexCodes) {
  Estimate doc(kLatest);
  TSmetaOsIndexes columns(&doc);
  ReadRow(columns, DocBuilder().Head().Str("C").Str("").Str("E").Str("O"));
  EXPECT_EQ(RowXml(columns), "  <OsIndexes Sroy=\"C\" Obor=\"E\" Other=\"O\"/>\n");
  TSmetaOsIndexes none(&doc);
  ReadRow(none, DocBuilder().Head().Str("").Str("").Str("").Str(""));
  EXPECT_EQ(RowXml(none), "  <OsIndexes/>\n");
}

}  // namespace
}  // namespace kdx::test

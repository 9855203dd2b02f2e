// Coefficients: the option layouts of old and new files with their
// normalisation per class, factor pairs and their attributes, formulas split by
// cost item, levels of position coefficients, the link arrays of work-type
// coefficients and the exclusion lists of positions.
#include "smeta/coefficients.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "filer/codepage.h"
#include "support/model_fixtures.h"

namespace kdx::test {
namespace {

// The stand-in estimate keeping the work-type coefficients that exclusion lists
// refer to.
class Estimate : public TestEstimate, public ISmetaVrKfsOwner {
 public:
  explicit Estimate(int32_t version) : TestEstimate(version), kfs(this) {}
  TSmetaVrKfs* VrKfsList() override { return &kfs; }
  TSmetaVrKfs kfs;
};

// A coefficient record of the newest layout: kind, options, then the kind's data.
DocBuilder KRecord(uint8_t kind, uint16_t options, const DocBuilder& data,
                   std::string_view caption = "K1") {
  return DocBuilder().Head(caption).Byte(kind).I16(options).Append(data);
}
DocBuilder Pairs(std::initializer_list<std::pair<uint8_t, int32_t>> pairs) {
  DocBuilder b;
  b.Byte(static_cast<uint8_t>(pairs.size()));
  for (const auto& [slot, value] : pairs) b.Byte(slot).I32(value);
  return b;
}

TEST(Coefficients, OptionLayoutsByVersion) {
  struct Case {
    int32_t version;
    DocBuilder record;
    const char* xml;
  };
  const Case cases[] = {
      // Before 0x10104: one option byte, no kind; bit 2 takes Base away.
      {0x00010103, DocBuilder().Head("a").Byte(0x05).Append(Pairs({})),
       "  <K Caption=\"a\" Options=\"Percent Curr\"/>\n"},
      // ...and quantity bits bring Base back with them.
      {0x00010103, DocBuilder().Head("a").Byte(0x7F).Append(Pairs({})),
       "  <K Caption=\"a\" Options=\"Percent InPos Base Curr PzAll EmAll MatQty EmQty\"/>\n"},
      // 0x10104: 16-bit options, still no kind.
      {0x00010104, DocBuilder().Head("a").I16(0x0801).Append(Pairs({{1, 20000}})),
       "  <K Caption=\"a\" Options=\"Percent SeparEm\" Value_OZ=\"2\"/>\n"},
      // 0x10105: kind byte first.
      {0x00010105, KRecord(skkStandart, 0x0003, Pairs({})),
       "  <K Caption=\"K1\" Options=\"Percent InPos\"/>\n"},
  };
  for (const Case& c : cases) {
    Estimate doc(c.version);
    TSmetaAbstractK k(&doc);
    ReadRow(k, c.record);
    EXPECT_EQ(RowXml(k), c.xml) << std::hex << c.version;
  }
}

TEST(Coefficients, FactorPairs) {
  Estimate doc(kLatest);
  TSmetaAbstractK k(&doc);
  // Slot 5 turns OzpTz on (and with it Base and Curr); slot 6 at 1 does
  // nothing; slots beyond 6 are read and dropped; slot 4 back at 1 is not written.
  ReadRow(k, KRecord(skkStandart, 0,
                     Pairs({{0, 15000}, {5, 12000}, {6, 10000}, {9, 7}, {4, 10000}, {2, 9999}})));
  EXPECT_EQ(RowXml(k),
            "  <K Caption=\"K1\" Options=\"Base Curr OzpTz\" Value_PZ=\"1,5\" "
            "Value_EM=\"0,9999\"/>\n");

  // The pair count is unsigned: 200 pairs are read.
  DocBuilder many;
  many.Byte(200);
  for (int i = 0; i < 200; ++i) many.Byte(3).I32(10000 + i);
  TSmetaAbstractK k2(&doc);
  ReadRow(k2, KRecord(skkStandart, 0, many));
  EXPECT_EQ(k2.FValues[3], 10199);
}

TEST(Coefficients, KindsOtherThanFactors) {
  Estimate doc(kLatest);
  TSmetaAbstractK formula(&doc);
  // A formula keeps only Percent, InPos, Base, Curr, Disabled and HideFx.
  ReadRow(formula, KRecord(skkFormula, 0x3FF, DocBuilder().Str("ПЗ = 1,1; МАТ=(2;3)")));
  EXPECT_EQ(RowXml(formula),
            "  <K Caption=\"K1\" Kind=\"Formula\" Options=\"Percent InPos Base Curr\" "
            "Formula=\"ПЗ = 1,1; МАТ=(2;3)\"/>\n");
  std::array<std::string, kKfSlots> parts;
  EXPECT_TRUE(formula.FormulaParts(parts));
  EXPECT_EQ(Cp1251ToUtf8(parts[0]), "1,1");
  EXPECT_EQ(Cp1251ToUtf8(parts[4]), "(2;3)");

  TSmetaAbstractK empty(&doc);
  ReadRow(empty, KRecord(skkFormula, 0, DocBuilder().Str(""), ""));
  EXPECT_EQ(RowXml(empty), "  <K Kind=\"Formula\" Formula=\"\"/>\n");

  for (uint8_t kind : {2, 3, 200}) {
    TSmetaAbstractK other(&doc);
    ReadRow(other, KRecord(kind, 0x1000, DocBuilder()));
    EXPECT_EQ(RowXml(other), "  <K Caption=\"K1\" Options=\"HideFx\"/>\n") << int(kind);
  }
}

TEST(Coefficients, FormulaSplit) {
  struct Case {
    const char* text;
    bool ok;
    std::array<const char*, 5> fx;
  };
  const Case cases[] = {
      {"", true, {"", "", "", "", ""}},
      {"ПЗ=1;ОЗП=2;ЭМ=3;ЗПМ=4;МАТ=5", true, {"1", "2", "3", "4", "5"}},
      {" МАТ = max( 1 ; 2 ) ; ЗПМ=1.5 ", true, {"", "", "", "1.5", "max(1;2)"}},
      // An empty piece ends the split; what follows is not looked at.
      {"ЭМ=2;;bad", true, {"", "", "2", "", ""}},
      {"ПЗ=2;", true, {"2", "", "", "", ""}},
      // An unknown name, a name without "=", or a cost item named twice.
      {"ОЗП=1;X=2;ЭМ=3", false, {"", "1", "", "", ""}},
      {"ПЗ", false, {"", "", "", "", ""}},
      {"ПЗ=1;ПЗ=2", false, {"1", "", "", "", ""}},
      {"пз=1", false, {"", "", "", "", ""}},
  };
  for (const Case& c : cases) {
    std::array<std::string, kKfSlots> fx;
    fx[0] = "stale";
    EXPECT_EQ(SplitKFormula(Utf8ToCp1251(c.text), fx), c.ok) << c.text;
    for (size_t i = 0; i < kKfSlots; ++i) EXPECT_EQ(Cp1251ToUtf8(fx[i]), c.fx[i]) << c.text;
  }
}

TEST(Coefficients, TerritorialAndRegional) {
  Estimate doc(kLatest);
  TSmetaTerZoneK ter(&doc);
  ReadRow(ter, KRecord(skkStandart, 0xFFFF, Pairs({{0, 11000}}), "stored"));
  EXPECT_EQ(RowXml(ter), "  <TerZoneK Options=\"Base PzAll EmAll\" Value_PZ=\"1,1\"/>\n");

  // The regional coefficient has no marker and no caption; old files have an option byte.
  Estimate old_doc(0x00010103);
  TSmetaRegK old_reg(&old_doc);
  ReadRow(old_reg, DocBuilder().Byte(0x03).I32(10000));
  EXPECT_EQ(RowXml(old_reg), "  <RegionalK Options=\"Percent InPos Base\"/>\n");

  TSmetaRegK reg(&doc);
  ReadRow(reg, DocBuilder().I16(0x03C0).I32(11500));
  EXPECT_EQ(RowXml(reg), "  <RegionalK Value=\"1,15\" Options=\"MatQty EmQty OzpTz ZpmTz\"/>\n");
}

TEST(Coefficients, PositionLevels) {
  // Up to 0x10126 the level is the place in the list (at most 99); the stored
  // byte exists from 0x10125 and is kept from 0x10127, sign-extended.
  for (int32_t version : {0x00010124, 0x00010125, 0x00010126, 0x00010127}) {
    const bool has_level = version >= 0x00010125;
    DocBuilder b;
    b.I16(101);
    for (int i = 0; i < 101; ++i) {
      b.Append(KRecord(skkStandart, 0, Pairs({}), ""));
      if (has_level) b.Byte(0xFD);
    }
    Estimate doc(version);
    TSmetaPosKfs list(&doc);
    ReadRow(list, b);
    ASSERT_EQ(list.Count(), 101u);
    const bool kept = version >= 0x00010127;
    EXPECT_EQ(list.At(0)->FLevel, kept ? -3 : 1) << std::hex << version;
    EXPECT_EQ(list.At(1)->FLevel, kept ? -3 : 2);
    EXPECT_EQ(list.At(99)->FLevel, kept ? -3 : 99);
    EXPECT_EQ(list.At(100)->FLevel, kept ? -3 : 99);
  }
  Estimate doc(kLatest);
  TSmetaResKf res(&doc);
  ReadRow(res, KRecord(skkStandart, 0, Pairs({}), "").Byte(0x05));
  EXPECT_EQ(RowXml(res), "  <K Level=\"5\"/>\n");
}

DocBuilder Links(std::initializer_list<int16_t> ids) {
  DocBuilder b;
  b.I16(static_cast<uint16_t>(ids.size()));
  for (int16_t id : ids) b.I16(static_cast<uint16_t>(id));
  return b;
}

TEST(Coefficients, WorkTypeCoefficients) {
  // Without InPos the quantity options go; Base and Curr stay from them.
  Estimate doc(kLatest);
  TSmetaVrKf kf(&doc);
  ReadRow(kf, KRecord(skkStandart, 0x00C0, Pairs({}))
                  .Byte(2)
                  .Byte(0x02)
                  .Append(Links({7, -1}))
                  .Append(Links({}))
                  .Append(Links({3}))
                  .Append(Links({4, 5}))
                  .Append(Links({6})));
  EXPECT_EQ(RowXml(kf),
            "  <K Caption=\"K1\" Options=\"Base Curr\" Level=\"2\" AllChapters=\"No\" "
            "ChaptersLinks=\"(7, -1)\" VrsLinks84=\"(3)\" VrsLinks=\"(6)\" "
            "VrGroupsLinks=\"(4, 5)\"/>\n");

  TSmetaVrKf in_pos(&doc);
  ReadRow(in_pos, KRecord(skkStandart, 0x00C2, Pairs({}), "")
                      .Byte(1)
                      .Byte(0x03)
                      .Append(Links({}))
                      .Append(Links({}))
                      .Append(Links({}))
                      .Append(Links({}))
                      .Append(Links({})));
  EXPECT_EQ(RowXml(in_pos), "  <K Options=\"InPos Base Curr MatQty EmQty\" Level=\"1\"/>\n");

  // Before 0x10109 there are no 2001 links.
  Estimate old_doc(0x00010108);
  TSmetaVrKf old_kf(&old_doc);
  ReadRow(old_kf, KRecord(skkStandart, 0, Pairs({}), "")
                      .Byte(1)
                      .Byte(0x03)
                      .Append(Links({}))
                      .Append(Links({9}))
                      .Append(Links({})));
  EXPECT_EQ(RowXml(old_kf), "  <K Level=\"1\" VrGroupsLinks84=\"(9)\"/>\n");

  TSmetaVrKf negative(&doc);
  EXPECT_EQ(
      ReadFailure(negative, KRecord(skkStandart, 0, Pairs({}), "").Byte(1).Byte(3).I16(0xFFFE)),
      "ERangeError: Range check error");
  TSmetaVrKf short_links(&doc);
  EXPECT_EQ(ReadFailure(short_links,
                        KRecord(skkStandart, 0, Pairs({}), "").Byte(1).Byte(3).I16(3).I16(1)),
            "EReadError: Stream read error");
}

TEST(Coefficients, ExclusionLists) {
  Estimate doc(kLatest);
  DocBuilder three;
  three.I16(3);
  for (int i = 0; i < 3; ++i) {
    three.Append(KRecord(skkStandart, 0, Pairs({}), "")).Byte(1).Byte(3);
    for (int n = 0; n < 5; ++n) three.Append(Links({}));
  }
  ReadRow(doc.kfs, three);

  // Repeated indexes repeat; out-of-range and negative ones are dropped.
  TSmetaPosKfs position(&doc);  // stands for the position that owns the list
  TSmetaExcludedVrKfs excluded(&position);
  ReadRow(excluded, DocBuilder().Head().Byte(5).I16(0).I16(7).I16(0).I16(0xFFFF).I16(2));
  ASSERT_EQ(excluded.FItems.size(), 3u);
  EXPECT_EQ(excluded.FItems, (std::vector<int32_t>{0, 0, 2}));
  EXPECT_EQ(RowXml(excluded), "  <ExcludedKfs Value=\"(0, 0, 2)\"/>\n");

  // Without an owning estimate nothing is kept, and the element stays bare.
  TSmetaExcludedVrKfs orphan(nullptr);
  ReadRow(orphan, DocBuilder().Head().Byte(1).I16(0));
  EXPECT_TRUE(orphan.FItems.empty());
  EXPECT_EQ(RowXml(orphan), "  <ExcludedKfs/>\n");
}

}  // namespace
}  // namespace kdx::test

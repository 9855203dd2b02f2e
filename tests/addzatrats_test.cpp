// Additional costs, winter rises and the common overhead and profit
// coefficients: a cost's record by file version and chapter, the return costs
// older files keep inside a cost's record, the eight chapters always written,
// the winter catalogue written only with coefficients, the common texts.
#include "smeta/addzatrats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "smeta/smeta_host.h"
#include "support/model_fixtures.h"
#include "support/outcomes.h"

namespace kdx::test {
namespace {

// The stand-in estimate giving return costs its option set.
class Estimate : public TestEstimate, public ISmetaOptionsSource {
 public:
  Estimate(int32_t version, uint32_t options) : TestEstimate(version), options_(options) {}
  uint32_t SmetaOptions() const override { return options_; }

 private:
  uint32_t options_;
};

constexpr int32_t kVerOldOptions = 0x0001011D;  // last with the option mask, no formula
constexpr int32_t kVerFormula = 0x0001011E;
constexpr int32_t kVerLastReturn = 0x0001012B;  // last with the returned amount
constexpr int32_t kVerNoReturn = 0x0001012C;

// A cost record; the optional parts are present when given.
struct Cost {
  const char* caption = "a";
  uint16_t options = 0;
  const char* value = "0";
  const char* formula = nullptr;
  const char* ident = nullptr;
  const char* returned = nullptr;
  int level = -1;

  DocBuilder Record() const {
    DocBuilder b;
    b.Head(caption).I16(options).Cur(value);
    if (formula) b.Str(formula);
    if (ident) b.Str(ident);
    if (returned) b.Cur(returned);
    if (level >= 0) b.Byte(static_cast<uint8_t>(level));
    return b;
  }
};

// The XML of a chapter list read from the cost records.
std::string ChapterXml(TSmetaAddZatrats& costs, int chapter, std::initializer_list<Cost> list) {
  DocBuilder b;
  b.I16(static_cast<uint16_t>(list.size()));
  for (const Cost& c : list) b.Append(c.Record());
  ReadRow(*costs.Glava(chapter), b);
  return RowXml(*costs.Glava(chapter));
}
std::string Glava(int chapter, const std::string& items) {
  return "  <AddZatrGlava Glava=\"" + std::to_string(chapter) + "\">\n" + items +
         "  </AddZatrGlava>\n";
}

TEST(AddZatrats, RecordByVersionAndChapter) {
  struct Case {
    int32_t version;
    int chapter;
    Cost cost;
    const char* xml;
  };
  const Case cases[] = {
      // Old options keep Percent, InSmr, Return, NoNepr; a zero return adds nothing.
      {kVerOldOptions,
       9,
       {.options = 0xFFFF, .value = "5", .returned = "0"},
       "Caption=\"a\" Value=\"5\" Options=\"Percent InSmr Reserved NoNepr\""},
      {kVerOldOptions,
       9,
       {.options = 3},
       "Caption=\"a\" Value=\"0\" Options=\"Percent InSmr\" Formula=\"\""},
      // From 0x1011E a formula only for a zero value, then the identifier.
      {kVerFormula,
       9,
       {.options = 3, .value = "5", .ident = "A1"},
       "Caption=\"a\" Identifier=\"A1\" Value=\"5\" Options=\"Percent InSmr\""},
      {kVerFormula,
       11,
       {.caption = "", .formula = "", .ident = ""},
       "Value=\"0\" Options=\"\" Formula=\"\""},
      {kVerNoReturn,
       10,
       {.options = 0x0418, .formula = "Ф*2", .ident = ""},
       "Caption=\"a\" Value=\"0\" Options=\"HideFx Inactive Reserved\" Formula=\"Ф*2\""},
      // A signed level byte only in chapters 14 and 15.
      {kLatest, 13, {.value = "-1.5", .ident = ""}, "Caption=\"a\" Value=\"-1,5\" Options=\"\""},
      {kLatest,
       14,
       {.value = "2", .ident = "", .level = 3},
       "Caption=\"a\" Value=\"2\" Options=\"\" Level=\"3\""},
      {kLatest,
       15,
       {.value = "2", .ident = "", .level = 0xFE},
       "Caption=\"a\" Value=\"2\" Options=\"\" Level=\"-2\""},
  };
  for (const Case& c : cases) {
    Estimate doc(c.version, 0);
    TSmetaAddZatrats costs(&doc);
    EXPECT_EQ(ChapterXml(costs, c.chapter, {c.cost}),
              Glava(c.chapter, std::string("    <AddZatr ") + c.xml + "/>\n"))
        << std::hex << c.version << " " << std::dec << c.chapter;
  }
}

TEST(AddZatrats, ReturnCostsOfOlderFiles) {
  // Percent returns: a source without identifier gets one from its place,
  // counting the return costs added before it; soExclRet keeps them active.
  Estimate doc(kVerLastReturn, soExclRet);
  TSmetaAddZatrats costs(&doc);
  const uint16_t opts = adzoPercent | adzoReturn | adzoNoNepr;
  const std::string source = "Value=\"3\" Options=\"Percent Reserved NoNepr\"/>\n";
  const std::string ret =
      "    <AddZatr Caption=\"В том числе возврат\" Value=\"0\" Options=\"NoNepr\" ";
  EXPECT_EQ(ChapterXml(costs, 10,
                       {{.options = opts, .value = "3", .ident = "", .returned = "1"},
                        {.options = opts, .value = "3", .ident = "", .returned = "2.5"},
                        {.options = opts, .value = "3", .ident = "own", .returned = "-0.5"}}),
            Glava(10, "    <AddZatr Caption=\"a\" Identifier=\"ЛЗ_10_0\" " + source + ret +
                          "Formula=\"-1/100*ЛЗ_10_0\"/>\n"
                          "    <AddZatr Caption=\"a\" Identifier=\"ЛЗ_10_2\" " +
                          source + ret +
                          "Formula=\"-2,5/100*ЛЗ_10_2\"/>\n"
                          "    <AddZatr Caption=\"a\" Identifier=\"own\" " +
                          source + ret + "Formula=\"--0,5/100*own\"/>\n"));

  // Amount returns: the negated amount, inactive without soExclRet (also with
  // no estimate found), taking over InSmr and NoNepr only; in chapter 14 the
  // source's level byte follows the returned amount.
  Estimate old_doc(kVerOldOptions, soAddZatr);
  TestEstimate plain(kVerOldOptions);
  for (TKDXAbstractRow* owner :
       {static_cast<TKDXAbstractRow*>(&old_doc), static_cast<TKDXAbstractRow*>(&plain)}) {
    TSmetaAddZatrats old_costs(owner);
    EXPECT_EQ(ChapterXml(old_costs, 14,
                         {{.options = 0x020E, .value = "100", .returned = "30", .level = 2}}),
              Glava(14,
                    "    <AddZatr Caption=\"a\" Value=\"100\" Options=\"InSmr Reserved NoNepr\" "
                    "Level=\"2\"/>\n"
                    "    <AddZatr Caption=\"В том числе возврат\" Value=\"-30\" "
                    "Options=\"InSmr Inactive NoNepr\" Level=\"1\"/>\n"));
  }

  // The smallest amount has no negation: the file is refused.
  TSmetaAddZatrats bad(&old_doc);
  const DocBuilder smallest = DocBuilder()
                                  .I16(1)
                                  .Head("s")
                                  .I16(adzoReturn)
                                  .Cur("1")
                                  .CurRaw(std::numeric_limits<int64_t>::min());
  EXPECT_EQ(ReadFailure(*bad.Glava(8), smallest), kBadData);
}

TEST(AddZatrats, EightChaptersAndLookup) {
  Estimate doc(kLatest, 0);
  TSmetaAddZatrats costs(&doc);
  DocBuilder b;
  for (int chapter = 8; chapter <= 15; ++chapter) {
    if (chapter == 12) {
      b.I16(1).Append(Cost{.value = "1", .ident = "Дз"}.Record());
    } else {
      b.I16(0);
    }
  }
  ReadRow(costs, b);
  std::string xml = "  <AddZatrats>\n";
  for (int chapter = 8; chapter <= 15; ++chapter) {
    xml += chapter != 12
               ? "    <AddZatrGlava Glava=\"" + std::to_string(chapter) + "\"/>\n"
               : "    <AddZatrGlava Glava=\"12\">\n"
                 "      <AddZatr Caption=\"a\" Identifier=\"Дз\" Value=\"1\" Options=\"\"/>\n"
                 "    </AddZatrGlava>\n";
  }
  EXPECT_EQ(RowXml(costs), xml + "  </AddZatrats>\n");

  EXPECT_EQ(costs.Glava(7), nullptr);
  EXPECT_EQ(costs.Glava(16), nullptr);
}

DocBuilder WinterK(const char* caption, const char* code, int32_t oz) {
  return DocBuilder().Head(caption).Str(code).Byte(0x02).I32(oz);
}

TEST(Winters, CatalogueWrittenOnlyWithCoefficients) {
  TestEstimate doc(kLatest);
  TSmetaWinters empty(&doc);
  ReadRow(empty, DocBuilder()
                     .I16(0)
                     .Byte(swmK)
                     .Byte(swlmCommon)
                     .I16(skoPercent)
                     .Append(WinterK("Общий", "", 12000))
                     .I32(0));
  EXPECT_EQ(RowXml(empty), "");
  EXPECT_EQ(empty.FCommonWinter.FValues[1], 12000);

  TSmetaWinters winters(&doc);
  ReadRow(winters, DocBuilder()
                       .I16(2)
                       .Append(WinterK("ЗУ-1", "1", 10500))
                       .Append(WinterK("", "2", 10000))
                       .Byte(swmSmr)
                       .Byte(swlmCommon)
                       .I16(skoPercent | skoOzpTz)
                       .Append(WinterK("", "", 10300))
                       .I32(77));
  EXPECT_EQ(RowXml(winters),
            "  <WinterCatalog Options=\"Percent OzpTz\" WinterMode=\"Smr\" "
            "WinterLinkMode=\"Common\">\n"
            "    <WinterK Caption=\"ЗУ-1\" Code=\"1\" OZ=\"1,05\"/>\n"
            "    <WinterK Code=\"2\"/>\n"
            "    <CommonWinterK OZ=\"1,03\"/>\n"
            "  </WinterCatalog>\n");
  EXPECT_EQ(winters.At(1)->FCode, "2");
  EXPECT_EQ(winters.At(2), nullptr);
}

TEST(CommonNPK, TextsAndActiveItems) {
  TestEstimate doc(kLatest);
  TSmetaCommonNPK overhead(&doc, 1);
  ReadRow(overhead, DocBuilder().Head().Str("").Str("").Str("").Str("").Byte(7));
  EXPECT_EQ(RowXml(overhead), "  <CommonNK ActiveItems=\"Vk Ck Mk\"/>\n");

  TSmetaCommonNPK profit(&doc, 0);
  ReadRow(profit, DocBuilder().Head().Str("0,9").Str("").Str("1,1").Str("1,2").Byte(0xFA));
  EXPECT_EQ(RowXml(profit),
            "  <CommonPK CommonK=\"0,9\" MethodKI=\"1,1\" MethodKR=\"1,2\" ActiveItems=\"Ck\"/>\n");
}

}  // namespace
}  // namespace kdx::test

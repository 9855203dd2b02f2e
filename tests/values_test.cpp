// Value texts and attribute helpers: number, currency and date texts, set
// names, when attributes are left out, rounding and parsing of amounts.
#include "xml/values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include "filer/codepage.h"
#include "ressummary/ressummary.h"
#include "shared/abstract_index.h"
#include "shared/cc_chapter.h"
#include "smeta/value_texts.h"
#include "support/builder.h"
#include "support/outcomes.h"

namespace kdx::test {
namespace {

TEST(ValuesTest, GeneralNumberFormat) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {1, "1"},
      {-2.5, "-2,5"},
      {100, "100"},
      {0.1 + 0.2, "0,3"},  // rounded to 15 significant digits
      {1.0 / 3, "0,333333333333333"},
      {2.0 / 3, "0,666666666666667"},
      {0.00001, "0,00001"},  // the smallest magnitude in fixed notation
      {0.000012345, "0,000012345"},
      {0.0000099, "9,9E-6"},
      {1e-6, "1E-6"},
      {2e-8, "2E-8"},
      {-1.25e-7, "-1,25E-7"},
      {123456789012345.0, "123456789012345"},  // 15 digits before the separator
      {999999999999999.4, "999999999999999"},
      {1e15, "1E15"},
      {1234567890123456.0, "1,23456789012346E15"},
      {9999999999999999.0, "1E16"},
      {1.5e20, "1,5E20"},
      {-3e100, "-3E100"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FloatToGeneralText(c.value, ','), c.text) << c.value;
  }
  EXPECT_EQ(FloatToGeneralText(1.5e20, '.'), "1.5E20");
  EXPECT_EQ(FloatToGeneralText(-0.75, '.'), "-0.75");
  // FloatToText blanks zero only when asked to.
  EXPECT_EQ(FloatToText(false, true, 0, ','), "");
  EXPECT_EQ(FloatToText(true, true, 0, ','), "0");
  EXPECT_EQ(FloatToText(false, false, 0, ','), "0");
  EXPECT_EQ(FloatToText(false, true, 1.5, ','), "1,5");
}

// The general format against the C library's rounding to 15 significant
// digits, over random values of every magnitude and over amounts with few
// decimals (the usual quantities).
TEST(ValuesTest, GeneralNumberFormatRoundsLikePrintf) {
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-12, 25);
  std::uniform_int_distribution<int64_t> thousandths(-10000000, 10000000);
  for (int i = 0; i < 200000; ++i) {
    const double value = i % 2 ? mantissa(random) * std::pow(10.0, exponent(random))
                               : static_cast<double>(thousandths(random)) / 1000;
    char expected[40];
    std::snprintf(expected, sizeof expected, "%.14e", value);
    std::string text = FloatToGeneralText(value, '.');
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), std::strtod(expected, nullptr))
        << text << " for " << expected;
    size_t digits = 0;
    for (const char ch : text.substr(0, text.find('E'))) digits += ch >= '0' && ch <= '9';
    EXPECT_LE(digits, 21u) << text;  // 15 significant digits and up to 6 leading zeros
    if (HasFailure()) break;
  }
}

// Values of few decimals, and their neighbours a unit in the last place
// away, written exactly as the C library rounds them to 15 significant
// digits (its %g, where it keeps to fixed notation: 1E-4 up to 1E15).
TEST(ValuesTest, GeneralNumberFormatOfFewDecimalsIsPrintfs) {
  std::mt19937_64 random(20261209);
  std::uniform_int_distribution<int64_t> whole(1, 999999999999999);
  std::uniform_int_distribution<int> decimals(0, 7), digits(1, 15);
  const auto printf_text = [](double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", v);
    return std::string(text);
  };
  for (int i = 0; i < 300000; ++i) {
    const int64_t limit = static_cast<int64_t>(std::pow(10.0, digits(random)));
    const double base =
        static_cast<double>(whole(random) % limit) / std::pow(10.0, decimals(random));
    const double value = i % 3 == 0   ? base
                         : i % 3 == 1 ? std::nextafter(base, 0.0)
                                      : -std::nextafter(base, 1e300);
    if (std::fabs(value) < 1e-4 || std::fabs(value) >= 1e15) continue;
    EXPECT_EQ(FloatToGeneralText(value, '.'), printf_text(value)) << value;
    if (HasFailure()) break;
  }
}

TEST(ValuesTest, CurrencyText) {
  const struct {
    int64_t scaled;
    const char* text;
  } cases[] = {
      {125000, "12,5"},
      {30000, "3"},
      {-2500, "-0,25"},
      {0, "0"},
      {1, "0,0001"},
      {-10, "-0,001"},
      {12340, "1,234"},
      {INT64_MAX, "922337203685477,5807"},
      {INT64_MIN, "-922337203685477,5808"},
  };
  for (const auto& c : cases) EXPECT_EQ(CurrToText(Currency{c.scaled}, ','), c.text) << c.scaled;
  EXPECT_EQ(CurrToText(Currency{125000}, '.'), "12.5");
}

TEST(ValuesTest, DateText) {
  const struct {
    double date;
    const char* text;
  } cases[] = {
      {0, "30.12.1899"},
      {-1, "29.12.1899"},
      {36526, "01.01.2000"},
      {DateValue(2023, 3, 15), "15.03.2023"},
      {DateValue(2023, 3, 15) + 0.99, "15.03.2023"},  // the time of day is ignored
      {DateValue(2000, 2, 29), "29.02.2000"},
      {61, "01.03.1900"},  // 1900 was no leap year
      {DateValue(9999, 12, 31), "31.12.9999"},
      {DateValue(9999, 12, 31) + 0.99, "31.12.9999"},
      {DateValue(9999, 12, 31) + 1, "00.00.0000"},  // a fifth year digit breaks dd.mm.yyyy
      {1e300, "00.00.0000"},
  };
  for (const auto& c : cases) EXPECT_EQ(DateToText(c.date), c.text) << c.date;
}

// A set's text names its set bits in bit order, separated by blanks; bits
// past the names add nothing.
TEST(ValuesTest, SetTextsNameEachSetBitInOrder) {
  const struct {
    std::string text;
    const char* expected;  // UTF-8
  } cases[] = {
      {CostPartsToText(0), ""},
      {CostPartsToText(0xFF), "ПЗ ОЗ ЭМ ЗМ МТ"},
      {CostPartsToText(0x55), "ПЗ ЭМ МТ"},
      {CostPartsToText(10), "ФОТ"},  // the parts of wages alone have a name of their own
      {KOptionsToText(0xFFFF),
       "Percent InPos Base Curr PzAll EmAll MatQty EmQty OzpTz ZpmTz Disabled SeparEm HideFx "
       "Reserved1"},
      {KOptionsToText(0x1248), "Curr MatQty ZpmTz HideFx"},
      {SmetaOptionsToText(0x80000001), "RoundPos"},
      {SmetaOptionsToText(0x00042000), "SeparateFot NaklByIndex"},
      {SmetaOptionsToText(0xAAAAAAAA),
       "NaklInPos AddZatr ZpmByTz ExactResCalc RoundTaxes CommonPlan SeparateFot AutoIndexUseCode "
       "MtsnMode PlanByIndex CustNPZpm AdvResCalc RoundNPCurr NewNPCurr MultPosK"},
      {IndexOptionsToText(0x5555), "SeparEm Reserved Reserved Reserved Reserved Reserved Reserved"},
      {ItemFlagsToText(0xFFFF), "Red Yellow Green Blue Violet Orange Info"},
      {ItemFlagsToText(0x0045), "Red Green Info"},
      {ItogOptionsToText(0xFF),
       "SeparateChapters SeparateLimZatrs SeparateVrs IgnoreZeroQty IgnoreZeroPrice"},
      {ResourceOptionsToText(0xAAAA), "OwnerMat Junk Comment CountInPos Reserved2 Reserved4"},
      {ResourceAttribsToText(0xFF), "SnipSet Replaced Added Deleted"},
      {PositionOptionsToText(0x1248), "AverRasrM OnlyPosNk NoRegK"},
      {PositionDbFlagsToText(0xAA), "TechK Reserved"},
      {ResSummaryOptionsToText(0xFF),
       "Grouping SeparatePosRes SeparateZakPodr SeparateSuppl IgnoreZeroQty SeparateReplaced"},
  };
  for (const auto& c : cases) EXPECT_EQ(Cp1251ToUtf8(c.text), c.expected);
}

TEST(ValuesTest, SetAttributesAreTheSetTexts) {
  // All 32 bits named, some names empty or led by a blank, so that a full set
  // is longer than the text usually needs.
  static const NameTable names{"",           " lead",      "name02----", "name03----",
                               "name04----", "",           "name06----", "name07----",
                               "name08----", "name09----", "name10----", "name11----",
                               "name12----", "name13----", "name14----", "name15----",
                               "name16----", "name17----", "name18----", "name19----",
                               "name20----", "name21----", "name22----", "name23----",
                               "name24----", "name25----", "name26----", "name27----",
                               "name28----", "name29----", "name30----", ""};
  const struct {
    uint32_t mask;
    const char* text;
  } cases[] = {
      {0, ""},
      {0x80000021, ""},  // empty names only
      {0x3, "lead"},     // blanks at the ends trimmed
      {0x12345678,
       "name03---- name04----  name06---- name09---- name10---- name12---- name14---- name18---- "
       "name20---- name21---- name25---- name28----"},
      {0xFFFFFFFF,
       "lead name02---- name03---- name04----  name06---- name07---- name08---- name09---- "
       "name10---- name11---- name12---- name13---- name14---- name15---- name16---- name17---- "
       "name18---- name19---- name20---- name21---- name22---- name23---- name24---- name25---- "
       "name26---- name27---- name28---- name29---- name30----"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SetToText(c.mask, names), c.text) << std::hex << c.mask;
    EXPECT_EQ(ElementXml("R", [&](XmlElement e) { WriteAttrSet(e, "S", c.mask, names); }),
              *c.text ? "<R S=\"" + std::string(c.text) + "\"/>\n" : "<R/>\n");
  }
}

TEST(ValuesTest, AttributeHelpersLeaveOutDefaults) {
  const struct {
    const char* what;
    std::function<void(XmlElement)> write;
    const char* xml;
  } cases[] = {
      {"empty text", [](XmlElement e) { WriteAttrStr(e, "A", ""); }, "<E/>"},
      {"bell removed",
       [](XmlElement e) {
         WriteAttrStr(e, "A",
                      "A\x07"
                      "B");
       },
       "<E A=\"AB\"/>"},
      {"bell alone", [](XmlElement e) { WriteAttrStr(e, "A", "\x07"); }, "<E A=\"\"/>"},
      {"bell removed from a long text",
       [](XmlElement e) {
         WriteAttrStr(e, "A",
                      "0123456789\x07"
                      "abcdef&<\"");
       },
       "<E A=\"0123456789abcdef&amp;&lt;&quot;\"/>"},
      {"SetAttr empty", [](XmlElement e) { SetAttr(e, "A", ""); }, "<E A=\"\"/>"},
      {"int default", [](XmlElement e) { WriteAttrInt(e, "A", 5, 5); }, "<E/>"},
      {"int", [](XmlElement e) { WriteAttrInt(e, "A", -3, 0); }, "<E A=\"-3\"/>"},
      {"curr default", [](XmlElement e) { WriteAttrCurr(e, "A", Currency{}, Currency{}); }, "<E/>"},
      {"curr", [](XmlElement e) { WriteAttrCurr(e, "A", Curr("1"), Currency{}); }, "<E A=\"1\"/>"},
      {"curr non-zero default",
       [](XmlElement e) {
         WriteAttrCurr(e, "A", Curr("12.5"), Curr("12.5"));
         WriteAttrCurr(e, "B", Currency{}, Curr("12.5"));
       },
       "<E B=\"0\"/>"},
      {"float within 1E-8", [](XmlElement e) { WriteAttrFloat(e, "A", 0.000000005, 0); }, "<E/>"},
      {"float beyond 1E-8", [](XmlElement e) { WriteAttrFloat(e, "A", 0.00000002, 0); },
       "<E A=\"2E-8\"/>"},
      {"float near default", [](XmlElement e) { WriteAttrFloat(e, "A", 2.500000001, 2.5); },
       "<E/>"},
      {"float", [](XmlElement e) { WriteAttrFloat(e, "A", 0, 1); }, "<E A=\"0\"/>"},
      {"bool", [](XmlElement e) { WriteAttrBool(e, "A", true, false); }, "<E A=\"Yes\"/>"},
      {"bool false", [](XmlElement e) { WriteAttrBool(e, "A", false, true); }, "<E A=\"No\"/>"},
      {"bool default", [](XmlElement e) { WriteAttrBool(e, "A", true, true); }, "<E/>"},
      {"date", [](XmlElement e) { WriteAttrDate(e, "A", 0); }, "<E A=\"30.12.1899\"/>"},
      {"date default", [](XmlElement e) { WriteAttrDateDef(e, "A", 0, 0); }, "<E/>"},
      {"date not default",
       [](XmlElement e) { WriteAttrDateDef(e, "A", DateValue(2023, 3, 15), 0); },
       "<E A=\"15.03.2023\"/>"},
      {"int list empty", [](XmlElement e) { WriteAttrIntList(e, "A", {}); }, "<E/>"},
      {"int list one", [](XmlElement e) { WriteAttrIntList(e, "A", {7}); }, "<E A=\"(7)\"/>"},
      {"int list",
       [](XmlElement e) {
         WriteAttrIntList(e, "A", {3, 10, -12});
       },
       "<E A=\"(3, 10, -12)\"/>"},
      {"order of calls",
       [](XmlElement e) {
         WriteAttrInt(e, "Z", 1, 0);
         WriteAttrStr(e, "A", "x");
         WriteAttrBool(e, "M", false, true);
       },
       "<E Z=\"1\" A=\"x\" M=\"No\"/>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ElementXml("E", c.write), std::string(c.xml) + "\n") << c.what;
  }
}

// Number texts are written as they stand unless the decimal separator is a
// byte the XML must escape (it comes from the environment).
TEST(ValuesTest, NumberTextsWithAnySeparator) {
  const struct {
    char separator;
    const char* xml;
  } cases[] = {
      {',', "<E I=\"-7\" C=\"12,5\" F=\"0,25\" B=\"Yes\"/>"},
      {'&', "<E I=\"-7\" C=\"12&amp;5\" F=\"0&amp;25\" B=\"Yes\"/>"},
      {'"', "<E I=\"-7\" C=\"12&quot;5\" F=\"0&quot;25\" B=\"Yes\"/>"},
      {'\x01', "<E I=\"-7\" C=\"12 5\" F=\"0 25\" B=\"Yes\"/>"},
  };
  for (const auto& c : cases) {
    ConversionSettings settings = TestSettings();
    settings.decimal_separator = c.separator;
    const std::string out = SavedXml(
        "E",
        [](XmlElement e) {
          WriteAttrInt(e, "I", -7, 0);
          WriteAttrCurr(e, "C", Curr("12.5"), Currency{});
          WriteAttrFloat(e, "F", 0.25, 0);
          WriteAttrBool(e, "B", true, false);
        },
        settings);
    EXPECT_EQ(out.substr(out.find("\r\n") + 2), std::string(c.xml) + "\r\n") << c.separator;
  }
}

TEST(ValuesTest, RatesAndChapterCodes) {
  const struct {
    const char* what;
    std::function<void(XmlElement)> write;
    const char* xml;
  } cases[] = {
      {"all zero", [](XmlElement e) { WriteNaclPlan(e, "NP", TNaclPlan{}); }, "<E/>\n"},
      {"child",
       [](XmlElement e) {
         WriteNaclPlan(e, "NP", TNaclPlan{1230000, 0, 0, 10});
       },
       "<E>\n  <NP Nacl=\"123\" NaclMask=\"ФОТ\"/>\n</E>\n"},
      {"on the element",
       [](XmlElement e) {
         WriteNaclPlan(e, "", TNaclPlan{0, 75000, 3, 0});
       },
       "<E Plan=\"7,5\" PlanMask=\"ПЗ ОЗ\"/>\n"},
      {"mask only",
       [](XmlElement e) {
         WriteNaclPlan(e, "NP", TNaclPlan{0, 0, 0, 16});
       },
       "<E>\n  <NP NaclMask=\"МТ\"/>\n</E>\n"},
      {"all four",
       [](XmlElement e) {
         WriteNaclPlan(e, "", TNaclPlan{-5, 1000000, 1, 2});
       },
       "<E Nacl=\"-0,0005\" NaclMask=\"ОЗ\" Plan=\"100\" PlanMask=\"ПЗ\"/>\n"},
      {"empty chapter codes", [](XmlElement e) { WriteCCChapter(e, 0, 0, 0); },
       "<E>\n  <CCChapter/>\n</E>\n"},
      {"chapter codes", [](XmlElement e) { WriteCCChapter(e, 1, 0, 255); },
       "<E>\n  <CCChapter Cons=\"1\" Road=\"255\"/>\n</E>\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ElementXml("E", c.write), c.xml) << c.what;
}

TEST(ValuesTest, RoundCurrRoundsHalfAwayFromZero) {
  const struct {
    const char* amount;
    bool hundredths;
    const char* expected;
  } cases[] = {
      {"1.225", true, "1.23"},  {"1.2249", true, "1.22"},  {"-1.225", true, "-1.23"},
      {"1.2251", true, "1.23"}, {"12.345", true, "12.35"}, {"0.005", true, "0.01"},
      {"0.004", true, "0"},     {"-0.005", true, "-0.01"}, {"0.0051", true, "0.01"},
      {"0.0049", true, "0"},    {"0", true, "0"},          {"2.5", false, "3"},
      {"-2.5", false, "-3"},    {"3.5", false, "4"},       {"2.4999", false, "2"},
      {"1.5", false, "2"},      {"7", false, "7"},         {"-0.5", false, "-1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundCurr(Curr(c.amount), c.hundredths), Curr(c.expected))
        << c.amount << (c.hundredths ? " to hundredths" : " to units");
  }
  // The extremes round without overflowing.
  EXPECT_EQ(RoundCurr(Currency{INT64_MAX}, true), Currency{INT64_MAX - 7});
  EXPECT_EQ(RoundCurr(Currency{INT64_MIN}, true), Currency{INT64_MIN + 8});
}

TEST(ValuesTest, TextToCurrParsesAmountsOrGivesTheDefault) {
  const Currency def{-777};
  const struct {
    const char* text;
    char separator;
    std::optional<const char*> expected;  // nullopt: the default
  } cases[] = {
      {"12,5", ',', "12.5"},
      {"12.5", ',', "12.5"},
      {"  7  ", ',', "7"},
      {" -0.25 ", ',', "-0.25"},
      {"+3", ',', "3"},
      {",5", ',', "0.5"},
      {"1e2", ',', "100"},
      {"1,5E-2", ',', "0.015"},
      {"2.5E+3", ',', "2500"},
      {"0,00005", ',', "0"},  // below the fourth decimal: halves go to even
      {"0,00015", ',', "0.0002"},
      {"0,000051", ',', "0.0001"},
      {"1,5", '.', "1.5"},
      {"2.25", '.', "2.25"},
      {"", ',', std::nullopt},
      {"   ", ',', std::nullopt},
      {"abc", ',', std::nullopt},
      {"12x", ',', std::nullopt},
      {"1 000", ',', std::nullopt},
      {"1,2,3", ',', std::nullopt},
      {"1.2.3", ',', std::nullopt},
      {"1e", ',', std::nullopt},
      {"-", ',', std::nullopt},
      {"922337203685477,5808", ',', std::nullopt},
      {"99999999999999999999", ',', std::nullopt},
      {"1E300", ',', std::nullopt},
  };
  for (const auto& c : cases) {
    const Currency got = TextToCurr(c.text, def, c.separator);
    if (c.expected) {
      EXPECT_EQ(got, Curr(*c.expected)) << '"' << c.text << '"';
    } else {
      EXPECT_EQ(got, def) << '"' << c.text << '"';
    }
  }
  // Texts longer than most: blanks and zeros around an amount.
  const std::string blanks(100, ' '), zeros(100, '0');
  EXPECT_EQ(TextToCurr(blanks + "12.5" + blanks, def, ','), Curr("12.5"));
  EXPECT_EQ(TextToCurr(zeros + "1,5", def, '.'), Curr("1.5"));
  EXPECT_EQ(TextToCurr("0," + zeros + "1", def, ','), Currency{0});
  EXPECT_EQ(TextToCurr(zeros + "1x", def, ','), def);
  EXPECT_EQ(TextToCurr("922337203685477,5807", def, ','), Currency{INT64_MAX});
  EXPECT_EQ(TextToCurr("-922337203685477.5808", def, ','), Currency{INT64_MIN});
}

}  // namespace
}  // namespace kdx::test

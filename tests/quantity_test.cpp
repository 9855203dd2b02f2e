// Position quantities: the presence mask of the current form with the text of
// the position's "Quantity" attribute and when the element is written, and the
// two older forms; the per-unit price formulas: the slots stored and when the
// direct-costs total counts as kept apart from its parts.
#include "smeta/quantity.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "filer/codepage.h"
#include "smeta/price_fx.h"
#include "support/model_fixtures.h"

namespace kdx::test {
namespace {

TEST(PositionQuantity, CurrentFormMask) {
  struct Case {
    uint8_t mask;
    DocBuilder fields;
    const char* xml;
    const char* text;  // the position's "Quantity" attribute
  };
  const Case cases[] = {
      {0x00, {}, "", ""},
      {0x01, DocBuilder().Str("2*3"), "  <Quantity Fx=\"2*3\"/>\n", "0"},
      {0x02, DocBuilder().Ext(12.5), "  <Quantity Fx=\"12,5\"/>\n", "12,5"},
      {0x02, DocBuilder().Ext(0.000000001), "", ""},
      {0x03, DocBuilder().Str("2*3").Ext(6), "  <Quantity Fx=\"2*3\"/>\n", "6"},
      {0x04, DocBuilder().Byte(2), "  <Quantity Fx=\"0\" Precision=\"2\"/>\n", ""},
      {0x04, DocBuilder().Byte(0xFE), "  <Quantity Fx=\"0\" Precision=\"-2\"/>\n", ""},
      {0x08, DocBuilder().Ext(1.5), "  <Quantity Fx=\"0\" KMult=\"1,5\"/>\n", ""},
      {0x08, DocBuilder().Ext(1.000000001), "", ""},
      {0x10, DocBuilder().Ext(0.001), "  <Quantity Fx=\"0\" KUnit=\"0,001\"/>\n", ""},
      {0x10, DocBuilder().Ext(1.000000001), "", ""},
      {0x1F, DocBuilder().Str("A").Ext(12.5).Byte(2).Ext(2).Ext(3),
       "  <Quantity Fx=\"A\" KMult=\"2\" KUnit=\"3\" Precision=\"2\"/>\n", "ОКР(12,5; 2)"},
      {0xE0, {}, "", ""},  // bits beyond the fields name nothing
  };
  for (const Case& c : cases) {
    TestEstimate doc(kLatest);
    TPositionQuantity q(&doc);
    ReadRow(q, DocBuilder().Head().Byte(c.mask).Append(c.fields));
    EXPECT_EQ(RowXml(q), c.xml) << int(c.mask);
    EXPECT_EQ(Cp1251ToUtf8(q.OldQuantityStr(',')), c.text) << int(c.mask);
  }
  // The general quantity reads the unit coefficient and drops it.
  TCustomPosQuantity general(nullptr);
  ReadRow(general, DocBuilder().Head().Byte(0x12).Ext(4).Ext(0.5));
  EXPECT_EQ(RowXml(general), "  <Quantity Fx=\"4\"/>\n");
}

// A stored coefficient just above 1 + 1E-8 is not 1, though its nearest double
// is within 1E-8 of 1; one just below is.
TEST(PositionQuantity, CoefficientsNearOneAsStored) {
  constexpr uint64_t kOne = uint64_t{1} << 63;
  struct Case {
    uint8_t mask;  // the coefficient's presence bit
    uint64_t mantissa;
    const char* xml;
  };
  const Case cases[] = {
      {0x08, kOne + 92233720369u, "  <Quantity Fx=\"0\" KMult=\"1,00000001\"/>\n"},
      {0x08, kOne + 92233720368u, ""},
      {0x10, kOne + 92233720369u, "  <Quantity Fx=\"0\" KUnit=\"1,00000001\"/>\n"},
      {0x10, kOne + 92233720368u, ""},
  };
  for (const Case& c : cases) {
    TestEstimate doc(kLatest);
    TPositionQuantity q(&doc);
    ReadRow(q, DocBuilder().Head().Byte(c.mask).I64(static_cast<int64_t>(c.mantissa)).I16(16383));
    EXPECT_EQ(RowXml(q), c.xml) << int(c.mask) << " " << c.mantissa;
  }
}

TEST(PositionQuantity, OlderForms) {
  const DocBuilder number = DocBuilder().Dbl(0.25), formula = DocBuilder().Str("A+1");
  TPositionQuantity q1(nullptr), q2(nullptr);
  TKdFiler f1(reinterpret_cast<const uint8_t*>(number.Bytes().data()), number.Size());
  TKdFiler f2(reinterpret_cast<const uint8_t*>(formula.Bytes().data()), formula.Size());
  q1.ReadOlderNumber(f1);
  q2.ReadOlderFormula(f2);
  EXPECT_TRUE(f1.IsEndOfStream() && f2.IsEndOfStream());
  EXPECT_EQ(RowXml(q1), "  <Quantity Fx=\"0,25\"/>\n");
  EXPECT_EQ(RowXml(q2), "  <Quantity Fx=\"A+1\"/>\n");
  EXPECT_EQ(q2.OldQuantityStr(','), "0");
}

// A formula row whose prices are set by the test.
class Prices : public TCustomPosForOneFx {
 public:
  Prices() : TCustomPosForOneFx(nullptr, sptBase) {}
  Currency SlotValue(int slot) const override { return values[static_cast<size_t>(slot)]; }
  std::array<Currency, kForOneSlots> values{};
};

TEST(PriceFormulas, PresenceByte) {
  struct Case {
    uint8_t present;
    DocBuilder texts;
    const char* xml;
  };
  const Case cases[] = {
      {0x00, {}, ""},
      {0x01, DocBuilder().Str("a"), "  <Fx PZ=\"a\"/>\n"},
      {0x12, DocBuilder().Str("b").Str("c"), "  <Fx OZ=\"b\" MT=\"c\"/>\n"},
      {0xE8, DocBuilder().Str("d"), "  <Fx ZM=\"d\"/>\n"},
      {0x1F, DocBuilder().Str("").Str("").Str("").Str("").Str(""), ""},
  };
  for (const Case& c : cases) {
    Prices fx;
    ReadRow(fx, DocBuilder().Head().Byte(0xFF).Byte(c.present).Append(c.texts));
    EXPECT_EQ(RowXml(fx), c.xml) << int(c.present);
    EXPECT_EQ(fx.HasFormula(), *c.xml != '\0');
  }
}

TEST(PriceFormulas, SlotsAndUnsyncedTotal) {
  constexpr int64_t kMax = INT64_MAX;
  struct Case {
    int fx_slot;  // -1: no formula
    std::array<int64_t, kForOneSlots> values;
    bool unsynced;
  };
  const Case cases[] = {
      {-1, {0, 0, 0, 0, 0}, false},        {-1, {100, 0, 0, 0, 0}, false},
      {-1, {100, 40, 30, 10, 30}, false},  {-1, {110, 40, 30, 10, 30}, true},
      {-1, {0, 0, 0, 5, 0}, false},        {-1, {5, 0, 0, 5, 0}, true},
      {2, {110, 40, 30, 10, 30}, false},   {0, {110, 40, 30, 10, 30}, true},
      {-1, {kMax, kMax, 1, 0, -1}, false}, {-1, {0, kMax, kMax, 0, 2}, true},
  };
  for (const Case& c : cases) {
    Prices fx;
    for (size_t i = 0; i < kForOneSlots; ++i) fx.values[i] = Currency{c.values[i]};
    if (c.fx_slot >= 0) fx.SetFormula(c.fx_slot, std::string(1, '1'));
    EXPECT_EQ(fx.ForceUnsincPzNedeed(), c.unsynced) << c.values[0] << " " << c.fx_slot;
  }
  Prices fx;
  fx.values[1] = Currency{1};
  fx.SetFormula(2, std::string(1, 'x'));
  EXPECT_FALSE(fx.IsSlotEmpty(1) || fx.IsSlotEmpty(2));
  EXPECT_TRUE(fx.IsSlotEmpty(0) && fx.IsSlotEmpty(5));
}

}  // namespace
}  // namespace kdx::test

// Implementation data of positions and resources: the fields each file version
// adds to an override, where the current prices go in the XML, links to acts
// that do not exist, the older period records and the acts made from them,
// and the works of a position.
#include "smeta/implementation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "smeta/position.h"
#include "smeta/smeta.h"
#include "support/model_fixtures.h"

namespace kdx::test {
namespace {

// A real estimate at a chosen file version.
class Estimate : public TSmeta {
 public:
  explicit Estimate(int32_t version) : TSmeta(Conventions()) { FFileVersion = version; }

  // An act with one position index and one resource index; the second
  // position index has no code.
  TSmetaImlpemAct& AddAct(int month) {
    TSmetaImlpemAct& act = *FImplemActList.EnsureActInListOnOldFormatConvertion(month, 2020);
    static_cast<TKDXAbstractIndex&>(act.FIndexesPos.Add(0)).FCode = Cp("И-1");
    act.FIndexesPos.Add(0);
    static_cast<TKDXAbstractIndex&>(act.FIndexesRes.Add(0)).FCode = Cp("Р-1");
    return act;
  }
};

template <class Row>
std::string OverrideXml(int32_t version, const DocBuilder& record) {
  Estimate doc(version);
  doc.AddAct(1);
  Row row(&doc);
  ReadRow(row, record);
  return RowXml(row);
}

// The head of an override of act 0, with the flag byte when given.
DocBuilder Link(int flags = -1) {
  DocBuilder b;
  b.Head().I16(0);
  if (flags >= 0) b.Byte(static_cast<uint8_t>(flags));
  return b;
}

TEST(Implementation, PositionOverridesByVersion) {
  struct Case {
    int32_t version;
    DocBuilder record;
    const char* xml;
  };
  const Case cases[] = {
      // Before 0x10146: no flag byte, and the number is read whatever the word says.
      {0x00010145, Link().I16(0x0004).Dbl(2.5).Cur("10"),
       "  <Item ActIndex=\"0\" Quantity=\"2,5\">\n    <Quantity Fx=\"2,5\"/>\n"
       "    <PriceCurr OZ=\"10\"/>\n  </Item>\n"},
      // The flag byte: index, code (the index wins), justification; bit 0 a formula.
      {0x00010146, Link(0x07).I16(0).Str("К-9").Str("счёт").I16(0x0001).Str("2*3"),
       "  <Item ActIndex=\"0\" IndexCode=\"И-1\" Quantity=\"0\">\n"
       "    <PriceCurr Comment=\"счёт\"/>\n    <Quantity Fx=\"2*3\"/>\n  </Item>\n"},
      // An index without code or out of the list is not taken; no quantity bit, no number.
      {0x00010146, Link(0x03).I16(1).Str("К-9").I16(0),
       "  <Item ActIndex=\"0\" IndexCode=\"К-9\"/>\n"},
      {0x00010146, Link(0x01).I16(5).I16(0), "  <Item ActIndex=\"0\"/>\n"},
      // Direct costs and formulas only from 0x1015A: before it bits 7 and 8 read nothing.
      {0x00010159, Link(0).I16(0x0182).Dbl(4),
       "  <Item ActIndex=\"0\" Quantity=\"4\">\n    <Quantity Fx=\"4\"/>\n  </Item>\n"},
      {0x0001015A, Link(0).I16(0x01C0).Cur("3").Cur("100").Head().Byte(0).Byte(0x02).Str("a+b"),
       "  <Item ActIndex=\"0\">\n    <PriceCurr Ws=\"3\">\n      <Fx OZ=\"a+b\"/>\n"
       "    </PriceCurr>\n  </Item>\n"},
      // The quantity row from 0x1015C, where bit 0 reads nothing.
      {0x0001015B, Link(0).I16(0x0002).Dbl(7),
       "  <Item ActIndex=\"0\" Quantity=\"7\">\n    <Quantity Fx=\"7\"/>\n  </Item>\n"},
      {0x0001015C, Link(0).I16(0x0003).Head().Byte(0x06).Ext(7).Byte(2),
       "  <Item ActIndex=\"0\" Quantity=\"ОКР(7; 2)\">\n"
       "    <Quantity Fx=\"7\" Precision=\"2\"/>\n  </Item>\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OverrideXml<TSmetaPositionActOverrides>(c.version, c.record), c.xml)
        << std::hex << c.version;
  }
}

TEST(Implementation, ResourceOverridesByVersion) {
  struct Case {
    int32_t version;
    DocBuilder record;
    const char* xml;
  };
  const Case cases[] = {
      {0x00010145, Link(), "  <Item ActIndex=\"0\"/>\n"},
      // The index comes from the act's resource indexes; no prices before 0x1014B.
      {0x0001014A, Link(0x05).I16(0).Str("прайс"),
       "  <Item ActIndex=\"0\" IndexCode=\"Р-1\">\n    <PriceCurr Comment=\"прайс\"/>\n  "
       "</Item>\n"},
      // 0x1014B: two values, rounded to hundredths.
      {0x0001014B, Link(0).Byte(0x03).Cur("1.234").Cur("0.005"),
       "  <Item ActIndex=\"0\">\n    <PriceCurr CE=\"1,23\" CT=\"0,01\"/>\n  </Item>\n"},
      {0x00010157, Link(0).Byte(0x02).Cur("2"),
       "  <Item ActIndex=\"0\">\n    <PriceCurr CT=\"2\"/>\n  </Item>\n"},
      // 0x10158: the container's record; columns 2 and 3 are not kept.
      // A text of its own sets a column's value to 0.
      {0x00010158, Link(0x04).Str("прайс").Head().Byte(0x1E).Cur("6").Cur("7").Cur("8").Str("ц*2"),
       "  <Item ActIndex=\"0\">\n    <PriceCurr Comment=\"прайс\" CT=\"6\" CEFx=\"ц*2\"/>\n"
       "  </Item>\n"},
      {0x00010158, Link(0).Head().Byte(0x0C).Cur("6").Cur("7"), "  <Item ActIndex=\"0\"/>\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OverrideXml<TSmetaResourceActOverrides>(c.version, c.record), c.xml)
        << std::hex << c.version;
  }
}

TEST(Implementation, PositionPriceElement) {
  struct Case {
    DocBuilder record;
    const char* xml;
  };
  const Case cases[] = {
      // A justification alone.
      {Link(0x04).Str("счёт").I16(0),
       "  <Item ActIndex=\"0\">\n    <PriceCurr Comment=\"счёт\"/>\n"
       "  </Item>\n"},
      // ...with a wholesale price the same element takes the prices, after the quantity.
      {Link(0x04).Str("счёт").I16(0x0042).Head().Byte(0x02).Ext(2).Cur("9"),
       "  <Item ActIndex=\"0\" Quantity=\"2\">\n    <PriceCurr Comment=\"счёт\" Ws=\"9\"/>\n"
       "    <Quantity Fx=\"2\"/>\n  </Item>\n"},
      // Direct costs alone: an empty element, no formulas.
      {Link(0).I16(0x0080).Cur("100"), "  <Item ActIndex=\"0\">\n    <PriceCurr/>\n  </Item>\n"},
      // A formula of direct costs alone is enough.
      {Link(0).I16(0x0100).Head().Byte(0).Byte(0x01).Str("x"),
       "  <Item ActIndex=\"0\">\n    <PriceCurr>\n      <Fx PZ=\"x\"/>\n    </PriceCurr>\n"
       "  </Item>\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OverrideXml<TSmetaPositionActOverrides>(kLatest, c.record), c.xml);
  }
}

TEST(Implementation, LinksToMissingActsDropped) {
  Estimate doc(kLatest);
  doc.AddAct(1);
  doc.AddAct(2);
  TSmetaResourceImplementation list(&doc);
  DocBuilder b;
  b.I16(4);
  for (uint16_t act : {1, 2, 0xFFFF, 0}) b.Head().I16(act).Byte(0).Head().Byte(0);
  ReadRow(list, b);
  EXPECT_EQ(RowXml(list),
            "  <Implementation_V2>\n    <Item ActIndex=\"1\"/>\n    <Item ActIndex=\"0\"/>\n"
            "  </Implementation_V2>\n");

  TSmetaPositionImplementation none(&doc);
  ReadRow(none, DocBuilder().I16(1).Head().I16(3).Byte(0).I16(0));
  EXPECT_EQ(none.Count(), 0u);
  EXPECT_EQ(RowXml(none), "");
}

// An older record: month, year - 1900, the magnitude's low 16 bits in A; the
// rest of it and the sign in B.
DocBuilder& Record(DocBuilder& b, int month, int year_byte, uint32_t low, uint32_t high) {
  return b.I32(static_cast<int32_t>(month | year_byte << 8 | low << 16))
      .I32(static_cast<int32_t>(high));
}

TEST(Implementation, OlderRecordsMakeSortedActs) {
  Estimate doc(0x00010144);
  doc.FIndexesMode = simTotal;
  TSmetaPositionImplementation list(&doc);
  DocBuilder b;
  b.I16(5);
  Record(b, 3, 108, 0x49F0, 0x2);  // March 2008: 150000 / 100000
  Record(b, 13, 108, 1, 0);        // no such month
  Record(b, 0, 108, 1, 0);
  Record(b, 1, 201, 1, 0);  // no such year
  Record(b, 1, 108, 0, 0);  // January 2008, nothing done
  ReadRow(list, b);
  doc.FImplemActList.NumberPending();  // as the estimate's load does at its end

  const TSmetaImlpemActList& acts = doc.FImplemActList;
  ASSERT_EQ(acts.Count(), 2u);
  struct Expected {
    const char* caption;
    const char* number;
    int month;
    int day_finish;
  };
  const Expected expected[] = {{"Акт выполненных работ за Январь 2008г.", "1", 1, 31},
                               {"Акт выполненных работ за Март 2008г.", "2", 3, 31}};
  for (size_t i = 0; i < 2; ++i) {
    const TSmetaImlpemAct& act = *acts.At(i);
    EXPECT_EQ(act.GetCaption(), Cp(expected[i].caption));
    EXPECT_EQ(act.FNumber, expected[i].number);
    EXPECT_EQ(act.FYear, 2008);
    EXPECT_EQ(act.FMonth, expected[i].month);
    EXPECT_EQ(act.FDayStart, 1);
    EXPECT_EQ(act.FDayFinish, expected[i].day_finish);
    EXPECT_EQ(act.FMakingDate, DateValue(2008, expected[i].month, expected[i].day_finish));
    EXPECT_EQ(act.FIndexesMode, simTotal);
  }
  EXPECT_EQ(RowXml(list),
            "  <Implementation_V2>\n"
            "    <Item ActIndex=\"1\" Quantity=\"1,5\">\n      <Quantity Fx=\"1,5\"/>\n"
            "    </Item>\n    <Item ActIndex=\"0\"/>\n  </Implementation_V2>\n");

  // A period already there finds its act; a month outside 1..12 finds none.
  EXPECT_EQ(doc.FImplemActList.EnsureActInListOnOldFormatConvertion(3, 2008), acts.At(1));
  EXPECT_EQ(doc.FImplemActList.EnsureActInListOnOldFormatConvertion(13, 2008), nullptr);
  // Leap years: a new act goes to its place and the later ones are renumbered
  // when the numbers are next given.
  const TSmetaImlpemAct* february =
      doc.FImplemActList.EnsureActInListOnOldFormatConvertion(2, 2008);
  EXPECT_EQ(acts.IndexOf(february), 1);
  EXPECT_EQ(february->FDayFinish, 29);
  doc.FImplemActList.NumberPending();
  EXPECT_EQ(acts.At(2)->FNumber, "3");
  EXPECT_EQ(doc.FImplemActList.EnsureActInListOnOldFormatConvertion(2, 1900)->FDayFinish, 28);
  doc.FImplemActList.NumberPending();
  EXPECT_EQ(acts.At(0)->FNumber, "1");
  EXPECT_EQ(acts.At(1)->FNumber, "2");
  EXPECT_EQ(acts.At(3)->FNumber, "4");
}

TEST(Implementation, ActsSortedByDayThenNumber) {
  Estimate doc(0x00010144);
  TSmetaImlpemActList& acts = doc.FImplemActList;
  struct Loaded {
    const char* number;
    double date;
  };
  // Acts of a file: 9.8 and 10.3 fall on the same day.
  for (const Loaded& l : {Loaded{"b", 10.3}, Loaded{"A", 9.8}, Loaded{"z", 5}}) {
    auto act = std::make_unique<TSmetaImlpemAct>(&acts);
    act->FNumber = l.number;
    act->FMakingDate = l.date;
    acts.InsertRow(std::move(act));
  }
  TSmetaImlpemAct* current = acts.At(0);
  acts.FCurrentAct = current;
  acts.EnsureActInListOnOldFormatConvertion(1, 1900);
  ASSERT_EQ(acts.Count(), 4u);
  EXPECT_EQ(acts.At(0)->FMakingDate, 5);
  EXPECT_EQ(acts.At(1)->FMakingDate, 9.8);
  EXPECT_EQ(acts.At(2), current);
  EXPECT_EQ(acts.FCurrentAct, current);
  EXPECT_EQ(acts.IndexOf(current), 2);
  for (size_t i = 0; i < acts.Count(); ++i) EXPECT_EQ(acts.At(i)->FNumber, IntToText(i + 1));

  // Every period of the older records, latest first: each new act goes first.
  Estimate older(0x00010144);
  TSmetaPositionImplementation list(&older);
  DocBuilder b;
  b.I16(12 * 201);
  for (int year_byte = 200; year_byte >= 0; --year_byte) {
    for (int month = 12; month >= 1; --month) Record(b, month, year_byte, 0, 0);
  }
  ReadRow(list, b);
  older.FImplemActList.NumberPending();
  const TSmetaImlpemActList& all = older.FImplemActList;
  ASSERT_EQ(all.Count(), 12u * 201);
  for (size_t i = 0; i < all.Count(); ++i) {
    EXPECT_EQ(all.At(i)->FYear, 1900 + static_cast<int>(i / 12));
    EXPECT_EQ(all.At(i)->FMonth, static_cast<int>(i % 12) + 1);
    EXPECT_EQ(all.At(i)->FNumber, IntToText(i + 1));
  }
  EXPECT_EQ(all.IndexOf(list.At(0)->FAct), 12 * 201 - 1);
}

TEST(Implementation, OlderRecordSignAndBit15) {
  struct Case {
    int32_t version;
    uint32_t high;
    const char* quantity;
  };
  const Case cases[] = {
      {0x00010144, 0x80000000u, "-0,00001"},
      // Bit 15 of B (bit 31 of the magnitude) counts from 0x10120 only.
      {0x0001011F, 0x00008000u, "0,00001"},
      {0x00010120, 0x00008000u, "21474,83649"},
  };
  for (const Case& c : cases) {
    Estimate doc(c.version);
    TSmetaPositionImplementation list(&doc);
    DocBuilder b;
    b.I16(1);
    Record(b, 3, 8, 1, c.high);
    ReadRow(list, b);
    ASSERT_EQ(list.Count(), 1u);
    ASSERT_EQ(doc.FImplemActList.Count(), 1u);
    EXPECT_EQ(doc.FImplemActList.At(0)->GetCaption(), Cp("Акт выполненных работ за Март 1908г."));
    EXPECT_EQ(list.At(0)->FQuantity.OldQuantityStr(','), c.quantity) << std::hex << c.version;
  }
}

TSmetaIndexPos& AddIndex(TSmetaIndexesPos& list, const char* code, int32_t oz) {
  auto& index = static_cast<TSmetaIndexPos&>(list.Add(0));
  index.SetCaption(Cp("Индекс"));
  index.FCode = Cp(code);
  index.FValues[1] = oz;
  return index;
}

// Records of January 2020 with the given quantities times 100000, then one
// of February when asked for.
DocBuilder January(std::initializer_list<uint32_t> quantities, bool february = false) {
  DocBuilder b;
  b.I16(static_cast<uint16_t>(quantities.size() + february));
  for (uint32_t q : quantities) Record(b, 1, 120, q & 0xFFFF, q >> 16);
  if (february) Record(b, 2, 120, 0, 0);
  return b;
}

TEST(Implementation, OlderRecordsTakeThePositionIndex) {
  Estimate doc(0x00010144);
  TSmetaIndexPos& a = AddIndex(doc.FIndexesPos, "И-1", 12000);
  auto& add_on = static_cast<TPriceIndexAddOn&>(a.AddOns().Add(0));
  add_on.FCommonType = iactNakl;
  TSmetaIndexPos& b = AddIndex(doc.FIndexesPos, "и-1", 15000);
  TSmetaIndexPos& c = AddIndex(doc.FIndexesPos, "К-2", 10000);

  // Two records in one act share one copy; a record of nothing takes no index.
  TSmetaPosition p1(&doc);
  p1.FPriceIndex = &a;
  p1.FQuantity.FKMultIsm = 2;
  ReadRow(p1.FImplemNew, January({100000, 200000}, true));
  const TSmetaIndexesPos& received = doc.FImplemActList.At(0)->FIndexesPos;
  ASSERT_EQ(received.Count(), 1u);
  EXPECT_EQ(received.At(0)->GetCaption(), a.GetCaption());
  EXPECT_EQ(received.At(0)->FValues, a.FValues);
  ASSERT_EQ(static_cast<const TSmetaIndexPos*>(received.At(0))->AddOns().Count(), 1u);
  EXPECT_EQ(doc.FImplemActList.At(1)->FIndexesPos.Count(), 0u);
  EXPECT_EQ(RowXml(p1.FImplemNew),
            "  <Implementation_V2>\n"
            "    <Item ActIndex=\"0\" IndexCode=\"И-1\" Quantity=\"1\">\n"
            "      <Quantity Fx=\"1\" KUnit=\"2\"/>\n    </Item>\n"
            "    <Item ActIndex=\"0\" IndexCode=\"И-1\" Quantity=\"2\">\n"
            "      <Quantity Fx=\"2\" KUnit=\"2\"/>\n    </Item>\n"
            "    <Item ActIndex=\"1\"/>\n  </Implementation_V2>\n");

  // Another index of the same code, letter case aside, overwrites that copy.
  TSmetaPosition p2(&doc);
  p2.FPriceIndex = &b;
  ReadRow(p2.FImplemNew, January({1}));
  ASSERT_EQ(received.Count(), 1u);
  EXPECT_EQ(p1.FImplemNew.At(0)->FPriceIndex, p2.FImplemNew.At(0)->FPriceIndex);
  EXPECT_EQ(p1.FImplemNew.At(0)->GetPriceIndexCode(), Cp("и-1"));
  EXPECT_EQ(received.At(0)->FValues[1], 15000);
  EXPECT_EQ(static_cast<const TSmetaIndexPos*>(received.At(0))->AddOns().Count(), 0u);

  // Without an index the position's code is taken; a new code is appended.
  TSmetaPosition p3(&doc);
  p3.FPriceIndexCode = Cp("К-9");
  ReadRow(p3.FImplemNew, January({1}));
  EXPECT_EQ(p3.FImplemNew.At(0)->FPriceIndex, nullptr);
  EXPECT_EQ(p3.FImplemNew.At(0)->GetPriceIndexCode(), Cp("К-9"));
  TSmetaPosition p4(&doc);
  p4.FPriceIndex = &c;
  ReadRow(p4.FImplemNew, January({1}));
  ASSERT_EQ(received.Count(), 2u);
  EXPECT_EQ(p4.FImplemNew.At(0)->FPriceIndex, received.At(1));

  // The first index comes back over the second's data.
  TSmetaPosition p5(&doc);
  p5.FPriceIndex = &a;
  ReadRow(p5.FImplemNew, January({1}));
  EXPECT_EQ(received.Count(), 2u);
  EXPECT_EQ(p5.FImplemNew.At(0)->FPriceIndex, received.At(0));
  EXPECT_EQ(received.At(0)->FValues[1], 12000);
}

TEST(Implementation, Works) {
  Estimate doc(kLatest);
  ReadRow(doc.FWorkManager, DocBuilder().I16(2).Head("Кладка").Head("Штукатурка"));
  TSmetaPosWorks works(&doc);
  ReadRow(works, DocBuilder().I16(4).I32(1).I32(2).I32(-1).I32(0));
  EXPECT_EQ(works.Count(), 2u);
  EXPECT_EQ(RowXml(works),
            "  <WorksList>\n    <Work Caption=\"Штукатурка\"/>\n    <Work Caption=\"Кладка\"/>\n"
            "  </WorksList>\n");

  // A negative count reads nothing.
  TSmetaPosWorks none(&doc);
  ReadRow(none, DocBuilder().I16(0xFFFF));
  EXPECT_EQ(RowXml(none), "");
}

}  // namespace
}  // namespace kdx::test

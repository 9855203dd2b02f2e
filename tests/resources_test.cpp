// Position resources: the fields each file version adds to a resource record,
// the fixed texts and grade codes of labour, the units of machines, the
// quantity per unit (clamped, kept at 15 digits), the price elements, replaced
// resources and how deep they may nest, and the list's type codes.
#include "smeta/resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "smeta/position.h"
#include "smeta/smeta.h"
#include "support/model_fixtures.h"
#include "support/outcomes.h"
#include "support/smeta_builder.h"

namespace kdx::test {
namespace {

// A real estimate at a chosen file version, with a catalogue of two entries,
// one shared price comment and one resource index.
class Estimate : public TSmeta {
 public:
  explicit Estimate(int32_t version) : TSmeta(Conventions()) {
    FFileVersion = version;
    ReadRow(FResManager,
            DocBuilder().I16(2).Head("Кран").Str("М-1").Str("").Head("Песок").Str("С-2").Str("м3"));
    ReadRow(FResObManager, DocBuilder().I16(1).Head("прайс"));
    auto index = std::make_unique<TSmetaIndexRes>(&FIndexesRes);
    index->FCode = Cp("И-1");
    FIndexesRes.InsertRow(std::move(index));
  }
};

// The XML of the one resource of the given type that the record holds.
std::string ResourceXml(int32_t version, uint8_t type, const DocBuilder& record) {
  Estimate doc(version);
  TSmetaPosResources list(&doc);
  ReadRow(list, DocBuilder().I16(1).Byte(type).Append(record));
  return list.Count() == 1 ? RowXml(*list.At(0)) : "";
}

// A resource record as the estimate's builder writes it at the version.
DocBuilder Record(int32_t version, const smeta::PositionResource& r) {
  SmetaBuilder b(version);
  b.Resource(r);
  return b.Out();
}

// The catalogue part of files before 0x1013E: quantity, flags byte, entry 1.
DocBuilder OlderTail() { return DocBuilder().Dbl(1).Byte(0).I32(1); }
// Older form: prices 0 and no comments.
DocBuilder NoPrices() { return DocBuilder().Cur("0").Cur("0").I32(-1).I32(-1); }
constexpr char kSand[] = "  <Mat Caption=\"Песок\" Code=\"С-2\" Units=\"м3\" Quantity=\"1\"";

TEST(Resources, RecordByVersion) {
  struct Case {
    int32_t version;
    uint8_t type;
    DocBuilder record;
    std::string xml;
  };
  const DocBuilder replaced = DocBuilder().Head().Byte(0).Append(NoPrices()).Dbl(3).Byte(0).I32(0);
  // The container's record: values of columns 0 and 2, the text of column 3.
  const DocBuilder prices = DocBuilder().Head().Byte(0x85).Cur("1.2345").Cur("7").Str("Ф");
  const Case cases[] = {
      // Older form: prices rounded when stored; comments from 0x10101.
      {0x00010100, smrtMat, DocBuilder().Head().Cur("12.345").Cur("1").Dbl(2.5).Byte(1).I32(1),
       "  <Mat Caption=\"Песок\" Code=\"С-2\" Units=\"м3\" Quantity=\"2,5\" Options=\"Project\">\n"
       "    <PriceBase Value=\"12,35\"/>\n    <PriceCurr Value=\"1\"/>\n  </Mat>\n"},
      {0x00010101, smrtMat, DocBuilder().Head().Cur("0").Cur("0").I32(0).I32(7).Append(OlderTail()),
       std::string(kSand) + ">\n    <PriceBase Comment=\"прайс\"/>\n  </Mat>\n"},
      // The state byte from 0x1010B.
      {0x0001010A, smrtMat,
       DocBuilder().Head().Cur("0").Cur("0").I32(-1).I32(0).Append(OlderTail()),
       std::string(kSand) + ">\n    <PriceCurr Comment=\"прайс\"/>\n  </Mat>\n"},
      {0x0001010B, smrtMat,
       DocBuilder()
           .Head()
           .Byte(sraSnipSet | sraAdded)
           .Dbl(7)
           .Append(NoPrices())
           .Append(OlderTail()),
       std::string(kSand) + " Attribs=\"SnipSet Added\"/>\n"},
      // Machinists' labour has prices from 0x1010D; labour reads nothing more.
      {0x0001010C, smrtTzm, DocBuilder().Head().Byte(0),
       "  <Tzm Caption=\"Затраты труда машинистов\" Code=\"2\" Units=\"чел.час\"/>\n"},
      {0x0001010D, smrtTzm, DocBuilder().Head().Byte(0).Cur("3").Cur("0").I32(-1).I32(-1),
       "  <Tzm Caption=\"Затраты труда машинистов\" Code=\"2\" Units=\"чел.час\">\n"
       "    <PriceBase Value=\"3\"/>\n  </Tzm>\n"},
      // The replaced resource is kept from 0x10122.
      {0x00010121, smrtMat,
       DocBuilder().Head().Byte(sraReplaced).Append(NoPrices()).Append(OlderTail()),
       std::string(kSand) + " Attribs=\"Replaced\"/>\n"},
      {0x00010122, smrtMat,
       DocBuilder()
           .Head()
           .Byte(sraReplaced)
           .Append(NoPrices())
           .Append(replaced)
           .Append(OlderTail()),
       std::string(kSand) + " Attribs=\"Replaced\">\n" +
           "    <Replaced Caption=\"Кран\" Code=\"М-1\" Quantity=\"3\"/>\n  </Mat>\n"},
      // The presence mask from 0x10125.
      {0x00010124, smrtMat, DocBuilder().Head().Byte(0).Append(NoPrices()).Append(OlderTail()),
       std::string(kSand) + "/>\n"},
      {0x00010125, smrtMat,
       DocBuilder().Head().Byte(0).I32(0x11).Cur("5.555").Str("R1").Append(OlderTail()),
       "  <Mat Caption=\"Песок\" Identifier=\"R1\" Code=\"С-2\" Units=\"м3\" Quantity=\"1\">\n"
       "    <PriceBase Value=\"5,56\"/>\n  </Mat>\n"},
      {0x00010125, smrtMat, DocBuilder().Head().Byte(0).I32(0x8).I32(0).Append(OlderTail()),
       std::string(kSand) + ">\n    <PriceCurr Comment=\"прайс\"/>\n  </Mat>\n"},
      // The price index from 0x10139: by number (with a code), else the code read.
      {0x00010138, smrtMat, DocBuilder().Head().Byte(0).I32(0x180).Append(OlderTail()),
       std::string(kSand) + "/>\n"},
      {0x00010139, smrtMat, DocBuilder().Head().Byte(0).I32(0x80).I16(0).Append(OlderTail()),
       std::string(kSand) + " IndexCode=\"И-1\"/>\n"},
      {0x00010139, smrtMat,
       DocBuilder().Head().Byte(0).I32(0x180).I16(1).Str("Свой").Append(OlderTail()),
       std::string(kSand) + " IndexCode=\"Свой\"/>\n"},
      // The quantity moves into the common part at 0x1013E, labour texts with it.
      {0x0001013D, smrtMat, DocBuilder().Head().Byte(0).I32(0).Dbl(2.5e8).Byte(0).I32(1),
       "  <Mat Caption=\"Песок\" Code=\"С-2\" Units=\"м3\" Quantity=\"100000000\"/>\n"},
      {0x0001013D, smrtTzr, DocBuilder().Head().Byte(0).I32(0),
       "  <Tzr Caption=\"Затраты труда рабочих\" Code=\"1\" Units=\"чел.час\"/>\n"},
      {0x0001013E, smrtTzr, DocBuilder().Head().Byte(0).I32(0).Dbl(0.1).Byte(0x02).Str("Каменщик"),
       "  <Tzr Caption=\"Каменщик\" Code=\"1\" Units=\"чел.час\" Quantity=\"0,1\"/>\n"},
      // 16-bit options in the common part from 0x10140.
      {0x0001013F, smrtMat, DocBuilder().Head().Byte(0).I32(0).Dbl(1).Byte(0x81).I32(1),
       std::string(kSand) + " Options=\"Project CountInPos\"/>\n"},
      {0x00010140, smrtMat, DocBuilder().Head().Byte(0).I16(0x0101).I32(0).Dbl(1).I32(1),
       std::string(kSand) + " Options=\"Project Reserved1\"/>\n"},
      // The price container's record from 0x10144; machines' second prices before it.
      {0x00010143, smrtMch,
       DocBuilder().Head().Byte(0).I16(0).I32(0x203).Cur("1").Cur("2").Dbl(1).I32(0).Cur("3").Cur(
           "4.005"),
       "  <Mch Caption=\"Кран\" Code=\"М-1\" Units=\"маш.час\" Quantity=\"1\">\n"
       "    <PriceBase Value=\"1\" ZM=\"3\"/>\n    <PriceCurr Value=\"2\" ZM=\"4,01\"/>\n  "
       "</Mch>\n"},
      {0x00010144, smrtMch,
       DocBuilder().Head().Byte(0).I16(0).I32(0x203).Append(prices).Dbl(1).I32(5),
       "  <Mch Units=\"маш.час\" Quantity=\"1\">\n"
       "    <PriceBase Value=\"7\" ZMFx=\"Ф\"/>\n    <PriceCurr Value=\"1,2345\"/>\n  </Mch>\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResourceXml(c.version, c.type, c.record), c.xml) << std::hex << c.version;
  }
}

TEST(Resources, LabourCodesAndGrades) {
  struct Case {
    uint8_t type;
    DocBuilder labour;  // the labour part
    const char* xml;
  };
  // "Caption" is set again after "IndexCode" and keeps its first place.
  const Case cases[] = {
      {smrtTzr, DocBuilder().Byte(0x04).I16(40),
       "  <Tzr Caption=\"Затраты труда рабочих\" Code=\"1-4-0\" Units=\"чел.час\" "
       "IndexCode=\"Ц\" WorkClass=\"4\"/>\n"},
      {smrtTzm, DocBuilder().Byte(0x04).I16(35),
       "  <Tzm Caption=\"Затраты труда машинистов\" Code=\"2-3-5\" Units=\"чел.час\" "
       "IndexCode=\"Ц\" WorkClass=\"3,5\"/>\n"},
      // An own code wins; an empty caption falls back; the grade is signed.
      {smrtTzr, DocBuilder().Byte(0x07).Str("К-9").Str("").I16(0xFFF6),
       "  <Tzr Caption=\"Затраты труда рабочих\" Code=\"К-9\" Units=\"чел.час\" "
       "IndexCode=\"Ц\" WorkClass=\"-1\"/>\n"},
  };
  for (const Case& c : cases) {
    const DocBuilder record =
        DocBuilder().Head().Byte(0).I16(0).I32(0x100).Str("Ц").Dbl(0).Append(c.labour);
    EXPECT_EQ(ResourceXml(kLatest, c.type, record), c.xml);
  }
}

TEST(Resources, OlderLabourComesFromThePosition) {
  // A position record of 0x10135 whose price block ends with the labour of
  // workers and of machinists per unit.
  Estimate doc(0x00010135);
  TSmetaPosition position(&doc);
  const DocBuilder labour = Record(0x00010135, {.type = smeta::kWorkers});
  DocBuilder record;
  record.Head("p").Byte(0).I32(0);                      // kind byte, mask
  record.Byte(0).I32(0).Str("").Str("").Str("");        // options, number, code, unit, comment
  record.Dbl(1).I32(0).I32(0).Byte(0).Byte(0).Byte(0);  // quantity, base IDs and flags, modes
  for (int i = 0; i < 5; ++i) record.Cur("0");          // prices for one unit
  record.Cur("1.5").Cur("0.25").I32(0).I32(0);          // labour per unit, work types
  record.I16(2).Byte(smrtTzm).Append(labour).Byte(smrtTzr).Append(labour);
  // Grade, works, coefficients, price comments, acts, linked positions.
  record.I16(0).I16(0).I16(0).Str("").Str("").I16(0).Byte(0);
  ReadRow(position, record);
  EXPECT_EQ(position.FResources.At(0)->FQuantOne, 0.25);
  EXPECT_EQ(position.FResources.At(1)->FQuantOne, 1.5);
}

TEST(Resources, QuantityAndPriceCopy) {
  Estimate doc(kLatest);
  TSmetaPosResMat mat(&doc);
  ReadRow(mat, Record(kLatest, {.entry = -1, .quantity = 0.1 + 0.2}));
  EXPECT_EQ(mat.FQuantOne, 0.3);
  TSmetaPosResMat big(&doc);
  ReadRow(big, Record(kLatest, {.entry = -1, .quantity = 250000000}));
  EXPECT_EQ(big.FQuantOne, 1e8);
  // Copying base prices to current, as positions of old files ask.
  big.FPrice.SetPriceValue(TSmetaPosResource::pcBase, Curr("2.5"));
  big.FPrice.StorePrice(TSmetaPosResource::pcBaseSecond, "x", Currency{});
  big.CopyBasePriceToCurrent();
  EXPECT_EQ(RowXml(big),
            "  <Mat Quantity=\"100000000\">\n"
            "    <PriceBase Value=\"2,5\" ZMFx=\"x\"/>\n"
            "    <PriceCurr Value=\"2,5\"/>\n"
            "  </Mat>\n");
}

TEST(Resources, ListTypes) {
  Estimate doc(kLatest);
  TSmetaPosResources list(&doc);
  const DocBuilder labour = Record(kLatest, {.type = smeta::kWorkers});
  const DocBuilder mapped = Record(kLatest, {.type = smeta::kMachine});
  ReadRow(list,
          DocBuilder().I16(3).Byte(0).Append(labour).Byte(2).Append(mapped).Byte(2).Append(mapped));
  EXPECT_EQ(list.ItemType(*list.At(1)), smrtMch);

  TSmetaPosResources bad(&doc);
  EXPECT_EQ(ReadFailure(bad, DocBuilder().I16(1).Byte(4).Append(mapped)), kBadData);
}

// A list with one material whose replaced resources form a chain of the given length.
DocBuilder ReplacedChain(int length) {
  std::string open, close;
  for (int i = 0; i < length; ++i) {
    open += DocBuilder().Head().Byte(sraReplaced).I16(0).I32(0x20).Bytes();
    close += DocBuilder().Dbl(1).I32(-1).Bytes();
  }
  const DocBuilder last = DocBuilder().Head().Byte(0).I16(0).I32(0).Dbl(2).I32(1);
  return DocBuilder().I16(1).Byte(smrtMat).Raw(open).Append(last).Raw(close);
}

TEST(Resources, ReplacedChainsNestUpToTheCap) {
  // The list is one level; each replaced resource one more.
  Estimate doc(kLatest);
  TSmetaPosResources deepest(&doc);
  ReadRow(deepest, ReplacedChain(kMaxRowNesting - 1));
  const std::string xml = RowXml(deepest);
  const std::string indent(2 * (kMaxRowNesting + 1), ' ');
  EXPECT_NE(xml.find("\n" + indent +
                     "<Replaced Caption=\"Песок\" Code=\"С-2\" Units=\"м3\" "
                     "Quantity=\"2\"/>\n"),
            std::string::npos);

  for (int length : {kMaxRowNesting, 100000}) {
    TSmetaPosResources list(&doc);
    EXPECT_EQ(ReadFailure(list, ReplacedChain(length)), kBadData) << length;
  }
}

}  // namespace
}  // namespace kdx::test

// The defects list (numbering over chapters, the version layouts of its rows,
// positions resolved through the estimate, the merge mode) and the optional
// zones of an estimate.
#include "smeta/defects.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "smeta/optional_zones.h"
#include "smeta/smeta_host.h"
#include "support/model_fixtures.h"
#include "support/outcomes.h"

namespace kdx::test {
namespace {

constexpr int32_t kVerNoIdentifier = 0x00010152;
constexpr int32_t kVerIdentifier = 0x00010153;
constexpr int32_t kVerNoTarget = 0x00010154;
constexpr int32_t kVerTarget = 0x00010155;
constexpr uint8_t kChapterOptions = soloMultiClass | soloStoreCaption | soloXMLStoreCaption;

// The stand-in estimate with two positions, system IDs 42 and 43.
class Estimate : public TestEstimate, public ISmetaDefectListHost {
 public:
  explicit Estimate(int32_t version) : TestEstimate(version) {}
  TKDXAbstractRow* FindPositionBySysID(int32_t id) override {
    return id == 42 ? &pos42 : id == 43 ? &pos43 : nullptr;
  }
  int32_t PositionSysID(const TKDXAbstractRow* row) const override {
    return row == &pos42 ? 42 : row == &pos43 ? 43 : 0;
  }
  TSmetaHeader pos42{nullptr}, pos43{nullptr};
};

// The common part of a defect (with a caption) or of a defect position (without).
DocBuilder Common(int32_t version, std::optional<std::string_view> caption, const char* qty,
                  const char* ident = "", uint16_t flags = 0) {
  DocBuilder b;
  b.Head(caption).Str(qty).ByteBool(flags != 0).I16(flags);
  if (version >= kVerIdentifier) b.Str(ident);
  return b;
}
DocBuilder Position(int32_t version, const char* qty, int32_t id, const char* ident = "") {
  DocBuilder b = Common(version, std::nullopt, qty, ident);
  return version >= kVerTarget ? b.I32(id) : b.Str("old");
}
DocBuilder Defect(int32_t version, const char* caption, std::initializer_list<DocBuilder> positions,
                  const char* ident = "", uint16_t flags = 0) {
  DocBuilder b = Common(version, caption, "10", ident, flags);
  b.Str("К1").Str("м2").I16(static_cast<uint16_t>(positions.size()));
  for (const DocBuilder& p : positions) b.Append(p);
  return b;
}

TEST(DefectsList, NumberingAcrossChapters) {
  const int32_t v = kVerTarget;
  Estimate doc(v);
  TKdDefectsList list(&doc);
  ReadRow(list, DocBuilder()
                    .I16(2)
                    .ListHead(kChapterOptions, 3, "Раздел 1")
                    .Byte(0)
                    .Head("Заголовок")
                    .Byte(1)
                    .Append(Defect(v, "Д1", {Position(v, "1", 42), Position(v, "2", 7)}))
                    .Byte(1)
                    .Append(Defect(v, "Д2", {}, "D2", 0x41))
                    .ListHead(kChapterOptions, 1, "")
                    .Byte(1)
                    .Append(Defect(v, "Д3", {Position(v, "x", 0), Position(v, "2*Д", 43)}))
                    .Byte(dlmqmResultComment));
  EXPECT_EQ(RowXml(list),
            "  <DefectsList>\n"
            "    <Chapter Caption=\"Раздел 1\">\n"
            "      <Header Caption=\"Заголовок\"/>\n"
            "      <Defect Caption=\"Д1\" Number=\"1\" Quantity=\"10\" Code=\"К1\" Units=\"м2\">\n"
            "        <Position Number=\"1.1\" Quantity=\"1\" PosId=\"42\"/>\n"
            "        <Position Number=\"1.2\" Quantity=\"2\"/>\n"
            "      </Defect>\n"
            "      <Defect Caption=\"Д2\" Identifier=\"D2\" Number=\"2\" Quantity=\"10\" "
            "ItemFlags=\"Red Info\" Inactive=\"Yes\" Code=\"К1\" Units=\"м2\"/>\n"
            "    </Chapter>\n"
            "    <Chapter>\n"
            "      <Defect Caption=\"Д3\" Number=\"3\" Quantity=\"10\" Code=\"К1\" Units=\"м2\">\n"
            "        <Position Number=\"3.1\" Quantity=\"x\"/>\n"
            "        <Position Number=\"3.2\" Quantity=\"2*Д\" PosId=\"43\"/>\n"
            "      </Defect>\n"
            "    </Chapter>\n"
            "  </DefectsList>\n");
  ASSERT_EQ(list.Defects().size(), 3u);
  ASSERT_EQ(list.Links().size(), 4u);
  EXPECT_EQ(list.Links()[3]->FTarget, &doc.pos43);
  EXPECT_EQ(list.Links()[3]->FNumber, 0x00030002);
}

TEST(DefectsList, RecordsByVersion) {
  // The identifier from 0x10153; the target ID replaces an unused text from 0x10155.
  struct Case {
    int32_t version;
    const char* position;
  };
  const Case cases[] = {
      {kVerNoIdentifier, "<Position Number=\"1.1\" Quantity=\"q\"/>"},
      {kVerNoTarget, "<Position Identifier=\"P\" Number=\"1.1\" Quantity=\"q\"/>"},
      {kVerTarget, "<Position Identifier=\"P\" Number=\"1.1\" Quantity=\"q\" PosId=\"42\"/>"},
  };
  for (const Case& c : cases) {
    Estimate doc(c.version);
    TKdDefectsList list(&doc);
    ReadRow(list, DocBuilder()
                      .I16(1)
                      .ListHead(kChapterOptions, 1, "")
                      .Byte(1)
                      .Append(Defect(c.version, "", {Position(c.version, "q", 42, "P")}))
                      .Byte(0));
    const std::string xml = RowXml(list);
    EXPECT_NE(xml.find(c.position), std::string::npos) << std::hex << c.version << "\n" << xml;
  }
}

TEST(DefectsList, MergeModeAndItemTypes) {
  Estimate doc(kLatest);
  TKdDefectsList empty(&doc);
  ReadRow(empty, DocBuilder().I16(0).Byte(dlmqmResultComment));
  EXPECT_EQ(RowXml(empty), "");
  TKdDefectsList result(&doc);
  ReadRow(result, DocBuilder().I16(0).Byte(dlmqmResult));
  EXPECT_EQ(RowXml(result), "  <DefectsList MergeQuantityMode=\"Result\"/>\n");

  TKdDefectsList bad(&doc);
  EXPECT_EQ(ReadFailure(bad, DocBuilder().I16(1).ListHead(kChapterOptions, 1, "").Byte(2)),
            kBadData);
}

TEST(OptionalZones, EntriesAndLookup) {
  TestEstimate doc(kLatest);
  TSmetaOptionalZones zones(&doc);
  ReadRow(zones, DocBuilder().I16(0));
  EXPECT_EQ(RowXml(zones), "");

  const auto zone = [](int32_t code, const char* region, uint8_t number, const char* name) {
    return DocBuilder().Head().I32(code).Str(region).Byte(number).Str(name);
  };
  ReadRow(zones,
          DocBuilder().I16(2).Append(zone(0, "", 0, "")).Append(zone(77, "Регион", 2, "Зона 2")));
  EXPECT_EQ(RowXml(zones),
            "  <OptionalZones>\n"
            "    <OptionalZone/>\n"
            "    <OptionalZone RegionID=\"77\" RegionName=\"Регион\" ZoneID=\"2\" "
            "ZoneName=\"Зона 2\"/>\n"
            "  </OptionalZones>\n");
}

}  // namespace
}  // namespace kdx::test

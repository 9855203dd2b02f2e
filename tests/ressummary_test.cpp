// Resource summary: report settings by version, shared texts referred to by
// index, the three source lists with their links resolved as far as read,
// chapters with their source rows, and the failures of a damaged body.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/common_rows.h"
#include "support/builder.h"
#include "support/outcomes.h"
#include "support/ressummary_builder.h"

namespace kdx::test {
namespace {

using namespace ressummary;

constexpr uint8_t kKind = 6;
constexpr char kRootStart[] =
    "<Document ProgramVersion=\"1.0.0.0\" Generator=\"Orvakplan\" "
    "DocumentType=\"{2B0470FD-477C-4359-9F34-EEBE36B7D349}\"";

// Four empty resource groups of a local-estimate source.
DocBuilder NoGroups() { return DocBuilder().I32(0).I32(0).I32(0).I32(0); }

Outcome ConvertOk(const Summary& summary) {
  Outcome out = Convert(summary.Packed());
  EXPECT_TRUE(out.ok) << out.failure;
  return out;
}

// The sort direction byte exists from kSortDirection on; a source after it
// shows that the rest of the body stays in step.
TEST(ResSummaryTest, SortDirectionIsReadFromItsVersionOn) {
  const struct {
    int32_t version;
    const char* direction;
  } cases[] = {{-1, "Inc"},
               {0x00010000, "Inc"},
               {kSortDirection - 1, "Inc"},
               {kSortDirection, "Dec"},
               {kNewest, "Dec"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    Summary s;
    s.version = c.version;
    s.report.direction = 1;
    s.codes = {"К-1"};
    s.ls_count = 1;
    s.ls.Append(Source("Смета")).Append(NoGroups());
    const Outcome out = ConvertOk(s);
    EXPECT_EQ(
        BodyLines(out.xml),
        std::string("  <ReportOptions GroupingMode=\"None\" SortMode=\"ByCode\" SortDirection=\"") +
            c.direction +
            "\"/>\n"
            "  <LsList>\n"
            "    <Data Caption=\"Смета\" Index=\"0\">\n"
            "      <DocInfo/>\n"
            "    </Data>\n"
            "  </LsList>\n"
            "</Document>\n");
  }
}

TEST(ResSummaryTest, OptionsAndReportSettingsAreWrittenByName) {
  const struct {
    Report report;
    const char* root_options;  // "" when the root has no "Options"
    const char* report_line;
  } cases[] = {
      {{}, "", "<ReportOptions GroupingMode=\"None\" SortMode=\"ByCode\" SortDirection=\"Inc\"/>"},
      {{1, 1, 1, 0x3F, 1},
       "Duplicates",
       "<ReportOptions Options=\"Grouping SeparatePosRes SeparateZakPodr SeparateSuppl "
       "IgnoreZeroQty SeparateReplaced\" GroupingMode=\"Base\" SortMode=\"ByCaption\" "
       "SortDirection=\"Dec\"/>"},
      {{0xFFFFFFFF, 2, 2, 0x11, 0},
       "Duplicates",
       "<ReportOptions Options=\"Grouping IgnoreZeroQty\" GroupingMode=\"Curr\" "
       "SortMode=\"ByBaseTotalCost\" SortDirection=\"Inc\"/>"},
      // Values beyond the name tables leave their attributes out; unnamed bits give no text.
      {{0x0001FFFE, 3, 3, 0xC0, 2}, "", "<ReportOptions SortMode=\"ByCurrTotalCost\"/>"},
      {{0x80000000, 255, 4, 0x42, 255}, "", "<ReportOptions Options=\"SeparatePosRes\"/>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.report_line);
    Summary s;
    s.report = c.report;
    const Outcome out = ConvertOk(s);
    const std::string options =
        *c.root_options ? std::string(" Options=\"") + c.root_options + "\"" : "";
    EXPECT_EQ(RootLine(out.xml), kRootStart + options + ">");
    EXPECT_EQ(BodyLines(out.xml), std::string("  ") + c.report_line + "\n</Document>\n");
  }
}

TEST(ResSummaryTest, ResourcesReferToSharedTextsByIndex) {
  Summary s;
  s.codes = {"C1", "C2"};
  s.names = {"Песок", "Щебень"};
  s.units = {"м3"};
  // Every field and both price containers: CE and BE kept unrounded; a text
  // only, an empty element.
  const DocBuilder full = ResourceRecord({.code = 1,
                                          .units = 0,
                                          .name = 0,
                                          .quantity = 12.5,
                                          .cargo = 150,
                                          .brutto = 1234,
                                          .grade = -350,
                                          .prices = Prices{.values = {"10.2567", {}, "-3"}},
                                          .requested = Prices{.texts = {"=A*2"}}});
  // Flags without fields read nothing.
  const DocBuilder unused_bits = ResourceRecord({.extra_flags = 0xFFFFF380u});
  // Indexes past the end, -1 and below; a quantity within 1e-8 of 0; an empty
  // price container writes nothing.
  Resource outside{.code = 2, .units = -1, .name = -7, .quantity = 1e-9};
  outside.prices.emplace();
  s.ls_count = 1;
  s.ls.Append(Source("Смета 1", "ЛС-01"))
      .I32(1)
      .Append(full)
      .I32(2)
      .Append(unused_bits)
      .Append(ResourceRecord({.units = 0}))
      .I32(0)
      .I32(1)
      .Append(ResourceRecord(outside));
  const Outcome out = ConvertOk(s);
  EXPECT_EQ(BodyLines(out.xml),
            "  <ReportOptions GroupingMode=\"None\" SortMode=\"ByCode\" SortDirection=\"Inc\"/>\n"
            "  <LsList>\n"
            "    <Data Caption=\"Смета 1\" Index=\"0\">\n"
            "      <DocInfo Code=\"ЛС-01\"/>\n"
            "      <Tz Caption=\"Трудозатраты\">\n"
            "        <Resource Caption=\"Песок\" Code=\"C2\" Units=\"м3\" Quantity=\"12,5\" "
            "Mass=\"1,234\" Cargo=\"1,5\" WorkClass=\"-3,5\">\n"
            "          <Price CE=\"10,2567\" BE=\"-3\"/>\n"
            "          <ReqPrice/>\n"
            "        </Resource>\n"
            "      </Tz>\n"
            "      <Mch Caption=\"Машины и механизмы\">\n"
            "        <Resource/>\n"
            "        <Resource Units=\"м3\"/>\n"
            "      </Mch>\n"
            "      <Eq Caption=\"Оборудование\">\n"
            "        <Resource/>\n"
            "      </Eq>\n"
            "    </Data>\n"
            "  </LsList>\n"
            "</Document>\n");
}

// Links of a document list find only the sources read so far: in "OsList" the
// rows before the current one and the current one itself.
TEST(ResSummaryTest, DocumentListLinksResolveAsFarAsRead) {
  Summary s;
  s.ls_count = 1;
  s.ls.Append(Source("ЛС")).Append(NoGroups());
  s.os_count = 3;
  s.os.Append(Source("ОС 1", "", {rdltSmetaRes, "smeta.kdx", rdltgFile, true}))
      .I16(3)
      .Append(DocumentRow(1, 1, 0))     // itself
      .Append(DocumentRow(kLs, -1, 0))  // K is a signed byte
      .Append(DocumentRow(1, 1, 1))     // not read yet
      .Append(Source("ОС 2"))
      .I16(5)
      .Append(DocumentRow(1, 1, 0))
      .Append(DocumentRow(7, 1, 0))  // an unknown type is taken as a local estimate
      .Append(DocumentRow(0, 5, -1))
      .Append(DocumentRow(0, 1, 3))
      .Append(DocumentRow(1, 1, -2))
      .Append(Source("ОС 3", "", {rdltSmetaBase}))  // a type without a text is no link
      .I16(0);
  s.ssr_count = 1;
  s.ssr.Append(Source("ССР", "С-1"))
      .I16(2)
      .Append(DocumentRow(1, 2, 2))
      .Append(DocumentRow(1, 1, 3));
  const Outcome out = ConvertOk(s);
  EXPECT_EQ(BodyLines(out.xml),
            "  <ReportOptions GroupingMode=\"None\" SortMode=\"ByCode\" SortDirection=\"Inc\"/>\n"
            "  <LsList>\n"
            "    <Data Caption=\"ЛС\" Index=\"0\">\n"
            "      <DocInfo/>\n"
            "    </Data>\n"
            "  </LsList>\n"
            "  <OsList>\n"
            "    <Data Caption=\"ОС 1\" Index=\"0\">\n"
            "      <DocInfo/>\n"
            "      <DocLink LinkType=\"RS\" Link=\"smeta.kdx\" LinkTarget=\"File\" "
            "LinkState=\"Invalid\"/>\n"
            "      <DocList>\n"
            "        <Data Type=\"Os\" DataIndex=\"0\"/>\n"
            "        <Data Type=\"Ls\" K=\"-1\" DataIndex=\"0\"/>\n"
            "        <Data Type=\"Os\"/>\n"
            "      </DocList>\n"
            "    </Data>\n"
            "    <Data Caption=\"ОС 2\" Index=\"1\">\n"
            "      <DocInfo/>\n"
            "      <DocList>\n"
            "        <Data Type=\"Os\" DataIndex=\"0\"/>\n"
            "        <Data Type=\"Ls\" DataIndex=\"0\"/>\n"
            "        <Data Type=\"Ls\" K=\"5\"/>\n"
            "        <Data Type=\"Ls\"/>\n"
            "        <Data Type=\"Os\"/>\n"
            "      </DocList>\n"
            "    </Data>\n"
            "    <Data Caption=\"ОС 3\" Index=\"2\">\n"
            "      <DocInfo/>\n"
            "    </Data>\n"
            "  </OsList>\n"
            "  <SsrList>\n"
            "    <Data Caption=\"ССР\" Index=\"0\">\n"
            "      <DocInfo Code=\"С-1\"/>\n"
            "      <DocList>\n"
            "        <Data Type=\"Os\" K=\"2\" DataIndex=\"2\"/>\n"
            "        <Data Type=\"Os\"/>\n"
            "      </DocList>\n"
            "    </Data>\n"
            "  </SsrList>\n"
            "</Document>\n");
}

TEST(ResSummaryTest, ChapterRowsReferToTheirSourceLists) {
  Summary s;
  s.ls_count = 1;
  s.ls.Append(Source("ЛС")).Append(NoGroups());
  s.os_count = 1;
  s.os.Append(Source("ОС")).I16(0);
  s.ssr_count = 2;
  s.ssr.Append(Source("ССР 1")).I16(0).Append(Source("ССР 2")).I16(0);
  DocBuilder rows;
  rows.Append(ChapterRow(0, 1, false, 0))
      .Append(ChapterRow(1, 3, true, 0))
      .Append(ChapterRow(kSsr, -2, false, 1))
      .Append(ChapterRow(2, 1, false, 2))
      .Append(ChapterRow(0, 1, false, -1))
      .Append(ChapterRow(1, 1, false, 5));
  s.chapter_count = 4;
  s.chapters.Append(Chapter("Раздел 1", 6, rows, false))
      .Append(Chapter("Пустой", 0, {}, true))  // a caption is written only with rows
      .Append(Chapter("", 0, {}, false))
      .Append(Chapter("Раздел 4", 1, ChapterRow(1, 1, false, 0), true));
  s.comment = "Сводка";
  s.user_data[2] = "данные";
  const Outcome out = ConvertOk(s);
  EXPECT_EQ(RootLine(out.xml), std::string(kRootStart) + " Comment=\"Сводка\">");
  const std::string body = BodyLines(out.xml);
  const std::string chapters = body.substr(body.find("  <Chapters>"));
  EXPECT_EQ(chapters,
            "  <Chapters>\n"
            "    <Chapter Caption=\"Раздел 1\">\n"
            "      <Ls DataIndex=\"0\"/>\n"
            "      <Os Inactive=\"Yes\" K=\"3\" DataIndex=\"0\"/>\n"
            "      <Ssr K=\"-2\" DataIndex=\"1\"/>\n"
            "      <Ssr/>\n"
            "      <Ls/>\n"
            "      <Os/>\n"
            "    </Chapter>\n"
            "    <Chapter Inactive=\"Yes\"/>\n"
            "    <Chapter/>\n"
            "    <Chapter Caption=\"Раздел 4\" Inactive=\"Yes\">\n"
            "      <Os DataIndex=\"0\"/>\n"
            "    </Chapter>\n"
            "  </Chapters>\n"
            "  <UserData Data_2=\"данные\"/>\n"
            "</Document>\n");
}

// A summary using every kind of record, for the damage tests.
Summary RichSummary() {
  Summary s;
  s.report = {1, 1, 2, 0x11, 1};
  s.codes = {"C"};
  s.names = {"N"};
  s.units = {"U"};
  const DocBuilder resource = ResourceRecord({.code = 0,
                                              .units = 0,
                                              .name = 0,
                                              .quantity = 2,
                                              .cargo = 1,
                                              .brutto = 2,
                                              .grade = 3,
                                              .prices = Prices{.values = {"1.5"}, .texts = {"x"}},
                                              .requested = Prices{.values = {std::nullopt, "2"}}});
  s.ls_count = 1;
  s.ls.Append(Source("ЛС", "", {rdltObjSmeta, "a.kdx", rdltgFile, true}))
      .I32(1)
      .Append(resource)
      .I32(0)
      .I32(0)
      .I32(0);
  s.os_count = 1;
  s.os.Append(Source("ОС", "К")).I16(1).Append(DocumentRow(kLs, 2, 0));
  s.ssr_count = 1;
  s.ssr.Append(Source("ССР")).I16(1).Append(DocumentRow(1, 1, 0));
  s.chapter_count = 1;
  s.chapters.Append(Chapter("Р", 3,
                            DocBuilder()
                                .Append(ChapterRow(0, 1, true, 0))
                                .Append(ChapterRow(1, 2, false, 0))
                                .Append(ChapterRow(2, 1, false, 0)),
                            true));
  s.comment = "К";
  s.user_data[0] = std::string(1, 'a');  // GCC 12 misreads a one-letter literal here (-Wrestrict)
  s.user_data[9] = std::string(1, 'b');
  return s;
}

TEST(ResSummaryTest, EveryPrefixOfAValidDocumentFails) {
  ExpectEveryCutFails(RichSummary().Packed());
}

TEST(ResSummaryTest, DamagedBodiesFailWithTheirTexts) {
  const std::string body = RichSummary().Body().Bytes();
  // The body with its n-th row marker replaced (the texts of RichSummary hold no byte 0xEF).
  const auto damaged_marker = [&](size_t n) {
    std::string b = body;
    size_t pos = std::string::npos;
    for (size_t i = 0, seen = 0; i < b.size(); ++i) {
      if (static_cast<uint8_t>(b[i]) == 0xEF && seen++ == n) {
        pos = i;
        break;
      }
    }
    b[pos] = static_cast<char>(0xEE);
    return PackDocument(kKind, "KD_RSumm", kNewest, b);
  };
  Summary unknown_row = RichSummary();
  unknown_row.chapters = Chapter("Р", 1, ChapterRow(3, 1, false, 0), false);
  Summary negative_group = RichSummary();
  negative_group.ls = Source("ЛС").I32(-1);
  // The user data's first text with the string tag 5: its mask and the two bytes.
  Summary no_user_data = RichSummary();
  no_user_data.user_data = {};
  std::string bad_tag = no_user_data.Body().Bytes();
  bad_tag.resize(bad_tag.size() - 2);
  bad_tag += DocBuilder().I16(1).Byte(5).Byte(0).Bytes();
  const struct {
    const char* name;
    std::string packed;
    std::string failure;
  } cases[] = {
      {"signature of another kind", PackDocument(kKind, "KD_Cennk", kNewest, body),
       "Exception: Неверные или поврежденные данные"},
      {"newer version", PackDocument(kKind, "KD_RSumm", kNewest + 1, body),
       "Exception: Данный документ записан в более новой версии программы, чем текущая.\r"
       "Загрузка невозможна"},
      {"chapter row of type 3", unknown_row.Packed(), kBadData},
      {"negative resource count", negative_group.Packed(),
       "EListError: List capacity out of bounds (-1)"},
      {"string tag 5", PackDocument(kKind, "KD_RSumm", kNewest, bad_tag), kBadData},
      // Markers in body order: 0-2 shared texts; 3-8 the local estimate (source, info, link,
      // resource, two prices); 9-12 and 13-16 the other sources; 17 the chapter, 18-20 its
      // rows; 21 the user data.
      {"shared text marker", damaged_marker(0), kBadMarker},
      {"source marker", damaged_marker(3), kBadMarker},
      {"link marker", damaged_marker(5), kBadMarker},
      {"resource marker", damaged_marker(6), kBadMarker},
      {"price marker", damaged_marker(7), kBadMarker},
      {"link data marker", damaged_marker(12), kBadMarker},
      {"chapter row marker", damaged_marker(18), kBadMarker},
      {"user data marker", damaged_marker(21), kBadMarker},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = Convert(c.packed);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.failure, c.failure);
  }
}

}  // namespace
}  // namespace kdx::test

// Resource summary: report settings by version, shared texts referred to by
// index, the three source lists with their links resolved as far as read,
// chapters with their source rows, and the failures of a damaged body.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/builder.h"
#include "support/outcomes.h"

namespace kdx::test {
namespace {

constexpr uint8_t kKind = 6;
constexpr int32_t kLatest = 0x00010004;
constexpr char kRootStart[] =
    "<Document ProgramVersion=\"1.0.0.0\" Generator=\"Orvakplan\" "
    "DocumentType=\"{2B0470FD-477C-4359-9F34-EEBE36B7D349}\"";

struct Report {
  uint32_t options = 0;
  uint8_t grouping = 0;
  uint8_t sort_mode = 0;
  uint8_t report_options = 0;
  uint8_t direction = 0;
};

// A summary body assembled from its parts; the lists hold ready-made item records.
struct Summary {
  int32_t version = kLatest;
  Report report;
  std::vector<std::string> codes, names, units;
  uint16_t ls_count = 0, os_count = 0, ssr_count = 0, chapter_count = 0;
  DocBuilder ls, os, ssr, chapters;
  std::string comment;
  DocBuilder user_data = DocBuilder().Head().Byte(0).I16(0);

  DocBuilder Body() const {
    DocBuilder b;
    b.I32(static_cast<int32_t>(report.options))
        .Byte(report.grouping)
        .Byte(report.sort_mode)
        .Byte(report.report_options);
    if (version >= 0x00010003) b.Byte(report.direction);
    for (const auto* list : {&codes, &names, &units}) {
      b.I16(static_cast<uint16_t>(list->size()));
      for (const std::string& text : *list) b.Head(text);
    }
    b.I16(ls_count).Append(ls).I16(os_count).Append(os).I16(ssr_count).Append(ssr);
    b.I16(chapter_count).Append(chapters).Str(comment).Append(user_data);
    return b;
  }
  std::string Packed() const { return PackDocument(kKind, "KD_RSumm", version, Body().Bytes()); }
};

// The head of a source: caption, document info and a link of type 0 (none).
DocBuilder Source(std::string_view caption, std::string_view code = "") {
  return DocBuilder().Head(caption).Head().Str(code).Head().Byte(1).Byte(0);
}

// A source whose link has a type, a text, a target and a state.
DocBuilder LinkedSource(std::string_view caption, uint8_t type, std::string_view link,
                        uint8_t target, bool invalid) {
  DocBuilder b = DocBuilder().Head(caption).Head().Str("").Head().Byte(1).Byte(type);
  return b.Str(link).Byte(target).Bool(invalid);
}

DocBuilder LinkData(uint8_t type, uint8_t k, int16_t index) {
  return DocBuilder().Head().Byte(type).Byte(k).I16(static_cast<uint16_t>(index));
}

// A source row as it stands in a chapter: type byte, then the record.
DocBuilder ChapterRow(uint8_t type, uint8_t k, bool inactive, int16_t index) {
  return DocBuilder().Byte(type).Head().Byte(k).Bool(inactive).I16(static_cast<uint16_t>(index));
}

DocBuilder Chapter(std::string_view caption, uint16_t count, const DocBuilder& rows,
                   bool inactive) {
  return DocBuilder().Head(caption).I16(count).Append(rows).Bool(inactive);
}

// Four empty resource groups of a local-estimate source.
DocBuilder NoGroups() { return DocBuilder().I32(0).I32(0).I32(0).I32(0); }

std::string RootLine(const std::string& xml) {
  const size_t begin = xml.find('\n') + 1;
  return xml.substr(begin, xml.find('\r', begin) - begin);
}

Outcome ConvertOk(const Summary& summary) {
  Outcome out = Convert(summary.Packed());
  EXPECT_TRUE(out.ok) << out.failure;
  return out;
}

// The sort direction byte exists from version 0x00010003 on; a source after it
// shows that the rest of the body stays in step.
TEST(ResSummaryTest, SortDirectionIsReadFromVersion3On) {
  const struct {
    int32_t version;
    const char* direction;
  } cases[] = {{-1, "Inc"},
               {0x00010000, "Inc"},
               {0x00010002, "Inc"},
               {0x00010003, "Dec"},
               {0x00010004, "Dec"}};
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
  DocBuilder full;  // every field, both price containers
  full.Head()
      .I32(0x7F | 0x0400 | 0x0800)
      .I16(1)
      .I16(0)
      .I16(0)
      .Dbl(12.5)
      .I16(150)
      .I32(1234)
      .I16(static_cast<uint16_t>(-350));
  full.Head().Byte(0x05).Cur("10.2567").Cur("-3");  // CE and BE, kept unrounded
  full.Head().Byte(0x10).Str("=A*2");               // a text only: an empty element
  DocBuilder unused_bits;                           // flags without fields read nothing
  unused_bits.Head().I32(static_cast<int32_t>(0xFFFFF380u));
  DocBuilder outside;  // indexes past the end, -1 and below; a quantity within 1e-8 of 0
  outside.Head().I32(0x0F | 0x0400).I16(2).I16(0xFFFF).I16(static_cast<uint16_t>(-7)).Dbl(1e-9);
  outside.Head().Byte(0);  // an empty price container writes nothing
  s.ls_count = 1;
  s.ls.Append(Source("Смета 1", "ЛС-01"))
      .I32(1)
      .Append(full)
      .I32(2)
      .Append(unused_bits)
      .Append(DocBuilder().Head().I32(0x02).I16(0))
      .I32(0)
      .I32(1)
      .Append(outside);
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
  s.os.Append(LinkedSource("ОС 1", 2, "smeta.kdx", 1, true))
      .I16(3)
      .Append(LinkData(1, 1, 0))     // itself
      .Append(LinkData(0, 0xFF, 0))  // K is a signed byte
      .Append(LinkData(1, 1, 1))     // not read yet
      .Append(Source("ОС 2"))
      .I16(5)
      .Append(LinkData(1, 1, 0))
      .Append(LinkData(7, 1, 0))  // an unknown type is taken as a local estimate
      .Append(LinkData(0, 5, -1))
      .Append(LinkData(0, 1, 3))
      .Append(LinkData(1, 1, -2))
      .Append(LinkedSource("ОС 3", 3, "", 0, false))  // a type without a text is no link
      .I16(0);
  s.ssr_count = 1;
  s.ssr.Append(Source("ССР", "С-1")).I16(2).Append(LinkData(1, 2, 2)).Append(LinkData(1, 1, 3));
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
      .Append(ChapterRow(2, 0xFE, false, 1))
      .Append(ChapterRow(2, 1, false, 2))
      .Append(ChapterRow(0, 1, false, -1))
      .Append(ChapterRow(1, 1, false, 5));
  s.chapter_count = 4;
  s.chapters.Append(Chapter("Раздел 1", 6, rows, false))
      .Append(Chapter("Пустой", 0, {}, true))  // a caption is written only with rows
      .Append(Chapter("", 0, {}, false))
      .Append(Chapter("Раздел 4", 1, ChapterRow(1, 1, false, 0), true));
  s.comment = "Сводка";
  s.user_data = DocBuilder().Head().Byte(0).I16(0x0004).Str("данные");
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
  DocBuilder resource;
  resource.Head().I32(0x7F | 0x0C00).I16(0).I16(0).I16(0).Dbl(2).I16(1).I32(2).I16(3);
  resource.Head().Byte(0x11).Cur("1.5").Str("x").Head().Byte(0x02).Cur("2");
  s.ls_count = 1;
  s.ls.Append(LinkedSource("ЛС", 1, "a.kdx", 1, true)).I32(1).Append(resource).I32(0).I32(0).I32(0);
  s.os_count = 1;
  s.os.Append(Source("ОС", "К")).I16(1).Append(LinkData(0, 2, 0));
  s.ssr_count = 1;
  s.ssr.Append(Source("ССР")).I16(1).Append(LinkData(1, 1, 0));
  s.chapter_count = 1;
  s.chapters.Append(Chapter("Р", 3,
                            DocBuilder()
                                .Append(ChapterRow(0, 1, true, 0))
                                .Append(ChapterRow(1, 2, false, 0))
                                .Append(ChapterRow(2, 1, false, 0)),
                            true));
  s.comment = "К";
  s.user_data = DocBuilder().Head().Byte(0).I16(0x0201).Str("a").Str("b");
  return s;
}

TEST(ResSummaryTest, EveryPrefixOfAValidDocumentFails) {
  const std::string packed = RichSummary().Packed();
  ASSERT_TRUE(Convert(packed).ok);
  constexpr size_t kBodyStart = 9 + 8 + 4;  // packed header, signature, version
  for (size_t n = 0; n < packed.size(); ++n) {
    SCOPED_TRACE(n);
    const Outcome out = Convert(packed.substr(0, n));
    ASSERT_FALSE(out.ok);
    if (n >= kBodyStart) {
      EXPECT_EQ(out.failure, "EReadError: Stream read error");
    }
  }
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
    return PackDocument(kKind, "KD_RSumm", kLatest, b);
  };
  Summary unknown_row = RichSummary();
  unknown_row.chapters = Chapter("Р", 1, ChapterRow(3, 1, false, 0), false);
  Summary negative_group = RichSummary();
  negative_group.ls = Source("ЛС").I32(-1);
  Summary bad_tag = RichSummary();
  bad_tag.comment.clear();
  bad_tag.user_data = DocBuilder().Head().Byte(0).I16(1).Byte(5).Byte(0);
  const struct {
    const char* name;
    std::string packed;
    std::string failure;
  } cases[] = {
      {"signature of another kind", PackDocument(kKind, "KD_Cennk", kLatest, body),
       "Exception: Неверные или поврежденные данные"},
      {"newer version", PackDocument(kKind, "KD_RSumm", 0x00010005, body),
       "Exception: Данный документ записан в более новой версии программы, чем текущая.\r"
       "Загрузка невозможна"},
      {"chapter row of type 3", unknown_row.Packed(), kBadData},
      {"negative resource count", negative_group.Packed(),
       "EListError: List capacity out of bounds (-1)"},
      {"string tag 5", bad_tag.Packed(), kBadData},
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

// Object estimates and consolidated calculations: chapters by mode, cost rows
// in every amount layout, links and their amount blocks, conversion groups,
// signatures and the display options, across the file versions.
#include "objsmeta/objsmeta.h"

#include <gtest/gtest.h>

#include <string>

#include "support/builder.h"
#include "support/objsmeta_builder.h"

namespace kdx::test {
namespace {

using namespace objsmeta;

constexpr const char* kBadData = "EOrvakFilerError: Неверный формат данных в потоке";
constexpr const char* kBadMarker = "EOrvakFilerInvalidSignature: Неверный формат данных в потоке";

std::string Pack(bool estimate, int32_t version, const DocBuilder& body) {
  return PackDocument(estimate ? 1 : 2, estimate ? "KD_ObjSm" : "KD_ConsC", version, body.Bytes());
}

// Everything after the chapters, empty, as far as the version has it.
DocBuilder EmptyTail(bool estimate, int32_t v) {
  return Document{.estimate = estimate, .version = v}.Tail();
}

// A document: the settings before the chapters, then the chapters the test
// adds, then what the test sets of the rest.
class Body {
 public:
  // The mode and the number of stored chapters are written from kModeByte.
  Body(bool estimate, int32_t v, uint8_t mode = 1, uint8_t stored = 1, uint8_t round = 0)
      : d_{.estimate = estimate, .version = v, .mode = mode, .stored = stored, .round = round} {}
  Body& Chapter(uint16_t count = 0, const DocBuilder& items = {}, std::string_view caption = "") {
    d_.chapters.push_back(ChapterRecord(d_.version, caption, count, items));
    return *this;
  }
  Body& Chapters(int n) {
    for (int i = 0; i < n; ++i) Chapter();
    return *this;
  }
  // A row block of the oldest layout.
  Body& OldBlock(uint16_t count = 0, const DocBuilder& items = {}) {
    d_.chapters.push_back(DocBuilder().Head().I16(count).Append(items));
    return *this;
  }
  Document& Doc() { return d_; }
  std::string Finish(uint16_t summaries = 4992) {
    d_.summaries = summaries;
    return d_.Packed();
  }
  std::string Finish(const DocBuilder& tail) const { return d_.Packed(tail); }

 private:
  Document d_;
};

// A consolidated calculation whose first chapter holds the items; the other
// chapters the version makes the reader expect are empty.
std::string WithItems(int32_t v, uint16_t count, const DocBuilder& items) {
  Body body(false, v);
  body.Chapter(count, items);
  if (v < kChaptersOnTheirOwn) {
    for (int i = 0; i < 6; ++i) body.OldBlock();
    body.Chapters(8);
  } else if (v < kModeByte) {
    body.Chapters(14);
  }
  return body.Finish();
}

// The first element whose start tag begins with the text, and its content:
// one line each, without the element's own indentation.
std::string Fragment(const Outcome& out, std::string_view start) {
  if (!out.ok) return out.failure;
  const std::string body = BodyLines(out.xml);
  const size_t pos = body.find(start);
  if (pos == std::string::npos) return "(no " + std::string(start) + ")";
  const std::string tag(start.substr(1, start.find_first_of(" >", 1) - 1));
  const size_t line_start = body.rfind('\n', pos) + 1;
  const size_t indent = pos - line_start;
  const std::string end_line = std::string(indent, ' ') + "</" + tag + ">";
  std::string text;
  for (size_t at = line_start; at < body.size();) {
    size_t end = body.find('\n', at);
    if (end == std::string::npos) end = body.size();
    const std::string_view line(body.data() + at, end - at);
    text.append(line.substr(std::min(indent, line.size()))).append("\n");
    if ((at == line_start && line.ends_with("/>")) || line == end_line) break;
    at = end + 1;
  }
  return text;
}

// The "Number" of every chapter, separated by blanks.
std::string ChapterNumbers(const Outcome& out) {
  std::string numbers;
  for (size_t pos = out.xml.find("<Chapter "); pos != std::string::npos;
       pos = out.xml.find("<Chapter ", pos + 1)) {
    const size_t n = out.xml.find("Number=\"", pos) + 8;
    numbers.append(numbers.empty() ? "" : " ").append(out.xml, n, out.xml.find('"', n) - n);
  }
  return numbers;
}

// Whether the XML (with LF line ends) holds the text.
bool Has(const Outcome& out, std::string_view text) {
  std::string xml = out.xml;
  std::erase(xml, '\r');
  return out.ok && xml.find(text) != std::string::npos;
}

// ---- chapters and modes ----

TEST(ObjSmetaModes, ChaptersFollowTheModeAndTheStoredModeByte) {
  const char* estimate = "2 8 9 10 11 12 13 14 15";
  const char* fifteen = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15";
  struct Case {
    bool estimate;
    int32_t version;
    uint8_t mode;  // stored from kModeByte only
    int chapters_stored;
    const char* mode_name;
    const char* numbers;
  } cases[] = {
      {true, kModeByte - 1, 3, 9, "Est", estimate},
      {false, kModeByte - 1, 0, 15, "Cons", fifteen},
      {false, kModeByte, 0, 0, "Est", estimate},
      {true, kModeByte, 1, 0, "Cons", fifteen},
      {false, kModeByte, 2, 0, "Rec", "1 2 3 4 5 6 7 8 9 10 11 12"},
      {false, kNewest, 3, 0, "Road", fifteen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode_name << " " << std::hex << c.version);
    const Outcome out =
        Convert(Body(c.estimate, c.version, c.mode, 0).Chapters(c.chapters_stored).Finish());
    EXPECT_TRUE(Has(out, "<Options Mode=\"" + std::string(c.mode_name) + "\"")) << out.failure;
    EXPECT_EQ(ChapterNumbers(out), c.numbers);
  }
}

TEST(ObjSmetaModes, ChapterWithoutStoredCaptionTakesTheStandardNameOfItsPlace) {
  struct Case {
    uint8_t mode;
    uint8_t place;  // 1-based
    const char* number;
    const char* name;
    const char* stored = "";
  } cases[] = {
      {2, 1, "1", "Свой раздел", "Свой раздел"},
      {0, 1, "2", "Локальные сметные расчеты"},
      {0, 9, "15", "Налоги и обязательные платежи"},
      {1, 1, "1", "Глава 1. Подготовка территории строительства"},
      {1, 13, "13", "Непредвиденные затраты"},
      {2, 8, "8", "Глава 8. Технический надзор"},
      {2, 12, "12", "Налоги и обязательные платежи"},
      {3, 4, "4", "Глава 4. Искуственные сооружения"},
      {3, 15, "15", "Налоги и обязательные платежи"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DocBuilder header = HeaderItem("");
    const Outcome out = Convert(Body(false, kNewest, c.mode, c.place)
                                    .Chapters(c.place - 1)
                                    .Chapter(1, header, c.stored)
                                    .Finish());
    EXPECT_EQ(Fragment(out, "<Chapter Caption="), std::string("<Chapter Caption=\"") + c.name +
                                                      "\" Number=\"" + c.number +
                                                      "\">\n  <Header/>\n</Chapter>\n");
  }
}

TEST(ObjSmetaModes, ChapterCaptionIsStoredFromItsVersion) {
  const DocBuilder header = HeaderItem("H");
  // Before kChapterCaption no caption is written: the chapter takes its standard name.
  EXPECT_TRUE(Has(Convert(WithItems(kChapterCaption - 1, 1, header)),
                  "<Chapter Caption=\"Глава 1. Подготовка территории строительства\""));
  EXPECT_TRUE(Has(Convert(Body(false, kChapterCaption).Chapter(1, header, "Мой").Finish()),
                  "<Chapter Caption=\"Мой\" Number=\"1\">"));
}

TEST(ObjSmetaModes, OldLayoutAppendsSixBlocksToTheFirstChapter) {
  const auto header = [](std::string_view caption) { return HeaderItem(caption); };
  // Blocks: an unknown item type (skipped, reads nothing) before a header, an
  // empty block, a negative count, a header; then the chapters at places 8 to 15.
  Body old_body(false, kChaptersOnTheirOwn - 1);
  old_body.Chapter(1, header("A"))
      .OldBlock(2, DocBuilder().Byte(7).Append(header("B")))
      .OldBlock()
      .OldBlock(0xFFFF)
      .OldBlock(1, header("C"))
      .OldBlock()
      .OldBlock()
      .Chapter(1, header("H8"))
      .Chapters(7);
  const Outcome old_out = Convert(old_body.Finish());
  EXPECT_EQ(Fragment(old_out, "<Chapter Caption=\"Глава 1."),
            "<Chapter Caption=\"Глава 1. Подготовка территории строительства\" Number=\"1\">\n"
            "  <Header Caption=\"A\"/>\n  <Header Caption=\"B\"/>\n  <Header Caption=\"C\"/>\n"
            "</Chapter>\n");
  EXPECT_TRUE(Has(old_out,
                  "<Chapter Number=\"7\"/>\n    <Chapter Caption=\"Глава 8. "
                  "Временные здания и сооружения\" Number=\"8\">"));
  // From kChaptersOnTheirOwn every chapter reads itself in turn.
  const Outcome out = Convert(Body(false, kChaptersOnTheirOwn)
                                  .Chapter(1, header("A"))
                                  .Chapter(1, header("B"))
                                  .Chapters(13)
                                  .Finish());
  EXPECT_TRUE(Has(out, "Number=\"1\">\n      <Header Caption=\"A\"/>\n    </Chapter>"));
  EXPECT_TRUE(Has(out, "Number=\"2\">\n      <Header Caption=\"B\"/>\n    </Chapter>"));
}

// ---- document options ----

TEST(ObjSmetaOptions, SettingsFieldsAppearWithTheirVersions) {
  struct Case {
    int32_t version;
    const char* options;
  } cases[] = {
      {kThousands - 1, "<Options Mode=\"Cons\" RoundMode=\"Off\" Summaries=\"4992\"/>"},
      {kThousands,
       "<Options Mode=\"Cons\" Thousands=\"Yes\" RoundMode=\"Off\" Summaries=\"4992\"/>"},
      {kRoundMode - 1,
       "<Options Mode=\"Cons\" Thousands=\"Yes\" RoundMode=\"Off\" Summaries=\"4992\"/>"},
      {kRoundMode,
       "<Options Mode=\"Cons\" Thousands=\"Yes\" RoundMode=\"R100\" Summaries=\"4992\"/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.version);
    // Reserved options are read, never written; old files hold the first
    // chapter, six blocks and eight chapters.
    Body body(false, c.version, 1, 0, srtRound_100);
    body.Doc().thousands = true;
    body.Doc().reserved = 0x3FF;
    const Outcome out = Convert(body.Chapters(c.version < kModeByte ? 15 : 0).Finish());
    EXPECT_EQ(Fragment(out, "<Options "), std::string(c.options) + "\n");
  }
  // A rounding mode outside the name table is left out.
  EXPECT_EQ(Fragment(Convert(Body(false, kNewest, 1, 0, 9).Finish()), "<Options "),
            "<Options Mode=\"Cons\" Summaries=\"4992\"/>\n");
}

TEST(ObjSmetaOptions, EstimateKeepsOnlyBit0AndTheHighByteOfSummaries) {
  struct Case {
    bool estimate;
    uint16_t stored;
    const char* written;
  } cases[] = {{true, 0xFFFF, "65281"},
               {false, 0xFFFF, "65535"},
               {true, 0x00FE, "0"},
               {true, 0x1381, "4865"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    const Outcome out = Convert(Body(c.estimate, kNewest, c.estimate ? 0 : 1, 0).Finish(c.stored));
    EXPECT_TRUE(Has(out, std::string("Summaries=\"") + c.written + "\"")) << out.failure;
  }
}

TEST(ObjSmetaOptions, EstimateChapterNumbersInConsolidatedCalculationsByVersion) {
  struct Case {
    int32_t version;
    std::array<uint8_t, 3> stored;  // as far as the version holds them
    const char* written;
  } cases[] = {
      {kCcChapter - 1, {5, 6, 7}, "<CCChapter Cons=\"2\" Rec=\"2\" Road=\"2\"/>"},
      {kCcChapter, {5, 6, 7}, "<CCChapter Cons=\"5\" Rec=\"2\" Road=\"2\"/>"},
      {kCcChapters - 1, {0, 6, 7}, "<CCChapter Rec=\"2\" Road=\"2\"/>"},
      {kCcChapters, {5, 6, 7}, "<CCChapter Cons=\"5\" Rec=\"6\" Road=\"7\"/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Body body = Body(true, c.version, 0, 0).Chapters(c.version < kModeByte ? 9 : 0);
    body.Doc().cc_chapters = c.stored;
    const Outcome out = Convert(body.Finish(0));
    EXPECT_EQ(Fragment(out, "<CCChapter "), std::string(c.written) + "\n");
  }
  // A consolidated calculation has no such numbers.
  const Outcome out = Convert(Body(false, kNewest, 1, 0).Finish());
  EXPECT_TRUE(out.ok && out.xml.find("CCChapter") == std::string::npos) << out.failure;
}

// ---- signatures, comment, user data, variables, conversion groups ----

TEST(ObjSmetaSignatures, OldTextsBecomeSignaturesByTheirPlace) {
  struct Case {
    int32_t version;
    std::vector<const char*> texts;
    const char* written;
  } cases[] = {
      {kSignatureTexts - 1, {}, "(no <KdDocSignatures>)"},
      {kSignatureTexts,
       {"Осн", "", "Нач", "Отд"},
       "<KdDocSignatures>\n"
       "  <Item Caption=\"Основание\" ID=\"100\" Value=\"Осн\"/>\n"
       "  <Item Caption=\"Начальник\" ID=\"380\" Value=\"Нач\"/>\n"
       "  <Item Caption=\"Начальник отдела\" ID=\"390\" Value=\"Отд\"/>\n"},
      {kEightSignatureTexts - 1,
       {"", "Гип", "", ""},
       "<KdDocSignatures>\n  <Item Caption=\"ГИП\" ID=\"360\" Value=\"Гип\"/>\n"},
      {kEightSignatureTexts,
       {"", "", "", "", "Сост", "Пров", "Рук", "Зак"},
       "<KdDocSignatures>\n"
       "  <Item Caption=\"Составил\" ID=\"300\" Value=\"Сост\"/>\n"
       "  <Item Caption=\"Проверил\" ID=\"310\" Value=\"Пров\"/>\n"
       "  <Item Caption=\"Руководитель проектной организации\" ID=\"350\" Value=\"Рук\"/>\n"
       "  <Item Caption=\"Заказчик\" ID=\"230\" Value=\"Зак\"/>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Body body(false, c.version, 1, 0);
    if (c.version < kChaptersOnTheirOwn)
      body.Chapters(15);  // the first chapter, six blocks, eight chapters
    body.Doc().signature_texts.assign(c.texts.begin(), c.texts.end());
    const std::string written = Fragment(Convert(body.Finish(0)), "<KdDocSignatures>");
    EXPECT_EQ(written.substr(0, written.find("</KdDocSignatures>")), c.written);
  }
}

TEST(ObjSmetaSignatures, SignatureListAndTheTailInItsOrder) {
  Body body(false, kSignatureList, 1, 0);
  body.Doc().signatures = {"Подписи", {{"Утвердил", 200, "Иванов"}}};
  body.Doc().comment = "Комментарий";
  body.Doc().user_data[1] = "ud1";
  body.Doc().variables = {{"Переменная", "X", "2*3"}};
  const Outcome out = Convert(body.Finish(0));
  EXPECT_TRUE(Has(out, "Comment=\"Комментарий\"")) << out.failure;
  EXPECT_TRUE(Has(out,
                  "  </Chapters>\n"
                  "  <Variables>\n"
                  "    <Variable Caption=\"Переменная\" Identifier=\"X\" Value=\"2*3\"/>\n"
                  "  </Variables>\n"
                  "  <KdDocSignatures Caption=\"Подписи\">\n"
                  "    <Item Caption=\"Утвердил\" ID=\"200\" Value=\"Иванов\"/>\n"
                  "  </KdDocSignatures>\n"
                  "  <UserData Data_1=\"ud1\"/>\n"
                  "</Document>"));
}

TEST(ObjSmetaSignatures, CommentUserDataAndVariablesFromTheirVersions) {
  for (int32_t v : {kCommentAndUserData - 1, kCommentAndUserData, kVariables - 1, kVariables}) {
    SCOPED_TRACE(v);
    Body body(false, v, 1, 0);
    body.Doc().comment = "К";
    body.Doc().user_data[0] = "u";
    body.Doc().variables = {{"V", "ID", "1"}};
    const Outcome out = Convert(body.Finish(0));
    ASSERT_TRUE(out.ok) << out.failure;
    EXPECT_EQ(Has(out, "Comment=\"К\""), v >= kCommentAndUserData);
    EXPECT_EQ(Has(out, "<UserData Data_0=\"u\"/>"), v >= kCommentAndUserData);
    EXPECT_EQ(Has(out, "<Variables>"), v >= kVariables);
  }
}

TEST(ObjSmetaConversion, GroupsAndTheirFifthCoefficientFromTheirVersions) {
  for (int32_t v : {kConversionGroups - 1, kConversionGroups, kFiveConversionFactors - 1,
                    kFiveConversionFactors}) {
    SCOPED_TRACE(v);
    Body body(false, v, 1, 0);
    body.Doc().first_conversions = {{"Пересчёт", {12500, kOne, 20000, 5000, 30000}}};
    body.Doc().second_conversions = {{"Второй"}};
    const Outcome out = Convert(body.Finish());
    if (v < kConversionGroups) {
      EXPECT_TRUE(out.ok && out.xml.find("ConvGroup") == std::string::npos) << out.failure;
      continue;
    }
    EXPECT_EQ(Fragment(out, "<ConvGroup_1>"),
              std::string("<ConvGroup_1>\n  <ConvItem Caption=\"Пересчёт\" Sroy=\"1,25\" "
                          "Obor=\"2\" Other=\"0,5\"") +
                  (v >= kFiveConversionFactors ? " Fot=\"3\"" : "") + "/>\n</ConvGroup_1>\n");
    EXPECT_EQ(Fragment(out, "<ConvGroup_2>"),
              "<ConvGroup_2>\n  <ConvItem Caption=\"Второй\"/>\n</ConvGroup_2>\n");
  }
}

// ---- cost rows ----

// A cost row "R" of an older layout, whole, by version: the amounts by layout
// (in thousands before kThousands), the option byte, formulas and the link as
// each version holds them.
TEST(ObjSmetaCostRow, OlderLayoutsByVersion) {
  const std::string lb = R"(<DocLink LinkType="LB" Link="a"/><Mode_BaseNoIdx/><Mode_ResCurr/>)";
  struct Case {
    int32_t version;
    Cost row;             // captioned "R"
    std::string written;  // the content, when there is any
    std::string attrs = R"( Sroy="1")";
  } cases[] = {
      {kOldest, {.basis = "Осн"}, "", R"( Obosn="Осн")"},
      // No option byte; the last two amounts are in units.
      {kRowAmounts,
       {.amounts = {"1.5", "2", "0", "-0.0001", "3", "4"}, .id = "ID"},
       "",
       R"( Identifier="ID" Sroy="1500" Mont="2000" Other="-0,1" Fot="3" EdPr="4")"},
      // The option byte arrives with bit 0 cleared.
      {kRowOptions,
       {.options = 0x0F, .amounts = {"1.5", "2"}},
       "",
       R"( Options="Disabled Reserved Reserved" Sroy="1500" Mont="2000")"},
      {kThousands, {.amounts = {"1.5", "2"}}, "", R"( Sroy="1,5" Mont="2")"},
      // Layouts 1, 2 and unknown layouts carry no amounts of their own.
      {kAmountsLink - 1,
       {.layout = 1, .amounts = {"1", "", "", "", "7", "8"}, .id = "L1"},
       "",
       R"( Identifier="L1" Fot="7" EdPr="8")"},
      {kFormulas - 1, {.layout = 2, .amounts = {"1"}, .id = "L2"}, "", R"( Identifier="L2")"},
      {kFormulas - 1, {.layout = 3, .amounts = {"1", "", "", "", "", "1"}}, "", R"( EdPr="1")"},
      // The link after the amounts; a type outside the tables is kept without
      // a name or amount blocks.
      {kAmountsLink - 1, {.amounts = {"1"}}, ""},
      {kAmountsLink, {.amounts = {"1"}, .link = {rdltSmetaBase, "a"}}, lb},
      {kAmountsLink, {.amounts = {"1"}, .link = {9, "a"}}, R"(<DocLink Link="a"/>)"},
      {kFormulas - 1,
       {.options = 0x03, .amounts = {"1", "2", "3", "4", "5", "6"}},
       "",
       R"( Options="Disabled" Sroy="1" Mont="2" Obor="3" Other="4" Fot="5" EdPr="6")"},
      // Four formula columns (the flags of the last two mean nothing); a formula
      // is written as stored, its control characters becoming blanks.
      {kLinkTargetByte,
       {.options = 0x03,
        .amounts = {"1", "", "3", "4", "5", "6"},
        .formulas = {std::nullopt, "a\x07+b", std::nullopt, std::nullopt, "x", "y"}},
       "",
       R"( Options="Reserved Disabled" Sroy="1" Mont="a +b" Obor="3" Other="4" Fot="5" EdPr="6")"},
      {kLinkRecord,
       {.amounts = {"1"},
        .formulas = {std::nullopt, std::nullopt, std::nullopt, std::nullopt, "F1", "F2"}},
       "",
       R"( Sroy="1" Fot="F1" EdPr="F2")"},
      // The older link: the type is always 3 and the link valid until
      // kLinkTarget, types above 3 are taken as 3; the link's own record from
      // kLinkRecord.
      {kLinkTargetByte - 1, {.amounts = {"1"}, .link = {rdltObjSmeta, "a"}}, lb},
      {kLinkTargetByte, {.amounts = {"1"}, .link = {rdltSmetaRes, "a", 77}}, lb},
      {kLinkTarget,
       {.amounts = {"1"}, .link = {rdltSmetaRes, "a", rdltgFile, true}},
       R"(<DocLink LinkType="RS" Link="a" LinkTarget="File" LinkState="Invalid"/>)"
       R"(<Mode_BaseIdx/><Mode_BaseNoIdx/>)"},
      {kLinkRecord - 1, {.amounts = {"1"}, .link = {200, "a"}}, lb},
      {kLinkRecord - 1,
       {.amounts = {"1"}, .link = {rdltObjSmeta, "a"}},
       R"(<DocLink LinkType="OS" Link="a"/>)"},
      {kLinkRecord,
       {.amounts = {"1"}, .link = {rdltSmetaNoIdx, "a"}},
       R"(<DocLink LinkType="SB" Link="a"/><Mode_BaseIdx/><Mode_ResCurr/>)"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.version << ": " << c.attrs);
    c.row.caption = "R";
    std::string written =
        Fragment(Convert(WithItems(c.version, 1, CostItem(c.row, c.version))), "<Position ");
    std::erase(written, '\n');  // on one line, the children without their indentation
    for (size_t at; (at = written.find("  <")) != std::string::npos;) written.erase(at, 2);
    EXPECT_EQ(written, "<Position Caption=\"R\"" + c.attrs +
                           (c.written.empty() ? "/>" : ">" + c.written + "</Position>"));
  }
  // Thousands that cannot be scaled fail the load (INT64_MAX / 999 stored).
  const Cost huge{.caption = "R", .amounts = {"923260464149.6272"}};
  EXPECT_EQ(Convert(WithItems(kRowOptions, 1, CostItem(huge, kRowOptions))).failure, kBadData);
}

// A cost row "R" with the identifier "ID", amounts 1 to 6, the link type and
// text, and the amounts by the other methods and the coefficient as given.
Cost Row(uint8_t link_type, std::string_view link_text, std::vector<Amounts> other = {},
         int32_t k = kOne) {
  return {.caption = "R",
          .amounts = {"1", "2", "3", "4", "5", "6"},
          .link = {link_type, std::string(link_text), rdltgBase},
          .id = "ID",
          .other_methods = std::move(other),
          .k = k};
}

// Six amounts first, first + 1, ...
Amounts Block(int first) {
  Amounts block{};
  for (size_t c = 0; c < kColumns; ++c) block[c] = (first + static_cast<int64_t>(c)) * 10000;
  return block;
}

TEST(ObjSmetaCostRow, OtherMethodsAndCoefficientByLinkType) {
  const std::string own =
      "<Position Caption=\"R\" Identifier=\"ID\" Sroy=\"1\" Mont=\"2\" Obor=\"3\" Other=\"4\" "
      "Fot=\"5\" EdPr=\"6\"";
  const auto block = [](const char* tag, int f) {
    std::string text = std::string("  <") + tag;
    const char* names[] = {"Sroy", "Mont", "Obor", "Other", "Fot", "EdPr"};
    for (int c = 0; c < 6; ++c)
      text += std::string(" ") + names[c] + "=\"" + std::to_string(f + c) + "\"";
    return text + "/>\n";
  };
  const std::vector<Amounts> two = {Block(10), Block(20)};
  struct Case {
    Cost row;
    std::string written;
  } cases[] = {
      {Row(rdltNone, ""), own + "/>\n"},
      // Not linked without a text: no blocks are read.
      {Row(rdltSmetaRes, "", {}, 15000), own + " K=\"1,5\"/>\n"},
      {Row(rdltObjSmeta, "o"), own + ">\n  <DocLink LinkType=\"OS\" Link=\"o\"/>\n</Position>\n"},
      {Row(rdltSmetaRes, "r", two, 25000),
       own + " K=\"2,5\">\n  <DocLink LinkType=\"RS\" Link=\"r\"/>\n" + block("Mode_BaseIdx", 10) +
           block("Mode_BaseNoIdx", 20) + "</Position>\n"},
      {Row(rdltSmetaBase, "b", two), own + ">\n  <DocLink LinkType=\"LB\" Link=\"b\"/>\n" +
                                         block("Mode_BaseNoIdx", 10) + block("Mode_ResCurr", 20) +
                                         "</Position>\n"},
      {Row(rdltSmetaNoIdx, "n", two), own + ">\n  <DocLink LinkType=\"SB\" Link=\"n\"/>\n" +
                                          block("Mode_BaseIdx", 10) + block("Mode_ResCurr", 20) +
                                          "</Position>\n"},
      {Row(rdltAny, "a"), own + ">\n  <DocLink LinkType=\"Any\" Link=\"a\"/>\n</Position>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.row.link.type));
    EXPECT_EQ(Fragment(Convert(WithItems(kOtherMethods, 1, CostItem(c.row))), "<Position "),
              c.written);
  }
  // Before kOtherMethods neither blocks nor the coefficient are stored.
  EXPECT_EQ(Fragment(Convert(WithItems(kOtherMethods - 1, 1,
                                       CostItem(Row(rdltSmetaRes, "r"), kOtherMethods - 1))),
                     "<Position "),
            own +
                ">\n  <DocLink LinkType=\"RS\" Link=\"r\"/>\n  <Mode_BaseIdx/>\n"
                "  <Mode_BaseNoIdx/>\n</Position>\n");
  // The row's own user data.
  Cost with_data = Row(rdltNone, "");
  with_data.user_data[9] = "девять";
  EXPECT_EQ(Fragment(Convert(WithItems(kOtherMethods, 1, CostItem(with_data))), "<UserData "),
            "<UserData Data_9=\"девять\"/>\n");
}

TEST(ObjSmetaCostRow, LinkedRowMirrorsItsOwnAmountsInTheBlockOfItsMethod) {
  struct Case {
    uint8_t type;
    int mirror, first_extra, second_extra;
  } cases[] = {{rdltSmetaRes, oszptResSmeta, oszptBaseIdx, oszptBaseNoIdx},
               {rdltSmetaBase, oszptBaseIdx, oszptBaseNoIdx, oszptResSmeta},
               {rdltSmetaNoIdx, oszptBaseNoIdx, oszptBaseIdx, oszptResSmeta}};
  const ConversionSettings settings = TestSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    const std::string packed =
        WithItems(kOtherMethods, 1, CostItem(Row(c.type, "x", {Block(10), Block(20)}, 1)));
    TConsCalc doc(settings);
    TKdFiler filer(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(), 9);
    doc.Load(filer);
    const auto& price = static_cast<const TObjSmetaZatr&>(*doc.Chapter(0).Item(0)).FPrice;
    for (int col = 0; col < kStoredColumns; ++col) {
      EXPECT_EQ(price[c.mirror * kValueColumns + col], Currency::FromUnits(col + 1));
      EXPECT_EQ(price[c.first_extra * kValueColumns + col], Currency::FromUnits(10 + col));
      EXPECT_EQ(price[c.second_extra * kValueColumns + col], Currency::FromUnits(20 + col));
    }
  }
}

TEST(ObjSmetaCostRow, CostRowsAreNumberedAcrossChaptersSkippingHeaders) {
  const DocBuilder row = CostItem(Row(rdltNone, ""));
  const DocBuilder header = HeaderItem("H");
  DocBuilder first;
  first.Append(row).Append(header).Append(row);
  const std::string packed = Body(false, kOtherMethods, 1, 3)
                                 .Chapter(3, first)
                                 .Chapter(1, header)
                                 .Chapter(1, row)
                                 .Finish();
  const ConversionSettings settings = TestSettings();
  TConsCalc doc(settings);
  TKdFiler filer(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(), 9);
  doc.Load(filer);
  const auto number = [&doc](size_t chapter, size_t item) {
    return static_cast<const TObjSmetaZatr&>(*doc.Chapter(chapter).Item(item)).FNumber;
  };
  EXPECT_EQ(number(0, 0), 1);
  EXPECT_EQ(number(0, 2), 2);
  EXPECT_EQ(number(2, 0), 3);
}

// ---- failures ----

TEST(ObjSmetaFailures, ImpossibleInputFailsWithItsText) {
  const DocBuilder settings = Document{.estimate = false, .mode = 1, .stored = 1}.Head();
  struct Case {
    const char* what;
    std::string packed;
    const char* failure;
  } cases[] = {
      {"more chapters than the mode has", Body(false, kNewest, 2, 13).Chapters(13).Finish(),
       kBadData},
      // The chapters the mode has are read first, and fail on their own.
      {"more chapters, one of the first a wrong marker",
       Body(false, kNewest, 2, 13).Chapters(3).Finish(DocBuilder().Byte(0xEE)), kBadMarker},
      {"more chapters, cut within the first",
       Body(false, kNewest, 2, 13).Chapters(11).Finish(DocBuilder()),
       "EReadError: Stream read error"},
      {"oldest layout in the nine-chapter mode, a wrong marker at place 9",
       Body(true, kChaptersOnTheirOwn - 1).Chapters(8).Finish(DocBuilder().Byte(0xEE)), kBadMarker},
      {"unknown mode", Body(false, kNewest, 4, 0).Finish(), kBadData},
      {"oldest layout in the nine-chapter mode",
       Body(true, kChaptersOnTheirOwn - 1).Chapters(15).Finish(), kBadData},
      {"unknown item type", Body(false, kNewest).Chapter(1, DocBuilder().Byte(2).Head("")).Finish(),
       kBadData},
      {"chapter marker", Pack(false, kNewest, DocBuilder(settings).Byte(0xEE).Str("").I16(0)),
       kBadMarker},
      {"old block marker",
       Pack(false, kChaptersOnTheirOwn - 1, DocBuilder().Bool(false).Head().I16(0).Byte(0xEE)),
       kBadMarker},
      {"conversion row marker",
       Body(false, kNewest, 1, 0).Finish(DocBuilder().I16(1).Byte(0xEE).Str("").I32(0)),
       kBadMarker},
      {"body signature", PackDocument(2, "KD_ObjSm", kNewest, ""),
       "Exception: Неверные или поврежденные данные"},
      {"newer version", Body(false, kNewest + 1, 1, 0).Finish(EmptyTail(false, kNewest)),
       "Exception: Данный документ записан в более новой версии программы, чем текущая.\r"
       "Загрузка невозможна"},
      {"short data", Body(false, kNewest).Chapter().Finish(DocBuilder()),
       "EReadError: Stream read error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome out = Convert(c.packed);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.failure, c.failure);
  }
}

TEST(ObjSmetaFailures, EveryPrefixOfAValidDocumentFails) {
  // Newest layout: a header and a linked row with blocks and user data;
  // conversion rows, a signature with an attribute, comment, user data, variables.
  Cost row = Row(rdltSmetaBase, "x", {Block(10), Block(20)}, 20000);
  row.user_data[9] = "девять";
  Body body(true, kNewest, 0, 2);
  body.Chapter(2, HeaderItem("Шапка").Append(CostItem(row))).Chapter();
  Document& d = body.Doc();
  d.first_conversions = {{"К", {1, 2, 3, 4, 5}}};
  d.signatures = {"S", {{"R", 1, "V", {{"N", 2, "W"}}}}};
  d.cc_chapters = {1, 2, 3};
  d.comment = "C";
  d.user_data[0] = "u";
  d.variables = {{"V", "I", "1"}};
  const std::string newest = body.Finish(3);
  // Oldest layout with amounts in thousands.
  const std::string oldest =
      WithItems(kRowOptions, 1,
                CostItem({.caption = "R", .amounts = {"1", "2", "3", "4", "5", "6"}, .id = "I"},
                         kRowOptions));
  ExpectEveryCutFails(newest);
  ExpectEveryCutFails(oldest);
}

}  // namespace
}  // namespace kdx::test

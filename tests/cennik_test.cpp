// The price list: each file version's layout, attribute order and omission,
// price rounding and formula texts, folders and groups, the nesting cap, and
// damaged input.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "shared/resource_prices.h"
#include "support/builder.h"
#include "support/model_fixtures.h"
#include "support/outcomes.h"

#if defined(__SANITIZE_ADDRESS__)
#define KDX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KDX_TEST_ASAN 1
#endif
#endif

namespace kdx::test {
namespace {

constexpr int32_t V1 = 0x00010001, V2 = 0x00010002, V3 = 0x00010003, V4 = 0x00010004,
                  V5 = 0x00010005;

// A resource record; the flags follow from the fields given, and only the
// fields the version's layout has are written.
struct Res {
  std::string name{};
  std::string code{};
  int16_t units = -1;
  std::array<std::optional<std::string>, 4> price{};  // stored amounts, e.g. "12.345"
  std::optional<int16_t> cargo{};
  std::optional<int32_t> brutto{};
  std::optional<int16_t> rasr{};
  std::optional<std::string> comment{};
  std::optional<std::string> base_note{};
  std::optional<std::string> curr_note{};
  std::array<std::optional<std::string>, 4> fx{};
  uint16_t extra_flags = 0;  // bits set without their fields
};

DocBuilder Resource(int32_t version, const Res& r) {
  const bool wide = version >= V2, texts = version >= V5;
  uint16_t flags = r.extra_flags;
  for (int n = 0; n < 4; ++n) {
    if (r.price[n]) flags |= static_cast<uint16_t>(1u << n);
    if (texts && r.fx[n]) flags |= static_cast<uint16_t>(0x400u << n);
  }
  if (r.cargo) flags |= 0x10;
  if (r.brutto) flags |= 0x20;
  if (r.rasr) flags |= 0x40;
  if (r.comment) flags |= 0x80;
  if (wide && r.base_note) flags |= 0x100;
  if (wide && r.curr_note) flags |= 0x200;

  DocBuilder b;
  b.Byte(0).Head(r.name).Str(r.code).I16(static_cast<uint16_t>(r.units));
  if (wide) b.I16(flags); else b.Byte(static_cast<uint8_t>(flags));
  for (const auto& p : r.price) {
    if (p) b.Cur(*p);
  }
  if (r.cargo) b.I16(static_cast<uint16_t>(*r.cargo));
  if (r.brutto) b.I32(*r.brutto);
  if (r.rasr) b.I16(static_cast<uint16_t>(*r.rasr));
  if (r.comment) b.Str(*r.comment);
  if (wide && r.base_note) b.Str(*r.base_note);
  if (wide && r.curr_note) b.Str(*r.curr_note);
  for (const auto& t : r.fx) {
    if (texts && t) b.Str(*t);
  }
  return b;
}

// A folder item with its items.
DocBuilder Folder(std::string_view caption, std::initializer_list<DocBuilder> items) {
  DocBuilder b;
  b.Byte(1).Head(caption).I32(static_cast<int32_t>(items.size()));
  for (const auto& i : items) b.Append(i);
  return b;
}

// The content of a root group: its count and items.
DocBuilder Group(std::initializer_list<DocBuilder> items) {
  DocBuilder b;
  b.I32(static_cast<int32_t>(items.size()));
  for (const auto& i : items) b.Append(i);
  return b;
}

struct PriceList {
  int32_t version = V5;
  std::string comment{};
  double base_date = DateValue(2000, 1, 1);
  std::string base_note{};
  double curr_date = DateValue(2023, 1, 1);
  std::string curr_note{};
  uint8_t visible = 15;
  std::vector<std::string> units{};
  std::array<std::optional<DocBuilder>, 4> groups{};
  uint8_t mask_extra = 0;
  DocBuilder signatures = DocBuilder().ListHead(soloStoreCaption, 0);
  DocBuilder variables = DocBuilder().I16(0);

  std::string Body() const {
    DocBuilder b;
    if (version >= V2) {
      b.Str(comment).Dbl(base_date).Str(base_note).Dbl(curr_date).Str(curr_note);
    }
    b.Byte(visible).I16(static_cast<uint16_t>(units.size()));
    for (const auto& u : units) b.Head(u);
    uint8_t mask = mask_extra;
    for (int i = 0; i < 4; ++i) {
      if (groups[i]) mask |= static_cast<uint8_t>(1u << i);
    }
    b.Byte(mask);
    for (const auto& g : groups) {
      if (g) b.Append(*g);
    }
    if (version >= V3) b.Append(signatures);
    if (version >= V4) b.Append(variables);
    return b.Bytes();
  }
  std::string Packed() const { return PackDocument(3, "KD_Cennk", version, Body()); }
};

// The XML below the root element of a converted price list.
std::string BodyOf(const PriceList& doc) {
  const Outcome out = Convert(doc.Packed());
  EXPECT_TRUE(out.ok) << out.failure;
  return BodyLines(out.xml);
}

// The root element's start tag.
std::string RootOf(const PriceList& doc) {
  const Outcome out = Convert(doc.Packed());
  EXPECT_TRUE(out.ok) << out.failure;
  const size_t start = out.xml.find("<Document");
  return out.xml.substr(start, out.xml.find('>', start) + 1 - start);
}

// One material resource, written as the only item of the materials group.
std::string MaterialXml(int32_t version, const Res& r, std::vector<std::string> units = {}) {
  PriceList doc{.version = version, .units = std::move(units)};
  doc.groups[2] = Group({Resource(version, r)});
  return BodyOf(doc);
}
std::string OneMaterial(const std::string& elem) {
  return "  <Materials>\n    " + elem + "\n  </Materials>\n</Document>\n";
}

TEST(CennikTest, NewestVersionWritesEveryAttributeInOrder) {
  PriceList doc{.comment = "Цены 2023",
                .base_date = DateValue(2023, 1, 1),
                .base_note = "база",
                .curr_date = DateValue(2023, 3, 1),
                .curr_note = "текущие",
                .visible = 3,
                .units = {"шт", "м3"}};
  doc.groups[0] = Group({Resource(V5, {.name = "Рабочий 3 разряда",
                                       .code = "1-100-30",
                                       .price = {"25.77"},
                                       .rasr = 300})});
  doc.groups[2] = Group(
      {Folder("Бетон", {Resource(V5, {.name = "Бетон B15",
                                      .code = "04.1.02",
                                      .units = 1,
                                      .price = {"5230.125", "4000", "600.004", "0.005"},
                                      .cargo = 150,
                                      .brutto = 2400,
                                      .comment = "ГОСТ 7473",
                                      .base_note = "ФССЦ",
                                      .curr_note = "мониторинг",
                                      .fx = {std::nullopt, "Ц*1,2", "601,5", std::nullopt}})}),
       Resource(V5, {.name = "Песок", .units = 1})});
  doc.signatures = DocBuilder().Head("Подписи").I16(1).Head("Составил").I32(300).Str("Иванов")
                       .ListHead(soloStoreCaption, 0);
  doc.variables = DocBuilder().I16(1).Head("Индекс").Str("I1").Str("1,05");

  const Outcome out = Convert(doc.Packed());
  ASSERT_TRUE(out.ok) << out.failure;
  EXPECT_EQ(out.xml,
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
            "<Document ProgramVersion=\"1.0.0.0\" Generator=\"Orvakplan\" "
            "DocumentType=\"{2B0470FD-477C-4359-9F34-EEBE36B7D348}\" Comment=\"Цены 2023\" "
            "DateBase=\"01.01.2023\" DateBaseComment=\"база\" DateCurr=\"01.03.2023\" "
            "DateCurrComment=\"текущие\">\r\n"
            "  <Workers>\r\n"
            "    <Elem Caption=\"Рабочий 3 разряда\" Code=\"1-100-30\" WorkClass=\"3\" "
            "PriceCE=\"25,77\"/>\r\n"
            "  </Workers>\r\n"
            "  <Materials>\r\n"
            "    <Folder Caption=\"Бетон\">\r\n"
            "      <Elem Caption=\"Бетон B15\" Code=\"04.1.02\" Units=\"м3\" Mass=\"2,4\" "
            "Cargo=\"1,5\" PriceCE=\"5230,13\" CTFx=\"Ц*1,2\" PriceBE=\"601,5\" PriceBT=\"0,01\" "
            "Comment=\"ГОСТ 7473\" PriceBaseComment=\"ФССЦ\" PriceCurrComment=\"мониторинг\"/>\r\n"
            "    </Folder>\r\n"
            "    <Elem Caption=\"Песок\" Units=\"м3\"/>\r\n"
            "  </Materials>\r\n"
            "  <KdDocSignatures Caption=\"Подписи\">\r\n"
            "    <Item Caption=\"Составил\" ID=\"300\" Value=\"Иванов\"/>\r\n"
            "  </KdDocSignatures>\r\n"
            "  <Variables>\r\n"
            "    <Variable Caption=\"Индекс\" Identifier=\"I1\" Value=\"1,05\"/>\r\n"
            "  </Variables>\r\n"
            "</Document>\r\n");
}

TEST(CennikTest, EachVersionReadsItsOwnLayout) {
  const Res res{.name = "Щебень",
                .price = {"10"},
                .comment = "к",
                .base_note = "б",
                .curr_note = "т",
                .fx = {"Ц"}};
  const std::string root_v1 =
      "DateBase=\"01.01.2000\" DateCurr=\"15.03.2023\">";  // defaults: 1.1.2000 and today
  const std::string root_v2 =
      "Comment=\"Прайс\" DateBase=\"01.02.2022\" DateBaseComment=\"на 2022\" "
      "DateCurr=\"15.03.2022\">";
  const std::string materials_old =
      "  <Materials>\n    <Elem Caption=\"Щебень\" PriceCE=\"10\" Comment=\"к\"/>\n  </Materials>\n";
  const std::string materials_notes =
      "  <Materials>\n    <Elem Caption=\"Щебень\" PriceCE=\"10\" Comment=\"к\" "
      "PriceBaseComment=\"б\" PriceCurrComment=\"т\"/>\n  </Materials>\n";
  const std::string materials_fx =
      "  <Materials>\n    <Elem Caption=\"Щебень\" CEFx=\"Ц\" Comment=\"к\" "
      "PriceBaseComment=\"б\" PriceCurrComment=\"т\"/>\n  </Materials>\n";
  const std::string signs =
      "  <KdDocSignatures>\n    <Item Caption=\"Составил\"/>\n  </KdDocSignatures>\n";
  const std::string vars = "  <Variables>\n    <Variable Identifier=\"X\"/>\n  </Variables>\n";
  const struct {
    int32_t version;
    std::string root_end;
    std::string body;
  } cases[] = {
      {V1, root_v1, materials_old},
      {V2, root_v2, materials_notes},
      {V3, root_v2, materials_notes + signs},
      {V4, root_v2, materials_notes + signs + vars},
      {V5, root_v2, materials_fx + signs + vars},
  };
  for (const auto& c : cases) {
    PriceList doc{.version = c.version,
                  .comment = "Прайс",
                  .base_date = DateValue(2022, 2, 1),
                  .base_note = "на 2022",
                  .curr_date = DateValue(2022, 3, 15),
                  .signatures = DocBuilder().Head("").I16(1).Head("Составил").I32(0).Str("")
                                    .ListHead(soloStoreCaption, 0),
                  .variables = DocBuilder().I16(1).Head("").Str("X").Str("")};
    doc.groups[2] = Group({Resource(c.version, res)});
    const std::string root = RootOf(doc);
    EXPECT_EQ(root.substr(root.size() - c.root_end.size()), c.root_end) << c.version;
    EXPECT_EQ(BodyOf(doc), c.body + "</Document>\n") << c.version;
  }
}

TEST(CennikTest, FlagBitsBeyondTheVersionsLayoutAreIgnored) {
  // Before version 5 the text bits read nothing; bits 14 and 15 never do.
  for (int32_t version : {V2, V3, V4, V5}) {
    const uint16_t unread = version < V5 ? 0xFC00 : 0xC000;
    EXPECT_EQ(MaterialXml(version, {.name = "a", .price = {"1"}, .extra_flags = unread}),
              OneMaterial("<Elem Caption=\"a\" PriceCE=\"1\"/>"))
        << version;
  }
}

TEST(CennikTest, ResourceWithNoFlagsWritesOnlyItsTexts) {
  EXPECT_EQ(MaterialXml(V5, {.name = "Цемент", .code = "01.01", .units = 0}, {"т"}),
            OneMaterial("<Elem Caption=\"Цемент\" Code=\"01.01\" Units=\"т\"/>"));
  EXPECT_EQ(MaterialXml(V5, {}), OneMaterial("<Elem/>"));
  // Stored zeros and empty texts are left out as well.
  EXPECT_EQ(MaterialXml(V5, {.price = {"0", "0", "0", "0"}, .cargo = 0, .brutto = 0, .rasr = 0,
                             .comment = "", .base_note = "", .curr_note = ""}),
            OneMaterial("<Elem/>"));
}

TEST(CennikTest, UnitIndexesOutsideTheListGiveNoUnits) {
  const std::vector<std::string> units = {"кг", "", "м2"};
  const struct {
    int16_t index;
    const char* elem;
  } cases[] = {
      {0, "<Elem Units=\"кг\"/>"}, {2, "<Elem Units=\"м2\"/>"}, {1, "<Elem/>"},  // empty text
      {-1, "<Elem/>"},           {3, "<Elem/>"},            {-32768, "<Elem/>"},
      {32767, "<Elem/>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaterialXml(V5, {.units = c.index}, units), OneMaterial(c.elem)) << c.index;
  }
}

TEST(CennikTest, MassCargoAndWorkClassAreScaled) {
  const struct {
    int32_t brutto;
    int16_t cargo, rasr;
    const char* elem;
  } cases[] = {
      {1500, 350, 350, "<Elem Mass=\"1,5\" Cargo=\"3,5\" WorkClass=\"3,5\"/>"},
      {1234, 1, 100, "<Elem Mass=\"1,234\" Cargo=\"0,01\" WorkClass=\"1\"/>"},
      {-1, -10, -32768, "<Elem Mass=\"-0,001\" Cargo=\"-0,1\" WorkClass=\"-327,68\"/>"},
      {INT32_MAX, 32767, 0, "<Elem Mass=\"2147483,647\" Cargo=\"327,67\"/>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaterialXml(V5, {.cargo = c.cargo, .brutto = c.brutto, .rasr = c.rasr}),
              OneMaterial(c.elem));
  }
}

TEST(CennikTest, StoredPricesRoundToHundredths) {
  const struct {
    const char* stored;
    const char* elem;
  } cases[] = {
      {"0.004", "<Elem/>"},
      {"0.005", "<Elem PriceBT=\"0,01\"/>"},
      {"12.345", "<Elem PriceBT=\"12,35\"/>"},
      {"12.3449", "<Elem PriceBT=\"12,34\"/>"},
      {"-1.005", "<Elem PriceBT=\"-1,01\"/>"},
      {"-0.0049", "<Elem/>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaterialXml(V5, {.price = {std::nullopt, std::nullopt, std::nullopt, c.stored}}),
              OneMaterial(c.elem))
        << c.stored;
  }
}

TEST(CennikTest, PriceTextsReplaceOrClearTheStoredValue) {
  const struct {
    std::optional<std::string> stored;
    std::string text;
    const char* elem;
  } cases[] = {
      {std::nullopt, "15.5", "<Elem PriceCT=\"15,5\"/>"},
      {std::nullopt, "15,5", "<Elem PriceCT=\"15,5\"/>"},
      {"3", " 7 ", "<Elem PriceCT=\"7\"/>"},  // a number replaces the value read
      {"3", "1e2", "<Elem PriceCT=\"100\"/>"},
      {std::nullopt, "1.005", "<Elem PriceCT=\"1,01\"/>"},
      {"3", "0", "<Elem/>"},
      {"3", "Ц*1,2", "<Elem CTFx=\"Ц*1,2\"/>"},  // not a number: value 0, text kept
      {std::nullopt, "  Ц  ", "<Elem CTFx=\"Ц\"/>"},
      {"3", "1,2,3", "<Elem CTFx=\"1,2,3\"/>"},
      {"3", "   ", "<Elem/>"},  // blanks remove the column
      {"3", "", "<Elem/>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaterialXml(V5, {.price = {std::nullopt, c.stored}, .fx = {std::nullopt, c.text}}),
              OneMaterial(c.elem))
        << '"' << c.text << '"';
  }
}

TEST(CennikTest, GroupsAndFolders) {
  const DocBuilder elem = Resource(V5, {.name = "r"});
  PriceList doc{.visible = 0, .mask_extra = 0xF0};  // visibility and bits 4-7 change nothing
  doc.groups[0] = Group({elem});
  doc.groups[1] = Group({});  // present but empty: no element
  doc.groups[3] = Group({Folder("Пустая", {}), Folder("Краны", {Folder("Башенные", {elem}), elem})});
  EXPECT_EQ(BodyOf(doc),
            "  <Workers>\n    <Elem Caption=\"r\"/>\n  </Workers>\n"
            "  <Machines>\n"
            "    <Folder/>\n"
            "    <Folder Caption=\"Краны\">\n"
            "      <Folder Caption=\"Башенные\">\n        <Elem Caption=\"r\"/>\n      </Folder>\n"
            "      <Elem Caption=\"r\"/>\n"
            "    </Folder>\n"
            "  </Machines>\n</Document>\n");

  PriceList mechanics;
  mechanics.groups[1] = Group({elem});
  EXPECT_EQ(BodyOf(mechanics), "  <Mechanics>\n    <Elem Caption=\"r\"/>\n  </Mechanics>\n</Document>\n");
}

TEST(CennikTest, BadRecordsFail) {
  const struct {
    const char* what;
    DocBuilder group;
    std::string failure;
  } cases[] = {
      {"item type 2", Group({DocBuilder().Byte(2).Head("x").I32(0)}),
       "EOrvakFilerError: Неверный формат данных в потоке"},
      {"resource marker", Group({DocBuilder().Byte(0).Byte(0xEE).Str("x")}),
       "EOrvakFilerInvalidSignature: Неверный формат данных в потоке"},
      {"folder marker", Group({DocBuilder().Byte(1).Byte(0x00).Str("x").I32(0)}),
       "EOrvakFilerInvalidSignature: Неверный формат данных в потоке"},
      {"group count", DocBuilder().I32(-5), "EListError: List capacity out of bounds (-5)"},
      {"folder count", Group({DocBuilder().Byte(1).Head("x").I32(0x7FFFFFFF)}),
       "EListError: List capacity out of bounds (2147483647)"},
  };
  for (const auto& c : cases) {
    PriceList doc;
    doc.groups[2] = c.group;
    EXPECT_EQ(Convert(doc.Packed()).failure, c.failure) << c.what;
  }
}

// ---- the nesting cap ----

// A price list whose materials hold a chain of folders; with the root group
// that makes levels + 1 nested lists. The innermost folder holds one resource.
std::string NestedFolders(int levels) {
  const std::string open = DocBuilder().Byte(1).Head("F").I32(1).Bytes();
  std::string group = DocBuilder().I32(1).Bytes();
  for (int i = 0; i < levels; ++i) group += open;
  group += Resource(V5, {.name = "deep"}).Bytes();
  PriceList doc;
  doc.groups[2] = DocBuilder().Raw(group);
  return doc.Packed();
}

void CheckDeepest(const Outcome& out) {
  ASSERT_TRUE(out.ok) << out.failure;
  const std::string indent(2 * (kMaxRowNesting + 1), ' ');
  EXPECT_NE(out.xml.find("\r\n" + indent + "<Elem Caption=\"deep\"/>\r\n"), std::string::npos);
  size_t folders = 0;
  for (size_t p = 0; (p = out.xml.find("<Folder Caption=\"F\">", p)) != std::string::npos; ++p) {
    ++folders;
  }
  EXPECT_EQ(folders, static_cast<size_t>(kMaxRowNesting - 1));
}

TEST(CennikTest, ListsNestUpToTheCap) {
  ASSERT_EQ(kMaxRowNesting, 256);
  CheckDeepest(Convert(NestedFolders(kMaxRowNesting - 1)));
  EXPECT_EQ(Convert(NestedFolders(kMaxRowNesting)).failure,
            "EOrvakFilerError: Неверный формат данных в потоке");
  EXPECT_EQ(Convert(NestedFolders(100000)).failure,
            "EOrvakFilerError: Неверный формат данных в потоке");
}

TEST(CennikTest, DeepestDocumentConvertsOnAOneMebibyteStack) {
#if defined(KDX_TEST_ASAN)
  GTEST_SKIP() << "sanitizer frames are much larger than release frames";
#else
  struct Job {
    std::string packed = NestedFolders(kMaxRowNesting - 1);
    Outcome out;
  } job;
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 1 << 20), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* arg) -> void* {
                  auto* j = static_cast<Job*>(arg);
                  j->out = Convert(j->packed);  // reading, XML, destruction
                  return nullptr;
                },
                &job),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  CheckDeepest(job.out);
#endif
}

// ---- damaged input ----

// A price list that uses every part of the layout.
std::string RichPriceList() {
  PriceList doc{.comment = "к", .base_note = "б", .curr_note = "т", .units = {"шт", "м"}};
  const DocBuilder full = Resource(V5, {.name = "ресурс",
                                        .code = "1",
                                        .units = 1,
                                        .price = {"1.5", "2", "3", "4"},
                                        .cargo = 1,
                                        .brutto = 2,
                                        .rasr = 3,
                                        .comment = "с",
                                        .base_note = "о1",
                                        .curr_note = "о2",
                                        .fx = {"Ц", "5", "x", "7"}});
  doc.groups[0] = Group({full});
  doc.groups[3] = Group({Folder("п", {full, Folder("", {})}), full});
  doc.signatures = DocBuilder().Head("Подписи").I16(1).Head("Составил").I32(300).Str("И")
                       .Head("А").I16(1).Head("Должность").I32(1).Str("инженер");
  doc.variables = DocBuilder().I16(1).Head("в").Str("V").Str("1");
  return doc.Packed();
}

TEST(CennikTest, EveryTruncationFailsCleanly) {
  const std::string packed = RichPriceList();
  ASSERT_TRUE(Convert(packed).ok);
  for (size_t cut = 0; cut < packed.size(); ++cut) {
    const Outcome out = Convert(packed.substr(0, cut));
    EXPECT_FALSE(out.ok) << cut;
    if (cut < 4) {
      EXPECT_EQ(out.failure.rfind("EConvertException: Неверная сигнатура заголовка данных: ", 0),
                0u)
          << cut;
    } else if (cut == 4) {
      EXPECT_EQ(out.failure,
                "EKDInvalidDoc: Файл (блок данных) не является документом программы Орвакплан");
    } else {
      EXPECT_EQ(out.failure, "EReadError: Stream read error") << cut;
    }
  }
}

TEST(CennikTest, EveryChangedByteConvertsOrFailsWithAFailure) {
  const std::string packed = RichPriceList();
  for (size_t at = 0; at < packed.size(); ++at) {
    for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xEF, 0xFF}) {
      std::string damaged = packed;
      damaged[at] = static_cast<char>(value);
      const Outcome out = Convert(damaged);  // anything but a failure of this library escapes
      EXPECT_TRUE(out.ok || !out.failure.empty()) << at;
    }
  }
}

#if !defined(KDX_TEST_ASAN)
// Limits the process to 1 GiB of address space, converts, and exits with 0
// when the conversion failed as expected.
[[noreturn]] void ConvertWithinOneGibibyteAndExit(const std::string& packed,
                                                  const std::string& failure) {
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = rlim_t{1} << 30;
  setrlimit(RLIMIT_AS, &limit);
  std::_Exit(Convert(packed).failure == failure ? 0 : 1);
}
#endif

TEST(CennikTest, FalseCountsInNestedFoldersClaimNoMemory) {
#if defined(KDX_TEST_ASAN)
  GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#else
  // Every folder of the chain claims the largest count; a few megabytes follow
  // (a resource record cut short), so each level sees those bytes left.
  std::string group = DocBuilder().I32(134217727).Bytes();
  for (int i = 1; i < kMaxRowNesting; ++i) {
    group += DocBuilder().Byte(1).Head("F").I32(134217727).Bytes();
  }
  group += DocBuilder().Byte(0).Head().Byte(8).I32(4 << 20).Bytes() + std::string(4 << 20, 'x');
  PriceList doc{.version = V2};  // nothing follows the groups
  doc.groups[2] = DocBuilder().Raw(group);
  const std::string packed = doc.Packed();
  // Converted in a child process limited to 1 GiB of address space.
  EXPECT_EXIT(ConvertWithinOneGibibyteAndExit(packed, "EReadError: Stream read error"),
              ::testing::ExitedWithCode(0), "");
#endif
}

// ---- the price container ----

// A container that keeps the base-price columns only.
class BasePrices : public TKdCustomResourcePrices {
 public:
  using TKdCustomResourcePrices::TKdCustomResourcePrices;
  bool IsPriceColumnUsed(int column) const override { return column >= 2; }
};

std::string PriceXml(TKdCustomResourcePrices& prices) {
  return BodyLines(SavedXml("R", [&](XmlElement& r) { prices.XMLSaveToChild(r); }));
}

TEST(ResourcePricesTest, RecordStoresValuesUnroundedAndTextsWithoutValue) {
  const DocBuilder record = DocBuilder()
                                .Head()
                                .Byte(0x01 | 0x02 | 0x04 | 0x10 | 0x80)
                                .Cur("12.3456").Cur("0.0049").Cur("-1")
                                .Str("Ц1").Str("x");
  TKdResourcePrices all(nullptr);
  BasePrices base(nullptr);
  for (TKdCustomResourcePrices* p : {static_cast<TKdCustomResourcePrices*>(&all),
                                     static_cast<TKdCustomResourcePrices*>(&base)}) {
    ReadRow(*p, record);
  }
  EXPECT_EQ(all.GetPriceFx(0), Cp("Ц1"));
  EXPECT_EQ(all.GetPriceValue(0), Currency{});
  EXPECT_EQ(all.GetPriceFx(3), "x");
  EXPECT_EQ(PriceXml(all), "  <Price CT=\"0,0049\" BE=\"-1\"/>\n</R>\n");
  EXPECT_EQ(base.GetPriceValue(1), Currency{});  // unused columns ignore every setting
  EXPECT_EQ(base.GetPriceFx(0), "");
  EXPECT_EQ(PriceXml(base), "  <Price BE=\"-1\"/>\n</R>\n");

  TKdResourcePrices none(nullptr);
  EXPECT_EQ(PriceXml(none), "  <Price/>\n</R>\n");
}

TEST(ResourcePricesTest, SettingRules) {
  TKdResourcePrices p(nullptr);
  p.StorePrice(1, "x", Curr("5"));
  p.SetPriceFx(1, "x");  // the same text again changes nothing
  EXPECT_EQ(p.GetPriceValue(1), Curr("5"));
  p.SetPriceFx(1, " y ");
  EXPECT_EQ(p.GetPriceValue(1), Currency{});
  EXPECT_EQ(p.GetPriceFx(1), "y");
  p.SetPriceFx(1, "2,345");
  EXPECT_EQ(p.GetPriceValue(1), Curr("2.35"));
  EXPECT_EQ(p.GetPriceFx(1), "");
  p.SetPriceValue(1, Curr("-0.004"));
  EXPECT_EQ(p.GetPriceValue(1), Currency{});
  p.StorePrice(2, "", Curr("0.001"));  // no rounding here
  EXPECT_EQ(p.GetPriceValue(2), Curr("0.001"));
  p.StorePrice(2, "", Currency{});
  EXPECT_EQ(PriceXml(p), "  <Price/>\n</R>\n");
}

}  // namespace
}  // namespace kdx::test

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
#include "support/cennik_builder.h"
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

using namespace cennik;

// The XML below the root element of a converted price list.
std::string BodyOf(const PriceList& doc) {
  const Outcome out = Convert(doc.Packed());
  EXPECT_TRUE(out.ok) << out.failure;
  return BodyLines(out.xml);
}

// One material resource, written as the only item of the materials group.
std::string MaterialXml(int32_t version, const Resource& r, std::vector<std::string> units = {}) {
  PriceList doc{.version = version, .units = std::move(units)};
  doc.groups[kMaterials] = Group({ResourceItem(version, r)});
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
  doc.groups[kWorkers] = Group({ResourceItem(
      kNewest,
      {.name = "Рабочий 3 разряда", .code = "1-100-30", .price = {"25.77"}, .rasr = 300})});
  doc.groups[kMaterials] = Group(
      {FolderItem("Бетон",
                  {ResourceItem(kNewest, {.name = "Бетон B15",
                                          .code = "04.1.02",
                                          .units = 1,
                                          .price = {"5230.125", "4000", "600.004", "0.005"},
                                          .cargo = 150,
                                          .brutto = 2400,
                                          .comment = "ГОСТ 7473",
                                          .base_note = "ФССЦ",
                                          .curr_note = "мониторинг",
                                          .fx = {std::nullopt, "Ц*1,2", "601,5", std::nullopt}})}),
       ResourceItem(kNewest, {.name = "Песок", .units = 1})});
  doc.signatures = {"Подписи", {{"Составил", 300, "Иванов"}}};
  doc.variables = {{"Индекс", "I1", "1,05"}};

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
  const Resource res{.name = "Щебень",
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
      "  <Materials>\n    <Elem Caption=\"Щебень\" PriceCE=\"10\" Comment=\"к\"/>\n  "
      "</Materials>\n";
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
      {kOldest, root_v1, materials_old},
      {kDatesAndNotes, root_v2, materials_notes},
      {kSignatures, root_v2, materials_notes + signs},
      {kVariables, root_v2, materials_notes + signs + vars},
      {kPriceTexts, root_v2, materials_fx + signs + vars},
  };
  for (const auto& c : cases) {
    PriceList doc{.version = c.version,
                  .comment = "Прайс",
                  .base_date = DateValue(2022, 2, 1),
                  .base_note = "на 2022",
                  .curr_date = DateValue(2022, 3, 15),
                  .signatures = {"", {{"Составил", 0, ""}}},
                  .variables = {{"", "X", ""}}};
    doc.groups[kMaterials] = Group({ResourceItem(c.version, res)});
    const Outcome out = Convert(doc.Packed());
    ASSERT_TRUE(out.ok) << out.failure;
    const std::string root = RootLine(out.xml);
    EXPECT_EQ(root.substr(root.size() - c.root_end.size()), c.root_end) << c.version;
    EXPECT_EQ(BodyLines(out.xml), c.body + "</Document>\n") << c.version;
  }
}

TEST(CennikTest, FlagBitsBeyondTheVersionsLayoutAreIgnored) {
  // Before kPriceTexts the text bits read nothing; bits 14 and 15 never do.
  for (int32_t version : {kDatesAndNotes, kSignatures, kVariables, kPriceTexts}) {
    const uint16_t unread = version < kPriceTexts ? 0xFC00 : 0xC000;
    EXPECT_EQ(MaterialXml(version, {.name = "a", .price = {"1"}, .extra_flags = unread}),
              OneMaterial("<Elem Caption=\"a\" PriceCE=\"1\"/>"))
        << version;
  }
}

TEST(CennikTest, ResourceWithNoFlagsWritesOnlyItsTexts) {
  EXPECT_EQ(MaterialXml(kNewest, {.name = "Цемент", .code = "01.01", .units = 0}, {"т"}),
            OneMaterial("<Elem Caption=\"Цемент\" Code=\"01.01\" Units=\"т\"/>"));
  EXPECT_EQ(MaterialXml(kNewest, {}), OneMaterial("<Elem/>"));
  // Stored zeros and empty texts are left out as well.
  EXPECT_EQ(MaterialXml(kNewest, {.price = {"0", "0", "0", "0"},
                                  .cargo = 0,
                                  .brutto = 0,
                                  .rasr = 0,
                                  .comment = "",
                                  .base_note = "",
                                  .curr_note = ""}),
            OneMaterial("<Elem/>"));
}

TEST(CennikTest, UnitIndexesOutsideTheListGiveNoUnits) {
  const std::vector<std::string> units = {"кг", "", "м2"};
  const struct {
    int16_t index;
    const char* elem;
  } cases[] = {
      {0, "<Elem Units=\"кг\"/>"},
      {2, "<Elem Units=\"м2\"/>"},
      {1, "<Elem/>"},  // empty text
      {-1, "<Elem/>"},
      {3, "<Elem/>"},
      {-32768, "<Elem/>"},
      {32767, "<Elem/>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaterialXml(kNewest, {.units = c.index}, units), OneMaterial(c.elem)) << c.index;
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
    EXPECT_EQ(MaterialXml(kNewest, {.cargo = c.cargo, .brutto = c.brutto, .rasr = c.rasr}),
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
    EXPECT_EQ(MaterialXml(kNewest, {.price = {std::nullopt, std::nullopt, std::nullopt, c.stored}}),
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
    EXPECT_EQ(
        MaterialXml(kNewest, {.price = {std::nullopt, c.stored}, .fx = {std::nullopt, c.text}}),
        OneMaterial(c.elem))
        << '"' << c.text << '"';
  }
}

// A resource keeps its eight texts together: each must come back under its own
// attribute whichever others are empty, short or long.
TEST(CennikTest, EachTextComesBackUnderItsOwnAttribute) {
  const std::string long_text(300, 'x'), other_long(130, 'y');
  const struct {
    Resource r;
    std::string elem;
  } cases[] = {
      {{.code = "401-1", .comment = "к"}, "<Elem Code=\"401-1\" Comment=\"к\"/>"},
      {{.curr_note = "тек", .fx = {std::nullopt, std::nullopt, std::nullopt, "Ц"}},
       "<Elem BTFx=\"Ц\" PriceCurrComment=\"тек\"/>"},
      {{.code = long_text,
        .comment = "",
        .base_note = other_long,
        .curr_note = "c",
        .fx = {"A", std::nullopt, other_long, "B"}},
       "<Elem Code=\"" + long_text + "\" CEFx=\"A\" BEFx=\"" + other_long +
           "\" BTFx=\"B\" PriceBaseComment=\"" + other_long + "\" PriceCurrComment=\"c\"/>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaterialXml(kNewest, c.r), OneMaterial(c.elem)) << c.elem;
  }
}

TEST(CennikTest, GroupsAndFolders) {
  const DocBuilder elem = ResourceItem(kNewest, {.name = "r"});
  PriceList doc{.visible = 0, .mask_extra = 0xF0};  // visibility and bits 4-7 change nothing
  doc.groups[kWorkers] = Group({elem});
  doc.groups[kMechanics] = Group({});  // present but empty: no element
  doc.groups[kMachines] = Group(
      {FolderItem("Пустая", {}), FolderItem("Краны", {FolderItem("Башенные", {elem}), elem})});
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
  mechanics.groups[kMechanics] = Group({elem});
  EXPECT_EQ(BodyOf(mechanics),
            "  <Mechanics>\n    <Elem Caption=\"r\"/>\n  </Mechanics>\n</Document>\n");
}

TEST(CennikTest, BadRecordsFail) {
  const struct {
    const char* what;
    DocBuilder group;
    std::string failure;
  } cases[] = {
      {"item type 2", Group({DocBuilder().Byte(2).Head("x").I32(0)}),
       "EOrvakFilerError: Неверный формат данных в потоке"},
      {"resource marker", Group({DocBuilder().Byte(kResourceItem).Byte(0xEE).Str("x")}),
       "EOrvakFilerInvalidSignature: Неверный формат данных в потоке"},
      {"folder marker", Group({DocBuilder().Byte(kFolderItem).Byte(0x00).Str("x").I32(0)}),
       "EOrvakFilerInvalidSignature: Неверный формат данных в потоке"},
      {"group count", DocBuilder().I32(-5), "EListError: List capacity out of bounds (-5)"},
      {"folder count", Group({DocBuilder().Byte(kFolderItem).Head("x").I32(0x7FFFFFFF)}),
       "EListError: List capacity out of bounds (2147483647)"},
  };
  for (const auto& c : cases) {
    PriceList doc;
    doc.groups[kMaterials] = c.group;
    EXPECT_EQ(Convert(doc.Packed()).failure, c.failure) << c.what;
  }
}

// ---- the nesting cap ----

// A price list whose materials hold a chain of folders; with the root group
// that makes levels + 1 nested lists. The innermost folder holds one resource.
std::string NestedFolders(int levels) {
  const std::string open = DocBuilder().Byte(kFolderItem).Head("F").I32(1).Bytes();
  std::string group = DocBuilder().I32(1).Bytes();
  for (int i = 0; i < levels; ++i) group += open;
  group += ResourceItem(kNewest, {.name = "deep"}).Bytes();
  PriceList doc;
  doc.groups[kMaterials] = DocBuilder().Raw(group);
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
  const DocBuilder full = ResourceItem(kNewest, {.name = "ресурс",
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
  doc.groups[kWorkers] = Group({full});
  doc.groups[kMachines] = Group({FolderItem("п", {full, FolderItem("", {})}), full});
  doc.signatures = {"Подписи", {{"Составил", 300, "И", {{"Должность", 1, "инженер"}}}}};
  doc.variables = {{"в", "V", "1"}};
  return doc.Packed();
}

TEST(CennikTest, EveryTruncationFailsCleanly) { ExpectEveryCutFails(RichPriceList()); }

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
    group += DocBuilder().Byte(kFolderItem).Head("F").I32(134217727).Bytes();
  }
  group += DocBuilder().Byte(kResourceItem).Head().Byte(8).I32(4 << 20).Bytes() +
           std::string(4 << 20, 'x');
  PriceList doc{.version = kDatesAndNotes};  // nothing follows the groups
  doc.groups[kMaterials] = DocBuilder().Raw(group);
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
  return BodyLines(SavedXml("R", [&](XmlElement r) { prices.XMLSaveToChild(r); }));
}

TEST(ResourcePricesTest, RecordStoresValuesUnroundedAndTextsWithoutValue) {
  DocBuilder record;
  WritePrices(record, {"12.3456", "0.0049", "-1"}, {"Ц1", std::nullopt, std::nullopt, "x"});
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
  // A formula's text: a number gives its value (not yet rounded), any other
  // text itself, trimmed, with the value 0.
  EXPECT_EQ(PriceFxField(" y ", ',').text, "y");
  EXPECT_EQ(PriceFxField(" y ", ',').value, Currency{});
  EXPECT_EQ(PriceFxField("2,345", ',').value, Curr("2.345"));
  EXPECT_EQ(PriceFxField("2,345", ',').text, "");
  EXPECT_EQ(PriceFxField(" ", ',').text, "");
  p.StorePrice(1, "x", Curr("5"));
  p.SetPriceValue(1, Curr("2.345"));  // rounded to hundredths, the text cleared
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

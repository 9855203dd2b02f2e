// Rows and row lists (every list option and their combinations), shared rows,
// the common row kinds, signatures in the current and the old estimate
// layouts, and the document base with the header checks of the driver.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "filer/codepage.h"
#include "model/common_rows.h"
#include "model/document.h"
#include "model/row.h"
#include "model/row_cast.h"
#include "model/signatures.h"
#include "smeta/old_signatures.h"
#include "support/builder.h"
#include "support/common_builder.h"
#include "support/outcomes.h"

namespace kdx::test {
namespace {

// ---- test row classes ----

// A row with a stored caption and one 32-bit value; the value -1 marks an
// item its list does not store.
class ValueRow : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  const char* XMLTag() const override { return "Row"; }
  void ReadData(TKdFiler& filer) override {
    ReadRowHead(filer);
    value = filer.ReadInt32();
  }
  void XMLSave(XmlElement element) override {
    if (!XMLSaveRow(element)) return;
    WriteAttrInt(element, "V", value, 0);
  }
  int32_t value = 0;
};

// A row without a caption: its record is the marker alone.
class BareRow : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "Bare"; }
};

class TestChapter : public TCustomSmetaChapter {
 public:
  using TCustomSmetaChapter::TCustomSmetaChapter;
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override {
    if (type == 0) return std::make_unique<TSmetaHeader>(this);
    return nullptr;
  }
};

// Item types: 0 ValueRow, 1 BareRow, 2 TestChapter; others are unknown.
class TestList : public TKDXAbstractObjectList {
 public:
  explicit TestList(uint8_t options) : TKDXAbstractObjectList(nullptr, options) {}
  const char* XMLTag() const override { return "List"; }
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override {
    switch (type) {
      case 0:
        return std::make_unique<ValueRow>(this);
      case 1:
        return std::make_unique<BareRow>(this);
      case 2:
        return std::make_unique<TestChapter>(this);
      default:
        return nullptr;
    }
  }
  int ItemType(const TKDXAbstractRow& row) const override {
    if (auto* v = dynamic_cast<const ValueRow*>(&row); v && v->value == -1) return -1;
    return 0;
  }
  size_t Capacity() const { return FItems.capacity(); }
};

// ---- helpers ----

// Loads the row from the bytes; returns the number of bytes read.
size_t LoadFrom(TKDXAbstractRow& row, const DocBuilder& b) {
  TKdFiler filer(reinterpret_cast<const uint8_t*>(b.Bytes().data()), b.Size());
  row.Load(filer);
  return filer.Position();
}

std::string ChildXml(TKDXAbstractRow& row) {
  return ElementXml("R", [&](XmlElement r) { row.XMLSaveToChild(r); });
}

// ---- lists ----

TEST(RowListTest, EveryCombinationOfOptionsReadsAndWritesItsLayout) {
  for (uint8_t options = 0; options < 64; ++options) {
    const bool multi = options & soloMultiClass;
    DocBuilder b;
    b.ListHead(options, 3, "Список");
    if (multi) b.Byte(0);
    b.Head("первый").I32(5);
    if (multi)
      b.Byte(1).Head();
    else
      b.Head("").I32(0);
    if (multi) b.Byte(0);
    b.Head("третий").I32(-7);
    b.Byte(0x5A);  // not part of the list

    TestList list(options);
    ASSERT_EQ(LoadFrom(list, b), b.Size() - 1) << int(options);
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(Cp1251ToUtf8(list.GetCaption()), (options & soloStoreCaption) ? "Список" : "");
    EXPECT_EQ(dynamic_cast<BareRow*>(list.Item(1)) != nullptr, multi);
    EXPECT_EQ(static_cast<ValueRow*>(list.Item(2))->value, -7);

    const bool caption = (options & soloStoreCaption) && (options & soloXMLStoreCaption);
    const std::string second = multi ? "  <Bare/>\n" : "  <Row/>\n";
    EXPECT_EQ(ChildXml(list), std::string("<R>\n  <List") + (caption ? " Caption=\"Список\"" : "") +
                                  ">\n    <Row Caption=\"первый\" V=\"5\"/>\n  " + second +
                                  "    <Row Caption=\"третий\" V=\"-7\"/>\n  </List>\n</R>\n")
        << int(options);
  }
}

TEST(RowListTest, CountWidthFollowsTheOptions) {
  const struct {
    uint8_t options;
    DocBuilder head;
    size_t items;
  } cases[] = {
      {soloCnt08, DocBuilder().Byte(2), 2},
      {soloCnt08 | soloCnt32, DocBuilder().I32(2), 2},  // 32 bits win
      {soloCnt32, DocBuilder().I32(2), 2},
      {0, DocBuilder().I16(2), 2},
      {0, DocBuilder().I16(0x0102), 258},  // more than one byte holds
  };
  for (const auto& c : cases) {
    DocBuilder b = c.head;
    for (size_t i = 0; i < c.items; ++i) b.Head("x").I32(static_cast<int32_t>(i));
    TestList list(c.options);
    EXPECT_EQ(LoadFrom(list, b), b.Size());
    EXPECT_EQ(list.Count(), c.items);
  }
}

TEST(RowListTest, EmptyListReadsOnlyItsCountAndWritesNoElement) {
  TestList list(soloCnt08 | soloStoreCaption | soloXMLStoreCaption);
  EXPECT_EQ(LoadFrom(list, DocBuilder().ListHead(list.ListOptions(), 0, "Пусто").Byte(1)), 9u);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(ChildXml(list), "<R/>\n");
}

TEST(RowListTest, ImpossibleCountsAndRecordsFail) {
  const struct {
    const char* what;
    uint8_t options;
    DocBuilder bytes;
    std::string failure;
  } cases[] = {
      {"count -1", soloCnt32, DocBuilder().I32(-1), "EListError: List capacity out of bounds (-1)"},
      {"count 2^27", soloCnt32, DocBuilder().I32(134217728),
       "EListError: List capacity out of bounds (134217728)"},
      {"count -2^31", soloCnt32, DocBuilder().I32(INT32_MIN),
       "EListError: List capacity out of bounds (-2147483648)"},
      // Counts of 8 and 16 bits are unsigned: FF is 255 items, not -1.
      {"8-bit FF", soloCnt08, DocBuilder().Byte(0xFF), kReadError},
      {"16-bit FFFF", 0, DocBuilder().I16(0xFFFF).Head("a").I32(1), kReadError},
      {"largest count, few bytes", soloCnt32, DocBuilder().I32(134217727).Head("a").I32(1),
       kReadError},
      {"unknown item type", soloMultiClass, DocBuilder().I16(1).Byte(9).Head("a").I32(1), kBadData},
      {"list marker", soloStoreCaption, DocBuilder().Byte(0xEE).Str("").I16(0), kBadMarker},
      {"item marker", 0, DocBuilder().I16(1).Byte(0x00).Str("a").I32(1), kBadMarker},
      {"list caption tag", soloStoreCaption, DocBuilder().Byte(0xEF).Byte(0x05).Byte(0), kBadData},
  };
  for (const auto& c : cases) {
    TestList list(c.options);
    EXPECT_EQ(FailureOf([&] { LoadFrom(list, c.bytes); }), c.failure) << c.what;
  }
}

TEST(RowListTest, RoomReservedNeverExceedsTheBytesLeft) {
  TestList list(soloCnt32);
  const DocBuilder b = DocBuilder().I32(134217727).Head("a").I32(1).Head().Byte(6);
  EXPECT_EQ(FailureOf([&] { LoadFrom(list, b); }), kReadError);
  EXPECT_EQ(list.Count(), 2u);  // the second item was begun when the data ran out
  EXPECT_LE(list.Capacity(), b.Size() - 4);
}

TEST(RowListTest, ItemsLeftOutOfStorageAreSkippedInXml) {
  TestList list(0);
  LoadFrom(list, DocBuilder().I16(3).Head("a").I32(1).Head("b").I32(-1).Head("c").I32(3));
  EXPECT_EQ(ChildXml(list),
            "<R>\n  <List>\n    <Row Caption=\"a\" V=\"1\"/>\n    <Row Caption=\"c\" V=\"3\"/>\n"
            "  </List>\n</R>\n");
}

// A list that takes at most two items.
class TwoItemList : public TestList {
 public:
  TwoItemList() : TestList(0) {}
  bool CanInsertRow(const TKDXAbstractRow& /*row*/) const override { return Count() < 2; }
};

TEST(RowListTest, RefusedItemsAreReadButNotKept) {
  TwoItemList list;
  // Each refused item is still read into the row Add returned (under the
  // sanitizers a freed row would be reported here), so the bytes after them
  // are read in their place.
  const DocBuilder b =
      DocBuilder().I16(4).Head("a").I32(1).Head("b").I32(2).Head("c").I32(3).Head("d").I32(4);
  EXPECT_EQ(LoadFrom(list, b), b.Size());
  EXPECT_EQ(ChildXml(list),
            "<R>\n  <List>\n    <Row Caption=\"a\" V=\"1\"/>\n    <Row Caption=\"b\" V=\"2\"/>\n"
            "  </List>\n</R>\n");
  // Reading again starts from an empty list.
  EXPECT_EQ(LoadFrom(list, b), b.Size());
  EXPECT_EQ(list.Count(), 2u);
}

TEST(RowListTest, EmptyChapterGetsAnEmptyElementOnlyAsAListItem) {
  TestList list(soloMultiClass);
  LoadFrom(list, DocBuilder()
                     .I16(2)
                     .Byte(2)
                     .ListHead(soloMultiClass | soloStoreCaption, 0, "Пустой")
                     .Byte(2)
                     .ListHead(soloMultiClass | soloStoreCaption, 1, "Раздел")
                     .Byte(0)
                     .Head("Заголовок"));
  EXPECT_EQ(ChildXml(list),
            "<R>\n  <List>\n    <Chapter/>\n    <Chapter Caption=\"Раздел\">\n"
            "      <Header Caption=\"Заголовок\"/>\n    </Chapter>\n  </List>\n</R>\n");
  EXPECT_EQ(ChildXml(*list.Item(0)), "<R/>\n");
}

TEST(RowTest, HeadReadsCaptionOnlyWhenStoredAndXmlChecksTheTag) {
  ValueRow row(nullptr);
  EXPECT_EQ(LoadFrom(row, DocBuilder().Head("").I32(0)), 7u);
  EXPECT_EQ(ChildXml(row), "<R>\n  <Row/>\n</R>\n");  // empty caption: no attribute
  BareRow bare(nullptr);
  EXPECT_EQ(LoadFrom(bare, DocBuilder().Head().Str("not read")), 1u);
  EXPECT_EQ(FailureOf([&] { ElementXml("R", [&](XmlElement r) { row.XMLSave(r); }); }),
            "ESmetaXMLError: Неверный XML тэг, ожидается \"Row\", фактически \"R\"");
  // A row read on its own, without a document's header: the newest version.
  EXPECT_EQ(TKdFiler(nullptr, 0, 0).FileVersion(), 0x0FFFFFFF);
}

// ---- casts remembered per class ----

struct IMarked {
  virtual ~IMarked() = default;
  virtual int Mark() const = 0;
};
// The interface is the first base, so it lies apart from the row part.
template <int N>
class MarkedRow : public IMarked, public TKDXAbstractRow {
 public:
  MarkedRow() : TKDXAbstractRow(nullptr) {}
  int Mark() const override { return N; }
};
template <int N>
class PlainRow : public TKDXAbstractRow {
 public:
  PlainRow() : TKDXAbstractRow(nullptr) {}
};

// Rows of 2 * sizeof...(N) classes: the marked ones, then the plain ones.
template <int... N>
std::vector<std::unique_ptr<TKDXAbstractRow>> RowsOfManyClasses(std::integer_sequence<int, N...>) {
  std::vector<std::unique_ptr<TKDXAbstractRow>> rows;
  (rows.push_back(std::make_unique<MarkedRow<N>>()), ...);
  (rows.push_back(std::make_unique<PlainRow<N>>()), ...);
  return rows;
}

TEST(RowCastTest, PastTheRememberedClassesAndThroughASecondaryBase) {
  constexpr int kClasses = 20;
  static_assert(2 * kClasses > row_cast::kSlots);
  const auto rows = RowsOfManyClasses(std::make_integer_sequence<int, kClasses>());
  for (int round = 0; round < 2; ++round) {  // the first claims the slots, the second uses them
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(i);
      TKDXAbstractRow* row = rows[i].get();
      IMarked* marked = RowCast<IMarked>(row);
      ASSERT_EQ(marked, dynamic_cast<IMarked*>(row));
      EXPECT_EQ(RowCast<IMarked>(static_cast<const TKDXAbstractRow*>(row)), marked);
      if (i < kClasses) {
        ASSERT_NE(marked, nullptr);
        EXPECT_NE(static_cast<void*>(marked), static_cast<void*>(row));
        EXPECT_EQ(marked->Mark(), static_cast<int>(i));
      }
      EXPECT_EQ(RowCast<MarkedRow<3>>(row), i == 3 ? rows[3].get() : nullptr);
    }
  }
  EXPECT_EQ(RowCast<IMarked>(static_cast<TKDXAbstractRow*>(nullptr)), nullptr);
}

TEST(SharedStringsTest, EntriesByStoredIndex) {
  TKdSharedStrings units(nullptr);
  LoadFrom(units, DocBuilder().I16(2).Head("кг").Head("м"));
  ASSERT_EQ(units.Count(), 2u);
  EXPECT_EQ(units.Entry(-1), nullptr);
  EXPECT_EQ(units.Entry(2), nullptr);
  ASSERT_NE(units.Entry(1), nullptr);
  EXPECT_EQ(Cp1251ToUtf8(units.Entry(1)->GetCaption()), "м");
}

// ---- common row kinds ----

TEST(CommonRowsTest, DocumentLinks) {
  const struct {
    const char* what;
    uint8_t options;
    DocLink link;
    const char* xml;
  } cases[] = {
      {"no link", 0, {}, "<DocLink/>"},
      {"type without text", 0, {rdltSmetaRes, "", rdltgFile, true}, "<DocLink/>"},
      {"object estimate", 0, {rdltObjSmeta, "A&B"}, "<DocLink LinkType=\"OS\" Link=\"A&amp;B\"/>"},
      {"any, file, invalid",
       0,
       {rdltAny, "смета.kdx", rdltgFile, true},
       "<DocLink LinkType=\"Any\" Link=\"смета.kdx\" LinkTarget=\"File\" LinkState=\"Invalid\"/>"},
      {"type does not matter",
       rdloTypeDontCare,
       {rdltAny, "x", rdltgFile, true},
       "<DocLink Link=\"x\" LinkTarget=\"File\" LinkState=\"Invalid\"/>"},
  };
  for (const auto& c : cases) {
    DocBuilder bytes;
    WriteDocLink(bytes, c.link);
    TKdRowDocLink link(nullptr, c.options);
    EXPECT_EQ(LoadFrom(link, bytes), bytes.Size()) << c.what;
    EXPECT_EQ(ChildXml(link), std::string("<R>\n  ") + c.xml + "\n</R>\n") << c.what;
  }
}

TEST(CommonRowsTest, UserDataFlagsNumberingAndComment) {
  TKdUserData data(nullptr);
  EXPECT_EQ(LoadFrom(data, DocBuilder().Head().Byte(0).I16(0x0005).Str("a").Str("в")), 10u);
  EXPECT_EQ(ChildXml(data), "<R>\n  <UserData Data_0=\"a\" Data_2=\"в\"/>\n</R>\n");
  TKdUserData none(nullptr);
  EXPECT_EQ(LoadFrom(none, DocBuilder().Head().Byte(0).I16(0xFC00)), 4u);  // bits 10-15 unused
  EXPECT_EQ(ChildXml(none), "<R/>\n");

  TKdItemFlags flags(nullptr);
  EXPECT_EQ(LoadFrom(flags, DocBuilder().I16(0x0041)), 2u);
  EXPECT_EQ(ElementXml("R", [&](XmlElement r) { flags.XMLSave(r); }),
            "<R ItemFlags=\"Red Info\"/>\n");

  const struct {
    uint16_t mode, options;
    const char* xml;
  } numbering[] = {
      {0, 0, "<R/>\n"},
      {1, 3, "<R>\n  <Numbering Mode=\"ChapterFrac\" Options=\"Auto SkipEmptyNum\"/>\n</R>\n"},
      {0x0102, 0, "<R>\n  <Numbering Mode=\"ChapterInt\"/>\n</R>\n"},  // low byte of the mode
      {0, 4, "<R>\n  <Numbering Mode=\"Sequential\"/>\n</R>\n"},
  };
  for (const auto& n : numbering) {
    TCustomSmetaRenumerator row(nullptr);
    EXPECT_EQ(LoadFrom(row, DocBuilder().Head().I32(0).I16(n.mode).I16(n.options)), 9u);
    EXPECT_EQ(ChildXml(row), n.xml) << n.mode << " " << n.options;
  }
  EXPECT_EQ(TCustomSmetaRenumerator::PositionNumberToStr(0x00050003), "5.3");
  EXPECT_EQ(TCustomSmetaRenumerator::PositionNumberToStr(0x00070000), "7");
  EXPECT_EQ(TCustomSmetaRenumerator::PositionNumberToStr(0), "");

  TKdDocComment comment(nullptr);
  EXPECT_EQ(LoadFrom(comment, DocBuilder().Str("Примечание")), 12u);  // no marker
  EXPECT_EQ(ElementXml("R", [&](XmlElement r) { comment.XMLSave(r); }),
            "<R Comment=\"Примечание\"/>\n");
}

TEST(CommonRowsTest, VariablesAndLookupIgnoringCase) {
  TKdVariables vars(nullptr);
  DocBuilder stored;
  WriteVariables(stored, {{"Коэффициент", "Кф1", "1,5"}, {"", "k2", ""}});
  LoadFrom(vars, stored);
  EXPECT_EQ(ChildXml(vars),
            "<R>\n  <Variables>\n"
            "    <Variable Caption=\"Коэффициент\" Identifier=\"Кф1\" Value=\"1,5\"/>\n"
            "    <Variable Identifier=\"k2\"/>\n  </Variables>\n</R>\n");
  EXPECT_EQ(vars.FindIdentifer(Cp("кФ1")), vars.At(0));
  EXPECT_EQ(vars.FindIdentifer("K2"), vars.At(1));
  EXPECT_EQ(vars.FindIdentifer(""), nullptr);
  EXPECT_EQ(vars.FindIdentifer("k3"), nullptr);
  TKdVariables empty(nullptr);
  LoadFrom(empty, DocBuilder().I16(0));
  EXPECT_EQ(ChildXml(empty), "<R/>\n");
}

// ---- signatures ----

TEST(SignaturesTest, ListWithAttributes) {
  TKDXDocSignatures signs(nullptr);
  DocBuilder b;
  WriteSignatures(b, {"Подписи",
                      {{"Составил", 300, "Иванов И.И."},
                       {"Утвердил", 0, "", {{"Должность", 7, "Директор"}, {}}, "Реквизиты"}}});
  EXPECT_EQ(LoadFrom(signs, b), b.Size());
  EXPECT_EQ(ChildXml(signs),
            "<R>\n  <KdDocSignatures Caption=\"Подписи\">\n"
            "    <Item Caption=\"Составил\" ID=\"300\" Value=\"Иванов И.И.\"/>\n"
            "    <Item Caption=\"Утвердил\">\n"
            "      <Attributes Caption=\"Реквизиты\">\n"
            "        <Item Caption=\"Должность\" ID=\"7\" Value=\"Директор\"/>\n"
            "        <Item/>\n"
            "      </Attributes>\n"
            "    </Item>\n  </KdDocSignatures>\n</R>\n");
  TKDXDocSignatures empty(nullptr);
  LoadFrom(empty, DocBuilder().Head("Подписи").I16(0));
  EXPECT_EQ(ChildXml(empty), "<R/>\n");
}

TEST(SignaturesTest, OldEstimateLayouts) {
  // An entry of the oldest layout's discarded blocks: a marker and four texts.
  const DocBuilder four = DocBuilder().Head().Str("a").Str("b").Str("c").Str("d");
  const struct {
    const char* what;
    int32_t version;
    DocBuilder bytes;
    std::string result;  // the list's XML, or the failure
  } cases[] = {
      {"texts by index", 0x00010120, DocBuilder().Byte(2).Str("").Str("Петров").Str("Сидоров"),
       "<R>\n  <KdDocSignatures>\n"
       "    <Item Caption=\"Составил\" ID=\"300\" Value=\"Петров\"/>\n"
       "    <Item Caption=\"Проверил\" ID=\"310\" Value=\"Сидоров\"/>\n"
       "  </KdDocSignatures>\n</R>\n"},
      {"texts beyond the sixth are read and dropped", 0x0001010E,
       DocBuilder().Byte(7).Str("0").Str("1").Str("2").Str("3").Str("4").Str("5").Str("6").Str("7"),
       "<R>\n  <KdDocSignatures>\n"
       "    <Item Caption=\"Oснование\" ID=\"100\" Value=\"0\"/>\n"
       "    <Item Caption=\"Составил\" ID=\"300\" Value=\"1\"/>\n"
       "    <Item Caption=\"Проверил\" ID=\"310\" Value=\"2\"/>\n"
       "    <Item Caption=\"Заказчик\" ID=\"230\" Value=\"3\"/>\n"
       "    <Item Caption=\"Подрядчик\" ID=\"240\" Value=\"4\"/>\n"
       "    <Item Caption=\"Инвестор\" ID=\"220\" Value=\"5\"/>\n"
       "  </KdDocSignatures>\n</R>\n"},
      {"no texts", 0x00010148, DocBuilder().Byte(0xFF), "<R/>\n"},
      {"negative count", 0x00010120, DocBuilder().Byte(0xFE).Str("x"),
       "ERangeError: Range check error"},
      {"oldest layout", 0x00010100,
       DocBuilder().Str("Смета №5").I16(2).Append(four).Append(four).I16(0xFFFF),
       "<R>\n  <KdDocSignatures>\n"
       "    <Item Caption=\"Oснование\" ID=\"100\" Value=\"Смета №5\"/>\n"
       "  </KdDocSignatures>\n</R>\n"},
      {"oldest layout without text", 0x0001010D, DocBuilder().Str("").I16(0).I16(1).Append(four),
       "<R/>\n"},
      {"oldest layout, bad marker", 0x00010100,
       DocBuilder().Str("").I16(1).Byte(0).Str("a").Str("b").Str("c").Str("d").I16(0), kBadMarker},
      {"rows with four columns", 0x00010149,
       DocBuilder()
           .Head("Подписи")
           .I16(2)
           .Head("")
           .Str("Утвердил")
           .Str("Директор")
           .Str("ООО Стройка")
           .Str("Кузнецов")
           .I32(200)
           .Head("x")
           .Str("Роль")
           .Str("")
           .Str("")
           .Str("")
           .I32(0),
       "<R>\n  <KdDocSignatures>\n"
       "    <Item Caption=\"Утвердил\" ID=\"200\" Value=\"Кузнецов\"/>\n"
       "    <Item Caption=\"Роль\"/>\n"
       "  </KdDocSignatures>\n</R>\n"},
      {"rows, bad marker", 0x0001014B, DocBuilder().Head("").I16(1).Byte(0x00), kBadMarker},
  };
  for (const auto& c : cases) {
    TKDXDocSignatures signs(nullptr);
    // Whatever the list held before is replaced.
    LoadFrom(signs, DocBuilder().Head("").I16(1).Head("Старая").I32(1).Str("").Head("").I16(0));
    ASSERT_EQ(signs.Count(), 1u);
    const std::string failure = FailureOf([&] {
      TKdFiler filer(reinterpret_cast<const uint8_t*>(c.bytes.Bytes().data()), c.bytes.Size());
      ReadOldEstimateSignatures(signs, filer, c.version);
      EXPECT_TRUE(filer.IsEndOfStream()) << c.what;
    });
    EXPECT_EQ(failure.empty() ? ChildXml(signs) : failure, c.result) << c.what;
  }
}

// ---- document base and driver ----

constexpr uint8_t kPriceList = 3;

// The smallest price list body of a file version without dates and signatures.
std::string OldBody() { return DocBuilder().Byte(15).I16(0).Byte(0).Bytes(); }

// A full body of the newest version with the given comment.
std::string NewBody(std::string_view comment) {
  return DocBuilder()
      .Str(comment)
      .Date(2000, 1, 1)
      .Str("")
      .Date(2023, 1, 1)
      .Str("")
      .Byte(15)
      .I16(0)
      .Byte(0)
      .ListHead(soloStoreCaption, 0)
      .I16(0)
      .Bytes();
}

TEST(DocumentTest, HeaderAndBodyChecksFailWithTheirTexts) {
  const std::string newer =
      "Exception: Данный документ записан в более новой версии программы, чем текущая.\r"
      "Загрузка невозможна";
  const std::string not_ours =
      "EKDInvalidDoc: Файл (блок данных) не является документом программы Орвакплан";
  const struct {
    const char* what;
    std::string packed;
    std::string failure;  // "" when the document converts
  } cases[] = {
      {"foreign magic", "1234", "EConvertException: Неверная сигнатура заголовка данных: 34333231"},
      {"foreign magic, long", "KR01" + std::string(20, '\0'),
       "EConvertException: Неверная сигнатура заголовка данных: 3130524B"},
      {"magic only", "KR00", not_ours},
      {"kind 9", "KR00\x09", "EKDInvalidDoc: Несоответствие данных типу документа"},
      {"kind 255", PackDocument(255, "KD_Cennk", 0x00010001, OldBody()),
       "EKDInvalidDoc: Несоответствие данных типу документа"},
      {"kind 5", PackDocument(5, "KD_Cennk", 0x00010001, OldBody()),
       "EConvertException: Неподдерживаемый тип документа: 5"},
      {"kind 7", "KR00\x07", "EConvertException: Неподдерживаемый тип документа: 7"},
      {"kind 8", "KR00\x08", "EConvertException: Неподдерживаемый тип документа: 8"},
      {"header without body", std::string("KR00\x03\0\0\0\0", 9), kReadError},
      {"estimate signature", PackDocument(kPriceList, "KD_Smeta", 0x00010001, OldBody()),
       "Exception: Неверные или поврежденные данные"},
      {"newer version", PackDocument(kPriceList, "KD_Cennk", 0x00010006, NewBody("")), newer},
      {"newest version", PackDocument(kPriceList, "KD_Cennk", 0x00010005, NewBody("")), ""},
      {"version -1 reads the oldest layout", PackDocument(kPriceList, "KD_Cennk", -1, OldBody()),
       ""},
      {"version 0", PackDocument(kPriceList, "KD_Cennk", 0, OldBody()), ""},
      {"free bytes", PackDocument(kPriceList, "KD_Cennk", 0x00010001, OldBody(), 0xDEADBEEF), ""},
  };
  for (const auto& c : cases) {
    const Outcome out = Convert(c.packed);
    EXPECT_EQ(out.failure, c.failure) << c.what;
    EXPECT_EQ(out.ok, c.failure.empty()) << c.what;
  }
}

TEST(DocumentTest, RootAttributesAndControlCharacterSweep) {
  const Outcome plain = Convert(PackDocument(kPriceList, "KD_Cennk", 0x00010005, NewBody("")));
  ASSERT_TRUE(plain.ok) << plain.failure;
  EXPECT_EQ(plain.xml,
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
            "<Document ProgramVersion=\"1.0.0.0\" Generator=\"Orvakplan\" "
            "DocumentType=\"{2B0470FD-477C-4359-9F34-EEBE36B7D348}\" DateBase=\"01.01.2000\" "
            "DateCurr=\"01.01.2023\"/>\r\n");

  const Outcome comment = Convert(PackDocument(kPriceList, "KD_Cennk", 0x00010005,
                                               NewBody("a\x01"
                                                       "b\tc\x1F")));
  ASSERT_TRUE(comment.ok) << comment.failure;
  EXPECT_NE(comment.xml.find("DocumentType=\"{2B0470FD-477C-4359-9F34-EEBE36B7D348}\" "
                             "Comment=\"a b&#9;c \" DateBase="),
            std::string::npos)
      << comment.xml;
}

}  // namespace
}  // namespace kdx::test

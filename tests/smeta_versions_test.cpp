// Local estimates at every file version: each part of the estimate that a file
// version added or dropped shows in the XML exactly in the versions that store
// it, each element compared whole (its name and every attribute in order); the
// legacy coefficient, design-index and work-type index blocks of older files
// become position indexes or the common index; the defaults the XML shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/builder.h"
#include "support/smeta_builder.h"

namespace kdx::test {
namespace {

using namespace smeta;

// The start tag of every element below the root, without its closing ">" or
// "/>", by path: the names from the root's child down, each with its place
// among the siblings of its name when that is not the first ("A/B[1]/C").
std::map<std::string, std::string> StartTags(const std::string& xml) {
  std::map<std::string, std::string> tags;
  std::vector<std::string> path;                    // by depth
  std::vector<std::map<std::string, int>> seen(1);  // names met so far, by depth
  std::istringstream lines(BodyLines(xml));
  for (std::string line; std::getline(lines, line);) {
    const size_t open = line.find('<');
    if (open == std::string::npos || line[open + 1] == '/') continue;
    const size_t depth = open / 2 - 1;
    const size_t name_end = line.find_first_of(" />", open);
    const std::string name = line.substr(open + 1, name_end - open - 1);
    path.resize(depth);
    seen.resize(depth + 2);
    seen[depth + 1].clear();
    const int place = seen[depth][name]++;
    path.push_back(name);
    if (place) path.back().append("[").append(std::to_string(place)).append("]");
    std::string key;
    for (const std::string& step : path) key.append(key.empty() ? "" : "/").append(step);
    const bool empty = line.ends_with("/>");
    tags[key] = line.substr(open, line.size() - open - (empty ? 2 : 1));
  }
  return tags;
}

// Content whose version-gated values all differ from what an older file leaves.
Content Distinguishing() {
  Content c;
  c.options = 0x00040009;  // RoundPos, AddZatr, NaklByIndex
  c.os_glava = 5;
  c.os_link_type = 1;
  c.cc_glava = {7, 8, 9};
  c.catalog_caption = "Справочник 2023";
  c.work_types[0].index_code = "ГР-1";
  WorkType& wt = c.work_types[0].items[1];
  wt.os_column = 1;
  wt.nacl_k = {"0,9", "0,8", "0,7"};
  wt.nacl_curr = 800000;
  c.vr_base_calc = 0;
  c.base_price_level = 1;
  c.base_calc_mode = 1;
  c.indexes_mode = 2;
  c.block_round_mode = 3;
  c.itog_options = 1;
  c.itog_first_calc_item = 3;
  c.mat_digits = 6;
  c.mat_round_mode = 2;
  c.numbering_mode = 1;
  c.pos_k_round_factor = -3;
  c.mult_k_pos_calc_mode = 2;
  c.props_config_name = "Шаблон";
  c.props_config_modified = true;
  c.indexes_pos[0].options = 1;
  c.common_smr_lz = {"Индекс Б", "8,1", 0};
  c.common_smr = {"Индекс А", "7,5", 0};
  c.common_res = {"Индекс Р", "6", 0};
  c.indexes_link_mode = 2;
  c.os_indexes = {"И-01", "", "", ""};
  c.legacy_tables[0] = {{.caption = "Табл", .options = 0x000C, .factors = {{1, 12000}}}};
  c.legacy_design_indexes = {{.caption = "Констр", .a = 20000}};
  c.legacy_work_type_indexes = {{.caption = "Вр", .a = 12000, .first = {{1, 11000, kOne}}}};
  c.legacy_skipped = {{.caption = "Пропуск", .first = {{1, 2, 3}}, .second = {{4, 5, 6}}},
                      {.caption = "Пропуск"}};
  c.common_nakl = {{{.nacl = 1200000}, {.nacl = 900000}}};
  c.common_nk.common = "0,9";
  c.mtsn_nakl = {1000000, 50000};
  c.temp_zone = 3;
  Act& act = c.acts[0];
  act.add_on_types = {{.caption = "Тип акта"}};
  act.indexes_mode = 3;
  act.add_zatrs[0] = {{.caption = "Затраты акта", .value = "1"}};
  act.signatures = {"Подписи акта", {{"Сдал", 400, "Сергеев"}}};
  act.mtsn_nakl_curr = 120000;
  c.chapters[0].index_code = "ГЛ-1";
  c.other_add_zatrs[0] = {{.caption = "Затраты другого уровня цен", .value = "1"}};
  c.index_file_name = "Индексы.kdx";
  c.signatures.items[0].attributes = {{"Должность", 1, "инженер"}};
  c.signatures.items.push_back({"Oснование", 100, "Письмо № 5"});  // Latin O, as old files name it
  c.itog_expand_to_item = 1;
  c.tz_digits = 3;
  c.defects.chapters[0].items[0].identifier = "Д1";
  return c;
}

// An attribute (name and value as written) and the versions that show it.
struct Attr {
  const char* text;
  int32_t from = kOldest;
  int32_t to = kNewest;
};
// An element by path, the versions that hold it, and its attributes in the
// order they are written.
struct Element {
  const char* path;
  int32_t from, to;
  std::vector<Attr> attrs;
};

// The start tag the element has at the version, "" where it is absent.
std::string Expected(const Element& e, int32_t v) {
  if (v < e.from || v > e.to) return "";
  const std::string_view path = e.path;
  const std::string_view name = path.substr(path.rfind('/') + 1);
  std::string tag("<");
  tag.append(name.substr(0, name.find('[')));
  for (const Attr& a : e.attrs) {
    if (v >= a.from && v <= a.to) tag.append(" ").append(a.text);
  }
  return tag;
}

// Every element whose start tag or presence follows the file version; the
// test converts every version, so each threshold is seen from below, at it
// and above.
const Element kElements[] = {
    // clang-format off
    {"AddZatrats/AddZatrGlava[6]/AddZatr", kOldest, kNewest, {{R"(Caption="НДС")"},
      {R"(Identifier="НДС")", 0x1011E}, {R"(Value="0")"}, {R"(Options="")"},
      {R"(Formula="")", kOldest, 0x1011D}, {R"(Formula="ИТОГО*20/100")", 0x1011E},
      {R"(Level="2")"}}},
    {"Chapters/Chapter", kOldest, kNewest, {{R"(Caption="Земляные работы")"}, {R"(SysID="1")"},
      {R"(IndexCode="ГЛ-1")", 0x10135}}},
    {"DefectsList", 0x10150, kNewest, {}},
    {"DefectsList/Chapter/Defect", 0x10150, kNewest, {{R"(Caption="Трещины штукатурки")"},
      {R"(Identifier="Д1")", 0x10153}, {R"(Number="1")"}, {R"(Quantity="12,5")"},
      {R"(Code="Д-01")"}, {R"(Units="м2")"}}},
    {"ImplemActs", 0x10145, kNewest, {{R"(Index="0")"}}},
    {"ImplemActs/ImplemAct/AddZatrats/AddZatrGlava/AddZatr", 0x10147, kNewest,
      {{R"(Caption="Затраты акта")"}, {R"(Value="1")"}, {R"(Options="")"}}},
    {"ImplemActs/ImplemAct/Indexes", 0x10145, kNewest,
      {{R"(IndexesMode="Total")", 0x10145, 0x10149}, {R"(IndexesMode="Smr")", 0x1014A}}},
    {"ImplemActs/ImplemAct/Indexes/IndexAddOnTypes", 0x10148, kNewest, {}},
    {"ImplemActs/ImplemAct/KdDocSignatures", 0x1014D, kNewest, {{R"(Caption="Подписи акта")"}}},
    {"ImplemActs/ImplemAct/MtsnNPZpm", kNewest, kNewest, {{R"(NC="12")"}}},
    {"Indexes", kOldest, kNewest, {{R"(IndexesMode="None")", kOldest, 0x10127},
      {R"(IndexesMode="Total")", 0x10128}, {R"(IndexFileName="Индексы.kdx")", 0x10130},
      {R"(IndexesLinkMode="Default")", kOldest, 0x10134},
      {R"(IndexesLinkMode="Chapters")", 0x10135}}},
    {"Indexes/CommonIndexA", 0x1012F, kNewest, {{R"(Caption="Индекс А")"}, {R"(Formula="7,5")"}}},
    {"Indexes/CommonIndexB", 0x1012A, kNewest, {{R"(Caption="Индекс Б")"}, {R"(Formula="8,1")"},
      {R"(Options="Disabled")", 0x1012A, 0x1012E}}},
    {"Indexes/CommonIndexR", 0x10156, kNewest, {{R"(Caption="Индекс Р")"}, {R"(Formula="6")"}}},
    {"Indexes/IndexAddOnTypes", 0x10127, kNewest, {}},
    {"Indexes/IndexesPos", 0x10110, kNewest, {}},
    {"Indexes/IndexesPos/Index/IndexesAddOns", 0x10127, kNewest, {}},
    {"Indexes/IndexesRes", 0x10127, kNewest, {}},
    {"Indexes/OsIndexes", kOldest, kNewest, {{R"(Sroy="И-01")", 0x10135}}},
    {"KdDocSignatures", kOldest, kNewest, {{R"(Caption="Подписи")", 0x1014C}}},
    {"KdDocSignatures/Item", kOldest, kNewest, {{R"(Caption="Oснование")", kOldest, 0x10148},
      {R"(Caption="Составил")", 0x10149}, {R"(ID="100")", kOldest, 0x10148},
      {R"(ID="300")", 0x10149}, {R"(Value="Письмо № 5")", kOldest, 0x10148},
      {R"(Value="Иванова А. П.")", 0x10149}}},
    {"KdDocSignatures/Item/Attributes", 0x1014C, kNewest, {}},
    {"KdDocSignatures/Item[1]", 0x1010E, kNewest, {{R"(Caption="Составил")", 0x1010E, 0x10148},
      {R"(Caption="Проверил")", 0x10149}, {R"(ID="300")", 0x1010E, 0x10148},
      {R"(ID="310")", 0x10149}, {R"(Value="Иванова А. П.")", 0x1010E, 0x10148},
      {R"(Value="Петров С. В.")", 0x10149}}},
    {"KdDocSignatures/Item[2]", 0x1010E, kNewest, {{R"(Caption="Проверил")", 0x1010E, 0x10148},
      {R"(Caption="Oснование")", 0x10149}, {R"(ID="310")", 0x1010E, 0x10148},
      {R"(ID="100")", 0x10149}, {R"(Value="Петров С. В.")", 0x1010E, 0x10148},
      {R"(Value="Письмо № 5")", 0x10149}}},
    {"Koefficients/K", kOldest, kNewest, {{R"(Caption="Стеснённые условия")"},
      {R"(Options="Base Curr PzAll EmAll")", kOldest, 0x10103},
      {R"(Options="Base Curr PzAll EmAll OzpTz ZpmTz")", 0x10104}, {R"(Value_OZ="1,15")"},
      {R"(Value_ZM="1,15")"}, {R"(Level="1")"}, {R"(AllVidRabs="No")"},
      {"VrsLinks=\"(6)\"", 0x10109}}},
    {"OsInfo", kOldest, kNewest, {{R"(OSChapter="1")", kOldest, 0x1011E},
      {R"(OSChapter="5")", 0x1011F}, {R"(LinkType="LB")", kOldest, 0x1011E},
      {R"(LinkType="OS")", 0x1011F}}},
    {"OsInfo/CCChapter", kOldest, kNewest, {{R"(Cons="2")", kOldest, 0x10120},
      {R"(Cons="7")", 0x10121}, {R"(Rec="2")", kOldest, 0x10120}, {R"(Rec="8")", 0x10121},
      {R"(Road="2")", kOldest, 0x10120}, {R"(Road="9")", 0x10121}}},
    {"Parameters", kOldest, kNewest, {{R"(Options="RoundPos AddZatr SeparateFot TempRound")", kOldest, 0x1012A},
      {R"(Options="RoundPos AddZatr TempRound")", 0x1012B, 0x10139},
      {R"(Options="RoundPos AddZatr NaklByIndex")", 0x1013A},
      {R"(BasePrices="2001")", kOldest, 0x10112}, {R"(BasePrices="1984")", 0x10113},
      {R"(BaseCalcVrs="Vr2001")", kOldest, 0x1010F}, {R"(BaseCalcVrs="Vr1984")", 0x10110},
      {R"(BaseCalcMode="ResIfNoPrice")", 0x10124}, {R"(BlockRoundMode="Smart")", kOldest, 0x10127},
      {R"(BlockRoundMode="Summ")", 0x10128}, {R"(TempZone="1")", kOldest, 0x10137},
      {R"(TempZone="3")", 0x10138}, {R"(MatRoundMode="SignDigitsPreserveInt")", kOldest, 0x1013A},
      {R"(MatRoundMode="SignDigits")", 0x1013B}, {R"(MatDigits="4")", kOldest, 0x10139},
      {R"(MatDigits="6")", 0x1013A}, {R"(ItogOptions="SeparateVrs")", kOldest, 0x1012E},
      {R"(ItogOptions="SeparateChapters")", 0x1012F}, {R"(FirstItogItem="K")", kOldest, 0x1012E},
      {R"(FirstItogItem="SmrIdx")", 0x1012F}, {R"(ItogExpandTo="Default")", kOldest, 0x1013C},
      {R"(ItogExpandTo="Chapter")", 0x1013D}, {R"(TzDigits="2")", kOldest, 0x10142},
      {R"(TzDigits="3")", 0x10143}, {R"(PosKDigits="2")", kOldest, 0x1015C},
      {R"(PosKDigits="3")", 0x1015D}, {R"(MultKPosCalcMode="UseTotalMult")", kOldest, 0x1015C},
      {R"(MultKPosCalcMode="UseForOne")", 0x1015D}, {R"(PropsConfigName="Шаблон")", 0x1015D},
      {R"(PropsConfigNameModified="Yes")", 0x1015D}}},
    {"Parameters/CommonNK", kOldest, kNewest, {{R"(CommonK="0,9")", 0x10142},
      {R"(ActiveItems="Vk Ck Mk")"}}},
    {"Parameters/CommonNPBase", 0x1011A, kNewest, {{R"(Nacl="120")"}}},
    {"Parameters/CommonNPCurr", 0x1011A, kNewest, {{R"(Nacl="90")"}}},
    {"Parameters/MtsnNPZpm", 0x10136, kNewest, {{R"(NB="98")", 0x10136, 0x10139},
      {R"(NB="100")", 0x1013A}, {R"(PB="77")"}, {R"(NC="5")"}}},
    {"Parameters/Numbering", 0x10154, kNewest, {{R"(Mode="ChapterFrac")"}}},
    {"RegionInfo", kOldest, kNewest, {{R"(RegionName="Москва")"},
      {R"(RegionID="70")", kOldest, 0x1010E}, {R"(RegionID="77")", 0x1010F},
      {R"(Zone84Name="2 зона")"}, {R"(Zone84ID="2")"}, {R"(Zone01Name="1 зона")"},
      {R"(Zone01ID="1")"}}},
    {"RegionInfo/OptionalZones", 0x1014F, kNewest, {}},
    {"TerZoneK", kOldest, kNewest, {{R"(Options="Base PzAll EmAll")"},
      {R"(Value_PZ="1,06")", 0x1011D}}},
    {"UserData", 0x10143, kNewest, {{R"(Data_0="Объект: жилой дом")"}}},
    {"Variables", 0x10125, kNewest, {}},
    {"VidRab_Catalog", kOldest, kNewest, {{R"(Caption="Основной справочник видов работ")", kOldest, 0x1013A},
      {R"(Caption="Справочник 2023")", 0x1013B}}},
    {"VidRab_Catalog/Vids_Rab/VidRab_Group", 0x10106, kNewest, {{R"(Caption="Строительные работы")"},
      {R"(ID="10")"}, {R"(IndexCode="ГР-1")", 0x10135}}},
    {"VidRab_Catalog/Vids_Rab/VidRab_Group/Vid_Rab[1]", 0x10106, kNewest, {{R"(Caption="Бетонные и железобетонные конструкции монолитные")"},
      {R"(ID="6")"}, {R"(Nacl="105")"}, {R"(NaclMask="ФОТ")"}, {R"(Plan="65")"},
      {R"(PlanMask="ФОТ")"}, {R"(NaclCurr="80")", 0x10152}, {R"(OsColumn="М")", 0x1011B},
      {R"(NKB="0,9")", 0x10141}, {R"(NKI="0,8")", 0x10141}, {R"(NKR="0,7")", 0x10142}}},
    {"WinterCatalog", 0x10137, kNewest, {{R"(WinterMode="K")"}, {R"(WinterLinkMode="Table")"}}},
    // clang-format on
};

// The position indexes by band: what the legacy coefficient tables (from
// 0x10111 to 0x10130), design indexes (from 0x10114 to 0x10132) and work-type
// indexes (from 0x10110 to 0x10132, against the 1984 list) add to the stored
// list (from 0x10127).
const struct {
  int32_t from, to;
  std::vector<const char*> indexes;
} kPositionIndexes[] = {
    {kOldest, 0x1010F, {}},
    {0x10110, 0x10110, {R"(<Index Caption="Земляные работы" Code="Вр_1" SMR="1,1")"}},
    {0x10111,
     0x10113,
     {R"(<Index Caption="Табл" Code="2001Тек_ 1" OZ="1,2")",
      R"(<Index Caption="Земляные работы" Code="Вр_1" SMR="1,1")"}},
    {0x10114,
     0x10126,
     {R"(<Index Caption="Табл" Code="2001Тек_ 1" OZ="1,2")",
      R"(<Index Caption="Констр" Code="Констр_1" SMR="2")",
      R"(<Index Caption="Земляные работы" Code="Вр_1" SMR="1,1")"}},
    {0x10127,
     0x1012F,
     {R"(<Index Caption="Строительные работы" Code="И-01" SMR="8,15")",
      R"(<Index Caption="Табл" Code="2001Тек_ 1" OZ="1,2")",
      R"(<Index Caption="Констр" Code="Констр_1" SMR="2")",
      R"(<Index Caption="Земляные работы" Code="Вр_1" SMR="1,1")"}},
    {0x10130,
     0x10130,
     {R"(<Index Caption="Строительные работы" Code="И-01" SMR="8,15" Options="SeparEm")",
      R"(<Index Caption="Табл" Code="2001Тек_ 1" OZ="1,2")",
      R"(<Index Caption="Констр" Code="Констр_1" SMR="2")",
      R"(<Index Caption="Земляные работы" Code="Вр_1" SMR="1,1")"}},
    {0x10131,
     0x10132,
     {R"(<Index Caption="Строительные работы" Code="И-01" SMR="8,15" Options="SeparEm")",
      R"(<Index Caption="Констр" Code="Констр_1" SMR="2")",
      R"(<Index Caption="Земляные работы" Code="Вр_1" SMR="1,1")"}},
    {0x10133,
     kNewest,
     {R"(<Index Caption="Строительные работы" Code="И-01" SMR="8,15" Options="SeparEm")"}},
};

TEST(SmetaVersions, EachPartShowsExactlyInTheVersionsThatStoreIt) {
  const Content c = Distinguishing();
  for (int32_t v = kOldest; v <= kNewest; ++v) {
    const Outcome out = Convert(PackSmeta(c, v));
    ASSERT_TRUE(out.ok) << std::hex << v << ": " << out.failure;
    const std::map<std::string, std::string> tags = StartTags(out.xml);
    const auto tag = [&tags](const std::string& path) {
      const auto it = tags.find(path);
      return it == tags.end() ? std::string() : it->second;
    };
    for (const Element& e : kElements) {
      EXPECT_EQ(tag(e.path), Expected(e, v)) << std::hex << v << ": " << e.path;
    }
    for (const auto& band : kPositionIndexes) {
      if (v < band.from || v > band.to) continue;
      for (size_t i = 0; i <= band.indexes.size(); ++i) {
        std::string path = "Indexes/IndexesPos/Index";
        if (i) path.append("[").append(std::to_string(i)).append("]");
        EXPECT_EQ(tag(path), i < band.indexes.size() ? band.indexes[i] : "")
            << std::hex << v << ": " << path;
      }
    }
    // The skipped legacy blocks and the second list of additional costs.
    EXPECT_EQ(out.xml.find("Пропуск"), std::string::npos) << std::hex << v;
    EXPECT_EQ(out.xml.find("Затраты другого уровня цен"), std::string::npos) << std::hex << v;
  }
}

// The legacy blocks of a file of 0x1011C: the three coefficient tables, the
// design indexes and the work-type indexes become position indexes in this
// order; the skipped blocks leave nothing.
TEST(SmetaVersions, LegacyBlocksBecomePositionIndexes) {
  Content c;
  c.indexes_pos.clear();
  c.legacy_tables = {{
      {{.caption = "К1", .options = 0x000C, .factors = {{1, 16488}, {4, 9000}}}},
      // All four from direct costs.
      {{.caption = "К2", .options = 0x000C | 0x10, .factors = {{0, 12000}, {1, 5}}}},
      // Machinists' wages from machine operation.
      {{.caption = "К3", .options = 0x000C | 0x20, .factors = {{2, 11000}, {3, 15000}}}},
  }};
  c.legacy_design_indexes = {{.caption = "Конструкции", .a = 20000, .b = 15000},
                             {.caption = "Без второго", .a = 12000, .b = 0}};
  // Defaults x = 1.2, y = 1.05; group 10 gives (1.1, 0), work type 6 gives (0, 2):
  // a zero value counts as not found.
  c.legacy_work_type_indexes = {{.caption = "Вр",
                                 .a = 12000,
                                 .b = 10500,
                                 .first = {{10, 11000, 0}},
                                 .second = {{6, 0, 20000}}},
                                {.caption = "Пропуск", .first = {{1, 2, 3}}}};
  c.legacy_skipped = {{.caption = "Пропуск", .first = {{1, 2, 3}}, .second = {{4, 5, 6}}},
                      {.caption = "Пропуск"}};
  c.legacy_index_mode = 2;
  const Outcome out = Convert(PackSmeta(c, 0x1011C));
  ASSERT_TRUE(out.ok) << out.failure;
  EXPECT_NE(
      out.xml.find("    <IndexesPos>\r\n"
                   "      <Index Caption=\"К1\" Code=\"2001Тек_ 1\" OZ=\"1,6488\" MT=\"0,9\"/>\r\n"
                   "      <Index Caption=\"К2\" Code=\"1984-2001_ 1\" OZ=\"1,2\" EM=\"1,2\" "
                   "ZM=\"1,2\" MT=\"1,2\"/>\r\n"
                   "      <Index Caption=\"К3\" Code=\"1984Тек_1\" EM=\"1,1\" ZM=\"1,1\"/>\r\n"
                   "      <Index Caption=\"Конструкции\" Code=\"Констр_1\" SMR=\"3\"/>\r\n"
                   "      <Index Caption=\"Без второго\" Code=\"Констр_2\" SMR=\"1,2\"/>\r\n"
                   "      <Index Caption=\"Земляные работы, выполняемые механизированным "
                   "способом\" Code=\"Вр_1\" SMR=\"1,155\"/>\r\n"
                   "      <Index Caption=\"Бетонные и железобетонные конструкции монолитные\" "
                   "Code=\"Вр_6\" SMR=\"2,2\"/>\r\n"
                   "    </IndexesPos>\r\n"),
      std::string::npos)
      << out.xml;
  EXPECT_NE(out.xml.find("<Indexes IndexesMode=\"Smr\""), std::string::npos);
  EXPECT_EQ(out.xml.find("Пропуск"), std::string::npos);
  EXPECT_EQ(out.xml.find("<CommonIndexA"), std::string::npos);
}

// Work-type index blocks without entries give the common index a formula of
// the defaults that differ from 1, and make it active.
TEST(SmetaVersions, LegacyWorkTypeDefaultsBecomeTheCommonIndex) {
  const struct {
    int32_t x, y;
    const char* xml;
  } cases[] = {
      {12000, kOne, "<CommonIndexA Caption=\"Вр\" Formula=\"1,2\"/>"},
      {kOne, 15000, "<CommonIndexA Caption=\"Вр\" Formula=\"1,5\"/>"},
      {12000, 15000, "<CommonIndexA Caption=\"Вр\" Formula=\"1,2*1,5\"/>"},
      {kOne, kOne, ""},
  };
  for (const auto& k : cases) {
    Content c;
    c.legacy_work_type_indexes = {{.caption = "Вр", .a = k.x, .b = k.y}};
    const Outcome out = Convert(PackSmeta(c, 0x10126));
    ASSERT_TRUE(out.ok) << out.failure;
    const size_t at = out.xml.find("<CommonIndexA");
    EXPECT_EQ(at == std::string::npos ? "" : out.xml.substr(at, out.xml.find('>', at) + 1 - at),
              k.xml);
  }
}

// The index mode files 0x10113 to 0x10127 derive from the legacy price mode P and
// index mode M.
TEST(SmetaVersions, LegacyIndexMode) {
  const struct {
    uint8_t p, m;
    bool indexes, common_active;
    const char* mode;
  } cases[] = {
      {0, 2, true, false, "PosOne"}, {2, 2, true, false, "PosOne"}, {1, 2, false, false, "None"},
      {1, 2, true, false, "Smr"},    {3, 1, true, false, "Smr"},    {1, 1, true, true, "None"},
      {1, 0, true, false, "None"},
  };
  for (const auto& k : cases) {
    Content c;
    c.legacy_price_mode = k.p;
    c.legacy_index_mode = k.m;
    if (!k.indexes) c.indexes_pos.clear();
    if (k.common_active) c.legacy_work_type_indexes = {{.caption = "Вр", .a = 12000}};
    const Outcome out = Convert(PackSmeta(c, 0x10127));
    ASSERT_TRUE(out.ok) << out.failure;
    EXPECT_NE(out.xml.find(std::string("<Indexes IndexesMode=\"") + k.mode + "\""),
              std::string::npos)
        << int(k.p) << " " << int(k.m) << " " << k.indexes << k.common_active;
  }
}

TEST(SmetaVersions, DefaultsTheXmlShows) {
  Content c;
  c.region_name = "";
  c.zones = {{{0, ""}, {0, ""}, {0, ""}}};
  const Outcome out = Convert(PackSmeta(c, kNewest));
  ASSERT_TRUE(out.ok) << out.failure;
  const std::map<std::string, std::string> tags = StartTags(out.xml);
  EXPECT_EQ(tags.at("RegionInfo"),
            R"(<RegionInfo RegionName="Госстрой" RegionID="77" Zone84ID="1" Zone01ID="1")");
  EXPECT_EQ(tags.at("Parameters"),
            R"(<Parameters Options="AddZatr SeparateFot" BasePrices="2001" BaseCalcVrs="Vr2001" )"
            R"(BlockRoundMode="Smart" TempZone="1" MatRoundMode="SignDigitsPreserveInt" )"
            R"(MatDigits="4" ItogOptions="SeparateVrs" FirstItogItem="K" ItogExpandTo="Default" )"
            R"(TzDigits="2" PosKDigits="2" MultKPosCalcMode="UseTotalMult")");
  EXPECT_EQ(tags.count("Parameters/MtsnNPZpm"), 0u);
}

// A legacy index factor is the product (a / 10000) × (b / 10000) in doubles,
// rounded to four places. Products that fall on a tie of the fourth place
// round the same in every build: x87 registers, which keep more bits than a
// double, rounded some of them the other way in the 32-bit builds.
TEST(SmetaVersions, LegacyIndexProductsAtATieRoundAsDoublesDo) {
  const struct {
    int32_t a, b;
    const char* smr;
  } cases[] = {
      {3, 149985000, "4,4995"},
      {15000, 29997, "4,4995"},
  };
  smeta::Content c;
  c.indexes_pos.clear();
  for (const auto& row : cases) c.legacy_design_indexes.push_back({"Констр", row.a, row.b});
  const Outcome out = Convert(PackSmeta(c, 0x1011C));
  ASSERT_TRUE(out.ok) << out.failure;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string index =
        "Code=\"Констр_" + std::to_string(i + 1) + "\" SMR=\"" + cases[i].smr + "\"";
    EXPECT_NE(out.xml.find(index), std::string::npos)
        << cases[i].a << " × " << cases[i].b << ": " << cases[i].smr;
  }
}

}  // namespace
}  // namespace kdx::test

// Local estimates at every file version: each part of the estimate that a file
// version added or dropped shows in the XML exactly in the versions that store
// it; the legacy coefficient, design-index and work-type index blocks of older
// files become position indexes or the common index; the defaults the XML shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/builder.h"
#include "support/smeta_builder.h"

namespace kdx::test {
namespace {

using namespace smeta;

constexpr int32_t kNever = kNewest + 1;

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

// A piece of XML and the versions that show it.
struct Gate {
  const char* xml;
  int32_t from;
  int32_t to = kNewest;
};

const Gate kGates[] = {
    {"SeparateFot", kOldest, 65834},
    {"TempRound", kOldest, 65849},
    {"NaklByIndex", 65850},
    {"RegionID=\"70\"", kOldest, 65806},  // the region byte keeps tens
    {"RegionID=\"77\"", 65807},
    {"<TerZoneK Options=\"Base PzAll EmAll\" Value_PZ=\"1,06\"/>", 65821},
    {"<VidRab_Group Caption=\"Строительные работы\"", 65798},
    {"<VidRab_Catalog Caption=\"Справочник 2023\">", 65851},
    {"OsColumn=\"М\"", 65819},
    {"IndexCode=\"ГР-1\"", 65845},
    {"NKB=\"0,9\" NKI=\"0,8\"", 65857},
    {"NKR=\"0,7\"", 65858},
    {"NaclCurr=\"80\"", 65874},
    {"BaseCalcVrs=\"Vr1984\"", 65808},
    {"BasePrices=\"1984\"", 65811},
    {"BaseCalcMode=\"ResIfNoPrice\"", 65828},
    {"<Indexes IndexesMode=\"Total\"", 65832},
    {"BlockRoundMode=\"Summ\"", 65832},
    {"ItogOptions=\"SeparateChapters\" FirstItogItem=\"SmrIdx\"", 65839},
    {"MatDigits=\"6\"", 65850},
    {"MatRoundMode=\"SignDigits\"", 65851},
    {"<Numbering Mode=\"ChapterFrac\"/>", 65876},
    {"PosKDigits=\"3\" MultKPosCalcMode=\"UseForOne\" PropsConfigName=\"Шаблон\"", 65885},
    {"VrsLinks=\"(6)\"", 65801},
    {"<IndexAddOnTypes>", 65831},
    {"<Index Caption=\"Строительные работы\" Code=\"И-01\" SMR=\"8,15\"", 65831},
    {"SMR=\"8,15\" Options=\"SeparEm\"", 65840},
    {"<IndexesRes>", 65831},
    {"Code=\"2001Тек_ 1\" OZ=\"1,2\"", 65809, 65840},
    {"Code=\"Констр_1\" SMR=\"2\"", 65812, 65842},
    {"Code=\"Вр_1\" SMR=\"1,1\"", 65808, 65842},  // against the 1984 list
    {"Пропуск", kNever},
    {"<CommonIndexB Caption=\"Индекс Б\"", 65834},
    {"<CommonIndexA Caption=\"Индекс А\"", 65839},
    {"<CommonIndexR Caption=\"Индекс Р\"", 65878},
    {"IndexesLinkMode=\"Chapters\"", 65845},
    {"<OsIndexes Sroy=\"И-01\"/>", 65845},
    {"<CommonNPBase Nacl=\"120\"/>", 65818},
    {"<CommonNK CommonK=\"0,9\"", 65858},
    {"<MtsnNPZpm NB=\"98\" PB=\"77\" NC=\"5\"/>", 65846, 65849},  // base rates fixed
    {"<MtsnNPZpm NB=\"100\" PB=\"77\" NC=\"5\"/>", 65850},
    {"<WinterCatalog", 65847},
    {"TempZone=\"3\"", 65848},
    {"<ImplemActs", 65861},
    {"<AddOnType Caption=\"Тип акта\"/>", 65864},
    {"<Indexes IndexesMode=\"Smr\"", 65866},
    {"Caption=\"Затраты акта\"", 65863},
    {"Caption=\"Подписи акта\"", 65869},
    {"<MtsnNPZpm NC=\"12\"/>", 65887},
    {"IndexCode=\"ГЛ-1\"", 65845},
    {"Identifier=\"НДС\" Value=\"0\" Options=\"\" Formula=\"ИТОГО*20/100\" Level=\"2\"", 65822},
    {"Затраты другого уровня цен", kNever},
    {"<Variables>", 65829},
    {"IndexFileName=\"Индексы.kdx\"", 65840},
    {"ID=\"100\" Value=\"Письмо № 5\"", kOldest},
    {"<Item Caption=\"Составил\" ID=\"300\" Value=\"Иванова А. П.\"", 65806},
    {"<KdDocSignatures Caption=\"Подписи\">", 65868},
    {"<Attributes", 65868},
    {"ItogExpandTo=\"Chapter\"", 65853},
    {"TzDigits=\"3\"", 65859},
    {"<UserData Data_0=", 65859},
    {"Comment=\"Локальный сметный расчёт № 02-01-01\"", 65859},
    {"<OptionalZones>", 65871},
    {"<DefectsList>", 65872},
    {"Identifier=\"Д1\"", 65875},
    {"OSChapter=\"5\" LinkType=\"OS\"", 65823},
    {"<CCChapter Cons=\"7\" Rec=\"8\" Road=\"9\"/>", 65825},
};

TEST(SmetaVersions, EachPartShowsExactlyInTheVersionsThatStoreIt) {
  const Content c = Distinguishing();
  for (int32_t v = kOldest; v <= kNewest; ++v) {
    const Outcome out = Convert(PackSmeta(c, v));
    ASSERT_TRUE(out.ok) << v << ": " << out.failure;
    for (const Gate& g : kGates) {
      const bool expected = v >= g.from && v <= g.to;
      EXPECT_EQ(out.xml.find(g.xml) != std::string::npos, expected) << v << ": " << g.xml;
    }
  }
}

// The legacy blocks of a file of 65820: the three coefficient tables, the
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
  const Outcome out = Convert(PackSmeta(c, 65820));
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
    const Outcome out = Convert(PackSmeta(c, 65830));
    ASSERT_TRUE(out.ok) << out.failure;
    const size_t at = out.xml.find("<CommonIndexA");
    EXPECT_EQ(at == std::string::npos ? "" : out.xml.substr(at, out.xml.find('>', at) + 1 - at),
              k.xml);
  }
}

// The index mode files 65811 to 65831 derive from the legacy price mode P and
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
    const Outcome out = Convert(PackSmeta(c, 65831));
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
  EXPECT_NE(out.xml.find("<RegionInfo RegionName=\"Госстрой\" RegionID=\"77\" Zone84ID=\"1\" "
                         "Zone01ID=\"1\">"),
            std::string::npos);
  EXPECT_NE(out.xml.find("PosKDigits=\"2\""), std::string::npos);
  EXPECT_EQ(out.xml.find("MtsnNPZpm"), std::string::npos);
  EXPECT_EQ(out.xml.find("BaseCalcMode"), std::string::npos);
}

}  // namespace
}  // namespace kdx::test

// Estimate positions read whole through an estimate: the fields each file
// version adds or drops (both sides of every threshold), the field each
// presence bit announces, the older record by kind, the order of a full
// position's element, and the system IDs of old files.
#include "smeta/position.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "api/convert.h"
#include "smeta/smeta.h"
#include "support/builder.h"
#include "support/smeta_builder.h"

namespace kdx::test {
namespace {

using namespace smeta;

// The XML of the positions put into the first chapter of the builder's
// estimate (work types 1 and 6, position index "И-01", winter rise "ЗУ-1", one
// performer, one work, one work-type coefficient, one act), or the failure.
std::string PositionsXml(int32_t version, Content c, const std::vector<Position>& positions) {
  for (const Position& p : positions) c.chapters[0].items.push_back(PositionItem(p));
  const Outcome out = Convert(PackSmeta(c, version));
  if (!out.ok) return out.failure;
  const std::string body = BodyLines(out.xml);
  const size_t from = body.find("      <Position");
  return from == std::string::npos ? "" : body.substr(from, body.find("    </Chapter>") - from);
}

// The XML of one position on one line, its children without their indentation.
std::string Flat(const std::string& xml) {
  std::string flat;
  std::istringstream lines(xml);
  for (std::string line; std::getline(lines, line);)
    flat += line.substr(line.find_first_not_of(' '));
  return flat;
}

// A position captioned "П" with the quantity 2, whole, a version below the
// threshold and at it (or at the version alone).
struct Case {
  int32_t version;
  Position p;
  const char* below;  // nullptr: the version alone
  const char* at;
  void (*doc)(Content&) = nullptr;
};

void Check(const Case& k) {
  Position p = k.p;
  p.caption = "П";
  p.quantity.value = 2;
  Content c;
  if (k.doc) k.doc(c);
  for (int32_t v = k.below ? k.version - 1 : k.version; v <= k.version; ++v) {
    EXPECT_EQ(Flat(PositionsXml(v, c, {p})), v < k.version ? k.below : k.at) << std::hex << v;
  }
}

// Estimates whose legacy blocks, index lists and modes the old index numbers
// and the work-type indexes of older files resolve against.
void Table8401(Content& c) { c.legacy_tables[1] = {{"К"}}; }
void WorkTypeIndexes(Content& c) {
  c.base_price_level = 1, c.vr_base_calc = 0, c.legacy_index_mode = 1;
  c.legacy_work_type_indexes = {{.caption = "Вр", .first = {{1, 12000, kOne}}}};
}
void DesignIndexes(Content& c) {
  c.legacy_index_mode = 2, c.legacy_design_indexes = {{.caption = "Констр"}};
}
void IndexCodes(Content& c) {
  for (const char* code : {"1984-2001_ 1", "2001Тек_ 1", "1984Тек_1", "2001Тек_ 0"}) {
    c.indexes_pos.push_back({.item = {"Старый", code}});
  }
}

TEST(Position, EachVersionBand) {
  const Case cases[] = {
      // clang-format off
    // The older record.
    {0x10107, {.vr2001 = 6},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" Vr2001="6" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)"},
    {0x10107, {.custom_np = {{{}, {.nacl = 900000}}}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/><CustomNPCurr Nacl="90"/></Position>)"},
    {0x10108, {.curr = {"", "", "", "", "5"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/><PriceCurr MT="5"/></Position>)"},
    {0x10108, {.kind = 2, .base = {"7"}, .curr = {"3"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceBase PZ="7"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceBase PZ="7"/></Position>)"},
    {0x1010C, {.options = 0x08, .resources = {{.type = kMachinists, .grade = 35}}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" Options="AverRasrM" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/><Resources><Tzm Caption="Затраты труда машинистов" Code="2" Units="чел.час"/></Resources></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" Options="AverRasrM" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/><Resources><Tzm Caption="Затраты труда машинистов" Code="2" Units="чел.час"/></Resources></Position>)"},
    {0x10111, {.old_indexes = {-1, 0, -1, -1}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" Index8401Code="1984-2001_ 1" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     Table8401},
    {0x10112, {.price_level = 1},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="2001" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)"},
    // Assigned after the chapters, where the work-type indexes come.
    {0x10113, {.vr1984 = 1},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" Vr1984="1" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" IndexCode="Вр_1" PzSync="Yes" Vr1984="1" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     WorkTypeIndexes},
    // The older record asks for the legacy price mode P 0 or 2.
    {0x10115, {.price_level = 1, .old_indexes = {-1, -1, -1, 0}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="2001" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="2001" IndexCode="Констр_1" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     [](Content& c) { DesignIndexes(c), c.legacy_price_mode = 0; }},
    {0x10119, {.price_comments = {"Сб"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/><PriceBase Comment="Сб"/></Position>)"},
    // The record with its presence mask.
    {0x10123, {.wholesale = {"2"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceBase Ws="2"/></Position>)"},
    {0x10123, {.curr = {"", "4"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceCurr OZ="4"/></Position>)"},
    {0x10124, {.base_calc_mode = 1},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" BaseCalcMode="ForceBase" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {0x10125, {.identifier = "П1"},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" Identifier="П1" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {0x10125, {.plan_k = {"", "0,85"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" PNB="0,85" PKI="0,85" PKR="0"><Quantity Fx="2"/></Position>)"},
    {0x10128, {.nacl_k = {"", "1,10"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="1,1" NKI="1,1" NKR="0"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="1,10" NKI="1,10"><Quantity Fx="2"/></Position>)"},
    {0x10129, {.index = 0},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" IndexCode="И-01" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {0x1012A, {.index8401 = 0},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" Index8401Code="И-01" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {0x10133, {.mask_extra = 0x1000, .old_indexes = {-1, 0, -1, -1}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" Index8401Code="1984-2001_ 1" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     IndexCodes},
    // Old files copy base prices to current ones at the current level.
    {0x10133, {.base = {"10", "4", "3", "2", "1"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="No"><Quantity Fx="2"/><PriceBase PZ="10" OZ="4" EM="3" ZM="2" MT="1"/><PriceCurr OZ="4" EM="3" ZM="2" MT="1"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="No"><Quantity Fx="2"/><PriceBase PZ="10" OZ="4" EM="3" ZM="2" MT="1"/></Position>)"},
    {0x10138, {.winter = 0},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" WinterK="ЗУ-1"><Quantity Fx="2"/></Position>)"},
    {0x1013C, {.db_comment = "Б"},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" DBComment="Б" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {0x1013D, {.bookmark = 3, .item_flags = 1},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" Bookmark="3" ItemFlags="Red"><Quantity Fx="2"/></Position>)"},
    {0x1013E, {.mask_extra = 0x100, .resources = {{.type = kWorkers, .caption = "Каменщик", .quantity = 1.5}}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><Resources><Tzr Caption="Затраты труда рабочих" Code="1" Units="чел.час" Quantity="1,5"/></Resources></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><Resources><Tzr Caption="Каменщик" Code="1" Units="чел.час" Quantity="1,5"/></Resources></Position>)"},
    {0x10142, {.nacl_k = {"1,2", "1,1"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="1,1" NKI="1,1"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKB="1,2" NKI="1,1"><Quantity Fx="2"/></Position>)"},
    {0x10143, {.user_data = {"Д"}},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><UserData Data_0="Д"/></Position>)"},
    {0x10151, {.options = 0x0100},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" Options="RetOwnMat" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {0x10154, {.comment_ex = "скрыт"},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {0x10155, {.sys_id = 77},
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="77" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {0x10159, {.fx = {{{"", "", "", "", "М*2"}}}},
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceBase><Fx MT="М*2"/></PriceBase></Position>)"},
    {0x1015B, {.mask_extra = 0x1, .quantity = {.k_mult = 2}},
     R"(<Position Caption="П" SysID="0" PriceLevel="Curr" PzSync="Yes"/>)",
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2" KMult="2"/></Position>)"},
    // Older files judge the direct-costs total kept apart unless a part has a formula.
    {0x1015E, {.base = {"10", "4", "3", "2", "1"}, .fx = {{{"", "О", "", "", ""}}}},
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceBase PZ="10" OZ="4" EM="3" ZM="2" MT="1"><Fx OZ="О"/></PriceBase></Position>)",
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceBase PZ="10" OZ="4" EM="3" ZM="2" MT="1"><Fx OZ="О"/></PriceBase></Position>)"},
    {0x1015E, {.pz_unsinc = true},
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="No"><Quantity Fx="2"/></Position>)"},
      // clang-format on
  };
  for (const Case& k : cases) Check(k);
}

// One field at a time, at a version that looks at its bit.
TEST(Position, EachPresenceBit) {
  const Case cases[] = {
      // clang-format off
    {0x1015A, {.quantity = {.fx = "А*2"}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="0" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="А*2"/></Position>)"},
    {kNewest, {.custom_np = {{{.nacl = 1}}}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><CustomNPBase Nacl="0,0001"/></Position>)"},
    {kNewest, {.custom_np = {{{.nacl = 1}}}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><CustomNPBase Nacl="0,0001"/></Position>)"},
    {kNewest, {.mask_extra = 0x2}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {kNewest, {.custom_np = {{{}, {.plan = 1}}}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><CustomNPCurr Plan="0,0001"/></Position>)"},
    {kNewest, {.nacl_k = {"", "", "2"}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes" NKR="2"><Quantity Fx="2"/></Position>)"},
    {kNewest, {.curr = {"", "", "1"}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceCurr EM="1"/></Position>)"},
    {kNewest, {.curr = {"", "", "", "1"}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceCurr ZM="1"/></Position>)"},
    {kNewest, {.curr = {"", "", "", "", "1"}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceCurr MT="1"/></Position>)"},
    {0x1013D, {.options = 8, .resources = {{.type = kMachinists}}}, nullptr,
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" Options="AverRasrM" PzSync="Yes"><Quantity Fx="2"/><Resources><Tzm Caption="Затраты труда машинистов" Code="2" Units="чел.час"/></Resources></Position>)"},
    {kNewest, {.performer = 0}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes" Performer="ООО «Стройподряд»"><Quantity Fx="2"/></Position>)"},
    // Old index numbers of the current record: the legacy price mode P is 1
    // up to 0x1012A and 0 from 0x1012B, when it is no longer stored.
    {0x1012A, {.old_indexes = {-1, -1, -1, 0}}, nullptr,
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="Curr" IndexCode="Констр_1" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     DesignIndexes},
    {0x10132, {.price_level = 1, .old_indexes = {0, -1, -1, -1}}, nullptr,
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="2001" IndexCode="2001Тек_ 1" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     IndexCodes},
    {0x10132, {.price_level = 2, .old_indexes = {-1, -1, 0, -1}}, nullptr,
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="1984" IndexCode="1984Тек_1" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     IndexCodes},
    // The current record names the numbers it holds: -1 is number 0 like any
    // other. The older record writes -1 for "none".
    {0x10132, {.mask_extra = 0x800, .price_level = 1}, nullptr,
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="2001" IndexCode="2001Тек_ 0" PzSync="Yes"><Quantity Fx="2"/></Position>)",
     IndexCodes},
    {0x10122, {.price_level = 1}, nullptr,
     R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="2001" PzSync="Yes" NKB="0" NKI="0" NKR="0"><Quantity Fx="2"/></Position>)",
     [](Content& c) { IndexCodes(c), c.legacy_price_mode = 0; }},
    {kNewest, {.index_code = "Свой"}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" IndexCode="Свой" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {kNewest, {.index = 5}, nullptr,  // no such index
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {kNewest, {.index8401_code = "и-01 "}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" Index8401Code="И-01" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {kNewest, {.excluded = {0, 0}}, nullptr,
     R"x(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><ExcludedKfs Value="(0, 0)"/></Position>)x"},
    {kNewest, {.wholesale = {"", "3"}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceCurr Ws="3"/></Position>)"},
    {kNewest, {.curr = {"3"}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {kNewest, {.fx = {{{}, {"", "О"}}}}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/><PriceCurr><Fx OZ="О"/></PriceCurr></Position>)"},
    {kNewest, {.bookmark = 0}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes" Bookmark="0"><Quantity Fx="2"/></Position>)"},
    {kNewest, {}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
    {kNewest, {}, nullptr,
     R"(<Position Caption="П" SysID="0" Quantity="2" PriceLevel="Curr" PzSync="Yes"><Quantity Fx="2"/></Position>)"},
      // clang-format on
  };
  for (const Case& k : cases) Check(k);
}

// The older record by kind: a priced position, a lump sum (its direct costs
// count as materials), a total, and a kind with none of these.
TEST(Position, OlderKinds) {
  const std::string head = R"(<Position Caption="П" SysID="1" Quantity="2" PriceLevel="2001" )";
  const std::string np = R"(<CustomNPBase Nacl="105")";
  const std::string tail = R"(<CustomNPCurr Nacl="90"/></Position>)";
  const std::string kinds[] = {
      R"(PzSync="No" Vr1984="1" Vr2001="6" NKB="0,9" NKI="0,9" NKR="0,8"><Quantity Fx="2"/>)"
      R"(<PriceBase PZ="10" OZ="4" EM="3" ZM="2" MT="1"/><PriceCurr MT="5"/><Resources>)"
      R"(<Mat Caption="Бетон тяжёлый, класс В15" Code="401-0066" Units="м3" Quantity="2"/>)"
      R"(</Resources><WorksList><Work Caption="Бетонирование"/></WorksList>)" +
          np + R"( NaclMask="ФОТ"/>)",
      R"(PzSync="Yes" Vr1984="1" NKB="0,9" NKI="0,9"><Quantity Fx="2"/>)"
      R"(<PriceBase PZ="10" MT="10"/>)" +
          np + R"( NaclMask="ФОТ"/>)",
      R"(PzSync="Yes"><Quantity Fx="2"/><PriceBase PZ="10"/>)" + np + "/>",
      R"(PzSync="Yes"><Quantity Fx="2"/>)" + np + "/>",
  };
  for (const uint8_t kind : {0, 1, 2, 7}) {
    const Position p{.caption = "П",
                     .kind = kind,
                     .quantity = {.value = 2},
                     .price_level = 1,
                     .custom_np = {{{.nacl = 1050000, .mask = 0x0A00}, {.nacl = 900000}}},
                     .base = {"10", "4", "3", "2", "1"},
                     .curr = {"9", "8", "7", "6", "5"},
                     .vr1984 = 1,
                     .vr2001 = 6,
                     .nacl_k = {"", "0,9", "0,8"},
                     .resources = {{.type = kMaterial, .quantity = 2}},
                     .works = {0}};
    EXPECT_EQ(Flat(PositionsXml(0x10122, Content{}, {p})),
              head + kinds[std::min(kind, uint8_t{3})] + tail);
  }
}

// The names of the attributes and children of a position that has them all, in order.
TEST(Position, ElementOrder) {
  const Position p{.caption = "П",
                   .options = 1,
                   .number = 0x00050002,
                   .code = "К",
                   .units = "м3",
                   .comment = "К",
                   .sys_id = 12,
                   .identifier = "П1",
                   .comment_ex = "К",
                   .quantity = {.value = 6, .precision = 2},
                   .db_flags = 1,
                   .price_level = 1,
                   .base_calc_mode = 2,
                   .custom_np = {{{.nacl = 1}, {.nacl = 1}}},
                   .base = {"1"},
                   .curr = {"", "1"},
                   .fx = {{{"Ф"}, {"Ф"}}},
                   .vr1984 = 1,
                   .vr2001 = 6,
                   .nacl_k = {"1", "1", "1"},
                   .plan_k = {"1", "1", "1"},
                   .resources = {{.type = kWorkers}},
                   .works = {0},
                   .ks = {{.k = {.caption = "К"}}},
                   .index = 0,
                   .index8401 = 0,
                   .winter = 0,
                   .db_comment = "К",
                   .bookmark = 3,
                   .item_flags = 1,
                   .user_data = {"Д"},
                   .implementation = {{.act = 0}},
                   .performer = 0,
                   .excluded = {0}};
  const std::string xml = PositionsXml(kNewest, Content{}, {p});
  const std::string start_tag = xml.substr(0, xml.find('\n'));
  std::string names;
  for (size_t eq = start_tag.find("=\""); eq != std::string::npos;
       eq = start_tag.find("=\"", eq + 1)) {
    const size_t name = start_tag.rfind(' ', eq) + 1;
    names += " " + start_tag.substr(name, eq - name);
  }
  const std::string child = "\n        <";
  for (size_t at = xml.find(child); at != std::string::npos; at = xml.find(child, at + 1)) {
    const size_t name = at + child.size();
    if (xml[name] != '/') names += "|" + xml.substr(name, xml.find_first_of(" />", name) - name);
  }
  EXPECT_EQ(
      names,
      " Caption Identifier SysID Number Code Units Quantity Comment PriceLevel BaseCalcMode "
      "Options IndexCode Index8401Code DBComment DBFlags PzSync Vr1984 Vr2001 NKB PNB NKI PKI "
      "NKR PKR WinterK Bookmark ItemFlags Performer|Quantity|PriceBase|PriceCurr|Resources|"
      "Koefficients|ExcludedKfs|WorksList|CustomNPBase|CustomNPCurr|Implementation_V2|UserData")
      << xml;
}

// Files before 0x10155 number the positions 1, 2, 3 … in reading order over all
// chapters, whatever the record holds; from 0x10155 the stored IDs stand.
TEST(Position, SystemIdsOfOldFiles) {
  for (const int32_t v : {0x10154, 0x10155}) {
    Content c;
    c.chapters[0].items = {PositionItem({.caption = "А", .sys_id = 9}), Header("З"),
                           PositionItem({.caption = "Б", .sys_id = 7})};
    c.chapters.push_back(
        {.caption = "Второй", .items = {PositionItem({.caption = "В", .sys_id = 5})}});
    const Outcome out = Convert(PackSmeta(c, v));
    ASSERT_TRUE(out.ok) << out.failure;
    std::string ids;
    const std::string xml = BodyLines(out.xml);
    const std::string tag = "\n      <Position ";  // an item of a chapter
    for (size_t at = xml.find(tag); at != std::string::npos; at = xml.find(tag, at + 1)) {
      const size_t id = xml.find("SysID=\"", at) + 7;
      ids += xml.substr(id, xml.find('"', id) - id) + " ";
    }
    EXPECT_EQ(ids, v < 0x10155 ? "1 2 3 " : "9 7 5 ") << v;
  }
}

// Links name positions of the estimate by index; the ones outside the list are
// dropped, and a linked position knows the one linking it.
TEST(Position, LinksResolveToPositionsOfTheEstimate) {
  Content c;
  c.chapters[0].items = {PositionItem({.caption = "А", .linked = {2, 9, -1}}),
                         PositionItem({.caption = "Б"}), PositionItem({.caption = "В"})};
  const std::string bytes = PackSmeta(c, kNewest);
  const auto model =
      LoadDocument(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), Conventions());
  const auto* estimate = dynamic_cast<const TSmeta*>(model.get());
  ASSERT_NE(estimate, nullptr);
  const std::vector<TSmetaPosition*>& positions = estimate->Positions();
  ASSERT_EQ(positions.size(), 3u);
  EXPECT_EQ(positions[0]->LinkedPositions(), std::vector<TSmetaPosition*>{positions[2]});
  EXPECT_EQ(positions[2]->ParentPosition(), positions[0]);
  for (const TSmetaPosition* unlinked : {positions[0], positions[1]}) {
    EXPECT_EQ(unlinked->ParentPosition(), nullptr);
  }
  EXPECT_TRUE(positions[1]->LinkedPositions().empty());
}

}  // namespace
}  // namespace kdx::test

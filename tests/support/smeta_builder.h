// Local estimates (document kind 0) written from content at any file version,
// for the tests and the sample tool. The body is written record by record in
// stream order, every field only in the versions that hold it; the layouts of
// older files (16-bit options, the region byte, the legacy price and index
// modes, the legacy coefficient and index blocks, the two lists of additional
// costs, the old signature forms, the old chapter form, the older position
// record by kind, the older quantity, resource and implementation forms) are
// derived from the same content. Chapters hold headers and positions
// (PositionItem); any other chapter item is written by a callback the caller
// gives with the item.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/builder.h"
#include "support/common_builder.h"

namespace kdx::test {

class SmetaBuilder;

namespace smeta {

// The estimate's file versions, oldest and newest.
inline constexpr int32_t kOldest = 0x00010100;
inline constexpr int32_t kNewest = 0x0001015F;

// Factors, rates and indexes are stored times 10000.
inline constexpr int32_t kOne = 10000;
// Factor slots: direct costs (the total of works for indexes and winter
// rises), basic wages, machine operation, machinists' wages, materials.
using Factors = std::array<int32_t, 5>;
inline constexpr Factors kNoChange = {kOne, kOne, kOne, kOne, kOne};

// A coefficient: the territorial correction, an item of a legacy coefficient
// table, the first part of a work-type coefficient. Files before 0x10104 keep
// the options as the old option byte, files before 0x10105 have no kind (a
// formula is then written as a coefficient without factors).
struct Coefficient {
  std::string caption;
  uint8_t kind = 0;  // 0 factors, 1 formula
  uint16_t options = 0x3FC;
  std::vector<std::pair<uint8_t, int32_t>> factors{};  // (slot, value)
  std::string formula{};
};

struct RegionalK {
  uint16_t options = 0x0005;
  int32_t wages = kOne;
};

// A coefficient that applies to work types, work-type groups and chapters.
struct WorkTypeCoefficient {
  Coefficient k;
  int8_t level = 1;
  bool all_chapters = true;
  bool all_work_types = true;
  std::vector<int16_t> chapters{}, groups84{}, work_types84{}, groups{}, work_types{};
};

struct WorkType {
  std::string caption;
  int32_t id = 0;
  int32_t nacl = 0, plan = 0;            // rates for the base level
  int32_t nacl_curr = 0, plan_curr = 0;  // rates for current prices
  uint8_t plan_mask = 0, nacl_mask = 0;  // cost parts the rates are taken from
  uint8_t os_column = 0;
  std::string index_code{};
  std::array<std::string, 3> nacl_k{}, plan_k{};  // by calculation method
};

struct WorkTypeGroup {
  std::string caption;
  int32_t id = 0;
  std::string index_code{};
  std::vector<WorkType> items{};
};

// A coded item: a winter rise, the first part of an index.
struct CodedItem {
  std::string caption;
  std::string code;
  Factors factors = kNoChange;
};

// An add-on of an index: a built-in kind (-1 overheads, -2 profit, -3 winter
// rise) or the 1-based position of an add-on type.
struct AddOn {
  std::string code;
  Factors factors = kNoChange;
  uint16_t options = 0;
  int8_t type = 0;
};

struct AddOnType {
  std::string caption;
  int8_t level = 1;
  bool active = true;
  uint8_t place = 0;
};

// An index of positions (with add-ons) or of resources (add-ons not written).
struct Index {
  CodedItem item;
  uint16_t options = 0;
  std::vector<AddOn> add_ons{};
};

// A common index given as a formula; options 0x400 is inactive.
struct CommonIndex {
  std::string caption{};
  std::string formula{};
  uint16_t options = 0x0400;
};

struct NaclPlan {
  int32_t nacl = 0, plan = 0;
  uint8_t plan_mask = 0, nacl_mask = 0;
};

struct CommonNPK {
  std::string common{};
  std::array<std::string, 3> methods{};
  uint8_t active = 7;
};

struct Winters {
  std::vector<CodedItem> items{};
  uint8_t mode = 0, link_mode = 0;
  uint16_t options = 0;
  CodedItem common{};
};

// An additional cost; the value is decimal text, 0 meaning that the formula
// applies. Files before 0x1012C hold the returned amount after a cost with the
// return option; chapters 14 and 15 hold the level.
struct AddZatr {
  std::string caption;
  std::string identifier{};
  uint16_t options = 0;
  std::string value = "0";
  std::string formula{};
  int8_t level = 1;
  std::string returned = "0";
};
// Chapters 8 to 15 of the consolidated calculation.
using AddZatrats = std::array<std::vector<AddZatr>, 8>;

// Files before 0x1014C hold the old forms: rows of role, two free columns
// (the first two attribute values) and signatory from 0x10149; before that one
// text per known role (IDs 100, 300, 310, 230, 240, 220), and before 0x1010E the
// text of ID 100 only, with the signatures in a block that is skipped.
using ::kdx::test::SignAttribute;
using ::kdx::test::Signature;
using ::kdx::test::Signatures;

struct Act {
  std::string caption;
  std::string number{};
  double making_date = 0;
  int16_t year = 0, month = 0, day_start = 0, day_finish = 0;
  std::vector<AddOnType> add_on_types{};
  std::vector<Index> indexes_pos{}, indexes_res{};
  uint8_t indexes_mode = 0;
  CommonIndex common_smr_lz{}, common_smr{}, common_res{};
  AddZatrats add_zatrs{};
  Signatures signatures{};
  int32_t mtsn_nakl_curr = 0, mtsn_plan_curr = 0;
};

// An item of a chapter: a header (type 0) with its caption, or any item whose
// record (after the type byte) the callback writes.
struct ChapterItem {
  uint8_t type = 0;
  std::string caption{};
  std::function<void(SmetaBuilder&)> record{};
};
ChapterItem Header(std::string caption);

struct Chapter {
  std::string caption;
  int32_t sys_id = -1;
  std::string index_code{};
  std::vector<ChapterItem> items{};
};

using ::kdx::test::Variable;

struct OptionalZone {
  int32_t region = 0;
  std::string region_name;
  uint8_t zone = 0;
  std::string zone_name;
};

struct DefectPosition {
  std::string quantity{};
  bool inactive = false;
  uint16_t flags = 0;
  std::string identifier{};
  int32_t pos_id = 0;  // the system ID of an estimate position (from 0x10155)
};
// A defect, or a header when `header` is set (then only the caption counts).
struct Defect {
  bool header = false;
  std::string caption{};
  std::string quantity{};
  bool inactive = false;
  uint16_t flags = 0;
  std::string identifier{};
  std::string code{}, units{};
  std::vector<DefectPosition> positions{};
};
struct DefectsChapter {
  std::string caption;
  std::vector<Defect> items{};
};
struct DefectsList {
  std::vector<DefectsChapter> chapters{};
  uint8_t merge_mode = 0;
};

// An item of the legacy blocks: caption, two values times 10000 and two
// lists of (key, value, value) entries. Design indexes use the caption and the
// values; the work-type index block uses the first item's values as the
// defaults x and y, its first entries keyed by group ID and its second
// entries keyed by work type ID; the skipped blocks hold such items too.
struct LegacyEntry {
  int32_t key = 0, first = kOne, second = kOne;
};
struct LegacyItem {
  std::string caption;
  int32_t a = kOne, b = kOne;
  std::vector<LegacyEntry> first{}, second{};
};

struct Resource {
  std::string caption, code, units;
};

// ---- positions ----
// Amounts are decimal text ("12,5" or "12.5"), the empty text meaning 0.

// The quantity of a position or of an act override: a number or a formula,
// with the multiplicity, the unit coefficient (positions only) and the
// rounding precision (6 means none). Files before 0x1015B (act overrides: before
// 0x1015C) hold the formula when there is one, else the number.
struct Quantity {
  std::string fx{};
  double value = 0;
  int8_t precision = 6;
  double k_mult = 1;
  double k_unit = 1;
};

// Slots of the prices for one unit: direct costs, basic wages, machine
// operation, machinists' wages, materials.
using UnitPrices = std::array<std::string, 5>;
// Formulas of the prices for one unit, by slot.
using PriceFormulas = std::array<std::string, 5>;

// A position's own overhead and profit rates (times 10000) and their cost-part
// masks: low byte profit, high byte overhead.
struct CustomNP {
  int32_t nacl = 0, plan = 0;
  uint16_t mask = 0;
};

// A coefficient of a position or of a resource. Positions keep the level from
// 0x10125 (before 0x10127 the reader numbers them by place instead).
struct LevelK {
  Coefficient k;
  int8_t level = 1;
};

// The data of a resource in one act (an index of the estimate's act list).
// Files before 0x10146 hold the act only; 0x1014B to 0x10157 the two current
// prices; from 0x10158 the price record with its texts.
struct ResourceOverride {
  int16_t act = 0;
  std::optional<uint16_t> index{};  // of the act's resource indexes
  std::string index_code{};
  std::string comment{};                  // justification of the current price
  std::array<std::string, 2> prices{};    // current price, its machinists' wages part
  std::array<std::string, 2> price_fx{};  // their texts
};

// The data of a position in one act: the quantity done, the index and the
// current prices for one unit (the direct-costs total and the formulas from
// 0x1015A).
struct PositionOverride {
  int16_t act = 0;
  std::optional<uint16_t> index{};  // of the act's position indexes
  std::string index_code{};
  std::string comment{};
  Quantity quantity{};
  UnitPrices prices{};
  std::string wholesale{};
  PriceFormulas fx{};
};

// The quantity done in one month, as files up to 0x10144 keep it instead of
// the act overrides (from which the reader makes the acts).
struct Period {
  int month = 1, year = 2000;
  double quantity = 0;
};

// Resource types, the type bytes of a resource list.
inline constexpr uint8_t kWorkers = 0, kMachinists = 1, kMachine = 2, kMaterial = 3;
// Bits of a resource's state: the price base's quantity is kept, replaced.
inline constexpr uint8_t kSnipSet = 0x01, kReplaced = 0x02;

// A resource of a position. Labour keeps its code, caption and grade (from
// 0x1013E; before that its quantity per unit lives in the position's price
// block, which the writer fills from the first labour resource of each
// kind); machines and materials point into the estimate's catalogue.
struct PositionResource {
  uint8_t type = kMaterial;
  std::string caption{}, code{};  // labour
  int16_t grade = 0;              // labour: the average grade times 10
  int32_t entry = 0;              // machines and materials: the catalogue entry
  std::string identifier{};
  uint8_t attribs = 0;  // kReplaced is added when there is a replaced resource
  uint16_t options = 0;
  std::optional<double> quantity_snip{};  // the price base's quantity
  double quantity = 0;
  // By column: current price, its second part (machinists' wages of a
  // machine), base price, its second part; texts from 0x10144.
  std::array<std::string, 4> prices{}, price_fx{};
  int32_t base_comment = -1, curr_comment = -1;  // entries of the shared rows
  std::optional<uint16_t> index{};               // of the resource indexes
  std::string index_code{};
  std::vector<LevelK> ks{};
  std::vector<ResourceOverride> implementation{};
  std::vector<PositionResource> replaced{};  // the resource this one replaced, at most one
};

// An estimate position. Files before 0x10123 hold the older record whose layout
// follows the kind byte: 0 a priced position (prices, work types, resources,
// works), 1 a lump sum (the direct costs, which count as materials), 2 a
// total with its current value; any other kind holds none of these. Fields
// the older record lacks are left out there.
struct Position {
  std::string caption{};
  uint8_t kind = 0;
  // Presence bits set besides those the content calls for: a field whose bit
  // the version looks at is then written (empty), other bits are only set.
  uint32_t mask_extra = 0;
  uint16_t options = 0;  // one byte before 0x10151
  int32_t number = 0;    // main number in the high 16 bits, sub-number in the low
  std::string code{}, units{}, comment{};
  int32_t sys_id = 0;  // from 0x10155
  std::string identifier{}, comment_ex{};
  Quantity quantity{};
  int32_t sb_id = 0, ras_id = 0;
  uint8_t db_flags = 0, price_level = 0, base_calc_mode = 0;
  std::array<CustomNP, 2> custom_np{};  // base, current
  UnitPrices base{}, curr{};
  std::array<std::string, 2> wholesale{};  // base, current
  std::array<PriceFormulas, 2> fx{};       // base, current
  std::array<std::string, 2> price_comments{};
  int32_t vr1984 = 0, vr2001 = 0;  // work type IDs
  // Coefficient texts of overhead and profit by calculation method (base,
  // base-index, resource); numbers before 0x10128, the first one from 0x10142.
  std::array<std::string, 3> nacl_k{}, plan_k{};
  std::vector<PositionResource> resources{};
  std::vector<int32_t> works{};  // entries of the works list
  std::vector<LevelK> ks{};
  // Index numbers of files before 0x10133, -1 for none: 2001 current,
  // 1984 to 2001, 1984 current, design.
  std::array<int16_t, 4> old_indexes = {-1, -1, -1, -1};
  std::optional<uint16_t> index{}, index8401{};  // of the position indexes
  std::string index_code{}, index8401_code{};
  std::optional<uint16_t> winter{};  // of the winter rises
  std::string db_comment{};
  int32_t bookmark = -1;
  uint16_t item_flags = 0;
  std::array<std::string, 10> user_data{};
  std::vector<PositionOverride> implementation{};  // from 0x10145
  std::vector<Period> periods{};                   // up to 0x10144
  std::vector<int16_t> linked{};                   // indexes of the estimate's positions
  int16_t performer = -1;
  std::vector<int16_t> excluded{};  // indexes of the work-type coefficients
  bool pz_unsinc = false;           // from 0x1015E
};
// A chapter item of type 1 that writes the position.
ChapterItem PositionItem(Position p);

// The content of an estimate. Scalar parameters default to the values an
// estimate has when its file does not hold them; the lists hold a small
// estimate.
struct Content {
  uint32_t options = 0x00002008;
  int32_t region_id = 77;  // files before 0x1010F keep it as a byte (see RegionByte)
  std::string region_name = "Москва";
  struct Zone {
    uint8_t id;
    std::string name;
  };
  std::array<Zone, 3> zones = {{{2, "2 зона"}, {1, "1 зона"}, {3, ""}}};
  uint8_t os_glava = 1, os_link_type = 3;
  std::array<uint8_t, 3> cc_glava = {2, 2, 2};
  RegionalK regional_k{.options = 0x0005, .wages = 11500};
  Coefficient ter_zone_k{.caption = "", .options = 0x0034, .factors = {{0, 10600}}};
  int32_t reserved = 0;
  std::string catalog_caption{};
  std::vector<WorkTypeGroup> work_types84 = {{.caption = "Общестроительные работы",
                                              .id = 1,
                                              .items = {{.caption = "Земляные работы",
                                                         .id = 1,
                                                         .nacl = 950000,
                                                         .plan = 500000,
                                                         .plan_mask = 10,
                                                         .nacl_mask = 10}}}};
  std::vector<WorkTypeGroup> work_types = {
      {.caption = "Строительные работы",
       .id = 10,
       .items = {{.caption = "Земляные работы, выполняемые механизированным способом",
                  .id = 1,
                  .nacl = 950000,
                  .plan = 500000,
                  .plan_mask = 10,
                  .nacl_mask = 10},
                 {.caption = "Бетонные и железобетонные конструкции монолитные",
                  .id = 6,
                  .nacl = 1050000,
                  .plan = 650000,
                  .plan_mask = 10,
                  .nacl_mask = 10}}}};
  uint8_t vr_base_calc = 1;      // 0 the 1984 list, 1 the 2001 list
  uint8_t base_price_level = 0;  // 0 prices of 2001, 1 of 1984
  // The legacy price mode P of files 0x10113 to 0x1012A (by default 1 for the
  // 2001 level, 3 for 1984) and the legacy index mode M of files 0x10113 to 0x10133.
  std::optional<uint8_t> legacy_price_mode{};
  uint8_t legacy_index_mode = 0;
  uint8_t base_calc_mode = 0, indexes_mode = 0, block_round_mode = 2;
  uint8_t itog_options = 4, itog_first_calc_item = 0;
  uint8_t mat_digits = 4, mat_round_mode = 1;
  uint8_t numbering_mode = 0;
  uint16_t numbering_options = 0;
  int8_t pos_k_round_factor = -2;
  uint8_t mult_k_pos_calc_mode = 0;
  std::string props_config_name{};
  bool props_config_modified = false;
  std::vector<Resource> resources = {{"Бетон тяжёлый, класс В15", "401-0066", "м3"}};
  std::vector<std::string> shared_rows = {"Прайс-лист поставщика"};
  std::vector<std::string> works = {"Бетонирование"};
  std::vector<std::string> performers = {"ООО «Стройподряд»"};
  std::vector<WorkTypeCoefficient> work_type_ks = {
      {.k = {.caption = "Стеснённые условия", .factors = {{1, 11500}, {3, 11500}}},
       .all_work_types = false,
       .work_types = {6}}};
  std::vector<AddOnType> add_on_types = {{.caption = "Непредвиденные затраты", .place = 2}};
  std::vector<Index> indexes_pos = {
      {.item = {"Строительные работы", "И-01", {81500, kOne, kOne, kOne, kOne}},
       .add_ons = {{.code = "НР", .factors = {kOne, 19500, kOne, 19500, kOne}, .type = -1},
                   {.code = "НЗ", .factors = {10200, kOne, kOne, kOne, kOne}, .type = 1}}}};
  std::vector<Index> indexes_res = {
      {.item = {"Материалы", "И-МТ", {kOne, kOne, kOne, kOne, 61000}}}};
  CommonIndex common_smr_lz{}, common_smr{}, common_res{};
  uint8_t indexes_link_mode = 0;
  std::array<std::string, 4> os_indexes{};
  std::array<std::vector<Coefficient>, 3> legacy_tables{};  // 0x10111 to 0x10130
  std::vector<LegacyItem> legacy_design_indexes{};          // 0x10114 to 0x10132
  std::vector<LegacyItem> legacy_work_type_indexes{};       // below 0x10133
  std::vector<LegacyItem> legacy_skipped{};                 // every skipped block
  std::array<NaclPlan, 2> common_nakl{};                    // base, current
  CommonNPK common_nk{}, common_pk{};
  std::array<int32_t, 2> mtsn_nakl = {980000, 0}, mtsn_plan = {770000, 0};
  Winters winters = {.items = {{"Жилые здания", "ЗУ-1", {10210, kOne, kOne, kOne, kOne}}},
                     .mode = 1,
                     .common = {"Общий", "ЗУ", {10150, kOne, kOne, kOne, kOne}}};
  uint8_t temp_zone = 1;
  std::vector<Act> acts = {{.caption = "Акт № 1 за март 2023 г.",
                            .number = "1",
                            .making_date = DateValue(2023, 3, 31),
                            .year = 2023,
                            .month = 3,
                            .day_start = 1,
                            .day_finish = 31}};
  int32_t current_act = 0;
  std::vector<Chapter> chapters = {
      {.caption = "Земляные работы", .sys_id = 1, .items = {Header("Разработка грунта")}}};
  AddZatrats add_zatrs = {
      {{},
       {{.caption = "Зимнее удорожание", .options = 0x0003, .value = "2,2"}},
       {},
       {},
       {},
       {},
       {{.caption = "НДС", .identifier = "НДС", .formula = "ИТОГО*20/100", .level = 2}},
       {}}};
  // Files 0x10103 to 0x1012B hold a second list for the other base level, which
  // is read and dropped.
  AddZatrats other_add_zatrs{};
  std::vector<Variable> variables = {{"Норма временных зданий, %", "НВР", "1,8"}};
  std::string index_file_name{};
  Signatures signatures = {
      .caption = "Подписи",
      .items = {{"Составил", 300, "Иванова А. П."}, {"Проверил", 310, "Петров С. В."}}};
  uint8_t itog_expand_to_item = 0;
  uint8_t tz_digits = 2;
  std::array<std::string, 10> user_data = {"Объект: жилой дом"};
  std::string comment = "Локальный сметный расчёт № 02-01-01";
  std::vector<OptionalZone> optional_zones = {{50, "Московская область", 1, "1 зона"}};
  DefectsList defects = {.chapters = {{.caption = "Фасад",
                                       .items = {{.caption = "Трещины штукатурки",
                                                  .quantity = "12,5",
                                                  .code = "Д-01",
                                                  .units = "м2",
                                                  .positions = {{.quantity = "12,5"}}}}}}};
};

// The region byte of files before 0x1010F: 661 and 662 have their own codes,
// other regions are kept as their tens.
uint8_t RegionByte(int32_t region_id);

}  // namespace smeta

// The part of a coded item (index, add-on, winter rise) after its head: the
// code, the presence byte and the factors other than 1.
void CodedFactors(DocBuilder& b, std::string_view code, const smeta::Factors& factors);
// An index record (as estimates and price-index documents store it): the head
// with the caption, the factors, the options (when stored) and the add-ons.
void WriteIndex(DocBuilder& b, const smeta::Index& index, bool with_options, bool with_add_ons);
// The list of add-on types: the count, then each type.
void WriteAddOnTypes(DocBuilder& b, const std::vector<smeta::AddOnType>& types);

// Writes estimate records at one file version.
class SmetaBuilder {
 public:
  explicit SmetaBuilder(int32_t version) : v_(version) {}

  int32_t Version() const { return v_; }
  DocBuilder& Out() { return b_; }
  const std::string& Bytes() const { return b_.Bytes(); }

  // The whole body: everything after the signature and the file version.
  SmetaBuilder& Estimate(const smeta::Content& c);

  // Records, in the order the estimate holds them.
  SmetaBuilder& Regional(const smeta::RegionalK& k);
  SmetaBuilder& K(const smeta::Coefficient& k);
  SmetaBuilder& WorkTypes(const std::vector<smeta::WorkTypeGroup>& groups);
  SmetaBuilder& WorkTypeKs(const std::vector<smeta::WorkTypeCoefficient>& ks);
  SmetaBuilder& AddOnTypes(const std::vector<smeta::AddOnType>& types);
  SmetaBuilder& Indexes(const std::vector<smeta::Index>& indexes, bool with_add_ons);
  SmetaBuilder& Common(const smeta::CommonIndex& index);
  SmetaBuilder& Coded(const smeta::CodedItem& item, bool with_caption = true);
  SmetaBuilder& NPK(const smeta::CommonNPK& k);
  SmetaBuilder& WinterCatalog(const smeta::Winters& w);
  SmetaBuilder& Acts(const std::vector<smeta::Act>& acts, int32_t current);
  SmetaBuilder& Chapters(const std::vector<smeta::Chapter>& chapters);
  SmetaBuilder& AddZatrs(const smeta::AddZatrats& list);
  SmetaBuilder& DocSignatures(const smeta::Signatures& s);
  SmetaBuilder& OldSignatures(const smeta::Signatures& s);
  SmetaBuilder& Defects(const smeta::DefectsList& list);
  SmetaBuilder& UserData(const std::array<std::string, 10>& data);
  // A position (the record after its type byte) and the rows it holds, in
  // stream order.
  SmetaBuilder& Position(const smeta::Position& p);
  SmetaBuilder& QuantityRow(const smeta::Quantity& q);
  SmetaBuilder& Resources(const std::vector<smeta::PositionResource>& list);
  SmetaBuilder& Resource(const smeta::PositionResource& r);
  // The price record of resources and act overrides: values, then texts.
  SmetaBuilder& Prices(const std::array<std::string, 4>& values,
                       const std::array<std::string, 4>& texts);
  SmetaBuilder& ResourceImplementation(const std::vector<smeta::ResourceOverride>& list);
  SmetaBuilder& PositionImplementation(const smeta::Position& p);
  SmetaBuilder& Works(const std::vector<int32_t>& works);
  SmetaBuilder& Formulas(const smeta::PriceFormulas& fx, uint8_t price_type);
  SmetaBuilder& Ks(const std::vector<smeta::LevelK>& ks, bool with_level);
  // Legacy blocks of older files.
  SmetaBuilder& LegacyItems(const std::vector<smeta::LegacyItem>& items);
  SmetaBuilder& LegacyShortItems(const std::vector<smeta::LegacyItem>& items,
                                 bool first_without_tail);

 private:
  // What the older files derive from the content.
  uint8_t LegacyPriceMode(const smeta::Content& c) const;
  uint8_t BasePriceLevel(const smeta::Content& c) const;
  uint8_t VrBaseCalc(const smeta::Content& c) const;

  void Parameters(const smeta::Content& c);
  void LegacyIndexes(const smeta::Content& c);
  void TwoAddZatrLists(const smeta::Content& c);
  void LegacyBlocks(const smeta::Content& c);
  void Closing(const smeta::Content& c);
  void Entries(const std::vector<smeta::LegacyEntry>& entries);
  void Links(const std::vector<int16_t>& ids);
  void DefectRow(std::optional<std::string_view> caption, const std::string& quantity,
                 bool inactive, uint16_t flags, const std::string& identifier);
  // The position's two layouts and the parts they share.
  void PositionCurrentForm(const smeta::Position& p);
  void PositionOlderForm(const smeta::Position& p);
  void PositionHead(const smeta::Position& p);
  void PositionBaseIds(const smeta::Position& p);
  void PriceBlock(const smeta::Position& p);
  void CoefficientTexts(const std::array<std::string, 3>& texts);
  template <typename Override>
  void OverrideHead(const Override& o);
  void PositionOverride(const smeta::PositionOverride& o);
  void ResourceOverride(const smeta::ResourceOverride& o);

  int32_t v_;
  DocBuilder b_;
};

// The body of the estimate at the version, and the packed document.
std::string SmetaBody(const smeta::Content& c, int32_t version);
std::string PackSmeta(const smeta::Content& c, int32_t version);

}  // namespace kdx::test

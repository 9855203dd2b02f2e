// The sample local estimate of a residential building's frame, chapters with
// headers only: its region and zones, calculation settings, work types with
// their overhead and profit rates, work-type coefficients, price indexes with
// add-ons, winter rises, overhead and profit in machinists' wages, additional
// costs, an act of completed work, variables, signatures, optional zones, a
// defects list and user data.
#include <string>
#include <utility>

#include "samples.h"
#include "support/smeta_builder.h"

namespace kdx::samples {
namespace {

using namespace kdx::test::smeta;
using kdx::test::DateValue;
using kdx::test::PackSmeta;

// Cost-part masks: wage fund (basic and machinists' wages), direct costs.
constexpr uint8_t kWageFund = 10;
constexpr uint8_t kDirectCosts = 1;

// Built-in add-on kinds.
constexpr int8_t kOverheads = -1;
constexpr int8_t kProfit = -2;
constexpr int8_t kWinterRise = -3;

// Estimate options: rounded positions, additional costs, separate wage fund,
// automatic indexes, overhead and profit in machinists' wages by the method.
constexpr uint32_t kOptions = 0x00002008 | 0x00004000 | 0x00020000 | 0x00000001;

// Coefficient options: base and current prices, the wages of workers and machinists.
constexpr uint16_t kWagesK = 0x0004 | 0x0008 | 0x0100 | 0x0200;

WorkType Rates(std::string caption, int32_t id, int32_t nacl, int32_t plan) {
  return {.caption = std::move(caption),
          .id = id,
          .nacl = nacl,
          .plan = plan,
          .nacl_curr = nacl * 85 / 100,
          .plan_curr = plan * 80 / 100,
          .plan_mask = kWageFund,
          .nacl_mask = kWageFund,
          .nacl_k = {"0,85", "0,85", "0,9"},
          .plan_k = {"0,8", "0,8", "0,85"}};
}

// An index with overheads and profit on the wage fund and a winter rise.
Index WorkIndex(std::string caption, std::string code, Factors factors, int32_t nacl,
                int32_t plan) {
  return {
      .item = {std::move(caption), code, factors},
      .add_ons = {
          {.code = "НР-" + code, .factors = {kOne, nacl, kOne, nacl, kOne}, .type = kOverheads},
          {.code = "СП-" + code, .factors = {kOne, plan, kOne, plan, kOne}, .type = kProfit},
          {.code = "ЗУ-" + code, .factors = {10210, kOne, kOne, kOne, kOne}, .type = kWinterRise}}};
}

}  // namespace

std::string Smeta() {
  Content c;
  c.options = kOptions;
  c.region_id = 50;
  c.region_name = "Московская область";
  c.zones = {{{1, "Базовый район (1984)"}, {2, "1 зона"}, {0, ""}}};
  c.os_glava = 2;
  c.os_link_type = 1;
  c.cc_glava = {2, 2, 7};
  c.regional_k = {.options = 0x0005, .wages = 11500};
  c.ter_zone_k = {
      .caption = "", .options = 0x0034, .factors = {{0, 10250}, {2, 10120}, {4, 10310}}};
  c.catalog_caption = "Справочник видов работ (МДС 81-33, МДС 81-25)";
  c.work_types84 = {{.caption = "Общестроительные работы",
                     .id = 1,
                     .items = {{.caption = "Земляные работы",
                                .id = 1,
                                .nacl = 950000,
                                .plan = 500000,
                                .plan_mask = kWageFund,
                                .nacl_mask = kWageFund}}}};
  c.work_types = {
      {.caption = "Строительные работы",
       .id = 10,
       .index_code = "И-СМР",
       .items = {Rates("Земляные работы, выполняемые механизированным способом", 1, 950000, 500000),
                 Rates("Бетонные и железобетонные конструкции монолитные", 6, 1050000, 650000),
                 Rates("Конструкции из кирпича и блоков", 8, 1220000, 800000)}},
      {.caption = "Монтажные работы",
       .id = 20,
       .items = {{.caption = "Монтаж металлических конструкций",
                  .id = 9,
                  .nacl = 900000,
                  .plan = 850000,
                  .plan_mask = kDirectCosts,
                  .nacl_mask = kWageFund,
                  .os_column = 1,
                  .index_code = "И-МОНТ"}}}};
  c.base_calc_mode = 1;
  c.indexes_mode = 1;
  c.itog_options = 0x05;
  c.itog_first_calc_item = 1;
  c.mat_digits = 3;
  c.numbering_mode = 1;
  c.numbering_options = 0x0001;
  c.pos_k_round_factor = -3;
  c.mult_k_pos_calc_mode = 2;
  c.props_config_name = "Базисно-индексный метод, Московская область";
  c.resources = {{"Бетон тяжёлый, класс В25 (М350)", "401-0086", "м3"},
                 {"Арматура класса А500С, диаметр 12 мм", "204-0024", "т"},
                 {"Кран башенный, грузоподъёмность 8 т", "021102", "маш.час"}};
  c.shared_rows = {"Прайс-лист ООО «БетонСнаб» от 01.03.2023", "Счёт № 118 от 14.02.2023"};
  c.works = {"Армирование", "Бетонирование", "Кладка"};
  c.performers = {"ООО «Стройподряд»", "ИП Сергеев А. В."};
  c.work_type_ks = {{.k = {.caption = "Производство работ в стеснённых условиях",
                           .options = kWagesK,
                           .factors = {{1, 11500}, {2, 11500}, {3, 11500}}},
                     .all_work_types = false,
                     .work_types = {6, 8}},
                    {.k = {.caption = "Работы на высоте более 15 м",
                           .kind = 1,
                           .options = 0x000C,
                           .formula = "ОЗП=1,1;ЗПМ=1,1"},
                     .level = 2,
                     .all_chapters = false,
                     .chapters = {3}}};
  c.add_on_types = {{.caption = "Непредвиденные работы и затраты", .level = 2, .place = 2},
                    {.caption = "Временные здания и сооружения", .place = 1}};
  c.indexes_pos = {
      WorkIndex("Земляные работы", "01-01", {81200, 265300, 74500, 265300, 59700}, 18000, 14500),
      WorkIndex("Бетонные и железобетонные конструкции монолитные", "06-01",
                {79800, 265300, 92100, 265300, 68400}, 20500, 16500),
      {.item = {"Металлические конструкции", "09-03", {88400, 265300, 83100, 265300, 76200}},
       .options = 0x0001,
       .add_ons = {{.code = "ВЗиС", .factors = {10180, kOne, kOne, kOne, kOne}, .type = 2},
                   {.code = "НЗ", .factors = {10200, kOne, kOne, kOne, kOne}, .type = 1}}}};
  c.indexes_res = {{.item = {"Материалы", "И-МТ", {kOne, kOne, kOne, kOne, 61400}}},
                   {.item = {"Эксплуатация машин", "И-ЭМ", {kOne, kOne, 92100, kOne, kOne}}}};
  c.common_smr_lz = {.caption = "Индекс на прочие затраты", .formula = "8,15", .options = 0};
  c.indexes_link_mode = 1;
  c.os_indexes = {"И-СМР", "И-МОНТ", "", "И-ПР"};
  c.common_nakl = {
      {{.nacl = 1120000, .plan = 650000, .plan_mask = kWageFund, .nacl_mask = kWageFund},
       {.nacl = 950000, .plan = 520000, .plan_mask = kWageFund, .nacl_mask = kWageFund}}};
  c.common_nk = {.common = "0,9", .methods = {"0,85", "0,85", ""}, .active = 3};
  c.common_pk = {.common = "0,85", .methods = {"0,8", "0,8", ""}, .active = 3};
  c.mtsn_nakl = {1000000, 950000};
  c.mtsn_plan = {770000, 650000};
  c.winters = {.items = {{"Жилые здания", "ЗУ-1", {10210, kOne, kOne, kOne, kOne}},
                         {"Монолитные конструкции", "ЗУ-2", {10330, kOne, kOne, kOne, kOne}}},
               .mode = 1,
               .link_mode = 0,
               .options = 0x0001,
               .common = {"Общий коэффициент", "ЗУ", {10250, kOne, kOne, kOne, kOne}}};
  c.temp_zone = 2;
  c.acts = {
      {.caption = "Акт о приёмке выполненных работ № 1",
       .number = "1",
       .making_date = DateValue(2023, 3, 31),
       .year = 2023,
       .month = 3,
       .day_start = 1,
       .day_finish = 31,
       .add_on_types = {{.caption = "Непредвиденные работы и затраты", .level = 2, .place = 2}},
       .indexes_pos = {WorkIndex("Земляные работы", "01-01", {82100, 268400, 75200, 268400, 60300},
                                 18000, 14500)},
       .indexes_mode = 1,
       .common_smr = {.caption = "Индекс на I квартал 2023 г.", .formula = "8,42", .options = 0},
       .add_zatrs = {{{}, {{.caption = "Зимнее удорожание", .options = 0x0003, .value = "2,2"}}}},
       .signatures = {.caption = "Подписи акта",
                      .items = {{"Сдал", 400, "Сергеев А. В."}, {"Принял", 410, "Орлов К. М."}}},
       .mtsn_nakl_curr = 950000,
       .mtsn_plan_curr = 650000}};
  c.current_act = 0;
  c.chapters = {{.caption = "Земляные работы",
                 .sys_id = 1,
                 .items = {Header("Разработка котлована"), Header("Обратная засыпка пазух")}},
                {.caption = "Фундаменты",
                 .sys_id = 2,
                 .index_code = "06-01",
                 .items = {Header("Фундаментная плита"), Header("Гидроизоляция"),
                           Header("Устройство подготовки")}},
                {.caption = "Каркас",
                 .sys_id = 3,
                 .items = {Header("Колонны и пилоны"), Header("Перекрытия"), Header("Лестницы")}},
                {.caption = "Кровля", .sys_id = 4}};
  c.add_zatrs = {
      {{{.caption = "Временные здания и сооружения",
         .identifier = "ВЗиС",
         .options = 0x0003,
         .value = "1,8"}},
       {{.caption = "Зимнее удорожание", .identifier = "ЗУ", .options = 0x0003, .value = "2,2"},
        {.caption = "Перевозка рабочих", .options = 0x0002, .formula = "ГЛ1_8.СМР*0,5/100"}},
       {},
       {},
       {},
       {},
       {{.caption = "Непредвиденные затраты",
         .identifier = "НЕПР",
         .options = 0x0001,
         .value = "2"},
        {.caption = "НДС", .identifier = "НДС", .formula = "ИТОГО*20/100", .level = 2}},
       {}}};
  c.variables = {{"Норма временных зданий и сооружений, %", "НВР", "1,8"},
                 {"Норма зимнего удорожания, %", "НЗУ", "2,2"},
                 {"Ставка НДС, %", "СНДС", "20"}};
  c.index_file_name = "Индексы МО 1 кв 2023.kdx";
  c.signatures = {
      .caption = "Подписи",
      .items = {{"Составил", 300, "Иванова А. П.", {{"Должность", 1, "ведущий инженер-сметчик"}}},
                {"Проверил",
                 310,
                 "Петров С. В.",
                 {{"Должность", 1, "главный специалист"}, {"Организация", 2, "ООО «Проект»"}}},
                {"Заказчик", 230, "Орлов К. М."}}};
  c.itog_expand_to_item = 1;
  c.tz_digits = 3;
  c.user_data = {"Жилой дом № 3, секции 1-2", "", "Шифр 14/23-КЖ"};
  c.comment = "Локальный сметный расчёт № 02-01-01 на устройство каркаса";
  c.optional_zones = {{77, "Москва", 1, "Базовый район"}, {69, "Тверская область", 2, "2 зона"}};
  c.defects = {.chapters = {{.caption = "Фундаменты",
                             .items = {{.header = true, .caption = "Фундаментная плита"},
                                       {.caption = "Трещины в бетоне плиты",
                                        .quantity = "12,5",
                                        .flags = 0x0001,
                                        .identifier = "Д1",
                                        .code = "Д-01",
                                        .units = "м",
                                        .positions = {{.quantity = "Д1*1,1"}, {.quantity = "2"}}},
                                       {.caption = "Оголение арматуры",
                                        .quantity = "3",
                                        .inactive = true,
                                        .code = "Д-02",
                                        .units = "м2"}}}},
               .merge_mode = 1};
  return PackSmeta(c, kNewest);
}

}  // namespace kdx::samples

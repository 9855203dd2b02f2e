// The sample local estimate of a residential building's frame, and estimates
// of the same kind of any size: chapters by kind of work with headers and
// positions taken from a table of priced works (labour of workers and
// machinists, machines and materials from the estimate's catalogue, some of
// them replaced), coefficients of positions and resources, price indexes,
// winter rises, own overhead and profit, works and performers, three acts of
// completed work with the quantities and prices of each position and some
// resources, linked positions and a defects list that points at positions;
// around them the region and zones, calculation settings, work types with
// their rates, work-type coefficients, additional costs, variables,
// signatures, optional zones and user data.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "samples/samples.h"
#include "support/smeta_builder.h"

namespace kdx::samples {
namespace {

using namespace kdx::test::smeta;
using kdx::test::DateValue;
using kdx::test::PackSmeta;

// Positions of the bundled sample.
constexpr size_t kSamplePositions = 200;

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
// Base and current prices of materials only.
constexpr uint16_t kMaterialsK = 0x0004 | 0x0008;

// Position options and price levels.
constexpr uint16_t kTechK = 0x0001, kInactive = 0x0010;
constexpr uint8_t kCurrentLevel = 0, kLevel2001 = 1;

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

// ---- the catalogue and the priced works ----

// An entry of the estimate's catalogue with its prices for one unit at the
// base and the current level (machines: and the machinists' wages in them).
struct Entry {
  const char* caption;
  const char* code;
  const char* units;
  double base, curr;
  double base_wages = 0, curr_wages = 0;
};

constexpr Entry kCatalogue[] = {
    // Machines.
    {"Экскаваторы одноковшовые дизельные на гусеничном ходу, ёмкость ковша 0,65 м3", "91.01.05-085",
     "маш.час", 118.0, 1450.2, 13.5, 345.1},
    {"Бульдозеры, мощность 79 кВт (108 л.с.)", "91.01.01-035", "маш.час", 89.99, 1120.45, 10.06,
     267.3},
    {"Краны башенные, грузоподъёмность 8 т", "91.05.01-017", "маш.час", 86.4, 1020.8, 13.5, 358.2},
    {"Автобетононасосы, производительность 65 м3/ч", "91.07.04-002", "маш.час", 222.57, 2896.1,
     15.73, 412.0},
    {"Вибраторы глубинные", "91.07.08-011", "маш.час", 1.9, 21.13},
    {"Катки дорожные самоходные гладкие, масса 8 т", "91.13.01-038", "маш.час", 65.46, 801.38,
     10.06, 267.3},
    {"Автомобили бортовые, грузоподъёмность до 5 т", "91.14.02-001", "маш.час", 65.71, 835.1, 7.78,
     206.4},
    {"Лебёдки электрические тяговым усилием до 5,79 кН", "91.06.03-058", "", 1.7, 20.4},
    {"Аппараты сварочные для ручной дуговой сварки", "91.17.04-233", "маш.час", 8.1, 96.58},
    {"Подъёмники мачтовые строительные, грузоподъёмность 0,5 т", "91.06.01-003", "маш.час", 29.6,
     351.22, 10.06, 267.3},
    // Materials.
    {"Бетон тяжёлый, класс В7,5 (М100)", "401-0006", "м3", 535.9, 4750},
    {"Бетон тяжёлый, класс В25 (М350)", "401-0086", "м3", 665.0, 5980},
    {"Арматура класса А500С, диаметр 12 мм", "204-0024", "т", 7418.0, 58400},
    {"Арматура класса А240, диаметр 8 мм", "204-0002", "т", 7950.0, 61200},
    {"Щиты опалубки инвентарные", "102-0115", "м2", 54.9, 420},
    {"Песок природный для строительных работ средний", "408-0122", "м3", 55.26, 640},
    {"Щебень М 800, фракция 20-40 мм", "408-0015", "м3", 95.0, 1380},
    {"Кирпич керамический одинарный М150", "404-0005", "1000 шт", 1680.0, 15200},
    {"Раствор готовый кладочный цементный М100", "402-0004", "м3", 485.9, 3950},
    {"Битум нефтяной строительный БН-90/10", "101-0594", "т", 1383.0, 21500},
    {"Материал рулонный кровельный наплавляемый", "101-2744", "м2", 32.4, 215},
    {"Плиты минераловатные теплоизоляционные, плотность 125 кг/м3", "104-0006", "м3", 890.0, 7600},
    {"Профилированный лист оцинкованный С44-1000-0,7", "201-0780", "т", 10650.0, 94000},
    {"Электроды диаметром 4 мм Э42", "101-1513", "т", 10315.01, 112000},
    {"Гвозди строительные", "101-1805", "т", 11978.0, 98000},
    {"Доски обрезные хвойных пород, толщина 40 мм, III сорт", "102-0061", "м3", 1100.0, 9800},
    {"Вода", "411-0001", "м3", 2.44, 38.6},
    {"Смесь сухая штукатурная гипсовая", "101-3950", "кг", 2.15, 11.2},
    {"Грунтовка глубокого проникновения", "101-4345", "кг", 10.95, 95},
    {"Краска водно-дисперсионная акриловая", "101-4455", "кг", 21.8, 168},
    {"Профиль стальной оцинкованный направляющий", "201-0911", "м", 7.76, 64},
    {"Листы гипсокартонные ГКЛ 12,5 мм", "101-2496", "м2", 18.4, 165},
    {"Двутавры стальные горячекатаные № 30", "201-0755", "т", 8970.0, 87500},
    {"Цемент общестроительного назначения М400", "101-1668", "т", 550.0, 6900},
    // Materials that replace others of the same unit.
    {"Бетон тяжёлый, класс В10 (М150)", "401-0008", "м3", 561.4, 4980},
    {"Бетон тяжёлый, класс В25 (М350), W6, F150", "401-0086-1", "м3", 689.0, 6240},
    {"Арматура класса А500С, диаметр 14 мм", "204-0025", "т", 7322.0, 57600},
    {"Кирпич керамический лицевой пустотелый М175", "404-0027", "1000 шт", 2140.0, 21800},
    {"Плиты пенополистирольные ППС-25", "104-0031", "м3", 640.0, 5300},
    {"Краска интерьерная акриловая моющаяся", "101-4460", "кг", 28.4, 236},
};
// Materials and the ones that may replace them.
constexpr std::pair<int32_t, int32_t> kReplacements[] = {{10, 34}, {11, 35}, {12, 36},
                                                         {17, 37}, {21, 38}, {29, 39}};
constexpr int32_t kFirstMaterial = 10;
constexpr size_t kEntries = std::size(kCatalogue);

// Hourly base wages of the grade 1 worker and of machinists.
constexpr double kWorkerWage = 7.8;
constexpr double kMachinistWage = 9.62;

// Kinds of work: the chapter caption, the headers inside it, the 2001 work
// type, the position index, the winter rise and the work of the works list.
struct Kind {
  const char* chapter;
  const char* headers[3];
  int32_t work_type;
  int index, winter, work;
};

constexpr Kind kKinds[] = {
    {"Земляные работы", {"Разработка котлована", "Обратная засыпка", "Планировка"}, 1, 0, 0, 0},
    {"Фундаменты", {"Подготовка", "Фундаментная плита", "Гидроизоляция"}, 6, 1, 1, 1},
    {"Каркас", {"Колонны", "Перекрытия", "Металлические конструкции"}, 6, 1, 1, 2},
    {"Стены и перегородки", {"Наружные стены", "Перегородки", "Утепление"}, 8, -1, 0, 4},
    {"Кровля", {"Основание", "Покрытие", "Водосток"}, 8, -1, -1, 5},
    {"Отделочные работы", {"Штукатурка", "Окраска", "Облицовка"}, 8, -1, -1, 6},
};
constexpr size_t kKindsCount = std::size(kKinds);

struct Use {
  int32_t entry;    // machines come before kFirstMaterial in the catalogue
  double quantity;  // per unit of the position
};

// A priced work: its kind, code and unit, the labour of workers (with their
// grade times 10) and of machinists per unit, a typical quantity; its name;
// the machines and materials per unit.
struct Norm {
  size_t kind;
  const char* code;
  const char* units;
  double workers;
  int16_t grade;
  double machinists;
  double typical;
};
struct Work {
  Norm norm;
  const char* caption;
  std::vector<Use> uses;
};

const std::vector<Work>& Works() {
  static const std::vector<Work> works = {
      {{0, "ФЕР01-01-013-14", "1000 м3", 12.1, 28, 28.63, 2.4},
       "Разработка грунта с погрузкой на автомобили-самосвалы экскаваторами с ковшом вместимостью "
       "0,65 м3, группа грунтов 2",
       {{0, 28.63}, {1, 3.65}}},
      {{0, "ФЕР01-01-033-02", "1000 м3", 0, 0, 7.2, 1.1},
       "Засыпка траншей и котлованов бульдозерами мощностью 79 кВт, группа грунтов 2",
       {{1, 7.2}}},
      {{0, "ФЕР01-02-005-01", "100 м3", 14.3, 20, 0, 6.5},
       "Уплотнение грунта пневматическими трамбовками, группа грунтов 1-2",
       {}},
      {{0, "ФЕР01-02-057-02", "100 м3", 154, 10, 0, 0.35},
       "Разработка грунта вручную в траншеях глубиной до 2 м без креплений, группа грунтов 2",
       {}},
      {{1, "ФЕР06-01-001-01", "100 м3", 180, 28, 18, 0.42},
       "Устройство бетонной подготовки",
       {{3, 18}, {4, 35.2}, {10, 102}, {26, 3.2}}},
      {{1, "ФЕР06-01-001-16", "100 м3", 328, 30, 27.1, 3.8},
       "Устройство фундаментных плит железобетонных плоских",
       {{3, 18.5}, {2, 8.6}, {4, 43}, {11, 101.5}, {12, 5.92}, {14, 26.4}}},
      {{1, "ФЕР08-01-003-07", "100 м2", 20.6, 30, 0.26, 7.6},
       "Гидроизоляция боковая обмазочная битумная в 2 слоя по выровненной поверхности бетона",
       {{6, 0.26}, {19, 0.48}}},
      {{1, "ФЕР11-01-002-01", "1 м3", 1.43, 25, 0.1, 86},
       "Устройство подстилающих слоёв песчаных",
       {{5, 0.1}, {15, 1.1}}},
      {{2, "ФЕР06-01-026-04", "100 м3", 1205, 35, 61.3, 0.48},
       "Устройство железобетонных колонн в деревянной опалубке высотой до 4 м, периметром до 2 м",
       {{2, 61.3}, {4, 90}, {11, 101.5}, {13, 0.62}, {12, 9.8}, {25, 0.54}}},
      {{2, "ФЕР06-01-041-01", "100 м3", 1033, 35, 42.6, 1.2},
       "Устройство перекрытий безбалочных толщиной до 200 мм",
       {{2, 42.6}, {3, 9.1}, {4, 63}, {11, 101.5}, {12, 8.4}, {14, 498}}},
      {{2, "ФЕР09-03-002-01", "1 т конструкций", 19.4, 40, 2.4, 14.2},
       "Монтаж колонн одноэтажных и многоэтажных зданий высотой до 25 м",
       {{2, 2.4}, {8, 2.2}, {32, 1}, {23, 0.0056}}},
      {{2, "ФЕР09-03-012-01", "1 т конструкций", 42, 40, 3.1, 3.6},
       "Монтаж связей и распорок из одиночных и парных уголков",
       {{2, 3.1}, {8, 6.4}, {23, 0.011}}},
      {{3, "ФЕР08-02-001-01", "1 м3", 5.4, 32, 0.4, 124},
       "Кладка стен кирпичных наружных простых при высоте этажа до 4 м",
       {{9, 0.4}, {6, 0.03}, {17, 0.394}, {18, 0.24}, {26, 0.11}}},
      {{3, "ФЕР08-02-002-03", "100 м2", 152, 30, 2.3, 4.1},
       "Кладка перегородок из кирпича армированных толщиной в 1/2 кирпича",
       {{9, 2.3}, {17, 5.3}, {18, 2.9}, {13, 0.07}}},
      {{3, "ФЕР26-01-041-01", "1 м3", 1.85, 27, 0.05, 58},
       "Изоляция покрытий и перекрытий изделиями из волокнистых и зернистых материалов насухо",
       {{7, 0.05}, {21, 1.02}}},
      {{4, "ФЕР12-01-002-09", "100 м2", 24.8, 30, 0.64, 9.2},
       "Устройство кровель плоских из наплавляемых материалов в два слоя",
       {{9, 0.64}, {20, 232}, {19, 0.05}}},
      {{4, "ФЕР12-01-020-01", "100 м2", 44, 33, 1.2, 5.5},
       "Устройство кровель из профилированного листа",
       {{2, 1.2}, {22, 0.73}, {24, 0.002}}},
      {{4, "ФЕР12-01-017-01", "100 м2", 38, 28, 0.4, 9.2},
       "Устройство выравнивающих стяжек цементно-песчаных толщиной 15 мм",
       {{9, 0.4}, {18, 1.53}, {33, 0.012}}},
      {{5, "ФЕР15-02-016-03", "100 м2", 75.3, 30, 0.9, 18},
       "Штукатурка поверхностей внутри здания цементно-известковым раствором простая по стенам",
       {{9, 0.9}, {27, 1220}, {26, 0.56}}},
      {{5, "ФЕР15-04-005-01", "100 м2", 22.7, 33, 0.02, 26},
       "Окраска поливинилацетатными водоэмульсионными составами простая по штукатурке",
       {{9, 0.02}, {29, 37}, {28, 17}}},
      {{5, "ФЕР10-05-001-01", "100 м2", 94.5, 35, 0.25, 3.3},
       "Устройство перегородок из гипсокартонных листов на металлическом каркасе",
       {{9, 0.25}, {31, 210}, {30, 130}}},
  };
  return works;
}

// Position coefficients: crowded conditions, dismantling (a formula), work
// near operating equipment.
LevelK PositionK(uint64_t r) {
  switch (r % 3) {
    case 0:
      return {.k = {.caption = "Производство работ в стеснённых условиях",
                    .options = kWagesK,
                    .factors = {{1, 11500}, {3, 11500}}}};
    case 1:
      return {.k = {.caption = "Разборка конструкций",
                    .kind = 1,
                    .options = 0x000C,
                    .formula = "ОЗП=0,8;ЭМ=0,8;ЗПМ=0,8;МАТ=0"},
              .level = 2};
    default:
      return {.k = {.caption = "Вблизи действующего оборудования",
                    .options = kWagesK,
                    .factors = {{0, 11000}, {1, 12000}, {2, 11500}, {3, 12000}}}};
  }
}

// Amounts in the two decimals of prices.
std::string Money(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

double Round(double value, double step) { return std::round(value / step) * step; }

// SplitMix64: a fixed sequence of choices per position, the same on every run.
class Choices {
 public:
  explicit Choices(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  bool OneIn(uint64_t n) { return Next() % n == 0; }
  // A factor between lo and hi.
  double Between(double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(Next() % 10000) / 10000.0;
  }

 private:
  uint64_t state_;
};

// The estimate's parameters, catalogues and closing parts.
Content Parameters() {
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
  c.shared_rows = {"Прайс-лист ООО «БетонСнаб» от 01.03.2023", "Счёт № 118 от 14.02.2023"};
  c.performers = {"ООО «Стройподряд»", "ИП Сергеев А. В.", "ООО «МонолитСтрой»"};
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
  return c;
}

// The acts of completed work: March, April and May 2023.
constexpr int16_t kActMonths[] = {3, 4, 5};
constexpr int16_t kActLastDays[] = {31, 30, 31};
constexpr int kActYear = 2023;

// Positions of a chapter between two headers.
constexpr size_t kPositionsPerHeader = 12;
// Positions of a chapter when the estimate has more than one chapter per kind.
constexpr size_t kPositionsPerChapter = 400;

const std::vector<const Work*>& WorksOfKind(size_t kind) {
  static const auto by_kind = [] {
    std::vector<std::vector<const Work*>> lists(kKindsCount);
    for (const Work& w : Works()) lists[w.norm.kind].push_back(&w);
    return lists;
  }();
  return by_kind[kind];
}

double WorkerWage(int16_t grade) { return kWorkerWage * (1 + (grade - 10) / 40.0); }

PositionResource Mapped(const Use& use, uint8_t type) {
  const Entry& e = kCatalogue[static_cast<size_t>(use.entry)];
  return {.type = type,
          .entry = use.entry,
          .quantity = use.quantity,
          .prices = {Money(e.curr), Money(e.curr_wages), Money(e.base), Money(e.base_wages)}};
}

// The works list: one per kind of work, reinforcement and steel erection.
constexpr int32_t kReinforcement = 2, kSteelErection = 3;

// A material bought at a supplier's price, its own position at the current level.
Position Purchase(Choices& rnd, Position p) {
  const auto entry = static_cast<size_t>(kFirstMaterial) +
                     static_cast<size_t>(rnd.Next() % (kEntries - kFirstMaterial));
  const Entry& e = kCatalogue[entry];
  p.caption = e.caption;
  p.code = "Прайс-лист";
  p.units = e.units;
  p.quantity.value = Round(rnd.Between(0.5, 40), 0.01);
  p.price_level = kCurrentLevel;
  const double price = e.curr * rnd.Between(0.9, 1.1);
  p.base = {Money(e.base), "", "", "", Money(e.base)};
  p.curr = {Money(price), "", "", "", Money(price)};
  p.wholesale = {"", Money(price * 0.96)};
  p.price_comments = {"", "Прайс-лист ООО «БетонСнаб» от 01.03.2023"};
  return p;
}

// Position i of the estimate (0-based over all chapters), the n-th of its
// chapter, of the chapter's kind of work; every choice follows from i.
// Positions are numbered by chapter ("2.14" is the 14th of the second one).
Position MakePosition(size_t i, size_t kind_index, size_t chapter, size_t n, size_t positions) {
  Choices rnd(i);
  const Kind& kind = kKinds[kind_index];
  Position p{.number = static_cast<int32_t>((chapter + 1) << 16 | (n + 1)),
             .sys_id = static_cast<int32_t>(i + 1),
             .price_level = kLevel2001,
             .performer = static_cast<int16_t>(chapter % 3)};
  if (rnd.OneIn(10)) return Purchase(rnd, std::move(p));

  const auto& works = WorksOfKind(kind_index);
  const Work& w = *works[rnd.Next() % works.size()];
  const Norm& norm = w.norm;
  const bool steel = std::string_view(norm.code).starts_with("ФЕР09");
  p.caption = w.caption;
  p.code = norm.code;
  p.units = norm.units;
  p.sb_id = 1;
  p.ras_id = static_cast<int32_t>(&w - Works().data()) + 1000;
  p.quantity.value = Round(norm.typical * rnd.Between(0.3, 2.5), 0.001);
  if (rnd.OneIn(20)) p.quantity.precision = 2;
  if (rnd.OneIn(30)) p.quantity.k_mult = 2;  // two equal sections
  p.vr2001 = steel ? 9 : kind.work_type;
  if (kind.work_type == 1) p.vr1984 = 1;
  if (kind.index >= 0) p.index = static_cast<uint16_t>(steel ? 2 : kind.index);
  if (kind.winter >= 0) p.winter = static_cast<uint16_t>(kind.winter);
  p.works = {steel ? kSteelErection : kind.work};
  if (kind.work == 1 && !steel && rnd.OneIn(2)) p.works.push_back(kReinforcement);

  // Resources and the prices they make.
  double oz = 0, em = 0, zm = 0, mt = 0;
  if (norm.workers > 0) {
    p.resources.push_back({.type = kWorkers, .grade = norm.grade, .quantity = norm.workers});
    oz = norm.workers * WorkerWage(norm.grade);
  }
  if (norm.machinists > 0) {
    p.resources.push_back({.type = kMachinists, .quantity = norm.machinists});
    zm = norm.machinists * kMachinistWage;
  }
  bool first_material = true;
  for (const Use& use : w.uses) {
    const double cost = use.quantity * kCatalogue[static_cast<size_t>(use.entry)].base;
    if (use.entry < kFirstMaterial) {
      PositionResource r = Mapped(use, kMachine);
      if (rnd.OneIn(3)) r.index = 1;
      em += cost;
      p.resources.push_back(std::move(r));
      continue;
    }
    PositionResource r = Mapped(use, kMaterial);
    if (rnd.OneIn(2)) r.index = 0;
    if (rnd.OneIn(8)) r.base_comment = 0, r.curr_comment = 1;
    if (rnd.OneIn(5)) r.attribs = kSnipSet, r.quantity_snip = use.quantity;
    if (rnd.OneIn(15)) r.options = rnd.OneIn(2) ? 0x0001 : 0x0002;  // Project, OwnerMat
    if (rnd.OneIn(12)) {
      r.ks = {{.k = {.caption = "Норма расхода", .options = kMaterialsK, .factors = {{4, 10300}}}}};
    }
    for (const auto& [material, other] : kReplacements) {
      if (!first_material || material != use.entry || !rnd.OneIn(3)) continue;
      PositionResource replacement = Mapped({other, use.quantity}, kMaterial);
      replacement.replaced = {std::move(r)};
      r = std::move(replacement);
    }
    first_material = false;
    mt += cost;
    p.resources.push_back(std::move(r));
  }
  p.base = {Money(oz + em + mt), Money(oz), Money(em), Money(zm), Money(mt)};
  if (mt > 0 && rnd.OneIn(30)) {
    std::string price = Money(mt);
    std::replace(price.begin(), price.end(), '.', ',');
    p.fx[0][4] = price + "*1,02";  // materials with transport
  }

  // Coefficients, rates and texts.
  if (rnd.OneIn(6)) p.ks = {PositionK(rnd.Next())};
  if (rnd.OneIn(25)) p.excluded = {0};
  if (rnd.OneIn(15)) {
    p.options |= 0x0006;  // own overhead and profit at both levels
    p.custom_np = {{{.nacl = 1050000, .plan = 650000, .mask = 0x0A0A},
                    {.nacl = 890000, .plan = 520000, .mask = 0x0A0A}}};
  }
  if (rnd.OneIn(4)) p.nacl_k = {"0,85", "0,85", "0,85"}, p.plan_k = {"0,8", "0,8", "0,8"};
  if (rnd.OneIn(30)) p.options |= kTechK;
  if (rnd.OneIn(50)) p.options |= kInactive;
  if (rnd.OneIn(12)) p.comment = "Объём по проекту 14/23-КЖ, лист " + std::to_string(i % 40 + 1);
  if (rnd.OneIn(40)) p.identifier = "П" + std::to_string(i + 1);
  if (rnd.OneIn(10)) p.db_flags = 0x01, p.db_comment = "Нормы учитывают работу в условиях стройки";
  if (rnd.OneIn(15)) p.price_comments[0] = "ФЕР-2001, редакция 2014 г.";
  if (rnd.OneIn(60)) p.bookmark = static_cast<int32_t>(i % 10);
  if (rnd.OneIn(35)) p.item_flags = static_cast<uint16_t>(1u << (i % 4));
  if (rnd.OneIn(25) && i + 1 < positions && i + 1 <= 0x7FFF) {
    p.linked = {static_cast<int16_t>(i + 1)};
  }

  // The work done: the first half of the estimate in the first two acts, the
  // third quarter in the last one.
  std::vector<std::pair<int16_t, double>> done;
  if (i < positions / 2) {
    const double first = Round(p.quantity.value * rnd.Between(0.3, 0.7), 0.001);
    done = {{0, first}, {1, p.quantity.value - first}};
  } else if (i < positions * 3 / 4) {
    done = {{2, Round(p.quantity.value / 2, 0.001)}};
  }
  for (const auto& [act, quantity] : done) {
    PositionOverride o{.act = act, .quantity = {.value = quantity}};
    if (act == 0 && rnd.OneIn(3)) o.index = 0;
    if (rnd.OneIn(10)) o.comment = "Цены по счёту поставщика";
    if (rnd.OneIn(8)) o.prices = {"", "", "", "", Money(mt * 6.4)};
    p.implementation.push_back(std::move(o));
    p.periods.push_back({kActMonths[act], kActYear, quantity});
  }
  if (!done.empty() && rnd.OneIn(4)) {
    for (PositionResource& r : p.resources) {
      if (r.type != kMaterial) continue;
      const double price = kCatalogue[static_cast<size_t>(r.entry)].curr * 1.05;
      r.implementation = {{.act = done[0].first, .prices = {Money(price)}}};
      break;
    }
  }
  return p;
}

std::vector<Act> Acts() {
  std::vector<Act> acts;
  for (size_t a = 0; a < std::size(kActMonths); ++a) {
    Act act{
        .caption = "Акт о приёмке выполненных работ № " + std::to_string(a + 1),
        .number = std::to_string(a + 1),
        .making_date = DateValue(kActYear, kActMonths[a], kActLastDays[a]),
        .year = kActYear,
        .month = kActMonths[a],
        .day_start = 1,
        .day_finish = kActLastDays[a],
        .indexes_mode = 1,
        .signatures = {.caption = "Подписи акта",
                       .items = {{"Сдал", 400, "Сергеев А. В."}, {"Принял", 410, "Орлов К. М."}}}};
    if (a == 0) {
      act.add_on_types = {{.caption = "Непредвиденные работы и затраты", .level = 2, .place = 2}};
      act.indexes_pos = {WorkIndex("Земляные работы", "01-01",
                                   {82100, 268400, 75200, 268400, 60300}, 18000, 14500)};
      act.indexes_res = {{.item = {"Материалы", "И-МТ", {kOne, kOne, kOne, kOne, 62800}}}};
      act.common_smr = {.caption = "Индекс на I квартал 2023 г.", .formula = "8,42", .options = 0};
      act.add_zatrs = {{{}, {{.caption = "Зимнее удорожание", .options = 0x0003, .value = "2,2"}}}};
      act.mtsn_nakl_curr = 950000;
      act.mtsn_plan_curr = 650000;
    }
    acts.push_back(std::move(act));
  }
  return acts;
}

// Defects remedied by positions (system IDs up to the number of positions).
DefectsList Defects(size_t positions) {
  const auto id = [positions](size_t n) { return static_cast<int32_t>(std::min(n, positions)); };
  return {
      .chapters = {{.caption = "Фундаменты",
                    .items = {{.header = true, .caption = "Фундаментная плита"},
                              {.caption = "Трещины в бетоне плиты",
                               .quantity = "12,5",
                               .flags = 0x0001,
                               .identifier = "Д1",
                               .code = "Д-01",
                               .units = "м",
                               .positions = {{.quantity = "Д1*1,1", .pos_id = id(5)},
                                             {.quantity = "2", .pos_id = id(7)}}},
                              {.caption = "Оголение арматуры",
                               .quantity = "3",
                               .inactive = true,
                               .code = "Д-02",
                               .units = "м2",
                               .positions = {{.quantity = "3", .pos_id = id(12)}}}}},
                   {.caption = "Кровля",
                    .items = {{.caption = "Протечки кровли",
                               .quantity = "40",
                               .code = "Д-03",
                               .units = "м2",
                               .positions = {{.quantity = "Д3/100", .pos_id = id(positions)}}}}}},
      .merge_mode = 1};
}

}  // namespace

std::string SmetaOfSize(size_t positions, int32_t version) {
  Content c = Parameters();
  c.resources.clear();
  for (const Entry& e : kCatalogue) c.resources.push_back({e.caption, e.code, e.units});
  c.works = {"Земляные работы",           "Бетонирование", "Армирование",
             "Монтаж металлоконструкций", "Кладка",        "Кровельные работы",
             "Отделочные работы"};
  c.acts = Acts();
  c.current_act = 2;
  // Chapters by kind of work, as many of each as the positions need.
  const size_t chapters =
      std::max(kKindsCount, (positions + kPositionsPerChapter - 1) / kPositionsPerChapter);
  c.chapters.clear();
  size_t next = 0;
  for (size_t ch = 0; ch < chapters; ++ch) {
    const size_t kind = ch % kKindsCount;
    const Kind& k = kKinds[kind];
    Chapter chapter{.caption = std::string("Раздел ") + std::to_string(ch + 1) + ". " + k.chapter,
                    .sys_id = static_cast<int32_t>(ch + 1),
                    .index_code = k.index == 1 ? "06-01" : ""};
    const size_t count = positions * (ch + 1) / chapters - positions * ch / chapters;
    for (size_t n = 0; n < count; ++n, ++next) {
      if (n % kPositionsPerHeader == 0) {
        const size_t h = n / kPositionsPerHeader;
        chapter.items.push_back(
            Header(std::string(k.headers[h % 3]) + (h >= 3 ? " (продолжение)" : "")));
      }
      chapter.items.push_back({.type = 1, .record = [next, kind, ch, n, positions](auto& b) {
                                 b.Position(MakePosition(next, kind, ch, n, positions));
                               }});
    }
    c.chapters.push_back(std::move(chapter));
  }
  c.defects = Defects(positions);
  return PackSmeta(c, version);
}

std::string SmetaOfSize(size_t positions) { return SmetaOfSize(positions, kNewest); }

std::string Smeta() { return SmetaOfSize(kSamplePositions); }

}  // namespace kdx::samples

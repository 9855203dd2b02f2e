// The sample object estimate of a residential building and the consolidated
// calculation of the housing estate it belongs to: standard chapters, headers,
// cost rows with amounts by column or formulas, rows linked to local estimates
// and object estimates with the amounts of the other calculation methods,
// conversion groups, rates as variables, signatures and user data.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "samples/samples.h"
#include "support/objsmeta_builder.h"

namespace kdx::samples {
namespace {

using namespace kdx::test::objsmeta;
namespace objsmeta = kdx::test::objsmeta;
using kdx::test::Curr;
using kdx::test::DocBuilder;
using kdx::test::DocLink;

// Document modes.
constexpr uint8_t kObjectEstimateMode = 0;
constexpr uint8_t kStandardCalculationMode = 1;

// Rounding of totals.
constexpr uint8_t kRoundTo1 = 1;
constexpr uint8_t kRoundTo1000 = 4;

// Link types: an object estimate, and a local estimate calculated by the
// resource method, by the base-index method or at base prices; the link
// names a file.
constexpr uint8_t kToObjectEstimate = 1;
constexpr uint8_t kResourceMethod = 2;
constexpr uint8_t kBaseIndexMethod = 3;
constexpr uint8_t kBasePrices = 4;
constexpr uint8_t kTargetFile = 1;

using Columns = std::array<const char*, kColumns>;

// Indexes from base to current prices by column, times 10000, and how the
// resource method compares with the base-index method.
constexpr std::array<int64_t, kColumns> kIndexes = {81500, 78400, 49200, 73100, 274800, 81500};
constexpr int64_t kResourceToBaseIndex = 10300;
constexpr int64_t kBaseIndexToResource = 9700;

// An amount times a factor given times 10000, rounded to kopecks.
int64_t Scaled(int64_t amount, int64_t factor) {
  const int64_t exact = amount * factor / kOne;
  return (exact + 50) / 100 * 100;
}

// An amount divided by a factor given times 10000, rounded to kopecks.
int64_t Divided(int64_t amount, int64_t factor) {
  const int64_t exact = amount * kOne / factor;
  return (exact + 50) / 100 * 100;
}

// The amounts of a linked local estimate by the two calculation methods the
// row does not follow, in the order they are stored (base-index method, base
// prices, resource method); nothing for other links.
std::vector<Amounts> OtherMethods(uint8_t type, const Amounts& own) {
  Amounts base_index{}, base{}, resource{};
  for (size_t c = 0; c < kColumns; ++c) {
    switch (type) {
      case kResourceMethod:
        resource[c] = own[c];
        base_index[c] = Scaled(own[c], kResourceToBaseIndex);
        base[c] = Divided(base_index[c], kIndexes[c]);
        break;
      case kBaseIndexMethod:
        base_index[c] = own[c];
        base[c] = Divided(own[c], kIndexes[c]);
        resource[c] = Scaled(own[c], kBaseIndexToResource);
        break;
      case kBasePrices:
        base[c] = own[c];
        base_index[c] = Scaled(own[c], kIndexes[c]);
        resource[c] = Scaled(base_index[c], kBaseIndexToResource);
        break;
      default:
        return {};
    }
  }
  switch (type) {
    case kResourceMethod:
      return {base_index, base};
    case kBaseIndexMethod:
      return {base, resource};
    default:
      return {base_index, resource};
  }
}

struct Link {
  uint8_t type = 0;
  const char* file = nullptr;
  bool invalid = false;
};

struct Cost {
  const char* caption;
  const char* basis = "";
  const char* id = "";
  Columns amounts{};   // amounts as decimal text; none is 0
  Columns formulas{};  // a formula replaces the amount of its column
  Link link{};
  int32_t k = kOne;
  uint8_t options = 0;
  const char* section = nullptr;  // the project section, kept as user data
};

// A signature with the signer's position where there is one.
kdx::test::Signature Signed(const char* role, int32_t id, const char* name,
                            const char* position = nullptr) {
  kdx::test::Signature sign{role, id, name};
  if (position) sign.attributes.push_back({"Должность", 1, position});
  return sign;
}

class Chapter {
 public:
  explicit Chapter(const char* caption = "") : caption_(caption) {}

  Chapter& Header(const char* caption) {
    items_.Append(HeaderItem(caption));
    ++count_;
    return *this;
  }

  Chapter& Add(const Cost& cost) {
    objsmeta::Cost row{.caption = cost.caption,
                       .basis = cost.basis,
                       .options = cost.options,
                       .link = {cost.link.type, cost.link.file ? cost.link.file : "", kTargetFile,
                                cost.link.invalid},
                       .id = cost.id,
                       .k = cost.k};
    Amounts own{};
    for (size_t c = 0; c < kColumns; ++c) {
      if (cost.formulas[c]) {
        row.formulas[c] = cost.formulas[c];
      } else {
        row.amounts[c] = cost.amounts[c] ? cost.amounts[c] : "0";
        own[c] = Curr(row.amounts[c]).value;
      }
    }
    if (cost.section) row.user_data[0] = cost.section;  // the project section
    row.other_methods = OtherMethods(cost.link.type, own);
    items_.Append(CostItem(row));
    ++count_;
    return *this;
  }

  DocBuilder Record() const { return ChapterRecord(kNewest, caption_, count_, items_); }

 private:
  const char* caption_;
  uint16_t count_ = 0;
  DocBuilder items_;
};

// The document of either kind at the newest version, its chapters given.
objsmeta::Document Make(bool estimate, uint8_t mode, bool thousands, uint8_t round,
                        const std::vector<Chapter>& chapters) {
  objsmeta::Document d{.estimate = estimate, .mode = mode, .thousands = thousands, .round = round};
  for (const Chapter& chapter : chapters) d.chapters.push_back(chapter.Record());
  return d;
}

// A column left empty in the lists of amounts and formulas, which run
// {construction, installation, equipment, other, wage fund, unit price}.
constexpr const char* _ = nullptr;

const std::vector<Conversion> kToCurrentPrices = {
    {"Индексы изменения сметной стоимости на I квартал 2023 г.",
     {81500, 78400, 49200, 73100, kOne}},
};

const std::vector<Conversion> kDeflators = {
    {"Прогнозный индекс-дефлятор на 2023 г.", {10470, 10470, 10520, 10470, 10610}},
    {"Прогнозный индекс-дефлятор на 2024 г.", {10430, 10430, 10480, 10430, 10550}},
};

}  // namespace

std::string ObjSmeta() {
  std::vector<Chapter> chapters(9);
  // Chapter 2: the local estimates of the building.
  chapters[0]
      .Header("Общестроительные работы")
      .Add({.caption = "Общестроительные работы. Подземная часть",
            .basis = "ЛС 02-01-01",
            .id = "ЛС1",
            .amounts = {"18426315.40", _, _, _, "2184602.15", _},
            .link = {kBaseIndexMethod, "ЛС 02-01-01.kdx"}})
      .Add({.caption = "Общестроительные работы. Надземная часть",
            .basis = "ЛС 02-01-02",
            .id = "ЛС2",
            .amounts = {"64218730.85", _, _, _, "7412096.30", _},
            .link = {kResourceMethod, "ЛС 02-01-02.kdx"}})
      .Add({.caption = "Кровля",
            .basis = "ЛС 02-01-03",
            .id = "ЛС3",
            .amounts = {"4816204.12", _, _, _, "512380.44", _},
            .link = {kBaseIndexMethod, "ЛС 02-01-03.kdx"}})
      .Header("Внутренние инженерные системы и оборудование")
      .Add({.caption = "Отопление и вентиляция",
            .basis = "ЛС 02-01-04",
            .id = "ЛС4",
            .amounts = {_, "162816.20", "63540.00", _, "3502.15", _},
            .link = {kBasePrices, "ЛС 02-01-04.kdx"}})
      .Add({.caption = "Водопровод и канализация",
            .basis = "ЛС 02-01-05",
            .id = "ЛС5",
            .amounts = {_, "6912408.73", "1204560.00", _, "842116.08", _},
            .link = {kBaseIndexMethod, "ЛС 02-01-05.kdx"}})
      .Add({.caption = "Электроосвещение и силовое электрооборудование",
            .basis = "ЛС 02-01-06",
            .id = "ЛС6",
            .amounts = {_, "8415620.50", "3926140.00", _, "1028335.62", _},
            .link = {kBaseIndexMethod, "ЛС 02-01-06.kdx"},
            .section = "ИОС1.1"})
      .Add({.caption = "Лифт пассажирский грузоподъёмностью 1000 кг (на один лифт)",
            .basis = "ЛС 02-01-07",
            .id = "ЛС7",
            .amounts = {_, "1846300.00", "4215000.00", _, "224180.50", "6061300.00"},
            .k = 2 * kOne})
      .Add({.caption = "Индивидуальный тепловой пункт",
            .basis = "ЛС 02-01-08",
            .id = "ЛС8",
            .amounts = {_, "1412305.18", "5840200.00", _, "168400.27", _},
            .link = {kBaseIndexMethod, "ЛС 02-01-08.kdx"},
            .section = "ИОС4.3"})
      .Add({.caption = "Сети связи и сигнализации (по отдельному договору)",
            .basis = "ЛС 02-01-09",
            .id = "ЛС9",
            .amounts = {_, "2148900.00", "1612450.00", _, _, _},
            .options = kDisabled});
  // Chapter 8.
  chapters[1].Add({.caption = "Временные здания и сооружения",
                   .basis = "ГСН 81-05-01-2001, прил. 1, п. 4.2",
                   .id = "ВЗИС",
                   .formulas = {"ГЛ2.СР*НВР/100", "ГЛ2.МР*НВР/100", _, _, _, _}});
  // Chapter 9.
  chapters[2]
      .Add({.caption = "Дополнительные затраты при производстве работ в зимнее время",
            .basis = "ГСН 81-05-02-2007, табл. 4, п. 11.4",
            .id = "ЗИМ",
            .formulas = {"(ГЛ2.СР+ВЗИС.СР)*НЗУ/100", "(ГЛ2.МР+ВЗИС.МР)*НЗУ/100", _, _, _, _}})
      .Add({.caption = "Пусконаладочные работы «вхолостую»",
            .basis = "ЛС 02-01-10",
            .id = "ПНР",
            .amounts = {_, _, _, "1286450.00", "318200.00", _}})
      .Add({.caption = "Перевозка работников к месту работы автомобильным транспортом",
            .basis = "Расчёт № 3",
            .amounts = {_, _, _, "412800.00", _, _}});
  // Chapter 13.
  chapters[6].Add({.caption = "Резерв средств на непредвиденные работы и затраты",
                   .basis = "МДС 81-35.2004, п. 4.96",
                   .id = "НЕПР",
                   .formulas = {"ГЛ2_12.СР*НРЗ/100", "ГЛ2_12.МР*НРЗ/100", "ГЛ2_12.ОБ*НРЗ/100",
                                "ГЛ2_12.ПР*НРЗ/100", _, _}});
  objsmeta::Document d = Make(true, kObjectEstimateMode, false, kRoundTo1, chapters);
  d.first_conversions = kToCurrentPrices;
  d.second_conversions = kDeflators;
  d.summaries = 0x1301;
  d.signatures = {"Подписи",
                  {Signed("Составил", 300, "Иванова А. П.", "ведущий инженер-сметчик"),
                   Signed("Проверил", 310, "Петров С. В.", "главный специалист сметного отдела"),
                   Signed("Главный инженер проекта", 360, "Соколов Д. Н.")}};
  // The chapter of the estimate in a standard, capital-repair and road calculation.
  d.cc_chapters = {2, 2, 2};
  d.comment = "Объектная смета № 02-01 на строительство жилого дома";
  d.user_data = {"Жилой комплекс «Северный»", "Шифр проекта 14/23-П"};
  d.variables = {
      {"Норма затрат на временные здания и сооружения, %", "НВР", "1,8"},
      {"Норма дополнительных затрат в зимнее время, %", "НЗУ", "2,2"},
      {"Резерв на непредвиденные работы и затраты, %", "НРЗ", "2"},
  };
  return d.Packed();
}

std::string ConsCalc() {
  std::vector<Chapter> chapters(15);
  // Chapter 1.
  chapters[0]
      .Add({.caption = "Отвод земельного участка и исходно-разрешительная документация",
            .basis = "Договор № 12/23",
            .amounts = {_, _, _, "1842000.00", _, _}})
      .Add({.caption = "Снос существующих строений и расчистка территории",
            .basis = "ЛС 01-01-01",
            .id = "ЛС010101",
            .amounts = {"3418260.55", _, _, _, "412380.14", _},
            .link = {kBaseIndexMethod, "ЛС 01-01-01.kdx"}});
  // Chapter 2.
  chapters[1]
      .Header("Жилые дома")
      .Add({.caption = "Жилые дома № 1 и 2 (повторное применение)",
            .basis = "ОС 02-01",
            .id = "ОС0201",
            .amounts = {"87461250.37", "33195591.46", "41225390.00", _, "12468210.71", "96842.30"},
            .link = {kToObjectEstimate, "ОС 02-01.kdx"},
            .k = 2 * kOne})
      .Header("Подземная автостоянка")
      .Add({.caption = "Подземная автостоянка на 120 машино-мест",
            .basis = "ОС 02-03",
            .id = "ОС0203",
            .amounts = {"58912640.18", "9846215.40", "6218400.00", _, "6842118.95", "72415.60"},
            .link = {kToObjectEstimate, "ОС 02-03.kdx", true}});
  // Chapter 4.
  chapters[3].Add({.caption = "Трансформаторная подстанция 2БКТП-1000/10/0,4 кВ",
                   .basis = "ОС 04-01",
                   .id = "ОС0401",
                   .amounts = {"2146380.20", "1864215.72", "7415600.00", _, "412805.33", _},
                   .link = {kToObjectEstimate, "ОС 04-01.kdx"}});
  // Chapter 6.
  chapters[5]
      .Add({.caption = "Наружные сети водоснабжения и канализации",
            .basis = "ЛС 06-01-01",
            .id = "ЛС060101",
            .amounts = {"12846305.60", "1024816.38", "864200.00", _, "1318402.67", _},
            .link = {kResourceMethod, "ЛС 06-01-01.kdx"}})
      .Add({.caption = "Тепловые сети",
            .basis = "ЛС 06-02-01",
            .id = "ЛС060201",
            .amounts = {"136012.35", "27336.80", "19600.00", _, "3792.42", _},
            .link = {kBasePrices, "ЛС 06-02-01.kdx"}})
      .Add({.caption = "Наружные сети электроснабжения 0,4 кВ",
            .basis = "ЛС 06-03-01",
            .id = "ЛС060301",
            .amounts = {"4218604.12", "3106482.95", _, _, "528460.18", _},
            .link = {kBaseIndexMethod, "ЛС 06-03-01.kdx"},
            .section = "ИОС1.2"});
  // Chapter 7, under the estate's own caption.
  chapters[6] = Chapter("Глава 7. Благоустройство и озеленение территории жилого комплекса");
  chapters[6].Add({.caption = "Благоустройство и озеленение",
                   .basis = "ОС 07-01",
                   .id = "ОС0701",
                   .amounts = {"9416205.84", _, "1284600.00", _, "846210.37", _},
                   .link = {kToObjectEstimate, "ОС 07-01.kdx"}});
  // Chapter 8.
  chapters[7].Add({.caption = "Временные здания и сооружения",
                   .basis = "ГСН 81-05-01-2001, прил. 1, п. 4.2",
                   .id = "ВЗИС",
                   .formulas = {"ГЛ1_7.СР*НВР/100", "ГЛ1_7.МР*НВР/100", _, _, _, _}});
  // Chapter 9.
  chapters[8]
      .Add({.caption = "Дополнительные затраты при производстве работ в зимнее время",
            .basis = "ГСН 81-05-02-2007, табл. 4, п. 11.4",
            .id = "ЗИМ",
            .formulas = {"ГЛ1_8.СР*НЗУ/100", "ГЛ1_8.МР*НЗУ/100", _, _, _, _}})
      .Add({.caption = "Пусконаладочные работы «под нагрузкой»",
            .basis = "Расчёт № 5",
            .amounts = {_, _, _, "2415800.00", "604100.00", _}})
      .Add({.caption = "Плата за технологическое присоединение к электрическим сетям",
            .basis = "Договор № 31-ТП/23",
            .amounts = {_, _, _, "3864120.00", _, _}});
  // Chapter 10.
  chapters[9]
      .Add({.caption = "Строительный контроль",
            .basis = "Постановление Правительства РФ от 21.06.2010 № 468",
            .id = "СК",
            .formulas = {_, _, _, "ГЛ1_9.ВСЕГО*НСК/100", _, _}})
      .Add({.caption = "Содержание службы заказчика",
            .basis = "Расчёт № 7",
            .amounts = {_, _, _, "4126500.00", _, _}});
  // Chapter 12.
  chapters[11]
      .Add({.caption = "Проектные работы",
            .basis = "Договор № 07/22-ПР",
            .amounts = {_, _, _, "14860000.00", _, _}})
      .Add({.caption = "Инженерные изыскания",
            .basis = "Договор № 08/22-ИИ",
            .amounts = {_, _, _, "2415600.00", _, _}})
      .Add({.caption = "Государственная экспертиза проектной документации",
            .basis = "Договор № 0315-23",
            .amounts = {_, _, _, "1128470.00", _, _}});
  // Chapter 13.
  chapters[12].Add({.caption = "Резерв средств на непредвиденные работы и затраты",
                    .basis = "МДС 81-35.2004, п. 4.96",
                    .id = "НЕПР",
                    .formulas = {"ГЛ1_12.СР*НРЗ/100", "ГЛ1_12.МР*НРЗ/100", "ГЛ1_12.ОБ*НРЗ/100",
                                 "ГЛ1_12.ПР*НРЗ/100", _, _}});
  // Chapter 15.
  chapters[14].Add({.caption = "Налог на добавленную стоимость",
                    .basis = "Налоговый кодекс РФ, ст. 164",
                    .id = "НДС",
                    .formulas = {"ГЛ1_14.СР*НДС/100", "ГЛ1_14.МР*НДС/100", "ГЛ1_14.ОБ*НДС/100",
                                 "ГЛ1_14.ПР*НДС/100", _, _}});
  objsmeta::Document d = Make(false, kStandardCalculationMode, true, kRoundTo1000, chapters);
  d.first_conversions = kToCurrentPrices;
  d.second_conversions = kDeflators;
  d.signatures = {
      "Подписи",
      {Signed("Руководитель проектной организации", 350, "Смирнов В. А.", "генеральный директор"),
       Signed("Главный инженер проекта", 360, "Соколов Д. Н."),
       Signed("Начальник отдела", 390, "Кузнецова Е. И.", "начальник сметного отдела"),
       Signed("Заказчик", 230, "Орлов К. М.", "директор ООО «СтройИнвест»")}};
  d.comment = "Сводный сметный расчёт стоимости строительства жилого комплекса «Северный»";
  d.user_data = {"Жилой комплекс «Северный»", "Договор подряда № 14/23-П"};
  d.variables = {
      {"Норма затрат на временные здания и сооружения, %", "НВР", "1,8"},
      {"Норма дополнительных затрат в зимнее время, %", "НЗУ", "2,2"},
      {"Норма затрат на строительный контроль, %", "НСК", "2,14"},
      {"Резерв на непредвиденные работы и затраты, %", "НРЗ", "2"},
      {"Ставка налога на добавленную стоимость, %", "НДС", "20"},
  };
  return d.Packed();
}

}  // namespace kdx::samples

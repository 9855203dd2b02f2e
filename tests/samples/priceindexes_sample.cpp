// The sample price-index catalogue: indexes by kind of work in nested folders
// and indexes by kind of building, with overheads, profit, winter rise and
// charges of user-defined types; signatures, a binding date and the rates on
// machinists' wages.
#include <cstdint>
#include <initializer_list>

#include "samples/samples.h"
#include "support/priceindexes_builder.h"

namespace kdx::samples {
namespace {

using namespace kdx::test::priceindexes;
using kdx::test::DateValue;
using kdx::test::DocBuilder;

// Overheads or profit as a rate on the wages of workers and machinists:
// 0.95 (95 %) is stored as the factor 1.95 in both wage slots.
AddOn WageRate(const char* code, int8_t kind, int32_t rate) {
  return {.code = code, .factors = {kOne, kOne + rate, kOne, kOne + rate, kOne}, .type = kind};
}

// An add-on that raises the total of works by a factor.
AddOn OnTotal(const char* code, int32_t factor, int8_t type) {
  return {.code = code, .factors = {factor, kOne, kOne, kOne, kOne}, .type = type};
}

DocBuilder Item(const char* caption, const char* code, const Factors& f, uint16_t options,
                std::initializer_list<AddOn> add_ons) {
  return IndexItem({.item = {caption, code, f}, .options = options, .add_ons = add_ons});
}

}  // namespace

std::string PriceIndexes() {
  Document d;
  // User-defined add-on types, referred to by position from the add-ons.
  d.add_on_types = {
      {"Резерв средств на непредвиденные работы и затраты", 2, true, kInSmr},
      {"Временные здания и сооружения", 1, true, kInItog},
      {"Работы в стеснённых условиях застроенной территории", 3, false, kAsIndex},
  };
  d.folders.push_back(Folder(
      "Индексы по видам работ",
      {FolderItem(
           "Общестроительные работы",
           {Item("Земляные работы, выполняемые механизированным способом", "01-01",
                 {81200, 265300, 74500, 265300, 59700}, 0,
                 {WageRate("НР-01", kOverheads, 8000), WageRate("СП-01", kProfit, 4500),
                  OnTotal("ЗУ-01", 10210, kWinter)}),
            Item("Бетонные и железобетонные конструкции монолитные", "06-01",
                 {79800, 265300, 92100, 265300, 68400}, kSeparateEm,
                 {WageRate("НР-06", kOverheads, 10500), WageRate("СП-06", kProfit, 6500),
                  OnTotal("ЗУ-06", 10330, kWinter), OnTotal("НЗ", 10200, 1)}),
            Item("Конструкции из кирпича и блоков", "08-01", {85600, 265300, 83900, 265300, 71500},
                 0, {WageRate("НР-08", kOverheads, 12200), WageRate("СП-08", kProfit, 8000)})}),
       FolderItem("Отделочные работы",
                  {Item("Штукатурные работы", "15-02", {94700, 265300, 60300, 265300, 63800}, 0,
                        {WageRate("НР-15", kOverheads, 10500), WageRate("СП-15", kProfit, 5500)}),
                   Item("Малярные работы", "15-04", {88100, 265300, 60300, 265300, 55200}, 0,
                        {WageRate("НР-15", kOverheads, 10500), WageRate("СП-15", kProfit, 5500)})}),
       FolderItem(
           "Монтажные работы",
           {FolderItem(
               "Электротехнические установки",
               {Item("Электротехнические установки на других объектах", "м08-02",
                     {102400, 265300, 68900, 265300, 74100}, 0,
                     {WageRate("НР-м08", kOverheads, 9500), WageRate("СП-м08", kProfit, 6500)}),
                Item("Сети связи и сигнализации", "м10-01", {97800, 265300, 71200, 265300, 70100},
                     0, {WageRate("НР-м10", kOverheads, 9500)})})}),
       FolderItem("Пусконаладочные работы", {})}));  // to be filled next quarter
  d.folders.push_back(Folder(
      "Индексы по объектам строительства",
      {Item("Жилые дома многоквартирные кирпичные", "ОБ-01", {86500, kOne, kOne, kOne, kOne}, 0,
            {OnTotal("ВЗиС", 10180, 2), OnTotal("НЗ", 10200, 1)}),
       Item("Жилые дома многоквартирные монолитные", "ОБ-02", {84300, kOne, kOne, kOne, kOne}, 0,
            {OnTotal("ВЗиС", 10180, 2), OnTotal("СУ", 10150, 3)}),
       Item("Здания общеобразовательных организаций", "ОБ-05", {90100, kOne, 86200, kOne, kOne},
            kSeparateEm, {})}));
  d.signatures = {
      "Подписи",
      {{"Составил", 300, "Сидорова Е. Н.", {{"Должность", 1, "ведущий инженер-сметчик"}}},
       {"Проверил", 310, "Кузнецов Д. А."}}};
  d.comment = "Индексы изменения сметной стоимости к базисному уровню цен 2001 г.";
  d.date = DateValue(2023, 4, 1);
  d.date_comment = "на II квартал 2023 г.";
  d.nakl = 950000;  // percent times 10000
  d.plan = 500000;
  return d.Packed();
}

}  // namespace kdx::samples

// The sample price list: Cyrillic names, nested folders, units, a formula price,
// signatures with attributes and a variable.
#include <optional>
#include <string>

#include "samples/samples.h"
#include "support/cennik_builder.h"

namespace kdx::samples {
namespace {

using namespace kdx::test::cennik;
namespace cennik = kdx::test::cennik;
using kdx::test::DateValue;
using kdx::test::DocBuilder;

// Units of measure, referred to by index.
enum Unit : int16_t { kManHours, kMachineHours, kCubicMetres, kTonnes, kPieces };

// A text where one is given.
std::optional<std::string> Given(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

// A resource with its current and base prices, and a comment or a formula for
// the current price where given.
DocBuilder Priced(const char* name, const char* code, Unit unit, const char* current,
                  const char* base, const char* comment = nullptr,
                  const char* current_fx = nullptr) {
  return ResourceItem(kNewest, {.name = name,
                                .code = code,
                                .units = unit,
                                .price = {current, std::nullopt, base},
                                .comment = Given(comment),
                                .fx = {Given(current_fx)}});
}

}  // namespace

std::string PriceList() {
  cennik::PriceList doc{.comment = "Прайс-лист поставщика на I квартал 2023 г.",
                        .base_date = DateValue(2000, 1, 1),
                        .base_note = "Базисные цены 2001 г.",
                        .curr_date = DateValue(2023, 1, 1),
                        .curr_note = "Текущие цены, I кв. 2023",
                        .visible = 15,  // all groups visible
                        .units = {"чел.-ч", "маш.-ч", "м3", "т", "шт"}};
  doc.groups[kWorkers] =
      Group({Priced("Затраты труда рабочих, разряд 3,8", "1-100-38", kManHours, "412.87", "9.62"),
             Priced("Затраты труда рабочих, разряд 4", "1-100-40", kManHours, "425.10", "9.92")});
  doc.groups[kMechanics] =
      Group({Priced("Затраты труда машинистов", "2", kManHours, "510.00", "12.00")});
  doc.groups[kMaterials] = Group(
      {FolderItem(
           "Бетоны и растворы",
           {Priced("Бетон тяжёлый, класс B15 (М200)", "401-0066", kCubicMetres, "5480.00", "592.00",
                   "Цена франко-строительная площадка"),
            FolderItem("Растворы", {Priced("Раствор готовый кладочный М100", "402-0004",
                                           kCubicMetres, "0", "519.80", nullptr, "БАЗА*8,15")})}),
       FolderItem("Металлопрокат", {})});  // an empty folder
  doc.groups[kMachines] = Group(
      {Priced("Кран на автомобильном ходу, 10 т", "021141", kMachineHours, "1280.50", "111.99")});
  doc.signatures = {"Подписи",
                    {{"Составил", 300, "Иванова А. П.", {{"Должность", 1, "инженер-сметчик"}}},
                     {"Проверил", 310, "Петров С. В."}}};
  doc.variables = {{"Индекс к базе", "БАЗА", "8,15"}};
  return doc.Packed();
}

}  // namespace kdx::samples

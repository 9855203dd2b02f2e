// The sample price-index catalogue: indexes by kind of work in nested folders
// and indexes by kind of building, with overheads, profit, winter rise and
// charges of user-defined types; signatures, a binding date and the rates on
// machinists' wages.
#include <array>
#include <cstdint>
#include <initializer_list>

#include "samples/samples.h"
#include "support/builder.h"
#include "support/smeta_builder.h"

namespace kdx::samples {
namespace {

using kdx::test::CodedFactors;
using kdx::test::DocBuilder;
using kdx::test::PackDocument;

// Factors times 10000 for the total of works and the four cost items:
// direct costs, basic wages, machine operation, machinists' wages, materials.
using Factors = std::array<int32_t, 5>;
constexpr int32_t kOne = 10000;

// Item kinds inside a folder.
constexpr uint8_t kIndexItem = 0;
constexpr uint8_t kFolderItem = 1;

// Built-in add-on kinds, stored negated.
constexpr int8_t kOverheads = -1;
constexpr int8_t kProfit = -2;
constexpr int8_t kWinter = -3;

// Where an add-on of a user-defined type is calculated.
constexpr uint8_t kAsIndex = 0;
constexpr uint8_t kInItog = 1;
constexpr uint8_t kInSmr = 2;

// Index options: machine operation indexed apart from the total.
constexpr uint16_t kSeparateEm = 0x0001;

struct AddOn {
  const char* code;
  Factors factors;
  int8_t type;  // a built-in kind (negative) or the 1-based position of a user type
};

// Overheads or profit as a rate on the wages of workers and machinists:
// 0.95 (95 %) is stored as the factor 1.95 in both wage slots.
AddOn WageRate(const char* code, int8_t kind, int32_t rate) {
  return {code, {kOne, kOne + rate, kOne, kOne + rate, kOne}, kind};
}

// An index position of a folder with its add-ons.
void Index(DocBuilder& b, const char* caption, const char* code, const Factors& f, uint16_t options,
           std::initializer_list<AddOn> add_ons) {
  b.Byte(kIndexItem).Head(caption);
  CodedFactors(b, code, f);
  b.I16(options).I16(static_cast<uint16_t>(add_ons.size()));
  for (const AddOn& a : add_ons) {
    b.Head();
    CodedFactors(b, a.code, a.factors);
    b.I16(0).Byte(static_cast<uint8_t>(a.type));
  }
}

// The head of a folder standing inside another folder.
void SubFolder(DocBuilder& b, const char* caption, int32_t items) {
  b.Byte(kFolderItem).Head(caption).I32(items);
}

void AddOnType(DocBuilder& b, const char* caption, int8_t level, bool active, uint8_t place) {
  b.Head(caption).Byte(static_cast<uint8_t>(level)).Bool(active).Byte(place);
}

}  // namespace

std::string PriceIndexes() {
  DocBuilder b;
  // User-defined add-on types, referred to by position from the add-ons.
  b.I16(3);
  AddOnType(b, "Резерв средств на непредвиденные работы и затраты", 2, true, kInSmr);
  AddOnType(b, "Временные здания и сооружения", 1, true, kInItog);
  AddOnType(b, "Работы в стеснённых условиях застроенной территории", 3, false, kAsIndex);

  b.I32(2);  // top-level folders

  b.Head("Индексы по видам работ").I32(4);
  SubFolder(b, "Общестроительные работы", 3);
  Index(b, "Земляные работы, выполняемые механизированным способом", "01-01",
        {81200, 265300, 74500, 265300, 59700}, 0,
        {WageRate("НР-01", kOverheads, 8000),
         WageRate("СП-01", kProfit, 4500),
         {"ЗУ-01", {10210, kOne, kOne, kOne, kOne}, kWinter}});
  Index(b, "Бетонные и железобетонные конструкции монолитные", "06-01",
        {79800, 265300, 92100, 265300, 68400}, kSeparateEm,
        {WageRate("НР-06", kOverheads, 10500),
         WageRate("СП-06", kProfit, 6500),
         {"ЗУ-06", {10330, kOne, kOne, kOne, kOne}, kWinter},
         {"НЗ", {10200, kOne, kOne, kOne, kOne}, 1}});
  Index(b, "Конструкции из кирпича и блоков", "08-01", {85600, 265300, 83900, 265300, 71500}, 0,
        {WageRate("НР-08", kOverheads, 12200), WageRate("СП-08", kProfit, 8000)});
  SubFolder(b, "Отделочные работы", 2);
  Index(b, "Штукатурные работы", "15-02", {94700, 265300, 60300, 265300, 63800}, 0,
        {WageRate("НР-15", kOverheads, 10500), WageRate("СП-15", kProfit, 5500)});
  Index(b, "Малярные работы", "15-04", {88100, 265300, 60300, 265300, 55200}, 0,
        {WageRate("НР-15", kOverheads, 10500), WageRate("СП-15", kProfit, 5500)});
  SubFolder(b, "Монтажные работы", 1);
  SubFolder(b, "Электротехнические установки", 2);
  Index(b, "Электротехнические установки на других объектах", "м08-02",
        {102400, 265300, 68900, 265300, 74100}, 0,
        {WageRate("НР-м08", kOverheads, 9500), WageRate("СП-м08", kProfit, 6500)});
  Index(b, "Сети связи и сигнализации", "м10-01", {97800, 265300, 71200, 265300, 70100}, 0,
        {WageRate("НР-м10", kOverheads, 9500)});
  SubFolder(b, "Пусконаладочные работы", 0);  // to be filled next quarter

  b.Head("Индексы по объектам строительства").I32(3);
  Index(b, "Жилые дома многоквартирные кирпичные", "ОБ-01", {86500, kOne, kOne, kOne, kOne}, 0,
        {{"ВЗиС", {10180, kOne, kOne, kOne, kOne}, 2}, {"НЗ", {10200, kOne, kOne, kOne, kOne}, 1}});
  Index(b, "Жилые дома многоквартирные монолитные", "ОБ-02", {84300, kOne, kOne, kOne, kOne}, 0,
        {{"ВЗиС", {10180, kOne, kOne, kOne, kOne}, 2}, {"СУ", {10150, kOne, kOne, kOne, kOne}, 3}});
  Index(b, "Здания общеобразовательных организаций", "ОБ-05", {90100, kOne, 86200, kOne, kOne},
        kSeparateEm, {});

  // Signatures.
  b.Head("Подписи").I16(2);
  b.Head("Составил")
      .I32(300)
      .Str("Сидорова Е. Н.")
      .Head("")
      .I16(1)
      .Head("Должность")
      .I32(1)
      .Str("ведущий инженер-сметчик");
  b.Head("Проверил").I32(310).Str("Кузнецов Д. А.").Head("").I16(0);

  // Comment, binding date and the rates on machinists' wages (percent times 10000).
  b.Str("Индексы изменения сметной стоимости к базисному уровню цен 2001 г.");
  b.Date(2023, 4, 1).Str("на II квартал 2023 г.");
  b.I32(950000).I32(500000);
  return PackDocument(4, "KD_Index", 0x0001015F, b.Bytes());
}

}  // namespace kdx::samples

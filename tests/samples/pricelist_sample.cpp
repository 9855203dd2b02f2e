// The sample price list: Cyrillic names, nested folders, units, a formula price,
// signatures with attributes and a variable.
#include "samples/samples.h"
#include "support/builder.h"

namespace kdx::samples {
namespace {

using kdx::test::DocBuilder;
using kdx::test::PackDocument;

// A price-list resource record: name, code, unit index, flags and the fields they announce.
void Resource(DocBuilder& b, const char* name, const char* code, int16_t unit, const char* ce,
              const char* be, const char* comment = nullptr, const char* ce_formula = nullptr) {
  uint16_t flags = 0x0001 | 0x0004;
  if (comment) flags |= 0x0080;
  if (ce_formula) flags |= 0x0400;
  b.Head(name).Str(code).I16(static_cast<uint16_t>(unit)).I16(flags).Cur(ce).Cur(be);
  if (comment) b.Str(comment);
  if (ce_formula) b.Str(ce_formula);
}

}  // namespace

std::string PriceList() {
  DocBuilder b;
  b.Str("Прайс-лист поставщика на I квартал 2023 г.");
  b.Date(2000, 1, 1).Str("Базисные цены 2001 г.");
  b.Date(2023, 1, 1).Str("Текущие цены, I кв. 2023");
  b.Byte(15);  // all groups visible
  // Units of measure, shared by index.
  const std::vector<const char*> units = {"чел.-ч", "маш.-ч", "м3", "т", "шт"};
  b.ListHead(0, static_cast<int64_t>(units.size()));
  for (const char* u : units) b.Head(u);
  b.Byte(0b1111);  // all four groups present
  // Workers.
  b.I32(2);
  b.Byte(0);
  Resource(b, "Затраты труда рабочих, разряд 3,8", "1-100-38", 0, "412.87", "9.62");
  b.Byte(0);
  Resource(b, "Затраты труда рабочих, разряд 4", "1-100-40", 0, "425.10", "9.92");
  // Mechanics.
  b.I32(1).Byte(0);
  Resource(b, "Затраты труда машинистов", "2", 0, "510.00", "12.00");
  // Materials: folders within folders.
  b.I32(2);
  b.Byte(1).Head("Бетоны и растворы").I32(2);
  b.Byte(0);
  Resource(b, "Бетон тяжёлый, класс B15 (М200)", "401-0066", 2, "5480.00", "592.00",
           "Цена франко-строительная площадка");
  b.Byte(1).Head("Растворы").I32(1).Byte(0);
  Resource(b, "Раствор готовый кладочный М100", "402-0004", 2, "0", "519.80", nullptr, "БАЗА*8,15");
  b.Byte(1).Head("Металлопрокат").I32(0);  // an empty folder
  // Machines.
  b.I32(1).Byte(0);
  Resource(b, "Кран на автомобильном ходу, 10 т", "021141", 1, "1280.50", "111.99");
  // Signatures.
  b.Head("Подписи").I16(2);
  b.Head("Составил")
      .I32(300)
      .Str("Иванова А. П.")
      .Head("")
      .I16(1)
      .Head("Должность")
      .I32(1)
      .Str("инженер-сметчик");
  b.Head("Проверил").I32(310).Str("Петров С. В.").Head("").I16(0);
  // Variables.
  b.I16(1).Head("Индекс к базе").Str("БАЗА").Str("8,15");
  return PackDocument(3, "KD_Cennk", 0x00010005, b.Bytes());
}

}  // namespace kdx::samples

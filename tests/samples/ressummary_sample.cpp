// The sample resource summary of a housing estate: three local estimates with
// their labour, machines, materials and equipment at base and current prices,
// two object estimates and the consolidated calculation made of them, chapters
// choosing what enters the summary, and the report settings.
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "samples/samples.h"
#include "support/ressummary_builder.h"

namespace kdx::samples {
namespace {

using namespace kdx::test::ressummary;
using kdx::test::Curr;
using kdx::test::DocBuilder;
using kdx::test::DocLink;
using kdx::test::Prices;

// The text's index in the list, added at its end when new.
int16_t IndexOf(std::vector<std::string>& texts, const std::string& text) {
  for (size_t i = 0; i < texts.size(); ++i) {
    if (texts[i] == text) return static_cast<int16_t>(i);
  }
  texts.push_back(text);
  return static_cast<int16_t>(texts.size() - 1);
}

struct Item {
  const char* name;
  const char* code;
  const char* unit;
  double quantity;
  const char* current;              // current price per unit
  const char* base;                 // base price per unit
  int32_t brutto = 0;               // gross mass per unit, thousandths of a tonne
  int16_t cargo = 0;                // cargo class, hundredths
  int16_t grade = 0;                // work grade, hundredths
  const char* requested = nullptr;  // a supplier's current price, when asked for
};

// Link types of the source documents, and the target of a file beside the summary.
constexpr uint8_t kLinkObjSmeta = 1;
constexpr uint8_t kLinkSmetaBase = 3;
constexpr uint8_t kTargetFile = 1;

// Quantity times unit price, rounded to kopecks; the quantity is taken to
// thousandths so that the total is the same wherever the samples are built.
std::string Total(double quantity, const char* price) {
  const int64_t milli = std::llround(quantity * 1000);
  const int64_t exact = milli * Curr(price).value / 1000;
  const int64_t kopecks = (exact + 50) / 100;
  return std::to_string(kopecks / 100) + "." + std::to_string(kopecks % 100 / 10) +
         std::to_string(kopecks % 10);
}

// A price per unit and the total for the quantity, in the first two columns
// and, when given, the base price and its total in the other two.
Prices PerUnitAndTotal(double quantity, const char* price, const char* base = nullptr) {
  Prices prices{.values = {price, Total(quantity, price)}};
  if (base) {
    prices.values[2] = base;
    prices.values[3] = Total(quantity, base);
  }
  return prices;
}

class Collector {
 public:
  // A local-estimate source: the head, then its four groups of resources.
  void LocalEstimate(const char* name, const char* code, const char* file,
                     std::initializer_list<std::initializer_list<Item>> groups) {
    s_.ls.Append(Source(name, code, {kLinkSmetaBase, file, kTargetFile}));
    for (const auto& group : groups) {
      s_.ls.I32(static_cast<int32_t>(group.size()));
      for (const Item& r : group) Write(r);
    }
    ++s_.ls_count;
  }

  struct Part {
    uint8_t kind;
    int8_t k;
    int16_t index;
  };

  void ObjectEstimate(const char* name, const char* code, const char* file,
                      std::initializer_list<Part> parts) {
    s_.os.Append(Source(name, code, file ? DocLink{kLinkObjSmeta, file, kTargetFile} : DocLink{}));
    Parts(s_.os, parts);
    ++s_.os_count;
  }

  void Consolidated(const char* name, const char* code, std::initializer_list<Part> parts) {
    s_.ssr.Append(Source(name, code));
    Parts(s_.ssr, parts);
    ++s_.ssr_count;
  }

  struct Row {
    uint8_t kind;
    int8_t k;
    bool inactive;
    int16_t index;
  };

  void AddChapter(const char* name, std::initializer_list<Row> rows, bool inactive = false) {
    DocBuilder written;
    for (const Row& r : rows) written.Append(ChapterRow(r.kind, r.k, r.inactive, r.index));
    s_.chapters.Append(Chapter(name, static_cast<uint16_t>(rows.size()), written, inactive));
    ++s_.chapter_count;
  }

  Summary& Content() { return s_; }

 private:
  static void Parts(DocBuilder& b, std::initializer_list<Part> parts) {
    b.I16(static_cast<uint16_t>(parts.size()));
    for (const Part& p : parts) b.Append(DocumentRow(p.kind, p.k, p.index));
  }

  void Write(const Item& r) {
    Resource resource{.code = IndexOf(s_.codes, r.code),
                      .units = IndexOf(s_.units, r.unit),
                      .name = IndexOf(s_.names, r.name),
                      .quantity = r.quantity,
                      .prices = PerUnitAndTotal(r.quantity, r.current, r.base)};
    if (r.cargo) resource.cargo = r.cargo;
    if (r.brutto) resource.brutto = r.brutto;
    if (r.grade) resource.grade = r.grade;
    if (r.requested) resource.requested = PerUnitAndTotal(r.quantity, r.requested);
    s_.ls.Append(ResourceRecord(resource));
  }

  Summary s_;
};

constexpr char kMachinists[] = "Затраты труда машинистов";
constexpr char kTruck[] = "Автомобиль бортовой, грузоподъёмность до 5 т";

}  // namespace

std::string ResSummary() {
  Collector s;
  s.LocalEstimate("Локальная смета № 02-01-01. Общестроительные работы", "02-01-01",
                  "ЛС 02-01-01.kdx",
                  {
                      {
                          {"Затраты труда рабочих (средний разряд 3,9)", "1-100-39", "чел.-ч",
                           4826.52, "418.95", "9.76", 0, 0, 390},
                          {kMachinists, "2", "чел.-ч", 612.4, "510.00", "12.00"},
                      },
                      {
                          {"Кран башенный, грузоподъёмность 8 т", "91.05.01-017", "маш.-ч", 318.6,
                           "1624.30", "86.40"},
                          {"Экскаватор одноковшовый дизельный на гусеничном ходу, 0,65 м3",
                           "91.01.05-085", "маш.-ч", 146.25, "2418.60", "117.76"},
                          {kTruck, "91.14.02-001", "маш.-ч", 88.4, "1120.50", "65.71"},
                      },
                      {
                          {"Бетон тяжёлый, класс B25 (М350)", "04.1.02.05-0011", "м3", 412.6,
                           "6120.00", "665.00", 2400, 100, 0, "5890.00"},
                          {"Арматура класса А500С, диаметр 12 мм", "08.4.03.03-0032", "т", 38.214,
                           "72450.00", "7121.00", 1000, 100, 0, "69800.00"},
                          {"Кирпич керамический одинарный полнотелый М150", "06.1.01.05-0035",
                           "1000 шт", 186.3, "14230.00", "1812.00", 3700, 100},
                          {"Раствор готовый кладочный цементный М100", "04.3.01.09-0014", "м3",
                           92.8, "5120.00", "519.80", 1950, 100},
                      },
                      {},
                  });
  s.LocalEstimate("Локальная смета № 02-01-02. Электроосвещение и силовое электрооборудование",
                  "02-01-02", "ЛС 02-01-02.kdx",
                  {
                      {
                          {"Затраты труда рабочих (средний разряд 4,0)", "1-100-40", "чел.-ч",
                           1362.8, "425.10", "9.92", 0, 0, 400},
                          {kMachinists, "2", "чел.-ч", 18.6, "510.00", "12.00"},
                      },
                      {
                          {kTruck, "91.14.02-001", "маш.-ч", 12.4, "1120.50", "65.71"},
                      },
                      {
                          {"Кабель силовой ВВГнг(А)-LS 3х2,5", "21.1.06.09-0162", "1000 м", 4.85,
                           "78640.00", "9850.00", 140, 100},
                          {"Светильник светодиодный потолочный, 36 Вт", "62.4.02.07-0102", "шт",
                           248, "2180.00", "265.40", 3},
                      },
                      {
                          {"Щит распределительный этажный ЩРн-24", "ЦП-01", "шт", 18, "24650.00",
                           "3030.00", 15, 0, 0, "23900.00"},
                          {"Вводно-распределительное устройство ВРУ1-13-20", "ЦП-02", "шт", 2,
                           "186400.00", "22920.00", 180},
                      },
                  });
  s.LocalEstimate("Локальная смета № 07-01-01. Благоустройство территории", "07-01-01",
                  "ЛС 07-01-01.kdx",
                  {
                      {
                          {"Затраты труда рабочих (средний разряд 3,5)", "1-100-35", "чел.-ч",
                           684.0, "401.20", "9.40", 0, 0, 350},
                      },
                      {
                          {kTruck, "91.14.02-001", "маш.-ч", 36.2, "1120.50", "65.71"},
                      },
                      {
                          {"Песок природный для строительных работ", "02.3.01.02-0015", "м3", 324,
                           "795.00", "59.99", 1500, 100},
                          {"Плиты бетонные тротуарные, толщина 60 мм", "05.1.08.08-0012", "м2",
                           1120.5, "980.00", "104.50", 140, 100},
                      },
                      {},
                  });
  // The typical sections 1 and 2 are built to the same estimates.
  s.ObjectEstimate("Объектная смета № 02-01. Жилой дом, секции 1 и 2", "ОС-02-01", "ОС 02-01.kdx",
                   {{kLs, 2, 0}, {kLs, 2, 1}});
  s.ObjectEstimate("Объектная смета № 07-01. Благоустройство и озеленение", "ОС-07-01", nullptr,
                   {{kLs, 1, 2}});
  s.Consolidated("Сводный сметный расчёт. Жилой комплекс «Северный»", "ССР-01",
                 {{kOs, 1, 0}, {kOs, 1, 1}});
  s.AddChapter("Объекты основного строительного назначения", {{kOs, 1, false, 0}});
  // The improvement works enter through their object estimate; the local
  // estimate stays in the chapter for reference, switched off.
  s.AddChapter("Благоустройство и озеленение территории", {{kOs, 1, false, 1}, {kLs, 1, true, 2}});
  s.AddChapter("Сверка со сводным расчётом", {{kSsr, 1, false, 0}}, true);

  Summary& d = s.Content();
  // The same source may enter more than once; grouped at current prices, by
  // name; suppliers apart, zero quantities left out.
  d.report = {.options = 1, .grouping = 2, .sort_mode = 1, .report_options = 0x01 | 0x08 | 0x10};
  d.comment = "Ресурсная ведомость по жилому комплексу «Северный»";
  d.user_data = {"ООО «СтройИнвест»", "Договор подряда № 14/23-П"};
  return d.Packed();
}

}  // namespace kdx::samples

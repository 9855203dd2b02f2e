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
#include "support/builder.h"

namespace kdx::samples {
namespace {

using kdx::test::Curr;
using kdx::test::DocBuilder;
using kdx::test::PackDocument;

// Texts stored once and referred to by index.
class SharedTexts {
 public:
  uint16_t Of(const std::string& text) {
    for (size_t i = 0; i < texts_.size(); ++i) {
      if (texts_[i] == text) return static_cast<uint16_t>(i);
    }
    texts_.push_back(text);
    return static_cast<uint16_t>(texts_.size() - 1);
  }
  void Write(DocBuilder& b) const {
    b.I16(static_cast<uint16_t>(texts_.size()));
    for (const std::string& text : texts_) b.Head(text);
  }

 private:
  std::vector<std::string> texts_;
};

struct Resource {
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

// Resource record flags.
constexpr uint32_t kCode = 0x0001;
constexpr uint32_t kUnit = 0x0002;
constexpr uint32_t kName = 0x0004;
constexpr uint32_t kQuantity = 0x0008;
constexpr uint32_t kCargo = 0x0010;
constexpr uint32_t kBrutto = 0x0020;
constexpr uint32_t kGrade = 0x0040;
constexpr uint32_t kPrice = 0x0400;
constexpr uint32_t kRequested = 0x0800;

// Price columns: current per unit, current total, base per unit, base total.
constexpr uint8_t kCE = 0x01;
constexpr uint8_t kCT = 0x02;
constexpr uint8_t kBE = 0x04;
constexpr uint8_t kBT = 0x08;

// Link types of the source documents.
constexpr uint8_t kLinkObjSmeta = 1;
constexpr uint8_t kLinkSmetaBase = 3;

// Kinds of the documents a source consists of, and of chapter rows.
constexpr uint8_t kLs = 0;
constexpr uint8_t kOs = 1;
constexpr uint8_t kSsr = 2;

// Quantity times unit price, rounded to kopecks; the quantity is taken to
// thousandths so that the total is the same wherever the samples are built.
int64_t Total(double quantity, const char* price) {
  const int64_t milli = std::llround(quantity * 1000);
  const int64_t exact = milli * Curr(price).value / 1000;
  return (exact + 50) / 100 * 100;
}

class Summary {
 public:
  // A local-estimate source: the head, then its four groups of resources.
  void LocalEstimate(const char* name, const char* code, const char* file,
                     std::initializer_list<std::initializer_list<Resource>> groups) {
    SourceHead(ls_, name, code, kLinkSmetaBase, file);
    for (const auto& group : groups) {
      ls_.I32(static_cast<int32_t>(group.size()));
      for (const Resource& r : group) Write(r);
    }
    ++ls_count_;
  }

  struct Part {
    uint8_t kind;
    int8_t k;
    int16_t index;
  };

  void ObjectEstimate(const char* name, const char* code, const char* file,
                      std::initializer_list<Part> parts) {
    SourceHead(os_, name, code, file ? kLinkObjSmeta : 0, file);
    Parts(os_, parts);
    ++os_count_;
  }

  void Consolidated(const char* name, const char* code, std::initializer_list<Part> parts) {
    SourceHead(ssr_, name, code, 0, nullptr);
    Parts(ssr_, parts);
    ++ssr_count_;
  }

  struct Row {
    uint8_t kind;
    int8_t k;
    bool inactive;
    int16_t index;
  };

  void Chapter(const char* name, std::initializer_list<Row> rows, bool inactive = false) {
    chapters_.Head(name).I16(static_cast<uint16_t>(rows.size()));
    for (const Row& r : rows) {
      chapters_.Byte(r.kind)
          .Head()
          .Byte(static_cast<uint8_t>(r.k))
          .Bool(r.inactive)
          .I16(static_cast<uint16_t>(r.index));
    }
    chapters_.Bool(inactive);
    ++chapter_count_;
  }

  // Shared lists, sources and chapters in the order they are read.
  void WriteContent(DocBuilder& b) const {
    codes_.Write(b);
    names_.Write(b);
    units_.Write(b);
    b.I16(ls_count_).Append(ls_);
    b.I16(os_count_).Append(os_);
    b.I16(ssr_count_).Append(ssr_);
    b.I16(chapter_count_).Append(chapters_);
  }

 private:
  // Caption, document info with the code, and the link to the source file.
  static void SourceHead(DocBuilder& b, const char* name, const char* code, uint8_t link_type,
                         const char* file) {
    b.Head(name).Head().Str(code).Head().Byte(1).Byte(link_type);
    if (link_type != 0) b.Str(file).Byte(1).Bool(false);  // a file beside the summary
  }

  static void Parts(DocBuilder& b, std::initializer_list<Part> parts) {
    b.I16(static_cast<uint16_t>(parts.size()));
    for (const Part& p : parts) {
      b.Head().Byte(p.kind).Byte(static_cast<uint8_t>(p.k)).I16(static_cast<uint16_t>(p.index));
    }
  }

  void Write(const Resource& r) {
    uint32_t flags = kCode | kUnit | kName | kQuantity | kPrice;
    if (r.cargo) flags |= kCargo;
    if (r.brutto) flags |= kBrutto;
    if (r.grade) flags |= kGrade;
    if (r.requested) flags |= kRequested;
    ls_.Head().I32(static_cast<int32_t>(flags));
    ls_.I16(codes_.Of(r.code)).I16(units_.Of(r.unit)).I16(names_.Of(r.name)).Dbl(r.quantity);
    if (r.cargo) ls_.I16(static_cast<uint16_t>(r.cargo));
    if (r.brutto) ls_.I32(r.brutto);
    if (r.grade) ls_.I16(static_cast<uint16_t>(r.grade));
    ls_.Head()
        .Byte(kCE | kCT | kBE | kBT)
        .Cur(r.current)
        .CurRaw(Total(r.quantity, r.current))
        .Cur(r.base)
        .CurRaw(Total(r.quantity, r.base));
    if (r.requested) {
      ls_.Head().Byte(kCE | kCT).Cur(r.requested).CurRaw(Total(r.quantity, r.requested));
    }
  }

  SharedTexts codes_, names_, units_;
  DocBuilder ls_, os_, ssr_, chapters_;
  uint16_t ls_count_ = 0, os_count_ = 0, ssr_count_ = 0, chapter_count_ = 0;
};

constexpr char kMachinists[] = "Затраты труда машинистов";
constexpr char kTruck[] = "Автомобиль бортовой, грузоподъёмность до 5 т";

}  // namespace

std::string ResSummary() {
  Summary s;
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
  s.Chapter("Объекты основного строительного назначения", {{kOs, 1, false, 0}});
  // The improvement works enter through their object estimate; the local
  // estimate stays in the chapter for reference, switched off.
  s.Chapter("Благоустройство и озеленение территории", {{kOs, 1, false, 1}, {kLs, 1, true, 2}});
  s.Chapter("Сверка со сводным расчётом", {{kSsr, 1, false, 0}}, true);

  DocBuilder b;
  b.I32(1);  // the same source may enter more than once
  // Grouped at current prices, by name; suppliers apart, zero quantities left out.
  b.Byte(2).Byte(1).Byte(0x01 | 0x08 | 0x10).Byte(0);
  s.WriteContent(b);
  b.Str("Ресурсная ведомость по жилому комплексу «Северный»");
  b.Head().Byte(0).I16(0x0003).Str("ООО «СтройИнвест»").Str("Договор подряда № 14/23-П");
  return PackDocument(6, "KD_RSumm", 0x00010004, b.Bytes());
}

}  // namespace kdx::samples

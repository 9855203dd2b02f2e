#include "documents.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "support/builder.h"
#include "support/smeta_builder.h"

namespace kdx::bench {
namespace {

using kdx::test::DocBuilder;
using kdx::test::PackDocument;
namespace smeta = kdx::test::smeta;

constexpr int32_t kOne = 10000;

std::string Number(int n) { return std::to_string(n); }

// A price with two decimals and a comma, from hundredths.
std::string Money(int64_t cents) {
  std::string text = std::to_string(cents / 100) + ",00";
  const int64_t rest = cents % 100;
  text[text.size() - 2] = static_cast<char>('0' + rest / 10);
  text[text.size() - 1] = static_cast<char>('0' + rest % 10);
  return text;
}

// An estimate's catalogue of `count` resources, materials and machines in turn.
std::vector<smeta::Resource> Catalogue(int count) {
  std::vector<smeta::Resource> list;
  for (int i = 0; i < count; ++i) {
    if (i % 4 == 3) {
      list.push_back(
          {"Машина строительная, модель " + Number(i), "91.01.05-" + Number(100 + i), "маш.час"});
    } else {
      list.push_back({"Материал строительный, марка " + Number(i) + ", ГОСТ 8267-93",
                      "401-" + Number(1000 + i), i % 2 ? "м3" : "т"});
    }
  }
  return list;
}

// Positions of a chapter of a generated estimate.
constexpr int kPerChapter = 500;

// Chapters of the positions made by `make`, 500 to a chapter and a header
// before every 20.
std::vector<smeta::Chapter> Chapters(int positions,
                                     const std::function<smeta::Position(int)>& make) {
  constexpr int kPerHeader = 20;
  std::vector<smeta::Chapter> chapters;
  for (int i = 0; i < positions; ++i) {
    if (i % kPerChapter == 0) {
      chapters.push_back({.caption = "Раздел " + Number(i / kPerChapter + 1) + ". Работы",
                          .sys_id = i / kPerChapter + 1});
    }
    auto& items = chapters.back().items;
    if (i % kPerHeader == 0) items.push_back(smeta::Header("Подраздел " + Number(i / kPerHeader)));
    items.push_back(
        {.type = 1, .record = [i, make](kdx::test::SmetaBuilder& b) { b.Position(make(i)); }});
  }
  return chapters;
}

// Position i of a generated estimate, 500 to a chapter, priced at the 2001
// level under one work type.
smeta::Position Priced(int i, std::string caption, std::string code, std::string units) {
  return {.caption = std::move(caption),
          .number = (i / kPerChapter + 1) << 16 | (i % kPerChapter + 1),
          .code = std::move(code),
          .units = std::move(units),
          .sys_id = i + 1,
          .price_level = 1,
          .vr2001 = 6};
}

// The resource that replaced `r`: the same but for the catalogue entry.
smeta::PositionResource Replacing(smeta::PositionResource r, int32_t entry) {
  smeta::PositionResource replacement = r;
  replacement.entry = entry;
  replacement.replaced = {std::move(r)};
  return replacement;
}

// A coefficient of a position: on wages, on machines or by formula.
smeta::LevelK PositionK(int n) {
  switch (n % 3) {
    case 0:
      return {.k = {.caption = "Стеснённые условия",
                    .options = 0x030C,
                    .factors = {{1, 11500}, {3, 11500}}}};
    case 1:
      return {.k = {.caption = "Работа вблизи действующего оборудования",
                    .options = 0x000C,
                    .factors = {{2, 12000}}},
              .level = 2};
    default:
      return {.k = {.caption = "Демонтаж",
                    .kind = 1,
                    .options = 0x000C,
                    .formula = "ОЗП=0,8;ЭМ=0,8;МАТ=0"}};
  }
}

}  // namespace

std::string PriceList(int resources) {
  constexpr int kPerFolder = 200;
  const int folders = (resources + kPerFolder - 1) / kPerFolder;
  DocBuilder b;
  b.Str("Большой прайс-лист").Date(2000, 1, 1).Str("База").Date(2023, 3, 1).Str("Текущие");
  b.Byte(15).ListHead(0, 3).Head("м3").Head("т").Head("шт");
  b.Byte(0b0100).I32(folders);  // materials only
  for (int f = 0; f < folders; ++f) {
    const int count = std::min(kPerFolder, resources - f * kPerFolder);
    b.Byte(1).Head("Раздел каталога № " + Number(f)).I32(count);
    for (int r = 0; r < count; ++r) {
      b.Byte(0).Head("Материал строительный, позиция " + Number(r));
      b.Str("401-" + Number(10000 + r)).I16(static_cast<uint16_t>(r % 3));
      b.I16(0x0001 | 0x0004 | 0x0020 | 0x0080 | 0x0400);
      b.Cur("1234.56").Cur("98.7").I32(1500).Str("Цена & условия <поставки>");
      b.Str(r % 2 ? "БАЗА*8,15" : "15.5");
    }
  }
  b.Head("").I16(0).I16(0);
  return PackDocument(3, "KD_Cennk", 0x00010005, b.Bytes());
}

std::string PriceIndexes(int indexes) {
  constexpr int kPerFolder = 50;
  constexpr int kFoldersPerSection = 20;
  constexpr int kPerSection = kPerFolder * kFoldersPerSection;
  DocBuilder b;
  // User-defined add-on types: level, active, place.
  b.I16(2);
  b.Head("Временные здания и сооружения").Byte(1).Bool(true).Byte(1);
  b.Head("Непредвиденные работы и затраты").Byte(2).Bool(true).Byte(2);
  const int sections = (indexes + kPerSection - 1) / kPerSection;
  b.I32(sections);
  int left = indexes;
  for (int s = 0; s < sections; ++s) {
    const int in_section = std::min(kPerSection, left);
    const int folders = (in_section + kPerFolder - 1) / kPerFolder;
    b.Head("Сборник " + Number(s + 1) + ". Индексы по видам работ").I32(folders);
    for (int f = 0; f < folders; ++f) {
      const int count = std::min(kPerFolder, left);
      b.Byte(1).Head("Отдел " + Number(f + 1) + ". Работы строительные").I32(count);
      for (int i = 0; i < count; ++i, --left) {
        const std::string code = Number(s + 1) + "-" + Number(f + 1) + "-" + Number(i + 1);
        const int32_t v = 70000 + (i * 37 + f * 11) % 30000;
        b.Byte(0).Head("Индекс к разделу " + code + " сборника сметных норм");
        kdx::test::CodedFactors(b, code, {v, 265300, v + 1200, 265300, v - 900});
        b.I16(static_cast<uint16_t>(i % 4 == 0)).I16(3);
        const std::array<std::pair<const char*, int8_t>, 3> add_ons = {
            {{"НР-", -1}, {"СП-", -2}, {"ВЗиС-", 1}}};
        for (const auto& [prefix, type] : add_ons) {
          b.Head();
          kdx::test::CodedFactors(b, prefix + code, {kOne, kOne + 9500, kOne, kOne + 9500, kOne});
          b.I16(0).Byte(static_cast<uint8_t>(type));
        }
      }
    }
  }
  b.Head("Подписи").I16(0);
  b.Str("Индексы изменения сметной стоимости").Date(2023, 4, 1).Str("на II квартал 2023 г.");
  b.I32(950000).I32(500000);
  return PackDocument(4, "KD_Index", 0x0001015F, b.Bytes());
}

std::string SmallRowsEstimate(int positions, int32_t version) {
  constexpr int kResources = 40;
  smeta::Content c;
  c.resources = Catalogue(kResources);
  c.chapters = Chapters(positions, [](int i) {
    const int64_t price = 125000 + i % 997 * 113;
    smeta::Position p = Priced(i, "Устройство конструкции, вариант " + Number(i % 500),
                               "ФЕР06-01-" + Number(1000 + i % 900), "100 м3");
    p.quantity = {.fx = "12,5*" + Number(i % 9 + 1), .value = 12.5 * (i % 9 + 1)};
    p.base = {Money(price), "", "", "", ""};
    p.curr = {"", Money(price * 2), "", "", Money(price * 5)};
    p.fx[1][4] = Money(price * 5) + "*1,02";
    p.ks = {PositionK(i)};
    if (i % 10 < 3) p.ks.push_back(PositionK(i + 1));
    p.excluded = {0};
    p.user_data = {"Захватка " + Number(i % 12 + 1), "Ось " + Number(i % 30 + 1)};
    smeta::PositionResource r{.entry = i % 10 * 4 + i % 3,  // materials
                              .quantity = 1.02,
                              .prices = {Money(price / 3), "", Money(price / 24), ""}};
    if (i % 3 == 0) r = Replacing(std::move(r), (r.entry + 4) % kResources);
    p.resources = {std::move(r)};
    p.implementation = {
        {.act = 0, .quantity = {.value = 6.25}, .prices = {"", "", "", "", Money(price * 4)}}};
    p.periods = {{3, 2023, 6.25}};
    return p;
  });
  return kdx::test::PackSmeta(c, version);
}

std::string ResourceEstimate(int positions) {
  constexpr int kResources = 400, kPerPosition = 20;
  smeta::Content c;
  c.resources = Catalogue(kResources);
  c.chapters = Chapters(positions, [](int i) {
    smeta::Position p = Priced(i, "Монтаж оборудования, комплект " + Number(i % 700),
                               "ФЕРм08-02-" + Number(100 + i % 400), "1 т");
    p.quantity.value = 2.5 + i % 13;
    p.base = {"14820,55", "3120,4", "2240,15", "410,22", "9460"};
    p.resources.push_back({.type = smeta::kWorkers, .grade = 38, .quantity = 42.8});
    p.resources.push_back({.type = smeta::kMachinists, .quantity = 6.15});
    for (int r = 0; r < kPerPosition; ++r) {
      const int entry = (i * 7 + r * 13) % kResources;
      smeta::PositionResource res{
          .type = entry % 4 == 3 ? smeta::kMachine : smeta::kMaterial,
          .entry = entry,
          .quantity = 0.25 * (r + 1),
          .prices = {Money(10000 + entry * 37), "", Money(1200 + entry), ""}};
      if (r % 5 == 0) {
        res.ks = {{.k = {.caption = "Норма расхода", .options = 0x000C, .factors = {{4, 10300}}}}};
      }
      if (r % 7 == 0) res.implementation = {{.act = 0, .prices = {Money(11000 + entry * 40)}}};
      if (r % 11 == 0 && res.type == smeta::kMaterial) {
        res = Replacing(std::move(res), (entry + 4) % kResources);
      }
      p.resources.push_back(std::move(res));
    }
    return p;
  });
  return kdx::test::PackSmeta(c, smeta::kNewest);
}

std::string ResSummary(int resources) {
  constexpr int kPerEstimate = 2000;
  constexpr int kCodes = 5000, kNames = 5000;
  static const char* const kUnits[] = {"м3", "т", "шт", "м2", "чел.-ч", "маш.-ч", "1000 шт", "кг"};
  const int estimates = (resources + kPerEstimate - 1) / kPerEstimate;
  DocBuilder b;
  b.I32(1);
  b.Byte(2).Byte(1).Byte(0x01 | 0x08 | 0x10).Byte(0);
  b.I16(kCodes);
  for (int i = 0; i < kCodes; ++i) b.Head("04.1.02.05-" + Number(1000 + i));
  b.I16(kNames);
  for (int i = 0; i < kNames; ++i) b.Head("Ресурс строительный номенклатурный № " + Number(i));
  b.I16(std::size(kUnits));
  for (const char* unit : kUnits) b.Head(unit);

  b.I16(static_cast<uint16_t>(estimates));
  int left = resources;
  for (int e = 0; e < estimates; ++e) {
    const std::string number = "02-01-" + Number(e + 1);
    b.Head("Локальная смета № " + number).Head().Str(number).Head().Byte(1).Byte(3);
    b.Str("ЛС " + number + ".kdx").Byte(1).Bool(false);
    const int in_estimate = std::min(kPerEstimate, left);
    for (int g = 0; g < 4; ++g) {
      const int count = in_estimate / 4 + (g < in_estimate % 4 ? 1 : 0);
      b.I32(count);
      for (int r = 0; r < count; ++r, --left) {
        const int k = left * 7;
        const bool requested = r % 5 == 0;
        const bool mass = g == 2;
        b.Head().I32(0x0001 | 0x0002 | 0x0004 | 0x0008 | 0x0400 | (mass ? 0x0030 : 0) |
                     (requested ? 0x0800 : 0));
        b.I16(static_cast<uint16_t>(k % kCodes))
            .I16(static_cast<uint16_t>(g * 2 + r % 2))
            .I16(static_cast<uint16_t>((k / 3) % kNames))
            .Dbl(12.5 + r % 97 * 0.25);
        if (mass) b.I16(100).I32(1950 + r % 50);
        b.Head().Byte(0x0F).CurRaw(61200000 + r).CurRaw(76500000 + r * 3);
        b.CurRaw(6650000 + r).CurRaw(8312500 + r);
        if (requested) b.Head().Byte(0x03).CurRaw(58900000).CurRaw(73625000);
      }
    }
  }
  b.I16(0).I16(0);  // no object estimates or consolidated calculations
  b.I16(1).Head("Объекты основного строительного назначения").I16(static_cast<uint16_t>(estimates));
  for (int e = 0; e < estimates; ++e) {
    b.Byte(0).Head().Byte(1).Bool(false).I16(static_cast<uint16_t>(e));
  }
  b.Bool(false);
  b.Str("Ресурсная ведомость");
  b.Head().Byte(0).I16(0x0003).Str("ООО «СтройИнвест»").Str("Договор подряда № 14/23-П");
  return PackDocument(6, "KD_RSumm", 0x00010004, b.Bytes());
}

}  // namespace kdx::bench

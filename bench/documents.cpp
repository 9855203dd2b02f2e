#include "documents.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "support/builder.h"
#include "support/cennik_builder.h"
#include "support/priceindexes_builder.h"
#include "support/ressummary_builder.h"
#include "support/smeta_builder.h"

namespace kdx::bench {
namespace {

using kdx::test::DocBuilder;
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
  namespace cennik = kdx::test::cennik;
  constexpr int kPerFolder = 200;
  cennik::PriceList list{.comment = "Большой прайс-лист",
                         .base_note = "База",
                         .curr_date = kdx::test::DateValue(2023, 3, 1),
                         .curr_note = "Текущие",
                         .units = {"м3", "т", "шт"}};
  std::vector<DocBuilder> folders;
  for (int f = 0; f * kPerFolder < resources; ++f) {
    std::vector<DocBuilder> items;
    for (int r = 0; r < std::min(kPerFolder, resources - f * kPerFolder); ++r) {
      items.push_back(
          cennik::ResourceItem(list.version, {.name = "Материал строительный, позиция " + Number(r),
                                              .code = "401-" + Number(10000 + r),
                                              .units = static_cast<int16_t>(r % 3),
                                              .price = {"1234.56", std::nullopt, "98.7"},
                                              .brutto = 1500,
                                              .comment = "Цена & условия <поставки>",
                                              .fx = {r % 2 ? "БАЗА*8,15" : "15.5"}}));
    }
    folders.push_back(cennik::FolderItem("Раздел каталога № " + Number(f), items));
  }
  list.groups[cennik::kMaterials] = cennik::Group(folders);
  return list.Packed();
}

std::string PriceIndexes(int indexes) {
  namespace pi = kdx::test::priceindexes;
  constexpr int kPerFolder = 50;
  constexpr int kFoldersPerSection = 20;
  pi::Document doc{.add_on_types = {{"Временные здания и сооружения", 1, true, 1},
                                    {"Непредвиденные работы и затраты", 2, true, 2}},
                   .signatures = {.caption = "Подписи"},
                   .comment = "Индексы изменения сметной стоимости",
                   .date = kdx::test::DateValue(2023, 4, 1),
                   .date_comment = "на II квартал 2023 г.",
                   .nakl = 950000,
                   .plan = 500000};
  const std::array<std::pair<const char*, int8_t>, 3> add_ons = {
      {{"НР-", pi::kOverheads}, {"СП-", pi::kProfit}, {"ВЗиС-", 1}}};
  for (int s = 0, left = indexes; left > 0; ++s) {
    std::vector<DocBuilder> folders;
    for (int f = 0; f < kFoldersPerSection && left > 0; ++f) {
      std::vector<DocBuilder> items;
      for (int i = 0; i < kPerFolder && left > 0; ++i, --left) {
        const std::string code = Number(s + 1) + "-" + Number(f + 1) + "-" + Number(i + 1);
        const int32_t v = 70000 + (i * 37 + f * 11) % 30000;
        pi::Index index{.item = {"Индекс к разделу " + code + " сборника сметных норм",
                                 code,
                                 {v, 265300, v + 1200, 265300, v - 900}},
                        .options = static_cast<uint16_t>(i % 4 == 0)};
        for (const auto& [prefix, type] : add_ons) {
          index.add_ons.push_back(
              {prefix + code, {kOne, kOne + 9500, kOne, kOne + 9500, kOne}, 0, type});
        }
        items.push_back(pi::IndexItem(index));
      }
      folders.push_back(pi::FolderItem("Отдел " + Number(f + 1) + ". Работы строительные", items));
    }
    doc.folders.push_back(
        pi::Folder("Сборник " + Number(s + 1) + ". Индексы по видам работ", folders));
  }
  return doc.Packed();
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
  namespace rs = kdx::test::ressummary;
  constexpr int kPerEstimate = 2000;
  constexpr int kCodes = 5000, kNames = 5000;
  // An amount of ten-thousandths as decimal text.
  const auto amount = [](int64_t scaled) {
    return Number(static_cast<int>(scaled / 10000)) + "." +
           Number(static_cast<int>(scaled % 10000 + 10000)).substr(1);
  };
  rs::Summary summary{
      .report = {.options = 1, .grouping = 2, .sort_mode = 1, .report_options = 0x01 | 0x08 | 0x10},
      .units = {"м3", "т", "шт", "м2", "чел.-ч", "маш.-ч", "1000 шт", "кг"},
      .comment = "Ресурсная ведомость",
      .user_data = {"ООО «СтройИнвест»", "Договор подряда № 14/23-П"}};
  for (int i = 0; i < kCodes; ++i) summary.codes.push_back("04.1.02.05-" + Number(1000 + i));
  for (int i = 0; i < kNames; ++i) {
    summary.names.push_back("Ресурс строительный номенклатурный № " + Number(i));
  }
  const int estimates = (resources + kPerEstimate - 1) / kPerEstimate;
  DocBuilder rows;
  for (int e = 0, left = resources; e < estimates; ++e) {
    const std::string number = "02-01-" + Number(e + 1);
    summary.ls.Append(rs::Source("Локальная смета № " + number, number,
                                 {.type = 3, .link = "ЛС " + number + ".kdx", .target = 1}));
    const int in_estimate = std::min(kPerEstimate, left);
    for (int g = 0; g < 4; ++g) {
      const int count = in_estimate / 4 + (g < in_estimate % 4 ? 1 : 0);
      summary.ls.I32(count);
      for (int r = 0; r < count; ++r, --left) {
        const int k = left * 7;
        rs::Resource resource{
            .code = static_cast<int16_t>(k % kCodes),
            .units = static_cast<int16_t>(g * 2 + r % 2),
            .name = static_cast<int16_t>((k / 3) % kNames),
            .quantity = 12.5 + r % 97 * 0.25,
            .prices = kdx::test::Prices{.values = {amount(61200000 + r), amount(76500000 + r * 3),
                                                   amount(6650000 + r), amount(8312500 + r)}}};
        if (g == 2) resource.cargo = 100, resource.brutto = 1950 + r % 50;
        if (r % 5 == 0) resource.requested = kdx::test::Prices{.values = {"5890", "7362.5"}};
        summary.ls.Append(rs::ResourceRecord(resource));
      }
    }
    rows.Append(rs::ChapterRow(rs::kLs, 1, false, static_cast<int16_t>(e)));
  }
  summary.ls_count = static_cast<uint16_t>(estimates);
  summary.chapter_count = 1;
  summary.chapters = rs::Chapter("Объекты основного строительного назначения",
                                 static_cast<uint16_t>(estimates), rows, false);
  return summary.Packed();
}

}  // namespace kdx::bench

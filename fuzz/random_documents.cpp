#include "random_documents.h"

#include <array>
#include <cstddef>
#include <limits>
#include <string_view>

#include "samples/samples.h"
#include "support/cennik_builder.h"
#include "support/objsmeta_builder.h"
#include "support/priceindexes_builder.h"
#include "support/ressummary_builder.h"
#include "support/smeta_builder.h"

namespace kdx::fuzz {

using test::DocBuilder;

size_t Dice::Count(size_t few) {
  if (long_counts_left_ > 0 && OneIn(40)) {
    --long_counts_left_;
    return 100 + Below(400);
  }
  return Below(static_cast<uint32_t>(few + 1));
}

std::string Dice::Text() {
  static constexpr std::string_view kPieces[] = {"a", "Я", "ё",    "7",  " ", "\"", "&", "<",
                                                 ">", "'", "\x01", "\t", ",", "=",  ";", "("};
  size_t length;
  switch (Below(12)) {
    case 0:
    case 1:
    case 2:
      return {};
    case 3:
      length = OneIn(4) ? 255 + Below(3) : 20 + Below(280);
      break;
    case 4:
      if (long_texts_left_ > 0 && OneIn(4)) {
        --long_texts_left_;
        length = OneIn(4) ? 65534 + Below(3) : 300 + Below(4000);
        break;
      }
      [[fallthrough]];
    default:
      length = 1 + Below(12);
  }
  // One character repeated now and then: the longest escaped forms.
  const std::string_view fixed = OneIn(3) ? kPieces[Below(std::size(kPieces))] : "";
  std::string text;
  for (size_t i = 0; i < length; ++i)
    text += fixed.empty() ? kPieces[Below(std::size(kPieces))] : fixed;
  return text;
}

int32_t Dice::Index(size_t size) {
  if (OneIn(8)) return -1 - static_cast<int32_t>(Below(2));
  return static_cast<int32_t>(Below(static_cast<uint32_t>(size + 1)));
}

int64_t Dice::Edgy(int bits) {
  const int64_t top =
      bits >= 64 ? std::numeric_limits<int64_t>::max() : (int64_t{1} << (bits - 1)) - 1;
  switch (Below(8)) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 2:
      return -1;
    case 3:
      return top;
    case 4:
      return -top - 1;
    default:
      return static_cast<int64_t>(Below(1000));
  }
}

std::string Dice::Amount() {
  if (OneIn(3)) return {};
  std::string amount = OneIn(4) ? "-" : "";
  amount += std::to_string(Below(OneIn(4) ? 2000000000 : 1000));
  if (OneIn(2)) amount += "." + std::to_string(Below(10000));
  return amount;
}

namespace {

// ---- local estimates ----

namespace estimate {

using namespace test::smeta;

Coefficient RandomK(Dice& d) {
  Coefficient k{.caption = d.Text(),
                .kind = static_cast<uint8_t>(d.Below(3)),
                .options = static_cast<uint16_t>(d.OneIn(2) ? 0x3FC : d.Bits())};
  for (size_t i = d.Count(); i-- > 0;) {
    k.factors.push_back({static_cast<uint8_t>(d.Below(8)), static_cast<int32_t>(d.Edgy(32))});
  }
  if (k.kind == 1) k.formula = d.OneIn(2) ? "ПЗ=1,1;ОЗП=" + d.Text() : d.Text();
  return k;
}

Factors RandomFactors(Dice& d) {
  Factors f = kNoChange;
  for (auto& v : f) {
    if (d.OneIn(3)) v = static_cast<int32_t>(d.Edgy(32));
  }
  return f;
}

Index RandomIndex(Dice& d, size_t add_on_types) {
  static const std::vector<std::string> kCodes = {"И-01", "и-01 ", "", "ЗУ", "Констр_1", "Вр_1"};
  Index index{.item = {d.Text(), d.OneIn(2) ? d.Pick(kCodes) : d.Text(), RandomFactors(d)},
              .options = static_cast<uint16_t>(d.Below(4))};
  for (size_t i = d.Count(); i-- > 0;) {
    const int type = d.OneIn(2) ? -static_cast<int>(d.Below(5)) : d.Index(add_on_types) + 1;
    index.add_ons.push_back({.code = d.Text(),
                             .factors = RandomFactors(d),
                             .options = static_cast<uint16_t>(d.Below(4)),
                             .type = static_cast<int8_t>(type)});
  }
  return index;
}

std::vector<AddOnType> RandomAddOnTypes(Dice& d) {
  std::vector<AddOnType> types(d.Count());
  for (auto& t : types) {
    t = {.caption = d.Text(),
         .level = static_cast<int8_t>(d.Edgy(8)),
         .active = d.OneIn(2),
         .place = static_cast<uint8_t>(d.Below(4))};
  }
  return types;
}

Quantity RandomQuantity(Dice& d) {
  return {.fx = d.OneIn(3) ? d.Text() : "",
          .value = static_cast<double>(d.Edgy(32)) / 7,
          .precision = static_cast<int8_t>(d.Below(8)),
          .k_mult = d.OneIn(4) ? 2.5 : 1};
}

PositionResource RandomResource(Dice& d, const Content& c, int depth = 0) {
  PositionResource r{.type = static_cast<uint8_t>(d.Below(4)),
                     .caption = d.Text(),
                     .code = d.Text(),
                     .grade = static_cast<int16_t>(d.Edgy(16)),
                     .entry = d.Index(c.resources.size()),
                     .options = static_cast<uint16_t>(d.OneIn(3) ? d.Bits() : 0),
                     .quantity = static_cast<double>(d.Edgy(32)) / 3};
  for (auto& p : r.prices) p = d.Amount();
  if (d.OneIn(3)) r.index = static_cast<uint16_t>(d.Index(c.indexes_res.size()));
  if (d.OneIn(3)) r.index_code = d.Text();
  for (size_t i = d.Count(1); i-- > 0;)
    r.ks.push_back({RandomK(d), static_cast<int8_t>(d.Below(3))});
  for (size_t i = d.Count(1); i-- > 0;) {
    r.implementation.push_back({.act = static_cast<int16_t>(d.Index(c.acts.size())),
                                .comment = d.Text(),
                                .prices = {d.Amount(), d.Amount()}});
  }
  if (depth < 2 && d.OneIn(6)) r.replaced.push_back(RandomResource(d, c, depth + 1));
  return r;
}

Position RandomPosition(Dice& d, const Content& c, size_t positions) {
  Position p{.caption = d.Text(),
             .kind = static_cast<uint8_t>(d.Below(d.OneIn(8) ? 256 : 3)),
             .mask_extra = d.OneIn(4) ? d.Bits() : 0,
             .options = static_cast<uint16_t>(d.OneIn(3) ? d.Bits() : 0),
             .number = static_cast<int32_t>(d.Bits()),
             .code = d.Text(),
             .units = d.Text(),
             .sys_id = static_cast<int32_t>(d.Below(6)),
             .quantity = RandomQuantity(d)};
  for (auto& v : p.base) v = d.Amount();
  for (auto& v : p.curr) v = d.Amount();
  p.vr1984 = static_cast<int32_t>(d.Below(8));
  p.vr2001 = static_cast<int32_t>(d.Below(8));
  for (size_t i = d.Count(); i-- > 0;) p.resources.push_back(RandomResource(d, c));
  for (size_t i = d.Count(1); i-- > 0;) p.works.push_back(d.Index(c.works.size()));
  for (size_t i = d.Count(1); i-- > 0;)
    p.ks.push_back({RandomK(d), static_cast<int8_t>(d.Edgy(8))});
  for (auto& n : p.old_indexes) n = static_cast<int16_t>(d.OneIn(2) ? -1 : d.Below(4));
  if (d.OneIn(3)) p.index = static_cast<uint16_t>(d.Index(c.indexes_pos.size()));
  if (d.OneIn(4)) p.index8401 = static_cast<uint16_t>(d.Index(c.indexes_pos.size()));
  if (d.OneIn(3)) p.index_code = d.OneIn(2) ? "И-01" : d.Text();
  if (d.OneIn(4)) p.index8401_code = d.OneIn(2) ? "и-01" : d.Text();
  if (d.OneIn(4)) p.winter = static_cast<uint16_t>(d.Index(c.winters.items.size()));
  for (size_t i = d.Count(1); i-- > 0;) {
    p.implementation.push_back({.act = static_cast<int16_t>(d.Index(c.acts.size())),
                                .comment = d.Text(),
                                .quantity = RandomQuantity(d)});
  }
  for (size_t i = d.Count(2); i-- > 0;) {
    p.periods.push_back({.month = static_cast<int>(d.Below(14)),
                         .year = 1900 + static_cast<int>(d.Below(210)),
                         .quantity = static_cast<double>(d.Edgy(16))});
  }
  for (size_t i = d.Count(1); i-- > 0;)
    p.linked.push_back(static_cast<int16_t>(d.Index(positions)));
  for (size_t i = d.Count(2); i-- > 0;) {
    p.excluded.push_back(static_cast<int16_t>(d.Index(c.work_type_ks.size())));
  }
  p.performer = static_cast<int16_t>(d.Index(c.performers.size()));
  return p;
}

std::vector<WorkTypeGroup> RandomWorkTypes(Dice& d) {
  std::vector<WorkTypeGroup> groups(d.Count(2));
  for (auto& g : groups) {
    g.caption = d.Text();
    g.id = static_cast<int32_t>(d.Below(8));
    g.index_code = d.Text();
    for (size_t i = d.Count(); i-- > 0;) {
      g.items.push_back({.caption = d.Text(),
                         .id = static_cast<int32_t>(d.Below(8)),
                         .nacl = static_cast<int32_t>(d.Edgy(32)),
                         .plan_mask = static_cast<uint8_t>(d.Bits()),
                         .os_column = static_cast<uint8_t>(d.Below(5)),
                         .index_code = d.Text()});
    }
  }
  return groups;
}

std::vector<LegacyItem> RandomLegacyItems(Dice& d) {
  std::vector<LegacyItem> items(d.Count(1));
  for (auto& item : items) {
    item.caption = d.Text();
    item.a = static_cast<int32_t>(d.Edgy(32));
    for (auto* entries : {&item.first, &item.second}) {
      for (size_t i = d.Count(); i-- > 0;) {
        entries->push_back({static_cast<int32_t>(d.Below(8)), static_cast<int32_t>(d.Edgy(32)),
                            static_cast<int32_t>(d.Edgy(32))});
      }
    }
  }
  return items;
}

std::string RandomEstimate(Dice& d) {
  const int32_t version = kOldest + static_cast<int32_t>(d.Below(kNewest - kOldest + 1));
  if (d.OneIn(4)) return samples::SmetaOfSize(d.Below(20), version);
  Content c;
  c.options = d.OneIn(2) ? c.options : d.Bits();
  c.region_id = static_cast<int32_t>(d.Edgy(16));
  if (d.OneIn(2)) c.work_types84 = RandomWorkTypes(d);
  if (d.OneIn(2)) c.work_types = RandomWorkTypes(d);
  c.vr_base_calc = static_cast<uint8_t>(d.Below(3));
  c.legacy_price_mode = static_cast<uint8_t>(d.Below(4));
  c.legacy_index_mode = static_cast<uint8_t>(d.Below(3));
  c.indexes_mode = static_cast<uint8_t>(d.Below(5));
  c.resources.resize(d.Count());
  for (auto& r : c.resources) r = {d.Text(), d.Text(), d.Text()};
  c.works.resize(d.Count(1));
  for (auto& w : c.works) w = d.Text();
  c.work_type_ks.resize(d.Count());
  for (auto& k : c.work_type_ks) {
    k = {.k = RandomK(d),
         .level = static_cast<int8_t>(d.Edgy(8)),
         .all_chapters = d.OneIn(2),
         .all_work_types = d.OneIn(2)};
    for (size_t i = d.Count(1); i-- > 0;) k.work_types.push_back(static_cast<int16_t>(d.Edgy(16)));
  }
  c.add_on_types = RandomAddOnTypes(d);
  c.indexes_pos.resize(d.Count());
  for (auto& index : c.indexes_pos) index = RandomIndex(d, c.add_on_types.size());
  c.indexes_res.resize(d.Count(1));
  for (auto& index : c.indexes_res) index = RandomIndex(d, 0);
  if (d.OneIn(2)) {
    for (auto& table : c.legacy_tables) table.resize(d.Count(1), RandomK(d));
    c.legacy_design_indexes = RandomLegacyItems(d);
    c.legacy_work_type_indexes = RandomLegacyItems(d);
  }
  c.acts.resize(d.Count(2));
  for (auto& act : c.acts) {
    act.caption = d.Text();
    act.making_date = static_cast<double>(d.Edgy(16));
    act.year = static_cast<int16_t>(d.Edgy(16));
    act.month = static_cast<int16_t>(d.Below(14));
    act.add_on_types = RandomAddOnTypes(d);
    for (size_t i = d.Count(1); i-- > 0;)
      act.indexes_pos.push_back(RandomIndex(d, act.add_on_types.size()));
  }
  c.current_act = d.Index(c.acts.size());
  const size_t positions = d.Count(4);
  c.chapters.resize(d.Count(2));
  for (auto& chapter : c.chapters) {
    chapter.caption = d.Text();
    chapter.sys_id = static_cast<int32_t>(d.Edgy(32));
    for (size_t i = positions; i-- > 0;) {
      chapter.items.push_back(d.OneIn(4) ? Header(d.Text())
                                         : PositionItem(RandomPosition(d, c, positions)));
    }
  }
  for (auto& costs : c.add_zatrs) {
    costs.resize(d.Count(1));
    for (auto& cost : costs) {
      cost = {.caption = d.Text(),
              .identifier = d.Text(),
              .options = static_cast<uint16_t>(d.Bits()),
              .value = d.OneIn(2) ? "0" : d.Amount(),
              .formula = d.Text(),
              .level = static_cast<int8_t>(d.Edgy(8)),
              .returned = d.Amount()};
      if (cost.value.empty()) cost.value = "0";
      if (cost.returned.empty()) cost.returned = "0";
    }
  }
  for (auto& chapter : c.defects.chapters) {
    for (auto& defect : chapter.items) {
      defect.header = d.OneIn(5);
      defect.caption = d.Text();
      defect.positions.resize(d.Count());
      for (auto& p : defect.positions) p.pos_id = static_cast<int32_t>(d.Below(6));
    }
  }
  c.comment = d.Text();
  return test::PackSmeta(c, version);
}

}  // namespace estimate

// ---- price lists ----

DocBuilder PriceListItems(Dice& d, int32_t version, int depth) {
  std::vector<DocBuilder> items;
  for (size_t i = d.Count(); i-- > 0;) {
    if (depth < 4 && d.OneIn(4)) {
      std::vector<DocBuilder> inner;
      for (size_t k = d.Count(2); k-- > 0;) inner.push_back(PriceListItems(d, version, depth + 1));
      items.push_back(test::cennik::FolderItem(d.Text(), inner));
      continue;
    }
    test::cennik::Resource r{
        .name = d.Text(), .code = d.Text(), .units = static_cast<int16_t>(d.Index(3))};
    for (auto& p : r.price) {
      if (d.OneIn(2)) p = d.Amount();
    }
    if (d.OneIn(3)) r.cargo = static_cast<int16_t>(d.Edgy(16));
    if (d.OneIn(3)) r.brutto = static_cast<int32_t>(d.Edgy(32));
    if (d.OneIn(3)) r.comment = d.Text();
    if (d.OneIn(3)) r.base_note = d.Text();
    for (auto& fx : r.fx) {
      if (d.OneIn(3)) fx = d.Text();
    }
    r.extra_flags = d.OneIn(5) ? static_cast<uint16_t>(d.Bits()) : 0;
    items.push_back(test::cennik::ResourceItem(version, r));
  }
  return test::cennik::Group(items);
}

std::string RandomPriceList(Dice& d) {
  if (d.OneIn(8)) return samples::PriceList();
  test::cennik::PriceList doc{
      .version = test::cennik::kOldest +
                 static_cast<int32_t>(d.Below(test::cennik::kNewest - test::cennik::kOldest + 1)),
      .comment = d.Text(),
      .visible = static_cast<uint8_t>(d.Bits())};
  doc.units.resize(d.Count());
  for (auto& u : doc.units) u = d.Text();
  for (auto& g : doc.groups) {
    if (d.OneIn(2)) g = PriceListItems(d, doc.version, 0);
  }
  doc.mask_extra = d.OneIn(6) ? static_cast<uint8_t>(d.Bits()) : 0;
  doc.variables.resize(d.Count(1));
  for (auto& v : doc.variables) v = {d.Text(), d.Text(), d.Text()};
  return doc.Packed();
}

// ---- object estimates and consolidated calculations ----

std::string RandomObjectEstimate(Dice& d) {
  using namespace test::objsmeta;
  if (d.OneIn(8)) return d.OneIn(2) ? samples::ObjSmeta() : samples::ConsCalc();
  Document doc{.estimate = d.OneIn(2),
               .version = kOldest + static_cast<int32_t>(d.Below(kNewest - kOldest + 1)),
               .mode = static_cast<uint8_t>(d.Below(4)),
               .thousands = d.OneIn(2),
               .round = static_cast<uint8_t>(d.Below(4))};
  for (size_t ch = d.Count(); ch-- > 0;) {
    DocBuilder items;
    const size_t count = d.Count(4);
    for (size_t i = count; i-- > 0;) {
      if (d.OneIn(4)) {
        items.Append(HeaderItem(d.Text()));
        continue;
      }
      Cost cost{.caption = d.Text(),
                .basis = d.Text(),
                .options = static_cast<uint8_t>(d.Bits()),
                .layout = static_cast<uint8_t>(d.Below(4)),
                .id = d.Text(),
                .k = static_cast<int32_t>(d.Edgy(32))};
      for (auto& a : cost.amounts) a = d.Amount();
      for (auto& f : cost.formulas) {
        if (d.OneIn(3)) f = d.Text();
      }
      cost.link = {.type = static_cast<uint8_t>(d.Below(6)), .link = d.Text()};
      cost.other_methods.resize(d.Count(1));
      items.Append(CostItem(cost, doc.version));
    }
    doc.chapters.push_back(
        ChapterRecord(doc.version, d.Text(), static_cast<uint16_t>(count), items));
  }
  doc.first_conversions.resize(d.Count(1), Conversion{d.Text()});
  doc.signature_texts.resize(d.Count(8));
  for (auto& t : doc.signature_texts) t = d.Text();
  doc.comment = d.Text();
  return doc.Packed();
}

// ---- price-index documents ----

DocBuilder PriceIndexFolder(Dice& d, size_t add_on_types, int depth) {
  std::vector<DocBuilder> items;
  for (size_t i = d.Count(); i-- > 0;) {
    if (depth < 4 && d.OneIn(4)) {
      items.push_back(DocBuilder()
                          .Byte(test::priceindexes::kFolderItem)
                          .Append(PriceIndexFolder(d, add_on_types, depth + 1)));
    } else {
      items.push_back(test::priceindexes::IndexItem(estimate::RandomIndex(d, add_on_types)));
    }
  }
  return test::priceindexes::Folder(d.Text(), items);
}

std::string RandomPriceIndexes(Dice& d) {
  using namespace test::priceindexes;
  if (d.OneIn(8)) return samples::PriceIndexes();
  static const std::vector<int32_t> kVersions = {0x00010100,       kSignatures - 1, kSignatures,
                                                 kBindingDate - 1, kBindingDate,    kNewest};
  Document doc{.version = d.Pick(kVersions),
               .add_on_types = estimate::RandomAddOnTypes(d),
               .comment = d.Text(),
               .nakl = static_cast<int32_t>(d.Edgy(32))};
  for (size_t i = d.Count(); i-- > 0;) {
    doc.folders.push_back(PriceIndexFolder(d, doc.add_on_types.size(), 0));
  }
  return doc.Packed();
}

// ---- resource summaries ----

std::string RandomResourceSummary(Dice& d) {
  using namespace test::ressummary;
  if (d.OneIn(8)) return samples::ResSummary();
  Summary s{.version = static_cast<int32_t>(0x00010001 + d.Below(kNewest - 0x00010001 + 1)),
            .report = {.options = d.Bits(),
                       .grouping = static_cast<uint8_t>(d.Below(4)),
                       .sort_mode = static_cast<uint8_t>(d.Below(5)),
                       .direction = static_cast<uint8_t>(d.Below(3))}};
  for (auto* texts : {&s.codes, &s.names, &s.units}) {
    texts->resize(d.Count());
    for (auto& t : *texts) t = d.Text();
  }
  const auto shared = [&](const std::vector<std::string>& texts) -> std::optional<int16_t> {
    if (d.OneIn(4)) return std::nullopt;
    return static_cast<int16_t>(d.Index(texts.size()));
  };
  s.ls_count = static_cast<uint16_t>(d.Count());
  for (size_t i = s.ls_count; i-- > 0;) {
    s.ls.Append(
        Source(d.Text(), d.Text(), {.type = static_cast<uint8_t>(d.Below(6)), .link = d.Text()}));
    for (int group = 0; group < 4; ++group) {
      const size_t count = d.Count();
      s.ls.I32(static_cast<int32_t>(count));
      for (size_t r = count; r-- > 0;) {
        Resource resource{
            .code = shared(s.codes), .units = shared(s.units), .name = shared(s.names)};
        if (d.OneIn(2)) resource.quantity = static_cast<double>(d.Edgy(32));
        if (d.OneIn(3)) resource.prices = test::Prices{.values = {d.Amount(), d.Amount()}};
        resource.extra_flags = d.OneIn(6) ? d.Bits() : 0;
        s.ls.Append(ResourceRecord(resource));
      }
    }
  }
  for (auto [count, list, source_count] : {std::tuple{&s.os_count, &s.os, s.ls_count},
                                           std::tuple{&s.ssr_count, &s.ssr, uint16_t{0}}}) {
    *count = static_cast<uint16_t>(d.Count(2));
    for (size_t i = *count; i-- > 0;) {
      list->Append(Source(d.Text(), d.Text()));
      const size_t parts = d.Count();
      list->I16(static_cast<uint16_t>(parts));
      for (size_t p = parts; p-- > 0;) {
        list->Append(DocumentRow(static_cast<uint8_t>(d.Below(3)), static_cast<int8_t>(d.Edgy(8)),
                                 static_cast<int16_t>(d.Index(std::max<size_t>(source_count, i)))));
      }
    }
  }
  s.chapter_count = static_cast<uint16_t>(d.Count(2));
  for (size_t i = s.chapter_count; i-- > 0;) {
    DocBuilder rows;
    const size_t count = d.Count();
    for (size_t r = count; r-- > 0;) {
      rows.Append(ChapterRow(static_cast<uint8_t>(d.Below(d.OneIn(8) ? 256 : 3)),
                             static_cast<int8_t>(d.Edgy(8)), d.OneIn(2),
                             static_cast<int16_t>(d.Index(s.ls_count))));
    }
    s.chapters.Append(Chapter(d.Text(), static_cast<uint16_t>(count), rows, d.OneIn(2)));
  }
  s.comment = d.Text();
  return s.Packed();
}

}  // namespace

std::string RandomDocument(Dice& dice) {
  switch (dice.Below(5)) {
    case 0:
      return estimate::RandomEstimate(dice);
    case 1:
      return RandomPriceList(dice);
    case 2:
      return RandomObjectEstimate(dice);
    case 3:
      return RandomPriceIndexes(dice);
    default:
      return RandomResourceSummary(dice);
  }
}

}  // namespace kdx::fuzz

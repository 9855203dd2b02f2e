#include "support/smeta_builder.h"

#include <iterator>

namespace kdx::test {
namespace {

// File versions at which the estimate's records changed, in ascending order.
// "...Dropped" is the first version without the field.
constexpr int32_t kResObManager = 65793;
constexpr int32_t kSkippedBlockAfterCosts = 65794;
constexpr int32_t kTwoAddZatrLists = 65795;
constexpr int32_t kKOptions16 = 65796;
constexpr int32_t kKKind = 65797;
constexpr int32_t kWholeVrCatalog = 65798;
constexpr int32_t kVrKf2001Links = 65801;
constexpr int32_t kSignatureTexts = 65806;
constexpr int32_t kRegionId16 = 65807;
constexpr int32_t kVrBaseCalc = 65808;
constexpr int32_t kLegacyTables = 65809;
constexpr int32_t kLegacyModes = 65811;
constexpr int32_t kLegacyDesignIndexes = 65812;
constexpr int32_t kLegacyBlocks2001 = 65815;
constexpr int32_t kCommonNakl = 65818;
constexpr int32_t kVrOsColumn = 65819;
constexpr int32_t kSecondSkippedBlock = 65820;
constexpr int32_t kTerZoneK = 65821;
constexpr int32_t kAddZatrFormula = 65822;
constexpr int32_t kOsGlava = 65823;
constexpr int32_t kCcGlava = 65825;
constexpr int32_t kBaseCalcMode = 65828;
constexpr int32_t kVariables = 65829;
constexpr int32_t kChapterList = 65830;
constexpr int32_t kIndexLists = 65831;
constexpr int32_t kIndexesMode = 65832;
constexpr int32_t kCommonIndexSmrLz = 65834;
constexpr int32_t kBasePriceLevel = 65835;
constexpr int32_t kOneAddZatrList = 65836;
constexpr int32_t kSkippedBlocksDropped = 65837;
constexpr int32_t kOldBlocksDropped = 65838;
constexpr int32_t kItogOptions = 65839;
constexpr int32_t kCommonIndexSmr = 65839;  // and the options of common indexes
constexpr int32_t kIndexOptions = 65840;
constexpr int32_t kIndexFileName = 65840;
constexpr int32_t kLegacyTablesDropped = 65841;
constexpr int32_t kFirstItemRuleDropped = 65842;
constexpr int32_t kLegacyIndexesDropped = 65843;
constexpr int32_t kLegacyIndexModeDropped = 65844;
constexpr int32_t kIndexCodes = 65845;
constexpr int32_t kIndexesLinkMode = 65845;
constexpr int32_t kMtsnNPZpm = 65846;
constexpr int32_t kWinters = 65847;
constexpr int32_t kTempZone = 65848;
constexpr int32_t kOptions32 = 65850;
constexpr int32_t kMatDigits = 65850;
constexpr int32_t kCatalogHead = 65851;
constexpr int32_t kMatRoundMode = 65851;
constexpr int32_t kItogExpandTo = 65853;
constexpr int32_t kMtsnWordDropped = 65855;
constexpr int32_t kVrMethodTexts = 65857;
constexpr int32_t kCommonNPK = 65858;
constexpr int32_t kVrResMethodTexts = 65858;
constexpr int32_t kUserData = 65859;
constexpr int32_t kActs = 65861;
constexpr int32_t kActAddZatrs = 65863;
constexpr int32_t kActIndexes = 65864;
constexpr int32_t kSignatureRows = 65865;
constexpr int32_t kActIndexesMode = 65866;
constexpr int32_t kSignatureList = 65868;
constexpr int32_t kActSignatures = 65869;
constexpr int32_t kOptionalZones = 65871;
constexpr int32_t kDefectsList = 65872;
constexpr int32_t kVrCurrRates = 65874;
constexpr int32_t kDefectIdentifiers = 65875;
constexpr int32_t kNumbering = 65876;
constexpr int32_t kDefectPositionIds = 65877;
constexpr int32_t kCommonIndexRes = 65878;
constexpr int32_t kActCommonIndexRes = 65879;
constexpr int32_t kPosKDigits = 65885;
constexpr int32_t kActMtsn = 65887;

// Bits of the coefficient options and of the old option byte.
constexpr uint16_t skoPercent = 1u << 0, skoInPosition = 1u << 1, skoBase = 1u << 2;
constexpr uint16_t skoPzAll = 1u << 4, skoEmAll = 1u << 5, skoMatQty = 1u << 6, skoEmQty = 1u << 7;

// The old option byte holds Percent, InPos, "no Base", PzAll, EmAll, MatQty, EmQty.
uint8_t OldOptionByte(uint16_t options) {
  constexpr std::pair<uint16_t, uint8_t> kBits[] = {{skoPercent, 0x01}, {skoInPosition, 0x02},
                                                    {skoPzAll, 0x08},   {skoEmAll, 0x10},
                                                    {skoMatQty, 0x20},  {skoEmQty, 0x40}};
  uint8_t b = (options & skoBase) ? 0 : 0x04;
  for (const auto& [option, bit] : kBits) {
    if (options & option) b |= bit;
  }
  return b;
}

// Old signature texts by role, in the order of the stored texts.
constexpr int32_t kSignatureTextIds[] = {100, 300, 310, 230, 240, 220};

// The return-cost option of additional costs.
constexpr uint16_t adzoReturn = 1u << 2;

template <typename T>
uint16_t Count(const T& list) {
  return static_cast<uint16_t>(list.size());
}

}  // namespace

namespace smeta {

ChapterItem Header(std::string caption) { return {.type = 0, .caption = std::move(caption)}; }

uint8_t RegionByte(int32_t region_id) {
  if (region_id == 661) return 1;
  if (region_id == 662) return 3;
  return static_cast<uint8_t>(region_id / 10);
}

}  // namespace smeta

uint8_t SmetaBuilder::LegacyPriceMode(const smeta::Content& c) const {
  return c.legacy_price_mode.value_or(c.base_price_level == 1 ? 3 : 1);
}

// The base level the estimate reads: the level byte, the legacy price mode or
// the 2001 level.
uint8_t SmetaBuilder::BasePriceLevel(const smeta::Content& c) const {
  if (v_ >= kBasePriceLevel) return c.base_price_level;
  if (v_ < kLegacyModes) return 0;
  const uint8_t p = LegacyPriceMode(c);
  return p == 2 || p == 3 ? 1 : 0;
}

// The work-type list used for calculation: always the 2001 list at the 2001 level.
uint8_t SmetaBuilder::VrBaseCalc(const smeta::Content& c) const {
  if (v_ >= kLegacyModes && BasePriceLevel(c) == 0) return 1;
  return v_ >= kVrBaseCalc ? c.vr_base_calc : 1;
}

SmetaBuilder& SmetaBuilder::Estimate(const smeta::Content& c) {
  Parameters(c);
  b_.I16(Count(c.resources));
  for (const auto& r : c.resources) b_.Head(r.caption).Str(r.code).Str(r.units);
  if (v_ >= kResObManager) {
    b_.I16(Count(c.shared_rows));
    for (const auto& row : c.shared_rows) b_.Head(row);
  }
  b_.I16(Count(c.works));
  for (const auto& work : c.works) b_.Head(work);
  b_.I16(Count(c.performers));
  for (const auto& performer : c.performers) b_.Head(performer);
  WorkTypeKs(c.work_type_ks);
  if (v_ >= kIndexLists) {
    AddOnTypes(c.add_on_types);
    Indexes(c.indexes_pos, true);
    Indexes(c.indexes_res, false);
  }
  if (v_ >= kCommonIndexSmrLz) Common(c.common_smr_lz);
  if (v_ >= kCommonIndexSmr) Common(c.common_smr);
  if (v_ >= kCommonIndexRes) Common(c.common_res);
  if (v_ >= kIndexesLinkMode) {
    b_.Byte(c.indexes_link_mode).Head();
    for (const auto& code : c.os_indexes) b_.Str(code);
  }
  LegacyIndexes(c);
  if (v_ >= kCommonNakl) {
    for (const auto& np : c.common_nakl) {
      b_.I32(np.nacl).I32(np.plan).Byte(np.plan_mask).Byte(np.nacl_mask);
    }
  }
  if (v_ >= kCommonNPK) NPK(c.common_nk).NPK(c.common_pk);
  if (v_ >= kMtsnNPZpm) {
    if (v_ < kMtsnWordDropped) b_.I16(0);
    b_.I32(c.mtsn_nakl[0]).I32(c.mtsn_nakl[1]).I32(c.mtsn_plan[0]).I32(c.mtsn_plan[1]);
  }
  if (v_ >= kWinters) WinterCatalog(c.winters);
  if (v_ >= kTempZone) b_.Byte(c.temp_zone);
  if (v_ >= kActs) Acts(c.acts, c.current_act);
  Chapters(c.chapters);
  TwoAddZatrLists(c);
  LegacyBlocks(c);
  Closing(c);
  return *this;
}

// Options, region and zones, the regional coefficients, the work-type
// catalogue and the calculation settings.
void SmetaBuilder::Parameters(const smeta::Content& c) {
  if (v_ >= kOptions32) {
    b_.I32(static_cast<int32_t>(c.options));
  } else {
    b_.I16(static_cast<uint16_t>(c.options));
  }
  if (v_ >= kRegionId16) {
    b_.I16(static_cast<uint16_t>(c.region_id));
  } else {
    b_.Byte(smeta::RegionByte(c.region_id));
  }
  b_.Str(c.region_name);
  for (const auto& zone : c.zones) b_.Byte(zone.id).Str(zone.name);
  if (v_ >= kOsGlava) b_.Byte(c.os_glava).Byte(c.os_link_type);
  if (v_ >= kCcGlava) {
    for (uint8_t glava : c.cc_glava) b_.Byte(glava);
  }
  Regional(c.regional_k);
  if (v_ >= kTerZoneK) K(c.ter_zone_k);
  b_.I32(c.reserved);
  if (v_ >= kWholeVrCatalog) {
    if (v_ >= kCatalogHead) b_.Head(c.catalog_caption);
    WorkTypes(c.work_types84).WorkTypes(c.work_types);
  } else {
    WorkTypes(c.work_types84);
  }
  if (v_ >= kVrBaseCalc) b_.Byte(c.vr_base_calc);
  if (v_ >= kLegacyModes) {
    b_.Byte(v_ >= kBasePriceLevel ? c.base_price_level : LegacyPriceMode(c));
    if (v_ < kLegacyIndexModeDropped) b_.Byte(c.legacy_index_mode);
  }
  if (v_ >= kBaseCalcMode) b_.Byte(c.base_calc_mode);
  if (v_ >= kIndexesMode) b_.Byte(c.indexes_mode).Byte(c.block_round_mode);
  if (v_ >= kItogOptions) b_.Byte(c.itog_options).Byte(c.itog_first_calc_item);
  if (v_ >= kMatDigits) b_.Byte(c.mat_digits);
  if (v_ >= kMatRoundMode) b_.Byte(c.mat_round_mode);
  if (v_ >= kNumbering) b_.Head().I32(0).I16(c.numbering_mode).I16(c.numbering_options);
  if (v_ >= kPosKDigits) {
    b_.Byte(static_cast<uint8_t>(c.pos_k_round_factor))
        .Byte(c.mult_k_pos_calc_mode)
        .Str(c.props_config_name)
        .ByteBool(c.props_config_modified);
  }
}

SmetaBuilder& SmetaBuilder::Regional(const smeta::RegionalK& k) {
  if (v_ >= kKOptions16) {
    b_.I16(k.options);
  } else {
    b_.Byte(k.options & (skoPercent | skoInPosition));
  }
  b_.I32(k.wages);
  return *this;
}

SmetaBuilder& SmetaBuilder::K(const smeta::Coefficient& k) {
  b_.Head(k.caption);
  const uint8_t kind = v_ >= kKKind ? k.kind : 0;
  if (v_ >= kKKind) b_.Byte(kind);
  if (v_ >= kKOptions16) {
    b_.I16(k.options);
  } else {
    b_.Byte(OldOptionByte(k.options));
  }
  if (kind == 0) {
    // A formula of a file without kinds becomes a coefficient without factors.
    const auto& factors = k.kind == 0 ? k.factors : decltype(k.factors){};
    b_.Byte(static_cast<uint8_t>(factors.size()));
    for (const auto& [slot, value] : factors) b_.Byte(slot).I32(value);
  } else if (kind == 1) {
    b_.Str(k.formula);
  }
  return *this;
}

SmetaBuilder& SmetaBuilder::WorkTypes(const std::vector<smeta::WorkTypeGroup>& groups) {
  b_.I16(Count(groups));
  for (const auto& g : groups) {
    b_.Head(g.caption).I32(g.id).I16(Count(g.items));
    for (const auto& w : g.items) {
      b_.Head(w.caption).I32(w.id).I32(w.nacl).I32(w.plan).Byte(w.plan_mask).Byte(w.nacl_mask);
      if (v_ >= kVrOsColumn) b_.Byte(w.os_column);
      if (v_ >= kIndexCodes) b_.Str(w.index_code);
      if (v_ >= kVrMethodTexts) {
        const int methods = v_ >= kVrResMethodTexts ? 3 : 2;
        for (int m = 0; m < methods; ++m) b_.Str(w.nacl_k[m]).Str(w.plan_k[m]);
      }
      if (v_ >= kVrCurrRates) b_.I32(w.nacl_curr).I32(w.plan_curr);
    }
    if (v_ >= kIndexCodes) b_.Str(g.index_code);
  }
  return *this;
}

void SmetaBuilder::Links(const std::vector<int16_t>& ids) {
  b_.I16(Count(ids));
  for (int16_t id : ids) b_.I16(static_cast<uint16_t>(id));
}

SmetaBuilder& SmetaBuilder::WorkTypeKs(const std::vector<smeta::WorkTypeCoefficient>& ks) {
  b_.I16(Count(ks));
  for (const auto& k : ks) {
    K(k.k);
    b_.Byte(static_cast<uint8_t>(k.level))
        .Byte(static_cast<uint8_t>((k.all_chapters ? 1 : 0) | (k.all_work_types ? 2 : 0)));
    Links(k.chapters);
    Links(k.groups84);
    Links(k.work_types84);
    if (v_ >= kVrKf2001Links) {
      Links(k.groups);
      Links(k.work_types);
    }
  }
  return *this;
}

SmetaBuilder& SmetaBuilder::AddOnTypes(const std::vector<smeta::AddOnType>& types) {
  b_.I16(Count(types));
  for (const auto& t : types) {
    b_.Head(t.caption).Byte(static_cast<uint8_t>(t.level)).Bool(t.active).Byte(t.place);
  }
  return *this;
}

void CodedFactors(DocBuilder& b, std::string_view code, const smeta::Factors& factors) {
  uint8_t present = 0;
  for (size_t slot = 0; slot < factors.size(); ++slot) {
    if (factors[slot] != smeta::kOne) present |= static_cast<uint8_t>(1u << slot);
  }
  b.Str(code).Byte(present);
  for (int32_t f : factors) {
    if (f != smeta::kOne) b.I32(f);
  }
}

// The head (with the caption when the item stores one), then the factors.
SmetaBuilder& SmetaBuilder::Coded(const smeta::CodedItem& item, bool with_caption) {
  b_.Head(with_caption ? std::optional<std::string_view>(item.caption) : std::nullopt);
  CodedFactors(b_, item.code, item.factors);
  return *this;
}

SmetaBuilder& SmetaBuilder::Indexes(const std::vector<smeta::Index>& indexes, bool with_add_ons) {
  b_.I16(Count(indexes));
  for (const auto& index : indexes) {
    Coded(index.item);
    if (v_ >= kIndexOptions) b_.I16(index.options);
    if (!with_add_ons) continue;
    b_.I16(Count(index.add_ons));
    for (const auto& a : index.add_ons) {
      Coded({.caption = "", .code = a.code, .factors = a.factors}, false);
      if (v_ >= kIndexOptions) b_.I16(a.options);
      b_.Byte(static_cast<uint8_t>(a.type));
    }
  }
  return *this;
}

SmetaBuilder& SmetaBuilder::Common(const smeta::CommonIndex& index) {
  b_.Head(index.caption).Str(index.formula);
  if (v_ >= kCommonIndexSmr) b_.I16(index.options);
  return *this;
}

// The legacy coefficient tables and design indexes, which the estimate turns
// into position indexes.
void SmetaBuilder::LegacyIndexes(const smeta::Content& c) {
  if (v_ >= kLegacyTables && v_ < kLegacyTablesDropped) {
    for (const auto& table : c.legacy_tables) {
      b_.I16(Count(table));
      for (const auto& k : table) K(k);
    }
  }
  if (v_ >= kLegacyDesignIndexes && v_ < kLegacyIndexesDropped) {
    b_.I16(Count(c.legacy_design_indexes));
    for (const auto& item : c.legacy_design_indexes) b_.Head(item.caption).I32(item.a).I32(item.b);
  }
}

SmetaBuilder& SmetaBuilder::NPK(const smeta::CommonNPK& k) {
  b_.Head().Str(k.common);
  for (const auto& text : k.methods) b_.Str(text);
  b_.Byte(k.active);
  return *this;
}

SmetaBuilder& SmetaBuilder::WinterCatalog(const smeta::Winters& w) {
  b_.I16(Count(w.items));
  for (const auto& item : w.items) Coded(item);
  b_.Byte(w.mode).Byte(w.link_mode).I16(w.options);
  Coded(w.common);
  b_.I32(0);  // not used
  return *this;
}

SmetaBuilder& SmetaBuilder::Acts(const std::vector<smeta::Act>& acts, int32_t current) {
  b_.I16(Count(acts));
  for (const auto& a : acts) {
    b_.Head(a.caption).Str(a.number).Dbl(a.making_date);
    for (int16_t v : {a.year, a.month, a.day_start, a.day_finish}) {
      b_.I16(static_cast<uint16_t>(v));
    }
    if (v_ >= kActIndexes) {
      AddOnTypes(a.add_on_types);
      Indexes(a.indexes_pos, true);
      Indexes(a.indexes_res, false);
    }
    if (v_ >= kActIndexesMode) {
      b_.Byte(a.indexes_mode);
      Common(a.common_smr_lz);
      Common(a.common_smr);
    }
    if (v_ >= kActAddZatrs) AddZatrs(a.add_zatrs);
    if (v_ >= kActSignatures) DocSignatures(a.signatures);
    if (v_ >= kActCommonIndexRes) Common(a.common_res);
    if (v_ >= kActMtsn) b_.I32(a.mtsn_nakl_curr).I32(a.mtsn_plan_curr);
  }
  b_.I32(current);
  return *this;
}

SmetaBuilder& SmetaBuilder::Chapters(const std::vector<smeta::Chapter>& chapters) {
  b_.I16(Count(chapters));
  for (const auto& ch : chapters) {
    b_.Head(ch.caption);
    if (v_ < kChapterList) b_.I32(ch.sys_id);
    b_.I16(Count(ch.items));
    for (const auto& item : ch.items) {
      b_.Byte(item.type);
      if (item.record) {
        item.record(*this);
      } else {
        b_.Head(item.caption);
      }
    }
    if (v_ >= kChapterList) {
      b_.I32(ch.sys_id);
      if (v_ >= kIndexCodes) b_.Str(ch.index_code);
    }
  }
  return *this;
}

SmetaBuilder& SmetaBuilder::AddZatrs(const smeta::AddZatrats& list) {
  for (size_t i = 0; i < list.size(); ++i) {
    const size_t glava = 8 + i;
    b_.I16(Count(list[i]));
    for (const auto& z : list[i]) {
      b_.Head(z.caption).I16(z.options).Cur(z.value);
      if (v_ >= kAddZatrFormula) {
        if (Curr(z.value).value == 0) b_.Str(z.formula);
        b_.Str(z.identifier);
      }
      if (v_ < kOneAddZatrList && (z.options & adzoReturn)) b_.Cur(z.returned);
      if (glava >= 14) b_.Byte(static_cast<uint8_t>(z.level));
    }
  }
  return *this;
}

// From 65795 to 65835 the costs of both base levels are stored, 2001 first;
// the estimate keeps the list of its level (and neither at any other level).
void SmetaBuilder::TwoAddZatrLists(const smeta::Content& c) {
  if (v_ >= kOneAddZatrList || v_ < kTwoAddZatrLists) {
    AddZatrs(c.add_zatrs);
    return;
  }
  switch (BasePriceLevel(c)) {
    case 0:
      AddZatrs(c.other_add_zatrs).AddZatrs(c.add_zatrs);
      break;
    case 1:
      AddZatrs(c.add_zatrs).AddZatrs(c.other_add_zatrs);
      break;
    default:
      break;
  }
}

void SmetaBuilder::Entries(const std::vector<smeta::LegacyEntry>& entries) {
  b_.I16(Count(entries));
  for (const auto& e : entries) b_.I32(e.key).I32(e.first).I32(e.second);
}

// A block of legacy items (the work-type indexes and the skipped blocks):
// each item with its two entry lists.
SmetaBuilder& SmetaBuilder::LegacyItems(const std::vector<smeta::LegacyItem>& items) {
  b_.I16(Count(items));
  for (const auto& item : items) {
    b_.Head(item.caption).I32(item.a).I32(item.b);
    Entries(item.first);
    Entries(item.second);
  }
  return *this;
}

// A skipped block whose items have one entry list each; under the first-item
// rule the first item has none.
SmetaBuilder& SmetaBuilder::LegacyShortItems(const std::vector<smeta::LegacyItem>& items,
                                             bool first_without_tail) {
  b_.I16(Count(items));
  for (size_t i = 0; i < items.size(); ++i) {
    b_.Head(items[i].caption).I32(items[i].a).I32(items[i].b);
    if (i > 0 || !first_without_tail) Entries(items[i].first);
  }
  return *this;
}

// The blocks after the additional costs of files before 65843: the work-type
// indexes where the list used for calculation asks for them, skipped blocks
// elsewhere.
void SmetaBuilder::LegacyBlocks(const smeta::Content& c) {
  const bool vr84 = VrBaseCalc(c) == 0;
  const auto& skipped = c.legacy_skipped;
  if (v_ < kLegacyIndexesDropped) LegacyItems(vr84 ? c.legacy_work_type_indexes : skipped);
  if (v_ < kOldBlocksDropped) LegacyItems(skipped);
  if (v_ < kSkippedBlocksDropped) {
    if (v_ >= kSkippedBlockAfterCosts) LegacyItems(skipped);
    if (v_ >= kSecondSkippedBlock) LegacyItems(skipped);
  }
  if (v_ >= kLegacyBlocks2001) {
    if (v_ < kLegacyIndexesDropped) LegacyItems(vr84 ? skipped : c.legacy_work_type_indexes);
    if (v_ < kOldBlocksDropped) LegacyItems(skipped);
    if (v_ < kFirstItemRuleDropped) LegacyShortItems(skipped, true);
    if (v_ < kOldBlocksDropped) LegacyShortItems(skipped, false);
  }
}

// Variables, signatures, totals, user data, comment, optional zones, defects.
void SmetaBuilder::Closing(const smeta::Content& c) {
  if (v_ >= kVariables) {
    b_.I16(Count(c.variables));
    for (const auto& var : c.variables) b_.Head(var.caption).Str(var.identifier).Str(var.formula);
  }
  if (v_ >= kIndexFileName) b_.Str(c.index_file_name);
  if (v_ >= kSignatureList) {
    DocSignatures(c.signatures);
  } else {
    OldSignatures(c.signatures);
  }
  if (v_ >= kItogExpandTo) b_.I16(c.itog_expand_to_item);
  if (v_ >= kUserData) {
    uint16_t mask = 0;
    for (size_t i = 0; i < c.user_data.size(); ++i) {
      if (!c.user_data[i].empty()) mask |= static_cast<uint16_t>(1u << i);
    }
    b_.Byte(c.tz_digits).Head().Byte(0).I16(mask);
    for (const auto& text : c.user_data) {
      if (!text.empty()) b_.Str(text);
    }
    b_.Str(c.comment);
  }
  if (v_ >= kOptionalZones) {
    b_.I16(Count(c.optional_zones));
    for (const auto& z : c.optional_zones) {
      b_.Head().I32(z.region).Str(z.region_name).Byte(z.zone).Str(z.zone_name);
    }
  }
  if (v_ >= kDefectsList) Defects(c.defects);
}

SmetaBuilder& SmetaBuilder::DocSignatures(const smeta::Signatures& s) {
  b_.Head(s.caption).I16(Count(s.items));
  for (const auto& sign : s.items) {
    b_.Head(sign.role).I32(sign.id).Str(sign.value).Head("").I16(Count(sign.attributes));
    for (const auto& a : sign.attributes) b_.Head(a.caption).I32(a.id).Str(a.value);
  }
  return *this;
}

SmetaBuilder& SmetaBuilder::OldSignatures(const smeta::Signatures& s) {
  const auto attribute = [](const smeta::Signature& sign, size_t i) {
    return i < sign.attributes.size() ? sign.attributes[i].value : std::string();
  };
  if (v_ >= kSignatureRows) {
    // Rows: a caption that is not used, role, two free columns, signatory, ID.
    b_.Head(s.caption).I16(Count(s.items));
    for (const auto& sign : s.items) {
      b_.Head("")
          .Str(sign.role)
          .Str(attribute(sign, 0))
          .Str(attribute(sign, 1))
          .Str(sign.value)
          .I32(sign.id);
    }
    return *this;
  }
  // One text per known role, by the role's ID.
  std::vector<std::string> texts(std::size(kSignatureTextIds));
  for (const auto& sign : s.items) {
    for (size_t i = 0; i < texts.size(); ++i) {
      if (sign.id == kSignatureTextIds[i] && texts[i].empty()) texts[i] = sign.value;
    }
  }
  if (v_ >= kSignatureTexts) {
    size_t n = texts.size();
    while (n > 0 && texts[n - 1].empty()) --n;
    b_.Byte(static_cast<uint8_t>(static_cast<int>(n) - 1));
    for (size_t i = 0; i < n; ++i) b_.Str(texts[i]);
    return *this;
  }
  // The text of the basis, then two blocks of rows that are skipped.
  b_.Str(texts[0]).I16(Count(s.items));
  for (const auto& sign : s.items) {
    b_.Head().Str(sign.role).Str(attribute(sign, 0)).Str(attribute(sign, 1)).Str(sign.value);
  }
  b_.I16(0);
  return *this;
}

// The common part of a defect (with its caption) and of a defect position.
void SmetaBuilder::DefectRow(std::optional<std::string_view> caption, const std::string& quantity,
                             bool inactive, uint16_t flags, const std::string& identifier) {
  b_.Head(caption).Str(quantity).ByteBool(inactive).I16(flags);
  if (v_ >= kDefectIdentifiers) b_.Str(identifier);
}

SmetaBuilder& SmetaBuilder::Defects(const smeta::DefectsList& list) {
  b_.I16(Count(list.chapters));
  for (const auto& ch : list.chapters) {
    b_.Head(ch.caption).I16(Count(ch.items));
    for (const auto& d : ch.items) {
      if (d.header) {
        b_.Byte(0).Head(d.caption);
        continue;
      }
      b_.Byte(1);
      DefectRow(d.caption, d.quantity, d.inactive, d.flags, d.identifier);
      b_.Str(d.code).Str(d.units).I16(Count(d.positions));
      for (const auto& p : d.positions) {
        DefectRow(std::nullopt, p.quantity, p.inactive, p.flags, p.identifier);
        if (v_ >= kDefectPositionIds) {
          b_.I32(p.pos_id);
        } else {
          b_.Str("");
        }
      }
    }
  }
  b_.Byte(list.merge_mode);
  return *this;
}

std::string SmetaBody(const smeta::Content& c, int32_t version) {
  return SmetaBuilder(version).Estimate(c).Bytes();
}

std::string PackSmeta(const smeta::Content& c, int32_t version) {
  return PackDocument(0, "KD_Smeta", version, SmetaBody(c, version));
}

}  // namespace kdx::test

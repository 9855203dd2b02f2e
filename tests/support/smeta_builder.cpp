#include "support/smeta_builder.h"

#include <cmath>
#include <cstdio>
#include <iterator>

namespace kdx::test {
namespace {

// File versions at which the estimate's records changed, in ascending order.
// "...Dropped" is the first version without the field.
constexpr int32_t kResObManager = 0x10101;
constexpr int32_t kResourceComments = 0x10101;
constexpr int32_t kSkippedBlockAfterCosts = 0x10102;
constexpr int32_t kTwoAddZatrLists = 0x10103;
constexpr int32_t kKOptions16 = 0x10104;
constexpr int32_t kKKind = 0x10105;
constexpr int32_t kWholeVrCatalog = 0x10106;
constexpr int32_t kOlderSecondLevel = 0x10107;  // current overhead, the 2001 work type
constexpr int32_t kOlderCurrTotal = 0x10108;    // current prices of the older record
constexpr int32_t kVrKf2001Links = 0x10109;
constexpr int32_t kResourceAttribs = 0x1010B;
constexpr int32_t kMachinistsGrade = 0x1010C;
constexpr int32_t kMachinistsPrices = 0x1010D;
constexpr int32_t kSignatureTexts = 0x1010E;
constexpr int32_t kRegionId16 = 0x1010F;
constexpr int32_t kVrBaseCalc = 0x10110;
constexpr int32_t kLegacyTables = 0x10111;
constexpr int32_t kOldIndexNumbers = 0x10111;
constexpr int32_t kPositionPriceLevel = 0x10112;
constexpr int32_t kLegacyModes = 0x10113;
constexpr int32_t kLegacyDesignIndexes = 0x10114;
constexpr int32_t kDesignIndexNumber = 0x10115;
constexpr int32_t kCurrMatDropped = 0x10116;  // 0x10116 and 0x10117 hold no current materials price
constexpr int32_t kLegacyBlocks2001 = 0x10117;
constexpr int32_t kCurrMatAgain = 0x10118;
constexpr int32_t kPositionPriceComments = 0x10119;
constexpr int32_t kCommonNakl = 0x1011A;
constexpr int32_t kVrOsColumn = 0x1011B;
constexpr int32_t kSecondSkippedBlock = 0x1011C;
constexpr int32_t kTerZoneK = 0x1011D;
constexpr int32_t kAddZatrFormula = 0x1011E;
constexpr int32_t kOsGlava = 0x1011F;
constexpr int32_t kCcGlava = 0x10121;
constexpr int32_t kOlderReplaced = 0x10122;
constexpr int32_t kPresenceMask = 0x10123;
constexpr int32_t kBaseCalcMode = 0x10124;
constexpr int32_t kVariables = 0x10125;
constexpr int32_t kResourceMask = 0x10125;  // and a position's identifier, profit texts, levels
constexpr int32_t kChapterList = 0x10126;
constexpr int32_t kIndexLists = 0x10127;
constexpr int32_t kIndexesMode = 0x10128;
constexpr int32_t kCoefficientTexts = 0x10128;
constexpr int32_t kIndexByNumber = 0x10129;
constexpr int32_t kCommonIndexSmrLz = 0x1012A;
constexpr int32_t kIndex8401ByNumber = 0x1012A;
constexpr int32_t kBasePriceLevel = 0x1012B;
constexpr int32_t kOneAddZatrList = 0x1012C;
constexpr int32_t kSkippedBlocksDropped = 0x1012D;
constexpr int32_t kOldBlocksDropped = 0x1012E;
constexpr int32_t kItogOptions = 0x1012F;
constexpr int32_t kCommonIndexSmr = 0x1012F;  // and the options of common indexes
constexpr int32_t kIndexOptions = 0x10130;
constexpr int32_t kIndexFileName = 0x10130;
constexpr int32_t kLegacyTablesDropped = 0x10131;
constexpr int32_t kFirstItemRuleDropped = 0x10132;
constexpr int32_t kLegacyIndexesDropped = 0x10133;
constexpr int32_t kLegacyIndexModeDropped = 0x10134;
constexpr int32_t kIndexCodes = 0x10135;
constexpr int32_t kIndexesLinkMode = 0x10135;
constexpr int32_t kMtsnNPZpm = 0x10136;
constexpr int32_t kWinters = 0x10137;
constexpr int32_t kTempZone = 0x10138;
constexpr int32_t kPositionWinterK = 0x10138;
constexpr int32_t kResourceIndex = 0x10139;
constexpr int32_t kOptions32 = 0x1013A;
constexpr int32_t kMatDigits = 0x1013A;
constexpr int32_t kCatalogHead = 0x1013B;
constexpr int32_t kMatRoundMode = 0x1013B;
constexpr int32_t kDbComment = 0x1013C;
constexpr int32_t kItogExpandTo = 0x1013D;
constexpr int32_t kBookmark = 0x1013D;
constexpr int32_t kShortPriceBlock = 0x1013E;  // labour per unit and grades move into resources
constexpr int32_t kMtsnWordDropped = 0x1013F;
constexpr int32_t kResourceOptions16 = 0x10140;
constexpr int32_t kVrMethodTexts = 0x10141;
constexpr int32_t kCommonNPK = 0x10142;
constexpr int32_t kVrResMethodTexts = 0x10142;
constexpr int32_t kThreeCoefficientTexts = 0x10142;
constexpr int32_t kUserData = 0x10143;
constexpr int32_t kLastPeriodRecords = 0x10144;  // the implementation as monthly records
constexpr int32_t kPriceRecord = 0x10144;
constexpr int32_t kActs = 0x10145;
constexpr int32_t kOverrideFlags = 0x10146;
constexpr int32_t kActAddZatrs = 0x10147;
constexpr int32_t kActIndexes = 0x10148;
constexpr int32_t kSignatureRows = 0x10149;
constexpr int32_t kActIndexesMode = 0x1014A;
constexpr int32_t kResourceOverridePrices = 0x1014B;
constexpr int32_t kSignatureList = 0x1014C;
constexpr int32_t kActSignatures = 0x1014D;
constexpr int32_t kOptionalZones = 0x1014F;
constexpr int32_t kDefectsList = 0x10150;
constexpr int32_t kPositionOptions16 = 0x10151;
constexpr int32_t kVrCurrRates = 0x10152;
constexpr int32_t kDefectIdentifiers = 0x10153;
constexpr int32_t kNumbering = 0x10154;
constexpr int32_t kCommentEx = 0x10154;
constexpr int32_t kDefectPositionIds = 0x10155;
constexpr int32_t kPositionSysId = 0x10155;
constexpr int32_t kCommonIndexRes = 0x10156;
constexpr int32_t kActCommonIndexRes = 0x10157;
constexpr int32_t kOverridePriceRecord = 0x10158;
constexpr int32_t kPriceFormulas = 0x10159;
constexpr int32_t kOverridePz = 0x1015A;
constexpr int32_t kQuantityRow = 0x1015B;
constexpr int32_t kOverrideQuantityRow = 0x1015C;
constexpr int32_t kPosKDigits = 0x1015D;
constexpr int32_t kPzUnsinc = 0x1015E;
constexpr int32_t kActMtsn = 0x1015F;

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

// Bits of a position's presence mask, in the order of the reader's table.
constexpr uint32_t kHasQuantityFx = 0x00000001;  // the quantity as a formula (before 0x1015B)
constexpr uint32_t kHasNaclBase = 0x00000002;
constexpr uint32_t kHasNaclCurr = 0x00000004;
constexpr uint32_t kHasNaclK = 0x00000008;
constexpr uint32_t kHasCurrOz = 0x00000010;  // then EM, ZM, MT in the next three bits
constexpr uint32_t kHasMachinistsGrade = 0x00000100;
constexpr uint32_t kHasPerformer = 0x00000200;
constexpr uint32_t kHasDesignNumber = 0x00000400;
constexpr uint32_t kHasIndex2001Number = 0x00000800;  // then 1984-2001 and 1984 current
constexpr uint32_t kHasPlanK = 0x00004000;
constexpr uint32_t kHasIdentifier = 0x00008000;
constexpr uint32_t kHasIndex = 0x00010000;
constexpr uint32_t kHasIndexCode = 0x00020000;
constexpr uint32_t kHasIndex8401 = 0x00040000;
constexpr uint32_t kHasIndex8401Code = 0x00080000;
constexpr uint32_t kHasWinterK = 0x00100000;
constexpr uint32_t kHasDbComment = 0x00200000;
constexpr uint32_t kHasUserData = 0x00400000;
constexpr uint32_t kHasExcluded = 0x00800000;
constexpr uint32_t kHasWholesaleCurr = 0x01000000;
constexpr uint32_t kHasWholesaleBase = 0x02000000;
constexpr uint32_t kHasCommentEx = 0x04000000;
constexpr uint32_t kHasCurrPz = 0x08000000;
constexpr uint32_t kHasFxBase = 0x10000000;
constexpr uint32_t kHasFxCurr = 0x20000000;

// Bits of a resource's presence mask.
constexpr int32_t kResBasePrice = 0x001, kResCurrPrice = 0x002;  // before 0x10144
constexpr int32_t kResBaseComment = 0x004, kResCurrComment = 0x008;
constexpr int32_t kResIdentifier = 0x010, kResReplaced = 0x020, kResSnip = 0x040;
constexpr int32_t kResIndex = 0x080, kResIndexCode = 0x100, kResPriceRecord = 0x200;
constexpr int32_t kResKs = 0x400, kResImplementation = 0x800;

// Price columns of a resource: current, current second part, base, base second part.
constexpr size_t kCurr = 0, kCurrSecond = 1, kBase = 2, kBaseSecond = 3;

// The flag byte of an act override and the flag word of a position's.
constexpr uint8_t kOvIndex = 0x01, kOvIndexCode = 0x02, kOvComment = 0x04;
constexpr uint16_t kOvQuantityFx = 0x0001, kOvQuantity = 0x0002, kOvCurrOz = 0x0004;
constexpr uint16_t kOvWholesale = 0x0040, kOvCurrPz = 0x0080, kOvFx = 0x0100;

// Position options: the machinists' grade is stored (before 0x1013E).
constexpr uint16_t spoHasAverRasrM = 1u << 3;

constexpr uint8_t kNoBookmark = 255;

bool NonZero(std::string_view amount) { return Curr(amount).value != 0; }

template <size_t N>
bool AnyText(const std::array<std::string, N>& texts) {
  for (const auto& text : texts) {
    if (!text.empty()) return true;
  }
  return false;
}

// A rate or coefficient given as decimal text, times 10000.
int32_t Rate(std::string_view text) { return static_cast<int32_t>(Curr(text).value); }

// Labour per unit as the older price block keeps it: the quantity of the first
// labour resource of the kind, to four decimals.
std::string OlderLabour(const smeta::Position& p, uint8_t type) {
  for (const auto& r : p.resources) {
    if (r.type == type) {
      char text[40];
      std::snprintf(text, sizeof text, "%.4f", r.quantity);
      return text;
    }
  }
  return "0";
}

// The average grade of the first labour resource of the kind, as the older
// records keep it (times 100).
uint16_t OlderGrade(const smeta::Position& p, uint8_t type) {
  for (const auto& r : p.resources) {
    if (r.type == type) return static_cast<uint16_t>(r.grade * 10);
  }
  return 0;
}

// The quantity row's presence bits, as the program's writer sets them.
bool Near(double value, double target) { return std::fabs(value - target) <= 1e-8; }
bool QuantityEmpty(const smeta::Quantity& q) {
  return q.fx.empty() && Near(q.value, 0) && q.precision == 6 && Near(q.k_mult, 1) &&
         Near(q.k_unit, 1);
}

template <typename T>
uint16_t Count(const T& list) {
  return static_cast<uint16_t>(list.size());
}

}  // namespace

namespace smeta {

ChapterItem Header(std::string caption) { return {.type = 0, .caption = std::move(caption)}; }

ChapterItem PositionItem(Position p) {
  std::string caption = p.caption;
  return {.type = 1, .caption = std::move(caption), .record = [p = std::move(p)](SmetaBuilder& b) {
            b.Position(p);
          }};
}

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
  WriteAddOnTypes(b_, types);
  return *this;
}

void WriteAddOnTypes(DocBuilder& b, const std::vector<smeta::AddOnType>& types) {
  b.I16(Count(types));
  for (const auto& t : types) {
    b.Head(t.caption).Byte(static_cast<uint8_t>(t.level)).Bool(t.active).Byte(t.place);
  }
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
  for (const auto& index : indexes) WriteIndex(b_, index, v_ >= kIndexOptions, with_add_ons);
  return *this;
}

void WriteIndex(DocBuilder& b, const smeta::Index& index, bool with_options, bool with_add_ons) {
  b.Head(index.item.caption);
  CodedFactors(b, index.item.code, index.item.factors);
  if (with_options) b.I16(index.options);
  if (!with_add_ons) return;
  b.I16(Count(index.add_ons));
  for (const auto& a : index.add_ons) {
    b.Head();
    CodedFactors(b, a.code, a.factors);
    if (with_options) b.I16(a.options);
    b.Byte(static_cast<uint8_t>(a.type));
  }
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

// From 0x10103 to 0x1012B the costs of both base levels are stored, 2001 first;
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

// The blocks after the additional costs of files before 0x10133: the work-type
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
    WriteVariables(b_, c.variables);
  }
  if (v_ >= kIndexFileName) b_.Str(c.index_file_name);
  if (v_ >= kSignatureList) {
    DocSignatures(c.signatures);
  } else {
    OldSignatures(c.signatures);
  }
  if (v_ >= kItogExpandTo) b_.I16(c.itog_expand_to_item);
  if (v_ >= kUserData) {
    b_.Byte(c.tz_digits);
    UserData(c.user_data);
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
  WriteSignatures(b_, s);
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

SmetaBuilder& SmetaBuilder::UserData(const std::array<std::string, 10>& data) {
  WriteUserData(b_, data);
  return *this;
}

// ---- positions ----

SmetaBuilder& SmetaBuilder::Position(const smeta::Position& p) {
  if (v_ >= kPresenceMask) {
    PositionCurrentForm(p);
  } else {
    PositionOlderForm(p);
  }
  return *this;
}

// Options, number, code, units, comment and, from 0x10155, the system ID.
void SmetaBuilder::PositionHead(const smeta::Position& p) {
  if (v_ >= kPositionOptions16) {
    b_.I16(p.options);
  } else {
    b_.Byte(static_cast<uint8_t>(p.options));
  }
  b_.I32(p.number).Str(p.code).Str(p.units).Str(p.comment);
  if (v_ >= kPositionSysId) b_.I32(p.sys_id);
}

void SmetaBuilder::PositionBaseIds(const smeta::Position& p) {
  b_.I32(p.sb_id).I32(p.ras_id).Byte(p.db_flags);
  if (v_ >= kPositionPriceLevel) b_.Byte(p.price_level);
  if (v_ >= kBaseCalcMode) b_.Byte(p.base_calc_mode);
}

// The base prices for one unit; before 0x1013E the labour of workers and of
// machinists per unit follow.
void SmetaBuilder::PriceBlock(const smeta::Position& p) {
  for (const auto& price : p.base) b_.Cur(price);
  if (v_ < kShortPriceBlock)
    b_.Cur(OlderLabour(p, smeta::kWorkers)).Cur(OlderLabour(p, smeta::kMachinists));
}

// Coefficient texts by method: three texts from 0x10142, the base-index and
// resource ones from 0x10128, numbers before.
void SmetaBuilder::CoefficientTexts(const std::array<std::string, 3>& texts) {
  if (v_ >= kThreeCoefficientTexts) {
    for (const auto& text : texts) b_.Str(text);
  } else if (v_ >= kCoefficientTexts) {
    b_.Str(texts[1]).Str(texts[2]);
  } else {
    b_.I32(Rate(texts[1])).I32(Rate(texts[2]));
  }
}

void SmetaBuilder::PositionCurrentForm(const smeta::Position& p) {
  const auto from = [this](int32_t version) { return v_ >= version; };
  const bool texts3 = from(kThreeCoefficientTexts);
  const bool nacl_k =
      !p.nacl_k[1].empty() || !p.nacl_k[2].empty() || (texts3 && !p.nacl_k[0].empty());
  const bool plan_k =
      !p.plan_k[1].empty() || !p.plan_k[2].empty() || (texts3 && !p.plan_k[0].empty());
  const auto np = [](const smeta::CustomNP& n) {
    return n.nacl != 0 || n.plan != 0 || n.mask != 0;
  };
  const bool older_indexes = !from(kLegacyIndexesDropped);
  const std::pair<uint32_t, bool> content[] = {
      {kHasQuantityFx, !from(kQuantityRow) && !p.quantity.fx.empty()},
      {kHasNaclBase, np(p.custom_np[0])},
      {kHasNaclCurr, np(p.custom_np[1])},
      {kHasNaclK, nacl_k},
      {kHasCurrOz, NonZero(p.curr[1])},
      {kHasCurrOz << 1, NonZero(p.curr[2])},
      {kHasCurrOz << 2, NonZero(p.curr[3])},
      {kHasCurrOz << 3, NonZero(p.curr[4])},
      {kHasMachinistsGrade, !from(kShortPriceBlock) && (p.options & spoHasAverRasrM)},
      {kHasPerformer, p.performer >= 0},
      {kHasDesignNumber, older_indexes && p.old_indexes[3] != -1},
      {kHasIndex2001Number, older_indexes && p.old_indexes[0] != -1},
      {kHasIndex2001Number << 1, older_indexes && p.old_indexes[1] != -1},
      {kHasIndex2001Number << 2, older_indexes && p.old_indexes[2] != -1},
      {kHasPlanK, from(kResourceMask) && plan_k},
      {kHasIdentifier, from(kResourceMask) && !p.identifier.empty()},
      {kHasIndex, from(kIndexByNumber) && p.index.has_value()},
      {kHasIndexCode, from(kIndexByNumber) && !p.index_code.empty()},
      {kHasIndex8401, from(kIndex8401ByNumber) && p.index8401.has_value()},
      {kHasIndex8401Code, from(kIndex8401ByNumber) && !p.index8401_code.empty()},
      {kHasWinterK, from(kPositionWinterK) && p.winter.has_value()},
      {kHasDbComment, from(kDbComment) && !p.db_comment.empty()},
      {kHasUserData, from(kUserData) && AnyText(p.user_data)},
      {kHasExcluded, !p.excluded.empty()},
      {kHasWholesaleCurr, NonZero(p.wholesale[1])},
      {kHasWholesaleBase, NonZero(p.wholesale[0])},
      {kHasCommentEx, from(kCommentEx) && !p.comment_ex.empty()},
      {kHasCurrPz, from(kPriceFormulas) && NonZero(p.curr[0])},
      {kHasFxBase, from(kPriceFormulas) && AnyText(p.fx[0])},
      {kHasFxCurr, from(kPriceFormulas) && AnyText(p.fx[1])},
  };
  uint32_t mask = p.mask_extra;
  for (const auto& [bit, present] : content) {
    if (present) mask |= bit;
  }
  // A field is written when its bit is set and the version looks at the bit.
  const auto has = [mask](uint32_t bit) { return (mask & bit) != 0; };

  b_.Head(p.caption).Byte(p.kind).I32(static_cast<int32_t>(mask));
  PositionHead(p);
  if (from(kResourceMask) && has(kHasIdentifier)) b_.Str(p.identifier);
  if (from(kCommentEx) && has(kHasCommentEx)) b_.Str(p.comment_ex);
  if (from(kQuantityRow)) {
    QuantityRow(p.quantity);
  } else if (has(kHasQuantityFx)) {
    b_.Str(p.quantity.fx);
  } else {
    b_.Dbl(p.quantity.value);
  }
  PositionBaseIds(p);
  for (size_t level = 0; level < 2; ++level) {
    if (!has(kHasNaclBase << level)) continue;
    const auto& n = p.custom_np[level];
    b_.I32(n.nacl).I32(n.plan).I16(n.mask);
  }
  PriceBlock(p);
  b_.I32(p.vr1984).I32(p.vr2001);
  if (has(kHasNaclK)) CoefficientTexts(p.nacl_k);
  if (from(kResourceMask) && has(kHasPlanK)) CoefficientTexts(p.plan_k);
  Resources(p.resources);
  if (!from(kShortPriceBlock)) {
    b_.I16(OlderGrade(p, smeta::kWorkers));
    if (has(kHasMachinistsGrade)) b_.I16(OlderGrade(p, smeta::kMachinists));
  }
  Works(p.works);
  for (size_t slot = 1; slot <= 4; ++slot) {
    if (has(kHasCurrOz << (slot - 1))) b_.Cur(p.curr[slot]);
  }
  if (from(kPriceFormulas)) {
    if (has(kHasCurrPz)) b_.Cur(p.curr[0]);
    if (has(kHasFxBase)) Formulas(p.fx[0], 0);
    if (has(kHasFxCurr)) Formulas(p.fx[1], 1);
  }
  Ks(p.ks, from(kResourceMask));
  if (older_indexes) {
    for (size_t i = 0; i < 3; ++i) {
      if (has(kHasIndex2001Number << i)) b_.I16(static_cast<uint16_t>(p.old_indexes[i]));
    }
    if (has(kHasDesignNumber)) b_.I16(static_cast<uint16_t>(p.old_indexes[3]));
  }
  if (from(kIndexByNumber)) {
    if (has(kHasIndex)) b_.I16(p.index.value_or(0));
    if (has(kHasIndexCode)) b_.Str(p.index_code);
  }
  if (from(kIndex8401ByNumber)) {
    if (has(kHasIndex8401)) b_.I16(p.index8401.value_or(0));
    if (has(kHasIndex8401Code)) b_.Str(p.index8401_code);
  }
  if (from(kPositionWinterK) && has(kHasWinterK)) b_.I16(p.winter.value_or(0));
  if (from(kDbComment) && has(kHasDbComment)) b_.Str(p.db_comment);
  b_.Str(p.price_comments[0]).Str(p.price_comments[1]);
  if (from(kBookmark)) {
    b_.Byte(p.bookmark < 0 ? kNoBookmark : static_cast<uint8_t>(p.bookmark)).I16(p.item_flags);
  }
  if (from(kUserData) && has(kHasUserData)) UserData(p.user_data);
  PositionImplementation(p);
  b_.Byte(static_cast<uint8_t>(p.linked.size()));
  for (int16_t index : p.linked) b_.I16(static_cast<uint16_t>(index));
  if (has(kHasPerformer)) b_.I16(static_cast<uint16_t>(p.performer));
  if (has(kHasExcluded)) {
    b_.Head().Byte(static_cast<uint8_t>(p.excluded.size()));
    for (int16_t index : p.excluded) b_.I16(static_cast<uint16_t>(index));
  }
  if (has(kHasWholesaleCurr)) b_.Cur(p.wholesale[1]);
  if (has(kHasWholesaleBase)) b_.Cur(p.wholesale[0]);
  if (from(kPzUnsinc)) b_.ByteBool(p.pz_unsinc);
}

void SmetaBuilder::PositionOlderForm(const smeta::Position& p) {
  const auto from = [this](int32_t version) { return v_ >= version; };
  b_.Head(p.caption).Byte(p.kind);
  PositionHead(p);
  b_.Dbl(p.quantity.value);
  PositionBaseIds(p);
  b_.I32(p.custom_np[0].nacl).I32(p.custom_np[0].plan);
  if (from(kOlderSecondLevel)) b_.I32(p.custom_np[1].nacl).I32(p.custom_np[1].plan);
  switch (p.kind) {
    case 0:  // a priced position
      PriceBlock(p);
      b_.I32(p.vr1984);
      if (from(kOlderSecondLevel)) b_.I32(p.vr2001);
      b_.I32(Rate(p.nacl_k[1])).I16(p.custom_np[0].mask);
      if (from(kOlderSecondLevel)) b_.I32(Rate(p.nacl_k[2])).I16(p.custom_np[1].mask);
      Resources(p.resources);
      b_.I16(OlderGrade(p, smeta::kWorkers));
      if (from(kMachinistsGrade) && (p.options & spoHasAverRasrM)) {
        b_.I16(OlderGrade(p, smeta::kMachinists));
      }
      Works(p.works);
      // The current materials price: from 0x10118; in 0x10108 to 0x10115 only
      // without resources.
      if (from(kCurrMatAgain) ||
          (from(kOlderCurrTotal) && !from(kCurrMatDropped) && p.resources.empty())) {
        b_.Cur(p.curr[4]);
      }
      break;
    case 1:  // a lump sum
      b_.Cur(p.base[0]).I32(p.vr1984).I32(Rate(p.nacl_k[1])).I16(p.custom_np[0].mask);
      break;
    case 2:  // a total
      b_.Cur(p.base[0]);
      if (from(kOlderCurrTotal)) b_.Cur(p.curr[0]).Byte(0);
      break;
    default:
      break;
  }
  Ks(p.ks, false);
  if (from(kOldIndexNumbers)) {
    for (size_t i = 0; i < 3; ++i) b_.I16(static_cast<uint16_t>(p.old_indexes[i]));
  }
  if (from(kDesignIndexNumber)) b_.I16(static_cast<uint16_t>(p.old_indexes[3]));
  if (from(kPositionPriceComments)) b_.Str(p.price_comments[0]).Str(p.price_comments[1]);
  PositionImplementation(p);
  b_.Byte(static_cast<uint8_t>(p.linked.size()));
  for (int16_t index : p.linked) b_.I16(static_cast<uint16_t>(index));
  b_.I16(static_cast<uint16_t>(p.performer));
}

SmetaBuilder& SmetaBuilder::QuantityRow(const smeta::Quantity& q) {
  uint8_t mask = 0;
  if (!q.fx.empty()) mask |= 0x01;
  if (q.fx.empty() && !Near(q.value, 0)) mask |= 0x02;
  if (q.precision != 6) mask |= 0x04;
  if (!Near(q.k_mult, 1)) mask |= 0x08;
  if (!Near(q.k_unit, 1)) mask |= 0x10;
  b_.Head().Byte(mask);
  if (mask & 0x01) b_.Str(q.fx);
  if (mask & 0x02) b_.Ext(q.value);
  if (mask & 0x04) b_.Byte(static_cast<uint8_t>(q.precision));
  if (mask & 0x08) b_.Ext(q.k_mult);
  if (mask & 0x10) b_.Ext(q.k_unit);
  return *this;
}

SmetaBuilder& SmetaBuilder::Resources(const std::vector<smeta::PositionResource>& list) {
  b_.I16(Count(list));
  for (const auto& r : list) {
    b_.Byte(r.type);
    Resource(r);
  }
  return *this;
}

// The common part (older or current form), then the labour or the catalogue
// part, then a machine's second prices before 0x10144.
SmetaBuilder& SmetaBuilder::Resource(const smeta::PositionResource& r) {
  const auto from = [this](int32_t version) { return v_ >= version; };
  const bool labour = r.type == smeta::kWorkers || r.type == smeta::kMachinists;
  const uint8_t attribs = r.attribs | (r.replaced.empty() ? 0 : smeta::kReplaced);
  const auto replaced = [&] {
    Resource(r.replaced.empty() ? smeta::PositionResource{.type = r.type} : r.replaced[0]);
  };
  b_.Head();
  if (!from(kResourceMask)) {
    if (from(kResourceAttribs)) {
      b_.Byte(attribs);
      if (attribs & smeta::kSnipSet) b_.Dbl(r.quantity_snip.value_or(0));
    }
    if (from(kMachinistsPrices) || r.type != smeta::kMachinists) {
      b_.Cur(r.prices[kBase]).Cur(r.prices[kCurr]);
      if (from(kResourceComments)) b_.I32(r.base_comment).I32(r.curr_comment);
    }
    if (from(kOlderReplaced) && (attribs & smeta::kReplaced)) replaced();
  } else {
    b_.Byte(attribs);
    if (from(kResourceOptions16)) b_.I16(r.options);
    bool prices = false;
    for (size_t c = 0; c < 4; ++c)
      prices = prices || NonZero(r.prices[c]) || !r.price_fx[c].empty();
    int32_t mask = 0;
    if (r.quantity_snip) mask |= kResSnip;
    if (!from(kPriceRecord)) {
      if (NonZero(r.prices[kBase])) mask |= kResBasePrice;
      if (NonZero(r.prices[kCurr])) mask |= kResCurrPrice;
    } else if (prices) {
      mask |= kResPriceRecord;
    }
    if (r.base_comment >= 0) mask |= kResBaseComment;
    if (r.curr_comment >= 0) mask |= kResCurrComment;
    if (!r.identifier.empty()) mask |= kResIdentifier;
    if (!r.replaced.empty()) mask |= kResReplaced;
    if (from(kResourceIndex) && r.index) mask |= kResIndex;
    if (from(kResourceIndex) && !r.index_code.empty()) mask |= kResIndexCode;
    if (!r.ks.empty()) mask |= kResKs;
    // Acts come with 0x10145; links to acts that are not there are dropped.
    if (from(kActs) && !r.implementation.empty()) mask |= kResImplementation;
    b_.I32(mask);
    if (mask & kResSnip) b_.Dbl(*r.quantity_snip);
    if (mask & kResBasePrice) b_.Cur(r.prices[kBase]);
    if (mask & kResCurrPrice) b_.Cur(r.prices[kCurr]);
    if (mask & kResPriceRecord) Prices(r.prices, r.price_fx);
    if (mask & kResBaseComment) b_.I32(r.base_comment);
    if (mask & kResCurrComment) b_.I32(r.curr_comment);
    if (mask & kResIdentifier) b_.Str(r.identifier);
    if (mask & kResReplaced) replaced();
    if (mask & kResIndex) b_.I16(*r.index);
    if (mask & kResIndexCode) b_.Str(r.index_code);
    if (from(kShortPriceBlock)) b_.Dbl(r.quantity);
    if (mask & kResKs) Ks(r.ks, true);
    if (mask & kResImplementation) ResourceImplementation(r.implementation);
  }
  if (labour) {
    if (from(kShortPriceBlock)) {
      const uint8_t m =
          (r.code.empty() ? 0 : 0x1) | (r.caption.empty() ? 0 : 0x2) | (r.grade == 0 ? 0 : 0x4);
      b_.Byte(m);
      if (m & 0x1) b_.Str(r.code);
      if (m & 0x2) b_.Str(r.caption);
      if (m & 0x4) b_.I16(static_cast<uint16_t>(r.grade));
    }
    return *this;
  }
  if (!from(kShortPriceBlock)) b_.Dbl(r.quantity);
  if (!from(kResourceOptions16)) b_.Byte(static_cast<uint8_t>(r.options));
  b_.I32(r.entry);
  if (r.type == smeta::kMachine && !from(kPriceRecord)) {
    b_.Cur(r.prices[kBaseSecond]).Cur(r.prices[kCurrSecond]);
  }
  return *this;
}

SmetaBuilder& SmetaBuilder::Prices(const std::array<std::string, 4>& values,
                                   const std::array<std::string, 4>& texts) {
  PriceTexts stored, written;
  for (size_t c = 0; c < kPriceColumns; ++c) {
    if (NonZero(values[c])) stored[c] = values[c];
    if (!texts[c].empty()) written[c] = texts[c];
  }
  WritePrices(b_, stored, written);
  return *this;
}

SmetaBuilder& SmetaBuilder::ResourceImplementation(
    const std::vector<smeta::ResourceOverride>& list) {
  b_.I16(Count(list));
  for (const auto& o : list) ResourceOverride(o);
  return *this;
}

// The act, then from 0x10146 the index, its code and the price justification:
// how resource and position overrides both begin.
template <typename Override>
void SmetaBuilder::OverrideHead(const Override& o) {
  b_.Head().I16(static_cast<uint16_t>(o.act));
  if (v_ >= kOverrideFlags) {
    const uint8_t flags = (o.index ? kOvIndex : 0) | (o.index_code.empty() ? 0 : kOvIndexCode) |
                          (o.comment.empty() ? 0 : kOvComment);
    b_.Byte(flags);
    if (o.index) b_.I16(*o.index);
    if (!o.index_code.empty()) b_.Str(o.index_code);
    if (!o.comment.empty()) b_.Str(o.comment);
  }
}

void SmetaBuilder::ResourceOverride(const smeta::ResourceOverride& o) {
  OverrideHead(o);
  if (v_ >= kOverridePriceRecord) {
    Prices({o.prices[0], o.prices[1], "", ""}, {o.price_fx[0], o.price_fx[1], "", ""});
  } else if (v_ >= kResourceOverridePrices) {
    const uint8_t flags = (NonZero(o.prices[0]) ? 0x01 : 0) | (NonZero(o.prices[1]) ? 0x02 : 0);
    b_.Byte(flags);
    if (flags & 0x01) b_.Cur(o.prices[0]);
    if (flags & 0x02) b_.Cur(o.prices[1]);
  }
}

// Files up to 0x10144 keep the quantity done per month in 8-byte records: word A
// holds the month, the year from 1900 and the low 16 bits of the quantity
// times 100000, word B the next 31 bits and the sign.
SmetaBuilder& SmetaBuilder::PositionImplementation(const smeta::Position& p) {
  if (v_ <= kLastPeriodRecords) {
    b_.I16(Count(p.periods));
    for (const auto& period : p.periods) {
      const auto magnitude =
          static_cast<uint64_t>(std::llround(std::fabs(period.quantity) * 100000));
      const uint32_t a = static_cast<uint32_t>(period.month & 0xFF) |
                         static_cast<uint32_t>((period.year - 1900) & 0xFF) << 8 |
                         static_cast<uint32_t>(magnitude & 0xFFFF) << 16;
      const uint32_t b = static_cast<uint32_t>((magnitude >> 16) & 0x7FFFFFFF) |
                         (period.quantity < 0 ? 0x80000000u : 0);
      b_.I32(static_cast<int32_t>(a)).I32(static_cast<int32_t>(b));
    }
    return *this;
  }
  b_.I16(Count(p.implementation));
  for (const auto& o : p.implementation) PositionOverride(o);
  return *this;
}

void SmetaBuilder::PositionOverride(const smeta::PositionOverride& o) {
  OverrideHead(o);
  uint16_t flags = 0;
  if (v_ >= kOverrideQuantityRow) {
    if (!QuantityEmpty(o.quantity)) flags |= kOvQuantity;
  } else if (!o.quantity.fx.empty()) {
    flags |= kOvQuantityFx;
  } else if (!Near(o.quantity.value, 0) || v_ < kOverrideFlags) {
    flags |= kOvQuantity;
  }
  for (size_t slot = 1; slot <= 4; ++slot) {
    if (NonZero(o.prices[slot])) flags |= static_cast<uint16_t>(kOvCurrOz << (slot - 1));
  }
  if (NonZero(o.wholesale)) flags |= kOvWholesale;
  if (v_ >= kOverridePz && NonZero(o.prices[0])) flags |= kOvCurrPz;
  if (v_ >= kOverridePz && AnyText(o.fx)) flags |= kOvFx;
  b_.I16(flags);
  if (v_ >= kOverrideQuantityRow) {
    if (flags & kOvQuantity) QuantityRow(o.quantity);
  } else if (flags & kOvQuantityFx) {
    b_.Str(o.quantity.fx);
  } else if (flags & kOvQuantity) {
    b_.Dbl(o.quantity.value);
  }
  for (size_t slot = 1; slot <= 4; ++slot) {
    if (flags & (kOvCurrOz << (slot - 1))) b_.Cur(o.prices[slot]);
  }
  if (flags & kOvWholesale) b_.Cur(o.wholesale);
  if (flags & kOvCurrPz) b_.Cur(o.prices[0]);
  if (flags & kOvFx) Formulas(o.fx, 1);
}

SmetaBuilder& SmetaBuilder::Works(const std::vector<int32_t>& works) {
  b_.I16(Count(works));
  for (int32_t index : works) b_.I32(index);
  return *this;
}

// The price type byte (which the reader passes over), the presence byte, the
// formulas present.
SmetaBuilder& SmetaBuilder::Formulas(const smeta::PriceFormulas& fx, uint8_t price_type) {
  uint8_t present = 0;
  for (size_t slot = 0; slot < fx.size(); ++slot) {
    if (!fx[slot].empty()) present |= static_cast<uint8_t>(1u << slot);
  }
  b_.Head().Byte(price_type).Byte(present);
  for (const auto& text : fx) {
    if (!text.empty()) b_.Str(text);
  }
  return *this;
}

SmetaBuilder& SmetaBuilder::Ks(const std::vector<smeta::LevelK>& ks, bool with_level) {
  b_.I16(Count(ks));
  for (const auto& k : ks) {
    K(k.k);
    if (with_level) b_.Byte(static_cast<uint8_t>(k.level));
  }
  return *this;
}

std::string SmetaBody(const smeta::Content& c, int32_t version) {
  return SmetaBuilder(version).Estimate(c).Bytes();
}

std::string PackSmeta(const smeta::Content& c, int32_t version) {
  return PackDocument(0, "KD_Smeta", version, SmetaBody(c, version));
}

}  // namespace kdx::test

#include "smeta/smeta.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "model/document_factory.h"
#include "model/row_cast.h"
#include "shared/cc_chapter.h"
#include "smeta/old_signatures.h"
#include "smeta/position.h"
#include "smeta/value_texts.h"

namespace kdx {
namespace {

// File versions that changed the estimate's body, ascending.
constexpr int32_t kVerSharedRows = 0x00010101;           // shared price comments
constexpr int32_t kVerSecondLegacyList = 0x00010102;     // one more skipped coefficient list
constexpr int32_t kVerTwoAddZatrLists = 0x00010103;      // additional costs per price level
constexpr int32_t kVerVidRab2001 = 0x00010106;           // the catalogue holds both lists
constexpr int32_t kVerRegionId16 = 0x0001010F;           // region ID in 16 bits
constexpr int32_t kVerVrBaseCalc = 0x00010110;           // work-type list of calculation
constexpr int32_t kVerLegacyCoefTables = 0x00010111;     // coefficient tables as indexes
constexpr int32_t kVerSmetaPriceLevel = 0x00010113;      // price level (legacy price mode P)
constexpr int32_t kVerLegacyDesignIndexes = 0x00010114;  // design indexes
constexpr int32_t kVerLegacyTail = 0x00010117;           // more blocks after the costs
constexpr int32_t kVerCommonNakl = 0x0001011A;           // estimate-wide overhead and profit
constexpr int32_t kVerThirdLegacyList = 0x0001011C;
constexpr int32_t kVerTerZoneK = 0x0001011D;
constexpr int32_t kVerOsGlava = 0x0001011F;  // chapter and link of the object estimate
constexpr int32_t kVerCcGlava = 0x00010121;  // chapters of the consolidated calculations
constexpr int32_t kVerSmetaBaseCalcMode = 0x00010124;
constexpr int32_t kVerVariables = 0x00010125;
constexpr int32_t kVerIndexLists = 0x00010127;   // add-on types, index lists
constexpr int32_t kVerIndexesMode = 0x00010128;  // index mode and block rounding
constexpr int32_t kVerCommonIndexB = 0x0001012A;
constexpr int32_t kVerBasePriceLevel = 0x0001012B;  // base price level instead of P; separate wages
constexpr int32_t kVerSingleAddZatrs = 0x0001012C;
constexpr int32_t kVerNoSecondLegacyList = 0x0001012D;
constexpr int32_t kVerNoLegacyLists = 0x0001012E;
constexpr int32_t kVerItogOptions = 0x0001012F;  // totals options, common index A
constexpr int32_t kVerIndexFileName = 0x00010130;
constexpr int32_t kVerNoCoefTables = 0x00010131;
constexpr int32_t kVerNoBareFirstItemList = 0x00010132;
constexpr int32_t kVerNoLegacyIndexes = 0x00010133;  // no design or work-type index blocks
constexpr int32_t kVerNoLegacyIndexMode = 0x00010134;
constexpr int32_t kVerIndexesLinkMode = 0x00010135;  // index link mode, column indexes
constexpr int32_t kVerMtsnRates = 0x00010136;        // rates on machinists' wages
constexpr int32_t kVerWinters = 0x00010137;
constexpr int32_t kVerTempZone = 0x00010138;
constexpr int32_t kVerOptions32 = 0x0001013A;  // 32-bit options, material digits
constexpr int32_t kVerMatRoundMode = 0x0001013B;
constexpr int32_t kVerItogExpand = 0x0001013D;
constexpr int32_t kVerNoMtsnPrefix = 0x0001013F;
constexpr int32_t kVerCommonNPK = 0x00010142;
constexpr int32_t kVerSmetaUserData = 0x00010143;  // labour digits, user data, comment
constexpr int32_t kVerActs = 0x00010145;
constexpr int32_t kVerSmetaSignatureList = 0x0001014C;
constexpr int32_t kVerOptionalZones = 0x0001014F;
constexpr int32_t kVerDefectsList = 0x00010150;
constexpr int32_t kVerRenumerator = 0x00010154;
constexpr int32_t kVerCommonIndexR = 0x00010156;
constexpr int32_t kVerPosKRound = 0x0001015D;  // coefficient rounding, calculation template

constexpr int32_t kMtsnNaklDefault = 980000;
constexpr int32_t kMtsnPlanDefault = 770000;

// Reads and drops one item of a skipped coefficient list of old files: head,
// caption, two values, then the given number of tails of 12-byte entries.
void SkipLegacyItem(TKdFiler& filer, int tails) {
  filer.CheckSignature(kRowMarker);
  filer.SkipString();
  filer.Skip(8);
  for (int t = 0; t < tails; ++t) filer.Skip(size_t{filer.ReadUInt16()} * 12);
}
// A skipped coefficient list whose items hold two entry tables.
void SkipTwoTableList(TKdFiler& filer) {
  const uint16_t count = filer.ReadUInt16();
  for (int i = 0; i < count; ++i) SkipLegacyItem(filer, 2);
}
// A skipped coefficient list whose items hold one entry table; in the older
// of the two such lists the first item holds none.
enum class FirstItem { kWithTable, kBare };
void SkipOneTableList(TKdFiler& filer, FirstItem first) {
  const uint16_t count = filer.ReadUInt16();
  for (int i = 0; i < count; ++i) {
    SkipLegacyItem(filer, i == 0 && first == FirstItem::kBare ? 0 : 1);
  }
}

// An entry of the work-type index tables: a key and two factors times 10000.
struct LegacyIndexEntry {
  int32_t key;
  int32_t a;
  int32_t b;
};
std::vector<LegacyIndexEntry> ReadLegacyEntries(TKdFiler& filer) {
  const uint16_t n = filer.ReadUInt16();
  std::vector<LegacyIndexEntry> entries;
  for (int k = 0; k < n; ++k) {
    // The fields of a braced list are read in order: key, a, b.
    entries.push_back({filer.ReadInt32(), filer.ReadInt32(), filer.ReadInt32()});
  }
  return entries;
}

// A factor held times 10000 from a decimal value, rounded half to even. The
// product of two stored factors can leave the 32-bit range; it is held at the
// nearer end instead.
int32_t FactorOf(double value) {
  const double scaled = std::nearbyint(value * 10000.0);
  return static_cast<int32_t>(
      std::clamp(scaled, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

TSmetaIndexPos& AppendIndex(TSmetaIndexesPos& list, std::string_view caption, std::string code) {
  auto& index = static_cast<TSmetaIndexPos&>(list.Add(0));
  index.SetCaption(caption);
  index.FCode = std::move(code);
  return index;
}

}  // namespace

TSmeta::TSmeta(const ConversionSettings& settings)
    : TKDXAbstractDocData(settings),
      FRenumerator(this),
      FResManager(this),
      FResObManager(this),
      FWorkManager(this),
      FPfrmsManager(this),
      FVidsRabs(this),
      FVidRabKs(this),
      FRegK(this),
      FTERZoneK(this),
      FIndexesAddOnTypes(this),
      FIndexesPos(this),
      FIndexesRes(this),
      FCommonIndexSmr(this, smrimBlz),
      FCommonIndexSmrLz(this, smrimAlz),
      FCommonIndexRes(this, smrimRes),
      FOsGrafaIndexes(this),
      FCommonNK(this, 1),
      FCommonPK(this, 0),
      FWinters(this),
      FImplemActList(this),
      FChapters(this),
      FAddZatrs(this),
      FVariables(this),
      FDocSignatures(this),
      FUserData(this),
      FOptionalZones(this),
      FDefectsList(this) {}

std::unique_ptr<TKDXAbstractDocData> CreateSmeta(const ConversionSettings& settings) {
  return std::make_unique<TSmeta>(settings);
}

std::string_view TSmeta::GetRegionName(int i) const {
  static const std::string kDefaultRegion = Cp("Госстрой");
  const std::string& name = FZoneNames[static_cast<size_t>(i)];
  return i == 0 && name.empty() ? std::string_view(kDefaultRegion) : std::string_view(name);
}

int32_t TSmeta::GetRegionID(int i) const {
  const int32_t id = FZoneIDs[static_cast<size_t>(i)];
  return id == 0 && i > 0 ? 1 : id;
}

bool TSmeta::IsMtsnNPZpmDefault() const {
  return FMtsnNaklZpm[0] == kMtsnNaklDefault && FMtsnNaklZpm[1] == 0 &&
         FMtsnPlanZpm[0] == kMtsnPlanDefault && FMtsnPlanZpm[1] == 0;
}

// ---- reading ----

// The body in stream order: the parameters, the lists the chapters refer to,
// the chapters, then what follows them.
void TSmeta::ReadBody(TKdFiler& filer) {
  FLegacyPriceMode = 0;
  FLegacyIndexMode = 0;
  FLastPositionSysID = 0;
  ReadParameters(filer);
  ReadSharedLists(filer);
  ReadIndexes(filer);
  ReadRatesAndActs(filer);
  FPositionsBySysID.clear();
  FPositionsBySysIDMade = false;
  FChapters.Load(filer);
  ReadAdditionalCosts(filer);
  ReadLegacyTail(filer);
  ReadClosingPart(filer);
  AfterLoad();
}

// Options, region and zones, chapters of the object estimate and the
// consolidated calculations, regional coefficients, work types, price level
// and modes, numbering and rounding.
void TSmeta::ReadParameters(TKdFiler& filer) {
  const int32_t version = FFileVersion;
  if (version >= kVerOptions32) {
    FOptions = filer.ReadUInt32();
  } else {
    FOptions = static_cast<uint32_t>(filer.ReadInt16());
    FOptions |= soTempRound;
  }
  if (version < kVerBasePriceLevel) FOptions |= soSeparateFot;

  if (version >= kVerRegionId16) {
    FZoneIDs[0] = filer.ReadInt16();
  } else {
    const uint8_t b = filer.Read_Byte();
    FZoneIDs[0] = b == 1 ? 661 : b == 3 ? 662 : b * 10;
  }
  FZoneNames[0] = filer.ReadStringView();
  for (size_t i = 1; i <= 3; ++i) {
    FZoneIDs[i] = filer.Read_Byte();
    FZoneNames[i] = filer.ReadStringView();
  }
  if (version >= kVerOsGlava) {
    FOsGlava = std::min<uint8_t>(filer.Read_Byte(), 8);
    const uint8_t link = filer.Read_Byte();
    if (link <= rdltAny) FOsLinkType = link;
  }
  if (version >= kVerCcGlava) {
    for (uint8_t& glava : FCcGlava) glava = filer.Read_Byte();
  }
  FRegK.Load(filer);
  if (version >= kVerTerZoneK) FTERZoneK.Load(filer);
  FReservedMoney = filer.ReadInt32();
  if (version >= kVerVidRab2001) {
    FVidsRabs.Load(filer);
  } else {
    FVidsRabs.List(vr1984).Load(filer);
  }
  if (version >= kVerVrBaseCalc) FVrBaseCalc = filer.Read_Byte();
  if (version >= kVerSmetaPriceLevel) {
    if (version >= kVerBasePriceLevel) {
      FBasePriceLevel = filer.Read_Byte();
    } else {
      FLegacyPriceMode = filer.Read_Byte();
      if (FLegacyPriceMode <= 1) {
        FBasePriceLevel = smpl2001;
      } else if (FLegacyPriceMode <= 3) {
        FBasePriceLevel = smpl1984;
      }
    }
    if (FBasePriceLevel == smpl2001) FVrBaseCalc = vr2001;
    if (version < kVerNoLegacyIndexMode) FLegacyIndexMode = filer.Read_Byte();
  }
  if (version >= kVerSmetaBaseCalcMode) FBaseCalcMode = filer.Read_Byte();
  if (version >= kVerIndexesMode) {
    const uint8_t mode = filer.Read_Byte();
    FIndexesMode = mode <= simSmr ? mode : uint8_t{simNone};
    FBlockRoundMode = filer.Read_Byte();
  }
  if (version >= kVerItogOptions) {
    FItogOptions = filer.Read_Byte();
    FItogFirstCalcItem = filer.Read_Byte();
  }
  if (version >= kVerOptions32) FMatDigits = filer.Read_Byte();
  if (version >= kVerMatRoundMode) FMatRoundMode = filer.Read_Byte();
  if (version >= kVerRenumerator) FRenumerator.Load(filer);
  if (version >= kVerPosKRound) {
    FPosKRoundFactor = filer.ReadInt08();
    FMulkKPosCalcMode = filer.Read_Byte();
    FPropsConfigName = filer.ReadStringView();
    FPropsConfigModified = filer.ReadByteBoolean();
  }
}

// The catalogue, price comments, works, performers and work-type coefficients.
void TSmeta::ReadSharedLists(TKdFiler& filer) {
  const int32_t version = FFileVersion;
  FResManager.Load(filer);
  if (version >= kVerSharedRows) FResObManager.Load(filer);
  FWorkManager.Load(filer);
  FPfrmsManager.Load(filer);
  FVidRabKs.Load(filer);
}

// Add-on types, position, resource, common and column indexes, and the
// coefficient tables and design indexes of old files.
void TSmeta::ReadIndexes(TKdFiler& filer) {
  const int32_t version = FFileVersion;
  if (version >= kVerIndexLists) {
    FIndexesAddOnTypes.Load(filer);
    FIndexesPos.Load(filer);
    FIndexesRes.Load(filer);
  }
  if (version >= kVerCommonIndexB) FCommonIndexSmrLz.Load(filer);
  if (version >= kVerItogOptions) FCommonIndexSmr.Load(filer);
  if (version >= kVerCommonIndexR) FCommonIndexRes.Load(filer);
  if (version >= kVerIndexesLinkMode) {
    FIndexesLinkMode = filer.Read_Byte();
    FOsGrafaIndexes.Load(filer);
  }
  if (version >= kVerLegacyCoefTables && version < kVerNoCoefTables) {
    ReadLegacyCoefficientTables(filer);
  }
  if (version >= kVerLegacyDesignIndexes && version < kVerNoLegacyIndexes) {
    ReadLegacyDesignIndexes(filer);
  }
}

// Estimate-wide overhead and profit, common NK/PK, rates on machinists'
// wages, winter rises, the temporary-buildings zone and the acts.
void TSmeta::ReadRatesAndActs(TKdFiler& filer) {
  const int32_t version = FFileVersion;
  if (version >= kVerCommonNakl) {
    for (TNaclPlan& np : FCommonNakl) {
      np.Nacl = filer.ReadInt32();
      np.Plan = filer.ReadInt32();
      np.PlanMask = filer.Read_Byte();
      np.NaclMask = filer.Read_Byte();
    }
  }
  if (version >= kVerCommonNPK) {
    FCommonNK.Load(filer);
    FCommonPK.Load(filer);
  }
  if (version >= kVerMtsnRates) {
    if (version < kVerNoMtsnPrefix) filer.Skip(2);
    FMtsnNaklZpm[0] = filer.ReadInt32();
    FMtsnNaklZpm[1] = filer.ReadInt32();
    FMtsnPlanZpm[0] = filer.ReadInt32();
    FMtsnPlanZpm[1] = filer.ReadInt32();
    if (version < kVerOptions32) {
      FMtsnNaklZpm[0] = kMtsnNaklDefault;
      FMtsnPlanZpm[0] = kMtsnPlanDefault;
    }
  }
  if (version >= kVerWinters) FWinters.Load(filer);
  if (version >= kVerTempZone) FTempZone = filer.Read_Byte();
  if (version >= kVerActs) FImplemActList.Load(filer);
}

// Variables, the index file, signatures, totals expansion, user data and
// comment, optional zones and the defects list.
void TSmeta::ReadClosingPart(TKdFiler& filer) {
  const int32_t version = FFileVersion;
  if (version >= kVerVariables) FVariables.Load(filer);
  if (version >= kVerIndexFileName) FIndexFileName = filer.ReadStringView();
  if (version >= kVerSmetaSignatureList) {
    FDocSignatures.Load(filer);
  } else {
    ReadOldEstimateSignatures(FDocSignatures, filer, version);
  }
  if (version >= kVerItogExpand) FItogExpandToItem = static_cast<uint8_t>(filer.ReadUInt16());
  if (version >= kVerSmetaUserData) {
    FTzDigits = filer.Read_Byte();
    FUserData.Load(filer);
    FDocComment.Load(filer);
  }
  if (version >= kVerOptionalZones) FOptionalZones.Load(filer);
  if (version >= kVerDefectsList) FDefectsList.Load(filer);
}

void TSmeta::ReadAdditionalCosts(TKdFiler& filer) {
  const int32_t version = FFileVersion;
  if (version >= kVerSingleAddZatrs || version < kVerTwoAddZatrLists) {
    FAddZatrs.Load(filer);
    return;
  }
  // Files of these versions keep one list per base price level; the other is
  // read and dropped.
  if (FBasePriceLevel != smpl2001 && FBasePriceLevel != smpl1984) return;
  TSmetaAddZatrats other(this);
  if (FBasePriceLevel == smpl2001) {
    other.Load(filer);
    FAddZatrs.Load(filer);
  } else {
    FAddZatrs.Load(filer);
    other.Load(filer);
  }
}

void TSmeta::ReadLegacyTail(TKdFiler& filer) {
  const int32_t version = FFileVersion;
  if (version < kVerNoLegacyIndexes) {
    if (FVrBaseCalc == vr1984) {
      ReadLegacyWorkTypeIndexes(filer, vr1984);
    } else {
      SkipTwoTableList(filer);
    }
  }
  if (version < kVerNoLegacyLists) SkipTwoTableList(filer);
  if (version < kVerNoSecondLegacyList) {
    if (version >= kVerSecondLegacyList) SkipTwoTableList(filer);
    if (version >= kVerThirdLegacyList) SkipTwoTableList(filer);
  }
  if (version >= kVerLegacyTail) {
    if (version < kVerNoLegacyIndexes) {
      if (FVrBaseCalc == vr2001) {
        ReadLegacyWorkTypeIndexes(filer, vr2001);
      } else {
        SkipTwoTableList(filer);
      }
    }
    if (version < kVerNoLegacyLists) SkipTwoTableList(filer);
    if (version < kVerNoBareFirstItemList) SkipOneTableList(filer, FirstItem::kBare);
    if (version < kVerNoLegacyLists) SkipOneTableList(filer, FirstItem::kWithTable);
  }
}

void TSmeta::ReadLegacyCoefficientTables(TKdFiler& filer) {
  for (const TLegacyIndexTable table : {lit2001, lit8401, lit1984}) {
    const uint16_t count = filer.ReadUInt16();
    for (int i = 0; i < count; ++i) {
      TSmetaAbstractK k(this);
      k.Load(filer);
      TSmetaIndexPos& index =
          AppendIndex(FIndexesPos, k.GetCaption(), LegacyIndexCode(table, i + 1));
      for (size_t slot = 1; slot <= 4; ++slot) {
        size_t from = slot;
        if (k.FOptions & skoPzAll) {
          from = 0;
        } else if ((k.FOptions & skoEmAll) && slot == 3) {
          from = 2;
        }
        index.FValues[slot] = k.FValues[from];
      }
    }
  }
}

void TSmeta::ReadLegacyDesignIndexes(TKdFiler& filer) {
  const uint16_t count = filer.ReadUInt16();
  for (int i = 0; i < count; ++i) {
    filer.CheckSignature(kRowMarker);
    std::string caption = filer.ReadString();
    const int32_t a = filer.ReadInt32();
    int32_t b = filer.ReadInt32();
    if (b == 0) b = kFactorOne;
    TSmetaIndexPos& index = AppendIndex(FIndexesPos, caption, LegacyIndexCode(litDesign, i + 1));
    index.FValues[0] = FactorOf((a / 10000.0) * (b / 10000.0));
  }
}

void TSmeta::ReadLegacyWorkTypeIndexes(TKdFiler& filer, TSmetaVidRabType vr) {
  const uint16_t count = filer.ReadUInt16();
  if (count == 0) return;
  filer.CheckSignature(kRowMarker);
  std::string caption = filer.ReadString();
  const int32_t x = filer.ReadInt32();
  int32_t y = filer.ReadInt32();
  if (y == 0) y = kFactorOne;
  const std::vector<LegacyIndexEntry> by_group = ReadLegacyEntries(filer);
  const std::vector<LegacyIndexEntry> by_work_type = ReadLegacyEntries(filer);
  for (int i = 1; i < count; ++i) SkipLegacyItem(filer, 2);

  if (!by_group.empty() || !by_work_type.empty()) {
    // The first entry of each key, so that every work type finds its entries
    // in one step.
    using FirstEntries = std::unordered_map<int32_t, const LegacyIndexEntry*>;
    const auto first_entries = [](const std::vector<LegacyIndexEntry>& entries) {
      FirstEntries first;
      for (const LegacyIndexEntry& e : entries) first.emplace(e.key, &e);
      return first;
    };
    const FirstEntries group_entries = first_entries(by_group);
    const FirstEntries work_type_entries = first_entries(by_work_type);
    // A factor of a work type: from its own entry, else its group's, else the
    // common one; an entry holding 0 counts as none.
    const auto factor = [&](int32_t work_type, int32_t group, int32_t LegacyIndexEntry::*value,
                            int32_t common) {
      for (const auto& [entries, key] :
           {std::pair{&work_type_entries, work_type}, std::pair{&group_entries, group}}) {
        const auto found = entries->find(key);
        if (found != entries->end() && found->second->*value != 0) return found->second->*value;
      }
      return common;
    };
    const TKDXSmetaVidRabs& list = FVidsRabs.List(vr);
    for (size_t g = 0; g < list.Count(); ++g) {
      const TKDXSmetaVidRabGroup& group = *list.At(g);
      for (size_t w = 0; w < group.Count(); ++w) {
        const TKDXSmetaVidRab& work_type = *group.At(w);
        const int32_t a = factor(work_type.FSys_ID, group.FSysID, &LegacyIndexEntry::a, x);
        const int32_t b = factor(work_type.FSys_ID, group.FSysID, &LegacyIndexEntry::b, y);
        TSmetaIndexPos& index = AppendIndex(FIndexesPos, work_type.GetCaption(),
                                            LegacyIndexCode(litWorkType, work_type.FSys_ID));
        index.FValues[0] = FactorOf((a / 10000.0) * (b / 10000.0));
      }
    }
  } else if (x != kFactorOne || y != kFactorOne) {
    FCommonIndexSmr.SetCaption(std::move(caption));
    FCommonIndexSmr.SetFactors(x, y);
    FCommonIndexSmr.SetActive(true);
  }
}

// ---- after loading ----

void TSmeta::AfterLoad() {
  size_t total = 0;
  for (size_t c = 0; c < FChapters.Count(); ++c) total += FChapters.At(c)->Positions().size();
  FPositions.clear();
  FPositions.reserve(total);
  for (size_t c = 0; c < FChapters.Count(); ++c) {
    const auto& positions = FChapters.At(c)->Positions();
    FPositions.insert(FPositions.end(), positions.begin(), positions.end());
  }
  for (TSmetaPosition* position : FPositions) position->ResolveLinkedPositions(FPositions);
  FImplemActList.NumberPending();
  if (FFileVersion >= kVerSmetaPriceLevel && FFileVersion < kVerIndexesMode) ApplyLegacyIndexMode();
}

void TSmeta::ApplyLegacyIndexMode() {
  if (FLegacyPriceMode == 0 || FLegacyPriceMode == 2) {
    FIndexesMode = simPosOne;
  } else if (FIndexesPos.Count() == 0) {
    FIndexesMode = simNone;
  } else if (FLegacyIndexMode == 2) {
    FIndexesMode = simSmr;
  } else if (FLegacyIndexMode == 1 && !FCommonIndexSmr.IsActive()) {
    FIndexesMode = simSmr;
    const auto vr = static_cast<TSmetaVidRabType>(FVrBaseCalc == vr1984 ? vr1984 : vr2001);
    for (TSmetaPosition* position : FPositions) {
      const TKDXSmetaVidRab* work_type = position->FVidRab[vr];
      if (!work_type) continue;
      position->SetPriceIndex(
          FIndexesPos.FindIndex(LegacyIndexCode(litWorkType, work_type->FSys_ID)));
    }
  }
}

TKDXAbstractRow* TSmeta::FindPositionBySysID(int32_t id) {
  if (id == 0 || !Loading()) return nullptr;
  if (!FPositionsBySysIDMade) {
    // The first position of an ID, chapters and their positions in order, stays.
    for (size_t c = 0; c < FChapters.Count(); ++c) {
      for (TSmetaPosition* position : FChapters.At(c)->Positions()) {
        FPositionsBySysID.emplace(position->FSysID, position);
      }
    }
    FPositionsBySysIDMade = true;
  }
  const auto found = FPositionsBySysID.find(id);
  return found == FPositionsBySysID.end() ? nullptr : found->second;
}

int32_t TSmeta::PositionSysID(const TKDXAbstractRow* row) const {
  const auto* position = RowCast<TSmetaPosition>(row);
  return position ? position->FSysID : 0;
}

// ---- XML ----

void TSmeta::XMLSaveBody(XmlElement element) {
  static const char* const kRegionNames[3] = {"RegionName", "Zone84Name", "Zone01Name"};
  static const char* const kRegionIDs[3] = {"RegionID", "Zone84ID", "Zone01ID"};
  XmlElement region = element.AppendChild("RegionInfo");
  for (int i = 0; i < 3; ++i) {
    WriteAttrStr(region, kRegionNames[i], GetRegionName(i));
    WriteAttrInt(region, kRegionIDs[i], GetRegionID(i), 0);
  }
  FOptionalZones.XMLSaveToChild(region);

  static const NameTable kPriceLevels{"2001", "1984"};
  static const NameTable kVrTypes{"Vr1984", "Vr2001"};
  static const NameTable kBaseCalcModes{"", "ResIfNoPrice", "ForceRes"};
  static const NameTable kBlockRoundModes{"None", "Mat", "Smart", "Summ"};
  static const NameTable kMatRoundModes{"None", "SignDigitsPreserveInt", "SignDigits"};
  static const NameTable kItogItems{"K", "Indexes", "NP", "SmrIdx", "Winter", "None"};
  static const NameTable kItogExpand{"Default", "Chapter", "Os", "Price", "Winter",
                                     "SmrIdx",  "Vr",      "NP", "Index", "K"};
  static const NameTable kMultKModes{"UseTotalMult", "UseTotalBase", "UseForOne"};
  XmlElement params = element.AppendChild("Parameters");
  WriteAttrStr(params, "Options", SmetaOptionsToText(FOptions));
  WriteAttrStr(params, "BasePrices", kPriceLevels[FBasePriceLevel]);
  WriteAttrStr(params, "BaseCalcVrs", kVrTypes[FVrBaseCalc]);
  WriteAttrStr(params, "BaseCalcMode", kBaseCalcModes[FBaseCalcMode]);
  WriteAttrStr(params, "BlockRoundMode", kBlockRoundModes[FBlockRoundMode]);
  WriteAttrInt(params, "TempZone", FTempZone, 0);
  WriteAttrStr(params, "MatRoundMode", kMatRoundModes[FMatRoundMode]);
  WriteAttrInt(params, "MatDigits", FMatDigits, 0);
  WriteAttrStr(params, "ItogOptions", ItogOptionsToText(FItogOptions));
  WriteAttrStr(params, "FirstItogItem", kItogItems[FItogFirstCalcItem]);
  WriteAttrStr(params, "ItogExpandTo", kItogExpand[FItogExpandToItem]);
  WriteAttrInt(params, "TzDigits", FTzDigits, 0);
  WriteAttrInt(params, "PosKDigits", -FPosKRoundFactor, -2);
  WriteAttrStr(params, "MultKPosCalcMode", kMultKModes[FMulkKPosCalcMode]);
  WriteAttrStr(params, "PropsConfigName", FPropsConfigName);
  WriteAttrBool(params, "PropsConfigNameModified", FPropsConfigModified, false);
  FRenumerator.XMLSaveToChild(params);
  WriteNaclPlan(params, "CommonNPBase", FCommonNakl[0]);
  WriteNaclPlan(params, "CommonNPCurr", FCommonNakl[1]);
  FCommonNK.XMLSaveToChild(params);
  FCommonPK.XMLSaveToChild(params);
  if (!IsMtsnNPZpmDefault()) {
    XmlElement mtsn = params.AppendChild("MtsnNPZpm");
    WriteAttrCurr(mtsn, "NB", Currency{FMtsnNaklZpm[0]}, Currency{});
    WriteAttrCurr(mtsn, "PB", Currency{FMtsnPlanZpm[0]}, Currency{});
    WriteAttrCurr(mtsn, "NC", Currency{FMtsnNaklZpm[1]}, Currency{});
    WriteAttrCurr(mtsn, "PC", Currency{FMtsnPlanZpm[1]}, Currency{});
  }

  static const NameTable kIndexesModes{"None", "PosOne", "Total", "Smr"};
  static const NameTable kIndexesLinkModes{"Default", "Vrs", "Chapters", "OS"};
  XmlElement indexes = element.AppendChild("Indexes");
  WriteAttrStr(indexes, "IndexesMode", kIndexesModes[FIndexesMode]);
  WriteAttrStr(indexes, "IndexFileName", FIndexFileName);
  WriteAttrStr(indexes, "IndexesLinkMode", kIndexesLinkModes[FIndexesLinkMode]);
  for (TKDXAbstractRow* row : std::initializer_list<TKDXAbstractRow*>{
           &FIndexesAddOnTypes, &FIndexesPos, &FIndexesRes, &FCommonIndexSmr, &FCommonIndexSmrLz,
           &FCommonIndexRes, &FOsGrafaIndexes}) {
    row->XMLSaveToChild(indexes);
  }

  for (TKDXAbstractRow* row : std::initializer_list<TKDXAbstractRow*>{
           &FRegK, &FTERZoneK, &FVidsRabs, &FVidRabKs, &FWinters, &FImplemActList, &FVariables,
           &FChapters, &FAddZatrs}) {
    row->XMLSaveToChild(element);
  }

  static const NameTable kLinkTypes{"None", "OS", "RS", "LB", "SB", "Any"};
  XmlElement os = element.AppendChild("OsInfo");
  WriteAttrInt(os, "OSChapter", FOsGlava, 0);
  WriteAttrStr(os, "LinkType", kLinkTypes[FOsLinkType]);
  WriteCCChapter(os, FCcGlava[0], FCcGlava[1], FCcGlava[2]);

  FDocSignatures.XMLSaveToChild(element);
  FDefectsList.XMLSaveToChild(element);
  FUserData.XMLSaveToChild(element);
}

}  // namespace kdx

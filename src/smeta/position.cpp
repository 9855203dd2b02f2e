#include "smeta/position.h"

#include <cstdint>

#include "model/row_cast.h"
#include "smeta/smeta.h"
#include "smeta/value_texts.h"

namespace kdx {
namespace {

// File versions that changed the position record, in the order they came.
constexpr int32_t kVerOlderSecondLevel = 0x00010107;  // current overhead, 2001 work type
constexpr int32_t kVerOlderCurrMat = 0x00010108;      // current materials price
constexpr int32_t kVerMachinistsGrade = 0x0001010C;
constexpr int32_t kVerOldIndexNumbers = 0x00010111;
constexpr int kNoNumber = INT32_MIN;  // outside the 16-bit numbers
constexpr int32_t kVerPositionPriceLevel = 0x00010112;
constexpr int32_t kVerLegacyWorkTypeIndex = 0x00010113;
constexpr int32_t kVerDesignIndexNumber = 0x00010115;
constexpr int32_t kVerMatPriceFlagged = 0x00010116;  // no current materials price
constexpr int32_t kVerNoMatPriceFlag = 0x00010118;   // the current materials price again
constexpr int32_t kVerPriceObosn = 0x00010119;
constexpr int32_t kVerPositionPresenceMask = 0x00010123;  // the current record, with its mask
constexpr int32_t kVerPositionBaseCalcMode = 0x00010124;
constexpr int32_t kVerPlanTexts = 0x00010125;  // profit texts, identifier
constexpr int32_t kVerCoefTexts = 0x00010128;  // coefficient texts instead of numbers
constexpr int32_t kVerIndexByNumber = 0x00010129;
constexpr int32_t kVerSecondIndexByNumber = 0x0001012A;
constexpr int32_t kVerNoOldIndexNumbers = 0x00010133;
constexpr int32_t kVerWinterK = 0x00010138;
constexpr int32_t kVerDbComment = 0x0001013C;
constexpr int32_t kVerBookmark = 0x0001013D;
constexpr int32_t kVerShortPriceBlock = 0x0001013E;  // labour per unit kept by the resources
constexpr int32_t kVerThreeCoefTexts = 0x00010142;
constexpr int32_t kVerPositionUserData = 0x00010143;
constexpr int32_t kVerPositionOptions16 = 0x00010151;
constexpr int32_t kVerCommentEx = 0x00010154;
constexpr int32_t kVerSysID = 0x00010155;
constexpr int32_t kVerPriceFormulas = 0x00010159;  // current total and the price formulas
constexpr int32_t kVerQuantityRow = 0x0001015B;
constexpr int32_t kVerPzUnsinc = 0x0001015E;

// Bits of the presence mask.
constexpr uint32_t kHasOlderQuantityFx = 0x00000001;
constexpr uint32_t kHasNaclBase = 0x00000002;
constexpr uint32_t kHasNaclCurr = 0x00000004;
constexpr uint32_t kHasNaclK = 0x00000008;
constexpr uint32_t kHasCurrOz = 0x00000010;  // then EM, ZM, MT in the next three bits
constexpr uint32_t kHasMachinistsGrade = 0x00000100;
constexpr uint32_t kHasPerformer = 0x00000200;
constexpr uint32_t kHasDesignIndexNumber = 0x00000400;
constexpr uint32_t kHasIndex2001Number = 0x00000800;
constexpr uint32_t kHasIndex8401Number = 0x00001000;
constexpr uint32_t kHasIndex1984Number = 0x00002000;
constexpr uint32_t kHasPlanK = 0x00004000;
constexpr uint32_t kPosHasIdentifier = 0x00008000;
constexpr uint32_t kPosHasIndexNumber = 0x00010000;
constexpr uint32_t kPosHasIndexCode = 0x00020000;
constexpr uint32_t kHasIndex8401ByNumber = 0x00040000;
constexpr uint32_t kHasIndex8401Code = 0x00080000;
constexpr uint32_t kHasWinterK = 0x00100000;
constexpr uint32_t kHasDbComment = 0x00200000;
constexpr uint32_t kHasUserData = 0x00400000;
constexpr uint32_t kHasExcludedKfs = 0x00800000;
constexpr uint32_t kHasWholesaleCurr = 0x01000000;
constexpr uint32_t kHasWholesaleBase = 0x02000000;
constexpr uint32_t kHasCommentEx = 0x04000000;
constexpr uint32_t kHasCurrPz = 0x08000000;
constexpr uint32_t kHasFxBase = 0x10000000;
constexpr uint32_t kHasFxCurr = 0x20000000;

constexpr uint8_t kNoBookmark = 255;

bool PriceModeOneOf(const TSmeta* doc, uint8_t a, uint8_t b) {
  const uint8_t p = doc ? doc->LegacyPriceMode() : 0;
  return p == a || p == b;
}
uint8_t IndexMode(const TSmeta* doc) { return doc ? doc->LegacyIndexMode() : 0; }

}  // namespace

Currency TSmetaPosition::TPositionForOneFx::SlotValue(int slot) const {
  if (slot < 0 || slot >= 5) return {};
  // The owner is always the position that holds this row.
  const auto* position = static_cast<const TSmetaPosition*>(FOwner);
  const auto& values = FPriceType == sptBase ? position->FForOneBase : position->FForOneCurr;
  return values[static_cast<size_t>(slot)];
}

TSmetaPosition::TSmetaPosition(TKDXAbstractRow* owner)
    : TKdIdentifierRow(owner),
      FQuantity(this),
      FForOneFxCurr(this, sptCurr),
      FItemFlags(this),
      FUserData(this),
      FResources(this),
      FWorks(this),
      FKoeffs(this),
      FImplemNew(this) {}

TSmetaPosition::TRareFields& TSmetaPosition::Rare() {
  if (!FRare) FRare = std::make_unique<TRareFields>();
  return *FRare;
}

const TSmetaPosition::TRareFields& TSmetaPosition::RareOrDefault() const {
  static const TRareFields kDefault;
  return FRare ? *FRare : kDefault;
}

// ---- references ----

void TSmetaPosition::SetPriceIndexByCode(TSmeta* doc, std::string_view code) {
  if (doc) SetPriceIndex(doc->FIndexesPos.FindIndex(code));
}

void TSmetaPosition::ResolveLinkedPositions(const std::vector<TSmetaPosition*>& positions) {
  if (!FRare) return;
  FRare->FLinkedPoss.clear();
  for (const int32_t index : FRare->FLinkedIndexes) {
    if (index < 0 || static_cast<size_t>(index) >= positions.size()) continue;
    TSmetaPosition* linked = positions[static_cast<size_t>(index)];
    linked->Rare().FParentPos = this;
    FRare->FLinkedPoss.push_back(linked);
  }
  FRare->FLinkedIndexes.clear();
}

// ---- reading ----

void TSmetaPosition::ReadData(TKdFiler& filer) {
  TSmeta* doc = RowCast<TSmeta>(GetDocData());
  if (filer.FileVersion() >= kVerPositionPresenceMask) {
    ReadCurrentForm(filer, doc);
  } else {
    ReadOlderForm(filer, doc);
  }
}

void TSmetaPosition::ReadHead(TKdFiler& filer, TSmeta* doc) {
  const int32_t version = filer.FileVersion();
  FOptions = version >= kVerPositionOptions16 ? filer.ReadUInt16() : filer.Read_Byte();
  FNumber = filer.ReadInt32();
  FObosnov = filer.ReadStringView();
  FIsm = filer.ReadStringView();
  FComment = filer.ReadStringView();
  if (version >= kVerSysID) {
    FSysID = filer.ReadInt32();
  } else if (doc) {
    // Older files number their positions in reading order.
    FSysID = doc->NextPositionSysID();
  }
}

void TSmetaPosition::ReadBaseIds(TKdFiler& filer) {
  const int32_t version = filer.FileVersion();
  filer.Skip(8);  // the price base's collection and section (Sb, Ras), not written
  FDBflags = filer.Read_Byte();
  if (version >= kVerPositionPriceLevel) FPriceLevel = filer.Read_Byte();
  if (version >= kVerPositionBaseCalcMode) FBaseCalcMode = filer.Read_Byte();
}

void TSmetaPosition::ReadNaclPlan(TKdFiler& filer, size_t level, bool with_mask) {
  const Currency nacl{filer.ReadInt32()};
  const Currency plan{filer.ReadInt32()};
  const uint16_t mask = with_mask ? filer.ReadUInt16() : 0;
  if (nacl.value == 0 && plan.value == 0 && mask == 0) return;
  TRareFields& rare = Rare();
  rare.FNacl[level] = nacl;
  rare.FPlan[level] = plan;
  if (with_mask) rare.FMask[level] = mask;
}

void TSmetaPosition::ReadPriceBlock(TKdFiler& filer) {
  for (Currency& value : FForOneBase) value = filer.ReadCurr64();
  if (filer.FileVersion() < kVerShortPriceBlock) {
    for (Currency& value : Rare().FOlderLabour) value = filer.ReadCurr64();
  }
}

void TSmetaPosition::ReadVidRab(TKdFiler& filer, TSmeta* doc, TSmetaVidRabType type) {
  const int32_t id = filer.ReadInt32();
  FVidRab[type] = doc ? doc->FVidsRabs.List(type).FindVidRab(id) : nullptr;
}

std::string TPositionRate::Text(char decimal_separator) const {
  return numeric ? FloatToGeneralText(stored / 10000.0, decimal_separator) : text.str();
}

TPositionRate TSmetaPosition::ReadRate(TKdFiler& filer) {
  TPositionRate rate;
  rate.stored = filer.ReadInt32();
  rate.numeric = true;
  return rate;
}

void TSmetaPosition::ReadOlderRate(TKdFiler& filer, size_t level) {
  TRareFields& rare = Rare();
  if (level == 0) {
    rare.FNaclK[scmBInd] = ReadRate(filer);
    rare.FNaclK[scmBase] = rare.FNaclK[scmBInd];
  } else {
    rare.FNaclK[scmRes] = ReadRate(filer);
  }
  rare.FMask[level] = filer.ReadUInt16();
}

void TSmetaPosition::ReadCoefficientTexts(TKdFiler& filer,
                                          std::array<TPositionRate, kCalcMethods>& texts) {
  const int32_t version = filer.FileVersion();
  if (version >= kVerThreeCoefTexts) {
    for (TPositionRate& text : texts) text.text = filer.ReadStringView();
    return;
  }
  if (version >= kVerCoefTexts) {
    texts[scmBInd].text = filer.ReadStringView();
    texts[scmRes].text = filer.ReadStringView();
  } else {
    texts[scmBInd] = ReadRate(filer);
    texts[scmRes] = ReadRate(filer);
  }
  texts[scmBase] = texts[scmBInd];
}

void TSmetaPosition::ReadOldIndexNumbers(TKdFiler& filer, TSmeta* doc, OldIndexNumbers held) {
  // The older records store -1 for "no index"; the presence-mask records name
  // only the numbers they hold, so there -1 is looked up like any number.
  const auto number = [&filer, held] {
    const int n = filer.ReadInt16();
    return n == -1 && held.minus_one_is_none ? kNoNumber : n;
  };
  if (held.index2001) {
    const int n = number();
    if (n != kNoNumber && FPriceLevel == ppt2001 && PriceModeOneOf(doc, 0, 2)) {
      SetPriceIndexByCode(doc, LegacyIndexCode(lit2001, n + 1));
    }
  }
  if (held.index8401) {
    const int n = number();
    if (n != kNoNumber && doc) {
      Rare().FPriceIndex8401.SetPriceIndex(
          doc->FIndexesPos.FindIndex(LegacyIndexCode(lit8401, n + 1)));
    }
  }
  if (held.index1984) {
    const int n = number();
    if (n != kNoNumber && FPriceLevel == ppt1984 && PriceModeOneOf(doc, 0, 2)) {
      SetPriceIndexByCode(doc, LegacyIndexCode(lit1984, n + 1));
    }
  }
}

void TSmetaPosition::ReadTail(TKdFiler& filer) {
  FImplemNew.Load(filer);
  const uint8_t linked = filer.Read_Byte();
  if (FRare) FRare->FLinkedIndexes.clear();
  if (linked == 0) return;
  std::vector<int32_t>& indexes = Rare().FLinkedIndexes;
  for (unsigned i = 0; i < linked; ++i) indexes.push_back(filer.ReadUInt16());
}

void TSmetaPosition::ReadPriceObosn(TKdFiler& filer) {
  for (size_t level = 0; level < 2; ++level) {
    const std::string_view text = filer.ReadStringView();
    if (!text.empty()) Rare().FPriceObosn[level] = text;
  }
}

void TSmetaPosition::ReadPerformer(TKdFiler& filer, TSmeta* doc) {
  const uint16_t index = filer.ReadUInt16();
  FPerformer = doc ? doc->FPfrmsManager.Entry(index) : nullptr;
}

void TSmetaPosition::FinishOldFile(int32_t version) {
  if (version < kVerPzUnsinc) {
    // Without a formula row the base prices are judged as a row without formulas.
    const TPositionForOneFxOf<sptBase> no_formulas(this);
    const TPositionForOneFx* fx = FForOneFxBase.Get();
    FPzUnsinc = (fx ? *fx : no_formulas).ForceUnsincPzNedeed();
  }
  if (version >= kVerNoOldIndexNumbers || FPriceLevel != pptCurr || FResources.Count() != 0) {
    return;
  }
  bool any = false;
  for (const Currency& value : FForOneBase) any = any || value.value != 0;
  if (!any) return;
  FForOneCurr = FForOneBase;
  for (size_t i = 0; i < FResources.Count(); ++i) FResources.At(i)->CopyBasePriceToCurrent();
}

void TSmetaPosition::ReadCurrentForm(TKdFiler& filer, TSmeta* doc) {
  const int32_t version = filer.FileVersion();
  ReadRowHead(filer);
  filer.Skip(1);  // the kind byte of older records
  const auto mask = filer.ReadUInt32();
  const auto has = [mask](uint32_t bit) { return (mask & bit) != 0; };
  ReadHead(filer, doc);
  if (version >= kVerPlanTexts && has(kPosHasIdentifier)) ReadIdentifier(filer);
  if (version >= kVerCommentEx && has(kHasCommentEx))
    filer.SkipString();  // extended comment, not written
  if (version >= kVerQuantityRow) {
    FQuantity.Load(filer);
  } else if (has(kHasOlderQuantityFx)) {
    FQuantity.ReadOlderFormula(filer);
  } else {
    FQuantity.ReadOlderNumber(filer);
  }
  ReadBaseIds(filer);
  if (has(kHasNaclBase)) ReadNaclPlan(filer, 0, true);
  if (has(kHasNaclCurr)) ReadNaclPlan(filer, 1, true);
  ReadPriceBlock(filer);
  ReadVidRab(filer, doc, vr1984);
  ReadVidRab(filer, doc, vr2001);
  if (has(kHasNaclK)) ReadCoefficientTexts(filer, Rare().FNaclK);
  if (version >= kVerPlanTexts && has(kHasPlanK)) ReadCoefficientTexts(filer, Rare().FPlanK);
  FResources.Load(filer);
  if (version < kVerShortPriceBlock) {
    filer.Skip(2);  // workers' average grade, not used
    if (has(kHasMachinistsGrade)) filer.Skip(2);
  }
  FWorks.Load(filer);
  for (size_t slot = 1; slot <= 4; ++slot) {
    if (has(kHasCurrOz << (slot - 1))) FForOneCurr[slot] = filer.ReadCurr64();
  }
  if (version >= kVerPriceFormulas) {
    if (has(kHasCurrPz)) FForOneCurr[0] = filer.ReadCurr64();
    if (has(kHasFxBase)) FForOneFxBase.Make(this).Load(filer);
    if (has(kHasFxCurr)) FForOneFxCurr.Load(filer);
  }
  FKoeffs.Load(filer);
  ReadMaskedIndexes(filer, doc, mask);
  if (version >= kVerDbComment && has(kHasDbComment)) Rare().FDbComment = filer.ReadStringView();
  ReadPriceObosn(filer);
  if (version >= kVerBookmark) {
    const uint8_t bookmark = filer.Read_Byte();
    FBookmark = bookmark == kNoBookmark ? -1 : bookmark;
    FItemFlags.Load(filer);
  }
  if (version >= kVerPositionUserData && has(kHasUserData)) FUserData.Load(filer);
  ReadTail(filer);
  if (has(kHasPerformer)) ReadPerformer(filer, doc);
  if (has(kHasExcludedKfs)) FExcludedVrkfs.Make(this).Load(filer);
  if (has(kHasWholesaleCurr)) Rare().FForOneWholesale[1] = filer.ReadCurr64();
  if (has(kHasWholesaleBase)) Rare().FForOneWholesale[0] = filer.ReadCurr64();
  if (version >= kVerPzUnsinc) FPzUnsinc = filer.ReadByteBoolean();
  FinishOldFile(filer.FileVersion());
}

// The indexes the presence mask names: older index numbers, the index and
// the second index by number or code, the winter rise.
void TSmetaPosition::ReadMaskedIndexes(TKdFiler& filer, TSmeta* doc, uint32_t mask) {
  const int32_t version = filer.FileVersion();
  const auto has = [mask](uint32_t bit) { return (mask & bit) != 0; };
  if (version < kVerNoOldIndexNumbers) {
    ReadOldIndexNumbers(filer, doc,
                        {.index2001 = has(kHasIndex2001Number),
                         .index8401 = has(kHasIndex8401Number),
                         .index1984 = has(kHasIndex1984Number),
                         .minus_one_is_none = false});
    if (has(kHasDesignIndexNumber)) {
      const auto n = filer.ReadInt16();
      if (PriceModeOneOf(doc, 1, 3) && IndexMode(doc) == 2) {
        SetPriceIndexByCode(doc, LegacyIndexCode(litDesign, n + 1));
      }
    }
  }
  if (version >= kVerIndexByNumber) {
    if (has(kPosHasIndexNumber)) {
      const uint16_t i = filer.ReadUInt16();
      SetPriceIndex(doc ? doc->FIndexesPos.At(i) : nullptr);
    }
    if (has(kPosHasIndexCode)) FPriceIndexCode = filer.ReadStringView();
  }
  if (version >= kVerSecondIndexByNumber) {
    if (has(kHasIndex8401ByNumber)) {
      const uint16_t i = filer.ReadUInt16();
      Rare().FPriceIndex8401.SetPriceIndex(doc ? doc->FIndexesPos.At(i) : nullptr);
    }
    if (has(kHasIndex8401Code)) {
      // A code the list does not hold is kept as it is.
      std::string code = filer.ReadString();
      TPriceIndexRef& index8401 = Rare().FPriceIndex8401;
      index8401.SetPriceIndex(doc ? doc->FIndexesPos.FindIndex(code) : nullptr);
      if (!index8401.FPriceIndex) index8401.FPriceIndexCode = std::move(code);
    }
  }
  if (version >= kVerWinterK && has(kHasWinterK)) {
    const uint16_t i = filer.ReadUInt16();
    FWinterK = doc ? doc->FWinters.At(i) : nullptr;
  }
}

void TSmetaPosition::ReadOlderForm(TKdFiler& filer, TSmeta* doc) {
  const int32_t version = filer.FileVersion();
  ReadRowHead(filer);
  const uint8_t kind = filer.Read_Byte();
  ReadHead(filer, doc);
  FQuantity.ReadOlderNumber(filer);
  ReadBaseIds(filer);
  ReadNaclPlan(filer, 0, false);
  if (version >= kVerOlderSecondLevel) ReadNaclPlan(filer, 1, false);
  switch (kind) {
    case 0: {  // a priced position
      ReadPriceBlock(filer);
      ReadVidRab(filer, doc, vr1984);
      if (version >= kVerOlderSecondLevel) ReadVidRab(filer, doc, vr2001);
      ReadOlderRate(filer, 0);
      if (version >= kVerOlderSecondLevel) ReadOlderRate(filer, 1);
      FResources.Load(filer);
      filer.Skip(2);  // workers' average grade, not used
      if (version >= kVerMachinistsGrade && (FOptions & spoHasAverRasrM)) filer.Skip(2);
      FWorks.Load(filer);
      // The current materials price: always from 0x00010118; from 0x00010108
      // to 0x00010115 only without resources; 0x00010116 and 0x00010117 hold none.
      if (version >= kVerNoMatPriceFlag ||
          (version >= kVerOlderCurrMat && version < kVerMatPriceFlagged &&
           FResources.Count() == 0)) {
        FForOneCurr[4] = filer.ReadCurr64();
      }
      break;
    }
    case 1:
      FForOneBase = {};
      FForOneBase[0] = filer.ReadCurr64();
      ReadVidRab(filer, doc, vr1984);
      ReadOlderRate(filer, 0);
      FForOneBase[4] = FForOneBase[0];
      break;
    case 2:
      FForOneBase = {};
      FForOneBase[0] = filer.ReadCurr64();
      if (version >= kVerOlderCurrMat) {
        FForOneCurr[0] = filer.ReadCurr64();
        filer.Skip(1);
      }
      break;
    default:
      break;
  }
  FKoeffs.Load(filer);
  if (version >= kVerOldIndexNumbers) ReadOldIndexNumbers(filer, doc, {});
  if (version >= kVerDesignIndexNumber && version < kVerNoOldIndexNumbers) {
    const auto n = filer.ReadInt16();
    if (n != -1 && PriceModeOneOf(doc, 0, 2) && IndexMode(doc) == 2) {
      SetPriceIndexByCode(doc, LegacyIndexCode(litDesign, n + 1));
    }
  }
  if (version >= kVerLegacyWorkTypeIndex && PriceModeOneOf(doc, 1, 3) && IndexMode(doc) == 1) {
    const TKDXSmetaVidRab* work_type = FVidRab[doc->FVrBaseCalc == vr1984 ? vr1984 : vr2001];
    if (work_type) {
      SetPriceIndexByCode(doc, LegacyIndexCode(litWorkType, work_type->FSys_ID));
    }
  }
  if (version >= kVerPriceObosn) ReadPriceObosn(filer);
  ReadTail(filer);
  ReadPerformer(filer, doc);
  FinishOldFile(filer.FileVersion());
}

// ---- XML ----

void TSmetaPosition::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  const TRareFields& rare = RareOrDefault();
  const char sep = element.Settings().decimal_separator;
  WriteAttrStr(element, "Identifier", FIdentifier);
  WriteAttrInt(element, "SysID", FSysID, -1);
  WriteAttrStr(element, "Number",
               TCustomSmetaRenumerator::PositionNumberToStr(static_cast<uint32_t>(FNumber)));
  WriteAttrStr(element, "Code", FObosnov);
  WriteAttrStr(element, "Units", FIsm);
  WriteAttrStr(element, "Quantity", FQuantity.OldQuantityStr(sep));
  WriteAttrStr(element, "Comment", FComment);
  static const NameTable kPriceLevels{"Curr", "2001", "1984"};
  static const NameTable kCalcModes{"", "ForceBase", "ForceRes"};
  WriteAttrStr(element, "PriceLevel", kPriceLevels[FPriceLevel]);
  WriteAttrStr(element, "BaseCalcMode", kCalcModes[FBaseCalcMode]);
  WriteAttrStr(element, "Options", PositionOptionsToText(FOptions));
  WriteAttrStr(element, "IndexCode", GetPriceIndexCode());
  WriteAttrStr(element, "Index8401Code", rare.FPriceIndex8401.GetPriceIndexCode());
  WriteAttrStr(element, "DBComment", rare.FDbComment);
  WriteAttrStr(element, "DBFlags", PositionDbFlagsToText(FDBflags));
  SetAttr(element, "PzSync", FPzUnsinc ? "No" : "Yes");
  WriteAttrInt(element, "Vr1984", FVidRab[vr1984] ? FVidRab[vr1984]->FSys_ID : 0, 0);
  WriteAttrInt(element, "Vr2001", FVidRab[vr2001] ? FVidRab[vr2001]->FSys_ID : 0, 0);
  static constexpr const char* kNaclNames[kCalcMethods] = {"NKB", "NKI", "NKR"};
  static constexpr const char* kPlanNames[kCalcMethods] = {"PNB", "PKI", "PKR"};
  for (size_t m = 0; m < kCalcMethods; ++m) {
    WriteAttrStr(element, kNaclNames[m], rare.FNaclK[m].Text(sep));
    WriteAttrStr(element, kPlanNames[m], rare.FPlanK[m].Text(sep));
  }
  WriteAttrStr(element, "WinterK", FWinterK ? std::string_view(FWinterK->FCode) : "");
  WriteAttrInt(element, "Bookmark", FBookmark, -1);
  FItemFlags.XMLSave(element);
  WriteAttrStr(element, "Performer", FPerformer ? std::string_view(FPerformer->GetCaption()) : "");

  FQuantity.XMLSaveToChild(element);
  XMLSavePrices(element, 0);
  XMLSavePrices(element, 1);
  FResources.XMLSaveToChild(element);
  FKoeffs.XMLSaveToChild(element);
  if (const TSmetaExcludedVrKfs* excluded = FExcludedVrkfs.Get();
      excluded && !excluded->FItems.empty()) {
    FExcludedVrkfs.XMLSaveToChild(element);
  }
  if (FWorks.Count() != 0) FWorks.XMLSaveToChild(element);
  static constexpr const char* kCustomNames[2] = {"CustomNPBase", "CustomNPCurr"};
  for (size_t level = 0; level < 2; ++level) {
    TNaclPlan np;
    np.Nacl = static_cast<int32_t>(rare.FNacl[level].value);
    np.Plan = static_cast<int32_t>(rare.FPlan[level].value);
    np.PlanMask = static_cast<uint8_t>(rare.FMask[level] & 0xFF);
    np.NaclMask = static_cast<uint8_t>(rare.FMask[level] >> 8);
    WriteNaclPlan(element, kCustomNames[level], np);
  }
  FImplemNew.XMLSaveToChild(element);
  FUserData.XMLSaveToChild(element);
}

void TSmetaPosition::XMLSavePrices(XmlElement element, size_t level) {
  // The current level leaves out the direct-costs total.
  const auto& values = level == 0 ? FForOneBase : FForOneCurr;
  TPositionForOneFx* fx = level == 0 ? FForOneFxBase.Get() : &FForOneFxCurr;
  const size_t first = level == 0 ? 0 : 1;
  const TRareFields& rare = RareOrDefault();
  bool stored = (fx && fx->HasFormula()) || !rare.FPriceObosn[level].empty() ||
                rare.FForOneWholesale[level].value != 0;
  for (size_t slot = first; slot < 5; ++slot) stored = stored || values[slot].value != 0;
  if (!stored) return;
  static constexpr const char* kNames[5] = {"PZ", "OZ", "EM", "ZM", "MT"};
  XmlElement prices = element.AppendChild(level == 0 ? "PriceBase" : "PriceCurr");
  for (size_t slot = first; slot < 5; ++slot) {
    WriteAttrCurr(prices, kNames[slot], values[slot], Currency{});
  }
  WriteAttrStr(prices, "Comment", rare.FPriceObosn[level]);
  WriteAttrCurr(prices, "Ws", rare.FForOneWholesale[level], Currency{});
  if (fx) fx->XMLSaveToChild(prices);
}

}  // namespace kdx

// A priced line of a local estimate: a work or material from a price base
// with its code, name and unit, the quantity, prices for one unit at the base
// and the current level, overhead and profit, the work types and indexes it is
// charged under, and its resources, coefficients, works and acts.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/common_rows.h"
#include "shared/abstract_index.h"
#include "smeta/coefficients.h"
#include "smeta/implementation.h"
#include "smeta/price_fx.h"
#include "smeta/quantity.h"
#include "smeta/resources.h"
#include "smeta/vidrab.h"

namespace kdx {

class TSmeta;
class TSmetaWinterK;
class TSmetaPerformer;

// Price level of a position.
enum TSmetaPosPriceLevel : uint8_t { pptCurr, ppt2001, ppt1984 };

// Bits of a position's options.
inline constexpr uint16_t spoHasAverRasrM = 1u << 3;
inline constexpr uint16_t spoInactive = 1u << 4;

// An overhead or profit rate of a position as the file keeps it: a text, or
// in older files a number in ten-thousandths, which becomes text only when
// written, in the XML's notation.
struct TPositionRate {
  CompactString text;
  int32_t stored = 0;
  bool numeric = false;
  std::string Text(char decimal_separator) const;
};

class TSmetaPosition : public TKdIdentifierRow, public TPriceIndexRef {
 public:
  // The formulas of the prices for one unit: their slot values are the
  // position's own prices of the level.
  class TPositionForOneFx : public TCustomPosForOneFx {
   public:
    using TCustomPosForOneFx::TCustomPosForOneFx;
    Currency SlotValue(int slot) const override;
  };
  // The row of one level, made from its owner alone as rows made on demand are.
  template <TSmetaPriceType kType>
  class TPositionForOneFxOf : public TPositionForOneFx {
   public:
    explicit TPositionForOneFxOf(TKDXAbstractRow* owner) : TPositionForOneFx(owner, kType) {}
  };

  explicit TSmetaPosition(TKDXAbstractRow* owner);
  TSmetaRowKind GetKind() const override { return srkPosition; }
  const char* XMLTag() const override { return "Position"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // Turns the stored indexes of linked positions into the positions of the
  // document's list (out-of-range ones are dropped) and links them back.
  void ResolveLinkedPositions(const std::vector<TSmetaPosition*>& positions);
  // The positions this one links, once resolved, and the position linking this one.
  const std::vector<TSmetaPosition*>& LinkedPositions() const {
    return RareOrDefault().FLinkedPoss;
  }
  TSmetaPosition* ParentPosition() const { return FRare ? FRare->FParentPos : nullptr; }
  // Labour per unit of the older price block: workers (0), machinists (1).
  Currency OlderLabour(int which) const {
    return FRare ? FRare->FOlderLabour[static_cast<size_t>(which)] : Currency{};
  }

  int32_t FSysID = 0;
  int32_t FNumber = 0;
  int16_t FBookmark = -1;  // a stored byte, 255 for none
  uint16_t FOptions = 0;
  uint8_t FDBflags = 0;
  uint8_t FPriceLevel = pptCurr;
  uint8_t FBaseCalcMode = 0;
  bool FPzUnsinc = false;
  CompactString FObosnov;
  CompactString FIsm;
  CompactString FComment;
  TPositionQuantity FQuantity;
  std::array<Currency, 5> FForOneBase{};
  std::array<Currency, 5> FForOneCurr{};
  // Formulas of base prices are rare and made when read; a document that
  // prices by formulas at all does so at the current level, in most positions.
  TKdRowOnDemand<TPositionForOneFxOf<sptBase>> FForOneFxBase;
  TPositionForOneFx FForOneFxCurr;
  std::array<TKDXSmetaVidRab*, 2> FVidRab{};
  TSmetaWinterK* FWinterK = nullptr;
  TSmetaPerformer* FPerformer = nullptr;
  TKdItemFlags FItemFlags;
  TKdUserData FUserData;
  TSmetaPosResources FResources;
  TSmetaPosWorks FWorks;
  TSmetaPosKfs FKoeffs;
  TKdRowOnDemand<TSmetaExcludedVrKfs> FExcludedVrkfs;
  TSmetaPositionImplementation FImplemNew;

 private:
  // One reader per layout: the record with its presence mask, and the older
  // record whose layout follows the position's kind byte.
  void ReadCurrentForm(TKdFiler& filer, TSmeta* doc);
  void ReadOlderForm(TKdFiler& filer, TSmeta* doc);
  void ReadMaskedIndexes(TKdFiler& filer, TSmeta* doc, uint32_t mask);
  // Parts both layouts share.
  void ReadHead(TKdFiler& filer, TSmeta* doc);
  void ReadBaseIds(TKdFiler& filer);
  void ReadNaclPlan(TKdFiler& filer, size_t level, bool with_mask);
  void ReadPriceBlock(TKdFiler& filer);
  void ReadVidRab(TKdFiler& filer, TSmeta* doc, TSmetaVidRabType type);
  // A rate times 10000.
  static TPositionRate ReadRate(TKdFiler& filer);
  // An older record's overhead rate with its mask: of the base level (0),
  // which also stands for the base-index method, or of the resource method (1).
  void ReadOlderRate(TKdFiler& filer, size_t level);
  void ReadCoefficientTexts(TKdFiler& filer, std::array<TPositionRate, kCalcMethods>& texts);
  // Which old index numbers a record holds, and whether -1 among them means none.
  struct OldIndexNumbers {
    bool index2001 = true;
    bool index8401 = true;
    bool index1984 = true;
    bool minus_one_is_none = true;
  };
  void ReadOldIndexNumbers(TKdFiler& filer, TSmeta* doc, OldIndexNumbers held);
  void ReadTail(TKdFiler& filer);
  void ReadPerformer(TKdFiler& filer, TSmeta* doc);
  void FinishOldFile(int32_t version);
  void SetPriceIndexByCode(TSmeta* doc, std::string_view code);
  void XMLSavePrices(XmlElement element, size_t level);

  // What most positions leave at their default: texts and prices few records
  // set, older files' fields and links between positions. Made when a record
  // sets one of them; a position without it reads every field as its default.
  struct TRareFields : ModelObject {
    CompactString FDbComment;
    std::array<CompactString, 2> FPriceObosn;
    std::array<Currency, 2> FForOneWholesale{};  // base, current
    std::array<Currency, 2> FNacl{};
    std::array<Currency, 2> FPlan{};
    std::array<uint16_t, 2> FMask{};  // low byte profit mask, high byte overhead mask
    std::array<TPositionRate, kCalcMethods> FNaclK;
    std::array<TPositionRate, kCalcMethods> FPlanK;
    TPriceIndexRef FPriceIndex8401;
    std::array<Currency, 2> FOlderLabour{};
    std::vector<int32_t> FLinkedIndexes;
    std::vector<TSmetaPosition*> FLinkedPoss;
    TSmetaPosition* FParentPos = nullptr;
  };
  TRareFields& Rare();
  const TRareFields& RareOrDefault() const;
  // Two texts that a record always holds, kept only when not empty.
  void ReadPriceObosn(TKdFiler& filer);

  std::unique_ptr<TRareFields> FRare;
};

}  // namespace kdx

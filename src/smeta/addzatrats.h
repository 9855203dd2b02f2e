// Estimate-level objects beside the chapters: the additional costs by chapter
// of the consolidated calculation (8 to 15), the winter rise catalogue with its
// common coefficient, and the common overhead and profit coefficient texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/common_rows.h"
#include "smeta/coefficients.h"
#include "smeta/vidrab.h"

namespace kdx {

// Bits of the 16-bit option set of an additional cost.
inline constexpr uint16_t adzoPercent = 1u << 0;
inline constexpr uint16_t adzoInSMR = 1u << 1;
inline constexpr uint16_t adzoReturn = 1u << 2;
inline constexpr uint16_t adzoItogHideFx = 1u << 3;
inline constexpr uint16_t adzoInactive = 1u << 4;
inline constexpr uint16_t adzoItogHideZero = 1u << 5;
inline constexpr uint16_t adzoNoNepr = 1u << 9;

// The chapters of the consolidated calculation that hold additional costs.
inline constexpr int kFirstAddZatrGlava = 8;
inline constexpr int kLastAddZatrGlava = 15;
inline constexpr int kAddZatrGlavas = kLastAddZatrGlava - kFirstAddZatrGlava + 1;

class TSmetaAddZatrGlava;

// One additional cost: an amount, a percentage or a formula.
class TSmetaAddZatr : public TKdIdentifierRow {
 public:
  // Takes the creation defaults of the chapter of the owner list.
  explicit TSmetaAddZatr(TKDXAbstractRow* owner);
  const char* XMLTag() const override { return "AddZatr"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // The list that holds the cost, or nullptr.
  TSmetaAddZatrGlava* Glava() const;
  // The chapter of that list; 0 without one.
  int Chapter() const;

  uint16_t FOptions;
  Currency FValue{};
  std::string FFormula;
  int32_t FLevel = 1;
  // A return cost of an older file given as a share of the cost before it:
  // the formula is "-share" and FFormula, the share written in the XML's
  // notation.
  Currency FReturnShare{};
  bool FIsReturnShare = false;

  // The formula as written, numbers in the notation of the separator.
  std::string FormulaText(char decimal_separator) const;

 private:
  // Appends the return cost an older file keeps inside this one's record.
  void AddReturnCost(Currency returned);
};

// The additional costs of one chapter; its caption is neither stored nor written.
class TSmetaAddZatrGlava : public TKdTypedList<TSmetaAddZatr> {
 public:
  TSmetaAddZatrGlava(TKDXAbstractRow* owner, int glava) : TKdTypedList(owner, 0), FGlava(glava) {}
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "AddZatrGlava"; }
  // "Glava", then the costs; written also when empty (the owner decides).
  void XMLSave(XmlElement element) override;

  int GlavaNumber() const { return FGlava; }

 private:
  int FGlava;
};

// The eight chapter lists 8 to 15.
class TSmetaAddZatrats : public TKDXAbstractRow {
 public:
  explicit TSmetaAddZatrats(TKDXAbstractRow* owner);
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "AddZatrats"; }
  TKDXAbstractRow* GetRow(size_t index) const override;
  size_t GetRowsCount() const override { return FItems.size(); }
  // The eight lists in order; no head of its own.
  void ReadData(TKdFiler& filer) override;
  // All eight "AddZatrGlava" elements, also the empty ones.
  void XMLSave(XmlElement element) override;

  // The list of the chapter, or nullptr outside 8..15.
  TSmetaAddZatrGlava* Glava(int chapter);

 private:
  std::array<TSmetaAddZatrGlava, kAddZatrGlavas> FItems;
};

// How winter rises are applied, and where positions take their coefficient from.
enum TSmetaWinterMode : uint8_t { swmNone, swmK, swmSmr };
enum TSmetaWinterLinkMode : uint8_t { swlmTable, swlmCommon };

// A coded winter-rise coefficient.
class TSmetaWinterK : public TCustomSmetaKIItem {
 public:
  using TCustomSmetaKIItem::TCustomSmetaKIItem;
  TSmetaRowKind GetKind() const override { return srkWinterK; }
  const char* XMLTag() const override { return "WinterK"; }
  int32_t GetLevel() const override { return 20; }
};

// The estimate's common winter-rise coefficient.
class TSmetaCommonWinterK : public TSmetaWinterK {
 public:
  using TSmetaWinterK::TSmetaWinterK;
  const char* XMLTag() const override { return "CommonWinterK"; }
};

// The winter rise catalogue; positions refer to its items by index (At).
class TSmetaWinters : public TKdTypedList<TSmetaWinterK> {
 public:
  explicit TSmetaWinters(TKDXAbstractRow* owner) : TKdTypedList(owner, 0), FCommonWinter(this) {}
  const char* XMLTag() const override { return "WinterCatalog"; }
  void ReadData(TKdFiler& filer) override;
  // Written only with at least one coefficient (the list's IsXMLStored).
  void XMLSave(XmlElement element) override;

  TSmetaCommonWinterK FCommonWinter;
  uint16_t FOptions = 0;  // coefficient options (skoPercent, skoOzpTz...)
  uint8_t FWinterMode = swmNone;
  uint8_t FLinkMode = swlmTable;
};

// Bits of the active coefficient sources of the common overhead or profit.
inline constexpr uint8_t cnpaiVidRabK = 1u << 0;
inline constexpr uint8_t cnpaiCommonK = 1u << 1;
inline constexpr uint8_t cnpaiMethodK = 1u << 2;

// The coefficient texts that apply to the overhead (mode 1) or the profit
// (mode 0) rates of all work types.
class TSmetaCommonNPK : public TKDXAbstractRow {
 public:
  TSmetaCommonNPK(TKDXAbstractRow* owner, uint8_t nakl_mode)
      : TKDXAbstractRow(owner), FNaklMode(nakl_mode) {}
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return FNaklMode == 1 ? "CommonNK" : "CommonPK"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  std::string FCommonK;
  std::array<std::string, kCalcMethods> FMethodK;
  uint8_t FActiveItems = cnpaiVidRabK | cnpaiCommonK | cnpaiMethodK;

 private:
  uint8_t FNaklMode;
};

}  // namespace kdx

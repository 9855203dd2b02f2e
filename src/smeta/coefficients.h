// Coefficients that raise or lower the cost items of an estimate (the regional
// and territorial ones, the work-type coefficients of the estimate, those of
// positions and resources) and the position's exclusions of work-type
// coefficients.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/row_cast.h"
#include "shared/coded_item.h"

namespace kdx {

// Kind of a coefficient.
enum TSmetaKKind : uint8_t { skkStandart, skkFormula, skkKosvRash, skkReserved };

// Bits of the 16-bit option set of a coefficient.
inline constexpr uint16_t skoPercent = 1u << 0;
inline constexpr uint16_t skoInPosition = 1u << 1;
inline constexpr uint16_t skoBase = 1u << 2;
inline constexpr uint16_t skoCurr = 1u << 3;
inline constexpr uint16_t skoPzAll = 1u << 4;
inline constexpr uint16_t skoEmAll = 1u << 5;
inline constexpr uint16_t skoMatQty = 1u << 6;
inline constexpr uint16_t skoEmQty = 1u << 7;
inline constexpr uint16_t skoOzpTz = 1u << 8;
inline constexpr uint16_t skoZpmTz = 1u << 9;
inline constexpr uint16_t skoDisabled = 1u << 10;
inline constexpr uint16_t skoSeparateEm = 1u << 11;
inline constexpr uint16_t skoItogHideFx = 1u << 12;
inline constexpr uint16_t skoReserved1 = 1u << 13;

// Splits a formula of the form "ПЗ=...;ОЗП=...;ЭМ=...;ЗПМ=...;МАТ=..."
// (windows-1251 text; blanks are ignored, ";" inside parentheses does not
// separate) into the expressions of the five cost items. Returns false at the
// first piece that names no cost item or names one a second time; what was
// found before it stays in fx.
bool SplitKFormula(std::string_view formula, std::array<std::string, kKfSlots>& fx);

// A coefficient: up to five factors or a formula, with options saying to
// which prices and cost items it applies.
class TSmetaAbstractK : public TSmetaAbstractKIItem {
 public:
  static constexpr uint16_t kDefaultKOptions = 0x3FC;

  explicit TSmetaAbstractK(TKDXAbstractRow* owner, uint16_t options = kDefaultKOptions)
      : TSmetaAbstractKIItem(owner), FOptions(options) {}
  TSmetaRowKind GetKind() const override { return srkAbstractKf; }
  const char* XMLTag() const override { return "K"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  void SetFormula(std::string_view formula) { FFormula = formula; }
  // The formula's expressions by cost item, split when asked for (few
  // coefficients are formulas, and the rows stay small); false when a piece
  // names no cost item or names one a second time.
  bool FormulaParts(std::array<std::string, kKfSlots>& fx) const;

  uint8_t FKfKind = skkStandart;
  uint16_t FOptions;
  TKfValues FValues = kNeutralFactors;
  CompactString FIdentifier;
  CompactString FFormula;

 protected:
  // Brings the options just read into the form this class allows.
  virtual void NormaliseOptions();
  // The attributes of a coefficient; false when the row is not stored.
  bool XMLSaveK(XmlElement element);
};

// The territorial zone correction of an estimate.
class TSmetaTerZoneK : public TSmetaAbstractK {
 public:
  static constexpr uint16_t kTerZoneKOptions = skoBase | skoPzAll | skoEmAll;

  explicit TSmetaTerZoneK(TKDXAbstractRow* owner) : TSmetaAbstractK(owner, kTerZoneKOptions) {}
  // The caption is stored but never written.
  uint8_t GetOptions() const override { return aroStoreCaption; }
  const char* XMLTag() const override { return "TerZoneK"; }
  int32_t GetLevel() const override { return -2; }

 protected:
  void NormaliseOptions() override;
};

// The regional wage coefficient of an estimate: one factor, for basic wages
// (slot 1); no marker and no caption are stored.
class TSmetaRegK : public TSmetaAbstractK {
 public:
  static constexpr uint16_t kRegionalKOptions = skoPercent | skoBase;

  explicit TSmetaRegK(TKDXAbstractRow* owner) : TSmetaAbstractK(owner, kRegionalKOptions) {}
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "RegionalK"; }
  int32_t GetLevel() const override { return -1; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;
};

// A coefficient with a level.
class TSmetaAbstractLevelK : public TSmetaAbstractK {
 public:
  using TSmetaAbstractK::TSmetaAbstractK;
  int32_t GetLevel() const override { return FLevel; }
  void XMLSave(XmlElement element) override;

  int32_t FLevel = 1;

 protected:
  bool XMLSaveLevelK(XmlElement element);
};

// A coefficient of a position.
class TSmetaPosKf : public TSmetaAbstractLevelK {
 public:
  using TSmetaAbstractLevelK::TSmetaAbstractLevelK;
  void ReadData(TKdFiler& filer) override;
};

// A coefficient of a resource.
class TSmetaResKf : public TSmetaAbstractLevelK {
 public:
  using TSmetaAbstractLevelK::TSmetaAbstractLevelK;
  void ReadData(TKdFiler& filer) override;
};

// IDs of the chapters, work types or work-type groups a work-type coefficient
// applies to (16-bit values as stored).
class TSmetaVrKfLinks {
 public:
  // A signed 16-bit count, then that many 16-bit IDs.
  void Read(TKdFiler& filer);
  const std::vector<int32_t>& Items() const { return FItems; }

 private:
  std::vector<int32_t> FItems;
};

// A work-type coefficient of the estimate.
class TSmetaVrKf : public TSmetaAbstractLevelK {
 public:
  static constexpr uint16_t kVrKfOptions = 0x3FF;

  explicit TSmetaVrKf(TKDXAbstractRow* owner) : TSmetaAbstractLevelK(owner, kVrKfOptions) {}
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  bool FAllVidRabs = true;
  bool FAllChapters = true;
  // By work-type list: 0 the 1984 list, 1 the 2001 list.
  std::array<TSmetaVrKfLinks, 2> FVidRabLinks;
  std::array<TSmetaVrKfLinks, 2> FVidRbGLinks;
  TSmetaVrKfLinks FChaptsLinks;

 protected:
  void NormaliseOptions() override;
};

// Coefficient lists: 16-bit count, no type bytes, no caption.
template <class T>
class TSmetaKfListOf : public TKdTypedList<T> {
 public:
  explicit TSmetaKfListOf(TKDXAbstractRow* owner) : TKdTypedList<T>(owner, 0) {}
  const char* XMLTag() const override { return "Koefficients"; }
};

using TSmetaPosKfs = TSmetaKfListOf<TSmetaPosKf>;
using TSmetaResKfs = TSmetaKfListOf<TSmetaResKf>;
using TSmetaVrKfs = TSmetaKfListOf<TSmetaVrKf>;

// An owner (the estimate) that keeps the work-type coefficients which the
// exclusion lists of its positions refer to.
class ISmetaVrKfsOwner {
 public:
  virtual TSmetaVrKfs* VrKfsList() = 0;

 protected:
  ~ISmetaVrKfsOwner() = default;
};

// The work-type coefficients of the estimate that do not apply to a position.
class TSmetaExcludedVrKfs : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "ExcludedKfs"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // Places in the estimate's list, as stored and checked against it when
  // read, so that none is looked up again; a repeated index repeats.
  std::vector<int32_t> FItems;
};

}  // namespace kdx

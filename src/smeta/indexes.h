// Price indexes of an estimate: the indexes positions and resources refer to
// by code, the three common indexes given as formulas, and the index codes of
// the columns of the object estimate.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "shared/addons.h"
#include "smeta/coefficients.h"

namespace kdx {

// An index of the estimate's list that positions refer to.
using TSmetaIndexPos = TCustomIndexPos;

// An index of the estimate's list that resources refer to; no add-ons.
class TSmetaIndexRes : public TKDXAbstractIndex {
 public:
  using TKDXAbstractIndex::TKDXAbstractIndex;
  TSmetaRowKind GetKind() const override { return srkIndex; }
  const char* XMLTag() const override { return "Index"; }
};

// A list of indexes: 16-bit count, no type bytes, no caption.
class TSmetaIndexesList : public TKDXAbstractObjectList {
 public:
  explicit TSmetaIndexesList(TKDXAbstractRow* owner) : TKDXAbstractObjectList(owner, 0) {}
  TKDXAbstractIndex* At(size_t index) const { return static_cast<TKDXAbstractIndex*>(Item(index)); }
  // The first index whose code equals the given one ignoring letter case; the
  // given code is trimmed, the stored ones are not. nullptr for a blank code.
  TKDXAbstractIndex* FindIndex(std::string_view code) const;

 private:
  // The indexes by their code in capitals, made at a look-up when the list
  // has grown since: positions of older files name their index by code, and
  // a search per position would grow with the square of the document.
  mutable std::unordered_map<std::string, TKDXAbstractIndex*> FByCode;
  mutable size_t FByCodeCount = 0;
};

class TSmetaIndexesPos : public TSmetaIndexesList {
 public:
  using TSmetaIndexesList::TSmetaIndexesList;
  const char* XMLTag() const override { return "IndexesPos"; }
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t /*type*/) override {
    return std::make_unique<TSmetaIndexPos>(this);
  }
};

class TSmetaIndexesRes : public TSmetaIndexesList {
 public:
  using TSmetaIndexesList::TSmetaIndexesList;
  const char* XMLTag() const override { return "IndexesRes"; }
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t /*type*/) override {
    return std::make_unique<TSmetaIndexRes>(this);
  }
};

// The tables of older files whose numbers stand for indexes of the list: the
// coefficient tables (2001, 1984-2001, 1984), the design indexes and the
// work-type indexes. The index a number stands for has the code of its table's
// prefix and the number (1-based place, or the work type's ID).
enum TLegacyIndexTable : uint8_t { lit2001, lit8401, lit1984, litDesign, litWorkType };
std::string LegacyIndexCode(TLegacyIndexTable table, int64_t number);

// Which of the estimate's common indexes.
enum TSmetaIndexSmrLzMode : uint8_t { smrimBlz, smrimAlz, smrimRes };

// A common index of the estimate given as a formula; inactive while its
// options hold the Disabled bit (the only bit kept).
class TKDXSmetaIndexSmrLz : public TKDXAbstractRow {
 public:
  TKDXSmetaIndexSmrLz(TKDXAbstractRow* owner, TSmetaIndexSmrLzMode mode)
      : TKDXAbstractRow(owner), FMode(mode) {}
  const char* XMLTag() const override;
  void ReadData(TKdFiler& filer) override;
  // Left out when inactive with a blank formula.
  bool IsXMLStored() const override;
  void XMLSave(XmlElement element) override;

  TSmetaIndexSmrLzMode Mode() const { return FMode; }
  bool IsActive() const { return (FOptions & skoDisabled) == 0; }
  void SetActive(bool active) { FOptions = active ? 0 : skoDisabled; }

  // The formula of two factors in ten-thousandths that older files keep
  // apart (a factor of 1 left out); written in the XML's notation.
  void SetFactors(int32_t x, int32_t y);
  // The formula as written, numbers in the notation of the separator.
  std::string FormulaText(char decimal_separator) const;

  std::string FFormula;
  uint16_t FOptions = skoDisabled;

 private:
  TSmetaIndexSmrLzMode FMode;
  bool FFromFactors = false;
  int32_t FFactors[2] = {};
};

// The index code of one column of the object estimate.
class TSmetaOsIndex : public TKDXAbstractRow {
 public:
  TSmetaOsIndex(TKDXAbstractRow* owner, uint8_t grafa) : TKDXAbstractRow(owner), FGrafa(grafa) {}
  uint8_t Grafa() const { return FGrafa; }
  std::string FPriceIndexCode;

 private:
  uint8_t FGrafa;
};

// The index codes of the four columns of the object estimate: construction,
// installation, equipment, other works.
class TSmetaOsIndexes : public TKDXAbstractRow {
 public:
  explicit TSmetaOsIndexes(TKDXAbstractRow* owner)
      : TKDXAbstractRow(owner), FIndexes{{{this, 0}, {this, 1}, {this, 2}, {this, 3}}} {}
  // No caption is stored; the generic caption attribute stays empty.
  uint8_t GetOptions() const override { return aroXMLStoreCaption; }
  const char* XMLTag() const override { return "OsIndexes"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  TSmetaOsIndex& Index(size_t grafa) { return FIndexes[grafa]; }

 private:
  std::array<TSmetaOsIndex, 4> FIndexes;
};

}  // namespace kdx

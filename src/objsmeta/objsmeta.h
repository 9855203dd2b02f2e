// The object estimate and the consolidated calculation: a fixed list of
// standard chapters chosen by a mode, each holding headers and cost rows with
// amounts by column (or formulas), optionally linked to a source document; two
// groups of conversion coefficients, display options and signatures.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/common_rows.h"
#include "model/document.h"
#include "model/signatures.h"
#include "shared/cc_chapter.h"

namespace kdx {

// The highest file version of the object estimate this library reads.
inline constexpr int32_t kVerObjSmetaLast = 0x00010017;

enum TCustomObjSmetaMode : uint8_t {
  cosmObjSmeta,
  cosmConsCalc,
  cosmConsCalcRec,
  cosmConsCalcRoad
};

enum TSmetaRoundType : uint8_t {
  srtRoundOff,
  srtRound_1,
  srtRound_10,
  srtRound_100,
  srtRound_1000
};

// Amount columns: construction, installation, equipment, other, wage fund,
// unit price; the seventh (total) is only ever calculated.
enum TObjSmetaValueType : uint8_t {
  osvSroy,
  osvMont,
  osvObor,
  osvOther,
  osvFot,
  osvEdPrice,
  osvTotal
};
inline constexpr int kStoredColumns = 6;
inline constexpr int kValueColumns = 7;

// Amount blocks of a cost row: its own amounts, then the amounts by the other
// calculation methods of a linked local estimate.
enum TObjSmetaZatrPriceType : uint8_t { oszptNone, oszptBaseIdx, oszptBaseNoIdx, oszptResSmeta };
inline constexpr int kPriceBlocks = 4;

// A cost row.
class TObjSmetaZatr : public TKdIdentifierRow {
 public:
  explicit TObjSmetaZatr(TKDXAbstractRow* owner)
      : TKdIdentifierRow(owner), FLink(this), FUserData(this) {}
  TSmetaRowKind GetKind() const override { return srkPosition; }
  const char* XMLTag() const override { return "Position"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  CompactString FObosnov;
  std::array<Currency, kPriceBlocks * kValueColumns> FPrice{};
  // The formulas of the columns that hold one instead of an amount (few do).
  SparseTexts<kStoredColumns> FFormula;
  TKdRowDocLink FLink;
  TKdUserData FUserData;
  int32_t FK = 10000;
  int32_t FNumber = 0;
  uint8_t FOptions = 0;

 private:
  static constexpr size_t Slot(int block, int column) {
    return static_cast<size_t>(block * kValueColumns + column);
  }
  // Amounts and link of the files before formulas existed.
  void ReadOldAmounts(TKdFiler& filer, int32_t version);
  void ReadOldLink(TKdFiler& filer, int32_t version);
};

// A chapter: headers (item type 0) and cost rows (item type 1).
class TObjSmetaGlava : public TKDXAbstractObjectList {
 public:
  TObjSmetaGlava(TKDXAbstractRow* owner, int32_t number, size_t position)
      : TKDXAbstractObjectList(owner, soloMultiClass | soloStoreCaption | soloXMLStoreCaption),
        FGlavNum(number),
        FPosition(position) {}
  TSmetaRowKind GetKind() const override { return srkGlava; }
  const char* XMLTag() const override { return "Chapter"; }
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // A row block of the oldest layout, appended to this chapter.
  void ReadOldBlock(TKdFiler& filer);
  int32_t Number() const { return FGlavNum; }

 private:
  int32_t FGlavNum;
  size_t FPosition;  // 0-based place in the document's chapter list
};

// A row of conversion coefficients (times 10000) for the six columns.
class TObjSmetaCnvRow : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  TSmetaRowKind GetKind() const override { return skrConv; }
  const char* XMLTag() const override { return "ConvItem"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  std::array<int32_t, kStoredColumns> FK{10000, 10000, 10000, 10000, 10000, 10000};
};

class TObjSmetaCnvRows : public TKdTypedList<TObjSmetaCnvRow> {
 public:
  explicit TObjSmetaCnvRows(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  const char* XMLTag() const override { return "ConvGroup_1"; }
};

class TObjSmetaCnvRowsA : public TObjSmetaCnvRows {
 public:
  using TObjSmetaCnvRows::TObjSmetaCnvRows;
  const char* XMLTag() const override { return "ConvGroup_2"; }
};

class TCustomObjSmeta : public TKDXAbstractDocData {
 public:
  TCustomObjSmeta(const ConversionSettings& settings, TCustomObjSmetaMode mode);

  int32_t MaxFileVersion() const override { return kVerObjSmetaLast; }

  uint8_t Mode() const { return FMode; }
  // Rebuilds the chapter list, empty, for a mode; fails for an unknown mode.
  void SetMode(uint8_t mode);
  TObjSmetaGlava& Chapter(size_t index) const { return *FGlavs[index]; }
  // The name a chapter without a stored caption takes: by mode and 0-based place.
  static std::string_view StandardChapterName(uint8_t mode, size_t position);

  uint16_t FVisibleSummaries = 4992;
  uint16_t FOptions = 0;
  bool FThousands = false;
  uint8_t FRoundMode = srtRoundOff;

 protected:
  void Clear() override;
  void ReadBody(TKdFiler& filer) override;
  void XMLSaveBody(XmlElement element) override;

  // What a kind keeps of the stored "Summaries" bits.
  virtual uint16_t SummariesMask() const { return 0xFFFF; }
  // The kind's own part after the signatures.
  virtual void ReadKindPart(TKdFiler& /*filer*/, int32_t /*version*/) {}
  // The kind's own content of the "Options" element.
  virtual void XMLSaveKindOptions(XmlElement /*options*/) {}

 private:
  void ReadOldSignatures(TKdFiler& filer, int count);
  // Running numbers of the cost rows in chapter and row order.
  void Renumerate();

  uint8_t FMode;
  std::vector<std::unique_ptr<TObjSmetaGlava>> FGlavs;
  TObjSmetaCnvRows FConvertBlz;
  TObjSmetaCnvRowsA FConvertAlz;
  TKdUserData FUserData;
  TKdVariables FVariables;
  TKDXDocSignatures FDocSigns;
};

class TObjSmeta : public TCustomObjSmeta {
 public:
  explicit TObjSmeta(const ConversionSettings& settings)
      : TCustomObjSmeta(settings, cosmObjSmeta) {}
  uint64_t DocSignature() const override { return DocSignatureOf("KD_ObjSm"); }
  const char* GetDocumentType() const override { return "{2B0470FD-477C-4359-9F34-EEBE36B7D345}"; }

  // Chapter numbers of this estimate in a standard, capital-repair and road
  // consolidated calculation.
  std::array<uint8_t, 3> FCcGlava{2, 2, 2};

 protected:
  uint16_t SummariesMask() const override { return 0xFF01; }
  void ReadKindPart(TKdFiler& filer, int32_t version) override;
  void XMLSaveKindOptions(XmlElement options) override {
    WriteCCChapter(options, FCcGlava[0], FCcGlava[1], FCcGlava[2]);
  }
};

class TConsCalc : public TCustomObjSmeta {
 public:
  explicit TConsCalc(const ConversionSettings& settings)
      : TCustomObjSmeta(settings, cosmConsCalc) {}
  uint64_t DocSignature() const override { return DocSignatureOf("KD_ConsC"); }
  const char* GetDocumentType() const override { return "{2B0470FD-477C-4359-9F34-EEBE36B7D346}"; }
};

}  // namespace kdx

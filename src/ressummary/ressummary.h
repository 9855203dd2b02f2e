// The resource summary: the resources of a set of source documents (local
// estimates with their resources by kind, object estimates and consolidated
// calculations with the documents they consist of), chapters whose rows choose
// which sources enter the summary and how often, and the report options.
// Resource codes, names and units are kept once in shared lists and referred
// to by index.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "model/common_rows.h"
#include "model/document.h"
#include "shared/resource_prices.h"

namespace kdx {

// The highest file version of the resource summary this library reads.
inline constexpr int32_t kVerResSummaryLast = 0x00010004;

// Names of the bits of the summary's report options.
std::string ResSummaryOptionsToText(uint8_t set);

enum TResSummaryGroupType : uint8_t { rsgtTz, rsgtMch, rsgtMat, rsgtObor };
enum TResSummLinkDataType : uint8_t { rsldtLs, rsldtOs };
enum TKdResourcesReportGroupingMode : uint8_t { rrgmNone, rrgmBase, rrgmCurr };
enum TResourcesReportSortMode : uint8_t {
  rrcmSortByCode,
  rrcmSortByCaption,
  rrcmSortByBaseTotalCost,
  rrcmSortByCurrTotalCost
};
enum TResourcesReportSortDirection : uint8_t { rrsdIncrease, rrsdDecrease };

// Summary options (32 bits); only bit 0 has a meaning.
inline constexpr uint32_t rsoDuplicates = 1;

// Report options.
inline constexpr uint8_t rroGrouping = 1;
inline constexpr uint8_t rroSeparatePosRes = 2;
inline constexpr uint8_t rroSeparateZakPodr = 4;
inline constexpr uint8_t rroSeparateSuppl = 8;
inline constexpr uint8_t rroIgnoreZeroQty = 16;
inline constexpr uint8_t rroSeparateReplaced = 32;

// The three source lists, numbered as the item types of chapter rows.
enum TResSummSourceKind : uint8_t { rsskSmeta, rsskOS, rsskSSR };

class TResSummary;

// Prices of a summary resource, read as a price row's record (marker, a flags
// byte, the values of bits 0-3, then the formula texts of bits 4-7, a text
// leaving its column's value 0) and kept as plain values: a summary may hold
// very many resources. The element is written only when some column has a
// value other than 0 or a text.
class TResSummaryPrices : public ModelObject {
 public:
  void Read(TKdFiler& filer);
  void XMLSaveToChild(XmlElement parent, const char* tag) const;

 private:
  std::array<Currency, 4> FValues{};
  SparseTexts<4> FFx;
};

// A resource of a local-estimate source. Code, name and unit refer to rows of
// the document's shared lists; the name is the resource's caption.
class TResSummaryResource : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return aroXMLStoreCaption; }
  TSmetaRowKind GetKind() const override { return srkResSummRes; }
  const char* XMLTag() const override { return "Resource"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  TKDXAbstractRow* FCode = nullptr;
  TKDXAbstractRow* FIsm = nullptr;
  TKDXAbstractRow* FName = nullptr;
  double FQuantity = 0;
  int32_t FBrutto = 0;      // thousandths
  int32_t FCargoClass = 0;  // hundredths
  int32_t FRasr = 0;        // hundredths
  // The price containers exist only when the record holds them: most
  // resources have none, and a summary may hold very many resources.
  std::unique_ptr<TResSummaryPrices> FPrice;
  std::unique_ptr<TResSummaryPrices> FReqestedPrice;
};

// One of the four resource groups of a local-estimate source: a 32-bit count,
// no head; the caption is fixed by the group type.
class TResSummResGroupData : public TKdTypedList<TResSummaryResource> {
 public:
  TResSummResGroupData(TKDXAbstractRow* owner, TResSummaryGroupType type)
      : TKdTypedList(owner, soloCnt32 | soloXMLStoreCaption), FGroupType(type) {}
  TSmetaRowKind GetKind() const override { return srkResSummResGroup; }
  const char* XMLTag() const override;
  void XMLSave(XmlElement element) override;
  // Resources are referred to by nothing (links refer to the sources).
  bool FreesWrittenItems() const override { return true; }

 private:
  TResSummaryGroupType FGroupType;
};

class TResSummaryDocInfo : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "DocInfo"; }
  void ReadData(TKdFiler& filer) override {
    ReadRowHead(filer);
    FCode = filer.ReadStringView();
  }
  void XMLSave(XmlElement element) override {
    if (!XMLSaveRow(element)) return;
    WriteAttrStr(element, "Code", FCode);
  }
  std::string FCode;
};

// A source document: its name, code and the link to its file.
class TCustomResSummDocData : public TKDXAbstractRow {
 public:
  explicit TCustomResSummDocData(TKDXAbstractRow* owner, int list_index = -1)
      : TKDXAbstractRow(owner), FDocInfo(this), FLink(this), FListIndex(list_index) {}
  const char* XMLTag() const override { return "Data"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;
  // 0-based position in the owner list.
  int OwnerIndex() const;

  TResSummaryDocInfo FDocInfo;
  TKdRowDocLink FLink;

 protected:
  virtual void ReadContent(TKdFiler& filer) = 0;
  virtual void XMLSaveContent(XmlElement element) = 0;

 private:
  // The position the row was appended at; source lists only grow while loading.
  int FListIndex;
};

// A local-estimate source with its resources by group.
class TResSummSmetaData : public TCustomResSummDocData {
 public:
  explicit TResSummSmetaData(TKDXAbstractRow* owner, int list_index = -1);
  TResSummResGroupData& Group(TResSummaryGroupType type) { return FGroups[type]; }

 protected:
  void ReadContent(TKdFiler& filer) override;
  void XMLSaveContent(XmlElement element) override;

 private:
  std::array<TResSummResGroupData, 4> FGroups;
};

// A document an object estimate or a consolidated calculation consists of:
// a local or object estimate of the summary, with its multiplicity.
class TResSummLinkData : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "Data"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  uint8_t FDataType = rsldtLs;
  int32_t FK = 1;
  TCustomResSummDocData* FData = nullptr;
};

class TResSummLinkDataList : public TKdTypedList<TResSummLinkData> {
 public:
  explicit TResSummLinkDataList(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  const char* XMLTag() const override { return "DocList"; }
};

// An object-estimate or consolidated-calculation source.
class TResSummOSData : public TCustomResSummDocData {
 public:
  explicit TResSummOSData(TKDXAbstractRow* owner, int list_index = -1)
      : TCustomResSummDocData(owner, list_index), FLinkDataList(this) {}

 protected:
  void ReadContent(TKdFiler& filer) override { FLinkDataList.Load(filer); }
  void XMLSaveContent(XmlElement element) override { FLinkDataList.XMLSaveToChild(element); }

 private:
  TResSummLinkDataList FLinkDataList;
};

// A source list: 16-bit count, no type byte, no head.
template <class T>
class TResSummDataList : public TKDXAbstractObjectList {
 public:
  explicit TResSummDataList(TKDXAbstractRow* owner) : TKDXAbstractObjectList(owner, 0) {}
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t /*type*/) override {
    return std::make_unique<T>(this, static_cast<int>(Count()));
  }
  T* At(size_t index) const { return static_cast<T*>(Item(index)); }
};

class TResSummSmetaDataList : public TResSummDataList<TResSummSmetaData> {
 public:
  using TResSummDataList::TResSummDataList;
  const char* XMLTag() const override { return "LsList"; }
};

// Object-estimate sources, or consolidated-calculation sources in SSR mode.
class TResSummOSDataList : public TResSummDataList<TResSummOSData> {
 public:
  TResSummOSDataList(TKDXAbstractRow* owner, bool ssr_mode)
      : TResSummDataList(owner), FSsrMode(ssr_mode) {}
  const char* XMLTag() const override { return FSsrMode ? "SsrList" : "OsList"; }

 private:
  bool FSsrMode;
};

// A chapter row choosing a source of one of the three lists.
class TCustomResSummDocLinkRow : public TKDXAbstractRow {
 public:
  TCustomResSummDocLinkRow(TKDXAbstractRow* owner, TResSummSourceKind source)
      : TKDXAbstractRow(owner), FSource(source) {}
  uint8_t GetOptions() const override { return 0; }
  TSmetaRowKind GetKind() const override;
  const char* XMLTag() const override;
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;
  TResSummSourceKind Source() const { return FSource; }

  TCustomResSummDocData* FData = nullptr;
  int32_t FK = 1;
  bool FInactive = false;

 private:
  TResSummSourceKind FSource;
};

class TResSummaryChapter : public TKDXAbstractObjectList {
 public:
  explicit TResSummaryChapter(TKDXAbstractRow* owner)
      : TKDXAbstractObjectList(owner, soloMultiClass | soloStoreCaption | soloXMLStoreCaption) {}
  TSmetaRowKind GetKind() const override { return srkChapter; }
  const char* XMLTag() const override { return "Chapter"; }
  // 0 "Ls", 1 "Os", 2 "Ssr"; any other code is refused.
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  int ItemType(const TKDXAbstractRow& row) const override;
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  bool FInactive = false;
};

class TResSummaryChapters : public TKdTypedList<TResSummaryChapter> {
 public:
  explicit TResSummaryChapters(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  TSmetaRowKind GetKind() const override { return srkChapters; }
  const char* XMLTag() const override { return "Chapters"; }
};

class TResSummary : public TKDXAbstractDocData {
 public:
  explicit TResSummary(const ConversionSettings& settings);

  int32_t MaxFileVersion() const override { return kVerResSummaryLast; }
  uint64_t DocSignature() const override { return DocSignatureOf("KD_RSumm"); }
  const char* GetDocumentType() const override { return "{2B0470FD-477C-4359-9F34-EEBE36B7D349}"; }

  TKdSharedStrings& CodeManager() { return FCodeManager; }
  TKdSharedStrings& CaptionManager() { return FCaptionManager; }
  TKdSharedStrings& IsmManager() { return FIsmManager; }
  TResSummaryChapters& Chapters() { return FChapters; }
  // The source at the index of a source list as far as that list has been
  // read; nullptr outside it.
  TCustomResSummDocData* SourceAt(TResSummSourceKind source, int index) const;

  uint32_t FOptions = 0;
  uint8_t FReportRootGrouping = rrgmNone;
  uint8_t FReportRootSortMode = rrcmSortByCode;
  uint8_t FReportRootOptions = rroGrouping | rroIgnoreZeroQty;
  uint8_t FReportRootSortDirection = rrsdIncrease;

 protected:
  void Clear() override;
  void ReadBody(TKdFiler& filer) override;
  void XMLSaveBody(XmlElement element) override;

 private:
  // The shared lists are declared first so that they outlive the rows referring to them.
  TKdSharedStrings FCodeManager;
  TKdSharedStrings FCaptionManager;
  TKdSharedStrings FIsmManager;
  TResSummSmetaDataList FSmetaDataList;
  TResSummOSDataList FOsDataList;
  TResSummOSDataList FSsrDataList;
  TResSummaryChapters FChapters;
  TKdUserData FUserData;
};

}  // namespace kdx

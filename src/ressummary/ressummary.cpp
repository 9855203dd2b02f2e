#include "ressummary/ressummary.h"

#include <algorithm>

#include "model/document_factory.h"
#include "model/row_cast.h"

namespace kdx {
namespace {

constexpr int32_t kVerResSummarySortDirection = 0x00010003;  // the report's sort direction

TResSummary* SummaryOf(const TKDXAbstractRow& row) {
  return RowCast<TResSummary>(row.GetDocData());
}

// Resource record flags.
constexpr uint32_t kResCode = 0x0001;
constexpr uint32_t kResIsm = 0x0002;
constexpr uint32_t kResName = 0x0004;
constexpr uint32_t kResQuantity = 0x0008;
constexpr uint32_t kResCargoClass = 0x0010;
constexpr uint32_t kResBrutto = 0x0020;
constexpr uint32_t kResRasr = 0x0040;
constexpr uint32_t kResPrice = 0x0400;
constexpr uint32_t kResReqPrice = 0x0800;

}  // namespace

std::string ResSummaryOptionsToText(uint8_t set) {
  static const NameTable names{"Grouping",      "SeparatePosRes", "SeparateZakPodr",
                               "SeparateSuppl", "IgnoreZeroQty",  "SeparateReplaced"};
  return SetToText(set, names);
}

// ---- resources ----

void TResSummaryPrices::Read(TKdFiler& filer) {
  filer.CheckSignature(kRowMarker);
  const uint8_t flags = filer.Read_Byte();
  for (int n = 0; n < 4; ++n) {
    if (flags & (1u << n)) FValues[n] = filer.ReadCurr64();
  }
  for (int n = 0; n < 4; ++n) {
    if (!(flags & (1u << (4 + n)))) continue;
    FValues[n] = Currency{};
    FFx.Set(static_cast<size_t>(n), filer.ReadStringView());
  }
}

void TResSummaryPrices::XMLSaveToChild(XmlElement parent, const char* tag) const {
  const bool any_value =
      std::any_of(FValues.begin(), FValues.end(), [](Currency v) { return v.value != 0; });
  if (!any_value && !FFx.Any()) return;
  XmlElement element = parent.AppendChild(tag);
  for (int n = 0; n < 4; ++n) {
    WriteAttrCurr(element, TKdCustomResourcePrices::kColumnNames[n], FValues[n], Currency{});
  }
}

void TResSummaryResource::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const uint32_t flags = filer.ReadUInt32();
  TResSummary* doc = SummaryOf(*this);
  // A shared row by a stored signed 16-bit index (nullptr outside the list);
  // without a summary the indexes are read and refer to nothing.
  const auto shared = [&](TKdSharedStrings* list) -> TKDXAbstractRow* {
    if (list) return list->Entry(filer.ReadInt16());
    filer.Skip(2);
    return nullptr;
  };
  if (flags & kResCode) FCode = shared(doc ? &doc->CodeManager() : nullptr);
  if (flags & kResIsm) FIsm = shared(doc ? &doc->IsmManager() : nullptr);
  if (flags & kResName) FName = shared(doc ? &doc->CaptionManager() : nullptr);
  if (flags & kResQuantity) FQuantity = filer.ReadDbl64();
  if (flags & kResCargoClass) FCargoClass = filer.ReadInt16();
  if (flags & kResBrutto) FBrutto = filer.ReadInt32();
  if (flags & kResRasr) FRasr = filer.ReadInt16();
  if (flags & kResPrice) {
    FPrice = std::make_unique<TResSummaryPrices>();
    FPrice->Read(filer);
  }
  if (flags & kResReqPrice) {
    FReqestedPrice = std::make_unique<TResSummaryPrices>();
    FReqestedPrice->Read(filer);
  }
}

void TResSummaryResource::XMLSave(XmlElement element) {
  if (!IsXMLStored()) return;
  CheckXMLTag(element);
  // The caption is the text of the referenced name.
  if (FName) WriteAttrStr(element, "Caption", FName->GetCaption());
  if (FCode) WriteAttrStr(element, "Code", FCode->GetCaption());
  if (FIsm) WriteAttrStr(element, "Units", FIsm->GetCaption());
  WriteAttrFloat(element, "Quantity", FQuantity, 0);
  WriteAttrCurr(element, "Mass", Currency{static_cast<int64_t>(FBrutto) * 10}, Currency{});
  WriteAttrCurr(element, "Cargo", Currency{static_cast<int64_t>(FCargoClass) * 100}, Currency{});
  WriteAttrCurr(element, "WorkClass", Currency{static_cast<int64_t>(FRasr) * 100}, Currency{});
  if (FPrice) FPrice->XMLSaveToChild(element, "Price");
  if (FReqestedPrice) FReqestedPrice->XMLSaveToChild(element, "ReqPrice");
}

const char* TResSummResGroupData::XMLTag() const {
  static constexpr const char* kTags[4] = {"Tz", "Mch", "Mat", "Eq"};
  return kTags[FGroupType];
}

void TResSummResGroupData::XMLSave(XmlElement element) {
  if (!IsXMLStored()) return;
  CheckXMLTag(element);
  static const NameTable kCaptions{"Трудозатраты", "Машины и механизмы", "Материалы",
                                   "Оборудование"};
  WriteAttrStr(element, "Caption", kCaptions[FGroupType]);
  XMLSaveItems(element);
}

// ---- sources ----

int TCustomResSummDocData::OwnerIndex() const {
  const auto* list = RowCast<TKDXAbstractObjectList>(FOwner);
  if (!list) return -1;
  if (FListIndex >= 0 && list->Item(static_cast<size_t>(FListIndex)) == this) return FListIndex;
  for (size_t i = 0; i < list->Count(); ++i) {
    if (list->Item(i) == this) return static_cast<int>(i);
  }
  return -1;
}

void TCustomResSummDocData::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FDocInfo.Load(filer);
  FLink.Load(filer);
  ReadContent(filer);
}

void TCustomResSummDocData::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  WriteAttrInt(element, "Index", OwnerIndex(), -1);
  FDocInfo.XMLSaveToChild(element);
  if (FLink.Linked()) FLink.XMLSaveToChild(element);
  XMLSaveContent(element);
}

TResSummSmetaData::TResSummSmetaData(TKDXAbstractRow* owner, int list_index)
    : TCustomResSummDocData(owner, list_index),
      FGroups{{{this, rsgtTz}, {this, rsgtMch}, {this, rsgtMat}, {this, rsgtObor}}} {}

void TResSummSmetaData::ReadContent(TKdFiler& filer) {
  for (auto& group : FGroups) group.Load(filer);
}

void TResSummSmetaData::XMLSaveContent(XmlElement element) {
  for (auto& group : FGroups) group.XMLSaveToChild(element);
}

void TResSummLinkData::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FDataType = filer.Read_Byte();
  FK = filer.ReadInt08();
  const int index = filer.ReadInt16();
  // Only the sources read so far can be found: links inside the object-estimate
  // list reach the rows before them.
  if (const TResSummary* doc = SummaryOf(*this)) {
    FData = doc->SourceAt(FDataType == rsldtOs ? rsskOS : rsskSmeta, index);
  }
}

void TResSummLinkData::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  WriteAttrStr(element, "Type", FDataType == rsldtOs ? "Os" : "Ls");
  WriteAttrInt(element, "K", FK, 1);
  if (FData) WriteAttrInt(element, "DataIndex", FData->OwnerIndex(), -1);
}

// ---- chapters ----

TSmetaRowKind TCustomResSummDocLinkRow::GetKind() const {
  static constexpr TSmetaRowKind kKinds[3] = {srkResSummSmeta, srkResSummOS, srkResSummSSR};
  return kKinds[FSource];
}

const char* TCustomResSummDocLinkRow::XMLTag() const {
  static constexpr const char* kTags[3] = {"Ls", "Os", "Ssr"};
  return kTags[FSource];
}

void TCustomResSummDocLinkRow::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  // The multiplicity and the state are kept only for rows standing in a chapter.
  if (FOwner && FOwner->GetKind() == srkChapter) {
    FK = filer.ReadInt08();
    FInactive = filer.ReadBoolean();
  }
  const int index = filer.ReadInt16();
  if (const TResSummary* doc = SummaryOf(*this)) FData = doc->SourceAt(FSource, index);
}

void TCustomResSummDocLinkRow::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  WriteAttrBool(element, "Inactive", FInactive, false);
  WriteAttrInt(element, "K", FK, 1);
  if (FData) WriteAttrInt(element, "DataIndex", FData->OwnerIndex(), -1);
}

std::unique_ptr<TKDXAbstractRow> TResSummaryChapter::CreateItem(uint8_t type) {
  if (type > rsskSSR) return nullptr;
  return std::make_unique<TCustomResSummDocLinkRow>(this, static_cast<TResSummSourceKind>(type));
}

int TResSummaryChapter::ItemType(const TKDXAbstractRow& row) const {
  return static_cast<const TCustomResSummDocLinkRow&>(row).Source();
}

void TResSummaryChapter::ReadData(TKdFiler& filer) {
  ReadListBody(filer);
  FInactive = filer.ReadBoolean();
}

void TResSummaryChapter::XMLSave(XmlElement element) {
  const bool items = XMLSaveListHead(element);
  WriteAttrBool(element, "Inactive", FInactive, false);
  if (items) XMLSaveItems(element);
}

// ---- document ----

TResSummary::TResSummary(const ConversionSettings& settings)
    : TKDXAbstractDocData(settings),
      FCodeManager(this),
      FCaptionManager(this),
      FIsmManager(this),
      FSmetaDataList(this),
      FOsDataList(this, false),
      FSsrDataList(this, true),
      FChapters(this),
      FUserData(this) {
  auto chapter = std::make_unique<TResSummaryChapter>(&FChapters);
  chapter->SetCaption(Cp("Новый Раздел"));
  FChapters.InsertRow(std::move(chapter));
}

std::unique_ptr<TKDXAbstractDocData> CreateResSummary(const ConversionSettings& settings) {
  return std::make_unique<TResSummary>(settings);
}

TCustomResSummDocData* TResSummary::SourceAt(TResSummSourceKind source, int index) const {
  if (index < 0) return nullptr;
  const TKDXAbstractObjectList* lists[3] = {&FSmetaDataList, &FOsDataList, &FSsrDataList};
  return static_cast<TCustomResSummDocData*>(lists[source]->Item(static_cast<size_t>(index)));
}

void TResSummary::Clear() {
  // The rows referring to shared texts go before the shared lists.
  FChapters.Clear();
  FSsrDataList.Clear();
  FOsDataList.Clear();
  FSmetaDataList.Clear();
  FCodeManager.Clear();
  FCaptionManager.Clear();
  FIsmManager.Clear();
}

void TResSummary::ReadBody(TKdFiler& filer) {
  FOptions = filer.ReadUInt32();
  FReportRootGrouping = filer.Read_Byte();
  FReportRootSortMode = filer.Read_Byte();
  FReportRootOptions = filer.Read_Byte();
  if (FFileVersion >= kVerResSummarySortDirection) FReportRootSortDirection = filer.Read_Byte();
  FCodeManager.Load(filer);
  FCaptionManager.Load(filer);
  FIsmManager.Load(filer);
  // The sources come before the chapters, whose rows refer to them.
  FSmetaDataList.Load(filer);
  FOsDataList.Load(filer);
  FSsrDataList.Load(filer);
  FChapters.Load(filer);
  FDocComment.Load(filer);
  FUserData.Load(filer);
}

void TResSummary::XMLSaveBody(XmlElement element) {
  static const NameTable kOptions{"Duplicates"};
  static const NameTable kGrouping{"None", "Base", "Curr"};
  static const NameTable kSortModes{"ByCode", "ByCaption", "ByBaseTotalCost", "ByCurrTotalCost"};
  static const NameTable kDirections{"Inc", "Dec"};
  WriteAttrStr(element, "Options", SetToText(FOptions, kOptions));
  XmlElement report = element.AppendChild("ReportOptions");
  WriteAttrStr(report, "Options", ResSummaryOptionsToText(FReportRootOptions));
  WriteAttrStr(report, "GroupingMode", kGrouping[FReportRootGrouping]);
  WriteAttrStr(report, "SortMode", kSortModes[FReportRootSortMode]);
  WriteAttrStr(report, "SortDirection", kDirections[FReportRootSortDirection]);
  FSmetaDataList.XMLSaveToChild(element);
  FOsDataList.XMLSaveToChild(element);
  FSsrDataList.XMLSaveToChild(element);
  FChapters.XMLSaveToChild(element);
  FUserData.XMLSaveToChild(element);
}

}  // namespace kdx

#include "smeta/addzatrats.h"

#include <cstdint>
#include <limits>

#include "filer/codepage.h"
#include "smeta/smeta_host.h"
#include "smeta/value_texts.h"

namespace kdx {
namespace {

// File versions that changed the record of an additional cost.
constexpr int32_t kVerAddZatrFormula = 0x0001011E;  // formula and identifier; all option bits kept
constexpr int32_t kVerNoReturnAmount = 0x0001012C;  // the returned amount leaves the record

// Option bits older files keep: Percent, InSmr, Return, NoNepr.
constexpr uint16_t kOldAddZatrOptions = 0x0207;
// Option bits a return cost takes over from its source.
constexpr uint16_t kReturnKeptOptions = adzoInSMR | adzoNoNepr;
// The estimate's options when no estimate is found above the row.
constexpr uint32_t kDefaultSmetaOptions = 0x2008;

uint16_t ChapterDefaultOptions(int chapter) {
  return chapter == 8 || chapter == 9 ? adzoPercent | adzoInSMR : adzoPercent;
}

// Only the last two chapters order their costs by level.
bool ChapterHasLevel(int chapter) { return chapter == 14 || chapter == 15; }

uint32_t SmetaOptionsOf(const TKDXAbstractRow& row) {
  const ISmetaOptionsSource* source = FindOwnerOf<ISmetaOptionsSource>(row);
  return source ? source->SmetaOptions() : kDefaultSmetaOptions;
}

}  // namespace

// ---- additional cost ----

TSmetaAddZatr::TSmetaAddZatr(TKDXAbstractRow* owner)
    : TKdIdentifierRow(owner), FOptions(ChapterDefaultOptions(Chapter())) {}

TSmetaAddZatrGlava* TSmetaAddZatr::Glava() const {
  return dynamic_cast<TSmetaAddZatrGlava*>(FOwner);
}

int TSmetaAddZatr::Chapter() const {
  const TSmetaAddZatrGlava* glava = Glava();
  return glava ? glava->GlavaNumber() : 0;
}

void TSmetaAddZatr::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const int32_t version = filer.FileVersion();
  FOptions = filer.ReadUInt16();
  if (version < kVerAddZatrFormula) FOptions &= kOldAddZatrOptions;
  FValue = filer.ReadCurr64();
  if (version >= kVerAddZatrFormula) {
    if (FValue.value == 0) FFormula = filer.ReadStringView();
    ReadIdentifier(filer);
  }
  if (version < kVerNoReturnAmount && (FOptions & adzoReturn)) {
    const Currency returned = filer.ReadCurr64();
    if (returned.value != 0) AddReturnCost(returned);
  }
  if (ChapterHasLevel(Chapter())) FLevel = filer.ReadInt08();
}

void TSmetaAddZatr::AddReturnCost(Currency returned) {
  TSmetaAddZatrGlava* glava = Glava();
  if (!glava) return;  // a cost read on its own has no list to add to
  const int chapter = glava->GlavaNumber();
  const int index = IndexOfItemFromEnd(*glava, this);
  auto cost = std::make_unique<TSmetaAddZatr>(glava);
  static const std::string caption = Cp("В том числе возврат");
  cost->FCaption = caption;
  cost->FOptions = FOptions & kReturnKeptOptions;
  if (!(SmetaOptionsOf(*this) & soExclRet)) cost->FOptions |= adzoInactive;
  if (FOptions & adzoPercent) {
    // The return is given as a share of this cost, which formulas name by its identifier.
    if (FIdentifier.empty()) {
      static const std::string prefix = Cp("ЛЗ_");
      FIdentifier = prefix + IntToText(chapter) + "_" + IntToText(index);
    }
    cost->FReturnShare = returned;
    cost->FIsReturnShare = true;
    cost->FFormula = "/100*" + FIdentifier.str();
  } else {
    // The smallest amount has no negative counterpart.
    if (returned.value == std::numeric_limits<int64_t>::min()) RaiseBadData();
    cost->FValue = Currency{-returned.value};
  }
  glava->InsertRow(std::move(cost), index + 1);
}

std::string TSmetaAddZatr::FormulaText(char decimal_separator) const {
  if (!FIsReturnShare) return FFormula;
  return '-' +
         FloatToGeneralText(static_cast<double>(FReturnShare.value) / 10000.0, decimal_separator) +
         FFormula;
}

void TSmetaAddZatr::XMLSave(XmlElement element) {
  static const NameTable kOptions{"Percent",  "InSmr",    "Reserved", "HideFx",
                                  "Inactive", "HideZero", "Reserved", "Reserved",
                                  "Reserved", "NoNepr",   "Reserved"};
  TKdIdentifierRow::XMLSave(element);
  SetAttrCurr(element, "Value", FValue);
  SetAttr(element, "Options", SetToText(FOptions, kOptions));
  if (FValue.value == 0)
    SetAttr(element, "Formula", FormulaText(element.Settings().decimal_separator));
  if (ChapterHasLevel(Chapter())) SetAttrInt(element, "Level", FLevel);
}

// ---- chapter list ----

void TSmetaAddZatrGlava::XMLSave(XmlElement element) {
  CheckXMLTag(element);
  SetAttrInt(element, "Glava", FGlava);
  XMLSaveItems(element);
}

// ---- the eight chapters ----

TSmetaAddZatrats::TSmetaAddZatrats(TKDXAbstractRow* owner)
    : TKDXAbstractRow(owner),
      FItems{{{this, 8},
              {this, 9},
              {this, 10},
              {this, 11},
              {this, 12},
              {this, 13},
              {this, 14},
              {this, 15}}} {}

TKDXAbstractRow* TSmetaAddZatrats::GetRow(size_t index) const {
  return index < FItems.size() ? const_cast<TSmetaAddZatrGlava*>(&FItems[index]) : nullptr;
}

void TSmetaAddZatrats::ReadData(TKdFiler& filer) {
  for (TSmetaAddZatrGlava& glava : FItems) glava.Load(filer);
}

void TSmetaAddZatrats::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  for (TSmetaAddZatrGlava& glava : FItems) glava.XMLSave(element.AppendChild(glava.XMLTag()));
}

TSmetaAddZatrGlava* TSmetaAddZatrats::Glava(int chapter) {
  if (chapter < kFirstAddZatrGlava || chapter > kLastAddZatrGlava) return nullptr;
  return &FItems[static_cast<size_t>(chapter - kFirstAddZatrGlava)];
}

// ---- winter rise catalogue ----

void TSmetaWinters::ReadData(TKdFiler& filer) {
  ReadListBody(filer);
  FWinterMode = filer.Read_Byte();
  FLinkMode = filer.Read_Byte();
  FOptions = filer.ReadUInt16();
  FCommonWinter.Load(filer);
  filer.Skip(4);  // unused
}

void TSmetaWinters::XMLSave(XmlElement element) {
  if (!IsXMLStored()) return;
  static const NameTable kModes{"None", "K", "Smr"};
  static const NameTable kLinkModes{"Table", "Common"};
  const bool items = XMLSaveListHead(element);
  WriteAttrStr(element, "Options", KOptionsToText(FOptions));
  WriteAttrStr(element, "WinterMode", kModes[FWinterMode]);
  WriteAttrStr(element, "WinterLinkMode", kLinkModes[FLinkMode]);
  if (items) XMLSaveItems(element);
  FCommonWinter.XMLSaveToChild(element);
}

// ---- common overhead and profit coefficients ----

void TSmetaCommonNPK::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FCommonK = filer.ReadStringView();
  for (std::string& text : FMethodK) text = filer.ReadStringView();
  FActiveItems = filer.Read_Byte();
}

void TSmetaCommonNPK::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  static constexpr const char* kMethodNames[kCalcMethods] = {"MethodKB", "MethodKI", "MethodKR"};
  static const NameTable kActiveItems{"Vk", "Ck", "Mk"};
  WriteAttrStr(element, "CommonK", FCommonK);
  for (size_t m = 0; m < kCalcMethods; ++m) WriteAttrStr(element, kMethodNames[m], FMethodK[m]);
  WriteAttrStr(element, "ActiveItems", SetToText(FActiveItems, kActiveItems));
}

}  // namespace kdx

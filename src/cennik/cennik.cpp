#include "cennik/cennik.h"

#include "model/document_factory.h"
#include "model/row_cast.h"
#include "shared/resource_prices.h"

namespace kdx {
namespace {

// File versions that changed the records of the price list.
constexpr int32_t kVerCennikFlags16 = 0x00010002;     // 16-bit flags, justifications, price dates
constexpr int32_t kVerCennikSignatures = 0x00010003;  // signatures
constexpr int32_t kVerCennikVariables = 0x00010004;   // variables
constexpr int32_t kVerCennikPriceFormulas = 0x00010005;  // formulas of the prices

// Bits of a resource's presence flags: the four prices, then the fields below.
constexpr uint16_t kHasCargoClass = 0x0010;
constexpr uint16_t kHasBrutto = 0x0020;
constexpr uint16_t kHasRasr = 0x0040;
constexpr uint16_t kHasComment = 0x0080;
constexpr uint16_t kHasPriceObosnBase = 0x0100;
constexpr uint16_t kHasPriceObosnCurr = 0x0200;
constexpr uint16_t kHasPriceFx = 0x0400;  // four bits, one per price

constexpr double k1Jan2000 = 36526;  // date value of 1 January 2000

}  // namespace

// ---- resource ----

void TCennikResource::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const int32_t version = filer.FileVersion();
  std::array<std::string_view, kTextSlots> texts;
  texts[kCode] = filer.ReadStringView();
  const auto units = filer.ReadInt16();
  if (auto* doc = RowCast<TCennik>(GetDocData())) {
    FIsm = doc->IsmManager().Entry(units);
  }
  const uint16_t flags = version >= kVerCennikFlags16 ? filer.ReadUInt16() : filer.Read_Byte();
  for (int n = 0; n < 4; ++n) {
    if (flags & (1u << n)) FPrices[n] = RoundCurr(filer.ReadCurr64(), true);
  }
  if (flags & kHasCargoClass) FCargoClass = filer.ReadInt16();
  if (flags & kHasBrutto) FBrutto = filer.ReadInt32();
  if (flags & kHasRasr) FRasr = filer.ReadInt16();
  if (flags & kHasComment) texts[kComment] = filer.ReadStringView();
  if (version >= kVerCennikFlags16) {
    if (flags & kHasPriceObosnBase) texts[kPriceComments] = filer.ReadStringView();
    if (flags & kHasPriceObosnCurr) texts[kPriceComments + 1] = filer.ReadStringView();
  }
  if (version >= kVerCennikPriceFormulas) {
    for (int n = 0; n < 4; ++n) {
      if (!(flags & (kHasPriceFx << n))) continue;
      // A formula replaces the price; whether it is a number is told when it
      // is written, in the XML's notation (Price). A blank one leaves 0.
      const std::string_view formula = TrimText(filer.ReadStringView());
      if (formula.empty()) FPrices[n] = Currency{};
      texts[kPriceFx + n] = formula;
    }
  }
  FTexts.Assign(texts);
}

TKdPriceFxField TCennikResource::Price(int column, std::string_view formula,
                                       char decimal_separator) const {
  if (formula.empty()) return {FPrices[static_cast<size_t>(column)], {}};
  // A numeric formula gives the price its value.
  const TKdPriceFxField field = PriceFxField(formula, decimal_separator);
  return {RoundCurr(field.value, true), field.text};
}

TKdPriceFxField TCennikResource::Price(int column, char decimal_separator) const {
  return Price(column, FTexts[kPriceFx + column], decimal_separator);
}

void TCennikResource::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  const std::array<std::string_view, kTextSlots> texts = FTexts.Unpack();
  WriteAttrStr(element, "Code", texts[kCode]);
  if (FIsm) WriteAttrStr(element, "Units", FIsm->GetCaption());
  WriteAttrCurr(element, "Mass", Currency{static_cast<int64_t>(FBrutto) * 10}, Currency{});
  WriteAttrCurr(element, "Cargo", Currency{static_cast<int64_t>(FCargoClass) * 100}, Currency{});
  WriteAttrCurr(element, "WorkClass", Currency{static_cast<int64_t>(FRasr) * 100}, Currency{});
  static constexpr const char* kPrice[4] = {"PriceCE", "PriceCT", "PriceBE", "PriceBT"};
  static constexpr const char* kFx[4] = {"CEFx", "CTFx", "BEFx", "BTFx"};
  const char separator = element.Settings().decimal_separator;
  for (int n = 0; n < 4; ++n) {
    const TKdPriceFxField price = Price(n, texts[kPriceFx + n], separator);
    WriteAttrCurr(element, kPrice[n], price.value, Currency{});
    WriteAttrStr(element, kFx[n], price.text);
  }
  WriteAttrStr(element, "Comment", texts[kComment]);
  WriteAttrStr(element, "PriceBaseComment", texts[kPriceComments]);
  WriteAttrStr(element, "PriceCurrComment", texts[kPriceComments + 1]);
}

// ---- folders ----

std::unique_ptr<TKDXAbstractRow> TCennikGroup::CreateItem(uint8_t type) {
  if (type == 0) return std::make_unique<TCennikResource>(this);
  if (type == 1) return std::make_unique<TCennikGroup>(this, FResType);
  return nullptr;
}

int TCennikGroup::ItemType(const TKDXAbstractRow& row) const {
  return row.GetKind() == srkResource ? 0 : 1;
}

const char* TCennikRootGroup::XMLTag() const {
  static constexpr const char* kTags[4] = {"Workers", "Mechanics", "Materials", "Machines"};
  return kTags[FResType];
}

// ---- document ----

TCennik::TCennik(const ConversionSettings& settings)
    : TKDXAbstractDocData(settings),
      FDatePrices{k1Jan2000, settings.today},
      FIsmManager(this),
      FDocSigns(this),
      FVariables(this) {
  for (uint8_t i = 0; i < 4; ++i) {
    FGroups[i] = std::make_unique<TCennikRootGroup>(this, static_cast<TCennikResType>(i));
  }
}

std::unique_ptr<TKDXAbstractDocData> CreateCennik(const ConversionSettings& settings) {
  return std::make_unique<TCennik>(settings);
}

void TCennik::Clear() {
  for (auto& group : FGroups) group->Clear();
  FDocSigns.Clear();
}

void TCennik::ReadBody(TKdFiler& filer) {
  const int32_t version = FFileVersion;
  if (version >= kVerCennikFlags16) {
    FDocComment.Load(filer);
    for (int i = 0; i < 2; ++i) {
      FDatePrices[i] = filer.ReadDbl64();
      FDateComments[i] = filer.ReadStringView();
    }
  }
  FVisibleGroups = filer.Read_Byte();
  FIsmManager.Load(filer);
  const uint8_t present = filer.Read_Byte();
  for (int i = 0; i < 4; ++i) {
    if (present & (1u << i)) FGroups[i]->Load(filer);
  }
  if (version >= kVerCennikSignatures) FDocSigns.Load(filer);
  if (version >= kVerCennikVariables) FVariables.Load(filer);
}

void TCennik::XMLSaveBody(XmlElement element) {
  WriteAttrDate(element, "DateBase", FDatePrices[0]);
  WriteAttrStr(element, "DateBaseComment", FDateComments[0]);
  WriteAttrDate(element, "DateCurr", FDatePrices[1]);
  WriteAttrStr(element, "DateCurrComment", FDateComments[1]);
  for (auto& group : FGroups) group->XMLSaveToChild(element);
  FDocSigns.XMLSaveToChild(element);
  FVariables.XMLSaveToChild(element);
}

}  // namespace kdx

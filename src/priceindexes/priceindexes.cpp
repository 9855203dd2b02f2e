#include "priceindexes/priceindexes.h"

#include "model/common_rows.h"
#include "model/document_factory.h"

namespace kdx {
namespace {

constexpr int32_t kVerPriceIndexesSignatures = 0x0001014C;
constexpr int32_t kVerPriceIndexesBindingDate = 0x0001014E;

}  // namespace

// ---- folders ----

std::unique_ptr<TKDXAbstractRow> TPriceIndexesGroup::CreateItem(uint8_t type) {
  return MakeItemOfType<TPriceIndexPos, TPriceIndexesGroup>(type, this);
}

int TPriceIndexesGroup::ItemType(const TKDXAbstractRow& row) const {
  const TSmetaRowKind kind = row.GetKind();
  return kind == srkIndex ? 0 : kind == srkIndexGroup ? 1 : -1;
}

// ---- document ----

TPriceIndexes::TPriceIndexes(const ConversionSettings& settings)
    : TKDXAbstractDocData(settings),
      FBindingDate(settings.today),
      FIndexesAddOnTypes(this),
      FRoot(this),
      FDocSigns(this) {}

std::unique_ptr<TKDXAbstractDocData> CreatePriceIndexes(const ConversionSettings& settings) {
  return std::make_unique<TPriceIndexes>(settings);
}

void TPriceIndexes::Clear() {
  FRoot.Clear();
  FIndexesAddOnTypes.Clear();
  FDocSigns.Clear();
}

void TPriceIndexes::ReadBody(TKdFiler& filer) {
  // The types come first, so that every add-on finds the type it refers to.
  FIndexesAddOnTypes.Load(filer);
  FRoot.Load(filer);
  if (FFileVersion >= kVerPriceIndexesSignatures) FDocSigns.Load(filer);
  if (FFileVersion >= kVerPriceIndexesBindingDate) {
    FDocComment.Load(filer);
    FBindingDate = filer.ReadDbl64();
    FBindingDateComment = filer.ReadStringView();
    FNaklZpm = filer.ReadInt32();
    FPlanZpm = filer.ReadInt32();
  }
}

void TPriceIndexes::XMLSaveBody(XmlElement element) {
  WriteAttrDate(element, "BindingDate", FBindingDate);
  WriteAttrStr(element, "DateComment", FBindingDateComment);
  FIndexesAddOnTypes.XMLSaveToChild(element);
  FRoot.XMLSaveToChild(element);
  FDocSigns.XMLSaveToChild(element);
  if (FNaklZpm != 0 || FPlanZpm != 0) {
    XmlElement rates = element.AppendChild("MtsnNPZpm");
    WriteAttrCurr(rates, "NC", Currency{FNaklZpm}, Currency{});
    WriteAttrCurr(rates, "PC", Currency{FPlanZpm}, Currency{});
  }
}

}  // namespace kdx

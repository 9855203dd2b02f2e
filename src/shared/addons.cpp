#include "shared/addons.h"

#include "model/common_rows.h"
#include "model/row_cast.h"

namespace kdx {

// ---- add-on types ----

void TPriceIndexAddOnType::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FLevel = filer.ReadInt08();
  FActive = filer.ReadBoolean();
  FPlace = filer.Read_Byte();
}

void TPriceIndexAddOnType::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  WriteAttrInt(element, "Level", FLevel, 1);
  WriteAttrBool(element, "Active", FActive, true);
  // The place "as index" is the default and has no text; unknown places write nothing.
  static const NameTable places{"", "Itog", "Smr"};
  WriteAttrStr(element, "CalcPlace", places[FPlace]);
}

// ---- add-on ----

const TPriceIndexAddOnTypes* TPriceIndexAddOn::Types() const {
  const auto* list = RowCast<TPriceIndexAddOnList>(FOwner);
  return list ? list->Types() : nullptr;
}

void TPriceIndexAddOn::ReadData(TKdFiler& filer) {
  ReadIndex(filer);
  const auto t = filer.ReadInt08();
  FCommonType = iactNone;
  FAddOnType = nullptr;
  if (t < 0) {
    // -1 overheads, -2 profit, -3 winter rise; lower values name no kind.
    FCommonType = static_cast<uint8_t>(-t);
  } else if (t > 0) {
    // A position beyond the types (or no types at all) leaves the add-on untyped.
    const TPriceIndexAddOnTypes* types = Types();
    if (types && static_cast<size_t>(t) <= types->Count()) {
      FAddOnType = types->At(static_cast<size_t>(t - 1));
    }
  }
  if (IsNaklOrPlan()) NormaliseRate();
}

void TPriceIndexAddOn::NormaliseRate() {
  int32_t rate = kFactorOne;
  for (int32_t v : FValues) {
    if (v != kFactorOne) {
      rate = v;
      break;
    }
  }
  if (rate == kFactorOne) return;
  for (int32_t& v : FValues) {
    if (v != kFactorOne) v = rate;
  }
}

void TPriceIndexAddOn::XMLSaveValues(XmlElement element) const {
  if (!IsNaklOrPlan()) {
    TKDXAbstractIndex::XMLSaveValues(element);
    return;
  }
  // Overheads and profit are written as the rate above 1 ("0,15" for 1.15).
  static constexpr const char* kNames[kKfSlots] = {"PZ", "OZ", "EM", "ZM", "MT"};
  for (size_t slot = 0; slot < kKfSlots; ++slot) {
    WriteAttrCurr(element, kNames[slot], Currency{static_cast<int64_t>(FValues[slot]) - kFactorOne},
                  Currency{});
  }
}

void TPriceIndexAddOn::XMLSave(XmlElement element) {
  if (!XMLSaveIndex(element)) return;
  if (FCommonType != iactNone) {
    // Kinds beyond winter rise have no name and write no "Type".
    static const NameTable kinds{"", "NR", "SP", "ZU"};
    WriteAttrStr(element, "Type", kinds[FCommonType]);
  } else if (FAddOnType) {
    const TPriceIndexAddOnTypes* types = Types();
    const int index = types ? IndexOfItem(*types, FAddOnType) : -1;
    if (index >= 0) WriteAttrInt(element, "Type", index + 1, 0);
  }
}

// ---- index with add-ons ----

TPriceIndexAddOnTypes* TCustomIndexPos::AddOnTypes() const {
  IPriceIndexAddOnTypesOwner* owner = FindOwnerOf<IPriceIndexAddOnTypesOwner>(*this);
  return owner ? owner->IndexAddOnTypes() : nullptr;
}

void TCustomIndexPos::ReadData(TKdFiler& filer) {
  ReadIndex(filer);
  FAddOns.SetTypes(AddOnTypes());
  FAddOns.Load(filer);
}

void TCustomIndexPos::XMLSave(XmlElement element) {
  if (!XMLSaveIndex(element)) return;
  FAddOns.XMLSaveToChild(element);
}

}  // namespace kdx

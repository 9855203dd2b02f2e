#include "smeta/implementation.h"

#include <cmath>
#include <vector>

#include "model/row_cast.h"
#include "smeta/acts.h"
#include "smeta/coefficients.h"
#include "smeta/indexes.h"
#include "smeta/position.h"
#include "smeta/resource_catalog.h"
#include "smeta/smeta.h"

namespace kdx {
namespace {

// File versions that changed the implementation records.
constexpr int32_t kVerOlderQuantitySign = 0x00010120;  // bit 15 of an older record's B is kept
constexpr int32_t kVerLastOlderImplementation = 0x00010144;  // 8-byte period records up to here
constexpr int32_t kVerOverridesFlags = 0x00010146;        // index, index code, price justification
constexpr int32_t kVerResOverridesPrices = 0x0001014B;    // a resource's current prices
constexpr int32_t kVerResOverridesPriceRow = 0x00010158;  // ...as the price container's record
constexpr int32_t kVerPosOverridesPz = 0x0001015A;        // direct costs and price formulas
constexpr int32_t kVerPosOverridesQuantityRow = 0x0001015C;  // the quantity as a row of its own

// Bits of the flag byte of an override.
constexpr uint8_t kHasIndex = 0x01;
constexpr uint8_t kOverrideHasIndexCode = 0x02;
constexpr uint8_t kHasPriceObosn = 0x04;

// Bits of the flag word of a position override.
constexpr uint16_t kQuantityFx = 0x0001;
constexpr uint16_t kQuantityValue = 0x0002;
constexpr uint16_t kWholesale = 0x0040;
constexpr uint16_t kCurrPz = 0x0080;
constexpr uint16_t kCurrFx = 0x0100;
// Slot n (1 to 4) of the current prices has bit n + 1.
constexpr int kSlotBitOffset = 1;

// Bits of the flag byte of a resource override's prices before the container.
constexpr uint8_t kHasCE = 0x01;
constexpr uint8_t kHasCT = 0x02;

// An older record: word A (month, year - 1900, magnitude bits 0-15), word B
// (magnitude bits 16-46, sign).
constexpr uint32_t kOlderSignBit = 0x80000000u;
constexpr uint32_t kOlderBit15 = 0x00008000u;
constexpr int kLastYearByte = 200;
constexpr double kOlderQuantityScale = 100000;
// A quantity closer to 0 than this brings no price index along.
constexpr double kZeroQuantity = 1e-10;

TSmetaImlpemActList* ActListOf(const TKDXAbstractRow& row) {
  auto* smeta = RowCast<TSmeta>(row.GetDocData());
  return smeta ? &smeta->FImplemActList : nullptr;
}

}  // namespace

// ---- act link ----

void TCustomSmetaActLink::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const uint16_t act = filer.ReadUInt16();
  const TSmetaImlpemActList* acts = ActListOf(*this);
  FAct = acts ? acts->Entry(act) : nullptr;
}

void TCustomSmetaActLink::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  const auto* acts = FAct ? RowCast<TSmetaImlpemActList>(FAct->Owner()) : nullptr;
  WriteAttrInt(element, "ActIndex", acts ? acts->IndexOf(FAct) : -1, -1);
}

// ---- overrides ----

void TCustomSmetaActOverrides::ReadData(TKdFiler& filer) {
  TCustomSmetaActLink::ReadData(filer);
  if (filer.FileVersion() < kVerOverridesFlags) return;
  const uint8_t flags = filer.Read_Byte();
  if (flags & kHasIndex) {
    const uint16_t i = filer.ReadUInt16();
    const TSmetaIndexesList* indexes = IndexList();
    SetPriceIndex(indexes ? indexes->At(i) : nullptr);
  }
  if (flags & kOverrideHasIndexCode) FPriceIndexCode = filer.ReadStringView();
  if (flags & kHasPriceObosn) FCurrPriceObosn = filer.ReadStringView();
}

void TCustomSmetaActOverrides::XMLSaveOverrideAttrs(XmlElement element) {
  TCustomSmetaActLink::XMLSave(element);
  WriteAttrStr(element, "IndexCode", GetPriceIndexCode());
}

std::optional<XmlElement> TCustomSmetaActOverrides::XMLSavePrice(XmlElement element,
                                                                 bool priced) const {
  if (FCurrPriceObosn.empty() && !priced) return std::nullopt;
  XmlElement price = element.AppendChild("PriceCurr");
  WriteAttrStr(price, "Comment", FCurrPriceObosn);
  return price;
}

void TCustomSmetaActOverrides::XMLSave(XmlElement element) {
  XMLSaveOverrideAttrs(element);
  XMLSavePrice(element, false);
}

// ---- position overrides ----

TExtended TPositionActQuantity::UnitCoefficient() const {
  const auto* position = FindOwnerOf<TSmetaPosition>(*this);
  return position ? position->FQuantity.UnitCoefficient() : TExtended::One();
}

Currency TPositionActForOneFx::SlotValue(int slot) const {
  const auto* overrides = RowCast<TSmetaPositionActOverrides>(FOwner);
  if (!overrides || slot < 0 || slot >= kForOneSlots) return {};
  return overrides->FForOneCurr[static_cast<size_t>(slot)];
}

TSmetaPositionActOverrides::TSmetaPositionActOverrides(TKDXAbstractRow* owner)
    : TCustomSmetaActOverrides(owner), FQuantity(this) {}

TSmetaIndexesList* TSmetaPositionActOverrides::IndexList() const {
  return FAct ? &FAct->FIndexesPos : nullptr;
}

void TSmetaPositionActOverrides::ReadData(TKdFiler& filer) {
  TCustomSmetaActOverrides::ReadData(filer);
  const int32_t version = filer.FileVersion();
  const uint16_t flags = filer.ReadUInt16();
  if (version < kVerPosOverridesQuantityRow) {
    if (flags & kQuantityFx) {
      FQuantity.ReadOlderFormula(filer);
    } else if ((flags & kQuantityValue) || version < kVerOverridesFlags) {
      FQuantity.ReadOlderNumber(filer);
    }
  } else if (flags & kQuantityValue) {
    FQuantity.Load(filer);
  }
  for (int slot = 1; slot < kForOneSlots; ++slot) {
    if (flags & (1u << (kSlotBitOffset + slot))) {
      FForOneCurr[static_cast<size_t>(slot)] = filer.ReadCurr64();
    }
  }
  if (flags & kWholesale) FForOneWholesale = filer.ReadCurr64();
  if (version >= kVerPosOverridesPz) {
    if (flags & kCurrPz) FForOneCurr[0] = filer.ReadCurr64();
    if (flags & kCurrFx) FForOneCurrFx.Make(this).Load(filer);
  }
}

void TSmetaPositionActOverrides::XMLSave(XmlElement element) {
  XMLSaveOverrideAttrs(element);
  WriteAttrStr(element, "Quantity", FQuantity.OldQuantityStr(element.Settings().decimal_separator));
  // A slot is priced by a price or by a formula.
  const TPositionActForOneFx* fx = FForOneCurrFx.Get();
  bool priced = FForOneWholesale.value != 0;
  for (int slot = 0; slot < kForOneSlots && !priced; ++slot) {
    priced = fx ? !fx->IsSlotEmpty(slot) : FForOneCurr[static_cast<size_t>(slot)].value != 0;
  }
  const auto save_price = [&] {
    const std::optional<XmlElement> price = XMLSavePrice(element, priced);
    if (!price || !priced) return;
    // The direct-costs total (slot 0) is not written.
    static constexpr const char* kNames[kForOneSlots] = {"", "OZ", "EM", "ZM", "MT"};
    for (int slot = 1; slot < kForOneSlots; ++slot) {
      WriteAttrCurr(*price, kNames[slot], FForOneCurr[static_cast<size_t>(slot)], Currency{});
    }
    WriteAttrCurr(*price, "Ws", FForOneWholesale, Currency{});
    FForOneCurrFx.XMLSaveToChild(*price);
  };
  // The prices come before the quantity when they carry a justification,
  // after it otherwise.
  if (HasPriceObosn()) save_price();
  FQuantity.XMLSaveToChild(element);
  if (!HasPriceObosn()) save_price();
}

// ---- resource overrides ----

TSmetaIndexesList* TSmetaResourceActOverrides::IndexList() const {
  return FAct ? &FAct->FIndexesRes : nullptr;
}

void TSmetaResourceActOverrides::ReadData(TKdFiler& filer) {
  TCustomSmetaActOverrides::ReadData(filer);
  const int32_t version = filer.FileVersion();
  if (version >= kVerResOverridesPriceRow) {
    FPrice.Load(filer);
  } else if (version >= kVerResOverridesPrices) {
    const uint8_t flags = filer.Read_Byte();
    if (flags & kHasCE) FPrice.SetPriceValue(0, filer.ReadCurr64());
    if (flags & kHasCT) FPrice.SetPriceValue(1, filer.ReadCurr64());
  }
}

void TSmetaResourceActOverrides::XMLSave(XmlElement element) {
  XMLSaveOverrideAttrs(element);
  const bool priced = !FPrice.IsEmpty();
  if (const std::optional<XmlElement> price = XMLSavePrice(element, priced); price && priced) {
    WriteAttrCurr(*price, "CE", FPrice.GetPriceValue(0), Currency{});
    WriteAttrCurr(*price, "CT", FPrice.GetPriceValue(1), Currency{});
    WriteAttrStr(*price, "CEFx", FPrice.GetPriceFx(0));
    WriteAttrStr(*price, "CTFx", FPrice.GetPriceFx(1));
  }
}

// ---- implementation lists ----

void TCustomSmetaActLinks::ReadData(TKdFiler& filer) {
  ReadListBody(filer);
  RemoveLinksWithoutAct();
}

void TCustomSmetaActLinks::RemoveLinksWithoutAct() {
  std::erase_if(FItems, [](const std::unique_ptr<TKDXAbstractRow>& item) {
    const auto* link = RowCast<TCustomSmetaActLink>(item.get());
    return link && !link->FAct;
  });
}

std::unique_ptr<TKDXAbstractRow> TSmetaPositionImplementation::CreateItem(uint8_t /*type*/) {
  return std::make_unique<TSmetaPositionActOverrides>(this);
}

std::unique_ptr<TKDXAbstractRow> TSmetaResourceImplementation::CreateItem(uint8_t /*type*/) {
  return std::make_unique<TSmetaResourceActOverrides>(this);
}

void TSmetaPositionImplementation::ReadData(TKdFiler& filer) {
  if (filer.FileVersion() <= kVerLastOlderImplementation) {
    ReadOlderForm(filer);
  } else {
    TCustomSmetaImplementation::ReadData(filer);
  }
}

void TSmetaPositionImplementation::ReadOlderForm(TKdFiler& filer) {
  Clear();
  const int32_t version = filer.FileVersion();
  const uint16_t count = filer.ReadUInt16();
  TSmetaImlpemActList* acts = ActListOf(*this);
  const TSmetaPosition* position = FindOwnerOf<TSmetaPosition>(*this);
  for (uint16_t i = 0; i < count; ++i) {
    const uint32_t a = filer.ReadUInt32();
    uint32_t b = filer.ReadUInt32();
    if (version < kVerOlderQuantitySign) b &= ~kOlderBit15;
    const int month = static_cast<int>(a & 0xFF);
    const int year_byte = static_cast<int>((a >> 8) & 0xFF);
    if (month == 0 || month > 12 || year_byte > kLastYearByte) continue;

    auto& item = static_cast<TSmetaPositionActOverrides&>(Add(0));
    item.FAct =
        acts ? acts->EnsureActInListOnOldFormatConvertion(month, 1900 + year_byte) : nullptr;
    const uint64_t magnitude = (a >> 16) | static_cast<uint64_t>(b & ~kOlderSignBit) << 16;
    const double quantity = static_cast<double>(magnitude) / kOlderQuantityScale;
    item.FQuantity.FQuantity = (b & kOlderSignBit) ? -quantity : quantity;

    if (!position || std::fabs(quantity) <= kZeroQuantity) continue;
    if (position->FPriceIndex && item.FAct) {
      item.FPriceIndex = item.FAct->ReceivePositionIndex(*position->FPriceIndex);
    } else {
      item.FPriceIndexCode = std::string(position->GetPriceIndexCode());
    }
  }
  RemoveLinksWithoutAct();
}

// ---- works ----

void TSmetaPosWorks::ReadData(TKdFiler& filer) {
  FWorks.clear();
  const auto count = filer.ReadInt16();
  const auto* smeta = RowCast<TSmeta>(GetDocData());
  for (int i = 0; i < count; ++i) {
    const int32_t index = filer.ReadInt32();
    TSmetaSharedWork* work = smeta ? smeta->FWorkManager.Entry(index) : nullptr;
    if (!work) continue;
    FWorks.push_back(work);
  }
}

void TSmetaPosWorks::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  for (const TSmetaSharedWork* work : FWorks) {
    WriteAttrStr(element.AppendChild("Work"), "Caption", work->GetCaption());
  }
}

}  // namespace kdx

#include "smeta/price_fx.h"

namespace kdx {
namespace {

// Adds b to a with 64-bit wrap-around; returns +1 or -1 when the exact sum
// lies above or below the 64-bit range, else 0.
int AddWrapping(int64_t& a, int64_t b) {
  const int64_t sum = static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
  const int wrap = (b > 0 && sum < a) ? 1 : (b < 0 && sum > a) ? -1 : 0;
  a = sum;
  return wrap;
}

}  // namespace

void TCustomPosForOneFx::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  filer.Skip(1);  // not used
  const uint8_t present = filer.Read_Byte();
  for (int slot = 0; slot < kForOneSlots; ++slot) {
    if (present & (1u << slot)) SetFormula(slot, filer.ReadStringView());
  }
}

void TCustomPosForOneFx::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  static constexpr const char* kNames[kForOneSlots] = {"PZ", "OZ", "EM", "ZM", "MT"};
  for (int slot = 0; slot < kForOneSlots; ++slot)
    WriteAttrStr(element, kNames[slot], Formula(slot));
}

bool TCustomPosForOneFx::IsSlotEmpty(int slot) const {
  if (slot < 0 || slot >= kForOneSlots) return true;
  return Formula(slot).empty() && SlotValue(slot).value == 0;
}

bool TCustomPosForOneFx::HasFormula() const { return FFx.Any(); }

bool TCustomPosForOneFx::ForceUnsincPzNedeed() const {
  bool any_price = false;
  for (int slot = 1; slot < kForOneSlots; ++slot) {
    if (!Formula(slot).empty()) return false;
    if (SlotValue(slot).value != 0) any_price = true;
  }
  if (!any_price) return false;
  // Stored prices can be anything: the sum is compared exactly, so a sum
  // beyond the 64-bit range differs from every total.
  int64_t parts = SlotValue(1).value;
  int wrap = AddWrapping(parts, SlotValue(2).value);
  wrap += AddWrapping(parts, SlotValue(4).value);
  return wrap != 0 || parts != SlotValue(0).value;
}

}  // namespace kdx

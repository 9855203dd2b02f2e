#include "smeta/position.h"

namespace kdx {

void TSmetaPosition::SetPriceIndex(TKDXAbstractIndex* index) {
  FPriceIndex = index && !index->FCode.empty() ? index : nullptr;
  FPriceIndexCode.clear();
}

void TSmetaPosition::ResolveLinkedPositions(const std::vector<TSmetaPosition*>& positions) {
  FLinkedPoss.clear();
  for (const int32_t index : FLinkedIndexes) {
    if (index < 0 || static_cast<size_t>(index) >= positions.size()) continue;
    TSmetaPosition* linked = positions[static_cast<size_t>(index)];
    linked->FParentPos = this;
    FLinkedPoss.push_back(linked);
  }
  FLinkedIndexes.clear();
}

}  // namespace kdx

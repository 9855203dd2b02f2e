// A priced line of a local estimate.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/common_rows.h"
#include "smeta/abstract_index.h"
#include "smeta/vidrab.h"

namespace kdx {

class TSmetaPosition : public TKdIdentifierRow {
 public:
  using TKdIdentifierRow::TKdIdentifierRow;
  TSmetaRowKind GetKind() const override { return srkPosition; }
  const char* XMLTag() const override { return "Position"; }

  // Keeps an index only when it has a code; clears the stored code.
  void SetPriceIndex(TKDXAbstractIndex* index);
  // Turns the stored indexes of linked positions into the positions of the
  // document's list (out-of-range ones are dropped) and links them back.
  void ResolveLinkedPositions(const std::vector<TSmetaPosition*>& positions);

  int32_t FSysID = 0;
  std::array<TKDXSmetaVidRab*, 2> FVidRab{};
  TKDXAbstractIndex* FPriceIndex = nullptr;
  std::string FPriceIndexCode;
  std::vector<int32_t> FLinkedIndexes;
  std::vector<TSmetaPosition*> FLinkedPoss;
  TSmetaPosition* FParentPos = nullptr;
};

}  // namespace kdx

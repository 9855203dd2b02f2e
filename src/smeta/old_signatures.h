// The signatures of older estimates: rows of four texts, or texts by role,
// converted into the document's signatures as they are read.
#pragma once

#include <cstdint>
#include <string>

#include "model/signatures.h"

namespace kdx {

// A signature row of the old estimate layout; converted at once, never written.
class TKdSmetaSignature : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  void ReadData(TKdFiler& filer) override;
  std::string FColumn1, FColumn2, FColumn3, FColumn4;
  int32_t FSignID = 0;
};

class TKDXSmetaSignatures : public TKdTypedList<TKdSmetaSignature> {
 public:
  explicit TKDXSmetaSignatures(TKDXAbstractRow* owner)
      : TKdTypedList(owner, soloStoreCaption | soloXMLStoreCaption) {}
};

// Reads one of the old estimate signature layouts (file version below
// 0x0001014C) and replaces the content of the list with its signatures.
void ReadOldEstimateSignatures(TKDXDocSignatures& signatures, TKdFiler& filer, int32_t version);

}  // namespace kdx

// The shared lists an estimate reads before its chapters: the catalogue of
// machines and materials that resources point into, the shared texts of price
// comments, the names of works and the performers. None of them is written to
// XML; the rows that refer to them write the texts they find there.
#pragma once

#include <string>

#include "model/row.h"

namespace kdx {

// A machine or material of the catalogue: the caption is its name.
class TSmetaSharedRes : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  void ReadData(TKdFiler& filer) override {
    ReadRowHead(filer);
    FObosn = filer.ReadStringView();
    FIzm = filer.ReadStringView();
  }
  std::string FObosn;  // code
  std::string FIzm;    // unit of measure
};

using TSmetaResManager = TKdSharedList<TSmetaSharedRes>;
// Shared texts (price comments).
using TSmetaSharedRowsManager = TKdSharedList<TKDXAbstractRow>;

class TSmetaSharedWork : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
};
class TSmetaPerformer : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
};

using TSmetaWorkManager = TKdSharedList<TSmetaSharedWork>;
using TSmetaPfrmsManager = TKdSharedList<TSmetaPerformer>;

}  // namespace kdx

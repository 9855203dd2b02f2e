// The shared lists an estimate reads before its chapters: the catalogue of
// machines and materials that resources point into, the shared texts of price
// comments, the names of works and the performers. None of them is written to
// XML; the rows that refer to them write the texts they find there.
#pragma once

#include <string>

#include "model/row.h"

namespace kdx {

// Shared rows of one list, referred to by index: an index outside the list
// finds nothing. References are not counted: nothing is released while a
// document is converted, and the lists live as long as the rows referring to them.
template <class T>
class TSmetaSharedList : public TKdTypedList<T> {
 public:
  explicit TSmetaSharedList(TKDXAbstractRow* owner) : TKdTypedList<T>(owner, 0) {}
  // The entry at a stored index; nullptr for a negative or out-of-range one.
  T* Entry(int64_t index) const {
    return index < 0 ? nullptr : this->At(static_cast<size_t>(index));
  }
};

// A machine or material of the catalogue: the caption is its name.
class TSmetaSharedRes : public TKdSharedRow {
 public:
  using TKdSharedRow::TKdSharedRow;
  void ReadData(TKdFiler& filer) override {
    ReadRowHead(filer);
    FObosn = filer.ReadStringView();
    FIzm = filer.ReadStringView();
  }
  std::string FObosn;  // code
  std::string FIzm;    // unit of measure
};

using TSmetaResManager = TSmetaSharedList<TSmetaSharedRes>;
// Shared texts (price comments).
using TSmetaSharedRowsManager = TSmetaSharedList<TKdSharedRow>;

class TSmetaSharedWork : public TKdSharedRow {
 public:
  using TKdSharedRow::TKdSharedRow;
};
class TSmetaPerformer : public TKdSharedRow {
 public:
  using TKdSharedRow::TKdSharedRow;
};

using TSmetaWorkManager = TSmetaSharedList<TSmetaSharedWork>;
using TSmetaPfrmsManager = TSmetaSharedList<TSmetaPerformer>;

}  // namespace kdx

// Casts of rows to their classes and interfaces, remembered per class: the
// class of a row fixes where its part of class T lies, so the dynamic_cast is
// done once per class and later casts add the remembered offset. Rows ask for
// their document, their estimate or a host interface of their owners once per
// row read, which made dynamic_cast a large part of loading.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <typeinfo>

#include "model/row.h"

namespace kdx {
namespace row_cast {

inline constexpr std::ptrdiff_t kNotT = PTRDIFF_MIN;     // the class is not a T
inline constexpr std::ptrdiff_t kPending = PTRDIFF_MAX;  // the slot is being filled

// One class and where its T part lies. Slots are claimed once and never
// change, so they are shared by all threads.
struct Slot {
  std::atomic<const std::type_info*> type{nullptr};
  std::atomic<std::ptrdiff_t> offset{kPending};
};
inline constexpr size_t kSlots = 16;

}  // namespace row_cast

// dynamic_cast<T*>(row), remembered by the class of the row.
template <class T>
T* RowCast(TKDXAbstractRow* row) {
  if (!row) return nullptr;
  static row_cast::Slot slots[row_cast::kSlots];
  const std::type_info* type = &typeid(*row);
  for (row_cast::Slot& slot : slots) {
    const std::type_info* known = slot.type.load(std::memory_order_acquire);
    if (known == type) {
      const std::ptrdiff_t offset = slot.offset.load(std::memory_order_acquire);
      if (offset == row_cast::kNotT) return nullptr;
      if (offset == row_cast::kPending) break;
      return reinterpret_cast<T*>(reinterpret_cast<char*>(row) + offset);
    }
    if (!known) {
      T* found = dynamic_cast<T*>(row);
      if (slot.type.compare_exchange_strong(known, type, std::memory_order_acq_rel)) {
        slot.offset.store(
            found ? reinterpret_cast<char*>(found) - reinterpret_cast<char*>(row) : row_cast::kNotT,
            std::memory_order_release);
      }
      return found;
    }
  }
  return dynamic_cast<T*>(row);
}

template <class T>
const T* RowCast(const TKDXAbstractRow* row) {
  return RowCast<T>(const_cast<TKDXAbstractRow*>(row));
}

// The nearest owner of a row (the row itself excluded) that is of class T, or nullptr.
template <class T>
T* FindOwnerOf(const TKDXAbstractRow& row) {
  for (TKDXAbstractRow* r = row.Owner(); r; r = r->Owner()) {
    if (T* found = RowCast<T>(r)) return found;
  }
  return nullptr;
}

}  // namespace kdx

// What the rows of an estimate ask of the estimate they belong to. The
// estimate implements these interfaces; a row finds them through its owners
// (FindOwnerOf in coefficients.h), so that a row read on its own in a test can
// be given a stand-in.
#pragma once

#include <cstdint>

#include "model/row.h"

namespace kdx {

// Bits of the estimate's 32-bit option set.
inline constexpr uint32_t soRoundPos = 1u << 0;
inline constexpr uint32_t soAddZatr = 1u << 3;
inline constexpr uint32_t soExclRet = 1u << 10;
inline constexpr uint32_t soSeparateFot = 1u << 13;
inline constexpr uint32_t soTempRound = 1u << 16;

// The estimate's option set (return costs of older files look at soExclRet).
class ISmetaOptionsSource {
 public:
  virtual uint32_t SmetaOptions() const = 0;

 protected:
  ~ISmetaOptionsSource() = default;
};

// Finds estimate positions for the defects list.
class ISmetaDefectListHost {
 public:
  // The estimate position whose system ID is the given one: chapters in order,
  // the rows of each in order; only while the document is loading; nullptr for
  // ID 0 or when nothing matches.
  virtual TKDXAbstractRow* FindPositionBySysID(int32_t id) = 0;
  // The system ID of a row that is an estimate position, else 0.
  virtual int32_t PositionSysID(const TKDXAbstractRow* row) const = 0;

 protected:
  ~ISmetaDefectListHost() = default;
};

}  // namespace kdx

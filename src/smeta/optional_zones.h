// The price zones an estimate takes for each additional region whose price
// bases its positions also use.
#pragma once

#include <cstdint>
#include <string>

#include "model/row.h"

namespace kdx {

// The zone chosen for one additional region.
class TSmetaOptionalZone : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "OptionalZone"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  int32_t FRegionCode = 0;  // unique within the list (checked only when editing)
  std::string FRegionCaption;
  uint8_t FZoneNumber = 0;
  std::string FZoneCaption;
};

// The estimate's list: 16-bit count, no type bytes, no caption; written only
// with an entry.
class TSmetaOptionalZones : public TKdTypedList<TSmetaOptionalZone> {
 public:
  explicit TSmetaOptionalZones(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  const char* XMLTag() const override { return "OptionalZones"; }
};

}  // namespace kdx

// The coded item (a code and five factors for the total of construction works
// and four cost items) that coefficients, price indexes, index add-ons and
// winter rises are built on.
#pragma once

#include <array>
#include <cstdint>

#include "model/row.h"

namespace kdx {

// Number of factor slots: direct costs, basic wages, machine operation,
// machinists' wages, materials.
inline constexpr int kKfSlots = 5;
// A factor is held times 10000; this is 1, no change.
inline constexpr int32_t kFactorOne = 10000;
using TKfValues = std::array<int32_t, kKfSlots>;
inline constexpr TKfValues kNeutralFactors = {kFactorOne, kFactorOne, kFactorOne, kFactorOne,
                                              kFactorOne};

// Common base of coefficients, price indexes and winter-rise items.
class TSmetaAbstractKIItem : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  // The order in which coefficients of one list take effect; 0 without a level.
  virtual int32_t GetLevel() const { return 0; }
};

// A coded item: a code and five factors.
class TCustomSmetaKIItem : public TSmetaAbstractKIItem {
 public:
  static constexpr const char* kValueNames[kKfSlots] = {"SMR", "OZ", "EM", "ZM", "MT"};

  using TSmetaAbstractKIItem::TSmetaAbstractKIItem;
  void ReadData(TKdFiler& filer) override { ReadKIItem(filer); }
  void XMLSave(XmlElement element) override { XMLSaveKIItem(element); }

  CompactString FCode;
  TKfValues FValues = kNeutralFactors;

 protected:
  // Row head, code, a presence byte and the factors it names.
  void ReadKIItem(TKdFiler& filer);
  // Caption (when written), code and factors; false when the row is not stored.
  bool XMLSaveKIItem(XmlElement element);
  // The factor attributes: each factor other than 1 under its slot's name.
  virtual void XMLSaveValues(XmlElement element) const;
};

}  // namespace kdx

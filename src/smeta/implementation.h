// What positions and resources record per act of completed work: for every act
// that includes them, the quantity done, the price index and the current
// prices that replace the estimate's for that act. Also the works a position
// names from the estimate's list of works.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/row.h"
#include "shared/abstract_index.h"
#include "shared/resource_prices.h"
#include "smeta/price_fx.h"
#include "smeta/quantity.h"

namespace kdx {

class TSmetaImlpemAct;
class TSmetaIndexesList;
class TSmetaSharedWork;

// A reference to one act of the estimate's list.
class TCustomSmetaActLink : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "Item"; }
  // The row head, then the act's index in the estimate's list.
  void ReadData(TKdFiler& filer) override;
  // "ActIndex".
  void XMLSave(XmlElement element) override;

  // Not owned; nullptr when the stored index names no act.
  TSmetaImlpemAct* FAct = nullptr;
};

// A link with the price index (one of the act's own list) and the
// justification of the current price that apply in the act.
class TCustomSmetaActOverrides : public TCustomSmetaActLink, public TPriceIndexRef {
 public:
  using TCustomSmetaActLink::TCustomSmetaActLink;
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // The act's index list this override refers into; nullptr without an act.
  virtual TSmetaIndexesList* IndexList() const = 0;
  CompactString FCurrPriceObosn;

 protected:
  // "ActIndex" and "IndexCode".
  void XMLSaveOverrideAttrs(XmlElement element);
  bool HasPriceObosn() const { return !FCurrPriceObosn.empty(); }
  // The "PriceCurr" child with the justification, when there is one or the
  // overrides are priced (returned; nothing otherwise).
  std::optional<XmlElement> XMLSavePrice(XmlElement element, bool priced) const;
};

// The quantity done in an act; its unit coefficient is that of the owning
// position's quantity (1 without a position).
class TPositionActQuantity : public TCustomPosQuantity {
 public:
  using TCustomPosQuantity::TCustomPosQuantity;
  TExtended UnitCoefficient() const override;
};

// The formulas of an act's current prices for one unit; the prices are the
// owning override's.
class TPositionActForOneFx : public TCustomPosForOneFx {
 public:
  explicit TPositionActForOneFx(TKDXAbstractRow* owner) : TCustomPosForOneFx(owner, sptCurr) {}
  Currency SlotValue(int slot) const override;
};

// What a position does and costs in one act.
class TSmetaPositionActOverrides : public TCustomSmetaActOverrides {
 public:
  explicit TSmetaPositionActOverrides(TKDXAbstractRow* owner);
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;
  // The act's position indexes.
  TSmetaIndexesList* IndexList() const override;

  // Current prices for one unit by cost part; 0 when not set.
  std::array<Currency, kForOneSlots> FForOneCurr{};
  Currency FForOneWholesale{};
  TPositionActQuantity FQuantity;
  // Made when the record holds price formulas; few overrides do.
  TKdRowOnDemand<TPositionActForOneFx> FForOneCurrFx;
};

// The current prices of a resource in one act: the current estimate price
// ("CE") and its machinists' wages part ("CT") only.
class TActResourcePrices : public TKdCustomResourcePrices {
 public:
  using TKdCustomResourcePrices::TKdCustomResourcePrices;
  bool IsPriceColumnUsed(int column) const override { return column == 0 || column == 1; }
  // Neither column has a value or a text.
  bool IsEmpty() const { return !HasAnyPriceField(); }
};

// What a resource costs in one act.
class TSmetaResourceActOverrides : public TCustomSmetaActOverrides {
 public:
  explicit TSmetaResourceActOverrides(TKDXAbstractRow* owner)
      : TCustomSmetaActOverrides(owner), FPrice(this) {}
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;
  // The act's resource indexes.
  TSmetaIndexesList* IndexList() const override;

  TActResourcePrices FPrice;
};

// A list of act links: 16-bit count, no type bytes, no caption. After reading,
// links whose act does not exist are dropped.
class TCustomSmetaActLinks : public TKDXAbstractObjectList {
 public:
  explicit TCustomSmetaActLinks(TKDXAbstractRow* owner) : TKDXAbstractObjectList(owner, 0) {}
  void ReadData(TKdFiler& filer) override;

 protected:
  void RemoveLinksWithoutAct();
};

class TCustomSmetaImplementation : public TCustomSmetaActLinks {
 public:
  using TCustomSmetaActLinks::TCustomSmetaActLinks;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "Implementation_V2"; }
};

// A position's data per act. Older files store it as a block of 8-byte
// records, one per period, from which the acts are made.
class TSmetaPositionImplementation : public TCustomSmetaImplementation {
 public:
  using TCustomSmetaImplementation::TCustomSmetaImplementation;
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  void ReadData(TKdFiler& filer) override;
  TSmetaPositionActOverrides* At(size_t index) const {
    return static_cast<TSmetaPositionActOverrides*>(Item(index));
  }

 private:
  void ReadOlderForm(TKdFiler& filer);
};

// A resource's data per act.
class TSmetaResourceImplementation : public TCustomSmetaImplementation {
 public:
  using TCustomSmetaImplementation::TCustomSmetaImplementation;
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  TSmetaResourceActOverrides* At(size_t index) const {
    return static_cast<TSmetaResourceActOverrides*>(Item(index));
  }
};

// The works a position names from the estimate's list of works, in order.
class TSmetaPosWorks : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  uint8_t GetOptions() const override { return 0; }
  const char* XMLTag() const override { return "WorksList"; }
  // A signed 16-bit count, then that many 32-bit indexes into the list of
  // works; an index naming no work is skipped.
  void ReadData(TKdFiler& filer) override;
  bool IsXMLStored() const override { return !FWorks.empty(); }
  // One "Work" child with "Caption" per work.
  void XMLSave(XmlElement element) override;

  size_t Count() const { return FWorks.size(); }

  // Entries of the estimate's list of works, not owned.
  std::vector<TSmetaSharedWork*> FWorks;
};

}  // namespace kdx

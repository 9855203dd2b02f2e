// The resources of an estimate position: the labour of workers and of
// machinists, machines and materials, each with its quantity per unit of the
// position, prices at the base and the current level, coefficients and the
// data of the acts. Machines and materials point into the estimate's shared
// catalogue for their code, name and unit; labour resources carry their own or
// fall back to fixed ones. A resource that replaced another one carries it as
// a nested resource of the same class.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/common_rows.h"
#include "shared/resource_prices.h"
#include "smeta/coefficients.h"
#include "smeta/implementation.h"

namespace kdx {

class TSmeta;
class TSmetaSharedRes;

enum TSmetaResourceType : uint8_t { smrtTzr, smrtTzm, smrtMch, smrtMat, smrtNone };

// Bits of a resource's state in the position.
inline constexpr uint8_t sraSnipSet = 1u << 0;
inline constexpr uint8_t sraReplaced = 1u << 1;
inline constexpr uint8_t sraAdded = 1u << 2;
inline constexpr uint8_t sraDeleted = 1u << 3;

// Bits of a resource's options.
inline constexpr uint16_t sroProekt = 1u << 0;
inline constexpr uint16_t sroOwnerMat = 1u << 1;
inline constexpr uint16_t sroNotCount = 1u << 2;
inline constexpr uint16_t sroJunk = 1u << 3;
inline constexpr uint16_t sroLookTech = 1u << 4;
inline constexpr uint16_t sroMatComment = 1u << 5;
inline constexpr uint16_t sroCountInPlace = 1u << 6;
inline constexpr uint16_t sroCountInPos = 1u << 7;
inline constexpr uint16_t sroExcludeFromQty = 1u << 8;

// A quantity per unit above this is taken as this.
inline constexpr double kMaxResQuantOne = 100000000;

class TSmetaPosResource : public TKdIdentifierRow, public TPriceIndexRef {
 public:
  // All four price columns: 0 current price, 1 its second part, 2 base price,
  // 3 its second part (the machinists' wages part for machines).
  class TKdResResourcePrices : public TKdResourcePrices {
   public:
    using TKdResourcePrices::TKdResourcePrices;
  };
  enum TPriceColumn : int { pcCurr, pcCurrSecond, pcBase, pcBaseSecond };
  // Indexes of the price comments.
  enum TPriceKind : int { pkBase, pkCurr };

  explicit TSmetaPosResource(TKDXAbstractRow* owner);

  TSmetaRowKind GetKind() const override { return srkResource; }
  // The class tag, or "Replaced" for a resource owned by another resource.
  const char* XMLTag() const override;
  virtual TSmetaResourceType ResourceType() const = 0;

  virtual std::string GetCode() const = 0;
  virtual std::string_view GetIsm() const = 0;
  // The name written as "Caption".
  virtual std::string_view DisplayCaption() const = 0;
  // Current prices become the base prices (older files priced at the base level).
  void CopyBasePriceToCurrent();

  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // The quantity per unit by the norms; 0 when not set.
  double QuantOneSnip() const { return FRare ? FRare->FQuantOneSnip : 0; }
  // The comment of a price (by TPriceKind), a shared text of the estimate; nullptr for none.
  const TKDXAbstractRow* PriceObosn(TPriceKind kind) const {
    return FRare ? FRare->FPriceObosn[kind] : nullptr;
  }
  // The resource this one replaced; nullptr for none.
  const TSmetaPosResource* ReplacedRes() const {
    return FRare ? FRare->FReplacedRes.get() : nullptr;
  }

  uint8_t FAttribs = 0;
  uint16_t FFlags = 0;
  double FQuantOne = 0;
  TKdResResourcePrices FPrice;
  TKdRowOnDemand<TSmetaResKfs> FKoeffs;
  TKdRowOnDemand<TSmetaResourceImplementation> FImplemNew;

 protected:
  virtual const char* ClassXMLTag() const = 0;
  // A new resource of the same class, owned by this one.
  virtual std::unique_ptr<TSmetaPosResource> CreateReplacedRes() = 0;
  // The attributes; false when the row is not stored.
  bool XMLSaveAttributes(XmlElement element);
  // The price elements, the coefficients, the replaced resource, the acts.
  void XMLSaveChildren(XmlElement element);

 private:
  void ReadOlderForm(TKdFiler& filer, int32_t version);
  void ReadCurrentForm(TKdFiler& filer, int32_t version);
  void ReadReplacedRes(TKdFiler& filer);
  void ReadPriceObosn(TKdFiler& filer, TPriceKind kind, const TSmeta* estimate);

  // What few resources hold, made when a record sets one of them.
  struct TRareFields : ModelObject {
    double FQuantOneSnip = 0;
    // Shared texts of the estimate, by TPriceKind; not owned.
    const TKDXAbstractRow* FPriceObosn[2] = {nullptr, nullptr};
    std::unique_ptr<TSmetaPosResource> FReplacedRes;
  };
  TRareFields& Rare();
  void XMLSavePrice(XmlElement element, const char* name, int column,
                    const TKDXAbstractRow* comment) const;

  std::unique_ptr<TRareFields> FRare;
};

// Labour: a code, a name and an average grade of its own.
class TCustomSmetaPeopleRes : public TSmetaPosResource {
 public:
  using TSmetaPosResource::TSmetaPosResource;
  // The own code, else the kind's prefix with the grade ("1-3-5" for 3.5).
  std::string GetCode() const override;
  std::string_view GetIsm() const override;
  // The stored caption, else the kind's default caption.
  std::string_view DisplayCaption() const override;
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  CompactString FCode;
  int32_t FAverRasr = 0;  // average grade times 10; 0 for none
};

// A concrete resource class: its type, its tag, and a replaced resource of
// the same class.
template <class Derived, class Base, TSmetaResourceType kType>
class TSmetaPosResOf : public Base {
 public:
  using Base::Base;
  TSmetaResourceType ResourceType() const override { return kType; }

 protected:
  const char* ClassXMLTag() const override {
    static constexpr const char* kTags[4] = {"Tzr", "Tzm", "Mch", "Mat"};
    return kTags[kType];
  }
  std::unique_ptr<TSmetaPosResource> CreateReplacedRes() override {
    return std::make_unique<Derived>(this);
  }
};

class TSmetaPosResTzr : public TSmetaPosResOf<TSmetaPosResTzr, TCustomSmetaPeopleRes, smrtTzr> {
 public:
  using TSmetaPosResOf::TSmetaPosResOf;
};

class TSmetaPosResTzm : public TSmetaPosResOf<TSmetaPosResTzm, TCustomSmetaPeopleRes, smrtTzm> {
 public:
  using TSmetaPosResOf::TSmetaPosResOf;
};

// A resource described by an entry of the estimate's catalogue.
class TSmetaMappedRes : public TSmetaPosResource {
 public:
  using TSmetaPosResource::TSmetaPosResource;
  std::string GetCode() const override;
  std::string_view GetIsm() const override;
  std::string_view DisplayCaption() const override;
  void ReadData(TKdFiler& filer) override;

  // Entry of the estimate's catalogue; not owned.
  const TSmetaSharedRes* FSharedRes = nullptr;
};

class TSmetaPosResMch : public TSmetaPosResOf<TSmetaPosResMch, TSmetaMappedRes, smrtMch> {
 public:
  using TSmetaPosResOf::TSmetaPosResOf;
  // The catalogue's unit, else "маш.час".
  std::string_view GetIsm() const override;
  void ReadData(TKdFiler& filer) override;
};

class TSmetaPosResMat : public TSmetaPosResOf<TSmetaPosResMat, TSmetaMappedRes, smrtMat> {
 public:
  using TSmetaPosResOf::TSmetaPosResOf;
};

// The resources of a position: 16-bit count, a type byte per item (the
// resource type), no caption.
class TSmetaPosResources : public TKDXAbstractObjectList {
 public:
  explicit TSmetaPosResources(TKDXAbstractRow* owner)
      : TKDXAbstractObjectList(owner, soloMultiClass) {}
  const char* XMLTag() const override { return "Resources"; }
  // The resource class of a type code; nullptr for a code beyond the four types.
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  int ItemType(const TKDXAbstractRow& row) const override;

  TSmetaPosResource* At(size_t index) const { return static_cast<TSmetaPosResource*>(Item(index)); }
};

}  // namespace kdx

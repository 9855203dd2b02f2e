// The price list: resources with their prices in four fixed top-level groups
// (workers' labour, machine operators' labour, materials, machines), each a
// tree of folders.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "model/common_rows.h"
#include "model/document.h"
#include "model/signatures.h"
#include "shared/packed_texts.h"
#include "shared/resource_prices.h"

namespace kdx {

// The highest file version of the price list this library reads.
inline constexpr int32_t kVerCennikLast = 0x00010005;

enum TCennikResType : uint8_t { crtTzr, crtTzm, crtMat, crtMch };

class TCennik;

class TCennikResource : public TKDXAbstractRow {
 public:
  explicit TCennikResource(TKDXAbstractRow* owner) : TKDXAbstractRow(owner) {}
  TSmetaRowKind GetKind() const override { return srkResource; }
  const char* XMLTag() const override { return "Elem"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  std::string_view Code() const { return FTexts[kCode]; }
  std::string_view Comment() const { return FTexts[kComment]; }
  // The base (0) and current (1) price comments.
  std::string_view PriceComment(int level) const { return FTexts[kPriceComments + level]; }
  // Columns CE, CT, BE, BT: a price rounded to hundredths, or 0 and the
  // formula text the price was given by; a formula that is a number in the
  // notation of the separator gives the price.
  TKdPriceFxField Price(int column, char decimal_separator) const;

 private:
  // Slots of the texts.
  enum : uint8_t {
    kCode,
    kComment,
    kPriceComments,
    kPriceFx = kPriceComments + 2,
    kTextSlots = kPriceFx + 4
  };

  TKdPriceFxField Price(int column, std::string_view formula, char decimal_separator) const;

  // The units row referred to, which belongs to the document's units list.
  TKDXAbstractRow* FIsm = nullptr;
  PackedTexts<kTextSlots> FTexts;
  std::array<Currency, 4> FPrices{};
  // Mass, cargo class and workers' grade as stored, at the file's widths.
  int32_t FBrutto = 0;
  int16_t FCargoClass = 0;
  int16_t FRasr = 0;
};

// A folder: item type 0 is a resource, 1 a folder.
class TCennikGroup : public TKDXAbstractObjectList {
 public:
  TCennikGroup(TKDXAbstractRow* owner, TCennikResType res_type,
               uint8_t options = soloCnt32 | soloMultiClass | soloStoreCaption |
                                 soloXMLStoreCaption)
      : TKDXAbstractObjectList(owner, options), FResType(res_type) {}
  TSmetaRowKind GetKind() const override { return srkResGroup; }
  const char* XMLTag() const override { return "Folder"; }
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  int ItemType(const TKDXAbstractRow& row) const override;
  // Resources and folders are referred to by nothing.
  bool FreesWrittenItems() const override { return true; }

 protected:
  TCennikResType FResType;
};

// One of the four top-level groups: no marker, no caption.
class TCennikRootGroup : public TCennikGroup {
 public:
  TCennikRootGroup(TKDXAbstractRow* owner, TCennikResType res_type)
      : TCennikGroup(owner, res_type, soloCnt32 | soloMultiClass) {}
  uint8_t GetOptions() const override { return 0; }
  TSmetaRowKind GetKind() const override { return srkResRoot; }
  const char* XMLTag() const override;
};

class TCennik : public TKDXAbstractDocData {
 public:
  explicit TCennik(const ConversionSettings& settings);

  int32_t MaxFileVersion() const override { return kVerCennikLast; }
  uint64_t DocSignature() const override { return DocSignatureOf("KD_Cennk"); }
  const char* GetDocumentType() const override { return "{2B0470FD-477C-4359-9F34-EEBE36B7D348}"; }
  TKDXAbstractRow* FindIdentifer(std::string_view identifier) override {
    return FVariables.FindIdentifer(identifier);
  }

  TKdSharedStrings& IsmManager() { return FIsmManager; }
  TCennikRootGroup& Group(TCennikResType type) { return *FGroups[type]; }

  std::array<double, 2> FDatePrices;
  std::array<std::string, 2> FDateComments;
  uint8_t FVisibleGroups = 15;

 protected:
  void Clear() override;
  void ReadBody(TKdFiler& filer) override;
  void XMLSaveBody(XmlElement element) override;

 private:
  // The units list is declared first so that it outlives the resources referring to it.
  TKdSharedStrings FIsmManager;
  TKDXDocSignatures FDocSigns;
  TKdVariables FVariables;
  std::array<std::unique_ptr<TCennikRootGroup>, 4> FGroups;
};

}  // namespace kdx

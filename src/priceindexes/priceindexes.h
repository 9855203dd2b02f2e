// The price-index document: a catalogue of price indexes in folders, each
// index with its add-ons, together with the user-defined add-on types, a
// binding date, signatures and the overhead and profit rates on machine
// operators' wages.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/document.h"
#include "model/signatures.h"
#include "shared/addons.h"

namespace kdx {

// The highest file version of the price-index document this library reads.
inline constexpr int32_t kVerPriceIndexesLast = 0x0001015F;

// An index position of the price-index document.
using TPriceIndexPos = TCustomIndexPos;

// A folder: item type 0 is an index position, 1 a folder.
class TPriceIndexesGroup : public TKDXAbstractObjectList {
 public:
  explicit TPriceIndexesGroup(TKDXAbstractRow* owner)
      : TKDXAbstractObjectList(
            owner, soloCnt32 | soloMultiClass | soloStoreCaption | soloXMLStoreCaption) {}
  TSmetaRowKind GetKind() const override { return srkIndexGroup; }
  const char* XMLTag() const override { return "Folder"; }
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  int ItemType(const TKDXAbstractRow& row) const override;
  // Index positions and folders are referred to by nothing.
  bool FreesWrittenItems() const override { return true; }
};

// The top of the folder tree: a 32-bit count of folders, no type bytes, no caption.
class TPriceIndexesRootGroup : public TKdTypedList<TPriceIndexesGroup> {
 public:
  explicit TPriceIndexesRootGroup(TKDXAbstractRow* owner) : TKdTypedList(owner, soloCnt32) {}
  uint8_t GetOptions() const override { return 0; }
  TSmetaRowKind GetKind() const override { return srkIndexRoot; }
  const char* XMLTag() const override { return "Indexes"; }
  bool FreesWrittenItems() const override { return true; }
};

class TPriceIndexes : public TKDXAbstractDocData, public IPriceIndexAddOnTypesOwner {
 public:
  explicit TPriceIndexes(const ConversionSettings& settings);

  int32_t MaxFileVersion() const override { return kVerPriceIndexesLast; }
  uint64_t DocSignature() const override { return DocSignatureOf("KD_Index"); }
  const char* GetDocumentType() const override { return "{2B0470FD-477C-4359-9F34-EEBE36B7D347}"; }
  TPriceIndexAddOnTypes* IndexAddOnTypes() override { return &FIndexesAddOnTypes; }

  TPriceIndexesRootGroup& Root() { return FRoot; }
  TKDXDocSignatures& DocSignatures() { return FDocSigns; }

  double FBindingDate;
  std::string FBindingDateComment;
  int32_t FNaklZpm = 0;
  int32_t FPlanZpm = 0;

 protected:
  void Clear() override;
  void ReadBody(TKdFiler& filer) override;
  void XMLSaveBody(XmlElement element) override;

 private:
  // The types are declared first so that they outlive the add-ons referring to them.
  TPriceIndexAddOnTypes FIndexesAddOnTypes;
  TPriceIndexesRootGroup FRoot;
  TKDXDocSignatures FDocSigns;
};

}  // namespace kdx

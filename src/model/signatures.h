// Document signatures: who approved, compiled and checked the document.
#pragma once

#include <cstdint>
#include <string>

#include "model/row.h"

namespace kdx {

class TKdDocSignAttribute : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  TSmetaRowKind GetKind() const override { return srkSignAttrib; }
  const char* XMLTag() const override { return "Item"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement& element) override;

  int32_t FAttribID = 0;
  std::string FAttribValue;
};

class TKdDocSignAttributes : public TKdTypedList<TKdDocSignAttribute> {
 public:
  explicit TKdDocSignAttributes(TKDXAbstractRow* owner)
      : TKdTypedList(owner, soloStoreCaption | soloXMLStoreCaption) {}
  const char* XMLTag() const override { return "Attributes"; }
};

class TKDXDocSignature : public TKDXExpAbstractRow {
 public:
  explicit TKDXDocSignature(TKDXAbstractRow* owner)
      : TKDXExpAbstractRow(owner), FAttributes(this) {}
  TSmetaRowKind GetKind() const override { return srkSignItem; }
  const char* XMLTag() const override { return "Item"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement& element) override;

  int32_t FSignID = 0;
  std::string FSignValue;
  TKdDocSignAttributes FAttributes;
};

class TKDXDocSignatures : public TKdTypedList<TKDXDocSignature> {
 public:
  explicit TKDXDocSignatures(TKDXAbstractRow* owner)
      : TKdTypedList(owner, soloStoreCaption | soloXMLStoreCaption) {}
  TSmetaRowKind GetKind() const override { return srkSignRoot; }
  const char* XMLTag() const override { return "KdDocSignatures"; }
  // Appends an empty signature (caption "", ID 0, value "") and returns it.
  TKDXDocSignature& Append();
};

// A signature row of the old estimate layout; converted at once, never written.
class TKdSmetaSignature : public TKDXAbstractRow {
 public:
  using TKDXAbstractRow::TKDXAbstractRow;
  void ReadData(TKdFiler& filer) override;
  std::string FColumn1, FColumn2, FColumn3, FColumn4;
  int32_t FSignID = 0;
};

class TKDXSmetaSignatures : public TKdTypedList<TKdSmetaSignature> {
 public:
  explicit TKDXSmetaSignatures(TKDXAbstractRow* owner)
      : TKdTypedList(owner, soloStoreCaption | soloXMLStoreCaption) {}
};

// Reads one of the old estimate signature layouts (file version below
// 0x0001014C) and replaces the content of the list with its signatures.
void ReadOldEstimateSignatures(TKDXDocSignatures& signatures, TKdFiler& filer, int32_t version);

}  // namespace kdx

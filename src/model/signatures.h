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
  void XMLSave(XmlElement element) override;

  int32_t FAttribID = 0;
  std::string FAttribValue;
};

class TKdDocSignAttributes : public TKdTypedList<TKdDocSignAttribute> {
 public:
  explicit TKdDocSignAttributes(TKDXAbstractRow* owner)
      : TKdTypedList(owner, soloStoreCaption | soloXMLStoreCaption) {}
  const char* XMLTag() const override { return "Attributes"; }
};

class TKDXDocSignature : public TKDXAbstractRow {
 public:
  explicit TKDXDocSignature(TKDXAbstractRow* owner) : TKDXAbstractRow(owner), FAttributes(this) {}
  TSmetaRowKind GetKind() const override { return srkSignItem; }
  const char* XMLTag() const override { return "Item"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

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

}  // namespace kdx

// The root row of every document: checks the body signature and file version,
// keeps the version for all rows, and writes the common root attributes.
#pragma once

#include <cstdint>
#include <memory>

#include "filer/arena.h"
#include "model/common_rows.h"
#include "model/row.h"
#include "xml/settings.h"

namespace kdx {

// Document state bits.
inline constexpr uint8_t ddsLoading = 2;
inline constexpr uint8_t ddsWritingOnce = 16;  // XMLSaveOnce: rows are freed once written

// Eight ASCII bytes read as one little-endian 64-bit value.
constexpr uint64_t DocSignatureOf(const char (&text)[9]) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(text[i]);
  return v;
}

class TKDXAbstractDocData : public TKDXAbstractRow {
 public:
  explicit TKDXAbstractDocData(const ConversionSettings& settings);
  ~TKDXAbstractDocData() override;

  const ConversionSettings& Settings() const { return settings_; }
  int32_t FileVersion() const { return FFileVersion; }
  bool Loading() const { return (FDocDataState & ddsLoading) != 0; }
  bool WritingOnce() const { return (FDocDataState & ddsWritingOnce) != 0; }

  virtual int32_t MaxFileVersion() const = 0;
  virtual uint64_t DocSignature() const = 0;
  // The document type identifier as written ("{...}").
  virtual const char* GetDocumentType() const = 0;

  // Reads the whole body: signature, version, content.
  void ReadData(TKdFiler& filer) override;
  // Writes the root attributes and the content into the given element.
  void XMLSave(XmlElement element) override;
  // The same for a document that is destroyed right after: lists that allow
  // it (FreesWrittenItems) free their items as they are written. The
  // document is left fit only for destruction.
  void XMLSaveOnce(XmlElement element);

  // A variable or row found by identifier (formulas); nullptr in the base.
  virtual TKDXAbstractRow* FindIdentifer(std::string_view /*identifier*/) { return nullptr; }

  // Where the document's rows and texts are made (while an ArenaScope names
  // it): it ends after every row of the document.
  Arena& RowArena() { return arena_; }

 protected:
  TKDXAbstractDocData* AsDocData() const override { return const_cast<TKDXAbstractDocData*>(this); }
  // Resets the content before reading.
  virtual void Clear() {}
  virtual void ReadBody(TKdFiler& filer) = 0;
  virtual void XMLSaveBody(XmlElement /*element*/) {}

  // First of the members, so that it ends after all the others.
  Arena arena_;
  int32_t FFileVersion = 0;
  uint8_t FDocDataState = 0;
  TKdDocComment FDocComment;

 private:
  const ConversionSettings& settings_;
};

}  // namespace kdx

// The conversion driver: packed document bytes in, windows-1251 XML bytes out.
// Re-entrant: it touches no global state, so conversions may run in parallel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "filer/byte_block.h"
#include "model/document.h"
#include "xml/settings.h"
#include "xml/xml_document.h"

namespace kdx {

// Document kinds (the byte at offset 4 of a packed document).
enum TSmetaDocumentType : uint8_t {
  sdtSmeta,
  sdtObjSmeta,
  sdtConsCalc,
  sdtCennik,
  sdtIndexes,
  sdtNBDoc,
  sdtResSummary,
  sdtUserNBDoc,
  sdtNBDocArticle
};

// The document object of a kind, or nullptr for a kind this library does not convert.
std::unique_ptr<TKDXAbstractDocData> CreateDocument(uint8_t kind,
                                                    const ConversionSettings& settings);

// Converts; throws KdxError on any failure. The result is the XML bytes.
std::string ConvertDocument(const uint8_t* data, size_t size, const ConversionSettings& settings);

// A document converted as far as its XML tree, with the settings it was made
// with. Its XML is serialised when asked for, as often as asked, straight
// into where it goes (in pieces of up to 64 KB): no block of its size is
// kept. Whatever the model and the tree freed stays with the heap for the
// next conversion; only an input of 4 MB or more, mapped apart, is given back
// to the system once it is loaded.
class ConvertedDocument {
 public:
  // Loads the document and frees its bytes, then builds the tree; throws
  // KdxError on any failure.
  ConvertedDocument(ByteBlock input, const ConversionSettings& settings);
  ConvertedDocument(const ConvertedDocument&) = delete;
  ConvertedDocument& operator=(const ConvertedDocument&) = delete;

  size_t Size() const { return xml_->SavedSize(); }
  // Bytes the tree takes.
  size_t TreeSize() const { return xml_->ArenaSize(); }
  void Save(XmlSink& sink) const { xml_->Save(sink); }

 private:
  const ConversionSettings settings_;  // the tree refers to these
  std::unique_ptr<XmlDocument> xml_;
};

// The stages of ConvertDocument, in their order (the benchmark times them one
// by one): the header checks and the document loaded from the body; the XML
// tree of a loaded document; the tree serialised.
std::unique_ptr<TKDXAbstractDocData> LoadDocument(const uint8_t* data, size_t size,
                                                  const ConversionSettings& settings);
// The document is used up: its rows are freed as they are written
// (XMLSaveOnce), the rest when the tree is complete.
void BuildXml(std::unique_ptr<TKDXAbstractDocData> doc, XmlDocument& xml);
ByteBlock SaveXml(const XmlDocument& xml);

}  // namespace kdx

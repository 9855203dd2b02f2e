// The conversion driver: packed document bytes in, windows-1251 XML bytes out.
// Re-entrant: it touches no global state, so conversions may run in parallel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

// The stages of ConvertDocument, in their order (the benchmark times them one
// by one): the header checks and the document loaded from the body; the XML
// tree of a loaded document; the tree serialised and swept.
std::unique_ptr<TKDXAbstractDocData> LoadDocument(const uint8_t* data, size_t size,
                                                  const ConversionSettings& settings);
void BuildXml(TKDXAbstractDocData& doc, XmlDocument& xml);
std::string SaveXml(const XmlDocument& xml);

}  // namespace kdx

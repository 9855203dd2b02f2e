// The conversion driver: packed document bytes in, windows-1251 XML bytes out.
// Re-entrant: it touches no global state, so conversions may run in parallel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "model/document.h"
#include "xml/settings.h"

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

}  // namespace kdx

// The conversion driver: packed document bytes in, windows-1251 XML bytes out.
// Re-entrant: it touches no global state, so conversions may run in parallel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "filer/byte_block.h"
#include "model/document.h"
#include "xml/settings.h"
#include "xml/xml_writer.h"

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

// The head of a packed document: "KR00", the kind byte, four bytes no reader
// looks at, then the body, which opens with the kind's eight-byte signature
// and the 32-bit file version. A field is there only when the bytes reach it.
struct PackedHeader {
  static constexpr uint32_t kMagic = 0x3030524B;  // "KR00"
  static constexpr size_t kBodyOffset = 9;
  uint32_t first_word = 0;  // the first four bytes (as many as there are), little-endian
  bool packed = false;      // the four bytes are "KR00"
  std::optional<uint8_t> kind;
  std::optional<uint64_t> signature;
  std::optional<int32_t> file_version;
};
PackedHeader ReadPackedHeader(const uint8_t* data, size_t size);

// The document object of a kind, or nullptr for a kind this library does not convert.
std::unique_ptr<TKDXAbstractDocData> CreateDocument(uint8_t kind,
                                                    const ConversionSettings& settings);

// Converts; throws KdxError on any failure. The result is the XML bytes.
std::string ConvertDocument(const uint8_t* data, size_t size, const ConversionSettings& settings);

// A document converted into its XML bytes, kept in blocks for a host to copy
// out as often as it likes. The model is written in document order straight
// into the bytes, each row freed once written, so no picture of the document
// is kept beside them.
class ConvertedDocument {
 public:
  // Loads the document and frees its bytes, then writes its XML; throws
  // KdxError on any failure.
  ConvertedDocument(ByteBlock input, const ConversionSettings& settings);
  ConvertedDocument(const ConvertedDocument&) = delete;
  ConvertedDocument& operator=(const ConvertedDocument&) = delete;

  size_t Size() const { return static_cast<size_t>(xml_.Size()); }
  // Bytes the blocks of the XML take.
  size_t Capacity() const { return xml_.Capacity(); }
  void Save(XmlSink& sink) const { xml_.Save(sink); }

 private:
  XmlBytes xml_;
};

// Converts into a sink as the XML is written (in pieces of up to 64 KB): no
// block of the XML's size is made. Nothing reaches the sink when loading
// fails; a failure while writing (the XML's bound) stops the pieces.
void ConvertInto(ByteBlock input, const ConversionSettings& settings, XmlSink& sink);

// The stages of ConvertDocument, in their order (the benchmark times them one
// by one): the header checks and the document loaded from the body; the XML
// of a loaded document written into an output. The document is used up: its
// rows are freed as they are written (XMLSaveOnce), the rest at the end.
// With a pool, the document's rows take their chunks from it and give the
// empty ones back to it (for the XML's blocks); the pool must outlive the
// document.
std::unique_ptr<TKDXAbstractDocData> LoadDocument(const uint8_t* data, size_t size,
                                                  const ConversionSettings& settings,
                                                  ChunkPool* pool = nullptr);
void WriteXml(std::unique_ptr<TKDXAbstractDocData> doc, const ConversionSettings& settings,
              XmlOutput& out);

}  // namespace kdx

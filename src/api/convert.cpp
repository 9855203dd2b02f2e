#include "api/convert.h"

#include <cstdio>

#include "filer/filer.h"
#include "model/document_factory.h"
#include "xml/values.h"
#include "xml/xml_writer.h"

namespace kdx {
namespace {

uint64_t LittleEndian(const uint8_t* p, size_t count) {
  uint64_t v = 0;
  for (size_t i = count; i-- > 0;) v = (v << 8) | p[i];
  return v;
}

}  // namespace

PackedHeader ReadPackedHeader(const uint8_t* data, size_t size) {
  constexpr size_t kSignatureOffset = PackedHeader::kBodyOffset;
  constexpr size_t kVersionOffset = kSignatureOffset + 8;
  PackedHeader header;
  header.first_word = static_cast<uint32_t>(LittleEndian(data, size < 4 ? size : 4));
  header.packed = size >= 4 && header.first_word == PackedHeader::kMagic;
  if (!header.packed) return header;
  if (size > 4) header.kind = data[4];
  if (size >= kVersionOffset) header.signature = LittleEndian(data + kSignatureOffset, 8);
  if (size >= kVersionOffset + 4) {
    header.file_version = static_cast<int32_t>(LittleEndian(data + kVersionOffset, 4));
  }
  return header;
}

std::unique_ptr<TKDXAbstractDocData> CreateDocument(uint8_t kind,
                                                    const ConversionSettings& settings) {
  switch (kind) {
    case sdtSmeta:
      return CreateSmeta(settings);
    case sdtObjSmeta:
      return CreateObjSmeta(settings);
    case sdtConsCalc:
      return CreateConsCalc(settings);
    case sdtCennik:
      return CreateCennik(settings);
    case sdtIndexes:
      return CreatePriceIndexes(settings);
    case sdtResSummary:
      return CreateResSummary(settings);
    default:
      return nullptr;
  }
}

std::unique_ptr<TKDXAbstractDocData> LoadDocument(const uint8_t* data, size_t size,
                                                  const ConversionSettings& settings,
                                                  ChunkPool* pool) {
  const PackedHeader header = ReadPackedHeader(data, size);
  if (!header.packed) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", header.first_word);
    Raise(kEConvertException, std::string("Неверная сигнатура заголовка данных: ") + hex);
  }
  if (!header.kind)
    Raise(kEKDInvalidDoc, "Файл (блок данных) не является документом программы Орвакплан");
  const uint8_t kind = *header.kind;
  if (kind > 8) Raise(kEKDInvalidDoc, "Несоответствие данных типу документа");
  std::unique_ptr<TKDXAbstractDocData> doc = CreateDocument(kind, settings);
  if (!doc) Raise(kEConvertException, "Неподдерживаемый тип документа: " + std::to_string(kind));
  doc->RowArena().SetPool(pool);
  ArenaScope rows(doc->RowArena());
  TKdFiler filer(data, size, PackedHeader::kBodyOffset);
  doc->Load(filer);
  return doc;
}

void WriteXml(std::unique_ptr<TKDXAbstractDocData> doc, const ConversionSettings& settings,
              XmlOutput& out) {
  XmlWriter xml(settings, out);
  XmlElement root = xml.Root("Document");
  SetAttr(root, "ProgramVersion", settings.program_version);
  {
    ArenaScope rows(doc->RowArena());
    doc->XMLSaveOnce(root);
  }
  doc.reset();
  xml.Finish();
}

std::string ConvertDocument(const uint8_t* data, size_t size, const ConversionSettings& settings) {
  XmlBytes xml(settings.max_xml_size);
  WriteXml(LoadDocument(data, size, settings), settings, xml);
  return xml.Text();
}

ConvertedDocument::ConvertedDocument(ByteBlock input, const ConversionSettings& settings)
    : xml_(settings.max_xml_size) {
  // The chunks the rows leave empty as they are written become the XML's
  // blocks, their pages already there.
  auto doc = LoadDocument(reinterpret_cast<const uint8_t*>(input.data()), input.size(), settings,
                          &xml_.Chunks());
  input.Release();  // the model keeps what it needs of the bytes
  WriteXml(std::move(doc), settings, xml_);
}

void ConvertInto(ByteBlock input, const ConversionSettings& settings, XmlSink& sink) {
  auto doc = LoadDocument(reinterpret_cast<const uint8_t*>(input.data()), input.size(), settings);
  input.Release();
  XmlSinkOutput out(sink, settings.max_xml_size);
  WriteXml(std::move(doc), settings, out);
}

}  // namespace kdx

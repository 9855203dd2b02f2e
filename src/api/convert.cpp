#include "api/convert.h"

#include <cstdio>

#include "filer/filer.h"
#include "model/document_factory.h"
#include "xml/values.h"
#include "xml/xml_writer.h"

namespace kdx {
namespace {

constexpr uint32_t kMagic = 0x3030524B;  // "KR00"
constexpr size_t kBodyOffset = 9;

uint32_t LittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

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
  if (size < 4 || LittleEndian32(data) != kMagic) {
    uint32_t value = 0;
    for (size_t i = 0; i < size && i < 4; ++i) value |= static_cast<uint32_t>(data[i]) << (8 * i);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", value);
    Raise(kEConvertException, std::string("Неверная сигнатура заголовка данных: ") + hex);
  }
  if (size < 5)
    Raise(kEKDInvalidDoc, "Файл (блок данных) не является документом программы Орвакплан");
  const uint8_t kind = data[4];
  if (kind > 8) Raise(kEKDInvalidDoc, "Несоответствие данных типу документа");
  std::unique_ptr<TKDXAbstractDocData> doc = CreateDocument(kind, settings);
  if (!doc) Raise(kEConvertException, "Неподдерживаемый тип документа: " + std::to_string(kind));
  doc->RowArena().SetPool(pool);
  ArenaScope rows(doc->RowArena());
  TKdFiler filer(data, size, kBodyOffset);
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

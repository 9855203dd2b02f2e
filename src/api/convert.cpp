#include "api/convert.h"

#include <cstdio>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "api/document_factory.h"
#include "filer/filer.h"
#include "xml/xml_document.h"

namespace kdx {
namespace {

constexpr uint32_t kMagic = 0x3030524B;  // "KR00"
constexpr size_t kBodyOffset = 9;

// XML from this size on is a large allocation of its own, which the memory
// the model gave back cannot hold.
constexpr size_t kLargeXml = 4 << 20;

// Gives the pages of freed heap memory back to the system. The model is freed
// while the tree is built, and the tree reuses what it can; without this the
// rest would stay resident beside the output.
void ReleaseFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

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
                                                  const ConversionSettings& settings) {
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
  TKdFiler filer(data, size, kBodyOffset);
  doc->Load(filer);
  return doc;
}

void BuildXml(std::unique_ptr<TKDXAbstractDocData> doc, XmlDocument& xml) {
  XmlElement& root = xml.CreateRoot("Document");
  SetAttr(root, "ProgramVersion", xml.Settings().program_version);
  doc->XMLSaveOnce(root);
}

ByteBlock SaveXml(const XmlDocument& xml) { return xml.Save(); }

namespace {

// Builds the tree of a loaded document and saves it into out. Whatever is
// freed goes back to the system before the XML of a large document is
// allocated, and again when the tree is freed.
template <typename Out, typename Save>
Out Convert(std::unique_ptr<TKDXAbstractDocData> doc, const ConversionSettings& settings,
            Save&& save) {
  auto xml = std::make_unique<XmlDocument>(settings);
  BuildXml(std::move(doc), *xml);
  const bool large = xml->SavedSize() >= kLargeXml;
  if (large) ReleaseFreedMemory();
  Out out = save(*xml);
  xml.reset();
  if (large) ReleaseFreedMemory();
  return out;
}

// Loads a document handed over and frees its bytes: the model keeps what it
// needs of them.
std::unique_ptr<TKDXAbstractDocData> LoadAndRelease(ByteBlock input,
                                                    const ConversionSettings& settings) {
  auto doc = LoadDocument(reinterpret_cast<const uint8_t*>(input.data()), input.size(), settings);
  input.Release();
  return doc;
}

}  // namespace

std::string ConvertDocument(const uint8_t* data, size_t size, const ConversionSettings& settings) {
  return Convert<std::string>(LoadDocument(data, size, settings), settings,
                              [](const XmlDocument& xml) {
                                std::string out;
                                xml.Save(out);
                                return out;
                              });
}

ByteBlock ConvertDocument(ByteBlock input, const ConversionSettings& settings) {
  return Convert<ByteBlock>(LoadAndRelease(std::move(input), settings), settings, SaveXml);
}

void ConvertDocument(ByteBlock input, const ConversionSettings& settings, XmlSink& sink) {
  Convert<bool>(LoadAndRelease(std::move(input), settings), settings,
                [&sink](const XmlDocument& xml) {
                  xml.Save(sink);
                  return true;
                });
}

ConvertedDocument::ConvertedDocument(ByteBlock input, const ConversionSettings& settings)
    : settings_(settings), xml_(std::make_unique<XmlDocument>(settings_)) {
  BuildXml(LoadAndRelease(std::move(input), settings_), *xml_);
}

}  // namespace kdx

#include "model/document.h"

namespace kdx {

TKDXAbstractDocData::TKDXAbstractDocData(const ConversionSettings& settings)
    : TKDXAbstractRow(nullptr), FDocComment(this), settings_(settings) {}

TKDXAbstractDocData::~TKDXAbstractDocData() {
  // The row's own text may lie in the arena, which ends before the row part.
  FCaption.clear();
}

void TKDXAbstractDocData::ReadData(TKdFiler& filer) {
  struct LoadingState {
    uint8_t& state;
    explicit LoadingState(uint8_t& s) : state(s) { state |= ddsLoading; }
    ~LoadingState() { state &= static_cast<uint8_t>(~ddsLoading); }
  } loading(FDocDataState);

  Clear();
  if (filer.ReadUInt64() != DocSignature()) {
    Raise(kException, "Неверные или поврежденные данные");
  }
  FFileVersion = filer.ReadInt32();
  filer.SetFileVersion(FFileVersion);
  if (FFileVersion > MaxFileVersion()) {
    Raise(kException,
          "Данный документ записан в более новой версии программы, чем текущая.\r"
          "Загрузка невозможна");
  }
  ReadBody(filer);
}

void TKDXAbstractDocData::XMLSave(XmlElement element) {
  SetAttr(element, "Generator", "Orvakplan");
  SetAttr(element, "DocumentType", GetDocumentType());
  FDocComment.XMLSave(element);
  XMLSaveBody(element);
}

void TKDXAbstractDocData::XMLSaveOnce(XmlElement element) {
  FDocDataState |= ddsWritingOnce;
  XMLSave(element);
}

}  // namespace kdx

#include "model/signatures.h"

#include "xml/values.h"

namespace kdx {

void TKdDocSignAttribute::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FAttribID = filer.ReadInt32();
  FAttribValue = filer.ReadStringView();
}

void TKdDocSignAttribute::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  WriteAttrInt(element, "ID", FAttribID, 0);
  WriteAttrStr(element, "Value", FAttribValue);
}

void TKDXDocSignature::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FSignID = filer.ReadInt32();
  FSignValue = filer.ReadStringView();
  FAttributes.Load(filer);
}

void TKDXDocSignature::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  WriteAttrInt(element, "ID", FSignID, 0);
  WriteAttrStr(element, "Value", FSignValue);
  FAttributes.XMLSaveToChild(element);
}

TKDXDocSignature& TKDXDocSignatures::Append() { return static_cast<TKDXDocSignature&>(Add(0)); }

}  // namespace kdx

#include "model/document_factory.h"
#include "objsmeta/objsmeta.h"

namespace kdx {

std::unique_ptr<TKDXAbstractDocData> CreateObjSmeta(const ConversionSettings& settings) {
  return std::make_unique<TObjSmeta>(settings);
}

std::unique_ptr<TKDXAbstractDocData> CreateConsCalc(const ConversionSettings& settings) {
  return std::make_unique<TConsCalc>(settings);
}

}  // namespace kdx

#include "api/document_factory.h"

namespace kdx {

std::unique_ptr<TKDXAbstractDocData> CreateObjSmeta(const ConversionSettings& /*settings*/) { return nullptr; }
std::unique_ptr<TKDXAbstractDocData> CreateConsCalc(const ConversionSettings& /*settings*/) { return nullptr; }

}  // namespace kdx

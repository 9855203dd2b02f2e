#include "api/document_factory.h"

namespace kdx {

std::unique_ptr<TKDXAbstractDocData> CreateSmeta(const ConversionSettings& /*settings*/) { return nullptr; }

}  // namespace kdx

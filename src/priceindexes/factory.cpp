#include "api/document_factory.h"

namespace kdx {

std::unique_ptr<TKDXAbstractDocData> CreatePriceIndexes(const ConversionSettings& /*settings*/) { return nullptr; }

}  // namespace kdx

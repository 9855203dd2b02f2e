#include "model/document_factory.h"
#include "priceindexes/priceindexes.h"

namespace kdx {

std::unique_ptr<TKDXAbstractDocData> CreatePriceIndexes(const ConversionSettings& settings) {
  return std::make_unique<TPriceIndexes>(settings);
}

}  // namespace kdx

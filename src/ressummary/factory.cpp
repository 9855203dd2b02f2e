#include "model/document_factory.h"
#include "ressummary/ressummary.h"

namespace kdx {

std::unique_ptr<TKDXAbstractDocData> CreateResSummary(const ConversionSettings& settings) {
  return std::make_unique<TResSummary>(settings);
}

}  // namespace kdx

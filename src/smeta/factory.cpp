#include "model/document_factory.h"
#include "smeta/smeta.h"

namespace kdx {

std::unique_ptr<TKDXAbstractDocData> CreateSmeta(const ConversionSettings& settings) {
  return std::make_unique<TSmeta>(settings);
}

}  // namespace kdx

// One factory per document kind, each defined beside its kind; a kind this
// library does not convert yet answers nullptr.
#pragma once

#include <memory>

#include "model/document.h"
#include "xml/settings.h"

namespace kdx {

std::unique_ptr<TKDXAbstractDocData> CreateSmeta(const ConversionSettings& settings);
std::unique_ptr<TKDXAbstractDocData> CreateObjSmeta(const ConversionSettings& settings);
std::unique_ptr<TKDXAbstractDocData> CreateConsCalc(const ConversionSettings& settings);
std::unique_ptr<TKDXAbstractDocData> CreateCennik(const ConversionSettings& settings);
std::unique_ptr<TKDXAbstractDocData> CreatePriceIndexes(const ConversionSettings& settings);
std::unique_ptr<TKDXAbstractDocData> CreateResSummary(const ConversionSettings& settings);

}  // namespace kdx

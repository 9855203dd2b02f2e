// The factories of the document kinds: each kind defines its own beside its
// document's constructor, the driver picks one by the kind byte of the header.
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

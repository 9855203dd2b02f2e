// Builders of the bundled samples, one per document kind.
#pragma once

#include <string>

namespace kdx::samples {

std::string PriceList();
std::string PriceIndexes();
std::string ResSummary();
std::string ObjSmeta();
std::string ConsCalc();
std::string Smeta();

}  // namespace kdx::samples

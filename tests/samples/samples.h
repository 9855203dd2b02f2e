// Builders of the bundled samples, one per document kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kdx::samples {

std::string PriceList();
std::string PriceIndexes();
std::string ResSummary();
std::string ObjSmeta();
std::string ConsCalc();
std::string Smeta();
// A local estimate like the sample with the given number of positions (its
// chapters and acts grow with it), at the newest or a given file version.
std::string SmetaOfSize(size_t positions);
std::string SmetaOfSize(size_t positions, int32_t version);

}  // namespace kdx::samples

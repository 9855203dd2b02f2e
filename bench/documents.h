// Generated documents of growing size for the benchmark: the same shape at
// every size, so that time per byte can be compared across sizes.
#pragma once

#include <cstdint>
#include <string>

namespace kdx::bench {

// A price list of `resources` materials, 200 to a folder.
std::string PriceList(int resources);
// A price-index document of `indexes` indexes with three add-ons each, 50 to
// a folder, 20 folders to a section.
std::string PriceIndexes(int indexes);
// A local estimate of `positions` positions made of many small rows: per
// position about 1.3 coefficients, an act override, two current prices and a
// base price, a quantity given by a formula, price formulas, user data, an
// excluded work-type coefficient and a resource, every third one replacing
// another; at the file version given.
std::string SmallRowsEstimate(int positions, int32_t version);
// A local estimate of `positions` positions of about 24 resources each
// (labour, machines, materials; some with coefficients, act prices or a
// replaced resource) from a catalogue of 400 resources.
std::string ResourceEstimate(int positions);
// A resource summary of `resources` resources spread over local estimates of
// 2000 resources each, names and codes taken from shared lists.
std::string ResSummary(int resources);

}  // namespace kdx::bench

// Generated documents of growing size for the benchmark: the same shape at
// every size, so that time per byte can be compared across sizes.
#pragma once

#include <string>

namespace kdx::bench {

// A price list of `resources` materials, 200 to a folder.
std::string PriceList(int resources);
// A price-index document of `indexes` indexes with three add-ons each, 50 to
// a folder, 20 folders to a section.
std::string PriceIndexes(int indexes);
// A resource summary of `resources` resources spread over local estimates of
// 2000 resources each, names and codes taken from shared lists.
std::string ResSummary(int resources);

}  // namespace kdx::bench

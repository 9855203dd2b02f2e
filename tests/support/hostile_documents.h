// Documents built to cost the converter much more than their size: a text
// referenced from many small rows (each reference writes the whole text, six
// bytes a character where it is escaped), and lists whose rows name an item
// of a long list. The robustness tests build them small; the samples tool
// writes them at the size a hostile upload would have (make_samples --hostile).
#pragma once

#include <cstddef>
#include <string>

namespace kdx::test {

// A resource summary whose one local estimate holds `resources` materials of
// seven bytes, each naming the one shared name: `length` times `ch`.
std::string SharedNameSummary(size_t length, char ch, size_t resources);
// A local estimate whose catalogue entry has a caption and a code of `length`
// characters, named by `materials` materials of one position.
std::string CatalogueEntryEstimate(size_t length, size_t materials);
// A local estimate of `coefficients` work-type coefficients and `positions`
// positions, each excluding the last coefficient `exclusions` times (at most 255).
std::string ExcludedCoefficientEstimate(size_t coefficients, size_t positions, size_t exclusions);

}  // namespace kdx::test

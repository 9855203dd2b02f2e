// The bundled samples: each is what its builder makes today, converts, and
// fails cleanly when cut at any byte.
#include "samples/samples.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/builder.h"

namespace kdx::test {
namespace {

std::string ReadSample(const char* name) {
  std::ifstream in(std::filesystem::path(KDX2XML_SOURCE_DIR) / "examples" / name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct SampleCase {
  const char* file;
  std::string (*make)();
};

class SampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(SampleTest, IsCurrentConvertsAndFailsCleanlyWhenCut) {
  const std::string bytes = ReadSample(GetParam().file);
  ASSERT_FALSE(bytes.empty()) << GetParam().file << " is missing";
  EXPECT_EQ(bytes, GetParam().make()) << "regenerate with scripts/make-samples.sh";
  const Outcome whole = Convert(bytes);
  ASSERT_TRUE(whole.ok) << whole.failure;
  // Every cut of a small sample; of a large one every cut near both ends (the
  // headers and the closing lists) and a prime stride between, so that the
  // cost stays linear rather than growing with the square of the size.
  constexpr size_t kEveryCutUpTo = 16384;
  constexpr size_t kEnds = 2048;
  constexpr size_t kStride = 31;
  const bool small = bytes.size() <= kEveryCutUpTo;
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    const bool near_end = cut < kEnds || cut + kEnds >= bytes.size();
    if (!small && !near_end && cut % kStride != 0) continue;
    const Outcome part = Convert(bytes.substr(0, cut));
    ASSERT_FALSE(part.ok) << GetParam().file << " cut at " << cut << " converted";
    ASSERT_FALSE(part.failure.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, SampleTest,
                         ::testing::Values(SampleCase{"pricelist.kdx", samples::PriceList},
                                           SampleCase{"priceindexes.kdx", samples::PriceIndexes},
                                           SampleCase{"ressummary.kdx", samples::ResSummary},
                                           SampleCase{"objsmeta.kdx", samples::ObjSmeta},
                                           SampleCase{"conscalc.kdx", samples::ConsCalc},
                                           SampleCase{"smeta.kdx", samples::Smeta}),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace kdx::test

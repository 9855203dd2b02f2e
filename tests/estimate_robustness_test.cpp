// A mid-sized estimate (positions with labour, machines and materials,
// replaced resources, coefficients, act overrides of positions and resources,
// works, performers, linked positions, a defects list) damaged in every way
// one byte can be: cut at every byte it fails with a failure text; with any
// byte set to 0x00 or 0xFF or one of its bits 0 or 7 flipped it converts or
// fails with a failure text, never crashes, hangs or reads out of bounds (the
// sanitizer build of the tests watches memory and undefined behaviour). At
// the newest version and at one that keeps the labour per unit in the
// position, the resource prices before their record and the implementation
// as monthly records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>

#include "api/convert.h"
#include "samples/samples.h"
#include "support/builder.h"
#include "support/outcomes.h"

namespace kdx::test {
namespace {

// An estimate at a file version with its number of positions: few enough for
// the whole test to stay well within a minute in the release build and a
// couple of minutes with sanitizers (each position adds about five hundred
// bytes, each byte five conversions of the whole estimate).
struct Estimate {
  int32_t version;
  size_t positions;
};

// "" when the bytes convert, else "Class: message" of the failure; anything
// but the library's own failures escapes to the test.
std::string FailureOfConverting(const std::string& bytes) {
  return FailureOf([&] {
    ConvertDocument(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), Conventions());
  });
}

// A failure text names its class and says what went wrong.
bool Clean(const std::string& failure) {
  const size_t colon = failure.find(": ");
  return colon != std::string::npos && colon > 0 && colon + 2 < failure.size();
}

class EstimateRobustness : public ::testing::TestWithParam<Estimate> {};

TEST_P(EstimateRobustness, EveryCutFailsAndEveryByteChangeConvertsOrFails) {
  const std::string doc = samples::SmetaOfSize(GetParam().positions, GetParam().version);
  ASSERT_EQ(FailureOfConverting(doc), "");
  for (size_t cut = 0; cut < doc.size(); ++cut) {
    const std::string failure = FailureOfConverting(doc.substr(0, cut));
    ASSERT_TRUE(Clean(failure)) << "cut at " << cut << ": " << failure;
  }
  std::string changed = doc;
  size_t converted = 0, failed = 0;
  for (size_t at = 0; at < doc.size(); ++at) {
    const auto b = static_cast<uint8_t>(doc[at]);
    const uint8_t values[] = {0x00, 0xFF, uint8_t(b ^ 0x01), uint8_t(b ^ 0x80)};
    for (size_t v = 0; v < std::size(values); ++v) {
      const uint8_t value = values[v];
      if (value == b || std::find(values, values + v, value) != values + v) continue;
      changed[at] = static_cast<char>(value);
      const std::string failure = FailureOfConverting(changed);
      ASSERT_TRUE(failure.empty() || Clean(failure))
          << "byte " << at << " set to " << int(value) << ": " << failure;
      ++(failure.empty() ? converted : failed);
    }
    changed[at] = doc[at];
  }
  // Both outcomes occur: texts and amounts convert changed, markers and counts do not.
  EXPECT_GT(converted, 0u);
  EXPECT_GT(failed, 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, EstimateRobustness,
                         ::testing::Values(Estimate{0x0001015F, 20}, Estimate{0x0001013A, 4}),
                         [](const auto& info) {
                           std::ostringstream name;
                           name << "v0x" << std::hex << std::uppercase << info.param.version;
                           return name.str();
                         });

}  // namespace
}  // namespace kdx::test

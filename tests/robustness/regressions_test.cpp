// The fuzz regression folder replayed by the ordinary build: every input that
// ever failed a fuzz target, and the minimised corpus, either converts into
// well-formed output or fails with a library failure, through the driver and
// through the exports (under the sanitizer build, also without a memory fault
// or undefined operation). Then the findings, pinned with the outcome their
// fix gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_inputs.h"
#include "support/builder.h"
#include "support/smeta_builder.h"

namespace kdx::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(FuzzRegressions, EveryInputConvertsOrFailsCleanly) {
  const fs::path root = fs::path(KDX2XML_SOURCE_DIR) / "fuzz" / "regressions";
  for (const char* form : {"packed", "body"}) {
    size_t replayed = 0;
    for (const auto& entry : fs::directory_iterator(root / form)) {
      const std::string input = ReadFile(entry.path());
      const std::string packed =
          std::string(form) == "body" ? fuzz::DocumentForBody(Bytes(input), input.size()) : input;
      const char* fault = fuzz::DriverFault(Bytes(packed), packed.size());
      EXPECT_EQ(fault, nullptr) << entry.path() << ": " << fault;
      fault = fuzz::ApiFault(Bytes(packed), packed.size());
      EXPECT_EQ(fault, nullptr) << entry.path() << " through the exports: " << fault;
      ++replayed;
    }
    EXPECT_GT(replayed, 0u) << "no inputs in " << (root / form);
  }
}

// Factors of old files made as the product of two stored factors (design and
// work-type indexes) can leave the 32-bit range of a factor; the conversion of
// such a product was undefined. They are held at the ends of the range.
TEST(FuzzFindings, LegacyIndexProductsBeyondTheFactorRangeAreHeldAtItsEnds) {
  smeta::Content c;
  c.indexes_pos.clear();
  c.legacy_design_indexes = {{.caption = "Больше", .a = INT32_MAX, .b = INT32_MAX},
                             {.caption = "Меньше", .a = INT32_MIN, .b = INT32_MAX},
                             {.caption = "На краю", .a = 21474836, .b = 1000000}};
  c.legacy_work_type_indexes = {
      {.caption = "Вр", .a = INT32_MAX, .b = INT32_MIN, .first = {{10, 0, 0}}}};
  const Outcome out = Convert(PackSmeta(c, 0x1011C));
  ASSERT_TRUE(out.ok) << out.failure;
  for (const char* index :
       {"Code=\"Констр_1\" SMR=\"214748,3647\"", "Code=\"Констр_2\" SMR=\"-214748,3648\"",
        "Code=\"Констр_3\" SMR=\"214748,36\"" /* in range: as it is */,
        "Code=\"Вр_1\" SMR=\"-214748,3648\"", "Code=\"Вр_6\" SMR=\"-214748,3648\""}) {
    EXPECT_NE(out.xml.find(index), std::string::npos) << index << "\n" << out.xml;
  }
}

}  // namespace
}  // namespace kdx::test

// Small documents whose XML would be many times their size: a long text
// referenced from many small rows (escaped, six bytes a character, or plain).
// With a bound on the XML each fails with the named failure as the bound is
// reached: fast, and with a peak heap within the input and 2.5 times the
// bound. Through the exports they fail InitKDX instead of handing over a size
// GetDataSize could not state, and what converts states its exact size.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "api/convert.h"
#include "filer/codepage.h"
#include "filer/errors.h"
#include "heap_meter.h"
#include "kdx2xml/kdx2xml.h"
#include "support/builder.h"
#include "support/hostile_documents.h"

namespace kdx::test {
namespace {

constexpr size_t kBound = size_t{4} << 20;
// A conversion's start (tables, the XML document) and the heap's own rounding.
constexpr size_t kHeapFixed = size_t{2} << 20;
constexpr double kCpuSecondsFixed = 0.02 * kSlowdown;
constexpr double kCpuSecondsPerBoundByte = 20e-9 * kSlowdown;

struct Shape {
  const char* name;
  std::function<std::string(size_t scale)> make;  // scale 1: the XML passes the bound
};

const Shape kShapes[] = {
    {"resource summary: a name of 3,000 '\"' named by resources of 7 bytes",
     [](size_t scale) { return SharedNameSummary(3000, '"', 2000 / scale); }},
    {"resource summary: a plain name of 3,000 characters named likewise",
     [](size_t scale) { return SharedNameSummary(3000, 'a', 20000 / scale); }},
    {"local estimate: a catalogue entry of 3,000-character texts named by materials",
     [](size_t scale) { return CatalogueEntryEstimate(3000, 2000 / scale); }},
};

std::string BoundFailure(size_t bound) {
  return "Out of memory: the XML would be larger than " + std::to_string(bound) + " bytes";
}

TEST(HostileShapes, FailAtTheBoundFastAndSmall) {
  ConversionSettings settings = TestSettings();
  settings.max_xml_size = kBound;
  std::printf("%-80s %8s %8s %10s\n", "shape", "bytes", "cpu ms", "peak KiB");
  for (const Shape& shape : kShapes) {
    const std::string packed = shape.make(1);
    const HeapMeter meter;
    const double start = ThreadCpuSeconds();
    try {
      ConvertDocument(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(), settings);
      ADD_FAILURE() << shape.name << ": converted";
    } catch (const KdxError& e) {
      EXPECT_EQ(std::string(e.ClassName()), "EOutOfMemory") << shape.name;
      EXPECT_EQ(e.Message(), BoundFailure(kBound)) << shape.name;
    }
    const double cpu = ThreadCpuSeconds() - start;
    const size_t peak = meter.Read().peak;
    std::printf("%-80s %8zu %8.1f %10zu\n", shape.name, packed.size(), cpu * 1e3, peak >> 10);
    EXPECT_LE(cpu, kCpuSecondsFixed + kCpuSecondsPerBoundByte * kBound) << shape.name;
    EXPECT_LE(peak, packed.size() + kBound * 5 / 2 + kHeapFixed) << shape.name;
  }
}

// Sets an environment variable for the life of the object.
struct ScopedEnv {
  const char* name;
  ScopedEnv(const char* n, const std::string& value) : name(n) { setenv(n, value.c_str(), 1); }
  ~ScopedEnv() { unsetenv(name); }
};

TEST(HostileShapes, ThroughTheExportsFailInitOrStateTheExactSize) {
  const std::string bound = std::to_string(kBound);
  const ScopedEnv env("KDX2XML_MAX_XML_SIZE", bound);
  for (const Shape& shape : kShapes) {
    const std::string hostile = shape.make(1);
    EXPECT_EQ(InitKDX(hostile.data(), static_cast<int32_t>(hostile.size())), 0u) << shape.name;
    const kdx_char16* text = GetLastExceptionText();
    ASSERT_NE(text, nullptr) << shape.name;
    EXPECT_EQ(Utf16ToUtf8(text), "EOutOfMemory: " + BoundFailure(kBound)) << shape.name;

    // A twentieth of the rows stays below the bound: the size stated is the XML's.
    const std::string smaller = shape.make(20);
    const KDXHandle handle = InitKDX(smaller.data(), static_cast<int32_t>(smaller.size()));
    ASSERT_NE(handle, 0u) << shape.name;
    const int32_t size = GetDataSize(handle);
    ASSERT_GT(size, 0) << shape.name;
    EXPECT_LE(static_cast<size_t>(size), kBound) << shape.name;
    std::string xml(static_cast<size_t>(size), '\0');
    EXPECT_EQ(GetData(handle, xml.data(), static_cast<uint32_t>(size)),
              static_cast<uint32_t>(size));
    EXPECT_TRUE(xml.ends_with("</Document>\r\n")) << shape.name;
    ReleaseKDXHandle(handle);
  }
}

}  // namespace
}  // namespace kdx::test

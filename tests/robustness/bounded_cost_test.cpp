// Adversarial shapes convert (or fail) within a time and a heap bounded by a
// fixed multiple of their size: nesting at the cap, huge counts and string
// lengths over little data, many tiny rows, and the estimate's deep and wide
// parts. A cost that grows faster than the input, or an allocation a count
// claims before its bytes are there, breaks the bound.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "api/convert.h"
#include "filer/errors.h"
#include "heap_meter.h"
#include "model/row.h"
#include "support/builder.h"
#include "support/smeta_builder.h"

namespace kdx::test {
namespace {

// The bounds: CPU time and peak heap per input byte, over a fixed allowance
// for the start of any conversion (code page tables, the XML document, the
// per-level room of nested lists). The sanitizer builds run several times
// slower.
#if defined(KDX_TEST_SANITIZED)
constexpr double kSlowdown = 20;
#else
constexpr double kSlowdown = 1;
#endif
constexpr double kCpuSecondsPerByte = 2e-6 * kSlowdown;
constexpr double kCpuSecondsFixed = 0.05 * kSlowdown;
constexpr double kHeapPerByte = 64;
constexpr size_t kHeapFixed = size_t{16} << 20;

// ---- price lists (kind 3) ----

constexpr int32_t kPriceListVersion = 0x00010005;

// A price list whose comment is the given string bytes and whose materials
// group is the given count and items.
std::string PriceList(const DocBuilder& materials,
                      const DocBuilder& comment = DocBuilder().Str("")) {
  DocBuilder b;
  b.Append(comment).Date(2000, 1, 1).Str("").Date(2023, 1, 1).Str("");
  b.Byte(15).I16(0);  // visible columns, no units
  b.Byte(0b0100).Append(materials);
  b.ListHead(soloStoreCaption, 0).I16(0);  // signatures, variables
  return PackDocument(3, "KD_Cennk", kPriceListVersion, b.Bytes());
}

// A material with an empty name and code and no units: 10 bytes.
DocBuilder& TinyResource(DocBuilder& b) { return b.Byte(0).Head("").Str("").I16(0xFFFF).I16(0); }

std::string ManyTinyResources(int count) {
  DocBuilder group;
  group.I32(count);
  for (int i = 0; i < count; ++i) TinyResource(group);
  return PriceList(group);
}

// A chain of folders `levels` deep, each claiming `claimed` items, ending in
// one resource (and, with `tail`, that many bytes of a string cut short).
std::string NestedFolders(int levels, int32_t claimed, size_t tail = 0) {
  DocBuilder group;
  group.I32(claimed);
  for (int i = 0; i < levels; ++i) group.Byte(1).Head("F").I32(claimed);
  if (tail) {
    group.Byte(0).Head().Byte(8).I32(static_cast<int32_t>(tail + 1)).Raw(std::string(tail, 'x'));
  } else {
    TinyResource(group);
  }
  return PriceList(group);
}

// ---- local estimates (kind 0) ----

std::string EstimateOfHeaders(int chapters, int headers_each) {
  smeta::Content c;
  c.chapters.clear();
  for (int i = 0; i < chapters; ++i) {
    smeta::Chapter chapter{.caption = "", .sys_id = i + 1};
    for (int h = 0; h < headers_each; ++h) chapter.items.push_back(smeta::Header(""));
    c.chapters.push_back(std::move(chapter));
  }
  return PackSmeta(c, smeta::kNewest);
}

struct Shape {
  const char* name;
  std::function<std::string()> make;
  bool converts;
};

TEST(BoundedCost, AdversarialShapesStayWithinAFixedMultipleOfTheirSize) {
  const Shape shapes[] = {
      {"price list: 100,000 tiny resources", [] { return ManyTinyResources(100000); }, true},
      {"price list: folders nested at the cap", [] { return NestedFolders(kMaxRowNesting - 1, 1); },
       true},
      {"price list: 100,000 folders nested beyond the cap", [] { return NestedFolders(100000, 1); },
       false},
      {"price list: every nested folder claims 134,217,727 items",
       [] { return NestedFolders(kMaxRowNesting - 1, 134217727, 4096); }, false},
      {"price list: a count of 134,217,727 over 1 KiB",
       [] { return PriceList(DocBuilder().I32(134217727).Raw(std::string(1024, '\0'))); }, false},
      {"price list: a comment claiming 2 GiB",
       [] { return PriceList(DocBuilder().I32(0), DocBuilder().Byte(8).I32(INT32_MAX)); }, false},
      {"price list: a comment of 1 MiB",
       [] {
         return PriceList(DocBuilder().I32(0),
                          DocBuilder().StrTagged(8, std::string(size_t{1} << 20, 'a')));
       },
       true},
      {"estimate: 40,000 headers in 400 chapters", [] { return EstimateOfHeaders(400, 100); },
       true},
  };

  std::printf("%-60s %10s %9s %8s %10s %7s\n", "shape", "bytes", "cpu ms", "ns/byte", "peak KiB",
              "x size");
  for (const Shape& shape : shapes) {
    const std::string packed = shape.make();
    const auto convert = [&] {
      try {
        ConvertDocument(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(),
                        Conventions());
        return true;
      } catch (const KdxError&) {
        return false;
      }
    };
    ASSERT_EQ(convert(), shape.converts) << shape.name;  // also warms up the tables

    const HeapMeter meter;
    const double start = ThreadCpuSeconds();
    convert();
    const double cpu = ThreadCpuSeconds() - start;
    const HeapUse heap = meter.Read();

    const double size = static_cast<double>(packed.size());
    std::printf("%-60s %10zu %9.2f %8.1f %10zu %7.1f\n", shape.name, packed.size(), cpu * 1e3,
                cpu * 1e9 / size, heap.peak >> 10, static_cast<double>(heap.peak) / size);
    EXPECT_LE(cpu, kCpuSecondsFixed + kCpuSecondsPerByte * size) << shape.name;
    EXPECT_LE(static_cast<double>(heap.peak), static_cast<double>(kHeapFixed) + kHeapPerByte * size)
        << shape.name;
  }
}

}  // namespace
}  // namespace kdx::test

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
constexpr double kCpuSecondsPerByte = 2e-6 * kSlowdown;
constexpr double kCpuSecondsFixed = 0.05 * kSlowdown;
constexpr double kHeapPerByte = 80;
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

// An estimate at the version whose one chapter holds the positions.
std::string EstimateOfPositions(int32_t version, std::vector<smeta::Position> positions) {
  smeta::Content c;
  smeta::Chapter chapter{.caption = "", .sys_id = 1};
  for (auto& p : positions) chapter.items.push_back(smeta::PositionItem(std::move(p)));
  c.chapters = {std::move(chapter)};
  return PackSmeta(c, version);
}

// A material that replaced a material that replaced ... `depth` resources in all.
smeta::PositionResource ReplacedChain(int depth) {
  smeta::PositionResource r{.type = smeta::kMaterial};
  for (int i = 1; i < depth; ++i) {
    smeta::PositionResource outer{.type = smeta::kMaterial};
    outer.replaced.push_back(std::move(r));
    r = std::move(outer);
  }
  return r;
}

std::string EstimateWithChain(int depth) {
  return EstimateOfPositions(smeta::kNewest,
                             {smeta::Position{.resources = {ReplacedChain(depth)}}});
}

// The longest chain of replaced resources that converts: the nesting cap less
// the levels of the lists around the resource.
int LongestChain() {
  static const int longest = [] {
    for (int depth = kMaxRowNesting; depth > 0; --depth) {
      if (Convert(EstimateWithChain(depth)).ok) return depth;
    }
    return 0;
  }();
  return longest;
}

// Files up to 0x10144 keep what positions did per month as 8-byte records, up to
// 65535 a position; every month of the 201 years they can name makes an act.
constexpr int32_t kLastPeriodRecords = 0x10144;
std::string EstimateOfPeriodRecords(int positions, int records_each) {
  std::vector<smeta::Position> list(static_cast<size_t>(positions));
  for (auto& p : list) {
    for (int i = 0; i < records_each; ++i) {
      p.periods.push_back({.month = i % 12 + 1, .year = 1900 + i / 12 % 201, .quantity = 1.5});
    }
  }
  return EstimateOfPositions(kLastPeriodRecords, std::move(list));
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
      {"estimate: 20,000 positions",
       [] { return EstimateOfPositions(smeta::kNewest, std::vector<smeta::Position>(20000)); },
       true},
      {"estimate: a chain of replaced resources at the cap",
       [] { return EstimateWithChain(LongestChain()); }, true},
      {"estimate: a chain of replaced resources beyond the cap",
       [] { return EstimateWithChain(LongestChain() + 1); }, false},
      {"estimate: 8 positions of 65,535 period records",
       [] { return EstimateOfPeriodRecords(8, 65535); }, true},
      {"estimate: period records of all 2,412 months, an act each",
       [] { return EstimateOfPeriodRecords(1, 12 * 201); }, true},
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

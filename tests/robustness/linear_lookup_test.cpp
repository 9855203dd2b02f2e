// Rows that name an item of another list (an excluded coefficient, a work
// type, an index by code, a position by system ID, a legacy index entry, the
// cost a returned amount follows) find it in one step, however long that list:
// each shape, many rows naming the last or a missing item of a long list,
// converts within a few times a normal estimate's CPU time per byte (input and
// XML). A search per row makes these shapes grow with the square of their size;
// so does numbering every later act again each time an older file's monthly
// records make an act that goes before them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "api/convert.h"
#include "heap_meter.h"
#include "samples/samples.h"
#include "support/builder.h"
#include "support/hostile_documents.h"
#include "support/smeta_builder.h"

namespace kdx::test {
namespace {

// How much slower per byte than a normal estimate a shape may be.
constexpr double kMostRatio = 5;
constexpr int kRuns = 3;

// The least CPU time of a few conversions (the XML size is kept in xml).
double CpuSeconds(const std::string& packed, size_t& xml) {
  double least = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    const double start = ThreadCpuSeconds();
    xml = ConvertDocument(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(),
                          Conventions())
              .size();
    least = std::min(least, ThreadCpuSeconds() - start);
  }
  return least;
}

// One group of work types with IDs 1 to n in each list of the catalogue.
std::vector<smeta::WorkTypeGroup> WorkTypes(int n) {
  smeta::WorkTypeGroup group{.caption = "", .id = 1};
  for (int id = 1; id <= n; ++id) group.items.push_back({.caption = "", .id = id});
  return {group};
}

std::string OneChapter(smeta::Content& c, std::vector<smeta::Position> positions, int32_t version) {
  smeta::Chapter chapter{.caption = "", .sys_id = 1};
  for (auto& p : positions) chapter.items.push_back(smeta::PositionItem(std::move(p)));
  c.chapters = {std::move(chapter)};
  return PackSmeta(c, version);
}

// n positions naming work type 0, which none of n work types has.
std::string MissingWorkTypes(int n) {
  smeta::Content c;
  c.work_types84 = c.work_types = WorkTypes(n);
  return OneChapter(c, std::vector<smeta::Position>(static_cast<size_t>(n)), smeta::kNewest);
}

// n positions naming by code an index that none of n indexes has.
std::string MissingIndexCodes(int n) {
  smeta::Content c;
  c.indexes_pos.clear();
  for (int i = 0; i < n; ++i) c.indexes_pos.push_back({.item = {"", "И" + std::to_string(i)}});
  return OneChapter(c,
                    std::vector<smeta::Position>(static_cast<size_t>(n), {.index8401_code = "Н"}),
                    smeta::kNewest);
}

// n positions with system IDs 1 to n; a defect whose n positions name the last.
std::string DefectsOfTheLastPosition(int n) {
  smeta::Content c;
  std::vector<smeta::Position> positions(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) positions[static_cast<size_t>(i)].sys_id = i + 1;
  c.defects = {.chapters = {{.caption = "",
                             .items = {{.caption = "",
                                        .positions = std::vector<smeta::DefectPosition>(
                                            static_cast<size_t>(n), {.pos_id = n})}}}}};
  return OneChapter(c, std::move(positions), smeta::kNewest);
}

// A file before 0x10133 whose n work types take their legacy index from n
// entries keyed by work type, in reverse order.
std::string LegacyWorkTypeIndexes(int n) {
  smeta::Content c;
  c.work_types = WorkTypes(n);
  c.vr_base_calc = 1;
  smeta::LegacyItem item{.caption = ""};
  for (int id = n; id >= 1; --id) item.second.push_back({.key = id, .first = 20000});
  c.legacy_work_type_indexes = {item};
  return OneChapter(c, {}, 0x00010132);
}

// A file of the oldest form whose first chapter of additional costs holds n
// costs with a returned amount, each followed by the cost of its return.
std::string ReturnedAmounts(int n) {
  smeta::Content c;
  c.add_zatrs = {};
  c.add_zatrs[0].assign(static_cast<size_t>(n),
                        {.caption = "", .options = 0x0004, .value = "1", .returned = "1"});
  return OneChapter(c, {}, smeta::kOldest);
}

// A file of 0x10144 whose n positions each name every month of the years
// 1900 to 2100, newest first: every act the reader makes for a month goes
// before all those made so far.
std::string MonthsNewestFirst(int n) {
  smeta::Content c;
  smeta::Position position;
  for (int year = 2100; year >= 1900; --year) {
    for (int month = 12; month >= 1; --month)
      position.periods.push_back({.month = month, .year = year, .quantity = 1});
  }
  return OneChapter(c, std::vector<smeta::Position>(static_cast<size_t>(n), position), 0x00010144);
}

struct Shape {
  const char* name;
  std::function<std::string()> make;
};

TEST(LinearLookups, RowsNamingItemsOfLongListsCostNoMoreThanANormalEstimate) {
  size_t normal_xml = 0;
  const std::string normal = samples::SmetaOfSize(1000);
  const double normal_cost =
      CpuSeconds(normal, normal_xml) / static_cast<double>(normal.size() + normal_xml);

  const Shape shapes[] = {
      {"400 positions each excluding the last of 8,000 coefficients 255 times",
       [] { return ExcludedCoefficientEstimate(8000, 400, 255); }},
      {"20,000 positions naming a work type none of 20,000 has",
       [] { return MissingWorkTypes(20000); }},
      {"20,000 positions naming an index code none of 20,000 has",
       [] { return MissingIndexCodes(20000); }},
      {"20,000 defect positions naming the last of 20,000 positions",
       [] { return DefectsOfTheLastPosition(20000); }},
      {"20,000 work types finding legacy index entries among 20,000",
       [] { return LegacyWorkTypeIndexes(20000); }},
      {"30,000 additional costs with returned amounts", [] { return ReturnedAmounts(30000); }},
      {"a position naming 2,412 months newest first", [] { return MonthsNewestFirst(1); }},
  };
  std::printf("%-72s %9s %9s %8s %6s\n", "shape", "bytes", "XML", "cpu ms", "ratio");
  std::printf("%-72s %9zu %9zu %8.1f %6.1f\n", "a normal estimate of 1,000 positions",
              normal.size(), normal_xml,
              normal_cost * 1e3 * static_cast<double>(normal.size() + normal_xml), 1.0);
  for (const Shape& shape : shapes) {
    const std::string packed = shape.make();
    size_t xml = 0;
    const double cpu = CpuSeconds(packed, xml);
    const double ratio = cpu / static_cast<double>(packed.size() + xml) / normal_cost;
    std::printf("%-72s %9zu %9zu %8.1f %6.1f\n", shape.name, packed.size(), xml, cpu * 1e3, ratio);
    EXPECT_LE(ratio, kMostRatio) << shape.name;
  }
}

}  // namespace
}  // namespace kdx::test

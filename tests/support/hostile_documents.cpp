#include "support/hostile_documents.h"

#include <cstdint>

#include "support/ressummary_builder.h"
#include "support/smeta_builder.h"

namespace kdx::test {

std::string SharedNameSummary(size_t length, char ch, size_t resources) {
  using namespace ressummary;
  Summary s{.names = {std::string(length, ch)}, .ls_count = 1};
  s.ls.Append(Source("ЛС"));
  s.ls.I32(0).I32(0).I32(static_cast<int32_t>(resources));  // labour, machines, materials
  const DocBuilder record = ResourceRecord({.name = 0});
  for (size_t i = 0; i < resources; ++i) s.ls.Append(record);
  s.ls.I32(0);  // equipment
  return s.Packed();
}

std::string CatalogueEntryEstimate(size_t length, size_t materials) {
  smeta::Content c;
  c.resources = {{std::string(length, 'x'), std::string(length, '"'), "т"}};
  smeta::Position position{.caption = "П"};
  position.resources.assign(materials, smeta::PositionResource{.type = smeta::kMaterial});
  c.chapters = {{.caption = "", .sys_id = 1, .items = {smeta::PositionItem(std::move(position))}}};
  return PackSmeta(c, smeta::kNewest);
}

std::string ExcludedCoefficientEstimate(size_t coefficients, size_t positions, size_t exclusions) {
  smeta::Content c;
  c.work_type_ks.assign(coefficients, smeta::WorkTypeCoefficient{});
  const std::vector<int16_t> excluded(exclusions, static_cast<int16_t>(coefficients - 1));
  smeta::Chapter chapter{.caption = "", .sys_id = 1};
  for (size_t i = 0; i < positions; ++i) {
    chapter.items.push_back(smeta::PositionItem({.caption = "П", .excluded = excluded}));
  }
  c.chapters = {std::move(chapter)};
  return PackSmeta(c, smeta::kNewest);
}

}  // namespace kdx::test

// The estimate's value texts: names of the bits of its option sets and cost
// parts, and the overhead and profit rates with the cost parts they apply to.
#pragma once

#include <cstdint>
#include <string>

#include "xml/values.h"

namespace kdx {

std::string CostPartsToText(uint8_t set);
std::string KOptionsToText(uint16_t set);
std::string SmetaOptionsToText(uint32_t set);
std::string ItogOptionsToText(uint8_t set);
std::string ResourceOptionsToText(uint16_t set);
std::string ResourceAttribsToText(uint8_t set);
std::string PositionOptionsToText(uint16_t set);
std::string PositionDbFlagsToText(uint8_t set);

// Overhead and profit rates with the cost parts they apply to.
struct TNaclPlan {
  int32_t Nacl = 0;  // percentage x 10000
  int32_t Plan = 0;  // percentage x 10000
  uint8_t PlanMask = 0;
  uint8_t NaclMask = 0;
};
// child_name may be empty: the attributes then go on the element itself.
void WriteNaclPlan(XmlElement e, const char* child_name, const TNaclPlan& value);

}  // namespace kdx

// The chapter numbers of the consolidated calculation that an estimate or an
// object estimate goes into: construction, restoration, roads.
#pragma once

#include <cstdint>

#include "xml/values.h"

namespace kdx {

inline void WriteCCChapter(XmlElement e, uint8_t cons, uint8_t rec, uint8_t road) {
  XmlElement c = e.AppendChild("CCChapter");
  WriteAttrInt(c, "Cons", cons, 0);
  WriteAttrInt(c, "Rec", rec, 0);
  WriteAttrInt(c, "Road", road, 0);
}

}  // namespace kdx

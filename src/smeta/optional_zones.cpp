#include "smeta/optional_zones.h"

namespace kdx {

void TSmetaOptionalZone::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FRegionCode = filer.ReadInt32();
  FRegionCaption = filer.ReadStringView();
  FZoneNumber = filer.Read_Byte();
  FZoneCaption = filer.ReadStringView();
}

void TSmetaOptionalZone::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  WriteAttrInt(element, "RegionID", FRegionCode, 0);
  WriteAttrStr(element, "RegionName", FRegionCaption);
  WriteAttrInt(element, "ZoneID", FZoneNumber, 0);
  WriteAttrStr(element, "ZoneName", FZoneCaption);
}

}  // namespace kdx

#include "smeta/acts.h"

#include "smeta/coefficients.h"

namespace kdx {
namespace {

// File versions that changed the act record.
constexpr int32_t kVerActAddZatrs = 0x00010147;     // additional costs
constexpr int32_t kVerActIndexes = 0x00010148;      // own add-on types and index lists
constexpr int32_t kVerActIndexesMode = 0x0001014A;  // own index mode and common indexes
constexpr int32_t kVerActSignatures = 0x0001014D;
constexpr int32_t kVerActCommonIndexR = 0x00010157;
constexpr int32_t kVerActMtsnRates = 0x0001015F;  // current rates on machinists' wages

}  // namespace

TSmetaImlpemAct::TSmetaImlpemAct(TKDXAbstractRow* owner)
    : TKDXAbstractRow(owner),
      FIndexesAddOnTypes(this),
      FIndexesPos(this),
      FIndexesRes(this),
      FCommonIndexSmr(this, smrimBlz),
      FCommonIndexSmrLz(this, smrimAlz),
      FCommonIndexRes(this, smrimRes),
      FAddZatrs(this),
      FActSignatures(this) {
  if (const auto* source = FindOwnerOf<ISmetaIndexesModeSource>(*this)) {
    FIndexesMode = source->SmetaIndexesMode();
  }
}

void TSmetaImlpemAct::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const int32_t version = GetFileVersion();
  FNumber = filer.ReadString();
  FMakingDate = filer.ReadDbl64();
  FYear = filer.ReadInt16();
  FMonth = filer.ReadInt16();
  FDayStart = filer.ReadInt16();
  FDayFinish = filer.ReadInt16();
  if (version >= kVerActIndexes) {
    FIndexesAddOnTypes.Load(filer);
    FIndexesPos.Load(filer);
    FIndexesRes.Load(filer);
  }
  if (version >= kVerActIndexesMode) {
    FIndexesMode = filer.Read_Byte();
    FCommonIndexSmrLz.Load(filer);
    FCommonIndexSmr.Load(filer);
  }
  if (version >= kVerActAddZatrs) FAddZatrs.Load(filer);
  if (version >= kVerActSignatures) FActSignatures.Load(filer);
  if (version >= kVerActCommonIndexR) FCommonIndexRes.Load(filer);
  if (version >= kVerActMtsnRates) {
    FMtsnNaklZpmCurr = filer.ReadInt32();
    FMtsnPlanZpmCurr = filer.ReadInt32();
  }
}

void TSmetaImlpemAct::XMLSave(XmlElement& element) {
  if (!XMLSaveRow(element)) return;
  const auto* list = dynamic_cast<const TSmetaImlpemActList*>(FOwner);
  WriteAttrInt(element, "ActIndex", list ? list->IndexOf(this) : -1, -1);
  WriteAttrStr(element, "Number", FNumber);
  WriteAttrDateDef(element, "MakingDate", FMakingDate, 0);
  WriteAttrInt(element, "Year", FYear, 0);
  WriteAttrInt(element, "Month", FMonth, 0);
  WriteAttrInt(element, "DayStart", FDayStart, 0);
  WriteAttrInt(element, "DayFinish", FDayFinish, 0);
  if (FMtsnNaklZpmCurr != 0 || FMtsnPlanZpmCurr != 0) {
    XmlElement& rates = element.AppendChild("MtsnNPZpm");
    WriteAttrCurr(rates, "NC", Currency{FMtsnNaklZpmCurr}, Currency{});
    WriteAttrCurr(rates, "PC", Currency{FMtsnPlanZpmCurr}, Currency{});
  }
  static const NameTable kIndexesModes{"None", "PosOne", "Total", "Smr"};
  XmlElement& indexes = element.AppendChild("Indexes");
  WriteAttrStr(indexes, "IndexesMode", kIndexesModes[FIndexesMode]);
  FIndexesAddOnTypes.XMLSaveToChild(indexes);
  FIndexesPos.XMLSaveToChild(indexes);
  FIndexesRes.XMLSaveToChild(indexes);
  // The act's own common index of resources is kept but not written.
  FCommonIndexSmr.XMLSaveToChild(indexes);
  FCommonIndexSmrLz.XMLSaveToChild(indexes);
  FAddZatrs.XMLSaveToChild(element);
  FActSignatures.XMLSaveToChild(element);
}

int TSmetaImlpemActList::IndexOf(const TKDXAbstractRow* act) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i].get() == act) return static_cast<int>(i);
  }
  return -1;
}

void TSmetaImlpemActList::ReadData(TKdFiler& filer) {
  FCurrentAct = nullptr;
  ReadListBody(filer);
  FCurrentAct = Entry(filer.ReadInt32());
  FLoadedItemsCount = Count();
}

void TSmetaImlpemActList::XMLSave(XmlElement& element) {
  XMLSaveList(element);
  WriteAttrInt(element, "Index", IndexOf(FCurrentAct), -1);
}

}  // namespace kdx

#include "smeta/vidrab.h"

#include "smeta/value_texts.h"

namespace kdx {
namespace {

// File versions that changed the records of the catalogue.
constexpr int32_t kVerOsColumn = 0x0001011B;
constexpr int32_t kVerIndexCode = 0x00010135;
constexpr int32_t kVerCatalogHead = 0x0001013B;
constexpr int32_t kVerTwoMethodTexts = 0x00010141;
constexpr int32_t kVerThreeMethodTexts = 0x00010142;
constexpr int32_t kVerCurrRates = 0x00010152;

const std::string& CatalogDefaultCaption() {
  static const std::string text = Cp("Основной справочник видов работ");
  return text;
}

}  // namespace

// ---- work type ----

void TKDXSmetaVidRab::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const int32_t version = filer.FileVersion();
  FSys_ID = filer.ReadInt32();
  FNacl = filer.ReadInt32();
  FPlan = filer.ReadInt32();
  const uint16_t mask = filer.ReadUInt16();
  FMask[0] = static_cast<uint8_t>(mask & 0xFF);
  FMask[1] = static_cast<uint8_t>(mask >> 8);
  if (version >= kVerOsColumn) FOsColumn = filer.Read_Byte();
  if (version >= kVerIndexCode) FPriceIndexCode = filer.ReadStringView();
  if (version >= kVerTwoMethodTexts) {
    const int methods = version >= kVerThreeMethodTexts ? 3 : 2;
    for (int m = 0; m < methods; ++m) {
      FNaclK[static_cast<size_t>(m)] = filer.ReadStringView();
      FPlanK[static_cast<size_t>(m)] = filer.ReadStringView();
    }
  }
  if (version >= kVerCurrRates) {
    FNaclCurr = filer.ReadInt32();
    FPlanCurr = filer.ReadInt32();
  }
}

void TKDXSmetaVidRab::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  SetAttrInt(element, "ID", FSys_ID);
  WriteAttrCurr(element, "Nacl", Currency{FNacl}, Currency{});
  SetAttr(element, "NaclMask", CostPartsToText(NaclMask()));
  WriteAttrCurr(element, "Plan", Currency{FPlan}, Currency{});
  SetAttr(element, "PlanMask", CostPartsToText(PlanMask()));
  WriteAttrCurr(element, "NaclCurr", Currency{FNaclCurr}, Currency{});
  WriteAttrCurr(element, "PlanCurr", Currency{FPlanCurr}, Currency{});
  // Column letters of the object estimate; column 0 is the default and a
  // value beyond the known columns writes nothing.
  static const NameTable columns{"", "М", "О", "П"};
  if (FOsColumn != 0) WriteAttrStr(element, "OsColumn", columns[FOsColumn]);
  static constexpr const char* kNaclNames[kCalcMethods] = {"NKB", "NKI", "NKR"};
  static constexpr const char* kPlanNames[kCalcMethods] = {"PNB", "PKI", "PKR"};
  for (size_t m = 0; m < kCalcMethods; ++m) {
    WriteAttrStr(element, kNaclNames[m], FNaclK[m]);
    WriteAttrStr(element, kPlanNames[m], FPlanK[m]);
  }
  WriteAttrStr(element, "IndexCode", FPriceIndexCode);
}

TKDXSmetaVidRabGroup* TKDXSmetaVidRab::Group() const {
  return dynamic_cast<TKDXSmetaVidRabGroup*>(FOwner);
}

std::string_view TKDXSmetaVidRab::PriceIndexCode() const {
  if (!FPriceIndexCode.empty()) return FPriceIndexCode;
  const TKDXSmetaVidRabGroup* group = Group();
  return group ? std::string_view(group->FPriceIndexCode) : std::string_view();
}

// ---- group ----

void TKDXSmetaVidRabGroup::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FSysID = filer.ReadInt32();
  ReadListBody(filer);
  if (filer.FileVersion() >= kVerIndexCode) FPriceIndexCode = filer.ReadStringView();
}

void TKDXSmetaVidRabGroup::XMLSave(XmlElement element) {
  CheckXMLTag(element);
  WriteAttrStr(element, "Caption", FCaption);
  SetAttrInt(element, "ID", FSysID);
  WriteAttrStr(element, "IndexCode", FPriceIndexCode);
  XMLSaveItems(element);
}

// ---- list of groups ----

void TKDXSmetaVidRabs::ReadData(TKdFiler& filer) {
  FById.clear();
  FByIdMade = false;
  ReadListBody(filer);
}

TKDXSmetaVidRab* TKDXSmetaVidRabs::FindVidRab(int32_t id) const {
  if (!FByIdMade) {
    for (size_t g = 0; g < Count(); ++g) {
      const TKDXSmetaVidRabGroup* group = At(g);
      // The first work type of an ID stays.
      for (size_t i = 0; i < group->Count(); ++i)
        FById.emplace(group->At(i)->FSys_ID, group->At(i));
    }
    FByIdMade = true;
  }
  const auto found = FById.find(id);
  return found == FById.end() ? nullptr : found->second;
}

// ---- catalogue ----

std::string_view TSmetaVidRabsCatalog::DisplayCaption() const {
  return FCaption.empty() ? std::string_view(CatalogDefaultCaption()) : std::string_view(FCaption);
}

void TSmetaVidRabsCatalog::ReadData(TKdFiler& filer) {
  if (filer.FileVersion() >= kVerCatalogHead) ReadRowHead(filer);
  FItems[vr1984].Load(filer);
  FItems[vr2001].Load(filer);
}

void TSmetaVidRabsCatalog::XMLSave(XmlElement element) {
  CheckXMLTag(element);
  WriteAttrStr(element, "Caption", DisplayCaption());
  // The 2001 list comes first; both lists are written even when empty.
  static const std::string types[2] = {Cp("Виды работ 1984г"), Cp("Виды работ 2001г")};
  for (TSmetaVidRabType type : {vr2001, vr1984}) {
    XmlElement child = element.AppendChild(FItems[type].XMLTag());
    SetAttr(child, "Type", types[type]);
    FItems[type].XMLSave(child);
  }
}

}  // namespace kdx

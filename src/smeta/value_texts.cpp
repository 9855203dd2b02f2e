#include "smeta/value_texts.h"

namespace kdx {

std::string CostPartsToText(uint8_t set) {
  static const NameTable names{"ПЗ", "ОЗ", "ЭМ", "ЗМ", "МТ"};
  static const std::string fot = Cp("ФОТ");
  if (set == 10) return fot;
  return SetToText(set, names);
}

std::string KOptionsToText(uint16_t set) {
  static const NameTable names{"Percent",  "InPos",   "Base",   "Curr",     "PzAll",
                               "EmAll",    "MatQty",  "EmQty",  "OzpTz",    "ZpmTz",
                               "Disabled", "SeparEm", "HideFx", "Reserved1"};
  return SetToText(set, names);
}

std::string SmetaOptionsToText(uint32_t set) {
  static const NameTable names{
      "RoundPos",         "NaklInPos",    "WinterInPos",  "AddZatr",          "ExactPosCalc",
      "ZpmByTz",          "GroupItgCnv",  "ExactResCalc", "CommonNakl",       "RoundTaxes",
      "ExclRet",          "CommonPlan",   "AddZmpToEm",   "SeparateFot",      "AutoIndexes",
      "AutoIndexUseCode", "TempRound",    "MtsnMode",     "NaklByIndex",      "PlanByIndex",
      "WintByIndex",      "CustNPZpm",    "Mtsn1998",     "AdvResCalc",       "RoundNPBase",
      "RoundNPCurr",      "RoundNPNoIdx", "NewNPCurr",    "NoRoundForOnePos", "MultPosK"};
  return SetToText(set, names);
}

std::string ItogOptionsToText(uint8_t set) {
  static const NameTable names{"SeparateChapters", "SeparateLimZatrs", "SeparateVrs",
                               "IgnoreZeroQty", "IgnoreZeroPrice"};
  return SetToText(set, names);
}

std::string ResourceOptionsToText(uint16_t set) {
  static const NameTable names{"Project",   "OwnerMat",     "NotCount",   "Junk",      "LookTech",
                               "Comment",   "CountInPlace", "CountInPos", "Reserved1", "Reserved2",
                               "Reserved3", "Reserved4",    "Reserved5"};
  return SetToText(set, names);
}

std::string ResourceAttribsToText(uint8_t set) {
  static const NameTable names{"SnipSet", "Replaced", "Added", "Deleted"};
  return SetToText(set, names);
}

std::string PositionOptionsToText(uint16_t set) {
  static const NameTable names{"TechK",     "CustNaclBase", "CustNaclCurr", "AverRasrM",
                               "Inactive",  "NoTerK",       "OnlyPosNk",    "OnlyPosPk",
                               "RetOwnMat", "NoRegK",       "Reserved1",    "Reserved2"};
  return SetToText(set, names);
}

std::string PositionDbFlagsToText(uint8_t set) {
  static const NameTable names{"Comment", "TechK", "Reserved", "Reserved", "Reserved"};
  return SetToText(set, names);
}

void WriteNaclPlan(XmlElement e, const char* child_name, const TNaclPlan& v) {
  if (v.Nacl == 0 && v.Plan == 0 && v.PlanMask == 0 && v.NaclMask == 0) return;
  XmlElement target = (child_name && *child_name) ? e.AppendChild(child_name) : e;
  WriteAttrCurr(target, "Nacl", Currency{v.Nacl}, Currency{});
  WriteAttrStr(target, "NaclMask", CostPartsToText(v.NaclMask));
  WriteAttrCurr(target, "Plan", Currency{v.Plan}, Currency{});
  WriteAttrStr(target, "PlanMask", CostPartsToText(v.PlanMask));
}

}  // namespace kdx

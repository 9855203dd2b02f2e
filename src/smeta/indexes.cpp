#include "smeta/indexes.h"

#include "filer/codepage.h"
#include "smeta/value_texts.h"

namespace kdx {
namespace {

constexpr int32_t kVerCommonIndexOptions = 0x0001012F;

}  // namespace

std::string LegacyIndexCode(TLegacyIndexTable table, int64_t number) {
  static const std::string kPrefixes[5] = {Cp("2001Тек_ "), Cp("1984-2001_ "), Cp("1984Тек_"),
                                           Cp("Констр_"), Cp("Вр_")};
  return kPrefixes[table] + IntToText(number);
}

// ---- index lists ----

namespace {

std::string Capitals(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(Cp1251Upper(static_cast<uint8_t>(c)));
  return upper;
}

}  // namespace

TKDXAbstractIndex* TSmetaIndexesList::FindIndex(std::string_view code) const {
  const std::string_view wanted = TrimText(code);
  if (wanted.empty()) return nullptr;
  if (FByCodeCount != Count()) {
    FByCode.clear();
    // The first index of a code stays.
    for (size_t i = 0; i < Count(); ++i) FByCode.emplace(Capitals(At(i)->FCode), At(i));
    FByCodeCount = Count();
  }
  const auto found = FByCode.find(Capitals(wanted));
  return found == FByCode.end() ? nullptr : found->second;
}

// ---- common index ----

const char* TKDXSmetaIndexSmrLz::XMLTag() const {
  static constexpr const char* kTags[3] = {"CommonIndexA", "CommonIndexB", "CommonIndexR"};
  return kTags[FMode <= smrimRes ? FMode : smrimRes];
}

void TKDXSmetaIndexSmrLz::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FFormula = filer.ReadStringView();
  FFromFactors = false;
  if (filer.FileVersion() >= kVerCommonIndexOptions) FOptions = filer.ReadUInt16();
  FOptions &= skoDisabled;
}

bool TKDXSmetaIndexSmrLz::IsXMLStored() const {
  return !(FOptions == skoDisabled && !FFromFactors && TrimText(FFormula).empty());
}

void TKDXSmetaIndexSmrLz::SetFactors(int32_t x, int32_t y) {
  FFactors[0] = x;
  FFactors[1] = y;
  FFromFactors = true;
}

std::string TKDXSmetaIndexSmrLz::FormulaText(char decimal_separator) const {
  if (!FFromFactors) return FFormula;
  std::string formula;
  for (const int32_t factor : FFactors) {
    if (factor == kFactorOne) continue;
    if (!formula.empty()) formula += '*';
    formula += FloatToGeneralText(factor / 10000.0, decimal_separator);
  }
  return formula;
}

void TKDXSmetaIndexSmrLz::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  WriteAttrStr(element, "Formula", FormulaText(element.Settings().decimal_separator));
  WriteAttrStr(element, "Options", KOptionsToText(FOptions));
}

// ---- column indexes ----

void TSmetaOsIndexes::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  for (TSmetaOsIndex& index : FIndexes) index.FPriceIndexCode = filer.ReadStringView();
}

void TSmetaOsIndexes::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  static constexpr const char* kNames[4] = {"Sroy", "Mont", "Obor", "Other"};
  for (size_t i = 0; i < FIndexes.size(); ++i) {
    WriteAttrStr(element, kNames[i], FIndexes[i].FPriceIndexCode);
  }
}

}  // namespace kdx

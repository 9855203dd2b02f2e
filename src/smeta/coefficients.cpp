#include "smeta/coefficients.h"

#include <algorithm>

#include "model/common_rows.h"
#include "smeta/value_texts.h"

namespace kdx {
namespace {

// File versions that changed the records of this family.
constexpr int32_t kVerKOptions16 = 0x00010104;  // 16-bit options instead of an option byte
constexpr int32_t kVerKKind = 0x00010105;       // kind byte
constexpr int32_t kVerVrKf2001Links = 0x00010109;
constexpr int32_t kVerPosKfLevel = 0x00010125;      // position coefficients store a level
constexpr int32_t kVerPosKfLevelKept = 0x00010127;  // ...and from here it is kept

// Bits a formula coefficient keeps: Percent, InPos, Base, Curr, Disabled, HideFx.
constexpr uint16_t kFormulaOptionsMask = 0x140F;
// Options that concern quantities or labour take both price levels with them.
constexpr uint16_t kQuantityOptions = skoMatQty | skoEmQty | skoOzpTz | skoZpmTz;
constexpr int32_t kMaxPosKfLevel = 99;

// Index of a row in its owner list, looking from the end (a row being read is the last).
int IndexInOwner(const TKDXAbstractRow& row) {
  const TKDXAbstractRow* owner = row.Owner();
  if (!owner) return -1;
  for (size_t i = owner->GetRowsCount(); i-- > 0;) {
    if (owner->GetRow(i) == &row) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

bool SplitKFormula(std::string_view formula, std::array<std::string, kKfSlots>& fx) {
  static const NameTable names{"ПЗ", "ОЗП", "ЭМ", "ЗПМ", "МАТ"};
  for (std::string& s : fx) s.clear();
  std::string text;
  text.reserve(formula.size());
  for (char ch : formula) {
    if (ch != ' ') text += ch;
  }
  const std::string_view all(text);
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = pos;
    int depth = 0;
    for (; end < all.size(); ++end) {
      const char ch = all[end];
      if (ch == '(') {
        ++depth;
      } else if (ch == ')') {
        if (depth > 0) --depth;
      } else if (ch == ';' && depth == 0) {
        break;
      }
    }
    const std::string_view piece = all.substr(pos, end - pos);
    if (piece.empty()) return true;
    int slot = -1;
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string_view name = names[i];
      if (piece.size() > name.size() && piece.substr(0, name.size()) == name &&
          piece[name.size()] == '=') {
        slot = static_cast<int>(i);
        break;
      }
    }
    if (slot < 0) return false;
    std::string& target = fx[static_cast<size_t>(slot)];
    if (!target.empty()) return false;
    target.assign(piece.substr(names[static_cast<size_t>(slot)].size() + 1));
    pos = end + 1;
  }
  return true;
}

// ---- coefficient ----

bool TSmetaAbstractK::FormulaParts(std::array<std::string, kKfSlots>& fx) const {
  fx = {};
  return SplitKFormula(FFormula, fx);
}

void TSmetaAbstractK::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const int32_t version = filer.FileVersion();
  FValues = kNeutralFactors;
  if (version >= kVerKKind) FKfKind = filer.Read_Byte();
  if (version >= kVerKOptions16) {
    FOptions = filer.ReadUInt16();
  } else {
    // The old option byte: bit 2 takes the base level away, the others add options.
    const uint8_t b = filer.Read_Byte();
    uint16_t options = skoBase | skoCurr;
    if (b & 0x01) options |= skoPercent;
    if (b & 0x02) options |= skoInPosition;
    if (b & 0x04) options &= static_cast<uint16_t>(~skoBase);
    if (b & 0x08) options |= skoPzAll;
    if (b & 0x10) options |= skoEmAll;
    if (b & 0x20) options |= skoMatQty;
    if (b & 0x40) options |= skoEmQty;
    FOptions = options;
  }
  switch (FKfKind) {
    case skkStandart: {
      const uint8_t count = filer.Read_Byte();
      for (unsigned i = 0; i < count; ++i) {
        const uint8_t slot = filer.Read_Byte();
        const int32_t value = filer.ReadInt32();
        if (slot < kKfSlots) {
          FValues[slot] = value;
        } else if (slot == 5) {
          if (value != kFactorOne) FOptions |= skoOzpTz;
        } else if (slot == 6) {
          if (value != kFactorOne) FOptions |= skoZpmTz;
        }
      }
      break;
    }
    case skkFormula:
      SetFormula(filer.ReadStringView());
      break;
    default:
      break;
  }
  NormaliseOptions();
}

void TSmetaAbstractK::NormaliseOptions() {
  if (FOptions & kQuantityOptions) FOptions |= skoBase | skoCurr;
  if (FKfKind == skkFormula) FOptions &= kFormulaOptionsMask;
}

bool TSmetaAbstractK::XMLSaveK(XmlElement element) {
  if (!XMLSaveRow(element)) return false;
  if (FKfKind == skkFormula) SetAttr(element, "Kind", "Formula");
  WriteAttrStr(element, "Options", KOptionsToText(FOptions));
  if (FKfKind == skkStandart) {
    static constexpr const char* kNames[kKfSlots] = {"Value_PZ", "Value_OZ", "Value_EM", "Value_ZM",
                                                     "Value_MT"};
    for (int slot = 0; slot < kKfSlots; ++slot) {
      const int32_t value = FValues[static_cast<size_t>(slot)];
      if (value != kFactorOne) SetAttrFloat(element, kNames[slot], value / 10000.0);
    }
  } else if (FKfKind == skkFormula) {
    SetAttr(element, "Formula", FFormula);
  }
  return true;
}

void TSmetaAbstractK::XMLSave(XmlElement element) { XMLSaveK(element); }

// ---- territorial zone correction ----

void TSmetaTerZoneK::NormaliseOptions() {
  TSmetaAbstractK::NormaliseOptions();
  FOptions &= kTerZoneKOptions;
}

// ---- regional coefficient ----

void TSmetaRegK::ReadData(TKdFiler& filer) {
  if (filer.FileVersion() >= kVerKOptions16) {
    FOptions = filer.ReadUInt16();
  } else {
    const uint8_t b = filer.Read_Byte();
    FOptions = skoBase;
    if (b & 0x01) FOptions |= skoPercent;
    if (b & 0x02) FOptions |= skoInPosition;
  }
  FValues[1] = filer.ReadInt32();
}

void TSmetaRegK::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  WriteAttrCurr(element, "Value", Currency{FValues[1]}, Currency{kFactorOne});
  WriteAttrStr(element, "Options", KOptionsToText(FOptions));
}

// ---- level coefficients ----

bool TSmetaAbstractLevelK::XMLSaveLevelK(XmlElement element) {
  if (!XMLSaveK(element)) return false;
  WriteAttrInt(element, "Level", FLevel, 0);
  return true;
}

void TSmetaAbstractLevelK::XMLSave(XmlElement element) { XMLSaveLevelK(element); }

void TSmetaPosKf::ReadData(TKdFiler& filer) {
  TSmetaAbstractK::ReadData(filer);
  const int32_t version = filer.FileVersion();
  if (version >= kVerPosKfLevel) FLevel = filer.ReadInt08();
  // Older files order position coefficients by their place in the list.
  if (version < kVerPosKfLevelKept) {
    const int index = IndexInOwner(*this);
    FLevel = index < 0 ? 1 : std::min(index + 1, kMaxPosKfLevel);
  }
}

void TSmetaResKf::ReadData(TKdFiler& filer) {
  TSmetaAbstractK::ReadData(filer);
  FLevel = filer.ReadInt08();
}

// ---- work-type coefficients ----

void TSmetaVrKfLinks::Read(TKdFiler& filer) {
  const auto count = filer.ReadInt16();
  // A negative count asks for room for a negative number of IDs.
  if (count < 0) Raise(kERangeError, "Range check error");
  if (static_cast<size_t>(count) * 2 > filer.Remaining()) RaiseReadError();
  FItems.resize(static_cast<size_t>(count));
  for (int32_t& id : FItems) id = filer.ReadInt16();
}

void TSmetaVrKf::ReadData(TKdFiler& filer) {
  TSmetaAbstractK::ReadData(filer);
  FLevel = filer.ReadInt08();
  const uint8_t flags = filer.Read_Byte();
  FAllChapters = (flags & 0x01) != 0;
  FAllVidRabs = (flags & 0x02) != 0;
  FChaptsLinks.Read(filer);
  FVidRbGLinks[0].Read(filer);
  FVidRabLinks[0].Read(filer);
  if (filer.FileVersion() >= kVerVrKf2001Links) {
    FVidRbGLinks[1].Read(filer);
    FVidRabLinks[1].Read(filer);
  }
}

void TSmetaVrKf::NormaliseOptions() {
  TSmetaAbstractK::NormaliseOptions();
  if (!(FOptions & skoInPosition)) FOptions &= static_cast<uint16_t>(~(skoMatQty | skoEmQty));
}

void TSmetaVrKf::XMLSave(XmlElement element) {
  if (!XMLSaveLevelK(element)) return;
  WriteAttrBool(element, "AllVidRabs", FAllVidRabs, true);
  WriteAttrBool(element, "AllChapters", FAllChapters, true);
  WriteAttrIntList(element, "ChaptersLinks", FChaptsLinks.Items());
  WriteAttrIntList(element, "VrsLinks84", FVidRabLinks[0].Items());
  WriteAttrIntList(element, "VrGroupsLinks84", FVidRbGLinks[0].Items());
  WriteAttrIntList(element, "VrsLinks", FVidRabLinks[1].Items());
  WriteAttrIntList(element, "VrGroupsLinks", FVidRbGLinks[1].Items());
}

// ---- lists ----

void TSmetaExcludedVrKfs::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  ISmetaVrKfsOwner* owner = FindOwnerOf<ISmetaVrKfsOwner>(*this);
  const TSmetaVrKfs* list = owner ? owner->VrKfsList() : nullptr;
  const uint8_t count = filer.Read_Byte();
  FItems.clear();
  FItems.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    const auto index = filer.ReadInt16();
    // An index that names no coefficient of the estimate is dropped.
    if (list && index >= 0 && static_cast<size_t>(index) < list->Count()) FItems.push_back(index);
  }
}

void TSmetaExcludedVrKfs::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  ISmetaVrKfsOwner* owner = FindOwnerOf<ISmetaVrKfsOwner>(*this);
  const TSmetaVrKfs* list = owner ? owner->VrKfsList() : nullptr;
  if (!list) return;
  WriteAttrIntList(element, "Value", FItems);
}

}  // namespace kdx

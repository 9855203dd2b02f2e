#include "smeta/acts.h"

#include <algorithm>
#include <cmath>
#include <compare>

#include "filer/codepage.h"
#include "model/row_cast.h"
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

std::string UpperText(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(Cp1251Upper(static_cast<uint8_t>(c)));
  return upper;
}

// Letter case aside, byte by byte.
std::strong_ordering CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const uint8_t ca = Cp1251Upper(static_cast<uint8_t>(a[i]));
    const uint8_t cb = Cp1251Upper(static_cast<uint8_t>(b[i]));
    if (ca != cb) return ca <=> cb;
  }
  return a.size() <=> b.size();
}

const TPriceIndexAddOnList* AddOnsOf(const TKDXAbstractIndex& index) {
  const auto* pos = dynamic_cast<const TCustomIndexPos*>(&index);
  return pos ? &pos->AddOns() : nullptr;
}

bool SameIndexFields(const TKDXAbstractIndex& a, const TKDXAbstractIndex& b) {
  return a.GetCaption() == b.GetCaption() && a.FCode == b.FCode && a.FValues == b.FValues &&
         a.FOptions == b.FOptions;
}

bool AddOnEqual(const TPriceIndexAddOn& a, const TPriceIndexAddOn& b) {
  return SameIndexFields(a, b) && a.FCommonType == b.FCommonType && a.FAddOnType == b.FAddOnType;
}

// Caption, code, factors, options and add-ons all alike.
bool IndexDataEqual(const TKDXAbstractIndex& a, const TKDXAbstractIndex& b) {
  if (!SameIndexFields(a, b)) return false;
  const TPriceIndexAddOnList* aa = AddOnsOf(a);
  const TPriceIndexAddOnList* ba = AddOnsOf(b);
  const size_t count = aa ? aa->Count() : 0;
  if (count != (ba ? ba->Count() : 0)) return false;
  for (size_t i = 0; i < count; ++i) {
    if (!AddOnEqual(*aa->At(i), *ba->At(i))) return false;
  }
  return true;
}

void CopyIndexFields(const TKDXAbstractIndex& from, TKDXAbstractIndex& to) {
  to.SetCaption(from.GetCaption());
  to.FCode = from.FCode;
  to.FValues = from.FValues;
  to.FOptions = from.FOptions;
  to.FEquipmentMode = from.FEquipmentMode;
}

// Makes `to` a copy of `from`. The add-ons keep the add-on type they name.
void CopyIndexData(const TKDXAbstractIndex& from, TKDXAbstractIndex& to) {
  CopyIndexFields(from, to);
  auto* to_pos = dynamic_cast<TCustomIndexPos*>(&to);
  if (!to_pos) return;
  TPriceIndexAddOnList& add_ons = to_pos->AddOns();
  add_ons.Clear();
  add_ons.SetTypes(to_pos->AddOnTypes());
  const TPriceIndexAddOnList* from_add_ons = AddOnsOf(from);
  if (!from_add_ons) return;
  for (size_t i = 0; i < from_add_ons->Count(); ++i) {
    const TPriceIndexAddOn& source = *from_add_ons->At(i);
    auto& copy = static_cast<TPriceIndexAddOn&>(add_ons.Add(0));
    CopyIndexFields(source, copy);
    copy.FCommonType = source.FCommonType;
    copy.FAddOnType = source.FAddOnType;
  }
}

// Acts compare by making day: dates each rounded to whole days (a date that
// is no number comes first).
double DayOf(double date) { return std::isnan(date) ? -HUGE_VAL : std::round(date); }

bool ActBefore(const TSmetaImlpemAct& a, const TSmetaImlpemAct& b) {
  const double da = DayOf(a.FMakingDate);
  const double db = DayOf(b.FMakingDate);
  if (da != db) return da < db;
  return CompareText(a.FNumber, b.FNumber) < 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

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
  const int32_t version = filer.FileVersion();
  FNumber = filer.ReadStringView();
  FMakingDate = filer.ReadDbl64();
  FYear = filer.ReadUInt16();
  FMonth = filer.ReadUInt16();
  FDayStart = filer.ReadUInt16();
  FDayFinish = filer.ReadUInt16();
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

void TSmetaImlpemAct::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  const auto* list = RowCast<TSmetaImlpemActList>(FOwner);
  WriteAttrInt(element, "ActIndex", list ? list->IndexOf(this) : -1, -1);
  WriteAttrStr(element, "Number", FNumber);
  WriteAttrDateDef(element, "MakingDate", FMakingDate, 0);
  WriteAttrInt(element, "Year", FYear, 0);
  WriteAttrInt(element, "Month", FMonth, 0);
  WriteAttrInt(element, "DayStart", FDayStart, 0);
  WriteAttrInt(element, "DayFinish", FDayFinish, 0);
  if (FMtsnNaklZpmCurr != 0 || FMtsnPlanZpmCurr != 0) {
    XmlElement rates = element.AppendChild("MtsnNPZpm");
    WriteAttrCurr(rates, "NC", Currency{FMtsnNaklZpmCurr}, Currency{});
    WriteAttrCurr(rates, "PC", Currency{FMtsnPlanZpmCurr}, Currency{});
  }
  static const NameTable kIndexesModes{"None", "PosOne", "Total", "Smr"};
  XmlElement indexes = element.AppendChild("Indexes");
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

TKDXAbstractIndex* TSmetaImlpemAct::ReceivePositionIndex(const TKDXAbstractIndex& index) {
  if (index.Owner() == &FIndexesPos) return const_cast<TKDXAbstractIndex*>(&index);
  if (FIndexesByCodeCount != FIndexesPos.Count()) {
    FIndexesByCode.clear();
    FReceived.clear();
    for (size_t i = 0; i < FIndexesPos.Count(); ++i) {
      FIndexesByCode[UpperText(FIndexesPos.At(i)->FCode)].push_back(FIndexesPos.At(i));
    }
    FIndexesByCodeCount = FIndexesPos.Count();
  }
  // Older positions give the same index record after record.
  if (const auto found = FReceived.find(&index); found != FReceived.end()) return found->second;
  std::vector<TKDXAbstractIndex*>& same_code = FIndexesByCode[UpperText(index.FCode)];
  TKDXAbstractIndex* received = nullptr;
  for (TKDXAbstractIndex* candidate : same_code) {
    if (IndexDataEqual(*candidate, index)) {
      received = candidate;
      break;
    }
  }
  if (!received) {
    if (same_code.empty()) {
      received = static_cast<TKDXAbstractIndex*>(&FIndexesPos.Add(0));
      same_code.push_back(received);
      FIndexesByCodeCount = FIndexesPos.Count();
    } else {
      received = same_code.back();
    }
    CopyIndexData(index, *received);
    FReceived.clear();
  }
  FReceived.emplace(&index, received);
  return received;
}

int TSmetaImlpemActList::IndexOf(const TKDXAbstractRow* act) const {
  const auto* item = dynamic_cast<const TSmetaImlpemAct*>(act);
  if (!item) return -1;
  for (int pass = 0; pass < 2; ++pass) {
    if (item->FListIndex < FItems.size() && FItems[item->FListIndex].get() == item) {
      return static_cast<int>(item->FListIndex);
    }
    if (pass == 0) CountPlaces();
  }
  return -1;
}

void TSmetaImlpemActList::CountPlaces() const {
  for (size_t i = 0; i < FItems.size(); ++i) At(i)->FListIndex = i;
}

void TSmetaImlpemActList::NumberPending() {
  for (size_t i = FUnnumberedFrom; i < FItems.size(); ++i) {
    At(i)->FNumber = IntToText(static_cast<int64_t>(i) + 1);
    At(i)->FListIndex = i;
  }
  FUnnumberedFrom = SIZE_MAX;
}

void TSmetaImlpemActList::RefreshPeriods() {
  if (FPeriodsCount == FItems.size()) return;
  // Acts came from elsewhere (the file): their order is not known.
  FDaysOrdered = false;
  RebuildPeriods();
}

void TSmetaImlpemActList::RebuildPeriods() {
  FPeriods.clear();
  for (size_t i = 0; i < FItems.size(); ++i) {
    FPeriods.emplace(std::pair{At(i)->FYear, At(i)->FMonth}, At(i));
  }
  FPeriodsCount = FItems.size();
}

void TSmetaImlpemActList::SortAndNumber() {
  // The pointers move; the acts, and every reference to them, stay. Acts of
  // the same day go in the order of their numbers, which must be current.
  NumberPending();
  std::stable_sort(FItems.begin(), FItems.end(), [](const auto& a, const auto& b) {
    return ActBefore(static_cast<const TSmetaImlpemAct&>(*a),
                     static_cast<const TSmetaImlpemAct&>(*b));
  });
  FUnnumberedFrom = 0;
  NumberPending();
  RebuildPeriods();
  FDaysOrdered = true;
  for (size_t i = 1; i < FItems.size(); ++i) {
    if (!(DayOf(At(i - 1)->FMakingDate) < DayOf(At(i)->FMakingDate))) FDaysOrdered = false;
  }
}

TSmetaImlpemAct* TSmetaImlpemActList::EnsureActInListOnOldFormatConvertion(int month, int year) {
  if (month < 1 || month > 12) return nullptr;
  RefreshPeriods();
  if (const auto found = FPeriods.find({year, month}); found != FPeriods.end()) {
    return found->second;
  }

  static const NameTable kMonths{"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                                 "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
  static const std::string kCaptionStart = Cp("Акт выполненных работ за ");
  static const std::string kCaptionEnd = Cp("г.");
  auto act = std::make_unique<TSmetaImlpemAct>(this);
  TSmetaImlpemAct* raw = act.get();
  raw->SetCaption(kCaptionStart + std::string(kMonths[static_cast<size_t>(month - 1)]) + " " +
                  IntToText(year) + kCaptionEnd);
  raw->FYear = static_cast<uint16_t>(year);
  raw->FMonth = static_cast<uint16_t>(month);
  raw->FDayStart = 1;
  raw->FDayFinish = static_cast<uint16_t>(DaysInMonth(year, month));
  raw->FMakingDate = DateValueOf(year, month, raw->FDayFinish);

  // While the acts stand on distinct days, in order and numbered, an act on
  // a day of its own goes straight to its place: sorting would put it there
  // and leave the others as they are. Otherwise all acts are sorted.
  if (FDaysOrdered) {
    const double day = DayOf(raw->FMakingDate);
    const auto place =
        std::lower_bound(FItems.begin(), FItems.end(), day, [](const auto& item, double d) {
          return DayOf(static_cast<const TSmetaImlpemAct&>(*item).FMakingDate) < d;
        });
    const auto at = static_cast<size_t>(place - FItems.begin());
    if (at == FItems.size() || DayOf(At(at)->FMakingDate) != day) {
      if (!InsertRow(std::move(act), static_cast<int>(at))) return nullptr;
      NumberFrom(at);
      FPeriods.emplace(std::pair{year, month}, raw);
      FPeriodsCount = FItems.size();
      return raw;
    }
  }
  if (!InsertRow(std::move(act))) return nullptr;
  SortAndNumber();
  return raw;
}

void TSmetaImlpemActList::ReadData(TKdFiler& filer) {
  FCurrentAct = nullptr;
  FPeriods.clear();
  FPeriodsCount = 0;
  FDaysOrdered = false;
  FUnnumberedFrom = SIZE_MAX;
  ReadListBody(filer);
  FCurrentAct = Entry(filer.ReadInt32());
  FLoadedItemsCount = Count();
}

void TSmetaImlpemActList::XMLSave(XmlElement element) {
  const bool items = XMLSaveListHead(element);
  WriteAttrInt(element, "Index", IndexOf(FCurrentAct), -1);
  if (items) XMLSaveItems(element);
}

}  // namespace kdx

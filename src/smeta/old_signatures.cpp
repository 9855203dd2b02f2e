#include "smeta/old_signatures.h"

namespace kdx {
namespace {

constexpr int32_t kVerSignatureTexts = 0x0001010E;  // texts by role instead of rows
constexpr int32_t kVerSignatureRows = 0x00010149;   // rows of four texts again, as a list

}  // namespace

void TKdSmetaSignature::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  FColumn1 = filer.ReadStringView();
  FColumn2 = filer.ReadStringView();
  FColumn3 = filer.ReadStringView();
  FColumn4 = filer.ReadStringView();
  FSignID = filer.ReadInt32();
}

namespace {

// Role and identifier of the texts of the oldest layouts, by index.
struct OldRole {
  const char* role;
  int32_t id;
};
constexpr OldRole kOldRoles[6] = {
    {"Oснование", 100},  // the first letter is the Latin capital O
    {"Составил", 300},  {"Проверил", 310}, {"Заказчик", 230}, {"Подрядчик", 240}, {"Инвестор", 220},
};

void AddOldText(TKDXSmetaSignatures& rows, size_t index, std::string text) {
  if (index >= 6 || text.empty()) return;
  const int32_t id = kOldRoles[index].id;
  for (size_t i = 0; i < rows.Count(); ++i) {
    if (id != 0 && rows.At(i)->FSignID == id) return;
  }
  auto& row = static_cast<TKdSmetaSignature&>(rows.Add(0));
  row.FColumn1 = Cp(kOldRoles[index].role);
  row.FColumn4 = std::move(text);
  row.FSignID = id;
}

}  // namespace

void ReadOldEstimateSignatures(TKDXDocSignatures& signatures, TKdFiler& filer, int32_t version) {
  TKDXSmetaSignatures rows(nullptr);
  if (version >= kVerSignatureRows) {
    rows.Load(filer);
  } else if (version >= kVerSignatureTexts) {
    const auto a = filer.ReadInt08();
    if (a < -1) Raise(kERangeError, "Range check error");
    for (int i = 0; i <= a; ++i) AddOldText(rows, static_cast<size_t>(i), filer.ReadString());
  } else {
    std::string text0 = filer.ReadString();
    for (int block = 0; block < 2; ++block) {
      const auto count = filer.ReadInt16();
      for (int i = 0; i < count; ++i) {
        filer.CheckSignature(kRowMarker);
        for (int k = 0; k < 4; ++k) filer.SkipString();
      }
    }
    AddOldText(rows, 0, std::move(text0));
  }
  signatures.Clear();
  for (size_t i = 0; i < rows.Count(); ++i) {
    const TKdSmetaSignature& row = *rows.At(i);
    TKDXDocSignature& sign = signatures.Append();
    sign.FSignID = row.FSignID;
    sign.SetCaption(row.FColumn1);
    sign.FSignValue = row.FColumn4;
  }
}

}  // namespace kdx

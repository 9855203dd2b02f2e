#include "smeta/resources.h"

#include <cmath>

#include "model/row_cast.h"
#include "smeta/position.h"
#include "smeta/smeta.h"
#include "smeta/value_texts.h"
#include "xml/float_chars.h"

namespace kdx {
namespace {

// File versions that changed the record of a resource.
constexpr int32_t kVerPriceComments = 0x00010101;     // comments of the base and current price
constexpr int32_t kVerAttribs = 0x0001010B;           // state byte and the price base's quantity
constexpr int32_t kVerMachinistsPrices = 0x0001010D;  // machinists' labour has prices
constexpr int32_t kVerOlderReplaced = 0x00010122;     // the replaced resource is kept
constexpr int32_t kVerResourcePresenceMask = 0x00010125;  // a mask names the fields present
constexpr int32_t kVerPriceIndex = 0x00010139;            // price index by number or code
constexpr int32_t kVerOwnQuantity = 0x0001013E;           // quantity and labour texts in the record
constexpr int32_t kVerResourceOptions16 = 0x00010140;     // 16-bit options in the common part
constexpr int32_t kVerPriceRecord = 0x00010144;           // prices as the container's own record

// Bits of the presence mask.
constexpr int32_t kHasBasePrice = 0x1;
constexpr int32_t kHasCurrPrice = 0x2;
constexpr int32_t kHasBaseComment = 0x4;
constexpr int32_t kHasCurrComment = 0x8;
constexpr int32_t kResHasIdentifier = 0x10;
constexpr int32_t kHasReplaced = 0x20;
constexpr int32_t kHasQuantOneSnip = 0x40;
constexpr int32_t kResHasIndexNumber = 0x80;
constexpr int32_t kResHasIndexCode = 0x100;
constexpr int32_t kHasPriceRecord = 0x200;
constexpr int32_t kHasKoeffs = 0x400;
constexpr int32_t kHasImplem = 0x800;

// Bits of the labour part's presence byte.
constexpr uint8_t kHasCode = 0x1;
constexpr uint8_t kHasCaption = 0x2;
constexpr uint8_t kHasAverRasr = 0x4;

TSmeta* EstimateOf(const TKDXAbstractRow& row) { return RowCast<TSmeta>(row.GetDocData()); }

const TKDXAbstractRow* PriceComment(const TSmeta* estimate, int32_t index) {
  return estimate ? estimate->FResObManager.Entry(index) : nullptr;
}

// The value of the number's text in the general format: the number rounded to
// 15 significant digits.
double GeneralTextValue(double x) {
  if (!std::isfinite(x)) return x;
  char buf[40];
  const char* const end = ScientificChars(buf, buf + sizeof buf, x, 14);
  double value = x;
  ParseDouble(buf, end, value);
  return value;
}

double ClampQuantOne(double value) { return value > kMaxResQuantOne ? kMaxResQuantOne : value; }

// Labour kinds by resource type: workers, machinists.
const NameTable& LabourCaptions() {
  static const NameTable names{"Затраты труда рабочих", "Затраты труда машинистов"};
  return names;
}
constexpr const char* kLabourCodePrefixes[2] = {"1", "2"};

}  // namespace

// ---- resource ----

TSmetaPosResource::TSmetaPosResource(TKDXAbstractRow* owner)
    : TKdIdentifierRow(owner), FPrice(this) {}

const char* TSmetaPosResource::XMLTag() const {
  return RowCast<TSmetaPosResource>(FOwner) ? "Replaced" : ClassXMLTag();
}

void TSmetaPosResource::CopyBasePriceToCurrent() {
  FPrice.SetPriceValue(pcCurr, FPrice.GetPriceValue(pcBase));
  FPrice.SetPriceValue(pcCurrSecond, FPrice.GetPriceValue(pcBaseSecond));
}

void TSmetaPosResource::ReadData(TKdFiler& filer) {
  // The caption, when there is one, belongs to the labour part.
  filer.CheckSignature(kRowMarker);
  const int32_t version = filer.FileVersion();
  if (version < kVerResourcePresenceMask) {
    ReadOlderForm(filer, version);
  } else {
    ReadCurrentForm(filer, version);
  }
}

void TSmetaPosResource::ReadOlderForm(TKdFiler& filer, int32_t version) {
  if (version >= kVerAttribs) {
    FAttribs = filer.Read_Byte();
    if (FAttribs & sraSnipSet) Rare().FQuantOneSnip = filer.ReadDbl64();
  }
  if (version >= kVerMachinistsPrices || ResourceType() != smrtTzm) {
    FPrice.SetPriceValue(pcBase, filer.ReadCurr64());
    FPrice.SetPriceValue(pcCurr, filer.ReadCurr64());
    if (version >= kVerPriceComments) {
      const TSmeta* estimate = EstimateOf(*this);
      ReadPriceObosn(filer, pkBase, estimate);
      ReadPriceObosn(filer, pkCurr, estimate);
    }
  }
  if (version >= kVerOlderReplaced && (FAttribs & sraReplaced)) ReadReplacedRes(filer);
}

void TSmetaPosResource::ReadCurrentForm(TKdFiler& filer, int32_t version) {
  const TSmeta* estimate = EstimateOf(*this);
  FAttribs = filer.Read_Byte();
  if (version >= kVerResourceOptions16) FFlags = filer.ReadUInt16();
  const int32_t mask = filer.ReadInt32();
  if (mask & kHasQuantOneSnip) Rare().FQuantOneSnip = filer.ReadDbl64();
  if (version < kVerPriceRecord) {
    if (mask & kHasBasePrice) FPrice.SetPriceValue(pcBase, filer.ReadCurr64());
    if (mask & kHasCurrPrice) FPrice.SetPriceValue(pcCurr, filer.ReadCurr64());
  } else if (mask & kHasPriceRecord) {
    FPrice.Load(filer);
  }
  if (mask & kHasBaseComment) ReadPriceObosn(filer, pkBase, estimate);
  if (mask & kHasCurrComment) ReadPriceObosn(filer, pkCurr, estimate);
  if (mask & kResHasIdentifier) ReadIdentifier(filer);
  if (mask & kHasReplaced) ReadReplacedRes(filer);
  if (version >= kVerPriceIndex) {
    if (mask & kResHasIndexNumber) {
      const uint16_t index = filer.ReadUInt16();
      SetPriceIndex(estimate ? estimate->FIndexesRes.At(index) : nullptr);
    }
    if (mask & kResHasIndexCode) FPriceIndexCode = filer.ReadStringView();
  }
  if (version >= kVerOwnQuantity) FQuantOne = GeneralTextValue(filer.ReadDbl64());
  FQuantOne = ClampQuantOne(FQuantOne);
  if (mask & kHasKoeffs) FKoeffs.Make(this).Load(filer);
  if (mask & kHasImplem) FImplemNew.Make(this).Load(filer);
}

void TSmetaPosResource::ReadReplacedRes(TKdFiler& filer) {
  // Each replaced resource is one more level of nesting: a crafted chain ends
  // at the cap instead of exhausting the stack.
  NestingGuard nesting(filer);
  std::unique_ptr<TSmetaPosResource>& replaced = Rare().FReplacedRes;
  replaced = CreateReplacedRes();
  replaced->Load(filer);
}

void TSmetaPosResource::ReadPriceObosn(TKdFiler& filer, TPriceKind kind, const TSmeta* estimate) {
  const TKDXAbstractRow* comment = PriceComment(estimate, filer.ReadInt32());
  if (comment) Rare().FPriceObosn[kind] = comment;
}

TSmetaPosResource::TRareFields& TSmetaPosResource::Rare() {
  if (!FRare) FRare = std::make_unique<TRareFields>();
  return *FRare;
}

bool TSmetaPosResource::XMLSaveAttributes(XmlElement element) {
  if (!IsXMLStored()) return false;
  CheckXMLTag(element);
  WriteAttrStr(element, "Caption", DisplayCaption());
  WriteAttrStr(element, "Identifier", FIdentifier);
  WriteAttrStr(element, "Code", GetCode());
  WriteAttrStr(element, "Units", GetIsm());
  WriteAttrFloat(element, "Quantity", FQuantOne, 0);
  WriteAttrStr(element, "Options", ResourceOptionsToText(FFlags));
  WriteAttrStr(element, "Attribs", ResourceAttribsToText(FAttribs));
  WriteAttrStr(element, "IndexCode", GetPriceIndexCode());
  return true;
}

void TSmetaPosResource::XMLSaveChildren(XmlElement element) {
  XMLSavePrice(element, "PriceBase", pcBase, PriceObosn(pkBase));
  XMLSavePrice(element, "PriceCurr", pcCurr, PriceObosn(pkCurr));
  FKoeffs.XMLSaveToChild(element);
  if ((FAttribs & sraReplaced) && FRare && FRare->FReplacedRes) {
    FRare->FReplacedRes->XMLSaveToChild(element);
  }
  FImplemNew.XMLSaveToChild(element);
}

void TSmetaPosResource::XMLSave(XmlElement element) {
  if (XMLSaveAttributes(element)) XMLSaveChildren(element);
}

// The price of one level: the value column and, next to it, its second part.
void TSmetaPosResource::XMLSavePrice(XmlElement element, const char* name, int column,
                                     const TKDXAbstractRow* comment) const {
  const int second = column + 1;
  const std::string_view comment_text =
      comment ? std::string_view(comment->GetCaption()) : std::string_view();
  const auto has_price = [this](int c) {
    return FPrice.GetPriceValue(c) != Currency{} || !FPrice.GetPriceFx(c).empty();
  };
  if (!has_price(column) && !has_price(second) && comment_text.empty()) return;
  XmlElement price = element.AppendChild(name);
  WriteAttrCurr(price, "Value", FPrice.GetPriceValue(column), Currency{});
  WriteAttrStr(price, "ValFx", FPrice.GetPriceFx(column));
  WriteAttrCurr(price, "ZM", FPrice.GetPriceValue(second), Currency{});
  WriteAttrStr(price, "ZMFx", FPrice.GetPriceFx(second));
  WriteAttrStr(price, "Comment", comment_text);
}

// ---- labour ----

std::string TCustomSmetaPeopleRes::GetCode() const {
  if (!FCode.empty()) return FCode.str();
  std::string code = kLabourCodePrefixes[ResourceType()];
  if (FAverRasr != 0) {
    std::string grade = IntToText(FAverRasr);
    grade.insert(grade.size() - 1, 1, '-');
    code += '-' + grade;
  }
  return code;
}

std::string_view TCustomSmetaPeopleRes::GetIsm() const {
  static const std::string units = Cp("чел.час");
  return units;
}

std::string_view TCustomSmetaPeopleRes::DisplayCaption() const {
  return FCaption.empty() ? LabourCaptions()[ResourceType()] : std::string_view(FCaption);
}

void TCustomSmetaPeopleRes::ReadData(TKdFiler& filer) {
  TSmetaPosResource::ReadData(filer);
  if (filer.FileVersion() < kVerOwnQuantity) {
    // Older files keep the labour per unit in the position's price block.
    if (const TSmetaPosition* position = FindOwnerOf<TSmetaPosition>(*this)) {
      FQuantOne = static_cast<double>(position->OlderLabour(ResourceType()).value) / 10000;
    }
    return;
  }
  const uint8_t mask = filer.Read_Byte();
  if (mask & kHasCode) FCode = filer.ReadStringView();
  if (mask & kHasCaption) FCaption = filer.ReadStringView();
  if (mask & kHasAverRasr) FAverRasr = filer.ReadInt16();
}

void TCustomSmetaPeopleRes::XMLSave(XmlElement element) {
  if (!XMLSaveAttributes(element)) return;
  WriteAttrCurr(element, "WorkClass", Currency{int64_t{FAverRasr} * 1000}, Currency{});
  XMLSaveChildren(element);
}

// ---- catalogue resources ----

std::string TSmetaMappedRes::GetCode() const { return FSharedRes ? FSharedRes->FObosn : ""; }

std::string_view TSmetaMappedRes::GetIsm() const {
  return FSharedRes ? std::string_view(FSharedRes->FIzm) : std::string_view();
}

std::string_view TSmetaMappedRes::DisplayCaption() const {
  return FSharedRes ? std::string_view(FSharedRes->GetCaption()) : std::string_view();
}

void TSmetaMappedRes::ReadData(TKdFiler& filer) {
  TSmetaPosResource::ReadData(filer);
  const int32_t version = filer.FileVersion();
  if (version < kVerOwnQuantity) FQuantOne = ClampQuantOne(filer.ReadDbl64());
  if (version < kVerResourceOptions16) FFlags = filer.Read_Byte();
  const int32_t index = filer.ReadInt32();
  const TSmeta* estimate = EstimateOf(*this);
  FSharedRes = estimate ? estimate->FResManager.Entry(index) : nullptr;
}

std::string_view TSmetaPosResMch::GetIsm() const {
  const std::string_view units = TSmetaMappedRes::GetIsm();
  static const std::string machine_units = Cp("маш.час");
  return units.empty() ? std::string_view(machine_units) : units;
}

void TSmetaPosResMch::ReadData(TKdFiler& filer) {
  TSmetaMappedRes::ReadData(filer);
  if (filer.FileVersion() < kVerPriceRecord) {
    FPrice.SetPriceValue(pcBaseSecond, filer.ReadCurr64());
    FPrice.SetPriceValue(pcCurrSecond, filer.ReadCurr64());
  }
}

// ---- list ----

std::unique_ptr<TKDXAbstractRow> TSmetaPosResources::CreateItem(uint8_t type) {
  switch (type) {
    case smrtTzr:
      return std::make_unique<TSmetaPosResTzr>(this);
    case smrtTzm:
      return std::make_unique<TSmetaPosResTzm>(this);
    case smrtMch:
      return std::make_unique<TSmetaPosResMch>(this);
    case smrtMat:
      return std::make_unique<TSmetaPosResMat>(this);
    default:
      return nullptr;
  }
}

int TSmetaPosResources::ItemType(const TKDXAbstractRow& row) const {
  return static_cast<const TSmetaPosResource&>(row).ResourceType();
}

}  // namespace kdx

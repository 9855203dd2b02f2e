#include "objsmeta/objsmeta.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "model/document_factory.h"

namespace kdx {
namespace {

// File versions that changed the records of the object estimate and the
// consolidated calculation.
constexpr int32_t kVerObjIdentifiers = 0x00010002;     // identifiers, columns 5 and 6, signatures
constexpr int32_t kVerObjZatrOptions = 0x00010003;     // cost rows: option byte
constexpr int32_t kVerObjUnitAmounts = 0x00010004;     // amounts in units, not thousands
constexpr int32_t kVerObjChapterCount = 0x00010006;    // chapters by count; link of older amounts
constexpr int32_t kVerObjCcChapter = 0x00010007;       // the consolidated-calculation chapter
constexpr int32_t kVerObjModeAndOptions = 0x00010008;  // mode, chapter count and options
constexpr int32_t kVerObjChapterList = 0x00010009;     // chapters as list records
constexpr int32_t kVerObjZatrFormulas = 0x0001000A;  // cost rows: a formula or an amount per column
constexpr int32_t kVerObjCcChapters = 0x0001000B;    // all three consolidated-calculation chapters
constexpr int32_t kVerObjConversions = 0x0001000C;   // conversion rows
constexpr int32_t kVerObjEightSignatures = 0x0001000D;  // eight older signatures
constexpr int32_t kVerObjRoundMode = 0x0001000E;        // rounding mode
constexpr int32_t kVerObjLinkTargetByte = 0x0001000F;   // a byte after the older link
constexpr int32_t kVerObjSixColumns = 0x00010010;       // cost rows: formulas for all six columns
constexpr int32_t kVerObjLinkTarget = 0x00010011;       // older link: target and state
constexpr int32_t kVerObjUserData = 0x00010012;         // comment and user data
constexpr int32_t kVerObjLinkRow = 0x00010014;          // the link as a row of its own; variables
constexpr int32_t kVerObjFiveConversionK = 0x00010015;  // conversion rows: five factors
constexpr int32_t kVerObjLinkedBlocks = 0x00010016;     // cost rows: linked amounts, the factor
constexpr int32_t kVerObjSignatureList = 0x00010017;    // signatures as a list

constexpr const char* kColumnAttrs[kStoredColumns] = {"Sroy",  "Mont", "Obor",
                                                      "Other", "Fot",  "EdPr"};
constexpr Currency kOne{10000};

// Which amount blocks a link type brings along: the block that mirrors the
// row's own amounts, and the two further blocks stored with the row.
struct LinkBlocks {
  int same;
  std::array<int, 2> extra;
};

const LinkBlocks* BlocksOfLink(const TKdRowDocLink& link) {
  static constexpr LinkBlocks kRes{oszptResSmeta, {oszptBaseIdx, oszptBaseNoIdx}};
  static constexpr LinkBlocks kBase{oszptBaseIdx, {oszptBaseNoIdx, oszptResSmeta}};
  static constexpr LinkBlocks kNoIdx{oszptBaseNoIdx, {oszptBaseIdx, oszptResSmeta}};
  if (!link.Linked()) return nullptr;
  switch (link.FLinkType) {
    case rdltSmetaRes:
      return &kRes;
    case rdltSmetaBase:
      return &kBase;
    case rdltSmetaNoIdx:
      return &kNoIdx;
    default:
      return nullptr;
  }
}

// Chapters of a mode: their count and numbers.
struct ModeLayout {
  size_t count;
  const uint8_t* numbers;
};

ModeLayout LayoutOfMode(uint8_t mode) {
  static constexpr uint8_t kEstimate[] = {2, 8, 9, 10, 11, 12, 13, 14, 15};
  static constexpr uint8_t kSequential[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  switch (mode) {
    case cosmObjSmeta:
      return {std::size(kEstimate), kEstimate};
    case cosmConsCalc:
    case cosmConsCalcRoad:
      return {15, kSequential};
    case cosmConsCalcRec:
      return {12, kSequential};
    default:
      return {0, nullptr};
  }
}

// An amount the oldest files kept in thousands, scaled to units; an amount
// that cannot be represented after scaling is refused.
Currency ThousandsToUnits(Currency value) {
  constexpr int64_t kFactor = 1000;
  if (value.value > INT64_MAX / kFactor || value.value < INT64_MIN / kFactor) RaiseBadData();
  return Currency{value.value * kFactor};
}

}  // namespace

// ---- cost row ----

void TObjSmetaZatr::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const int32_t version = filer.FileVersion();
  FObosnov = filer.ReadStringView();
  if (version >= kVerObjZatrOptions) {
    FOptions = filer.Read_Byte();
    if (version < kVerObjZatrFormulas) FOptions &= static_cast<uint8_t>(~1u);
  }
  if (version >= kVerObjZatrFormulas) {
    const uint8_t formulas = filer.Read_Byte();
    const int columns = version >= kVerObjSixColumns ? kStoredColumns : 4;
    for (int c = 0; c < columns; ++c) {
      // A column holds either a formula or an amount.
      if (formulas & (1u << c)) {
        FFormula.Set(static_cast<size_t>(c), filer.ReadStringView());
        FPrice[Slot(0, c)] = Currency{};
      } else {
        FPrice[Slot(0, c)] = filer.ReadCurr64();
        FFormula.Set(static_cast<size_t>(c), {});
      }
    }
    if (version >= kVerObjLinkRow) {
      FLink.Load(filer);
    } else {
      ReadOldLink(filer, version);
    }
  } else if (version >= kVerObjIdentifiers) {
    ReadOldAmounts(filer, version);
  }
  if (version >= kVerObjIdentifiers) {
    if (version < kVerObjSixColumns) {
      for (int c = 4; c < kStoredColumns; ++c) {
        FPrice[Slot(0, c)] = filer.ReadCurr64();
        FFormula.Set(static_cast<size_t>(c), {});
      }
    }
    ReadIdentifier(filer);
  }
  if (version >= kVerObjUserData) FUserData.Load(filer);
  const LinkBlocks* blocks = BlocksOfLink(FLink);
  if (version >= kVerObjLinkedBlocks) {
    if (blocks) {
      for (int b : blocks->extra) {
        for (int c = 0; c < kStoredColumns; ++c) FPrice[Slot(b, c)] = filer.ReadCurr64();
      }
    }
    FK = filer.ReadInt32();
  }
  if (blocks) {
    std::copy_n(FPrice.begin(), kValueColumns, FPrice.begin() + Slot(blocks->same, 0));
  }
}

void TObjSmetaZatr::ReadOldAmounts(TKdFiler& filer, int32_t version) {
  switch (filer.Read_Byte()) {
    case 0:
      for (int c = 0; c < 4; ++c) {
        const Currency amount = filer.ReadCurr64();
        FPrice[Slot(0, c)] = version < kVerObjUnitAmounts ? ThousandsToUnits(amount) : amount;
      }
      if (version >= kVerObjChapterCount) {
        const uint8_t type = filer.Read_Byte();
        if (type != rdltNone) {
          FLink.FLink = filer.ReadStringView();
          FLink.FLinkTarget = rdltgBase;
          FLink.FLinkType = type;
        }
      }
      break;
    case 1:
      filer.Skip(19);  // two bytes, four 32-bit numbers, a byte
      break;
    case 2:
      filer.SkipString();
      filer.Skip(1);
      break;
    default:
      break;
  }
}

void TObjSmetaZatr::ReadOldLink(TKdFiler& filer, int32_t version) {
  uint8_t type = filer.Read_Byte();
  if (type > rdltSmetaBase) type = rdltSmetaBase;
  if (type == rdltNone) return;
  std::string text = filer.ReadString();
  uint8_t target = rdltgBase;
  bool valid = true;
  if (version >= kVerObjLinkTarget) {
    target = filer.Read_Byte();
    valid = filer.ReadBoolean();
  } else {
    if (version >= kVerObjLinkTargetByte) filer.Skip(1);
    type = rdltSmetaBase;
  }
  FLink.FLink = std::move(text);
  FLink.FLinkTarget = target;
  FLink.FLinkType = type;
  FLink.FLinkInvalid = !valid;
}

void TObjSmetaZatr::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  static const NameTable kOptionNames{"Reserved", "Disabled", "Reserved", "Reserved"};
  WriteAttrStr(element, "Identifier", FIdentifier);
  WriteAttrStr(element, "Obosn", FObosnov);
  WriteAttrStr(element, "Options", SetToText(FOptions, kOptionNames));
  for (int c = 0; c < kStoredColumns; ++c) {
    // A formula is written exactly as stored.
    if (const std::string_view formula = FFormula[static_cast<size_t>(c)]; !formula.empty()) {
      SetAttr(element, kColumnAttrs[c], formula);
    } else if (FPrice[Slot(0, c)].value != 0) {
      SetAttrCurr(element, kColumnAttrs[c], FPrice[Slot(0, c)]);
    }
  }
  WriteAttrCurr(element, "K", Currency{FK}, kOne);
  if (FLink.Linked()) FLink.XMLSaveToChild(element);
  if (const LinkBlocks* blocks = BlocksOfLink(FLink)) {
    static constexpr const char* kBlockTags[kPriceBlocks] = {"", "Mode_BaseIdx", "Mode_BaseNoIdx",
                                                             "Mode_ResCurr"};
    for (int b : blocks->extra) {
      XmlElement child = element.AppendChild(kBlockTags[b]);
      for (int c = 0; c < kStoredColumns; ++c) {
        WriteAttrCurr(child, kColumnAttrs[c], FPrice[Slot(b, c)], Currency{});
      }
    }
  }
  FUserData.XMLSaveToChild(element);
}

// ---- chapter ----

std::unique_ptr<TKDXAbstractRow> TObjSmetaGlava::CreateItem(uint8_t type) {
  return MakeItemOfType<TSmetaHeader, TObjSmetaZatr>(type, this);
}

void TObjSmetaGlava::ReadData(TKdFiler& filer) {
  if (filer.FileVersion() >= kVerObjChapterList) {
    ReadListBody(filer);
    return;
  }
  // Older chapters store no caption: the marker, then the count and the items.
  NestingGuard nesting(filer);
  Clear();
  filer.CheckSignature(kRowMarker);
  const uint16_t count = filer.ReadUInt16();
  FItems.reserve(std::min<size_t>(count, filer.Remaining()));
  for (uint16_t i = 0; i < count; ++i) Add(filer.Read_Byte()).Load(filer);
}

void TObjSmetaGlava::ReadOldBlock(TKdFiler& filer) {
  filer.CheckSignature(kRowMarker);
  const auto count = filer.ReadInt16();
  for (int16_t i = 0; i < count; ++i) {
    // Types other than a header or a cost row carry nothing.
    const uint8_t type = filer.Read_Byte();
    if (type <= 1) Add(type).Load(filer);
  }
}

void TObjSmetaGlava::XMLSave(XmlElement element) {
  CheckXMLTag(element);
  if (!FItems.empty()) {
    std::string_view caption = FCaption;
    if (caption.empty()) {
      if (const auto* doc = dynamic_cast<const TCustomObjSmeta*>(GetDocData())) {
        caption = TCustomObjSmeta::StandardChapterName(doc->Mode(), FPosition);
      }
    }
    WriteAttrStr(element, "Caption", caption);
  }
  WriteAttrInt(element, "Number", FGlavNum, -1);
  XMLSaveItems(element);
}

// ---- conversion row ----

void TObjSmetaCnvRow::ReadData(TKdFiler& filer) {
  ReadRowHead(filer);
  const int stored = filer.FileVersion() >= kVerObjFiveConversionK ? 5 : 4;
  for (int c = 0; c < stored; ++c) FK[static_cast<size_t>(c)] = filer.ReadInt32();
}

void TObjSmetaCnvRow::XMLSave(XmlElement element) {
  if (!XMLSaveRow(element)) return;
  for (size_t c = 0; c < kStoredColumns; ++c) {
    WriteAttrCurr(element, kColumnAttrs[c], Currency{FK[c]}, kOne);
  }
}

// ---- document ----

TCustomObjSmeta::TCustomObjSmeta(const ConversionSettings& settings, TCustomObjSmetaMode mode)
    : TKDXAbstractDocData(settings),
      FMode(mode),
      FConvertBlz(this),
      FConvertAlz(this),
      FUserData(this),
      FVariables(this),
      FDocSigns(this) {
  SetMode(mode);
}

std::unique_ptr<TKDXAbstractDocData> CreateObjSmeta(const ConversionSettings& settings) {
  return std::make_unique<TObjSmeta>(settings);
}

std::unique_ptr<TKDXAbstractDocData> CreateConsCalc(const ConversionSettings& settings) {
  return std::make_unique<TConsCalc>(settings);
}

void TCustomObjSmeta::SetMode(uint8_t mode) {
  const ModeLayout layout = LayoutOfMode(mode);
  if (layout.count == 0) RaiseBadData();
  FMode = mode;
  FGlavs.clear();
  FGlavs.reserve(layout.count);
  for (size_t i = 0; i < layout.count; ++i) {
    FGlavs.push_back(std::make_unique<TObjSmetaGlava>(this, layout.numbers[i], i));
  }
}

std::string_view TCustomObjSmeta::StandardChapterName(uint8_t mode, size_t position) {
  static const NameTable kEstimate{
      "Локальные сметные расчеты",
      "Временные здания и сооружения",
      "Прочие работы и затраты",
      "Содержание службы заказчика. Строительный контроль",
      "Подготовка эксплуатационных кадров для строящегося объекта капитального строительства",
      "Проектные и изыскательские работы",
      "Непредвиденные затраты",
      "Дополнительные затраты в текущих ценах",
      "Налоги и обязательные платежи"};
  static const NameTable kStandard{
      "Глава 1. Подготовка территории строительства",
      "Глава 2. Основные объекты строительства",
      "Глава 3. Объекты подсобного и обслуживающего назначения",
      "Глава 4. Объекты энергетического хозяйства",
      "Глава 5. Объекты транспортного хозяйства и связи",
      "Глава 6. Наружные сети и сооружения водоснабжения, водоотведения, теплоснабжения и "
      "газоснабжения",
      "Глава 7. Благоустройство и озеленение территории",
      "Глава 8. Временные здания и сооружения",
      "Глава 9. Прочие работы и затраты",
      "Глава 10. Содержание службы заказчика. Строительный контроль",
      "Глава 11. Подготовка эксплуатационных кадров для строящегося объекта капитального "
      "строительства",
      "Глава 12. Проектные и изыскательские работы",
      "Непредвиденные затраты",
      "Дополнительные затраты в текущих ценах",
      "Налоги и обязательные платежи"};
  static const NameTable kRepair{
      "Глава 1. Подготовка площадок(территории) капитального ремонта",
      "Глава 2. Основные объекты",
      "Глава 3. Объекты подсобного и обслуживающего назначения",
      "Глава 4. Наружные сети и сооружения водоснабжения, водоотведения, теплоснабжения и "
      "газоснабжения",
      "Глава 5. Благоустройство и озеленение территории",
      "Глава 6. Временные здания и сооружения",
      "Глава 7. Прочие работы и затраты",
      "Глава 8. Технический надзор",
      "Глава 9. Проектные и изыскательские работы",
      "Непредвиденные затраты",
      "Дополнительные затраты в текущих ценах",
      "Налоги и обязательные платежи"};
  static const NameTable kRoad{"Глава 1. Подготовка территории строительства",
                               "Глава 2. Земляное полотно",
                               "Глава 3. Дорожная одежда",
                               "Глава 4. Искуственные сооружения",
                               "Глава 5. Пересечения и примыкания",
                               "Глава 6. Дорожные устройства и обстановка дороги",
                               "Глава 7. Дорожная и автотранспортные службы",
                               "Глава 8. Подъезды к дороге",
                               "Глава 9. Временные здания и сооружения",
                               "Глава 10. Прочие работы и затраты",
                               "Глава 11. Содержание службы заказчика. Строительный контроль",
                               "Глава 12. Проектные и изыскательские работы",
                               "Непредвиденные затраты",
                               "Дополнительные затраты в текущих ценах",
                               "Налоги и обязательные платежи"};
  switch (mode) {
    case cosmObjSmeta:
      return kEstimate[position];
    case cosmConsCalc:
      return kStandard[position];
    case cosmConsCalcRec:
      return kRepair[position];
    case cosmConsCalcRoad:
      return kRoad[position];
    default:
      return {};
  }
}

void TCustomObjSmeta::Clear() { FDocSigns.Clear(); }

void TCustomObjSmeta::ReadBody(TKdFiler& filer) {
  const int32_t version = FFileVersion;
  size_t stored = FGlavs.size();
  if (version >= kVerObjModeAndOptions) {
    SetMode(filer.Read_Byte());
    stored = filer.Read_Byte();
  }
  // The chapters at places first + 1 to last, in turn. A place beyond the
  // mode's chapters names a chapter that does not exist: the load fails there,
  // after the chapters before it have been read (and may have failed on their own).
  const auto read_chapters = [&](size_t first, size_t last) {
    for (size_t i = first; i < last; ++i) {
      if (i >= FGlavs.size()) RaiseBadData();
      FGlavs[i]->Load(filer);
    }
  };
  if (version >= kVerObjUnitAmounts) FThousands = filer.ReadBoolean();
  if (version >= kVerObjModeAndOptions) FOptions = filer.ReadUInt16();
  if (version >= kVerObjRoundMode) FRoundMode = filer.Read_Byte();
  if (version >= kVerObjChapterCount) {
    read_chapters(0, stored);
  } else {
    // The oldest layout: the first chapter, six row blocks that join it, then
    // the chapters at places 8 to 15, which only a mode of 15 chapters has.
    read_chapters(0, 1);
    for (int block = 0; block < 6; ++block) FGlavs[0]->ReadOldBlock(filer);
    read_chapters(7, 15);
  }
  if (version >= kVerObjConversions) {
    FConvertBlz.Load(filer);
    FConvertAlz.Load(filer);
  }
  FVisibleSummaries = filer.ReadUInt16() & SummariesMask();
  if (version >= kVerObjSignatureList) {
    FDocSigns.Load(filer);
  } else {
    ReadOldSignatures(filer, version >= kVerObjEightSignatures ? 8
                             : version >= kVerObjIdentifiers   ? 4
                                                               : 0);
  }
  ReadKindPart(filer, version);
  if (version >= kVerObjUserData) {
    FDocComment.Load(filer);
    FUserData.Load(filer);
  }
  if (version >= kVerObjLinkRow) FVariables.Load(filer);
  Renumerate();
}

void TCustomObjSmeta::ReadOldSignatures(TKdFiler& filer, int count) {
  static const NameTable kCaptions{"Основание",
                                   "ГИП",
                                   "Начальник",
                                   "Начальник отдела",
                                   "Составил",
                                   "Проверил",
                                   "Руководитель проектной организации",
                                   "Заказчик"};
  static constexpr int32_t kIds[8] = {100, 360, 380, 390, 300, 310, 350, 230};
  FDocSigns.Clear();
  for (int i = 0; i < count; ++i) {
    std::string text = filer.ReadString();
    if (text.empty()) continue;
    TKDXDocSignature& sign = FDocSigns.Append();
    sign.SetCaption(kCaptions[static_cast<size_t>(i)]);
    sign.FSignID = kIds[i];
    sign.FSignValue = std::move(text);
  }
}

void TCustomObjSmeta::Renumerate() {
  int32_t number = 0;
  for (const auto& glava : FGlavs) {
    for (size_t i = 0; i < glava->Count(); ++i) {
      TKDXAbstractRow* row = glava->Item(i);
      if (row->GetKind() == srkPosition) static_cast<TObjSmetaZatr*>(row)->FNumber = ++number;
    }
  }
}

void TCustomObjSmeta::XMLSaveBody(XmlElement element) {
  static const NameTable kModes{"Est", "Cons", "Rec", "Road"};
  static const NameTable kRounds{"Off", "R1", "R10", "R100", "R1000"};
  XmlElement options = element.AppendChild("Options");
  WriteAttrStr(options, "Mode", kModes[FMode]);
  WriteAttrBool(options, "Thousands", FThousands, false);
  WriteAttrStr(options, "RoundMode", kRounds[FRoundMode]);
  SetAttrInt(options, "Summaries", FVisibleSummaries);
  XMLSaveKindOptions(options);

  XmlElement chapters = element.AppendChild("Chapters");
  for (const auto& glava : FGlavs) glava->XMLSave(chapters.AppendChild(glava->XMLTag()));

  FConvertBlz.XMLSaveToChild(element);
  FConvertAlz.XMLSaveToChild(element);
  FVariables.XMLSaveToChild(element);
  FDocSigns.XMLSaveToChild(element);
  FUserData.XMLSaveToChild(element);
}

void TObjSmeta::ReadKindPart(TKdFiler& filer, int32_t version) {
  if (version >= kVerObjCcChapters) {
    for (uint8_t& number : FCcGlava) number = filer.Read_Byte();
  } else if (version >= kVerObjCcChapter) {
    FCcGlava[0] = filer.Read_Byte();
  }
}

}  // namespace kdx

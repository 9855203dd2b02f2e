// The local estimate (document kind 0): its parameters, the lists it reads
// before its chapters (catalogues, coefficients, indexes, winter rises, acts),
// the chapters with their headers and positions, the additional costs, and
// what follows them (variables, signatures, user data, optional zones, the
// defects list).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/common_rows.h"
#include "model/document.h"
#include "model/signatures.h"
#include "shared/addons.h"
#include "smeta/acts.h"
#include "smeta/addzatrats.h"
#include "smeta/chapters.h"
#include "smeta/coefficients.h"
#include "smeta/defects.h"
#include "smeta/indexes.h"
#include "smeta/optional_zones.h"
#include "smeta/resource_catalog.h"
#include "smeta/smeta_host.h"
#include "smeta/value_texts.h"
#include "smeta/vidrab.h"

namespace kdx {

class TSmetaPosition;

enum TSmetaMainPriceLevel : uint8_t { smpl2001, smpl1984 };
enum TSmetaIndexesMode : uint8_t { simNone, simPosOne, simTotal, simSmr };

using TSmetaRenumerator = TCustomSmetaRenumerator;

class TSmeta : public TKDXAbstractDocData,
               public IPriceIndexAddOnTypesOwner,
               public ISmetaVrKfsOwner,
               public ISmetaOptionsSource,
               public ISmetaIndexesModeSource,
               public ISmetaDefectListHost {
 public:
  static constexpr int32_t kVerSmetaLast = 0x0001015F;

  explicit TSmeta(const ConversionSettings& settings);

  int32_t MaxFileVersion() const override { return kVerSmetaLast; }
  uint64_t DocSignature() const override { return DocSignatureOf("KD_Smeta"); }
  const char* GetDocumentType() const override { return "{2B0470FD-477C-4359-9F34-EEBE36B7D340}"; }

  // What the rows ask of their estimate.
  TPriceIndexAddOnTypes* IndexAddOnTypes() override { return &FIndexesAddOnTypes; }
  TSmetaVrKfs* VrKfsList() override { return &FVidRabKs; }
  uint32_t SmetaOptions() const override { return FOptions; }
  uint8_t SmetaIndexesMode() const override { return FIndexesMode; }
  TKDXAbstractRow* FindPositionBySysID(int32_t id) override;
  int32_t PositionSysID(const TKDXAbstractRow* row) const override;

  // Region (i = 0) and zone (i = 1..3) names and IDs as shown.
  std::string_view GetRegionName(int i) const;
  int32_t GetRegionID(int i) const;
  bool IsMtsnNPZpmDefault() const;

  // The legacy price mode P and index mode M of the current load (0 when the
  // file stores none); positions of old files consult them.
  uint8_t LegacyPriceMode() const { return FLegacyPriceMode; }
  uint8_t LegacyIndexMode() const { return FLegacyIndexMode; }
  // The system ID of a position of an older file, which stores none: 1, 2, 3
  // ... in reading order.
  int32_t NextPositionSysID() { return ++FLastPositionSysID; }
  // Every position of the estimate in document order.
  const std::vector<TSmetaPosition*>& Positions() const { return FPositions; }

  uint32_t FOptions = soAddZatr | soSeparateFot;
  std::array<int32_t, 4> FZoneIDs{0, 1, 1, 0};
  std::array<std::string, 4> FZoneNames;
  uint8_t FOsGlava = 1;
  uint8_t FOsLinkType = rdltSmetaBase;
  std::array<uint8_t, 3> FCcGlava{2, 2, 2};
  int32_t FReservedMoney = 0;
  uint8_t FVrBaseCalc = vr2001;
  uint8_t FBasePriceLevel = smpl2001;
  uint8_t FBaseCalcMode = 0;
  uint8_t FIndexesMode = simNone;
  uint8_t FBlockRoundMode = 2;
  uint8_t FItogOptions = 4;
  uint8_t FItogFirstCalcItem = 0;
  uint8_t FItogExpandToItem = 0;
  int32_t FMatDigits = 4;
  uint8_t FMatRoundMode = 1;
  int32_t FTzDigits = 2;
  int32_t FPosKRoundFactor = -2;
  uint8_t FMulkKPosCalcMode = 0;
  std::string FPropsConfigName;
  bool FPropsConfigModified = false;
  uint8_t FIndexesLinkMode = 0;
  std::string FIndexFileName;
  std::array<TNaclPlan, 2> FCommonNakl{};
  std::array<int32_t, 2> FMtsnNaklZpm{980000, 0};
  std::array<int32_t, 2> FMtsnPlanZpm{770000, 0};
  int32_t FTempZone = 1;

  // Owned objects. Positions refer to the catalogues and lists declared before
  // the chapters, so these outlive them.
  TSmetaRenumerator FRenumerator;
  TSmetaResManager FResManager;
  TSmetaSharedRowsManager FResObManager;
  TSmetaWorkManager FWorkManager;
  TSmetaPfrmsManager FPfrmsManager;
  TSmetaVidRabsCatalog FVidsRabs;
  TSmetaVrKfs FVidRabKs;
  TSmetaRegK FRegK;
  TSmetaTerZoneK FTERZoneK;
  TPriceIndexAddOnTypes FIndexesAddOnTypes;
  TSmetaIndexesPos FIndexesPos;
  TSmetaIndexesRes FIndexesRes;
  TKDXSmetaIndexSmrLz FCommonIndexSmr;
  TKDXSmetaIndexSmrLz FCommonIndexSmrLz;
  TKDXSmetaIndexSmrLz FCommonIndexRes;
  TSmetaOsIndexes FOsGrafaIndexes;
  TSmetaCommonNPK FCommonNK;
  TSmetaCommonNPK FCommonPK;
  TSmetaWinters FWinters;
  TSmetaImlpemActList FImplemActList;
  TSmetaChapters FChapters;
  TSmetaAddZatrats FAddZatrs;
  TKdVariables FVariables;
  TKDXDocSignatures FDocSignatures;
  TKdUserData FUserData;
  TSmetaOptionalZones FOptionalZones;
  // Defect positions point at positions of the chapters; declared after them,
  // the defects list goes first.
  TKdDefectsList FDefectsList;

 protected:
  void ReadBody(TKdFiler& filer) override;
  void XMLSaveBody(XmlElement element) override;

 private:
  // The stages of the body, in stream order (ReadBody calls them).
  void ReadParameters(TKdFiler& filer);
  void ReadSharedLists(TKdFiler& filer);
  void ReadIndexes(TKdFiler& filer);
  void ReadRatesAndActs(TKdFiler& filer);
  void ReadClosingPart(TKdFiler& filer);
  // Legacy blocks of old files, turned into price indexes.
  void ReadLegacyCoefficientTables(TKdFiler& filer);
  void ReadLegacyDesignIndexes(TKdFiler& filer);
  void ReadLegacyWorkTypeIndexes(TKdFiler& filer, TSmetaVidRabType vr);
  void ReadAdditionalCosts(TKdFiler& filer);
  // The work-type indexes and skipped lists after the additional costs.
  void ReadLegacyTail(TKdFiler& filer);
  void AfterLoad();
  void ApplyLegacyIndexMode();

  uint8_t FLegacyPriceMode = 0;
  uint8_t FLegacyIndexMode = 0;
  int32_t FLastPositionSysID = 0;
  std::vector<TSmetaPosition*> FPositions;
  // The positions by system ID, made at the first look-up once the chapters
  // are read: a defect's positions name theirs, and a search per defect
  // position would grow with the square of the document.
  std::unordered_map<int32_t, TSmetaPosition*> FPositionsBySysID;
  bool FPositionsBySysIDMade = false;
};

}  // namespace kdx

// The defects list of a repair estimate: chapters of described defects, each
// defect with a code, a unit and a quantity formula, and under each defect the
// estimate positions that remedy it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/common_rows.h"

namespace kdx {

// How the quantities of a position that remedies several defects are merged.
enum TDefListMergeQtyMode : uint8_t { dlmqmResultComment, dlmqmResult, dlmqmFxComment, dlmqmFx };

// What defects and defect positions share: a quantity formula, an inactive
// flag, colour flags, an identifier and a number given by the list.
class TCustomDefectsListRow : public TKdIdentifierRow {
 public:
  explicit TCustomDefectsListRow(TKDXAbstractRow* owner)
      : TKdIdentifierRow(owner), FItemFlags(this) {}
  // The number as written.
  virtual std::string NumberText() const { return IntToText(FNumber); }

  std::string FQuantityFx;
  bool FInactive = false;
  TKdItemFlags FItemFlags;
  int32_t FNumber = 0;  // given by TKdDefectsList::Renumber, not stored

 protected:
  void ReadCommon(TKdFiler& filer);
  // The common attributes; false when the row is not stored.
  bool XMLSaveCommon(XmlElement element);
};

// An estimate position that remedies a defect.
class TDefectsListPosition : public TCustomDefectsListRow {
 public:
  using TCustomDefectsListRow::TCustomDefectsListRow;
  uint8_t GetOptions() const override { return 0; }
  TSmetaRowKind GetKind() const override { return srkDefListPosition; }
  const char* XMLTag() const override { return "Position"; }
  // High 16 bits the defect's number, low 16 bits the place under it: "2.3".
  std::string NumberText() const override;
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  // The estimate position this row stands for, or nullptr, and its system ID
  // as the estimate gives it (0 without a target). Not owned, and valid only
  // until the chapters are written: a document written once frees its
  // positions as it goes, so the XML uses the system ID.
  TKDXAbstractRow* FTarget = nullptr;
  int32_t FTargetSysID = 0;
};

class TDefectsListPositions : public TKdTypedList<TDefectsListPosition> {
 public:
  explicit TDefectsListPositions(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
};

// A described defect with the positions that remedy it.
class TDefectsListDefect : public TCustomDefectsListRow {
 public:
  explicit TDefectsListDefect(TKDXAbstractRow* owner)
      : TCustomDefectsListRow(owner), FItems(this) {}
  TSmetaRowKind GetKind() const override { return srkDefListDefect; }
  const char* XMLTag() const override { return "Defect"; }
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;

  std::string FCode;
  std::string FIsm;
  TDefectsListPositions FItems;
};

// A chapter of headers (type 0) and defects (type 1).
class TDefectsListChapter : public TCustomSmetaChapter {
 public:
  using TCustomSmetaChapter::TCustomSmetaChapter;
  TSmetaRowKind GetKind() const override { return srkDefListChapter; }
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  int ItemType(const TKDXAbstractRow& row) const override;
};

// The list of chapters, then the merge mode.
class TKdDefectsList : public TKdTypedList<TDefectsListChapter> {
 public:
  explicit TKdDefectsList(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  const char* XMLTag() const override { return "DefectsList"; }
  // Reads the chapters and the mode, then numbers the defects.
  void ReadData(TKdFiler& filer) override;
  bool IsXMLStored() const override { return Count() > 0 || FMergeQuantityMode != 0; }
  void XMLSave(XmlElement element) override;

  // Numbers the defects 1, 2, 3... over all chapters (headers skipped) and
  // each defect's positions under it, and gathers both in order.
  void Renumber();
  const std::vector<TDefectsListDefect*>& Defects() const { return FPositions; }
  const std::vector<TDefectsListPosition*>& Links() const { return FLinks; }

  uint8_t FMergeQuantityMode = dlmqmResultComment;

 private:
  // Not owned: all defects, and all defect positions, in order.
  std::vector<TDefectsListDefect*> FPositions;
  std::vector<TDefectsListPosition*> FLinks;
};

}  // namespace kdx

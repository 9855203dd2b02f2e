// The chapters of an estimate: each holds headers and positions in order,
// with a system ID and the code of the price index assigned to the chapter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/common_rows.h"

namespace kdx {

class TSmetaPosition;

class TSmetaChapter : public TCustomSmetaChapter {
 public:
  using TCustomSmetaChapter::TCustomSmetaChapter;
  // Type 0 a header, 1 a position; any other code has no class.
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t type) override;
  void ReadData(TKdFiler& filer) override;
  void XMLSave(XmlElement element) override;
  // Headers and positions are referred to by nothing written after them: the
  // defects list keeps the system IDs of its positions.
  bool FreesWrittenItems() const override { return true; }

  // The chapter's positions in order (not owned), rebuilt after reading;
  // emptied when the chapter frees its written items.
  const std::vector<TSmetaPosition*>& Positions() const { return FPositions; }

  int32_t FSysID = -1;
  std::string FPriceIndexCode;

 private:
  void RebuildPositions();
  std::vector<TSmetaPosition*> FPositions;
};

class TSmetaChapters : public TKdTypedList<TSmetaChapter> {
 public:
  explicit TSmetaChapters(TKDXAbstractRow* owner) : TKdTypedList(owner, 0) {}
  TSmetaRowKind GetKind() const override { return srkChapters; }
  const char* XMLTag() const override { return "Chapters"; }
};

}  // namespace kdx

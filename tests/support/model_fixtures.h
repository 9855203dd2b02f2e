// Fixtures for the tests of rows read on their own: a stand-in estimate that
// gives the rows a file version, and reading a row from bytes and writing it as
// XML.
#pragma once

#include <cstdint>
#include <string>

#include "model/document.h"
#include "model/row.h"
#include "support/builder.h"

namespace kdx::test {

// The newest file version of an estimate.
inline constexpr int32_t kLatest = 0x0001015F;

// A stand-in for the estimate: gives the rows a file version. A test whose rows
// ask the estimate for more derives from it.
class TestEstimate : public TKDXAbstractDocData {
 public:
  explicit TestEstimate(int32_t version) : TKDXAbstractDocData(Conventions()) {
    FFileVersion = version;
  }
  int32_t MaxFileVersion() const override { return kLatest; }
  uint64_t DocSignature() const override { return DocSignatureOf("KD_Smeta"); }
  const char* GetDocumentType() const override { return ""; }

 protected:
  void ReadBody(TKdFiler& /*filer*/) override {}
};

// Reads the row from the bytes and expects every byte to be consumed.
void ReadRow(TKDXAbstractRow& row, const DocBuilder& b);
// The failure text of reading the row from the bytes, or "" when it reads.
std::string ReadFailure(TKDXAbstractRow& row, const DocBuilder& b);
// The XML the row writes as a child element (UTF-8, one element per line),
// without the tags of the element it is written into.
std::string RowXml(TKDXAbstractRow& row);

}  // namespace kdx::test

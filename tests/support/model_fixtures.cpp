#include "support/model_fixtures.h"

#include <gtest/gtest.h>

#include "support/outcomes.h"

namespace kdx::test {

void ReadRow(TKDXAbstractRow& row, const DocBuilder& b) {
  TKdFiler filer(reinterpret_cast<const uint8_t*>(b.Bytes().data()), b.Size());
  row.Load(filer);
  EXPECT_TRUE(filer.IsEndOfStream());
}

std::string ReadFailure(TKDXAbstractRow& row, const DocBuilder& b) {
  return FailureOf([&] { ReadRow(row, b); });
}

std::string RowXml(TKDXAbstractRow& row) {
  std::string body = BodyLines(SavedXml("R", [&](XmlElement r) { row.XMLSaveToChild(r); }));
  const size_t end = body.rfind("</R>");
  return end == std::string::npos ? body : body.substr(0, end);
}

}  // namespace kdx::test

// Byte blocks small (from the heap) and large (mapped apart): copies, moves,
// early release; the driver keeps a handed-over document as its tree and
// serialises it on demand.
#include "filer/byte_block.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "api/convert.h"
#include "samples/samples.h"
#include "support/builder.h"

namespace kdx::test {
namespace {

TEST(ByteBlock, SmallAndLargeBlocksCopyMoveAndRelease) {
  for (const size_t size : {size_t{0}, size_t{1}, size_t{4095}, size_t{4} << 20, size_t{9} << 20}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + size);
    ByteBlock block(bytes.data(), bytes.size());
    ASSERT_EQ(block.size(), size);
    EXPECT_EQ(block.view(), bytes);

    ByteBlock moved(std::move(block));
    EXPECT_TRUE(block.empty());  // NOLINT(bugprone-use-after-move): a moved block is empty
    EXPECT_EQ(moved.view(), bytes);
    ByteBlock assigned(16);
    assigned = std::move(moved);
    EXPECT_EQ(assigned.view(), bytes);
    if (size) assigned.data()[size - 1] ^= 1;  // writable to the last byte
    assigned.Release();
    EXPECT_TRUE(assigned.empty());
    EXPECT_EQ(assigned.data(), nullptr);
  }
}

// A handed-over document kept as its tree gives the XML of a conversion in
// one piece, of the size it tells, as often as it is asked.
TEST(ByteBlock, ConversionOfAHandedOverDocumentGivesTheSameXml) {
  struct Collected final : XmlSink {
    std::string bytes;
    void Write(std::string_view piece) override { bytes += piece; }
  };
  for (const std::string& packed :
       {samples::PriceList(), samples::Smeta(), samples::ResSummary()}) {
    const std::string xml = ConvertDocument(reinterpret_cast<const uint8_t*>(packed.data()),
                                            packed.size(), Conventions());
    const ConvertedDocument document(ByteBlock(packed.data(), packed.size()), Conventions());
    EXPECT_EQ(document.Size(), xml.size());
    for (int round = 0; round < 2; ++round) {
      Collected out;
      document.Save(out);
      EXPECT_EQ(out.bytes, xml) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace kdx::test

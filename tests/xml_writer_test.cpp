// The XML writer: declaration, indentation with CR LF, empty elements,
// escaping of every byte class, writing order enforced, blocks and sink
// pieces giving the same bytes whatever their boundaries, and the bound.
#include "xml/xml_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "filer/errors.h"
#include "support/builder.h"
#include "support/outcomes.h"
#include "xml/values.h"

namespace kdx::test {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n";

// The bytes a writer makes under the root element, kept in blocks.
std::string Written(const std::function<void(XmlElement)>& write, uint64_t bound = kMaxXmlSize) {
  const ConversionSettings settings = TestSettings();
  XmlBytes out(bound);
  XmlWriter xml(settings, out);
  write(xml.Root("R"));
  xml.Finish();
  EXPECT_EQ(out.Size(), out.Text().size());
  return out.Text();
}

// The same handed to a sink, with the sizes of the pieces.
struct Pieces final : XmlSink {
  std::vector<size_t> sizes;
  std::string all;
  void Write(std::string_view bytes) override {
    sizes.push_back(bytes.size());
    all.append(bytes);
  }
};

Pieces WrittenToSink(const std::function<void(XmlElement)>& write, uint64_t bound = kMaxXmlSize) {
  const ConversionSettings settings = TestSettings();
  Pieces pieces;
  XmlSinkOutput out(pieces, bound);
  XmlWriter xml(settings, out);
  write(xml.Root("R"));
  xml.Finish();
  return pieces;
}

TEST(XmlWriterTest, WritesDeclarationIndentationAndEmptyElements) {
  const std::string out = Written([](XmlElement root) {
    root.SetAttr("A", "1");
    XmlElement a = root.AppendChild("A");
    a.AppendChild("B").AppendChild("C").SetAttr("x", "y");
    a.AppendChild("D");
    root.AppendChild("E");
  });
  EXPECT_EQ(out, std::string(kDeclaration) +
                     "<R A=\"1\">\r\n"
                     "  <A>\r\n"
                     "    <B>\r\n"
                     "      <C x=\"y\"/>\r\n"
                     "    </B>\r\n"
                     "    <D/>\r\n"
                     "  </A>\r\n"
                     "  <E/>\r\n"
                     "</R>\r\n");
  EXPECT_EQ(Written([](XmlElement) {}), std::string(kDeclaration) + "<R/>\r\n");
}

TEST(XmlWriterTest, EscapesEveryByteClass) {
  const struct {
    std::string value;
    const char* kept;     // SetAttr
    const char* dropped;  // SetAttrWithoutBel
  } cases[] = {
      {"a&b", "a&amp;b", "a&amp;b"},
      {"<tag>", "&lt;tag&gt;", "&lt;tag&gt;"},
      {"say \"hi\"", "say &quot;hi&quot;", "say &quot;hi&quot;"},
      {"it's", "it's", "it's"},
      {"\t\n\r", "&#9;&#10;&#13;", "&#9;&#10;&#13;"},
      {std::string("\x00\x01\x07\x1F", 4), "    ", "   "},  // control bytes: blanks, 7 left out
      {"\xC0\xFF\x80\x7F", "\xC0\xFF\x80\x7F", "\xC0\xFF\x80\x7F"},  // as they are
      {"\x98", "&#152;", "&#152;"},  // the byte windows-1251 leaves unassigned
      {"", "", ""},
      // 16 bytes and more go through the wide scan: a special byte at each end.
      {"&0123456789abcd\"", "&amp;0123456789abcd&quot;", "&amp;0123456789abcd&quot;"},
      {"0123456789abcdef\a0123456789abcde<", "0123456789abcdef 0123456789abcde&lt;",
       "0123456789abcdef0123456789abcde&lt;"},
      {"plain text of more than sixteen bytes", "plain text of more than sixteen bytes",
       "plain text of more than sixteen bytes"},
  };
  for (const auto& c : cases) {
    const std::string out = Written([&](XmlElement root) {
      root.SetAttr("k", c.value);
      root.SetAttrWithoutBel("d", c.value);
      root.SetAttrVerbatim("v", "1,5");
    });
    EXPECT_EQ(out.substr(kDeclaration.size()),
              std::string("<R k=\"") + c.kept + "\" d=\"" + c.dropped + "\" v=\"1,5\"/>\r\n")
        << c.value;
  }
}

TEST(XmlWriterTest, WritingOutOfOrderFails) {
  const struct {
    const char* name;
    std::function<void(XmlElement)> write;
    const char* failure;
  } cases[] = {
      {"attribute after a child", [](XmlElement r) { r.AppendChild("A"), r.SetAttr("x", "1"); },
       "XML written out of document order"},
      {"attribute on an ended element",
       [](XmlElement r) {
         XmlElement a = r.AppendChild("A");
         r.AppendChild("B");
         a.SetAttr("x", "1");
       },
       "XML written out of document order"},
      {"child of an ended element",
       [](XmlElement r) {
         XmlElement a = r.AppendChild("A");
         r.AppendChild("B");
         a.AppendChild("C");
       },
       "XML written out of document order"},
      {"an attribute set twice",
       [](XmlElement r) {
         r.SetAttr("Caption", "1");
         r.SetAttr("Code", "2");
         r.SetAttrVerbatim(std::string("Caption"), "3");
       },
       "XML attribute Caption set twice"},
  };
  for (const auto& c : cases) {
    try {
      Written(c.write);
      ADD_FAILURE() << c.name << ": written";
    } catch (const std::logic_error& e) {
      EXPECT_STREQ(e.what(), c.failure) << c.name;
    }
  }
  // Names of one size and the same ends are told apart.
  EXPECT_EQ(Written([](XmlElement r) {
              r.SetAttr("AxB", "1");
              r.SetAttr("AyB", "2");
            }).substr(kDeclaration.size()),
            "<R AxB=\"1\" AyB=\"2\"/>\r\n");
}

// A document of many blocks, with values longer than a block and values
// crossing block boundaries, deep nesting and names of every size: the same
// bytes in blocks and in sink pieces, and those what the writer was told.
TEST(XmlWriterTest, BlocksAndPiecesHoldTheSameBytesAcrossBoundaries) {
  std::string expected = "<R>\r\n";
  const auto write = [&expected](XmlElement root) {
    expected = "<R>\r\n";
    for (int i = 0; i < 30000; ++i) {
      const std::string name(static_cast<size_t>(i % 40 + 1), static_cast<char>('a' + i % 26));
      // Values of 1 to 2,999 quotes: their escaped room meets every offset of a block.
      const std::string value(static_cast<size_t>(i % 3000 / 7 + 1), '"');
      root.AppendChild(i % 2 ? "Item" : "It").SetAttr(name, value);
      std::string escaped;
      for (size_t q = 0; q < value.size(); ++q) escaped += "&quot;";
      expected +=
          std::string("  <") + (i % 2 ? "Item" : "It") + " " + name + "=\"" + escaped + "\"/>\r\n";
    }
    root.AppendChild("Huge").SetAttr("v", std::string(300000, '&'));
    expected += "  <Huge v=\"";
    for (int k = 0; k < 300000; ++k) expected += "&amp;";
    expected += "\"/>\r\n";
    XmlElement deep = root;
    for (int level = 1; level < 300; ++level) deep = deep.AppendChild("D");
    for (int level = 1; level < 300; ++level) {
      expected += std::string(2 * static_cast<size_t>(level), ' ');
      expected += level + 1 < 300 ? "<D>\r\n" : "<D/>\r\n";
    }
    for (int level = 298; level >= 1; --level) {
      expected += std::string(2 * static_cast<size_t>(level), ' ') + "</D>\r\n";
    }
    expected += "</R>\r\n";
  };
  const std::string blocks = Written(write);
  EXPECT_EQ(blocks, std::string(kDeclaration) + expected);
  const Pieces pieces = WrittenToSink(write);
  EXPECT_EQ(pieces.all, blocks);
  ASSERT_GT(pieces.sizes.size(), 100u);
  for (const size_t size : pieces.sizes) EXPECT_LE(size, size_t{64} << 10);
}

TEST(XmlWriterTest, TheBoundIsExactInBlocksAndInPieces) {
  const auto write = [](XmlElement root) {
    for (int i = 0; i < 20000; ++i) root.AppendChild("I").SetAttrVerbatim("n", IntToText(i));
  };
  const size_t size = Written(write).size();
  const std::string too_large = "EOutOfMemory: Out of memory: the XML would be larger than " +
                                std::to_string(size - 1) + " bytes";
  EXPECT_EQ(Written(write, size).size(), size);
  EXPECT_EQ(FailureOf([&] { Written(write, size - 1); }), too_large);
  EXPECT_EQ(WrittenToSink(write, size).all.size(), size);
  EXPECT_EQ(FailureOf([&] { WrittenToSink(write, size - 1); }), too_large);
  // No byte past the bound reaches a sink.
  Pieces seen;
  const ConversionSettings settings = TestSettings();
  XmlSinkOutput out(seen, 100000);
  XmlWriter xml(settings, out);
  EXPECT_FALSE(FailureOf([&] {
                 XmlElement root = xml.Root("R");
                 for (int i = 0; i < 20000; ++i) root.AppendChild("I").SetAttr("n", "1");
               }).empty());
  EXPECT_LE(seen.all.size(), 100000u);
}

// The blocks a handle keeps hold little more than the XML at every size:
// below the first block, one chunk past it, and ending anywhere in a chunk.
TEST(XmlWriterTest, TheBlocksHoldLittleMoreThanTheXml) {
  const ConversionSettings settings = TestSettings();
  // The first block is 64 KB, a chunk 2 MB: 3,212 KB and 5,660 KB end in a
  // chunk more than half full, 3 MB in one less than half full.
  for (const size_t target : {size_t{100}, size_t{70} << 10, size_t{2200} << 10, size_t{3} << 20,
                              size_t{3212} << 10, size_t{5660} << 10, size_t{9} << 20}) {
    XmlBytes out;
    {
      XmlWriter xml(settings, out);
      XmlElement root = xml.Root("R");
      // Each element takes 17 bytes and its value (the blocks count theirs
      // only when the next one is taken).
      for (size_t i = 0, written = 0; written + 64 < target; ++i, written += 17 + i % 50) {
        root.AppendChild("Item").SetAttr("v", std::string(i % 50, 'x'));
      }
      xml.Finish();
    }
    const double size = static_cast<double>(out.Size());
    EXPECT_LE(static_cast<double>(out.Capacity()), size * 1.05) << "XML of " << out.Size();
    EXPECT_EQ(out.Text().size(), out.Size());
  }
}

// Chunks a model gave back become the XML's blocks; those still unused when
// the XML is finished are freed, not kept with the bytes.
TEST(XmlWriterTest, ChunksGivenBackAreTakenAndTheRestFreedAtTheEnd) {
  const ConversionSettings settings = TestSettings();
  XmlBytes out;
  for (int i = 0; i < 3; ++i) out.Chunks().Give(ChunkPool::NewChunk());
  XmlWriter xml(settings, out);
  XmlElement root = xml.Root("R");
  // Past the first block of 64 KB: one chunk taken from the pool.
  for (int i = 0; i < 5000; ++i) root.AppendChild("Item").SetAttr("v", std::string(20, 'x'));
  EXPECT_EQ(out.Chunks().Kept(), 2u);
  xml.Finish();
  EXPECT_EQ(out.Chunks().Kept(), 0u);
  EXPECT_EQ(out.Text().size(), out.Size());
}

// A long value takes the room of its pieces, not six times its length at
// once: near the bound the blocks stay within it, one block and the room of
// one piece (1 KB escaped: 6 KB).
TEST(XmlWriterTest, ALongValuePastTheBoundFailsBeforeItsRoomIsTaken) {
  const ConversionSettings settings = TestSettings();
  constexpr uint64_t kBound = 1 << 20;
  XmlBytes out(kBound);
  XmlWriter xml(settings, out);
  EXPECT_EQ(FailureOf([&] { xml.Root("R").SetAttr("v", std::string(size_t{16} << 20, '"')); }),
            "EOutOfMemory: Out of memory: the XML would be larger than 1048576 bytes");
  EXPECT_LE(out.Capacity(), kBound + (size_t{64} << 10) + (size_t{8} << 10));
}

}  // namespace
}  // namespace kdx::test

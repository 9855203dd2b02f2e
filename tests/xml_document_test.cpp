// The XML document the conversion writes into: declaration, indentation with
// CR LF, empty elements, attribute order and escaping, control bytes written
// as blanks, and the size known before saving.
#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/builder.h"
#include "xml/values.h"

namespace kdx::test {
namespace {

TEST(XmlDocumentTest, SerialisesWithDeclarationIndentationAndEmptyElements) {
  const ConversionSettings settings = TestSettings();
  XmlDocument doc(settings);
  XmlElement& root = doc.CreateRoot("Document");
  root.SetAttr("A", "1");
  XmlElement& a = root.AppendChild("A");
  a.AppendChild("B").AppendChild("C").SetAttr("x", "y");
  a.AppendChild("D");
  root.AppendChild("E");
  EXPECT_EQ(&doc.CreateRoot("Other"), &root);  // the document element is made once

  std::string out;
  doc.Save(out);
  EXPECT_EQ(out,
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
            "<Document A=\"1\">\r\n"
            "  <A>\r\n"
            "    <B>\r\n"
            "      <C x=\"y\"/>\r\n"
            "    </B>\r\n"
            "    <D/>\r\n"
            "  </A>\r\n"
            "  <E/>\r\n"
            "</Document>\r\n");
}

TEST(XmlDocumentTest, ChildlessDocumentElementIsEmpty) {
  const ConversionSettings settings = TestSettings();
  XmlDocument doc(settings);
  doc.CreateRoot("Document");
  std::string out = "prefix:";
  doc.Save(out);  // appends
  EXPECT_EQ(out, "prefix:<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<Document/>\r\n");
}

TEST(XmlDocumentTest, AttributeValuesAreEscaped) {
  const struct {
    std::string value;
    const char* written;
  } cases[] = {
      {"a&b", "a&amp;b"},
      {"<tag>", "&lt;tag&gt;"},
      {"say \"hi\"", "say &quot;hi&quot;"},
      {"it's", "it's"},
      {"\t\n\r", "&#9;&#10;&#13;"},
      {"\x01\x07\x1F", "   "},   // control bytes become blanks
      {"\xC0\xFF", "\xC0\xFF"},  // windows-1251 letters as they are
      {"\x98", "&#152;"},        // the byte windows-1251 leaves unassigned
      {"", ""},
  };
  for (const auto& c : cases) {
    const ConversionSettings settings = TestSettings();
    XmlDocument doc(settings);
    doc.CreateRoot("R").SetAttr("v", c.value);
    std::string out;
    doc.Save(out);
    const std::string line = out.substr(out.find("\r\n") + 2);
    EXPECT_EQ(line, std::string("<R v=\"") + c.written + "\"/>\r\n");
  }
}

TEST(XmlDocumentTest, SettingAnAttributeAgainKeepsItsPlace) {
  const ConversionSettings settings = TestSettings();
  XmlDocument doc(settings);
  XmlElement& e = doc.CreateRoot("R");
  e.SetAttr("A", "1");
  e.SetAttr("B", "2");
  // A name equal in text but held elsewhere is the same attribute.
  const std::string a_name = "A";
  e.SetAttr(a_name.c_str(), "3");
  ASSERT_TRUE(e.FindAttr("A"));
  EXPECT_EQ(*e.FindAttr("A"), "3");
  EXPECT_FALSE(e.FindAttr("C"));
  std::string out;
  doc.Save(out);
  EXPECT_EQ(out.substr(out.find("\r\n") + 2), "<R A=\"3\" B=\"2\"/>\r\n");
}

TEST(XmlDocumentTest, ANameInABufferTheCallerReusesIsANewName) {
  // "AxB" and "AyB" share size, first and last byte; the buffer of the first
  // name holds the second one when it is set.
  const ConversionSettings settings = TestSettings();
  XmlDocument doc(settings);
  XmlElement& e = doc.CreateRoot("R");
  std::string name = "AxB";
  e.SetAttr(name, "1");
  name[1] = 'y';
  e.SetAttr(name, "2");
  name[1] = 'x';
  e.SetAttrVerbatim(name, "3");  // the first one again, in its place
  std::string out;
  doc.Save(out);
  EXPECT_EQ(out.substr(out.find("\r\n") + 2), "<R AxB=\"3\" AyB=\"2\"/>\r\n");
  EXPECT_EQ(out.size(), doc.SavedSize());
}

TEST(XmlDocumentTest, ElementNamesOfEverySizeAreWrittenWhole) {
  // More names than the document remembers sizes of, of sizes 1 to 40, so
  // that names meet in the same place of its memory.
  std::vector<std::string> names;
  for (size_t i = 0; i < 300; ++i)
    names.push_back(std::string(i % 40 + 1, static_cast<char>('a' + i % 26)));
  const ConversionSettings settings = TestSettings();
  XmlDocument doc(settings);
  XmlElement& root = doc.CreateRoot("R");
  std::string expected = "<R>\r\n";
  for (int round = 0; round < 2; ++round) {
    for (const std::string& n : names) {
      root.AppendChild(n.c_str()).SetAttrVerbatim(n, "1");
      expected += "  <" + n + " " + n + "=\"1\"/>\r\n";
    }
  }
  expected += "</R>\r\n";
  std::string out;
  doc.Save(out);
  EXPECT_EQ(out.substr(out.find("\r\n") + 2), expected);
  EXPECT_EQ(out.size(), doc.SavedSize());
}

TEST(XmlDocumentTest, EveryNameIsFoundAgainPastTheRememberedNames) {
  // Names "n0x" to "n99x" share few cache bits, so most lookups compare texts.
  std::vector<std::string> names;
  for (int i = 0; i < 100; ++i) names.push_back(std::string("n").append(std::to_string(i)) + 'x');
  for (size_t count : {47, 48, 49, 100}) {
    SCOPED_TRACE(count);
    const ConversionSettings settings = TestSettings();
    XmlDocument doc(settings);
    XmlElement& root = doc.CreateRoot("R");
    for (size_t i = 0; i < count; ++i) root.SetAttr(names[i], "-");
    XmlElement& other = root.AppendChild("O");
    other.SetAttr("o", "1");  // the names remembered are now those of another element
    std::string expected = "<R";
    for (size_t i = count; i-- > 0;) root.SetAttr(std::string(names[i]), std::to_string(i));
    for (size_t i = 0; i < count; ++i) {
      expected.append(" ").append(names[i]).append("=\"").append(std::to_string(i)).append("\"");
    }
    root.SetAttr("last", "new");  // a name not yet set is added at the end
    expected += " last=\"new\">\r\n  <O o=\"1\"/>\r\n</R>\r\n";
    std::string out;
    doc.Save(out);
    EXPECT_EQ(out.substr(out.find("\r\n") + 2), expected);
    EXPECT_EQ(out.size(), doc.SavedSize());
  }
}

TEST(XmlDocumentTest, LargeValuesAndManyElementsSurviveTheArena) {
  const ConversionSettings settings = TestSettings();
  XmlDocument doc(settings);
  XmlElement& root = doc.CreateRoot("R");
  const std::string big(200000, 'q');  // larger than one arena block
  root.SetAttr("big", big);
  std::string expected = "<R big=\"" + big + "\">\r\n";
  for (int i = 0; i < 5000; ++i) {
    const std::string v = IntToText(i);
    root.AppendChild("I").SetAttr("n", v);
    expected += "  <I n=\"" + v + "\"/>\r\n";
  }
  expected += "</R>\r\n";
  std::string out;
  doc.Save(out);
  EXPECT_EQ(out.substr(out.find("\r\n") + 2), expected);
}

TEST(XmlDocumentTest, EveryByteOfAValueIsWrittenSoThatAParserGetsItBackOrABlank) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string expected_value;
  for (int b = 0; b < 256; ++b) {
    const char ch = static_cast<char>(b);
    if (b == 9 || b == 10 || b == 13 || b == 0x98 || ch == '&' || ch == '<' || ch == '>' ||
        ch == '"') {
      expected_value += ch;
    } else {
      expected_value += b < 32 ? ' ' : ch;
    }
  }
  const ConversionSettings settings = TestSettings();
  XmlDocument doc(settings);
  XmlElement& e = doc.CreateRoot("R");
  e.SetAttr("kept", all);
  e.SetAttrWithoutBel("dropped", all);
  EXPECT_EQ(*e.FindAttr("kept"), expected_value);
  std::string without_bel = expected_value;
  without_bel.erase(7, 1);
  EXPECT_EQ(*e.FindAttr("dropped"), without_bel);
  std::string out;
  doc.Save(out);
  for (const char ch : out) {
    const auto b = static_cast<uint8_t>(ch);
    EXPECT_TRUE(b >= 32 || b == '\r' || b == '\n') << "byte " << int{b} << " in the XML";
  }
}

// The saved size is counted while the tree grows, and Save fills exactly
// that much: attributes set after children, set again, in runs apart from
// their element, across arena blocks, at depth.
TEST(XmlDocumentTest, SavedSizeIsTheSizeOfTheXml) {
  const ConversionSettings settings = TestSettings();
  XmlDocument doc(settings);
  EXPECT_EQ(doc.SavedSize(),
            std::string("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n").size());
  XmlElement& root = doc.CreateRoot("Document");
  root.SetAttr("ProgramVersion", "1.0.0.0");
  std::string expected = "<Document ProgramVersion=\"1.0.0.0\" Late=\"&amp;\" Again=\"two\">\r\n";
  XmlElement* deep = &root;
  for (int level = 1; level < 40; ++level) {
    XmlElement& list = root.AppendChild("List");
    list.SetAttr("Level", IntToText(level));
    deep = &deep->AppendChild("Deep");
  }
  root.SetAttr("Late", "&");  // after children: a run apart from the element
  root.SetAttr("Again", "one");
  root.AppendChild("Tail").SetAttr("big", std::string(70000, '<'));
  root.SetAttr("Again", "two");  // set again in the run apart
  std::string out;
  doc.Save(out);
  EXPECT_EQ(out.size(), doc.SavedSize());
  EXPECT_EQ(out.substr(out.find("\r\n") + 2, expected.size()), expected);
  EXPECT_TRUE(out.ends_with("&lt;\"/>\r\n</Document>\r\n"));

  // Saving appends to what the buffer holds.
  std::string appended = "x";
  doc.Save(appended);
  EXPECT_EQ(appended, "x" + out);
}

// Saved in pieces, the document is the same bytes; pieces stay within the
// writer's 64 KB except a value longer than that, which goes as it stands.
TEST(XmlDocumentTest, SavedInPiecesIsTheSameXml) {
  struct Pieces final : XmlSink {
    std::vector<size_t> sizes;
    std::string all;
    void Write(std::string_view bytes) override {
      sizes.push_back(bytes.size());
      all.append(bytes);
    }
  };
  constexpr size_t kPiece = size_t{1} << 16;
  const ConversionSettings settings = TestSettings();
  XmlDocument doc(settings);
  XmlElement& root = doc.CreateRoot("R");
  for (int i = 0; i < 200000; ++i) root.AppendChild("Item").SetAttr("n", IntToText(i));
  root.AppendChild("Huge").SetAttr("v", std::string(3 * kPiece, 'h'));
  root.AppendChild("Last").AppendChild("Deep");
  std::string whole;
  doc.Save(whole);
  Pieces pieces;
  doc.Save(pieces);
  EXPECT_EQ(pieces.all, whole);
  ASSERT_GT(pieces.sizes.size(), 3u);
  size_t over = 0;
  for (const size_t size : pieces.sizes) {
    EXPECT_GT(size, 0u);
    if (size > kPiece) ++over;
  }
  EXPECT_EQ(over, 1u);
}

}  // namespace
}  // namespace kdx::test

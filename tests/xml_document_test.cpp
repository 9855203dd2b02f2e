// The XML document the conversion writes into: declaration, indentation with
// CR LF, empty elements, attribute order and escaping, the control-character
// sweep.
#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>

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
      {"\x01\x1F", "\x01\x1F"},  // left for the sweep
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
  ASSERT_NE(e.FindAttr("A"), nullptr);
  EXPECT_EQ(*e.FindAttr("A"), "3");
  EXPECT_EQ(e.FindAttr("C"), nullptr);
  std::string out;
  doc.Save(out);
  EXPECT_EQ(out.substr(out.find("\r\n") + 2), "<R A=\"3\" B=\"2\"/>\r\n");
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

TEST(XmlDocumentTest, SweepTurnsControlBytesIntoBlanks) {
  std::string bytes;
  for (int b = 0; b < 40; ++b) bytes += static_cast<char>(b);
  bytes += "\x7F\x80\xFF";
  SweepControlCharacters(bytes);
  std::string expected;
  for (int b = 0; b < 40; ++b) {
    expected += (b < 32 && b != 9 && b != 10 && b != 13) ? ' ' : static_cast<char>(b);
  }
  expected += "\x7F\x80\xFF";
  EXPECT_EQ(bytes, expected);
}

}  // namespace
}  // namespace kdx::test

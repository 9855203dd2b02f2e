// Checks of CompareXml, the comparison the conformance test relies on.
#include "support/xml_compare.h"

#include <gtest/gtest.h>

#include <string>

#include "filer/codepage.h"

namespace kdx::test {
namespace {

// Expects text to contain part.
#define EXPECT_CONTAINS(text, part) EXPECT_PRED_FORMAT2(::testing::IsSubstring, part, text)

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n";

std::string Doc(const std::string& body) { return kDeclaration + body + "\r\n"; }

TEST(CompareXmlTest, IdenticalDocumentsAreEqual) {
  const std::string xml =
      Doc("<Document ProgramVersion=\"1.0.0.0\" Generator=\"G\">\r\n"
          "  <Workers>\r\n"
          "    <Elem Caption=\"a\"/>\r\n"
          "  </Workers>\r\n"
          "</Document>");
  EXPECT_EQ(CompareXml(xml, xml), "");
}

TEST(CompareXmlTest, EscapingAndEmptyElementFormsAreFree) {
  const std::string expected =
      Doc("<Document A=\"&lt;&amp;&gt;&quot;'\" B=\"AZ\">\r\n"
          "  <Elem/>\r\n"
          "  <Elem C=\"x\"/>\r\n"
          "</Document>");
  const std::string actual =
      Doc("<Document A='&#60;&#x26;>\"&apos;' B=\"&#65;&#x5A;\">\r\n"
          "  <Elem></Elem>\r\n"
          "  <Elem C = 'x' ></Elem >\r\n"
          "</Document >");
  EXPECT_EQ(CompareXml(expected, actual), "");
}

TEST(CompareXmlTest, DeclarationFormIsFreeButVersionAndEncodingAreChecked) {
  const std::string expected = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><Document/>";
  EXPECT_EQ(
      CompareXml(expected,
                 "<?xml version='1.0'  encoding='WINDOWS-1251' standalone='yes' ?><Document/>"),
      "");
  EXPECT_CONTAINS(
      CompareXml(expected, "<?xml version=\"1.1\" encoding=\"windows-1251\"?><Document/>"),
      "version");
  EXPECT_CONTAINS(CompareXml(expected, "<?xml version=\"1.0\" encoding=\"utf-8\"?><Document/>"),
                  "encoding");
  EXPECT_CONTAINS(CompareXml(expected, "<?xml version=\"1.0\"?><Document/>"), "encoding");
  EXPECT_CONTAINS(CompareXml(expected, "<Document/>"), "not well-formed");
}

TEST(CompareXmlTest, LineBreakAfterDeclarationIsCompared) {
  EXPECT_CONTAINS(
      CompareXml(Doc("<Document/>"),
                 std::string(kDeclaration, sizeof kDeclaration - 3) + "<Document/>\r\n"),
      "text before the root element");
}

TEST(CompareXmlTest, TextAfterRootEndTagIsFree) {
  const std::string expected = Doc("<Document>\r\n  <A/>\r\n</Document>");
  EXPECT_EQ(CompareXml(expected, expected.substr(0, expected.size() - 2)), "");
  EXPECT_EQ(CompareXml(expected, expected + "\n\n  "), "");
  EXPECT_CONTAINS(CompareXml(expected, expected + "x"), "not well-formed");
}

TEST(CompareXmlTest, ReportsAttributeOrder) {
  const std::string difference = CompareXml(Doc("<Document><Elem A=\"1\" B=\"2\"/></Document>"),
                                            Doc("<Document><Elem B=\"2\" A=\"1\"/></Document>"));
  EXPECT_CONTAINS(difference, "/Document/Elem[0]");
  EXPECT_CONTAINS(difference, "expected @A, actual @B");
}

TEST(CompareXmlTest, ReportsAttributeValueWithPath) {
  const std::string expected =
      Doc("<Document>\r\n"
          "  <Workers>\r\n"
          "    <Elem Caption=\"a\"/>\r\n"
          "    <Other/>\r\n"
          "    <Elem Caption=\"b\"/>\r\n"
          "    <Elem Caption=\"c\"/>\r\n"
          "  </Workers>\r\n"
          "</Document>");
  std::string actual = expected;
  actual.replace(actual.find("\"c\""), 3, "\"\xC6\"");  // windows-1251 0xC6 is U+0416
  EXPECT_EQ(CompareXml(expected, actual),
            "/Document/Workers[0]/Elem[2] @Caption: expected \"c\", actual \"\xD0\x96\"");
}

TEST(CompareXmlTest, ReportsMissingAndExtraAttributes) {
  const std::string expected = Doc("<Document><Elem A=\"1\" B=\"2\"/></Document>");
  EXPECT_CONTAINS(CompareXml(expected, Doc("<Document><Elem A=\"1\"/></Document>")),
                  "missing attribute @B");
  EXPECT_CONTAINS(CompareXml(expected, Doc("<Document><Elem A=\"1\" B=\"2\" C=\"3\"/></Document>")),
                  "unexpected attribute @C");
}

TEST(CompareXmlTest, ProgramVersionValueIsFreeOnlyOnTheRoot) {
  EXPECT_EQ(CompareXml(Doc("<Document ProgramVersion=\"1.0.0.0\"/>"),
                       Doc("<Document ProgramVersion=\"2.5\"/>")),
            "");
  EXPECT_CONTAINS(
      CompareXml(Doc("<Document ProgramVersion=\"1.0.0.0\" A=\"1\"/>"), Doc("<Document A=\"1\"/>")),
      "@ProgramVersion");
  EXPECT_CONTAINS(CompareXml(Doc("<Document><A ProgramVersion=\"1\"/></Document>"),
                             Doc("<Document><A ProgramVersion=\"2\"/></Document>")),
                  "/Document/A[0] @ProgramVersion");
}

TEST(CompareXmlTest, ReportsElementName) {
  EXPECT_EQ(CompareXml(Doc("<Document><A/><B/></Document>"), Doc("<Document><A/><C/></Document>")),
            "/Document/B[0]: expected element <B>, actual <C> (child element #2 of /Document)");
  EXPECT_CONTAINS(CompareXml(Doc("<Document/>"), Doc("<Doc/>")),
                  "expected root element <Document>, actual <Doc>");
}

TEST(CompareXmlTest, ReportsMissingAndExtraElements) {
  const std::string expected = Doc("<Document>\r\n  <A/>\r\n  <B/>\r\n</Document>");
  EXPECT_CONTAINS(CompareXml(expected, Doc("<Document>\r\n  <A/>\r\n</Document>")),
                  "missing child element #2 <B>");
  EXPECT_CONTAINS(
      CompareXml(expected, Doc("<Document>\r\n  <A/>\r\n  <B/>\r\n  <C/>\r\n</Document>")),
      "unexpected child element #3 <C>");
}

TEST(CompareXmlTest, ReportsIndentation) {
  const std::string expected = Doc("<Document>\r\n  <A>\r\n    <B/>\r\n  </A>\r\n</Document>");
  EXPECT_EQ(CompareXml(expected, Doc("<Document>\r\n  <A>\r\n   <B/>\r\n  </A>\r\n</Document>")),
            "/Document/A[0]/B[0]: text before the element: expected \"\\r\\n    \", actual "
            "\"\\r\\n   \"");
  EXPECT_CONTAINS(CompareXml(expected, Doc("<Document>\n  <A>\n    <B/>\n  </A>\n</Document>")),
                  "/Document/A[0]: text before the element");
  EXPECT_CONTAINS(
      CompareXml(expected, Doc("<Document>\r\n  <A>\r\n    <B/>\r\n </A>\r\n</Document>")),
      "/Document/A[0]: text before the end tag");
  EXPECT_CONTAINS(CompareXml(expected, Doc("<Document><A><B/></A></Document>")),
                  "text before the element");
}

TEST(CompareXmlTest, ElementTextIsCompared) {
  EXPECT_EQ(CompareXml(Doc("<Document><A>x&amp;y</A></Document>"),
                       Doc("<Document><A>x&#38;y</A></Document>")),
            "");
  EXPECT_EQ(
      CompareXml(Doc("<Document><A>xy</A></Document>"), Doc("<Document><A>xz</A></Document>")),
      "/Document/A[0]: text content: expected \"xy\", actual \"xz\"");
  EXPECT_CONTAINS(
      CompareXml(Doc("<Document><A/></Document>"), Doc("<Document><A> </A></Document>")),
      "text content");
}

TEST(CompareXmlTest, AttributeWhitespaceFollowsXmlNormalisation) {
  const std::string newline_reference = Doc("<Document A=\"x&#10;y\"/>");
  // A literal line break in an attribute value is read as a space.
  EXPECT_EQ(CompareXml(newline_reference, Doc("<Document A=\"x\ny\"/>")),
            "/Document @A: expected \"x\\ny\", actual \"x y\"");
  EXPECT_EQ(CompareXml(Doc("<Document A=\"x y\"/>"), Doc("<Document A=\"x\ny\"/>")), "");
  EXPECT_EQ(CompareXml(Doc("<Document A=\"x y\"/>"), Doc("<Document A=\"x\ty\"/>")), "");
  EXPECT_EQ(CompareXml(Doc("<Document A=\"x y\"/>"), Doc("<Document A=\"x\ry\"/>")), "");
  // CR LF is one line break, so one space.
  EXPECT_EQ(CompareXml(Doc("<Document A=\"x y\"/>"), Doc("<Document A=\"x\r\ny\"/>")), "");
  EXPECT_CONTAINS(CompareXml(Doc("<Document A=\"x&#9;y\"/>"), Doc("<Document A=\"x\ty\"/>")), "@A");
  EXPECT_CONTAINS(
      CompareXml(Doc("<Document A=\"x&#13;&#10;y\"/>"), Doc("<Document A=\"x&#10;y\"/>")), "@A");
  EXPECT_EQ(CompareXml(Doc("<Document A=\"x&#13;&#10;&#9;y\"/>"),
                       Doc("<Document A=\"x&#xD;&#xa;&#x09;y\"/>")),
            "");
}

TEST(CompareXmlTest, DecodesWindows1251) {
  // 0xC0 is U+0410, 0xB9 is U+2116, 0x88 is U+20AC, 0x98 is taken as U+0098.
  EXPECT_EQ(CompareXml(Doc("<Document A=\"\xC0\xB9\x88\x98\xFF\"/>"),
                       Doc("<Document A=\"&#x410;&#8470;&#x20AC;&#152;&#x44F;\"/>")),
            "");
  EXPECT_EQ(Cp1251ToUtf8("a\xC0\xE0\xA8\xB8\x98\x80"),
            "a\xD0\x90\xD0\xB0\xD0\x81\xD1\x91\xC2\x98\xD0\x82");
  EXPECT_CONTAINS(CompareXml(Doc("<Document A=\"\xC0\"/>"), Doc("<Document A=\"\xE0\"/>")), "@A");
}

TEST(CompareXmlTest, ReportsMalformedDocuments) {
  const std::string expected = Doc("<Document><A/></Document>");
  for (const char* body : {
           "<Document><A></Document>",
           "<Document><A/>",
           "<Document><A B=\"1\" B=\"2\"/></Document>",
           "<Document><A B=\"a<b\"/></Document>",
           "<Document><A B=\"&nbsp;\"/></Document>",
           "<Document><A B=\"&#0;\"/></Document>",
           "<Document><A B=\"&#X41;\"/></Document>",
           "<Document><A B=\"1\"C=\"2\"/></Document>",
           "<Document><A B=1/></Document>",
           "<Document><!-- note --><A/></Document>",
           "<Document><A/>\x01</Document>",
           "<Document><A/></Document><B/>",
       }) {
    EXPECT_CONTAINS(CompareXml(expected, Doc(body)), "actual document is not well-formed") << body;
  }
  EXPECT_CONTAINS(CompareXml("<?xml version=\"1.0\"", expected),
                  "expected document is not well-formed");
}

TEST(CompareXmlTest, LongValuesAreShownAroundTheDifference) {
  const std::string head(300, 'a');
  const std::string difference = CompareXml(Doc("<Document A=\"" + head + "b" + head + "\"/>"),
                                            Doc("<Document A=\"" + head + "c" + head + "\"/>"));
  EXPECT_CONTAINS(difference, "first difference at character 301");
  EXPECT_CONTAINS(difference, "ab");
  EXPECT_CONTAINS(difference, "ac");
  EXPECT_LT(difference.size(), 600u);
}

}  // namespace
}  // namespace kdx::test

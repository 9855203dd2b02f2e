// Comparison of the XML documents the converter writes (windows-1251 bytes) for the tests.
//
// Both documents are parsed with a small, strict parser that knows exactly what the converter
// writes: the XML declaration, elements, attributes in double or single quotes, the five
// predefined entity references, numeric character references, text between elements and
// optional whitespace after the root element. Anything else (comments, processing
// instructions, CDATA sections, a DOCTYPE) is rejected as not well-formed.
//
// What is compared:
// - the declaration of each document: version "1.0" and encoding "windows-1251" (its quotes,
//   spacing and a standalone declaration are free);
// - the whitespace between the declaration and the root element;
// - element names;
// - attribute names in their order, and their values after XML attribute value normalisation
//   (a literal tab, LF, CR or CR LF becomes one space, while &#9; &#10; &#13; stay the real
//   characters); the value of ProgramVersion on the root element is free;
// - the character data between tags (indentation, line breaks and any other text), taken
//   literally after decoding references: CR LF is not folded into LF, so line breaks count.
// What is free: whether an empty element is written as <a/> or <a></a>, how characters are
// escaped, and the whitespace after the root element's end tag.
#ifndef KDX2XML_TESTS_SUPPORT_XML_COMPARE_H
#define KDX2XML_TESTS_SUPPORT_XML_COMPARE_H

#include <string>
#include <string_view>

namespace kdx::test {

// Returns "" when the two windows-1251 documents are equal under the rules above; otherwise
// a UTF-8 description of the first difference in document order, e.g.
//   /Document/Workers[0]/Elem[2] @Caption: expected "a", actual "b"
// Element paths give each element's 0-based index among its siblings of the same name.
// A document that does not parse is reported as a difference as well.
std::string CompareXml(std::string_view expected, std::string_view actual);

}  // namespace kdx::test

#endif  // KDX2XML_TESTS_SUPPORT_XML_COMPARE_H

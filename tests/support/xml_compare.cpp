#include "support/xml_compare.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "filer/codepage.h"

namespace kdx::test {
namespace {

// Deepest element nesting accepted; the converter's documents stay far below it.
constexpr int kMaxDepth = 1000;

// The UTF-8 of a character allowed in XML (never a surrogate).
std::string CharUtf8(char32_t cp) {
  if (cp < 0x10000) return Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(cp)));
  const char32_t offset = cp - 0x10000;
  const char16_t pair[] = {static_cast<char16_t>(0xD800 + (offset >> 10)),
                           static_cast<char16_t>(0xDC00 + (offset & 0x3FF))};
  return Utf16ToUtf8(std::u16string_view(pair, 2));
}

// Decodes the UTF-8 character at pos of text made by this file (always well-formed UTF-8);
// stores its length in bytes in *length.
char32_t DecodeUtf8At(std::string_view text, std::size_t pos, std::size_t* length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    *length = 1;
    return lead;
  }
  if (lead < 0xE0) {
    *length = 2;
    return (char32_t{lead & 0x1Fu} << 6) | (byte(1) & 0x3Fu);
  }
  if (lead < 0xF0) {
    *length = 3;
    return (char32_t{lead & 0x0Fu} << 12) | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
  }
  *length = 4;
  return (char32_t{lead & 0x07u} << 18) | ((byte(1) & 0x3Fu) << 12) | ((byte(2) & 0x3Fu) << 6) |
         (byte(3) & 0x3Fu);
}

bool IsXmlChar(char32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

bool IsNameStartChar(char32_t cp) {
  return (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || cp == '_' || cp == ':' ||
         (cp >= 0xC0 && cp <= 0xD6) || (cp >= 0xD8 && cp <= 0xF6) || (cp >= 0xF8 && cp <= 0x2FF) ||
         (cp >= 0x370 && cp <= 0x37D) || (cp >= 0x37F && cp <= 0x1FFF) ||
         (cp >= 0x200C && cp <= 0x200D) || (cp >= 0x2070 && cp <= 0x218F) ||
         (cp >= 0x2C00 && cp <= 0x2FEF) || (cp >= 0x3001 && cp <= 0xD7FF) ||
         (cp >= 0xF900 && cp <= 0xFDCF) || (cp >= 0xFDF0 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0xEFFFF);
}

bool IsNameChar(char32_t cp) {
  return IsNameStartChar(cp) || (cp >= '0' && cp <= '9') || cp == '-' || cp == '.' || cp == 0xB7 ||
         (cp >= 0x300 && cp <= 0x36F) || (cp >= 0x203F && cp <= 0x2040);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string CodePointText(char32_t cp) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(cp));
  return buffer;
}

struct Element {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<Element> children;
  // texts[i] is the character data before children[i]; the last one is the character data
  // before the end tag, so texts.size() == children.size() + 1.
  std::vector<std::string> texts;
};

struct Document {
  std::string version;
  std::string encoding;  // empty when the declaration has none
  std::string space_before_root;
  Element root;
};

struct ParseFailure {
  std::size_t offset;
  std::string message;
};

// Parses decoded (UTF-8) document text; throws ParseFailure.
class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  Document ParseDocument() {
    Document document;
    ParseDeclaration(document);
    document.space_before_root = ReadSpace();
    CheckMarkupStart();
    if (!At('<')) Fail("expected the root element");
    document.root = ParseElement(0);
    ReadSpace();
    if (pos_ != text_.size()) Fail("unexpected content after the root element");
    return document;
  }

 private:
  [[noreturn]] void Fail(std::string message) const { FailAt(pos_, std::move(message)); }
  [[noreturn]] static void FailAt(std::size_t offset, std::string message) {
    throw ParseFailure{offset, std::move(message)};
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  bool At(char c) const { return !AtEnd() && text_[pos_] == c; }
  bool LookingAt(std::string_view s) const { return text_.substr(pos_).starts_with(s); }

  void Expect(char c, std::string_view what) {
    if (!At(c)) Fail("expected " + std::string(what));
    ++pos_;
  }

  std::string ReadSpace() {
    const std::size_t start = pos_;
    while (!AtEnd() && IsSpace(text_[pos_])) ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

  // Rejects the markup this parser does not take; called where '<' may start an element.
  void CheckMarkupStart() const {
    if (LookingAt("<!--")) Fail("comments are not expected");
    if (LookingAt("<![CDATA[")) Fail("CDATA sections are not expected");
    if (LookingAt("<!")) Fail("markup declarations are not expected");
    if (LookingAt("<?")) Fail("processing instructions are not expected");
  }

  std::string ReadName() {
    const std::size_t start = pos_;
    bool first = true;
    while (!AtEnd()) {
      std::size_t length = 0;
      const char32_t cp = DecodeUtf8At(text_, pos_, &length);
      if (first ? !IsNameStartChar(cp) : !IsNameChar(cp)) break;
      pos_ += length;
      first = false;
    }
    if (first) Fail("expected a name");
    return std::string(text_.substr(start, pos_ - start));
  }

  void ReadEq() {
    ReadSpace();
    Expect('=', "'='");
    ReadSpace();
  }

  // A quoted value in the XML declaration (no references there).
  std::string ReadDeclarationValue() {
    if (!At('"') && !At('\'')) Fail("expected a quoted value");
    const char quote = text_[pos_++];
    const std::size_t start = pos_;
    while (!AtEnd() && text_[pos_] != quote) ++pos_;
    if (AtEnd()) Fail("unterminated value in the XML declaration");
    std::string value(text_.substr(start, pos_ - start));
    ++pos_;
    return value;
  }

  void ParseDeclaration(Document& document) {
    if (!LookingAt("<?xml") || text_.size() < 6 || !IsSpace(text_[5])) {
      Fail("the document does not start with an XML declaration");
    }
    pos_ += 5;
    ReadSpace();
    if (!LookingAt("version")) Fail("expected 'version' in the XML declaration");
    pos_ += 7;
    ReadEq();
    document.version = ReadDeclarationValue();
    const std::string_view version = document.version;
    if (version.size() < 3 || !version.starts_with("1.") ||
        !std::all_of(version.begin() + 2, version.end(),
                     [](char c) { return c >= '0' && c <= '9'; })) {
      Fail("malformed version in the XML declaration");
    }
    bool space = !ReadSpace().empty();
    if (space && LookingAt("encoding")) {
      pos_ += 8;
      ReadEq();
      document.encoding = ReadDeclarationValue();
      const std::string& name = document.encoding;
      const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
      const bool well_formed =
          !name.empty() && letter(name[0]) && std::all_of(name.begin(), name.end(), [&](char c) {
            return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
          });
      if (!well_formed) Fail("malformed encoding name in the XML declaration");
      space = !ReadSpace().empty();
    }
    if (space && LookingAt("standalone")) {
      pos_ += 10;
      ReadEq();
      const std::string standalone = ReadDeclarationValue();
      if (standalone != "yes" && standalone != "no") Fail("malformed standalone declaration");
      ReadSpace();
    }
    if (!LookingAt("?>")) Fail("expected '?>' closing the XML declaration");
    pos_ += 2;
  }

  // Appends the character or entity reference at pos_ ('&') to out.
  void ReadReference(std::string& out) {
    const std::size_t reference_start = pos_;
    ++pos_;
    if (At('#')) {
      ++pos_;
      const bool hex = At('x');
      if (hex) ++pos_;
      const std::size_t start = pos_;
      std::uint32_t value = 0;
      while (!AtEnd() && text_[pos_] != ';') {
        const char c = text_[pos_];
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
          digit = static_cast<std::uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
          digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
          digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
          Fail("malformed character reference");
        }
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0x10FFFF) Fail("character reference out of range");
        ++pos_;
      }
      if (pos_ == start || AtEnd()) Fail("malformed character reference");
      if (!IsXmlChar(value))
        FailAt(reference_start,
               "reference to a character not allowed in XML: " + CodePointText(value));
      ++pos_;
      out += CharUtf8(value);
      return;
    }
    const std::string name = ReadName();
    if (!At(';')) Fail("expected ';' after &" + name);
    ++pos_;
    if (name == "lt") {
      out += '<';
    } else if (name == "gt") {
      out += '>';
    } else if (name == "amp") {
      out += '&';
    } else if (name == "quot") {
      out += '"';
    } else if (name == "apos") {
      out += '\'';
    } else {
      FailAt(reference_start, "undefined entity &" + name + ";");
    }
  }

  // Appends the literal character at pos_ to out after checking it may appear in XML.
  void ReadChar(std::string& out) {
    std::size_t length = 0;
    const char32_t cp = DecodeUtf8At(text_, pos_, &length);
    if (!IsXmlChar(cp)) Fail("character not allowed in XML: " + CodePointText(cp));
    out.append(text_.substr(pos_, length));
    pos_ += length;
  }

  // Reads a quoted attribute value with XML attribute value normalisation: a literal tab, LF,
  // CR or CR LF gives one space; references give their characters unchanged.
  std::string ReadAttributeValue() {
    if (!At('"') && !At('\'')) Fail("expected a quoted attribute value");
    const char quote = text_[pos_++];
    std::string value;
    while (true) {
      if (AtEnd()) Fail("unterminated attribute value");
      const char c = text_[pos_];
      if (c == quote) break;
      if (c == '<') Fail("'<' in an attribute value");
      if (c == '&') {
        ReadReference(value);
      } else if (c == '\r') {
        ++pos_;
        if (At('\n')) ++pos_;
        value += ' ';
      } else if (c == '\n' || c == '\t') {
        ++pos_;
        value += ' ';
      } else {
        ReadChar(value);
      }
    }
    ++pos_;
    return value;
  }

  Element ParseElement(int depth) {
    if (depth > kMaxDepth) Fail("elements nested too deeply");
    Element element;
    Expect('<', "'<'");
    element.name = ReadName();
    while (true) {
      const bool space = !ReadSpace().empty();
      if (LookingAt("/>")) {
        pos_ += 2;
        element.texts.emplace_back();
        return element;
      }
      if (At('>')) {
        ++pos_;
        break;
      }
      if (AtEnd())
        Fail("unexpected end of the document in the start tag of <" + element.name + ">");
      if (!space)
        Fail("expected whitespace, '>' or '/>' in the start tag of <" + element.name + ">");
      const std::size_t name_start = pos_;
      std::string name = ReadName();
      for (const auto& attribute : element.attributes) {
        if (attribute.first == name) FailAt(name_start, "duplicate attribute " + name);
      }
      ReadEq();
      std::string value = ReadAttributeValue();
      element.attributes.emplace_back(std::move(name), std::move(value));
    }

    std::string text;
    while (true) {
      if (AtEnd()) Fail("unexpected end of the document inside <" + element.name + ">");
      const char c = text_[pos_];
      if (c == '<') {
        if (LookingAt("</")) {
          const std::size_t end_tag_start = pos_;
          pos_ += 2;
          const std::string end_name = ReadName();
          ReadSpace();
          Expect('>', "'>' closing the end tag");
          if (end_name != element.name) {
            FailAt(end_tag_start,
                   "end tag </" + end_name + "> does not match start tag <" + element.name + ">");
          }
          element.texts.push_back(std::move(text));
          return element;
        }
        CheckMarkupStart();
        element.texts.push_back(std::move(text));
        text.clear();
        element.children.push_back(ParseElement(depth + 1));
      } else if (c == '&') {
        ReadReference(text);
      } else {
        if (LookingAt("]]>")) Fail("']]>' in character data");
        ReadChar(text);
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

std::string PositionText(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n') {
      ++line;
      column = 1;
    } else if ((byte & 0xC0) != 0x80) {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Parses windows-1251 bytes; on failure returns false and describes the fault in *error.
bool Parse(std::string_view bytes, Document* document, std::string* error) {
  const std::string text = Cp1251ToUtf8(bytes);
  try {
    *document = Parser(text).ParseDocument();
    return true;
  } catch (const ParseFailure& failure) {
    *error = PositionText(text, failure.offset) + ": " + failure.message;
    return false;
  }
}

// Quotes UTF-8 text for a message, making control characters and C1 characters visible.
std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 0;
    const char32_t cp = DecodeUtf8At(text, i, &length);
    if (cp == '\r') {
      out += "\\r";
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\t') {
      out += "\\t";
    } else if (cp == '"') {
      out += "\\\"";
    } else if (cp == '\\') {
      out += "\\\\";
    } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(cp));
      out += buffer;
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  out += '"';
  return out;
}

std::size_t CharCount(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// Cuts long text to a window of characters around the byte offset at, on character bounds.
std::string Excerpt(std::string_view text, std::size_t at) {
  constexpr std::size_t kBefore = 40;
  constexpr std::size_t kWindow = 120;
  std::size_t start = at;
  for (std::size_t n = 0; start > 0 && n < kBefore;) {
    --start;
    if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) ++n;
  }
  std::size_t end = start;
  for (std::size_t n = 0; end < text.size() && n < kWindow; ++n) {
    std::size_t length = 0;
    DecodeUtf8At(text, end, &length);
    end += length;
  }
  return (start > 0 ? "..." : "") + Quote(text.substr(start, end - start)) +
         (end < text.size() ? "..." : "");
}

// "expected X, actual Y" for two differing texts; long texts are shown around the first
// difference.
std::string DescribeTexts(std::string_view expected, std::string_view actual) {
  constexpr std::size_t kShortText = 160;
  if (CharCount(expected) <= kShortText && CharCount(actual) <= kShortText) {
    return "expected " + Quote(expected) + ", actual " + Quote(actual);
  }
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  while (at > 0 && at < expected.size() &&
         (static_cast<unsigned char>(expected[at]) & 0xC0) == 0x80) {
    --at;
  }
  return "expected " + Excerpt(expected, at) + ", actual " + Excerpt(actual, at) +
         " (first difference at character " +
         std::to_string(CharCount(expected.substr(0, at)) + 1) + ")";
}

std::string ToLowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string CheckDeclaration(const Document& document, std::string_view which) {
  if (document.version != "1.0") {
    return std::string(which) + " XML declaration: version " + Quote(document.version) +
           ", must be \"1.0\"";
  }
  if (document.encoding.empty()) {
    return std::string(which) + " XML declaration has no encoding, must be \"windows-1251\"";
  }
  // Encoding names are case-insensitive in XML.
  if (ToLowerAscii(document.encoding) != "windows-1251") {
    return std::string(which) + " XML declaration: encoding " + Quote(document.encoding) +
           ", must be \"windows-1251\"";
  }
  return {};
}

std::string AttributeNames(const Element& element) {
  std::string names;
  for (const auto& attribute : element.attributes) {
    if (!names.empty()) names += ' ';
    names += '@' + attribute.first;
  }
  return names.empty() ? "none" : names;
}

// Compares two elements of the same name found at path.
std::string CompareElements(const Element& expected, const Element& actual, const std::string& path,
                            bool is_root) {
  const auto& expected_attributes = expected.attributes;
  const auto& actual_attributes = actual.attributes;
  for (std::size_t i = 0; i < std::max(expected_attributes.size(), actual_attributes.size()); ++i) {
    if (i >= actual_attributes.size()) {
      return path + ": missing attribute @" + expected_attributes[i].first + "=" +
             Quote(expected_attributes[i].second) +
             " (expected attributes: " + AttributeNames(expected) +
             "; actual: " + AttributeNames(actual) + ")";
    }
    if (i >= expected_attributes.size()) {
      return path + ": unexpected attribute @" + actual_attributes[i].first + "=" +
             Quote(actual_attributes[i].second) +
             " (expected attributes: " + AttributeNames(expected) +
             "; actual: " + AttributeNames(actual) + ")";
    }
    const auto& [expected_name, expected_value] = expected_attributes[i];
    const auto& [actual_name, actual_value] = actual_attributes[i];
    if (expected_name != actual_name) {
      return path + ": attribute #" + std::to_string(i + 1) + ": expected @" + expected_name +
             ", actual @" + actual_name + " (expected attributes: " + AttributeNames(expected) +
             "; actual: " + AttributeNames(actual) + ")";
    }
    if (is_root && expected_name == "ProgramVersion") continue;  // the value is free
    if (expected_value != actual_value) {
      return path + " @" + expected_name + ": " + DescribeTexts(expected_value, actual_value);
    }
  }

  const std::size_t common = std::min(expected.children.size(), actual.children.size());
  for (std::size_t i = 0; i < common; ++i) {
    const Element& expected_child = expected.children[i];
    const Element& actual_child = actual.children[i];
    std::size_t same_name_before = 0;
    for (std::size_t j = 0; j < i; ++j) {
      if (expected.children[j].name == expected_child.name) ++same_name_before;
    }
    const std::string child_path =
        path + "/" + expected_child.name + "[" + std::to_string(same_name_before) + "]";
    if (expected.texts[i] != actual.texts[i]) {
      return child_path +
             ": text before the element: " + DescribeTexts(expected.texts[i], actual.texts[i]);
    }
    if (expected_child.name != actual_child.name) {
      return child_path + ": expected element <" + expected_child.name + ">, actual <" +
             actual_child.name + "> (child element #" + std::to_string(i + 1) + " of " + path + ")";
    }
    std::string difference = CompareElements(expected_child, actual_child, child_path, false);
    if (!difference.empty()) return difference;
  }
  if (expected.children.size() > common) {
    return path + ": missing child element #" + std::to_string(common + 1) + " <" +
           expected.children[common].name + ">: expected " +
           std::to_string(expected.children.size()) + " child elements, actual " +
           std::to_string(actual.children.size());
  }
  if (actual.children.size() > common) {
    return path + ": unexpected child element #" + std::to_string(common + 1) + " <" +
           actual.children[common].name + ">: expected " +
           std::to_string(expected.children.size()) + " child elements, actual " +
           std::to_string(actual.children.size());
  }
  if (expected.texts.back() != actual.texts.back()) {
    return path + (common == 0 ? ": text content: " : ": text before the end tag: ") +
           DescribeTexts(expected.texts.back(), actual.texts.back());
  }
  return {};
}

}  // namespace

std::string CompareXml(std::string_view expected, std::string_view actual) {
  Document expected_document;
  Document actual_document;
  std::string error;
  if (!Parse(expected, &expected_document, &error)) {
    return "expected document is not well-formed: " + error;
  }
  if (!Parse(actual, &actual_document, &error)) {
    return "actual document is not well-formed: " + error;
  }
  std::string difference = CheckDeclaration(expected_document, "expected document:");
  if (!difference.empty()) return difference;
  difference = CheckDeclaration(actual_document, "actual document:");
  if (!difference.empty()) return difference;
  if (expected_document.space_before_root != actual_document.space_before_root) {
    return "text before the root element: " +
           DescribeTexts(expected_document.space_before_root, actual_document.space_before_root);
  }
  const Element& expected_root = expected_document.root;
  const Element& actual_root = actual_document.root;
  if (expected_root.name != actual_root.name) {
    return "/: expected root element <" + expected_root.name + ">, actual <" + actual_root.name +
           ">";
  }
  return CompareElements(expected_root, actual_root, "/" + expected_root.name, true);
}

}  // namespace kdx::test

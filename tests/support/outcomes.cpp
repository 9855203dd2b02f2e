#include "support/outcomes.h"

#include "filer/codepage.h"
#include "filer/errors.h"
#include "support/builder.h"

namespace kdx::test {

std::string FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const KdxError& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "";
}

std::string SavedXml(const char* root, const std::function<void(XmlElement)>& write) {
  return SavedXml(root, write, Conventions());
}

std::string SavedXml(const char* root, const std::function<void(XmlElement)>& write,
                     const ConversionSettings& settings) {
  XmlBytes out;
  XmlWriter xml(settings, out);
  write(xml.Root(root));
  xml.Finish();
  return Cp1251ToUtf8(out.Text());
}

std::string ElementXml(const char* root, const std::function<void(XmlElement)>& write) {
  std::string text;
  for (char ch : SavedXml(root, write)) {
    if (ch != '\r') text += ch;
  }
  return text.substr(text.find('\n') + 1);
}

}  // namespace kdx::test

// What the code under test gives back, as the text a test compares: the failure
// a call raises and the XML a writer puts into an element.
#pragma once

#include <functional>
#include <string>

#include "xml/xml_writer.h"

namespace kdx::test {

// Failure texts of the reader ("Class: message").
inline constexpr char kBadData[] = "EOrvakFilerError: Неверный формат данных в потоке";
inline constexpr char kBadMarker[] = "EOrvakFilerInvalidSignature: Неверный формат данных в потоке";
inline constexpr char kReadError[] = "EReadError: Stream read error";

// "Class: message" of the failure a call raises, or "" when it returns.
std::string FailureOf(const std::function<void()>& call);

// The document a writer fills under the root element `root`, as saved with the
// test settings, in UTF-8 (the declaration and CR LF kept).
std::string SavedXml(const char* root, const std::function<void(XmlElement)>& write);
std::string SavedXml(const char* root, const std::function<void(XmlElement)>& write,
                     const ConversionSettings& settings);
// The same as UTF-8 lines with LF, without the declaration.
std::string ElementXml(const char* root, const std::function<void(XmlElement)>& write);

}  // namespace kdx::test

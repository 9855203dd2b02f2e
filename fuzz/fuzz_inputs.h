// What the fuzz targets and the regression replay share: the settings of a
// run, the packed document of a body-target input, and the checks every
// converted output must pass. Header-only, so that the replay in the ordinary
// test build needs nothing of the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "api/convert.h"
#include "kdx2xml/kdx2xml.h"
#include "xml/settings.h"

namespace kdx::fuzz {

// The bound on the XML of a run: a document whose XML would be larger fails
// with EOutOfMemory, so that a run's memory stays within a few times the
// bound and what passes -rss_limit_mb is a finding. scripts/fuzz.sh sets the
// same bound for the exports (KDX2XML_MAX_XML_SIZE).
inline constexpr uint64_t kRunXmlBound = uint64_t{16} << 20;

inline const ConversionSettings& RunSettings() {
  static const ConversionSettings settings = [] {
    ConversionSettings s;
    s.decimal_separator = ',';
    s.today = 45000;
    s.program_version = "1.0.0.0";
    s.max_xml_size = kRunXmlBound;
    return s;
  }();
  return settings;
}

// The kinds that convert; the body target picks one by its first input byte.
inline constexpr uint8_t kConvertedKinds[] = {sdtSmeta,  sdtObjSmeta, sdtConsCalc,
                                              sdtCennik, sdtIndexes,  sdtResSummary};

// An input of the body target is a selector byte, then what follows the body
// signature of a packed document: the file version and the content. The packed
// document gets the header and signature of the selected kind; a version above
// the kind's highest is folded into its range, so that nearly every input
// reaches the body reader.
inline std::string DocumentForBody(const uint8_t* data, size_t size) {
  const uint8_t selector = size > 0 ? data[0] : 0;
  const uint8_t kind = kConvertedKinds[selector % std::size(kConvertedKinds)];
  const auto doc = CreateDocument(kind, RunSettings());
  std::string packed("KR00", 4);
  packed += static_cast<char>(kind);
  packed.append(4, '\0');
  const uint64_t signature = doc->DocSignature();
  for (int i = 0; i < 8; ++i) packed += static_cast<char>((signature >> (8 * i)) & 0xFF);
  const size_t rest_at = packed.size();
  if (size > 1) packed.append(reinterpret_cast<const char*>(data + 1), size - 1);
  if (packed.size() >= rest_at + 4) {
    uint32_t version = 0;
    for (int i = 0; i < 4; ++i)
      version |= static_cast<uint32_t>(static_cast<uint8_t>(packed[rest_at + i])) << (8 * i);
    const int32_t max = doc->MaxFileVersion();
    if (static_cast<int32_t>(version) > max) {
      version = 0x00010000u | ((version & 0xFFFFu) % ((static_cast<uint32_t>(max) & 0xFFFFu) + 1));
      for (int i = 0; i < 4; ++i)
        packed[rest_at + i] = static_cast<char>((version >> (8 * i)) & 0xFF);
    }
  }
  return packed;
}

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// What is wrong with a converted output, or nullptr: it starts with the
// declaration, holds the root element, and no control byte but tab, LF and CR.
inline const char* XmlFault(std::string_view xml) {
  constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>";
  if (xml.substr(0, kDeclaration.size()) != kDeclaration) return "output lacks the declaration";
  if (xml.find("<Document ProgramVersion=\"") == std::string_view::npos)
    return "output lacks the root element";
  for (unsigned char ch : xml) {
    if (ch < 32 && ch != 9 && ch != 10 && ch != 13) return "control byte in the output";
  }
  return nullptr;
}

// What is wrong with a failure text, or nullptr: it names a class, then ": "
// and a message.
template <typename Char>
const char* FailureTextFault(std::basic_string_view<Char> text) {
  const Char separator[] = {Char(':'), Char(' '), Char(0)};
  const size_t colon = text.find(separator);
  if (colon == text.npos || colon == 0 || colon + 2 == text.size())
    return "failure text is not \"Class: message\"";
  // The writer refusing what a kind wrote out of document order is a fault
  // of the code, never of the document.
  const Char order[] = {'o', 'u', 't', ' ', 'o', 'f', ' ', 'd', 'o', 'c', 'u', 'm',
                        'e', 'n', 't', ' ', 'o', 'r', 'd', 'e', 'r', 0};
  const Char twice[] = {'s', 'e', 't', ' ', 't', 'w', 'i', 'c', 'e', 0};
  if (text.find(order) != text.npos || text.find(twice) != text.npos)
    return "XML written out of document order";
  return nullptr;
}

inline void Check(const char* fault) {
  if (fault) Fail(fault);
}

// One conversion through the driver: what is wrong with its outcome, or nullptr.
inline const char* DriverFault(const uint8_t* data, size_t size) {
  try {
    return XmlFault(ConvertDocument(data, size, RunSettings()));
  } catch (const KdxError& e) {
    const std::string text = std::string(e.ClassName()) + ": " + e.Message();
    return FailureTextFault(std::string_view(text));
  }
}

// One conversion through the exports as a host makes it: convert, ask the
// size, copy into a buffer one byte short (refused) and into one of the exact
// size, release twice (the second refused). A failed conversion leaves a
// failure text. What is wrong, or nullptr.
inline const char* ApiFault(const uint8_t* data, size_t size) {
  if (size > INT32_MAX) return nullptr;
  const KDXHandle handle = InitKDX(data, static_cast<int32_t>(size));
  const kdx_char16* text = GetLastExceptionText();
  if (handle == 0) {
    if (!text) return "failed conversion without a failure text";
    return FailureTextFault(std::u16string_view(text));
  }
  if (text) return "successful conversion with a failure text";
  const int32_t xml_size = GetDataSize(handle);
  if (xml_size <= 0) return "converted document without bytes";
  std::string xml(static_cast<size_t>(xml_size), '\0');
  if (GetData(handle, xml.data(), static_cast<uint32_t>(xml_size - 1)) != 0 ||
      KDXGetLastError() != KDX_ERROR_INSUFFICIENT_BUFFER)
    return "a buffer one byte short was not refused";
  if (GetData(handle, xml.data(), static_cast<uint32_t>(xml_size)) !=
      static_cast<uint32_t>(xml_size))
    return "a buffer of the exact size was not filled";
  if (ReleaseKDXHandle(handle) != -1) return "release of a live handle failed";
  if (ReleaseKDXHandle(handle) != 0 || KDXGetLastError() != KDX_ERROR_INVALID_HANDLE)
    return "a released handle was accepted";
  return XmlFault(xml);
}

}  // namespace kdx::fuzz

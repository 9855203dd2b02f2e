// --info: what the header of a packed document says, read without converting.
#include <cstdio>
#include <iterator>
#include <string>

#include "api/convert.h"
#include "cli.h"

namespace kdx::cli {
namespace {

const char* const kKindNames[] = {
    "local estimate",   "object estimate",      "consolidated calculation",
    "price list",       "price-index document", "not converted",
    "resource summary", "not converted",        "not converted",
};

// Eight signature bytes as text when they are printable, else in hexadecimal
// in the order they are stored.
std::string SignatureText(uint64_t signature) {
  std::string text, hex;
  bool printable = true;
  for (int i = 0; i < 8; ++i) {
    const auto byte = static_cast<uint8_t>(signature >> (8 * i));
    printable = printable && byte >= 0x20 && byte <= 0x7E;
    text += static_cast<char>(byte);
    char digits[4];
    std::snprintf(digits, sizeof digits, i ? " %02X" : "%02X", byte);
    hex += digits;
  }
  return printable ? text : hex;
}

std::string VersionText(int32_t version) {
  char text[48];
  std::snprintf(text, sizeof text, "%d (0x%X)", version, static_cast<uint32_t>(version));
  return text;
}

}  // namespace

std::string DescribeHeader(std::string_view bytes, bool& ok) {
  ok = false;
  const std::string size = std::to_string(bytes.size()) + " bytes";
  const PackedHeader header =
      ReadPackedHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (!header.packed) return "not a KDX document (no KR00 header), " + size;
  if (!header.kind) return "not a KDX document (no kind byte), " + size;
  const uint8_t kind = *header.kind;
  if (kind >= std::size(kKindNames)) return "kind " + std::to_string(kind) + " (unknown), " + size;
  std::string text = "kind " + std::to_string(kind) + " (" + kKindNames[kind] + ")";
  const auto document = CreateDocument(kind, ConversionSettings{});

  if (!header.signature) return text + ", no signature, " + size;
  const uint64_t signature = *header.signature;
  text += ", signature " + SignatureText(signature);
  const bool signature_ok = document && signature == document->DocSignature();
  if (document && !signature_ok) {
    text += " (not the kind's " + SignatureText(document->DocSignature()) + ")";
  }

  if (!header.file_version) return text + ", no file version, " + size;
  const int32_t version = *header.file_version;
  text += ", file version " + VersionText(version);
  const bool version_ok = document && version <= document->MaxFileVersion();
  if (document && !version_ok) {
    text += " (newer than this converter reads: at most " +
            VersionText(document->MaxFileVersion()) + ")";
  }
  ok = signature_ok && version_ok;
  return text + ", " + size;
}

}  // namespace kdx::cli

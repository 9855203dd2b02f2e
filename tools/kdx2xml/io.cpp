// Files in and out, and one conversion through the library's exports.
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "cli.h"
#include "filer/codepage.h"
#include "kdx2xml/kdx2xml.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace kdx::cli {
namespace {

// InitKDX takes a 32-bit size.
constexpr size_t kMaxInput = 0x7FFFFFFF;
constexpr size_t kChunk = 1 << 16;

std::string ErrnoText(int code) { return std::generic_category().message(code); }

// Reads to the end in chunks (standard input has no size to ask for).
bool ReadAll(std::FILE* f, std::string& data, std::string& error) {
  size_t size = 0;
  for (;;) {
    if (size > kMaxInput) {
      error = "larger than 2 GiB";
      return false;
    }
    data.resize(size + kChunk);
    const size_t got = std::fread(data.data() + size, 1, kChunk, f);
    size += got;
    if (got < kChunk) break;
  }
  data.resize(size);
  if (std::ferror(f)) {
    error = ErrnoText(errno);
    return false;
  }
  if (size > kMaxInput) {
    error = "larger than 2 GiB";
    return false;
  }
  return true;
}

}  // namespace

bool ReadInput(const std::string& path, std::string& data, std::string& error) {
  data.clear();
  if (path == kStdin) {
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    return ReadAll(stdin, data, error);
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = ErrnoText(errno);
    return false;
  }
  if (std::fseek(f, 0, SEEK_END) == 0) {
    const long size = std::ftell(f);
    if (size > 0 && static_cast<unsigned long>(size) <= kMaxInput) {
      data.reserve(static_cast<size_t>(size) + kChunk);  // the last read finds the end
    }
    std::fseek(f, 0, SEEK_SET);
  }
  const bool ok = ReadAll(f, data, error);
  std::fclose(f);
  return ok;
}

bool WriteOutput(const std::string& path, std::string_view bytes, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    error = ErrnoText(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  int code = errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    code = errno;
  }
  if (!ok) {
    // No half-written XML is left behind under the name of a finished one.
    std::remove(path.c_str());
    error = ErrnoText(code);
  }
  return ok;
}

bool WriteStdout(std::string_view bytes) {
#if defined(_WIN32)
  // The XML bytes go out as they are, without LF -> CR LF translation.
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
         std::fflush(stdout) == 0;
}

Outcome ConvertBytes(const std::string& data, Encoding encoding, std::string& xml) {
  xml.clear();
  const KDXHandle handle = InitKDX(data.data(), static_cast<int32_t>(data.size()));
  if (handle == 0) {
#if defined(_WIN32)
    const uint32_t error_code = GetLastError();
#else
    const uint32_t error_code = KDXGetLastError();
#endif
    const kdx_char16* text = GetLastExceptionText();
    return {kConversionFailed,
            text ? Utf16ToUtf8(text) : "error code " + std::to_string(error_code)};
  }
  const int32_t size = GetDataSize(handle);
  std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
  const uint32_t copied = GetData(handle, bytes.data(), static_cast<uint32_t>(bytes.size()));
  ReleaseKDXHandle(handle);
  if (size <= 0 || copied != static_cast<uint32_t>(size)) {
    return {kConversionFailed, "copying the XML out of the library failed"};
  }
  xml = encoding == Encoding::kUtf8 ? XmlToUtf8(bytes) : std::move(bytes);
  return {};
}

std::string XmlToUtf8(std::string_view xml) {
  constexpr std::string_view kDeclaration = "<?xml ";
  constexpr std::string_view kFrom = "encoding=\"windows-1251\"";
  constexpr std::string_view kTo = "encoding=\"utf-8\"";
  std::string out = Cp1251ToUtf8(xml);
  if (out.compare(0, kDeclaration.size(), kDeclaration) == 0) {
    const size_t end = out.find("?>");
    const size_t at = out.find(kFrom);
    if (at != std::string::npos && at < end) out.replace(at, kFrom.size(), kTo);
  }
  return out;
}

}  // namespace kdx::cli

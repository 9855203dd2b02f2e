// The WebAssembly module of the browser viewer: one conversion call over the
// core's driver. The page hands over the document's bytes and the settings; the
// result is kept until the next call or kdx_release, and is either the XML
// bytes (windows-1251, exactly as the library writes them) or the failure text
// "Class: message" in UTF-8.
#include <cstdint>
#include <new>
#include <string>

#include <emscripten/emscripten.h>

#include "api/convert.h"
#include "filer/errors.h"

namespace {

std::string g_result;

int Finish(int ok, std::string text) {
  g_result = std::move(text);
  return ok;
}

}  // namespace

extern "C" {

// Converts size bytes at data. decimal_separator is a character code (one
// byte); today is a date value (days since 30 December 1899). Returns 1 when
// the result holds the XML, 0 when it holds the failure text.
EMSCRIPTEN_KEEPALIVE int kdx_convert(const uint8_t* data, uint32_t size, int decimal_separator,
                                     double today) {
  g_result.clear();
  g_result.shrink_to_fit();
  kdx::ConversionSettings settings;
  settings.decimal_separator = static_cast<char>(decimal_separator);
  settings.today = today;
  settings.program_version = KDX2XML_VERSION_TEXT;
  try {
    return Finish(1, kdx::ConvertDocument(data, size, settings));
  } catch (const kdx::KdxError& e) {
    return Finish(0, std::string(e.ClassName()) + ": " + e.Message());
  } catch (const std::bad_alloc&) {
    return Finish(0, "EOutOfMemory: Out of memory");
  } catch (const std::exception& e) {
    return Finish(0, std::string(kdx::kException) + ": " + e.what());
  }
}

EMSCRIPTEN_KEEPALIVE const char* kdx_result() { return g_result.data(); }
EMSCRIPTEN_KEEPALIVE uint32_t kdx_result_size() { return static_cast<uint32_t>(g_result.size()); }

// Frees the result.
EMSCRIPTEN_KEEPALIVE void kdx_release() {
  g_result.clear();
  g_result.shrink_to_fit();
}

}  // extern "C"

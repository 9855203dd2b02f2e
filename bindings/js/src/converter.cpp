// The WebAssembly converter of the JavaScript package: the core's driver
// behind one call. The package's loader (kdx2xml.js) hands over the document's
// bytes and the settings; the result is kept until the next call or
// kdx_release, and is either the XML bytes (windows-1251, exactly as the
// library writes them) or the failure's class and message in UTF-8, separated
// by a NUL byte.
#include <malloc.h>

#include <cstdint>
#include <new>
#include <string>

#include "api/convert.h"
#include "filer/errors.h"

#define KDX_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

std::string g_result;

int Finish(int ok, std::string text) {
  g_result = std::move(text);
  return ok;
}

int Failure(const char* class_name, const std::string& message) {
  return Finish(0, std::string(class_name) + '\0' + message);
}

}  // namespace

// Converts size bytes at data. decimal_separator is a character code (one
// byte); today is a date value (days since 30 December 1899); max_xml_size is
// the most bytes of XML the conversion may make (a whole number, at least 1,
// which the loader has checked). Returns 1 when the result holds the XML, 0
// when it holds the failure.
KDX_EXPORT int kdx_convert(const uint8_t* data, uint32_t size, int decimal_separator, double today,
                           double max_xml_size) {
  g_result.clear();
  g_result.shrink_to_fit();
  kdx::ConversionSettings settings;
  settings.decimal_separator = static_cast<char>(decimal_separator);
  settings.today = today;
  settings.program_version = KDX2XML_VERSION_TEXT;
  settings.max_xml_size = static_cast<uint64_t>(max_xml_size);
  try {
    return Finish(1, kdx::ConvertDocument(data, size, settings));
  } catch (const kdx::KdxError& e) {
    return Failure(e.ClassName(), e.Message());
  } catch (const std::bad_alloc&) {
    return Failure("EOutOfMemory", "Out of memory");
  } catch (const std::exception& e) {
    return Failure(kdx::kException, e.what());
  }
}

KDX_EXPORT const char* kdx_result() { return g_result.data(); }
KDX_EXPORT uint32_t kdx_result_size() { return static_cast<uint32_t>(g_result.size()); }

// Frees the result.
KDX_EXPORT void kdx_release() {
  g_result.clear();
  g_result.shrink_to_fit();
}

// Bytes of the heap in use (allocated and not yet freed): flat from one
// conversion to the next.
KDX_EXPORT uint32_t kdx_heap_in_use() { return static_cast<uint32_t>(mallinfo().uordblks); }

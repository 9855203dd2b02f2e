// Fuzz target: any bytes either convert or fail with a library failure; never
// a crash, a leak or an undefined operation.
#include <cstddef>
#include <cstdint>

#include "api/convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kdx::ConversionSettings settings = [] {
    kdx::ConversionSettings s;
    s.decimal_separator = ',';
    s.today = 45000;
    return s;
  }();
  try {
    kdx::ConvertDocument(data, size, settings);
  } catch (const kdx::KdxError&) {
  }
  return 0;
}

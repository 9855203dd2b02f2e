// Fuzz target through the C exports, as a host calls them (see ApiFault).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_inputs.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Read by the exports at their first call; fixed so that runs repeat.
  setenv("KDX2XML_DECIMAL_SEPARATOR", ",", 1);
  setenv("SOURCE_DATE_EPOCH", "1678838400", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kdx::fuzz::Check(kdx::fuzz::ApiFault(data, size));
  return 0;
}

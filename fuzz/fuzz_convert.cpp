// Fuzz target through the driver: any bytes either convert into well-formed
// output or fail with a library failure; never a crash, a leak, an undefined
// operation or an unbounded allocation.
#include <cstddef>
#include <cstdint>

#include "fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kdx::fuzz::Check(kdx::fuzz::DriverFault(data, size));
  return 0;
}

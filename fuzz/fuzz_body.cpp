// Fuzz target inside the body readers: the first byte picks a document kind,
// whose header and body signature are put in front of the rest (the file
// version and the content), so that no run is spent on the header checks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string packed = kdx::fuzz::DocumentForBody(data, size);
  kdx::fuzz::Check(
      kdx::fuzz::DriverFault(reinterpret_cast<const uint8_t*>(packed.data()), packed.size()));
  return 0;
}

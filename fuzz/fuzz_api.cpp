// Fuzz target through the C exports, as a host calls them: convert, ask the
// size, copy into a buffer one byte short (refused) and into one of the exact
// size, release twice (the second refused). A failed conversion must leave a
// failure text and nothing registered.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_inputs.h"
#include "kdx2xml/kdx2xml.h"

using kdx::fuzz::Fail;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Read by the exports at their first call; fixed so that runs repeat.
  setenv("KDX2XML_DECIMAL_SEPARATOR", ",", 1);
  setenv("SOURCE_DATE_EPOCH", "1678838400", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > INT32_MAX) return 0;
  const KDXHandle handle = InitKDX(data, static_cast<int32_t>(size));
  const kdx_char16* text = GetLastExceptionText();
  if (handle == 0) {
    if (!text) Fail("failed conversion without a failure text");
    kdx::fuzz::Check(kdx::fuzz::FailureTextFault(std::u16string_view(text)));
    return 0;
  }
  if (text) Fail("successful conversion with a failure text");

  const int32_t xml_size = GetDataSize(handle);
  if (xml_size <= 0) Fail("converted document without bytes");
  std::string xml(static_cast<size_t>(xml_size), '\0');
  if (GetData(handle, xml.data(), static_cast<uint32_t>(xml_size - 1)) != 0 ||
      KDXGetLastError() != KDX_ERROR_INSUFFICIENT_BUFFER)
    Fail("a buffer one byte short was not refused");
  if (GetData(handle, xml.data(), static_cast<uint32_t>(xml_size)) !=
      static_cast<uint32_t>(xml_size))
    Fail("a buffer of the exact size was not filled");
  kdx::fuzz::Check(kdx::fuzz::XmlFault(xml));

  if (ReleaseKDXHandle(handle) != -1) Fail("release of a live handle failed");
  if (ReleaseKDXHandle(handle) != 0 || KDXGetLastError() != KDX_ERROR_INVALID_HANDLE)
    Fail("a released handle was accepted");
  return 0;
}

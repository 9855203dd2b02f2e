// Load-time set-up of the shared library (on Windows: DllMain in
// windows/dllmain.cpp).
#include "api/exports.h"

#if !defined(_WIN32)
namespace {
__attribute__((constructor)) void LoadLibraryState() { kdx::api::Initialize(); }
}  // namespace
#endif

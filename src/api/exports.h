// Process-wide state owned by the exports.
#pragma once

namespace kdx::api {

// Creates the lock, the registry and the settings (decimal separator) if not
// yet done. The shared library calls it when it is loaded; every export calls
// it too, so a program that links the exports statically reads its settings
// at the first call.
void Initialize();

}  // namespace kdx::api

// Process-wide state owned by the exports.
#pragma once

#include <string>

namespace kdx::api {

// Creates the lock, the registry and the settings (decimal separator) if not
// yet done. The shared library calls it when it is loaded; every export calls
// it too, so a program that links the exports statically reads its settings
// at the first call.
void Initialize();

// Replaces the program version text written on the root element of every
// document (by default the build's version). The Windows DLL sets it from its
// own version resource when it is loaded.
void SetProgramVersion(std::string version);

}  // namespace kdx::api

// Load-time set-up of kdx2xml.dll: the library state and the program version
// text, which comes from the DLL's own version resource.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/exports.h"

namespace {

constexpr char kNoVersion[] = "0.0.0.0";

// Full path of the module, or an empty string when it cannot be had.
std::wstring ModulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    // Truncated: the longest path Windows knows is 32767 characters.
    if (path.size() > 32767) return {};
    path.resize(path.size() * 2);
  }
}

// "major.minor.release.build" of the module's file version, "0.0.0.0" when the
// module has no version resource or it cannot be read.
std::string ModuleFileVersion(HMODULE module) {
  const std::wstring path = ModulePath(module);
  if (path.empty()) return kNoVersion;
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &unused);
  if (size == 0) return kNoVersion;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return kNoVersion;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &value, &length) || value == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return kNoVersion;
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (info->dwSignature != 0xFEEF04BD) return kNoVersion;
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(HIWORD(info->dwFileVersionMS)),
                static_cast<int>(LOWORD(info->dwFileVersionMS)),
                static_cast<int>(HIWORD(info->dwFileVersionLS)),
                static_cast<int>(LOWORD(info->dwFileVersionLS)));
  return text;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      // The library keeps no per-thread state that needs these notifications.
      // (Windows ignores the request for modules with static TLS.)
      DisableThreadLibraryCalls(instance);
      try {
        kdx::api::Initialize();
        kdx::api::SetProgramVersion(ModuleFileVersion(instance));
      } catch (...) {
        return FALSE;  // out of memory: refuse to load
      }
      break;
    case DLL_PROCESS_DETACH:
      // Nothing to do: the state is static data of the module and is
      // discarded with it.
      break;
    default:
      break;
  }
  return TRUE;
}

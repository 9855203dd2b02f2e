#include "api/platform.h"

#include <cerrno>
#include <cstdint>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace kdx::api {

#if defined(_WIN32)

void SetLastErrorCode(uint32_t code) { ::SetLastError(code); }
uint32_t LastErrorCode() { return ::GetLastError(); }

namespace {
// True when every page of the range is committed and has one of the wanted
// protections, without guard or no-access pages. The pages are only queried,
// never touched, so a guard page (e.g. a thread's stack growth) stays armed.
bool RangeHasProtection(const void* data, uint64_t size, DWORD wanted) {
  if (size == 0) return true;
  if (!data) return false;
  auto p = reinterpret_cast<uintptr_t>(data);
  // A range that wraps around the address space is never valid (on 32-bit
  // this also rejects sizes that do not fit in a pointer).
  if (size > static_cast<uint64_t>(UINTPTR_MAX - p)) return false;
  const uintptr_t end = p + static_cast<uintptr_t>(size);
  while (p < end) {
    MEMORY_BASIC_INFORMATION mbi;
    if (VirtualQuery(reinterpret_cast<const void*>(p), &mbi, sizeof mbi) != sizeof mbi) {
      return false;
    }
    if (mbi.State != MEM_COMMIT || (mbi.Protect & (PAGE_GUARD | PAGE_NOACCESS)) ||
        !(mbi.Protect & wanted)) {
      return false;
    }
    const uintptr_t next = reinterpret_cast<uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
    if (next <= p) return true;  // the region reaches the top of the address space
    p = next;
  }
  return true;
}
}  // namespace

bool IsReadableRange(const void* data, int64_t size) {
  if (size < 0) return false;
  return RangeHasProtection(data, static_cast<uint64_t>(size),
                            PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY);
}

bool IsWritableRange(const void* data, uint64_t size) {
  return RangeHasProtection(
      data, size,
      PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY);
}

#else

namespace {
thread_local uint32_t t_last_error = 0;
}

void SetLastErrorCode(uint32_t code) {
  t_last_error = code;
  errno = static_cast<int>(code);
}
uint32_t LastErrorCode() { return t_last_error; }

bool IsReadableRange(const void* data, int64_t size) {
  if (size < 0) return false;
  return size == 0 || data != nullptr;
}

bool IsWritableRange(const void* data, uint64_t size) { return size == 0 || data != nullptr; }

#endif

}  // namespace kdx::api

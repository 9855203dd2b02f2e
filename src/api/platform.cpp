#include "api/platform.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#if !defined(_WIN32)
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#endif

#if defined(_WIN32)
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

bool IsWritableRange(void* data, uint64_t size) {
  return RangeHasProtection(
      data, size,
      PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY);
}

void AdviseHugePages(void*, size_t) {}

bool CopyToRange(void* dst, const void* src, size_t size) {
  if (!IsWritableRange(dst, size)) return false;
  if (size != 0) std::memcpy(dst, src, size);
  return true;
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

// The kernel copies between ranges of the own process with process_vm_readv and
// process_vm_writev and reports a page that cannot be read or written as a
// short count or EFAULT, where touching the page would end the process.
// Any other failure (EPERM or ENOSYS under a seccomp filter or an emulator,
// ENOMEM) means the calls are refused: from then on the checks are null and
// size checks only, and copies plain copies.
namespace {

std::atomic<bool> g_vm_calls_refused{false};

enum class Access { kGranted, kDenied, kRefused };

Access AccessOfTransfer(ssize_t done, size_t wanted) {
  if (done >= 0) return static_cast<size_t>(done) == wanted ? Access::kGranted : Access::kDenied;
  if (errno == EFAULT) return Access::kDenied;
  g_vm_calls_refused.store(true, std::memory_order_relaxed);
  return Access::kRefused;
}

uintptr_t PageSize() {
  static const uintptr_t size = [] {
    const long n = sysconf(_SC_PAGESIZE);
    return n > 0 ? static_cast<uintptr_t>(n) : uintptr_t{4096};
  }();
  return size;
}

// Reads one byte of every page of the range (the protection of memory changes
// only from page to page) into a small scratch buffer, many pages per call;
// with write_back, writes the bytes back where they came from.
Access ProbePages(uintptr_t begin, uintptr_t end, bool write_back) {
  constexpr size_t kBatch = 256;
  iovec remote[kBatch];
  unsigned char scratch[kBatch] = {};
  const pid_t self = getpid();
  const uintptr_t page = PageSize();
  uintptr_t at = begin;
  while (at < end) {
    size_t n = 0;
    while (n < kBatch && at < end) {
      remote[n++] = {reinterpret_cast<void*>(at), 1};
      const uintptr_t next = (at | (page - 1)) + 1;
      at = next > at ? next : end;  // the last page of the address space
    }
    const iovec local{scratch, n};
    Access access = AccessOfTransfer(process_vm_readv(self, &local, 1, remote, n, 0), n);
    if (access == Access::kGranted && write_back) {
      access = AccessOfTransfer(process_vm_writev(self, &local, 1, remote, n, 0), n);
    }
    if (access != Access::kGranted) return access;
  }
  return Access::kGranted;
}

// The range [data, data + size) when it is not empty, does not start at null
// and does not wrap around the address space.
bool RangeBounds(const void* data, uint64_t size, uintptr_t& begin, uintptr_t& end) {
  begin = reinterpret_cast<uintptr_t>(data);
  if (begin == 0 || size > static_cast<uint64_t>(UINTPTR_MAX - begin)) return false;
  end = begin + static_cast<uintptr_t>(size);
  return true;
}

bool RangeIsAccessible(const void* data, uint64_t size, bool writable) {
  if (size == 0) return true;
  uintptr_t begin, end;
  if (!RangeBounds(data, size, begin, end)) return false;
  if (g_vm_calls_refused.load(std::memory_order_relaxed)) return true;
  return ProbePages(begin, end, writable) != Access::kDenied;
}

}  // namespace

bool IsReadableRange(const void* data, int64_t size) {
  return size >= 0 && RangeIsAccessible(data, static_cast<uint64_t>(size), false);
}

bool IsWritableRange(void* data, uint64_t size) { return RangeIsAccessible(data, size, true); }

void AdviseHugePages(void* data, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const auto start = reinterpret_cast<uintptr_t>(data);
  if (size < 2 * kHuge || start > UINTPTR_MAX - size) return;
  const uintptr_t begin = (start + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (start + size) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

bool CopyToRange(void* dst, const void* src, size_t size) {
  if (size == 0) return true;
  uintptr_t begin, end;
  if (!RangeBounds(dst, size, begin, end)) return false;
  auto* to = static_cast<char*>(dst);
  const auto* from = static_cast<const char*>(src);
  constexpr size_t kChunk = size_t{1} << 28;  // well below what one call may copy
  const pid_t self = getpid();
  size_t done = 0;
  while (done < size && !g_vm_calls_refused.load(std::memory_order_relaxed)) {
    const size_t n = std::min(size - done, kChunk);
    const iovec local{const_cast<char*>(from + done), n};
    const iovec remote{to + done, n};
    const Access access = AccessOfTransfer(process_vm_writev(self, &local, 1, &remote, 1, 0), n);
    if (access == Access::kDenied) return false;
    if (access == Access::kGranted) done += n;
  }
  if (done < size) std::memcpy(to + done, from + done, size - done);
  return true;
}

#endif

}  // namespace kdx::api

#include "heap_meter.h"

#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace kdx::test {
namespace {

std::atomic<size_t> g_live{0}, g_peak{0}, g_allocated{0}, g_allocations{0};

void* Allocate(size_t size, size_t align = 0) {
  void* p = align ? std::aligned_alloc(align, (size + align - 1) / align * align)
                  : std::malloc(size ? size : 1);
  if (!p) return nullptr;
  const size_t usable = malloc_usable_size(p);
  const size_t live = g_live.fetch_add(usable, std::memory_order_relaxed) + usable;
  size_t peak = g_peak.load(std::memory_order_relaxed);
  while (live > peak && !g_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  g_allocated.fetch_add(usable, std::memory_order_relaxed);
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void Free(void* p) {
  if (!p) return;
  g_live.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
  std::free(p);
}

}  // namespace

HeapMeter::HeapMeter()
    : live_at_start_(g_live.load()),
      allocated_at_start_(g_allocated.load()),
      allocations_at_start_(g_allocations.load()) {
  g_peak.store(live_at_start_);
}

HeapUse HeapMeter::Read() const {
  return {g_peak.load() - live_at_start_, g_allocated.load() - allocated_at_start_,
          g_allocations.load() - allocations_at_start_};
}

size_t HeapInUse() { return g_live.load(); }

size_t ResidentBytes() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long size = 0, resident = 0;
  const int read = std::fscanf(f, "%lu %lu", &size, &resident);
  std::fclose(f);
  return read == 2 ? resident * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace kdx::test

// Every allocation of the program, the library's included, is counted.
void* operator new(size_t size) {
  if (void* p = kdx::test::Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return kdx::test::Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return kdx::test::Allocate(size);
}
void operator delete(void* p) noexcept { kdx::test::Free(p); }
void operator delete[](void* p) noexcept { kdx::test::Free(p); }
void operator delete(void* p, size_t) noexcept { kdx::test::Free(p); }
void operator delete[](void* p, size_t) noexcept { kdx::test::Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { kdx::test::Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { kdx::test::Free(p); }
// Aligned ones too: the rows' arena takes its chunks and the model its
// larger blocks through them.
void* operator new(size_t size, std::align_val_t align) {
  if (void* p = kdx::test::Allocate(size, static_cast<size_t>(align))) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t align) { return operator new(size, align); }
void operator delete(void* p, std::align_val_t) noexcept { kdx::test::Free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { kdx::test::Free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { kdx::test::Free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { kdx::test::Free(p); }

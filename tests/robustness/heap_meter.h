// The heap a stretch of code uses, counted by the operator new and delete of
// this test program (they replace the library's), and the resident memory of
// the process.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KDX_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KDX_TEST_SANITIZED 1
#endif
#endif

namespace kdx::test {

// How many times slower the sanitizer builds run: the time bounds of the
// robustness tests are multiplied by it.
#if defined(KDX_TEST_SANITIZED)
constexpr double kSlowdown = 20;
#else
constexpr double kSlowdown = 1;
#endif

struct HeapUse {
  size_t peak = 0;       // the most bytes in use at once above the start
  size_t allocated = 0;  // bytes allocated in all
  size_t allocations = 0;
};

// Counts from its construction on.
class HeapMeter {
 public:
  HeapMeter();
  HeapUse Read() const;

 private:
  size_t live_at_start_, allocated_at_start_, allocations_at_start_;
};

// Bytes of the heap in use now.
size_t HeapInUse();
// Resident memory of the process in bytes.
size_t ResidentBytes();
// CPU time of the calling thread in seconds.
double ThreadCpuSeconds();

}  // namespace kdx::test

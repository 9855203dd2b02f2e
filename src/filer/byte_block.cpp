#include "filer/byte_block.h"

#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kdx {
namespace {

#if defined(__linux__)
constexpr size_t kMappedFrom = 4 << 20;
#endif

}  // namespace

ByteBlock::ByteBlock(size_t size) : size_(size) {
  if (size == 0) return;
#if defined(__linux__)
  if (size >= kMappedFrom) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
      size_ = 0;
      throw std::bad_alloc();
    }
#if defined(MADV_HUGEPAGE)
    madvise(p, size, MADV_HUGEPAGE);  // a hint; the block works without it
#endif
    data_ = static_cast<char*>(p);
    mapped_ = size;
    return;
  }
#endif
  try {
    data_ = new char[size];
  } catch (...) {
    size_ = 0;
    throw;
  }
}

ByteBlock::ByteBlock(const void* data, size_t size) : ByteBlock(size) {
  if (size) std::memcpy(data_, data, size);
}

ByteBlock::ByteBlock(ByteBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

ByteBlock& ByteBlock::operator=(ByteBlock&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

void ByteBlock::Release() {
  if (data_) {
#if defined(__linux__)
    if (mapped_) {
      munmap(data_, mapped_);
    } else {
      delete[] data_;
    }
#else
    delete[] data_;
#endif
  }
  data_ = nullptr;
  size_ = 0;
  mapped_ = 0;
}

}  // namespace kdx

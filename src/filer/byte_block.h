// A block of bytes of a fixed size: the copy of a document the exports and the
// tool take, the whole XML where it is asked for in one block (ConvertDocument,
// the benchmark). Blocks from 4 MB on are mapped apart, on Linux with huge
// pages where the system allows them: filling a fresh block then takes a page
// fault per 2 MB instead of one per 4 KB, and freeing it gives the memory back
// to the system at once.
#pragma once

#include <cstddef>
#include <string_view>

namespace kdx {

class ByteBlock {
 public:
  ByteBlock() = default;
  // size bytes, not initialised; throws std::bad_alloc.
  explicit ByteBlock(size_t size);
  // A copy of the bytes.
  ByteBlock(const void* data, size_t size);
  ~ByteBlock() { Release(); }
  ByteBlock(ByteBlock&& other) noexcept;
  ByteBlock& operator=(ByteBlock&& other) noexcept;
  ByteBlock(const ByteBlock&) = delete;
  ByteBlock& operator=(const ByteBlock&) = delete;

  char* data() { return data_; }
  const char* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {data_, size_}; }

  // Frees the bytes now; the block is empty after.
  void Release();

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  size_t mapped_ = 0;  // the length of the mapping, 0 for a block from the heap
};

}  // namespace kdx

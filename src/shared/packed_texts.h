// The texts of one row in one block of the model's arena. A price-list resource has a code,
// a comment, two price comments and four price formulas; most rows fill two
// or three of them with short texts, which one heap block each would cost
// far more than the bytes themselves.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "filer/arena.h"

namespace kdx {

// N texts by slot kept together: a byte telling which slots hold a text, the
// lengths of those texts (seven bits to a byte, the last byte of a length
// without its top bit), then their bytes one after the other. Empty slots cost
// nothing; a row with no text has no block. The texts are set all at once.
template <size_t N>
class PackedTexts {
  static_assert(N >= 1 && N <= 8, "the slots are told by one byte");

 public:
  std::string_view operator[](size_t slot) const {
    if (!block_) return {};
    const auto present = static_cast<uint8_t>(block_[0]);
    if (!((present >> slot) & 1u)) return {};
    // Lengths of the slots before this one give its place among the bytes.
    const char* p = block_.get() + 1;
    size_t before = 0, length = 0;
    const int count = std::popcount(present);
    const int index = std::popcount(static_cast<unsigned>(present & ((1u << slot) - 1)));
    for (int i = 0; i < count; ++i) {
      const size_t n = ReadLength(p);
      if (i < index) before += n;
      if (i == index) length = n;
    }
    return {p + before, length};
  }

  // The texts of all slots, read in one pass (for a row written out whole).
  std::array<std::string_view, N> Unpack() const {
    std::array<std::string_view, N> texts{};
    if (!block_) return texts;
    const auto present = static_cast<uint8_t>(block_[0]);
    const char* p = block_.get() + 1;
    std::array<size_t, N> lengths{};
    for (size_t slot = 0; slot < N; ++slot) {
      if ((present >> slot) & 1u) lengths[slot] = ReadLength(p);
    }
    for (size_t slot = 0; slot < N; ++slot) {
      texts[slot] = {p, lengths[slot]};
      p += lengths[slot];
    }
    return texts;
  }

  // Replaces the text of every slot.
  void Assign(const std::array<std::string_view, N>& texts) {
    uint8_t present = 0;
    size_t size = 1;
    for (size_t slot = 0; slot < N; ++slot) {
      if (texts[slot].empty()) continue;
      present |= static_cast<uint8_t>(1u << slot);
      size += LengthBytes(texts[slot].size()) + texts[slot].size();
    }
    if (!present) {
      block_.reset();
      return;
    }
    Block block(static_cast<char*>(AllocateModel(size)));  // left uninitialised
    block[0] = static_cast<char>(present);
    char* p = block.get() + 1;
    for (const std::string_view text : texts) {
      if (!text.empty()) p = WriteLength(p, text.size());
    }
    for (const std::string_view text : texts) {
      if (text.empty()) continue;
      std::memcpy(p, text.data(), text.size());
      p += text.size();
    }
    block_ = std::move(block);
  }

 private:
  static size_t LengthBytes(size_t n) {
    size_t bytes = 1;
    while (n >>= 7) ++bytes;
    return bytes;
  }
  static char* WriteLength(char* p, size_t n) {
    while (n >= 0x80) {
      *p++ = static_cast<char>((n & 0x7F) | 0x80);
      n >>= 7;
    }
    *p++ = static_cast<char>(n);
    return p;
  }
  static size_t ReadLength(const char*& p) {
    size_t n = 0;
    for (int shift = 0;; shift += 7) {
      const auto byte = static_cast<uint8_t>(*p++);
      n |= static_cast<size_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return n;
    }
  }

  struct FreeBlock {
    void operator()(char* p) const noexcept { FreeModel(p); }
  };
  using Block = std::unique_ptr<char[], FreeBlock>;
  Block block_;
};

}  // namespace kdx

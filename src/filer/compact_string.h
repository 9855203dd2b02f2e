// Texts of the object model: windows-1251 bytes in a word, the object
// itself: short texts in the word, longer ones in a block of the model's
// arena with their length in front, nothing for the empty text. Most texts of a model are
// empty or short and rows have many of them (an estimate position with its
// parts over thirty), where a std::string takes 32 bytes each.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "filer/arena.h"

namespace kdx {

class CompactString {
 public:
  CompactString() = default;
  CompactString(std::string_view text) { Assign(text); }  // NOLINT: converts like a string
  CompactString(const char* text) : CompactString(std::string_view(text)) {}
  CompactString(const CompactString& other) { Assign(other.view()); }
  CompactString(CompactString&& other) noexcept : bits_(std::exchange(other.bits_, 0)) {}
  ~CompactString() { Free(); }

  CompactString& operator=(const CompactString& other) {
    Assign(other.view());
    return *this;
  }
  CompactString& operator=(CompactString&& other) noexcept {
    if (this != &other) {
      Free();
      bits_ = std::exchange(other.bits_, 0);
    }
    return *this;
  }
  CompactString& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  CompactString& operator=(const char* text) { return *this = std::string_view(text); }

  bool empty() const { return bits_ == 0; }
  size_t size() const {
    if (IsInline()) return (bits_ & 0xFF) >> 1;
    if (!bits_) return 0;
    uint32_t n;
    std::memcpy(&n, Block(), sizeof n);
    return n;
  }
  const char* data() const {
    if (IsInline()) return reinterpret_cast<const char*>(&bits_) + 1;
    return bits_ ? Block() + sizeof(uint32_t) : "";
  }
  std::string_view view() const { return {data(), size()}; }
  operator std::string_view() const { return view(); }  // NOLINT: reads like a string
  std::string str() const { return std::string(view()); }
  void clear() {
    Free();
    bits_ = 0;
  }

  friend bool operator==(const CompactString& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const CompactString& a, const CompactString& b) {
    return a.view() == b.view();
  }
  friend bool operator==(const CompactString& a, const char* b) {
    return a.view() == std::string_view(b);
  }

 private:
  // Texts of up to kInline bytes stand in the object itself: its first byte
  // holds the length times two plus one (a heap block's address is even), the
  // text follows. Longer texts lie in a heap block, their length in front.
  static constexpr size_t kInline = sizeof(uintptr_t) - 1;
  static_assert(sizeof(uintptr_t) == 8 || sizeof(uintptr_t) == 4);

  bool IsInline() const { return (bits_ & 1) != 0; }
  const char* Block() const { return reinterpret_cast<const char*>(bits_); }
  void Free() {
    if (bits_ && !IsInline()) FreeModel(reinterpret_cast<char*>(bits_));
  }
  // The new text is in place before the old one goes: the text may lie in it.
  void Assign(std::string_view text) {
    uintptr_t bits = 0;
    if (text.empty()) {
    } else if (text.size() <= kInline && IsLittleEndian()) {
      auto* bytes = reinterpret_cast<unsigned char*>(&bits);
      bytes[0] = static_cast<unsigned char>(text.size() * 2 + 1);
      std::memcpy(bytes + 1, text.data(), text.size());
    } else {
      const auto n = static_cast<uint32_t>(text.size());
      char* block = static_cast<char*>(AllocateModel(sizeof n + text.size()));
      std::memcpy(block, &n, sizeof n);
      std::memcpy(block + sizeof n, text.data(), text.size());
      bits = reinterpret_cast<uintptr_t>(block);
    }
    Free();
    bits_ = bits;
  }
  static bool IsLittleEndian() {
    const uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
  }

  uintptr_t bits_ = 0;
};

// N texts by slot of which most rows hold none: the room for them is made
// with the first text that is not empty.
template <size_t N>
class SparseTexts {
 public:
  std::string_view operator[](size_t slot) const {
    return texts_ ? texts_->slots[slot].view() : std::string_view();
  }
  void Set(size_t slot, std::string_view text) {
    if (!texts_) {
      if (text.empty()) return;
      texts_ = std::make_unique<Slots>();
    }
    texts_->slots[slot] = text;
  }
  // Some slot holds a text.
  bool Any() const {
    if (!texts_) return false;
    for (const CompactString& text : texts_->slots) {
      if (!text.empty()) return true;
    }
    return false;
  }

 private:
  struct Slots : ModelObject {
    std::array<CompactString, N> slots;
  };
  std::unique_ptr<Slots> texts_;
};

}  // namespace kdx

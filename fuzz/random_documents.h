// Documents of every kind and file version written by the test builders from
// random content: lists of random length, texts of random length holding the
// characters the XML escapes, flags with random bits, and indexes that name
// real items, the first one past them, or none. The structure-aware mutator
// starts from them as from the corpus.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kdx::fuzz {

// The random choices of one document.
class Dice {
 public:
  explicit Dice(uint32_t seed) : rng_(seed) {}

  uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(rng_() % n); }
  bool OneIn(uint32_t n) { return Below(n) == 0; }
  uint32_t Bits() { return static_cast<uint32_t>(rng_()); }
  // A length of a list: mostly a few, once a document a few hundred.
  size_t Count(size_t few = 3);
  // A text of random length (UTF-8) over letters, digits, blanks, the
  // characters the XML escapes and a control character; a few texts of a
  // document are long (up to 65,536 characters).
  std::string Text();
  // An index into a list of `size` items: one of them, the first past them,
  // or a negative one.
  int32_t Index(size_t size);
  // A number of any width that likes the edges: 0, 1, -1, the extremes.
  int64_t Edgy(int bits);
  std::string Amount();

  template <typename T>
  const T& Pick(const std::vector<T>& from) {
    return from[Below(static_cast<uint32_t>(from.size()))];
  }

 private:
  std::mt19937 rng_;
  // What keeps a document small enough to be run many times a second.
  int long_counts_left_ = 1;
  int long_texts_left_ = 2;
};

// A packed document of a random kind at a random file version.
std::string RandomDocument(Dice& dice);

}  // namespace kdx::fuzz

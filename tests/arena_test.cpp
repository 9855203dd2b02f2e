// The arena rows and texts are made in: what comes from it and what from the
// heap, chunks given back as their last allocation is freed (in any order,
// on any thread) and taken again by the next ones, and nothing kept past
// the arena.
#include "filer/arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <thread>
#include <vector>

#include "filer/compact_string.h"

namespace kdx::test {
namespace {

bool FromArena(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 8; }

TEST(ArenaTest, WhatComesFromTheArenaAndWhatFromTheHeap) {
  ChunkPool pool;
  Arena arena(&pool);
  const struct {
    const char* what;
    bool scoped;
    size_t size;
    bool from_arena;
  } cases[] = {
      {"a row in a scope", true, 72, true},
      {"a byte in a scope", true, 1, true},
      {"a quarter chunk in a scope", true, kChunkSize / 4, true},
      {"more than a quarter chunk", true, kChunkSize / 4 + 1, false},
      {"a row outside any scope", false, 72, false},
  };
  for (const auto& c : cases) {
    void* p;
    if (c.scoped) {
      ArenaScope scope(arena);
      p = AllocateModel(c.size);
    } else {
      p = AllocateModel(c.size);
    }
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_FALSE(FromArena(p)) << c.what;  // the heap, so that the sanitizer sees every row
#else
    EXPECT_EQ(FromArena(p), c.from_arena) << c.what;
#endif
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u) << c.what;
    static_cast<char*>(p)[c.size - 1] = 1;  // the whole room can be written
    FreeModel(p);
  }
  FreeModel(nullptr);
}

#if !defined(__SANITIZE_ADDRESS__)
// Rows of four chunks freed in an order unlike the one they were made in:
// each chunk goes back to the pool once its last row is gone, the one being
// filled only when the arena moves on; the pool hands them out again.
TEST(ArenaTest, ChunksGoBackAsTheirLastRowsAreFreed) {
  ChunkPool pool;
  std::map<uintptr_t, std::vector<void*>> rows;  // by chunk, in the order they were made
  {
    Arena arena(&pool);
    {
      ArenaScope scope(arena);
      while (arena.Size() < 4 * kChunkSize) {
        void* p = AllocateModel(1000);
        rows[reinterpret_cast<uintptr_t>(p) & ~uintptr_t{kChunkSize - 1}].push_back(p);
      }
    }
    ASSERT_EQ(rows.size(), 4u);
    std::vector<std::vector<void*>*> chunks;
    for (auto& [base, in_chunk] : rows) chunks.push_back(&in_chunk);
    // Chunks are taken in no particular address order: the one being filled
    // holds a single row.
    std::vector<void*>* current = nullptr;
    for (auto* c : chunks) {
      if (c->size() == 1) current = c;
    }
    ASSERT_NE(current, nullptr);
    std::erase(chunks, current);
    // A full chunk from its end, on another thread.
    std::thread([&] {
      for (size_t i = chunks[1]->size(); i-- > 0;) FreeModel((*chunks[1])[i]);
    }).join();
    EXPECT_EQ(pool.Kept(), 1u);
    EXPECT_EQ(arena.Size(), 3 * kChunkSize);
    for (void* p : *chunks[0]) FreeModel(p);
    EXPECT_EQ(pool.Kept(), 2u);
    // The chunk being filled stays, even empty, until the arena moves on.
    for (void* p : *current) FreeModel(p);
    for (void* p : *chunks[2]) FreeModel(p);
    EXPECT_EQ(pool.Kept(), 3u);
    EXPECT_EQ(arena.Size(), kChunkSize);
    {
      ArenaScope scope(arena);
      void* more = AllocateModel(kChunkSize / 4);
      EXPECT_EQ(pool.Kept(), 3u);  // room left in the current chunk
      void* again = AllocateModel(kChunkSize / 4);
      FreeModel(more);
      FreeModel(again);
    }
  }
  // The arena's end gives its last chunk back too.
  EXPECT_EQ(pool.Kept(), 4u);
  char* chunk = pool.Take();
  EXPECT_EQ(reinterpret_cast<uintptr_t>(chunk) % kChunkSize, 0u);
  EXPECT_EQ(pool.Kept(), 3u);
  pool.Give(chunk);
}
#endif

// Texts longer than a word lie in the arena while a scope is open and stay
// readable after it closed; copies made later come from the heap.
TEST(ArenaTest, TextsOutliveTheirScope) {
  ChunkPool pool;
  Arena arena(&pool);
  std::vector<CompactString> texts;
  {
    ArenaScope scope(arena);
    for (int i = 0; i < 20000; ++i)
      texts.emplace_back(std::string(static_cast<size_t>(i % 300), 'a' + i % 26));
  }
  std::vector<CompactString> copies(texts.begin(), texts.end());
  for (size_t i = 0; i < texts.size(); ++i) {
    ASSERT_EQ(texts[i].view(), std::string(i % 300, static_cast<char>('a' + i % 26))) << i;
    ASSERT_EQ(copies[i].view(), texts[i].view());
  }
}

}  // namespace
}  // namespace kdx::test

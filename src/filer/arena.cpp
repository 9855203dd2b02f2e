#include "filer/arena.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kdx {

// The head of a chunk: what lives in it and whose it is. Allocations start
// behind it, 8 bytes past a multiple of 16 (kFirstRoom).
struct Arena::Chunk {
  Arena* arena;
  size_t live;
};

namespace {

// The arena of the conversion running on this thread: set only while one
// loads or writes, so conversions on other threads never see it.
thread_local Arena* t_arena = nullptr;

constexpr std::align_val_t kHeapAlign{16};

// Where the first allocation of a chunk lies.
constexpr size_t kFirstRoom = (sizeof(void*) + sizeof(size_t) + 15) / 16 * 16 + 8;

// Under AddressSanitizer every row comes from the heap, so that a row used
// after it was freed is still found.
#if defined(__SANITIZE_ADDRESS__)
#define KDX2XML_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KDX2XML_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef KDX2XML_ADDRESS_SANITIZER
#define KDX2XML_ADDRESS_SANITIZER 0
#endif
constexpr bool kSanitized = KDX2XML_ADDRESS_SANITIZER != 0;

}  // namespace

// ---- chunks ----

ChunkPool::~ChunkPool() { Clear(); }

void ChunkPool::Clear() noexcept {
  for (char* chunk : kept_) FreeChunk(chunk);
  kept_.clear();
}

char* ChunkPool::Take() {
  if (kept_.empty()) return NewChunk();
  char* chunk = kept_.back();
  kept_.pop_back();
  return chunk;
}

void ChunkPool::Give(char* chunk) {
  try {
    kept_.push_back(chunk);
  } catch (const std::bad_alloc&) {
    FreeChunk(chunk);
  }
}

char* ChunkPool::NewChunk() {
  auto* chunk = static_cast<char*>(::operator new (kChunkSize, std::align_val_t{kChunkSize}));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  madvise(chunk, kChunkSize, MADV_HUGEPAGE);  // a hint; the chunk works without it
#endif
  return chunk;
}

void ChunkPool::FreeChunk(char* chunk) noexcept {
  ::operator delete (chunk, std::align_val_t{kChunkSize});
}

// ---- arena ----

Arena::~Arena() {
  static_assert(sizeof(Chunk) <= kFirstRoom);
  // Every row and text is gone by now; the chunks still counted go back.
  if (current_) Release(current_);
}

void* Arena::Allocate(size_t size) {
  if (size > kChunkSize / 4) return nullptr;
  if (static_cast<size_t>(end_ - cursor_) < size) {
    char* memory = pool_ ? pool_->Take() : ChunkPool::NewChunk();
    Chunk* previous = current_;
    current_ = new (memory) Chunk{this, 0};
    cursor_ = memory + kFirstRoom;
    end_ = memory + kChunkSize;
    ++chunks_;
    // A chunk whose rows are all gone already goes back at once.
    if (previous && previous->live == 0) Release(previous);
  }
  void* p = cursor_;
  cursor_ += size;
  ++current_->live;
  return p;
}

void Arena::Release(Chunk* chunk) {
  if (chunk == current_) {
    current_ = nullptr;
    cursor_ = end_ = nullptr;
  }
  --chunks_;
  char* memory = reinterpret_cast<char*>(chunk);
  if (pool_) {
    pool_->Give(memory);
  } else {
    ChunkPool::FreeChunk(memory);
  }
}

ArenaScope::ArenaScope(Arena& arena) : previous_(t_arena) { t_arena = &arena; }
ArenaScope::~ArenaScope() { t_arena = previous_; }

void* AllocateModel(size_t size) {
  const size_t rounded = (size + 15) & ~size_t{15};
  if (t_arena && !kSanitized) {
    if (void* p = t_arena->Allocate(rounded)) return p;
  }
  return ::operator new(rounded, kHeapAlign);
}

void FreeModel(void* p) noexcept {
  if (!p) return;
  const auto address = reinterpret_cast<uintptr_t>(p);
  if ((address & 15) != 8) {
    ::operator delete(p, kHeapAlign);
    return;
  }
  auto* chunk = reinterpret_cast<Arena::Chunk*>(address & ~uintptr_t{kChunkSize - 1});
  // The current chunk stays while its arena fills it; any other goes back
  // when its last row or text does.
  if (--chunk->live == 0 && chunk != chunk->arena->current_) chunk->arena->Release(chunk);
}

}  // namespace kdx

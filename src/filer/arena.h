// Memory of one conversion's model and XML in chunks of 2 MB, aligned to
// 2 MB and, on Linux, backed by huge pages: touching a fresh chunk then takes
// one page fault where 4 KB pages take 512, and page faults are the largest
// cost of converting in a fresh process.
//
// Rows and texts of a document are made in its arena (AllocateModel, while
// an ArenaScope names the arena on the thread), each chunk counting what
// lives in it. Rows are freed as they are written, in about the order they
// were read, so chunks empty one after another; an empty chunk goes back to
// the conversion's pool, where the XML's blocks take it again, its pages
// already there. Chunks come from the heap, aligned to their size; on Linux
// they ask for huge pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace kdx {

inline constexpr size_t kChunkSize = size_t{2} << 20;

// Chunks of one conversion: those given back are kept to be taken again
// until the pool ends.
class ChunkPool {
 public:
  ChunkPool() = default;
  ~ChunkPool();
  ChunkPool(const ChunkPool&) = delete;
  ChunkPool& operator=(const ChunkPool&) = delete;

  // A chunk given back before, or a new one; throws std::bad_alloc.
  char* Take();
  void Give(char* chunk);
  // Frees the chunks kept.
  void Clear() noexcept;
  // Chunks given back and not taken again.
  size_t Kept() const { return kept_.size(); }

  // A new chunk from the heap (throws std::bad_alloc), and one given back to it.
  static char* NewChunk();
  static void FreeChunk(char* chunk) noexcept;

 private:
  std::vector<char*> kept_;
};

// Where the rows and texts of one document are made: a chunk filled from
// its start, then the next. Allocations lie 8 bytes past a multiple of 16,
// which tells them apart from the heap's (a multiple of 16) when freed.
class Arena {
 public:
  // Chunks come from the pool and empty ones go back to it; without a pool,
  // from the system and back to it.
  explicit Arena(ChunkPool* pool = nullptr) : pool_(pool) {}
  ~Arena();
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // Bytes of the chunks taken and not given back.
  size_t Size() const { return chunks_ * kChunkSize; }
  // Chunks come from the pool and go back to it from now on.
  void SetPool(ChunkPool* pool) { pool_ = pool; }

 private:
  friend void* AllocateModel(size_t size);
  friend void FreeModel(void* p) noexcept;
  struct Chunk;
  // Room of size bytes (a multiple of 16), or nullptr for one too large,
  // which the heap gives.
  void* Allocate(size_t size);
  void Release(Chunk* chunk);

  ChunkPool* pool_;
  Chunk* current_ = nullptr;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
  size_t chunks_ = 0;
};

// Names the arena that rows and texts made on this thread go into, for the
// scope's life (scopes nest).
class ArenaScope {
 public:
  explicit ArenaScope(Arena& arena);
  ~ArenaScope();
  ArenaScope(const ArenaScope&) = delete;
  ArenaScope& operator=(const ArenaScope&) = delete;

 private:
  Arena* previous_;
};

// Memory for a row or a text of the model: from the thread's arena when a
// scope names one, else from the heap; throws std::bad_alloc.
void* AllocateModel(size_t size);
// Frees memory AllocateModel gave, on any thread.
void FreeModel(void* p) noexcept;

// A base of the model's side records: made where rows are.
struct ModelObject {
  static void* operator new(size_t size) { return AllocateModel(size); }
  static void operator delete(void* p) noexcept { FreeModel(p); }
};

// The allocator of the model's containers (a list's items): their room is
// made where rows are.
template <class T>
struct ModelAllocator {
  using value_type = T;
  ModelAllocator() = default;
  template <class U>
  ModelAllocator(const ModelAllocator<U>&) noexcept {}  // NOLINT: rebinds implicitly
  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateModel(n * sizeof(T)));
  }
  void deallocate(T* p, size_t) noexcept { FreeModel(p); }
  friend bool operator==(const ModelAllocator&, const ModelAllocator&) { return true; }
};

}  // namespace kdx

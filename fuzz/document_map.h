// Where the fields of a packed document lie, as its own reading finds them:
// the structure-aware mutator changes counts, versions, flags, string lengths
// and indexes of real records, and repeats or drops whole list items, instead
// of changing bytes at random. Needs the fuzz build's read trace
// (KDX2XML_READ_TRACE).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kdx::fuzz {

// A fixed-width number the reading took (a count, a flag set, an index, a
// value): 1, 2, 4 or 8 bytes.
struct NumberField {
  uint32_t at;
  uint8_t width;
};

// A tagged string: the tag byte, its length of 1, 2 or 4 bytes, the text.
struct StringField {
  uint32_t at;  // of the tag
  uint8_t tag;
  uint32_t text_at;
  size_t length;  // as stored (the text may be cut short by the end)
};

// A list: its count and where each item starts; `end` is where the last item
// ends, 0 while the list was not read to its end.
struct ListField {
  uint32_t count_at;
  uint8_t count_width;
  std::vector<uint32_t> items;
  uint32_t end = 0;

  // The items whose bytes are known whole: every item but the last of a list
  // not read to its end.
  size_t WholeItems() const { return end ? items.size() : items.empty() ? 0 : items.size() - 1; }
  size_t ItemEnd(size_t i) const { return i + 1 < items.size() ? items[i + 1] : end; }
};

struct DocumentMap {
  std::vector<NumberField> numbers;
  std::vector<StringField> strings;
  std::vector<ListField> lists;
  // The largest count of a list read whole: an index up to it names a real
  // item or the first one past the end.
  int64_t largest_count = 0;

  size_t Bytes() const;
};

// Records the fields of the document while the object lives: the reads of
// whatever reads the bytes on this thread (a conversion) go into the map, up
// to where the reading stops.
class MapRecording {
 public:
  MapRecording(std::string_view bytes, DocumentMap& map);
  ~MapRecording();
  MapRecording(const MapRecording&) = delete;
  MapRecording& operator=(const MapRecording&) = delete;

 private:
  class Recorder;
  std::unique_ptr<Recorder> recorder_;
};

// Reads the document (its load alone, the XML is not made) and records its
// fields.
DocumentMap MapDocument(std::string_view packed);

// The maps of the documents run last, by their bytes: the mutator is handed
// a document the target has just run (the corpus's, or the previous step of
// its chain of changes), so its map is mostly known without reading it again.
class MapCache {
 public:
  static uint64_t Key(std::string_view bytes);
  const DocumentMap* Find(uint64_t key) const;
  void Put(uint64_t key, DocumentMap map);

 private:
  static constexpr size_t kMostBytes = size_t{64} << 20;
  std::unordered_map<uint64_t, DocumentMap> maps_;
  std::deque<uint64_t> order_;
  size_t bytes_ = 0;
};

// Little-endian numbers of any width in a byte string.
uint64_t ReadNumber(std::string_view bytes, size_t at, size_t width);
void WriteNumber(std::string& bytes, size_t at, size_t width, uint64_t value);

}  // namespace kdx::fuzz

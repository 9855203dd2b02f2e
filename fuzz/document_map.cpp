#include "document_map.h"

#include <algorithm>
#include <new>

#include "api/convert.h"
#include "filer/filer.h"
#include "fuzz_inputs.h"

namespace kdx::fuzz {

// Turns the events of the reading into fields.
class MapRecording::Recorder final : public ReadTrace {
 public:
  Recorder(std::string_view bytes, DocumentMap& map) : bytes_(bytes), map_(map) {}
  ~Recorder() {
    // Lists the reading left, inner ones first, are kept without their end.
    while (!open_.empty()) Close(0);
  }

  void On(Event event, size_t position, size_t count) override {
    const auto at = static_cast<uint32_t>(position);
    switch (event) {
      case kRead:
        Read(at, count);
        break;
      case kString:
        string_at_ = at;
        string_step_ = kTag;
        break;
      case kListCount:
        open_.push_back({.count_at = at, .count_width = static_cast<uint8_t>(count)});
        break;
      case kItem:
        if (!open_.empty()) open_.back().items.push_back(at);
        break;
      case kListEnd:
        if (!open_.empty()) Close(at);
        break;
    }
  }

 private:
  enum StringStep { kNone, kTag, kLength, kText };

  void Read(uint32_t at, size_t count) {
    switch (string_step_) {
      case kTag:
        tag_ = at < bytes_.size() ? static_cast<uint8_t>(bytes_[at]) : 0;
        string_step_ = kLength;
        return;
      case kLength:
        if (at + count <= bytes_.size()) {
          map_.strings.push_back({.at = string_at_,
                                  .tag = tag_,
                                  .text_at = static_cast<uint32_t>(at + count),
                                  .length = static_cast<size_t>(ReadNumber(bytes_, at, count))});
        }
        string_step_ = kText;
        return;
      case kText:
        string_step_ = kNone;
        return;
      case kNone:
        break;
    }
    if ((count == 1 || count == 2 || count == 4 || count == 8) && at + count <= bytes_.size()) {
      map_.numbers.push_back({.at = at, .width = static_cast<uint8_t>(count)});
    }
  }

  void Close(uint32_t end) {
    ListField list = std::move(open_.back());
    open_.pop_back();
    list.end = end;
    if (end) {
      map_.largest_count =
          std::max<int64_t>(map_.largest_count, static_cast<int64_t>(list.items.size()));
    }
    map_.lists.push_back(std::move(list));
  }

  std::string_view bytes_;
  DocumentMap& map_;
  std::vector<ListField> open_;
  StringStep string_step_ = kNone;
  uint32_t string_at_ = 0;
  uint8_t tag_ = 0;
};

MapRecording::MapRecording(std::string_view bytes, DocumentMap& map)
    : recorder_(std::make_unique<Recorder>(bytes, map)) {
  g_read_trace = recorder_.get();
}

MapRecording::~MapRecording() { g_read_trace = nullptr; }

size_t DocumentMap::Bytes() const {
  size_t bytes = sizeof *this + numbers.size() * sizeof(NumberField) +
                 strings.size() * sizeof(StringField) + lists.size() * sizeof(ListField);
  for (const ListField& list : lists) bytes += list.items.size() * sizeof(uint32_t);
  return bytes;
}

DocumentMap MapDocument(std::string_view packed) {
  DocumentMap map;
  const MapRecording recording(packed, map);
  try {
    LoadDocument(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(), RunSettings());
  } catch (const KdxError&) {
    // The fields up to the failure are what the mutator changes.
  } catch (const std::bad_alloc&) {
  }
  return map;
}

uint64_t MapCache::Key(std::string_view bytes) {
  uint64_t hash = 0xCBF29CE484222325u;  // 64-bit FNV-1a
  for (const char ch : bytes) hash = (hash ^ static_cast<uint8_t>(ch)) * 0x100000001B3u;
  return hash ^ bytes.size();
}

const DocumentMap* MapCache::Find(uint64_t key) const {
  const auto found = maps_.find(key);
  return found == maps_.end() ? nullptr : &found->second;
}

void MapCache::Put(uint64_t key, DocumentMap map) {
  const size_t bytes = map.Bytes();
  const auto [at, fresh] = maps_.try_emplace(key, std::move(map));
  if (!fresh) return;
  order_.push_back(key);
  bytes_ += bytes;
  while (bytes_ > kMostBytes && order_.size() > 1) {
    const auto oldest = maps_.find(order_.front());
    bytes_ -= oldest->second.Bytes();
    maps_.erase(oldest);
    order_.pop_front();
  }
}

uint64_t ReadNumber(std::string_view bytes, size_t at, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width && at + i < bytes.size(); ++i) {
    value |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  }
  return value;
}

void WriteNumber(std::string& bytes, size_t at, size_t width, uint64_t value) {
  for (size_t i = 0; i < width && at + i < bytes.size(); ++i) {
    bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

}  // namespace kdx::fuzz

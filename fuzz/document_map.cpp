#include "document_map.h"

#include <new>

#include "api/convert.h"
#include "filer/filer.h"
#include "fuzz_inputs.h"

namespace kdx::fuzz {
namespace {

// Turns the events of the reading into fields.
class Recorder final : public ReadTrace {
 public:
  Recorder(const std::string& bytes, DocumentMap& map) : bytes_(bytes), map_(map) {}
  ~Recorder() {
    // Lists the reading left, inner ones first, are kept without their end.
    while (!open_.empty()) Close(0);
  }

  void On(Event event, size_t position, size_t count) override {
    switch (event) {
      case kRead:
        Read(position, count);
        break;
      case kString:
        string_at_ = position;
        string_step_ = kTag;
        break;
      case kListCount:
        open_.push_back({.count_at = position, .count_width = static_cast<uint8_t>(count)});
        break;
      case kItem:
        if (!open_.empty()) open_.back().items.push_back(position);
        break;
      case kListEnd:
        if (!open_.empty()) Close(position);
        break;
    }
  }

 private:
  enum StringStep { kNone, kTag, kLength, kText };

  void Read(size_t position, size_t count) {
    switch (string_step_) {
      case kTag:
        tag_ = position < bytes_.size() ? static_cast<uint8_t>(bytes_[position]) : 0;
        string_step_ = kLength;
        return;
      case kLength:
        if (position + count <= bytes_.size()) {
          map_.strings.push_back(
              {.at = string_at_,
               .tag = tag_,
               .text_at = position + count,
               .length = static_cast<size_t>(ReadNumber(bytes_, position, count))});
        }
        string_step_ = kText;
        return;
      case kText:
        string_step_ = kNone;
        return;
      case kNone:
        break;
    }
    if ((count == 1 || count == 2 || count == 4 || count == 8) &&
        position + count <= bytes_.size()) {
      map_.numbers.push_back({.at = position, .width = static_cast<uint8_t>(count)});
    }
  }

  void Close(size_t end) {
    ListField list = std::move(open_.back());
    open_.pop_back();
    list.end = end;
    if (end) {
      map_.largest_count =
          std::max<int64_t>(map_.largest_count, static_cast<int64_t>(list.items.size()));
    }
    map_.lists.push_back(std::move(list));
  }

  const std::string& bytes_;
  DocumentMap& map_;
  std::vector<ListField> open_;
  StringStep string_step_ = kNone;
  size_t string_at_ = 0;
  uint8_t tag_ = 0;
};

}  // namespace

uint64_t ReadNumber(const std::string& bytes, size_t at, size_t width) {
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

DocumentMap MapDocument(const std::string& packed) {
  DocumentMap map;
  {
    Recorder recorder(packed, map);
    g_read_trace = &recorder;
    try {
      LoadDocument(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(), RunSettings());
    } catch (const KdxError&) {
      // The fields up to the failure are what the mutator changes.
    } catch (const std::bad_alloc&) {
    }
    g_read_trace = nullptr;
  }
  return map;
}

}  // namespace kdx::fuzz

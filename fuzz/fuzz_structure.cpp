// Structure-aware fuzz target: packed documents, converted with a bound on the
// XML, changed by a mutator that knows their records. The mutator reads the
// document it is given (the read trace of the fuzz build tells it where each
// number, string and list item lies) and changes one real field: a count, the
// file version, a flag set or an index to a value at an edge, a string's
// length (its text grown or cut with characters the XML escapes, its tag and
// length rewritten to match), or a list item repeated, dropped or copied over
// another with the count kept right. Now and then it writes a new document of
// a random kind and version with the test builders, or leaves the change to
// libFuzzer's own byte-level mutations.
//
// A small document whose XML would pass the bound fails by design; one whose
// memory or time grows faster than its size is a finding through libFuzzer's
// -rss_limit_mb, -malloc_limit_mb and -timeout.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "document_map.h"
#include "fuzz_inputs.h"
#include "random_documents.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace kdx::fuzz {
namespace {

// The file version is the number at this offset of a packed document.
constexpr size_t kVersionAt = 17;

uint64_t WidthMask(size_t width) {
  return width >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1;
}

// A value for a number field: an edge of its width, a step from the value it
// has, one bit flipped (flag sets) or an index that names an item of a list.
uint64_t EdgeValue(Dice& d, uint64_t old, size_t width, int64_t largest_count) {
  const uint64_t mask = WidthMask(width);
  const uint64_t top = mask >> 1;
  switch (d.Below(9)) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 2:
      return mask;  // -1
    case 3:
      return top;
    case 4:
      return top + 1;  // the least signed value
    case 5:
      return old + 1 + d.Below(3);
    case 6:
      return old - 1 - d.Below(3);
    case 7:
      return old ^ (uint64_t{1} << d.Below(static_cast<uint32_t>(8 * width)));
    default:
      return static_cast<uint64_t>(d.Below(static_cast<uint32_t>(largest_count + 2)));
  }
}

bool ChangeNumber(Dice& d, std::string& doc, const DocumentMap& map) {
  if (map.numbers.empty()) return false;
  const NumberField& f = d.Pick(map.numbers);
  const uint64_t old = ReadNumber(doc, f.at, f.width);
  uint64_t value = EdgeValue(d, old, f.width, map.largest_count);
  if (f.at == kVersionAt && f.width == 4 && d.OneIn(2)) {
    // Another file version of the kind's range, or one beside this one.
    value = d.OneIn(2) ? 0x00010000u + d.Below(0x160) : old + (d.OneIn(2) ? 1 : -1);
  }
  WriteNumber(doc, f.at, f.width, value & WidthMask(f.width));
  return true;
}

// A string of a new length: the text cut or grown with one character (often
// one the XML writes escaped), the tag the length needs, the rest unchanged.
bool ChangeString(Dice& d, std::string& doc, const DocumentMap& map, size_t max_size) {
  if (map.strings.empty()) return false;
  const StringField& s = d.Pick(map.strings);
  const size_t width = s.tag == 6 ? 1 : s.tag == 7 ? 2 : 4;
  if (s.text_at + s.length > doc.size() || s.text_at != s.at + 1 + width) return false;
  if (d.OneIn(8)) {
    // A length that does not match the text.
    WriteNumber(doc, s.at + 1, width, ReadNumber(doc, s.at + 1, width) + (d.OneIn(2) ? 1 : -1));
    return true;
  }
  static constexpr size_t kLengths[] = {0, 1, 2, 255, 256, 65534, 65535, 65536};
  size_t length;
  switch (d.Below(4)) {
    case 0:
      length = kLengths[d.Below(std::size(kLengths))];
      break;
    case 1:
      length = s.length * 2 + 1;
      break;
    case 2:
      length = s.length ? s.length - 1 : 1;
      break;
    default:
      length = d.Below(4096);
  }
  // The document grows by the text's growth and at most three bytes of length.
  const size_t base = doc.size() - s.length + 4;
  length = std::min(length, max_size > base ? max_size - base : 0);
  static constexpr char kFillers[] = {'"', '&', '<', '\'', 'a', '\x01', '\xC0', ' '};
  const char filler = kFillers[d.Below(std::size(kFillers))];
  std::string text = doc.substr(s.text_at, std::min(s.length, length));
  text.resize(length, filler);
  const uint8_t tag = length <= 255 && d.OneIn(2) ? 6 : length <= 65534 && !d.OneIn(4) ? 7 : 8;
  std::string field(1, static_cast<char>(tag));
  const size_t new_width = tag == 6 ? 1 : tag == 7 ? 2 : 4;
  field.append(new_width, '\0');
  WriteNumber(field, 1, new_width, length);
  field += text;
  doc.replace(s.at, 1 + width + s.length, field);
  return true;
}

// A list item repeated (now and then hundreds of times), dropped or copied over
// another, the count rewritten to match.
bool ChangeItems(Dice& d, std::string& doc, const DocumentMap& map, size_t max_size) {
  std::vector<const ListField*> lists;
  for (const ListField& list : map.lists) {
    if (list.WholeItems() > 0 && list.count_at + list.count_width <= doc.size())
      lists.push_back(&list);
  }
  if (lists.empty()) return false;
  const ListField& list = *d.Pick(lists);
  const size_t i = d.Below(static_cast<uint32_t>(list.WholeItems()));
  const size_t start = list.items[i], end = list.ItemEnd(i);
  if (end <= start || end > doc.size()) return false;
  const std::string item = doc.substr(start, end - start);
  const uint64_t count = ReadNumber(doc, list.count_at, list.count_width);
  const uint64_t most = list.count_width == 1 ? 0xFF : list.count_width == 2 ? 0xFFFF : 0x7FFFFFF;
  switch (d.Below(3)) {
    case 0: {
      size_t copies = d.OneIn(8) ? 1 + d.Below(1000) : 1 + d.Below(3);
      copies = std::min<size_t>({copies, (max_size - std::min(max_size, doc.size())) / item.size(),
                                 static_cast<size_t>(most - std::min(most, count))});
      if (copies == 0) return false;
      std::string repeated;
      repeated.reserve(item.size() * copies);
      for (size_t k = 0; k < copies; ++k) repeated += item;
      doc.insert(end, repeated);
      WriteNumber(doc, list.count_at, list.count_width, count + copies);
      return true;
    }
    case 1:
      if (count == 0) return false;
      doc.erase(start, end - start);
      WriteNumber(doc, list.count_at, list.count_width, count - 1);
      return true;
    default: {
      const size_t j = d.Below(static_cast<uint32_t>(list.WholeItems()));
      if (j == i) return false;
      const size_t at = list.items[j], to = list.ItemEnd(j);
      if (doc.size() - (to - at) + item.size() > max_size) return false;
      doc.replace(at, to - at, item);
      return true;
    }
  }
}

size_t Deliver(const std::string& doc, uint8_t* data, size_t max_size) {
  const size_t size = std::min(doc.size(), max_size);
  std::memcpy(data, doc.data(), size);
  return size;
}

}  // namespace
}  // namespace kdx::fuzz

namespace kdx::fuzz {
namespace {

MapCache& Maps() {
  static MapCache maps;
  return maps;
}

}  // namespace
}  // namespace kdx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kdx::fuzz;
  // The run's own reading gives the map the mutator will want next.
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  DocumentMap map;
  const char* fault;
  {
    const MapRecording recording(bytes, map);
    fault = DriverFault(data, size);
  }
  Maps().Put(MapCache::Key(bytes), std::move(map));
  Check(fault);
  return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int seed) {
  using namespace kdx::fuzz;
  Dice dice(seed);
  const uint32_t way = dice.Below(16);
  if (way == 0) {
    const std::string doc = RandomDocument(dice);
    if (doc.size() <= max_size) return Deliver(doc, data, max_size);
  } else if (way >= 4) {
    std::string doc(reinterpret_cast<const char*>(data), size);
    const DocumentMap* known = Maps().Find(MapCache::Key(doc));
    const DocumentMap read = known ? DocumentMap{} : MapDocument(doc);
    const DocumentMap& map = known ? *known : read;
    bool changed = false;
    for (int attempt = 0; attempt < 4 && !changed; ++attempt) {
      switch (dice.Below(3)) {
        case 0:
          changed = ChangeNumber(dice, doc, map);
          break;
        case 1:
          changed = ChangeString(dice, doc, map, max_size);
          break;
        default:
          changed = ChangeItems(dice, doc, map, max_size);
      }
    }
    if (changed && doc.size() <= max_size) return Deliver(doc, data, max_size);
  }
  return LLVMFuzzerMutate(data, size, max_size);
}

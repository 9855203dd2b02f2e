// The five exports: a registry of converted documents behind unique handles,
// the process-wide last-failure text, and the argument checks.
#include "api/exports.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "api/convert.h"
#include "api/platform.h"
#include "filer/codepage.h"
#include "kdx2xml/kdx2xml.h"
#include "xml/values.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#ifndef KDX2XML_VERSION_TEXT
#define KDX2XML_VERSION_TEXT "0.0.0.0"
#endif

namespace kdx::api {
namespace {

struct State {
  std::recursive_mutex lock;
  // Live conversions in the order they were registered, searched linearly.
  // Each keeps its XML tree and serialises it into the host's buffer at every
  // GetData, so the library never holds a copy of the XML bytes beside it.
  std::vector<std::pair<KDXHandle, std::shared_ptr<const ConvertedDocument>>> registry;
  std::u16string last_failure;
  // Handles are never reused within the process, so a stale handle can never
  // reach another conversion's data.
  KDXHandle next_handle = 0x10000;
  // The separator of the environment's locale, read once; the environment
  // variables are read at every conversion.
  char locale_separator = '.';
  std::string program_version = KDX2XML_VERSION_TEXT;
};

State& GetState() {
  static State* state = [] {
    // Destroyed when the library is unloaded (or the program exits), which
    // discards the registry with any buffers still in it.
    static State s;
    s.locale_separator = LocaleDecimalSeparator();
    return &s;
  }();
  return *state;
}

// The failure text as the calling thread sees it. A thread that has converted
// reads the text its own calls left; a thread that never has (a host's
// interface thread asking after a worker failed) reads the process-wide text.
struct ThreadFailure {
  bool converted = false;  // the thread has called InitKDX
  std::u16string text;     // left by the thread's own last call
  std::u16string copy;     // the process-wide text as last handed out
};
thread_local ThreadFailure t_failure;

// The start of an export call: the failure texts are emptied. Called under the lock.
void BeginCall(State& s) {
  s.last_failure.clear();
  t_failure.text.clear();
}

void RecordFailure(State& s, const std::string& class_name, const std::string& message) {
  s.last_failure = Utf8ToUtf16(class_name + ": " + message);
  t_failure.text = s.last_failure;
}

// The failure class and message of the exception being handled; called only
// inside a catch block.
void DescribeFailure(std::string& failure_class, std::string& failure_message) {
  try {
    throw;
  } catch (const KdxError& e) {
    failure_class = e.ClassName();
    failure_message = e.Message();
  } catch (const std::bad_alloc&) {
    failure_class = kEOutOfMemory;
    failure_message = kMsgOutOfMemory;
  } catch (const std::exception& e) {
    failure_class = kException;
    failure_message = e.what();
  } catch (...) {
    failure_class = kException;
    failure_message = "Unknown failure";
  }
}

// Runs body; false, with the class and message of the failure, when it throws.
template <typename F>
bool Caught(std::string& failure_class, std::string& failure_message, F&& body) {
  try {
    body();
    return true;
  } catch (...) {
    DescribeFailure(failure_class, failure_message);
  }
  return false;
}

// Runs body, turning every escaping failure into the last-failure text.
template <typename R, typename F>
R Guarded(State& s, R on_failure, F&& body) {
  R result = on_failure;
  std::string failure_class, failure_message;
  if (!Caught(failure_class, failure_message, [&] { result = body(); })) {
    RecordFailure(s, failure_class, failure_message);
  }
  return result;
}

using Registry = decltype(State::registry);

// The registry entry of a handle; the end (and last error 6) when it is not registered.
Registry::iterator FindRegistered(State& s, KDXHandle handle) {
  auto it = handle == 0
                ? s.registry.end()
                : std::find_if(s.registry.begin(), s.registry.end(),
                               [handle](const auto& entry) { return entry.first == handle; });
  if (it == s.registry.end()) SetLastErrorCode(KDX_ERROR_INVALID_HANDLE);
  return it;
}

// An export call on the registry: holds the lock and starts with an empty failure text.
struct RegistryCall {
  State& s = GetState();
  std::lock_guard<std::recursive_mutex> guard{s.lock};
  RegistryCall() { BeginCall(s); }
};

// The settings of a conversion, taken under the lock; the rest are read from
// the environment outside it (CompleteSettings).
ConversionSettings SettingsOf(const State& s) {
  ConversionSettings settings;
  settings.decimal_separator = s.locale_separator;
  settings.program_version = s.program_version;
  return settings;
}

// The settings a host gives for one conversion; what it leaves unset comes
// from the environment.
struct HostSettings {
  std::optional<char> decimal_separator;
  std::optional<double> today;
  std::optional<uint64_t> max_xml_size;
  // The bound is at most what GetDataSize can state (the exports), or
  // whatever is asked (the tool, which streams).
  uint64_t most_xml = kMaxXmlSize;
};

// Fills in the settings a conversion reads from the environment each time.
void CompleteSettings(ConversionSettings& settings, const HostSettings& host) {
  if (host.decimal_separator) {
    settings.decimal_separator = *host.decimal_separator;
  } else if (const auto separator = DecimalSeparatorOverride()) {
    settings.decimal_separator = *separator;
  }
  settings.today = host.today ? *host.today : EnvironmentToday();
  const auto bound = host.max_xml_size ? host.max_xml_size : EnvironmentMaxXmlSize();
  settings.max_xml_size = std::min(bound.value_or(kMaxXmlSize), host.most_xml);
}

struct Outcome {
  bool ok = false;
  std::shared_ptr<const ConvertedDocument> output;
  std::string failure_class, failure_message;  // when not ok
};

// One conversion; the input is freed once it is loaded.
Outcome ConvertOutsideLock(ByteBlock input, ConversionSettings settings, const HostSettings& host) {
  Outcome outcome;
  outcome.ok = Caught(outcome.failure_class, outcome.failure_message, [&] {
    CompleteSettings(settings, host);
    outcome.output = std::make_shared<const ConvertedDocument>(std::move(input), settings);
  });
  return outcome;
}

// After a conversion the heap keeps what the model freed beyond the XML's
// blocks, for the next conversion. When that, the blocks and the host's copy
// of the XML would come to more than the input and two times the XML (a
// model much larger than its XML, as an estimate of many small rows makes),
// the free pages go back to the system instead; the next conversion faults
// them in again.
void GiveBackSurplus(size_t input_size, const ConvertedDocument& document) {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  const size_t xml = document.Size();
  const size_t free_in_heap = mallinfo2().fordblks;
  if (free_in_heap + document.Capacity() > input_size + xml) malloc_trim(0);
#else
  (void)input_size;
  (void)document;
#endif
}

// Hands each piece of a serialised document to the next place in a buffer
// through the checked copy.
class RangeSink final : public XmlSink {
 public:
  explicit RangeSink(char* to) : to_(to) {}
  void Write(std::string_view bytes) override {
    if (!CopyToRange(to_, bytes.data(), bytes.size())) throw Unwritable{};
    to_ += bytes.size();
  }
  struct Unwritable {};

 private:
  char* to_;
};

// Serialises the document into the buffer, which has room for it; false,
// with a part written, when a byte of it cannot be written.
bool SaveToRange(const ConvertedDocument& document, char* buffer) {
  RangeSink sink(buffer);
  try {
    document.Save(sink);
  } catch (const RangeSink::Unwritable&) {
    return false;
  }
  return true;
}

}  // namespace

void Initialize() { GetState(); }

bool ConvertForTool(ByteBlock input, XmlSink& sink, std::string& failure) {
  ConversionSettings settings;
  {
    auto& s = GetState();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    settings = SettingsOf(s);
  }
  // The tool streams, so its bound may pass what GetDataSize could state.
  HostSettings host;
  host.most_xml = UINT64_MAX;
  std::string failure_class, failure_message;
  const bool ok = Caught(failure_class, failure_message, [&] {
    CompleteSettings(settings, host);
    ConvertInto(std::move(input), settings, sink);
  });
  failure = ok ? std::string() : failure_class + ": " + failure_message;
  return ok;
}

void SetProgramVersion(std::string version) {
  auto& s = GetState();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  s.program_version = std::move(version);
}

}  // namespace kdx::api

using kdx::api::GetState;
using kdx::api::Guarded;
using kdx::api::SetLastErrorCode;

namespace kdx::api {
namespace {

// InitKDX with the settings a host gives.
KDXHandle Init(const void* Data, int32_t Size, const HostSettings& host) {
  auto& s = GetState();
  kdx::ByteBlock input;
  kdx::ConversionSettings settings;
  {
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    kdx::api::BeginCall(s);
    kdx::api::t_failure.converted = true;
    if (!kdx::api::IsReadableRange(Data, Size)) {
      SetLastErrorCode(KDX_ERROR_INVALID_DATA);
      return 0;
    }
    const bool copied = Guarded(s, false, [&] {
      input = kdx::ByteBlock(Data, static_cast<size_t>(Size));
      return true;
    });
    if (!copied) return 0;
    settings = kdx::api::SettingsOf(s);
  }
  // The conversion itself touches no shared state and runs outside the lock.
  const size_t input_size = input.size();
  kdx::api::Outcome outcome =
      kdx::api::ConvertOutsideLock(std::move(input), std::move(settings), host);
  if (outcome.ok) kdx::api::GiveBackSurplus(input_size, *outcome.output);
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  if (!outcome.ok) {
    kdx::api::RecordFailure(s, outcome.failure_class, outcome.failure_message);
    return 0;
  }
  return Guarded(s, KDXHandle{0}, [&] {
    const KDXHandle handle = s.next_handle++;
    s.registry.emplace_back(handle, std::move(outcome.output));
    return handle;
  });
}

#if !defined(_WIN32)
// The settings of InitKDXWithSettings; false when one of them is out of its range.
bool ReadHostSettings(const KDXSettings* given, HostSettings& host) {
  if (!given) return true;
  KDXSettings settings{};
  if (!IsReadableRange(given, sizeof given->StructSize)) return false;
  const size_t size = std::min<size_t>(given->StructSize, sizeof settings);
  if (size < sizeof settings.StructSize || !IsReadableRange(given, static_cast<int64_t>(size)))
    return false;
  std::memcpy(&settings, given, size);
  if (settings.DecimalSeparator > 255) return false;
  if (settings.DecimalSeparator != 0)
    host.decimal_separator = static_cast<char>(settings.DecimalSeparator);
  if (settings.TodayYear != 0 || settings.TodayMonth != 0 || settings.TodayDay != 0) {
    if (!IsCalendarDate(settings.TodayYear, settings.TodayMonth, settings.TodayDay)) return false;
    host.today = DateValueOf(settings.TodayYear, settings.TodayMonth, settings.TodayDay);
  }
  if (settings.MaxXmlSize != 0) host.max_xml_size = settings.MaxXmlSize;
  return true;
}
#endif

}  // namespace
}  // namespace kdx::api

extern "C" {

KDX_API KDXHandle KDX_CALL InitKDX(const void* Data, int32_t Size) {
  return kdx::api::Init(Data, Size, {});
}

#if !defined(_WIN32)
KDX_API KDXHandle KDX_CALL InitKDXWithSettings(const void* Data, int32_t Size,
                                               const KDXSettings* Settings) {
  kdx::api::HostSettings host;
  if (!kdx::api::ReadHostSettings(Settings, host)) {
    {
      auto& s = GetState();
      std::lock_guard<std::recursive_mutex> guard(s.lock);
      kdx::api::BeginCall(s);
      kdx::api::t_failure.converted = true;
    }
    SetLastErrorCode(KDX_ERROR_INVALID_PARAMETER);
    return 0;
  }
  return kdx::api::Init(Data, Size, host);
}
#endif

KDX_API int32_t KDX_CALL GetDataSize(KDXHandle Handle) {
  kdx::api::RegistryCall call;
  auto it = kdx::api::FindRegistered(call.s, Handle);
  if (it == call.s.registry.end()) return 0;
  // The bound of every conversion through the exports keeps the size within 31 bits.
  return static_cast<int32_t>(it->second->Size());
}

KDX_API uint32_t KDX_CALL GetData(KDXHandle Handle, void* Buffer, uint32_t BufferSize) {
  std::shared_ptr<const kdx::ConvertedDocument> document;
  {
    kdx::api::RegistryCall call;
    auto it = kdx::api::FindRegistered(call.s, Handle);
    if (it == call.s.registry.end()) return 0;
    document = it->second;
  }
  // Serialised outside the lock, like the conversion; the document stays
  // alive while it is written, even when its handle is released meanwhile.
  const size_t size = document->Size();
  // The whole buffer must be writable, then large enough. The part beyond the
  // XML is checked before the copy and the rest by the copy itself, so a page
  // that cannot be written is never touched.
  auto* buffer = static_cast<char*>(Buffer);
  uint32_t error = 0;
  if (BufferSize != 0 && !buffer) {
    error = KDX_ERROR_INVALID_DATA;
  } else if (BufferSize < size) {
    error = kdx::api::IsWritableRange(buffer, BufferSize) ? KDX_ERROR_INSUFFICIENT_BUFFER
                                                          : KDX_ERROR_INVALID_DATA;
  } else if (BufferSize != 0 && !kdx::api::IsWritableRange(buffer + size, BufferSize - size)) {
    error = KDX_ERROR_INVALID_DATA;
  } else if (BufferSize != 0) {
    // A failure while writing (no memory for the writer) is told like one of
    // a conversion.
    kdx::api::AdviseHugePages(buffer, size);
    bool written = false;
    std::string failure_class, failure_message;
    if (!kdx::api::Caught(failure_class, failure_message,
                          [&] { written = kdx::api::SaveToRange(*document, buffer); })) {
      std::lock_guard<std::recursive_mutex> guard(GetState().lock);
      kdx::api::RecordFailure(GetState(), failure_class, failure_message);
      return 0;
    }
    if (!written) error = KDX_ERROR_INVALID_DATA;
  }
  if (error != 0) {
    SetLastErrorCode(error);
    return 0;
  }
  return static_cast<uint32_t>(size);
}

KDX_API int32_t KDX_CALL ReleaseKDXHandle(KDXHandle Handle) {
  kdx::api::RegistryCall call;
  auto it = kdx::api::FindRegistered(call.s, Handle);
  if (it == call.s.registry.end()) return 0;
  call.s.registry.erase(it);
  return -1;
}

KDX_API const kdx_char16* KDX_CALL GetLastExceptionText(void) {
#if defined(_WIN32)
  // A host reads the last-error code when the text is null, possibly after
  // this call; the lock and the thread-local storage may go through system
  // calls that overwrite it (TlsGetValue clears it), so it is kept.
  struct KeepLastError {
    uint32_t code = kdx::api::LastErrorCode();
    ~KeepLastError() { SetLastErrorCode(code); }
  } keep_last_error;
#endif
  auto& t = kdx::api::t_failure;
  if (t.converted) return t.text.empty() ? nullptr : t.text.c_str();
  auto& s = GetState();
  {
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    t.copy = s.last_failure;
  }
  return t.copy.empty() ? nullptr : t.copy.c_str();
}

#if !defined(_WIN32)
KDX_API uint32_t KDX_CALL KDXGetLastError(void) { return kdx::api::LastErrorCode(); }
#endif

}  // extern "C"

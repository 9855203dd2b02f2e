// The exports, driven through the shared library itself as a host would load it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "api/convert.h"
#include "filer/codepage.h"
#include "kdx2xml/kdx2xml.h"
#include "samples/samples.h"
#include "support/builder.h"
#include "support/cennik_builder.h"

namespace kdx::test {
namespace {

struct Library {
  void* handle = nullptr;
  decltype(&::InitKDX) Init = nullptr;
  decltype(&::GetDataSize) Size = nullptr;
  decltype(&::GetData) Data = nullptr;
  decltype(&::ReleaseKDXHandle) Release = nullptr;
  decltype(&::GetLastExceptionText) Text = nullptr;
  decltype(&::KDXGetLastError) LastError = nullptr;
  decltype(&::InitKDXWithSettings) InitWith = nullptr;

  Library() {
    // Read by the library when it is loaded.
    setenv("KDX2XML_DECIMAL_SEPARATOR", ",", 1);
    handle = dlopen(KDX2XML_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    Init = reinterpret_cast<decltype(Init)>(dlsym(handle, "InitKDX"));
    Size = reinterpret_cast<decltype(Size)>(dlsym(handle, "GetDataSize"));
    Data = reinterpret_cast<decltype(Data)>(dlsym(handle, "GetData"));
    Release = reinterpret_cast<decltype(Release)>(dlsym(handle, "ReleaseKDXHandle"));
    Text = reinterpret_cast<decltype(Text)>(dlsym(handle, "GetLastExceptionText"));
    LastError = reinterpret_cast<decltype(LastError)>(dlsym(handle, "KDXGetLastError"));
    InitWith = reinterpret_cast<decltype(InitWith)>(dlsym(handle, "InitKDXWithSettings"));
  }
  std::string FailureText() const {
    const kdx_char16* t = Text();
    return t ? Utf16ToUtf8(t) : std::string();
  }
};

Library& Lib() {
  static Library lib;
  return lib;
}

// A small valid price list, and one whose body is cut short.
std::string PriceList(std::string_view resource_name = "Цемент") {
  cennik::PriceList list{.comment = "Комментарий",
                         .curr_date = DateValue(2023, 3, 1),
                         .units = {"т"},
                         .signatures = {.caption = "Подписи"}};
  list.groups[cennik::kMaterials] = cennik::Group({cennik::ResourceItem(
      list.version,
      {.name = std::string(resource_name), .code = "01-001", .units = 0, .price = {"12.5"}})});
  return list.Packed();
}

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Lib().handle, nullptr) << dlerror();
    ASSERT_TRUE(Lib().Init && Lib().Size && Lib().Data && Lib().Release && Lib().Text &&
                Lib().LastError && Lib().InitWith);
  }
  const Library& lib = Lib();
};

TEST_F(ApiTest, ExportsExactlyTheEntryPoints) {
  const std::string cmd = std::string("nm -D --defined-only ") + KDX2XML_SHARED_LIBRARY;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> names;
  char line[512];
  while (fgets(line, sizeof line, p)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    const size_t sp = s.rfind(' ');
    const char type = sp >= 2 ? s[sp - 1] : '?';
    // Only functions and data count; the linker's own markers do not.
    if (type == 'T' || type == 'D' || type == 'B' || type == 'W' || type == 'R') {
      names.insert(s.substr(sp + 1));
    }
  }
  ASSERT_EQ(pclose(p), 0);
  EXPECT_EQ(names, (std::set<std::string>{"InitKDX", "GetDataSize", "GetData", "ReleaseKDXHandle",
                                          "GetLastExceptionText", "KDXGetLastError",
                                          "InitKDXWithSettings"}));
}

TEST_F(ApiTest, ConvertsCopiesAndReleases) {
  const std::string doc = PriceList();
  const KDXHandle h = lib.Init(doc.data(), static_cast<int32_t>(doc.size()));
  ASSERT_NE(h, 0u) << lib.FailureText();
  EXPECT_EQ(lib.Text(), nullptr);
  const int32_t size = lib.Size(h);
  ASSERT_GT(size, 0);

  std::string first(static_cast<size_t>(size), '\0'), second(first);
  EXPECT_EQ(lib.Data(h, first.data(), static_cast<uint32_t>(size)), static_cast<uint32_t>(size));
  EXPECT_EQ(lib.Data(h, second.data(), static_cast<uint32_t>(size) + 10),
            static_cast<uint32_t>(size));
  EXPECT_EQ(first, second);
  EXPECT_EQ(first.rfind("<?xml version=\"1.0\" encoding=\"windows-1251\"?>", 0), 0u);
  EXPECT_NE(first.find("<Document ProgramVersion=\""), std::string::npos);
  EXPECT_NE(Cp1251ToUtf8(first).find("PriceCE=\"12,5\""), std::string::npos);

  EXPECT_EQ(lib.Data(h, first.data(), static_cast<uint32_t>(size - 1)), 0u);
  EXPECT_EQ(lib.LastError(), KDX_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(lib.Data(h, nullptr, static_cast<uint32_t>(size)), 0u);
  EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_DATA);
  EXPECT_EQ(lib.Text(), nullptr);

  EXPECT_EQ(lib.Release(h), -1);
  EXPECT_EQ(lib.Release(h), 0);
  EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_HANDLE);
  EXPECT_EQ(lib.Size(h), 0);
  EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_HANDLE);
  char byte;
  EXPECT_EQ(lib.Data(h, &byte, 1), 0u);
  EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_HANDLE);
}

// The XML of a handle, or the failure text when the conversion failed.
std::string XmlOrFailure(const Library& lib, KDXHandle h) {
  if (!h) return lib.FailureText();
  std::string xml(static_cast<size_t>(lib.Size(h)), '\0');
  EXPECT_EQ(lib.Data(h, xml.data(), static_cast<uint32_t>(xml.size())), xml.size());
  lib.Release(h);
  return xml;
}

// Sets an environment variable for the life of the object.
struct ScopedEnv {
  const char* name;
  ScopedEnv(const char* n, const char* value) : name(n) { setenv(n, value, 1); }
  ~ScopedEnv() { unsetenv(name); }
};

TEST_F(ApiTest, XmlBoundIsExactAndReadAtEveryConversion) {
  const std::string doc = PriceList();
  const auto convert = [&] { return lib.Init(doc.data(), static_cast<int32_t>(doc.size())); };
  const size_t size = XmlOrFailure(lib, convert()).size();
  const struct {
    size_t bound;
    bool converts;
  } cases[] = {{size, true}, {size - 1, false}, {1, false}, {size_t{1} << 40, true}};
  for (const auto& c : cases) {
    const std::string bound = std::to_string(c.bound);
    ScopedEnv env("KDX2XML_MAX_XML_SIZE", bound.c_str());
    const std::string result = XmlOrFailure(lib, convert());
    EXPECT_EQ(result.size() == size, c.converts) << c.bound;
    if (!c.converts) {
      EXPECT_EQ(result,
                "EOutOfMemory: Out of memory: the XML would be larger than " + bound + " bytes");
    }
  }
  for (const char* wrong : {"", "12k", "-5", "0", "99999999999999999999999"}) {
    ScopedEnv env("KDX2XML_MAX_XML_SIZE", wrong);
    EXPECT_EQ(convert(), 0u) << wrong;
    EXPECT_EQ(
        lib.FailureText(),
        std::string("EConvertException: KDX2XML_MAX_XML_SIZE is not a number of bytes: ") + wrong);
  }
}

TEST_F(ApiTest, SettingsOfOneConversion) {
  const std::string doc = PriceList();
  const auto convert = [&](const KDXSettings* settings) {
    return XmlOrFailure(lib, lib.InitWith(doc.data(), static_cast<int32_t>(doc.size()), settings));
  };
  const std::string plain = convert(nullptr);
  EXPECT_NE(Cp1251ToUtf8(plain).find("PriceCE=\"12,5\""), std::string::npos);
  KDXSettings s{};
  s.StructSize = sizeof s;
  s.DecimalSeparator = '.';
  EXPECT_NE(Cp1251ToUtf8(convert(&s)).find("PriceCE=\"12.5\""), std::string::npos);
  // A host built against a header without the bound: the fields past its size are not read.
  s.MaxXmlSize = 10;
  s.StructSize = offsetof(KDXSettings, MaxXmlSize);
  EXPECT_NE(Cp1251ToUtf8(convert(&s)).find("PriceCE=\"12.5\""), std::string::npos);
  s.StructSize = sizeof s;
  EXPECT_EQ(convert(&s), "EOutOfMemory: Out of memory: the XML would be larger than 10 bytes");
  // Through the exports no bound exceeds what GetDataSize can state.
  s.MaxXmlSize = UINT64_MAX;
  EXPECT_EQ(convert(&s).size(), plain.size());

  const struct {
    uint32_t struct_size, separator;
    int32_t year, month, day;
  } wrong[] = {
      {0, 0, 0, 0, 0},
      {2, 0, 0, 0, 0},
      {sizeof s, 256, 0, 0, 0},
      {sizeof s, 0, 2023, 2, 29},
      {sizeof s, 0, 2024, 13, 1},
      {sizeof s, 0, 0, 1, 1},
      {sizeof s, 0, 10000, 1, 1},
  };
  for (const auto& w : wrong) {
    KDXSettings bad{};
    bad.StructSize = w.struct_size;
    bad.DecimalSeparator = w.separator;
    bad.TodayYear = w.year;
    bad.TodayMonth = w.month;
    bad.TodayDay = w.day;
    EXPECT_EQ(lib.InitWith(doc.data(), static_cast<int32_t>(doc.size()), &bad), 0u);
    EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(lib.Text(), nullptr);
  }
}

TEST_F(ApiTest, RejectsUnknownHandlesAndUnreadableInput) {
  for (KDXHandle bogus : {KDXHandle{0}, KDXHandle{1}, ~KDXHandle{0}}) {
    EXPECT_EQ(lib.Size(bogus), 0);
    EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(lib.Release(bogus), 0);
    EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_HANDLE);
  }
  const std::string doc = PriceList();
  EXPECT_EQ(lib.Init(nullptr, 10), 0u);
  EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_DATA);
  EXPECT_EQ(errno, static_cast<int>(KDX_ERROR_INVALID_DATA));
  EXPECT_EQ(lib.Text(), nullptr);
  EXPECT_EQ(lib.Init(doc.data(), -1), 0u);
  EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_DATA);
}

TEST_F(ApiTest, FailedConversionLeavesItsTextUntilTheNextCall) {
  const struct {
    std::string data;
    const char* text;
  } cases[] = {
      {"", "EConvertException: Неверная сигнатура заголовка данных: 00000000"},
      {"1234", "EConvertException: Неверная сигнатура заголовка данных: 34333231"},
      {"KR00", "EKDInvalidDoc: Файл (блок данных) не является документом программы Орвакплан"},
      {std::string("KR00\x09", 5), "EKDInvalidDoc: Несоответствие данных типу документа"},
      {std::string("KR00\x05", 5), "EConvertException: Неподдерживаемый тип документа: 5"},
      {PriceList().substr(0, 30), "EReadError: Stream read error"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lib.Init(c.data.data(), static_cast<int32_t>(c.data.size())), 0u);
    EXPECT_EQ(lib.FailureText(), c.text);
  }
  // Any other call empties the text.
  lib.Size(0);
  EXPECT_EQ(lib.Text(), nullptr);
}

TEST_F(ApiTest, HandlesAreNeverReused) {
  const std::string doc = PriceList();
  std::set<KDXHandle> seen;
  for (int i = 0; i < 50; ++i) {
    const KDXHandle h = lib.Init(doc.data(), static_cast<int32_t>(doc.size()));
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(seen.insert(h).second) << "handle issued twice";
    ASSERT_EQ(lib.Release(h), -1);
  }
}

// Eight threads convert, query, copy and release at once, and fail each with
// a damaged document of its own; every result and every failure text is checked.
TEST_F(ApiTest, ConcurrentHostsGetTheirOwnResultsAndFailureTexts) {
  constexpr int kThreads = 8, kRounds = 125;
  std::vector<std::string> docs, expected, damaged, texts;
  for (int t = 0; t < kThreads; ++t) {
    docs.push_back(PriceList("Ресурс " + std::to_string(t)));
    const KDXHandle h = lib.Init(docs.back().data(), static_cast<int32_t>(docs.back().size()));
    ASSERT_NE(h, 0u);
    std::string xml(static_cast<size_t>(lib.Size(h)), '\0');
    lib.Data(h, xml.data(), static_cast<uint32_t>(xml.size()));
    lib.Release(h);
    expected.push_back(xml);
    // A cut document, a wrong magic and an unsupported kind, by turns.
    if (t % 3 == 0) {
      damaged.push_back(docs.back().substr(0, 30));
    } else if (t % 3 == 1) {
      damaged.push_back(std::string("KR0") + static_cast<char>('0' + t));
    } else {
      damaged.push_back(std::string("KR00") + static_cast<char>(t < 4 ? 5 : 7));
    }
    ASSERT_EQ(lib.Init(damaged.back().data(), static_cast<int32_t>(damaged.back().size())), 0u);
    texts.push_back(lib.FailureText());
  }
  ASSERT_EQ(texts[0], "EReadError: Stream read error");
  ASSERT_EQ(texts[1], "EConvertException: Неверная сигнатура заголовка данных: 3130524B");

  std::atomic<int> wrong_results{0}, wrong_texts{0}, waiting{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // All start together, so that their calls interleave.
      --waiting;
      while (waiting.load() > 0) std::this_thread::yield();
      const std::string& doc = docs[static_cast<size_t>(t)];
      const std::string& bad = damaged[static_cast<size_t>(t)];
      for (int r = 0; r < kRounds; ++r) {
        const KDXHandle h = lib.Init(doc.data(), static_cast<int32_t>(doc.size()));
        if (lib.Text() != nullptr) ++wrong_texts;
        const int32_t size = lib.Size(h);
        std::string xml(static_cast<size_t>(size > 0 ? size : 0), '\0');
        if (h == 0 || lib.Data(h, xml.data(), static_cast<uint32_t>(xml.size())) != xml.size() ||
            xml != expected[static_cast<size_t>(t)] || lib.Release(h) != -1) {
          ++wrong_results;
        }
        if (lib.Init(bad.data(), static_cast<int32_t>(bad.size())) != 0) ++wrong_results;
        // The host does something else before it asks; other threads' calls come in between.
        std::this_thread::yield();
        if (lib.FailureText() != texts[static_cast<size_t>(t)]) ++wrong_texts;
        // The thread's next call empties its text, whatever the others do.
        lib.Size(0);
        if (lib.Text() != nullptr) ++wrong_texts;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong_results.load(), 0);
  EXPECT_EQ(wrong_texts.load(), 0);
}

// A thread that never converted (a host's interface thread) reads the text the
// last failing call of any thread left.
TEST_F(ApiTest, ThreadThatNeverConvertedReadsTheProcessWideText) {
  std::thread([&] { EXPECT_EQ(lib.Init("KR00", 4), 0u); }).join();
  std::string seen = "(not read)";
  std::thread([&] { seen = lib.FailureText(); }).join();
  EXPECT_EQ(seen, "EKDInvalidDoc: Файл (блок данных) не является документом программы Орвакплан");
  // A thread that did convert reads its own text: here, none.
  ASSERT_NE(lib.Init(PriceList().data(), static_cast<int32_t>(PriceList().size())), 0u);
  std::thread([&] { EXPECT_EQ(lib.Init("KR00", 4), 0u); }).join();
  EXPECT_EQ(lib.Text(), nullptr);
}

// Whether the system copies between ranges of the own process here (a sandbox
// or an emulator may refuse it; the library then checks only null and size).
bool SystemChecksRanges() {
  char byte = 1, copy = 0;
  const iovec local{&copy, 1}, remote{&byte, 1};
  return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == 1;
}

// Ranges that run into memory without access are refused with last error 13,
// as on Windows, instead of ending the process; nothing is written to a buffer
// that is refused before the copy.
TEST_F(ApiTest, RangesBeyondAccessibleMemoryAreRefused) {
  if (!SystemChecksRanges()) GTEST_SKIP() << "process_vm_readv is refused here";
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  constexpr size_t kClaimed = size_t{16} << 20;
  // One page that can be read and written, one read-only, then no access.
  auto* region =
      static_cast<char*>(mmap(nullptr, kClaimed, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(region, MAP_FAILED);
  ASSERT_EQ(mprotect(region, 2 * page, PROT_READ | PROT_WRITE), 0);
  const std::string doc = PriceList();
  std::memcpy(region, doc.data(), doc.size());
  std::memcpy(region + page, doc.data(), doc.size());
  ASSERT_EQ(mprotect(region + page, page, PROT_READ), 0);

  for (const auto& [data, size] : {std::pair{region, kClaimed}, std::pair{region + page, kClaimed},
                                   std::pair{region + 2 * page, size_t{1}}}) {
    EXPECT_EQ(lib.Init(data, static_cast<int32_t>(size)), 0u);
    EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_DATA);
    EXPECT_EQ(lib.Text(), nullptr);
  }
  const KDXHandle h = lib.Init(region + page, static_cast<int32_t>(doc.size()));
  ASSERT_NE(h, 0u) << lib.FailureText();
  const auto xml_size = static_cast<uint32_t>(lib.Size(h));
  ASSERT_LT(xml_size, page);
  const struct {
    const char* what;
    char* buffer;
    size_t size;
    uint32_t error;
  } refused[] = {
      {"room beyond the XML without access", region, kClaimed, KDX_ERROR_INVALID_DATA},
      {"XML across the end of the page", region + page - xml_size / 2, xml_size,
       KDX_ERROR_INVALID_DATA},
      {"read-only page", region + page, xml_size, KDX_ERROR_INVALID_DATA},
      {"too small and without access", region + 2 * page, xml_size - 1, KDX_ERROR_INVALID_DATA},
      {"too small", region, xml_size - 1, KDX_ERROR_INSUFFICIENT_BUFFER},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(lib.Data(h, c.buffer, static_cast<uint32_t>(c.size)), 0u) << c.what;
    EXPECT_EQ(lib.LastError(), c.error) << c.what;
  }
  EXPECT_EQ(std::string(region, doc.size()), doc) << "a refused buffer was written";
  ASSERT_EQ(lib.Data(h, region + page - xml_size, xml_size), xml_size);
  std::string xml(static_cast<size_t>(xml_size), '\0');
  lib.Data(h, xml.data(), xml_size);
  EXPECT_EQ(std::string(region + page - xml_size, xml_size), xml);
  EXPECT_EQ(lib.Release(h), -1);
  munmap(region, kClaimed);
}

// The XML of a large document reaches the host's buffer in several pieces;
// each lands at its place, and a piece that meets a page without write access
// stops the copy with last error 13.
TEST_F(ApiTest, LargeXmlIsCopiedPieceByPiece) {
  const std::string doc = samples::SmetaOfSize(2000);
  const KDXHandle h = lib.Init(doc.data(), static_cast<int32_t>(doc.size()));
  ASSERT_NE(h, 0u) << lib.FailureText();
  const auto size = static_cast<uint32_t>(lib.Size(h));
  std::string xml(size, '\0');
  ASSERT_EQ(lib.Data(h, xml.data(), size), size);
  // The same conversion in one block, with the settings the library has.
  ConversionSettings settings;
  settings.today = EnvironmentToday();
  const size_t version = xml.find("ProgramVersion=\"") + 16;
  settings.program_version = xml.substr(version, xml.find('"', version) - version);
  const std::string expected =
      ConvertDocument(reinterpret_cast<const uint8_t*>(doc.data()), doc.size(), settings);
  ASSERT_GT(expected.size(), size_t{3} << 20) << "must span several pieces";
  EXPECT_TRUE(xml == expected);

  if (SystemChecksRanges()) {
    // Writable for the first piece and a half, read-only from there on.
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t mapped = (size + page - 1) / page * page,
                 writable = (size_t{3} << 19) / page * page;
    auto* region = static_cast<char*>(
        mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(region, MAP_FAILED);
    ASSERT_EQ(mprotect(region + writable, mapped - writable, PROT_READ), 0);
    EXPECT_EQ(lib.Data(h, region, size), 0u);
    EXPECT_EQ(lib.LastError(), KDX_ERROR_INVALID_DATA);
    EXPECT_EQ(lib.Text(), nullptr);
    EXPECT_EQ(std::string_view(region, size_t{1} << 20),
              std::string_view(expected).substr(0, size_t{1} << 20))
        << "the first piece lands at the start";
    munmap(region, mapped);
  }
  EXPECT_EQ(lib.Release(h), -1);
}

// GetData writes outside the lock: a handle released by another thread while
// its XML is being written keeps its tree until the writing ends, and later
// calls see the handle gone.
TEST_F(ApiTest, HandleReleasedDuringGetDataStaysWhole) {
  const std::string doc = samples::SmetaOfSize(1000);
  const KDXHandle first = lib.Init(doc.data(), static_cast<int32_t>(doc.size()));
  ASSERT_NE(first, 0u) << lib.FailureText();
  std::string expected(static_cast<size_t>(lib.Size(first)), '\0');
  ASSERT_EQ(lib.Data(first, expected.data(), static_cast<uint32_t>(expected.size())),
            expected.size());
  ASSERT_EQ(lib.Release(first), -1);
  int complete = 0, refused = 0, wrong = 0;
  for (int round = 0; round < 20; ++round) {
    const KDXHandle h = lib.Init(doc.data(), static_cast<int32_t>(doc.size()));
    ASSERT_NE(h, 0u);
    std::string xml(expected.size(), '\0');
    std::atomic<bool> started{false};
    std::thread writer([&] {
      started = true;
      const uint32_t n = lib.Data(h, xml.data(), static_cast<uint32_t>(xml.size()));
      if (n == xml.size() && xml == expected) {
        ++complete;
      } else if (n == 0 && lib.LastError() == KDX_ERROR_INVALID_HANDLE) {
        ++refused;
      } else {
        ++wrong;
      }
    });
    while (!started) std::this_thread::yield();
    EXPECT_EQ(lib.Release(h), -1);
    writer.join();
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(complete + refused, 20);
}

int RunCli(const std::string& args, std::string* out) {
  const std::string cmd = std::string(KDX2XML_CLI) + " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  out->clear();
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliTest, ConvertsReportsAndExplains) {
  const std::string dir = ::testing::TempDir();
  const std::string good = dir + "/cli_good.kdx", bad = dir + "/cli_bad.kdx",
                    xml = dir + "/cli.xml";
  const std::string doc = PriceList();
  FILE* f = fopen(good.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(doc.data(), 1, doc.size(), f);
  fclose(f);
  f = fopen(bad.c_str(), "wb");
  fwrite(doc.data(), 1, 20, f);
  fclose(f);

  std::string out;
  EXPECT_EQ(RunCli(good + " -o " + xml + " --decimal-separator .", &out), 0) << out;
  f = fopen(xml.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string written(4096, '\0');
  written.resize(fread(written.data(), 1, written.size(), f));
  fclose(f);
  EXPECT_NE(written.find("PriceCE=\"12.5\""), std::string::npos);

  EXPECT_EQ(RunCli(bad, &out), 1);
  EXPECT_NE(out.find("EReadError: Stream read error"), std::string::npos) << out;
  EXPECT_EQ(RunCli("--help", &out), 0);
  EXPECT_NE(out.find("Exit codes"), std::string::npos);
  EXPECT_EQ(RunCli("", &out), 2);
  EXPECT_EQ(RunCli(dir + "/missing.kdx", &out), 3);
}

}  // namespace
}  // namespace kdx::test

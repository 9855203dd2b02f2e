// The exports, driven through the shared library itself as a host would load it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "filer/codepage.h"
#include "kdx2xml/kdx2xml.h"
#include "support/builder.h"

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
  DocBuilder body;
  body.Str("Комментарий").Date(2000, 1, 1).Str("").Date(2023, 3, 1).Str("");
  body.Byte(15).ListHead(0, 1).Head("т");
  body.Byte(0b0100).I32(1).Byte(0).Head(resource_name).Str("01-001").I16(0).I16(0x0001).Cur("12.5");
  body.Head("Подписи").I16(0).I16(0);
  return PackDocument(3, "KD_Cennk", 0x00010005, body.Bytes());
}

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Lib().handle, nullptr) << dlerror();
    ASSERT_TRUE(Lib().Init && Lib().Size && Lib().Data && Lib().Release && Lib().Text &&
                Lib().LastError);
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
                                          "GetLastExceptionText", "KDXGetLastError"}));
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

// Eight threads convert, query, copy and release at once; every result is checked.
TEST_F(ApiTest, ConcurrentHostsGetTheirOwnResults) {
  constexpr int kThreads = 8, kRounds = 40;
  std::vector<std::string> docs, expected;
  for (int t = 0; t < kThreads; ++t) {
    docs.push_back(PriceList("Ресурс " + std::to_string(t)));
    const KDXHandle h = lib.Init(docs.back().data(), static_cast<int32_t>(docs.back().size()));
    ASSERT_NE(h, 0u);
    std::string xml(static_cast<size_t>(lib.Size(h)), '\0');
    lib.Data(h, xml.data(), static_cast<uint32_t>(xml.size()));
    lib.Release(h);
    expected.push_back(xml);
  }
  const std::string bad = "KR00";
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        const std::string& doc = docs[static_cast<size_t>(t)];
        const KDXHandle h = lib.Init(doc.data(), static_cast<int32_t>(doc.size()));
        if (h == 0) {
          ++failures;
          continue;
        }
        const int32_t size = lib.Size(h);
        std::string xml(static_cast<size_t>(size > 0 ? size : 0), '\0');
        if (lib.Data(h, xml.data(), static_cast<uint32_t>(xml.size())) != xml.size() ||
            xml != expected[static_cast<size_t>(t)]) {
          ++failures;
        }
        if (lib.Release(h) != -1) ++failures;
        if (lib.Init(bad.data(), 4) != 0) ++failures;
        // The text is the calling thread's private copy; another thread's
        // later call may have emptied the shared text, never corrupted it.
        const kdx_char16* text = lib.Text();
        if (text && Utf16ToUtf8(text).rfind("EKDInvalidDoc: ", 0) != 0) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
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

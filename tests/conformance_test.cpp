// Runs every document of the conformance corpus through the C API and checks the outcome.
//
// The corpus directory (KDX_CONFORMANCE_DIR) and its subfolders hold, per document kK_NNNNN
// (optionally with a _cut or _byte suffix for a damaged copy), the packed bytes kK_NNNNN.kdx and
// exactly one of:
//   .xml     the XML the conversion must give (compared with CompareXml);
//   .err     the text GetLastExceptionText must give after the conversion fails (UTF-8);
//   .anyerr  the conversion must fail, with any exception text.
// The corpus was made with the decimal separator "," and the current date 15.03.2023; main()
// sets the library's environment to match before any conversion.
//
// KDX_CONFORMANCE_KINDS (e.g. "3,6") limits the run to the documents of those kinds. At the end
// the test prints how many documents passed, failed and were skipped per folder and kind.
#include <gtest/gtest.h>
#include <kdx2xml/kdx2xml.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "filer/codepage.h"
#include "support/xml_compare.h"

#ifndef KDX_CONFORMANCE_DIR
#error "KDX_CONFORMANCE_DIR must be defined as the corpus directory (a string literal)"
#endif

namespace {

namespace fs = std::filesystem;

struct KnownDisagreement {
  std::string_view stem;    // e.g. "k3_00012_byte" or "estimates/k0_00012"
  std::string_view reason;  // why the corpus expectation is wrong
};

// Corpus cases whose expectation is known to be wrong. Each is skipped with its reason; keep
// every entry backed by a note on the fault in the corpus.
const std::vector<KnownDisagreement> kKnownDisagreements = {};

const fs::path& CorpusDir() {
  static const fs::path dir(KDX_CONFORMANCE_DIR);
  return dir;
}

// Files of the corpus that are neither documents nor expectations.
bool IsCorpusNote(const std::string& name) {
  return name == "README.md" || name == "settings.json" || name == "versions.txt";
}

// The folder of a document relative to the corpus ("" for the top) and its file stem.
std::string FolderOf(std::string_view stem) {
  const std::size_t slash = stem.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(stem.substr(0, slash));
}
std::string_view FileStem(std::string_view stem) {
  const std::size_t slash = stem.rfind('/');
  return slash == std::string_view::npos ? stem : stem.substr(slash + 1);
}

// Splits a stem "[folder/]k<kind>_<5 digits>[_cut|_byte]" and returns its kind, or nullopt for
// any other name.
std::optional<int> KindOfStem(std::string_view stem) {
  stem = FileStem(stem);
  const auto digits = [](std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (stem.ends_with("_cut")) {
    stem.remove_suffix(4);
  } else if (stem.ends_with("_byte")) {
    stem.remove_suffix(5);
  }
  if (stem.size() < 3 || stem[0] != 'k') return std::nullopt;
  const std::size_t underscore = stem.find('_');
  if (underscore == std::string_view::npos) return std::nullopt;
  const std::string_view kind = stem.substr(1, underscore - 1);
  const std::string_view number = stem.substr(underscore + 1);
  if (!digits(kind) || kind.size() > 4 || number.size() != 5 || !digits(number)) {
    return std::nullopt;
  }
  return std::stoi(std::string(kind));
}

struct KindFilter {
  bool all = true;
  std::set<int> kinds;
  std::string error;  // describes a malformed KDX_CONFORMANCE_KINDS value
};

// Reads KDX_CONFORMANCE_KINDS: a comma-separated list of kinds; unset or blank means all.
KindFilter ReadKindFilter() {
  KindFilter filter;
  const char* value = std::getenv("KDX_CONFORMANCE_KINDS");
  if (value == nullptr) return filter;
  const std::string_view text(value);
  if (text.find_first_not_of(" \t") == std::string_view::npos) return filter;
  filter.all = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view token = text.substr(start, end - start);
    while (!token.empty() && (token.front() == ' ' || token.front() == '\t'))
      token.remove_prefix(1);
    while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) token.remove_suffix(1);
    const bool digits =
        !token.empty() && token.size() <= 4 &&
        std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) {
      filter.kinds.insert(std::stoi(std::string(token)));
    } else {
      filter.error += (filter.error.empty() ? "" : ", ") + ("\"" + std::string(token) + "\"");
    }
    start = end + 1;
  }
  return filter;
}

bool Selected(const KindFilter& filter, int kind) { return filter.all || filter.kinds.count(kind); }

// Stems (relative to the corpus, with their folder) of the .kdx files of the selected kinds,
// sorted; empty when the directory is missing (the CorpusLayout tests report that).
std::vector<std::string> SelectedStems() {
  std::vector<std::string> stems;
  std::error_code error;
  if (!fs::is_directory(CorpusDir(), error)) return stems;
  const KindFilter filter = ReadKindFilter();
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(CorpusDir(), error)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".kdx") continue;
    fs::path relative = entry.path().lexically_relative(CorpusDir());
    relative.replace_extension();
    const std::string stem = relative.generic_string();
    const std::optional<int> kind = KindOfStem(stem);
    if (kind && Selected(filter, *kind)) stems.push_back(stem);
  }
  std::sort(stems.begin(), stems.end());
  return stems;
}

bool ReadFile(const fs::path& path, std::string* contents) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  contents->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

// Converts NUL-terminated UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, so it can
// never match the expected text.
std::string Utf16ToUtf8(const char16_t* text) {
  std::u16string units(text);
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      ++i;  // a pair: one character
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      units[i] = 0xFFFD;
    }
  }
  return kdx::Utf16ToUtf8(units);
}

// Releases a handle when the test ends, however it ends.
class HandleGuard {
 public:
  explicit HandleGuard(KDXHandle handle) : handle_(handle) {}
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
  ~HandleGuard() {
    if (handle_ != 0) {
      EXPECT_EQ(ReleaseKDXHandle(handle_), -1) << "ReleaseKDXHandle failed";
    }
  }

 private:
  KDXHandle handle_;
};

// Outcomes per folder and kind, printed when the program ends.
struct Tally {
  int passed = 0;
  int failed = 0;
  int skipped = 0;
};
std::map<std::pair<std::string, int>, Tally>& Tallies() {
  static std::map<std::pair<std::string, int>, Tally> tallies;
  return tallies;
}

class TallyPrinter : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo& info) override {
    if (info.value_param() == nullptr) return;
    const std::string stem = info.value_param();
    // value_param() is the printed parameter: the stem in quotes.
    const std::string unquoted =
        stem.size() >= 2 && stem.front() == '"' ? stem.substr(1, stem.size() - 2) : stem;
    Tally& tally = Tallies()[{FolderOf(unquoted), KindOfStem(unquoted).value_or(-1)}];
    const testing::TestResult& result = *info.result();
    if (result.Skipped()) {
      ++tally.skipped;
    } else if (result.Passed()) {
      ++tally.passed;
    } else {
      ++tally.failed;
    }
  }
  void OnTestProgramEnd(const testing::UnitTest& /*unit_test*/) override {
    std::printf("Conformance by folder and kind (passed / failed / skipped):\n");
    for (const auto& [key, tally] : Tallies()) {
      std::printf("  %-20s k%d  %5d / %d / %d\n", key.first.empty() ? "." : key.first.c_str(),
                  key.second, tally.passed, tally.failed, tally.skipped);
    }
  }
};

class ConformanceTest : public testing::TestWithParam<std::string> {};

TEST_P(ConformanceTest, Converts) {
  const std::string& stem = GetParam();
  for (const KnownDisagreement& known : kKnownDisagreements) {
    if (known.stem == stem) {
      GTEST_SKIP() << "known corpus disagreement: " << known.reason;
    }
  }

  const fs::path base = CorpusDir() / stem;
  const auto with = [&](const char* extension) {
    fs::path path = base;
    path += extension;
    return path;
  };
  const fs::path xml_path = with(".xml");
  const fs::path err_path = with(".err");
  const fs::path anyerr_path = with(".anyerr");
  std::error_code error;
  const bool has_xml = fs::exists(xml_path, error);
  const bool has_err = fs::exists(err_path, error);
  const bool has_anyerr = fs::exists(anyerr_path, error);
  ASSERT_EQ(int{has_xml} + int{has_err} + int{has_anyerr}, 1)
      << stem << " needs exactly one of .xml, .err and .anyerr";

  std::string input;
  ASSERT_TRUE(ReadFile(with(".kdx"), &input)) << "cannot read " << with(".kdx");
  ASSERT_LE(input.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()));

  const KDXHandle handle = InitKDX(input.data(), static_cast<std::int32_t>(input.size()));
  // The text is only valid until the next call into the library: copy it at once.
  const kdx_char16* raw_exception_text = GetLastExceptionText();
  const std::optional<std::string> exception_text =
      raw_exception_text != nullptr ? std::optional<std::string>(Utf16ToUtf8(raw_exception_text))
                                    : std::nullopt;
  const HandleGuard guard(handle);

  if (has_xml) {
    ASSERT_NE(handle, KDXHandle{0})
        << "conversion failed: " << exception_text.value_or("(no exception text)");
    EXPECT_FALSE(exception_text.has_value())
        << "exception text after a successful conversion: " << *exception_text;
    const std::int32_t size = GetDataSize(handle);
    ASSERT_GT(size, 0) << "GetDataSize";
    std::string actual(static_cast<std::size_t>(size), '\0');
    ASSERT_EQ(GetData(handle, actual.data(), static_cast<std::uint32_t>(size)),
              static_cast<std::uint32_t>(size))
        << "GetData";
    std::string expected;
    ASSERT_TRUE(ReadFile(xml_path, &expected)) << "cannot read " << xml_path;
    const std::string difference = kdx::test::CompareXml(expected, actual);
    if (!difference.empty()) {
      ADD_FAILURE() << "output differs from " << stem << ".xml: " << difference;
    }
    return;
  }

  if (has_err) {
    std::string expected;
    ASSERT_TRUE(ReadFile(err_path, &expected)) << "cannot read " << err_path;
    if (expected.ends_with('\n')) expected.pop_back();
    if (expected.ends_with('\r')) expected.pop_back();
    EXPECT_EQ(handle, KDXHandle{0}) << "conversion succeeded; expected failure: " << expected;
    ASSERT_TRUE(exception_text.has_value()) << "no exception text; expected: " << expected;
    EXPECT_EQ(*exception_text, expected);
    return;
  }

  EXPECT_EQ(handle, KDXHandle{0}) << "conversion succeeded; expected a failure";
  ASSERT_TRUE(exception_text.has_value()) << "no exception text after a failed conversion";
  EXPECT_FALSE(exception_text->empty()) << "empty exception text after a failed conversion";
}

INSTANTIATE_TEST_SUITE_P(Corpus, ConformanceTest, testing::ValuesIn(SelectedStems()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {  // folder separators and dashes too
                             const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                                                (c >= 'A' && c <= 'Z');
                             if (!alnum) c = '_';
                           }
                           return name;
                         });

// The corpus must be there and the kind filter must select something; otherwise the run
// above would pass on no documents at all.
TEST(CorpusLayout, SelectsDocuments) {
  std::error_code error;
  ASSERT_TRUE(fs::is_directory(CorpusDir(), error)) << "no corpus directory " << CorpusDir();
  const KindFilter filter = ReadKindFilter();
  EXPECT_TRUE(filter.error.empty()) << "KDX_CONFORMANCE_KINDS: not a kind: " << filter.error;
  const std::vector<std::string> stems = SelectedStems();
  EXPECT_FALSE(stems.empty()) << "no documents selected in " << CorpusDir();
  for (const int kind : filter.kinds) {
    const bool found = std::any_of(stems.begin(), stems.end(), [&](const std::string& stem) {
      return KindOfStem(stem) == kind;
    });
    EXPECT_TRUE(found) << "KDX_CONFORMANCE_KINDS names kind " << kind
                       << ", which has no documents in the corpus";
  }
}

// Every file is a document or its expectation, so that nothing in the corpus goes unchecked.
TEST(CorpusLayout, EveryFileBelongsToADocument) {
  std::error_code error;
  ASSERT_TRUE(fs::is_directory(CorpusDir(), error)) << "no corpus directory " << CorpusDir();
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(CorpusDir(), error)) {
    if (entry.is_directory()) continue;
    const fs::path& path = entry.path();
    const std::string name = path.filename().string();
    if (IsCorpusNote(name)) continue;
    const std::string extension = path.extension().string();
    const bool known_extension =
        extension == ".kdx" || extension == ".xml" || extension == ".err" || extension == ".anyerr";
    EXPECT_TRUE(known_extension && KindOfStem(path.stem().string()).has_value())
        << "unexpected file in the corpus: " << name;
    if (known_extension && extension != ".kdx") {
      fs::path input = path;
      input.replace_extension(".kdx");
      EXPECT_TRUE(fs::exists(input, error)) << name << " has no " << input.filename();
    }
  }
  EXPECT_FALSE(error) << "listing " << CorpusDir() << ": " << error.message();
}

TEST(CorpusLayout, KnownDisagreementsNameDocuments) {
  std::set<std::string_view> seen;
  for (const KnownDisagreement& known : kKnownDisagreements) {
    EXPECT_TRUE(seen.insert(known.stem).second) << "listed twice: " << known.stem;
    EXPECT_FALSE(known.reason.empty()) << known.stem << " has no reason";
    fs::path input = CorpusDir() / std::string(known.stem);
    input += ".kdx";
    std::error_code error;
    EXPECT_TRUE(fs::exists(input, error)) << "no corpus document " << known.stem;
  }
}

bool SetEnvironment(const char* name, const char* value) {
#if defined(_WIN32)
  return _putenv_s(name, value) == 0;
#else
  return setenv(name, value, 1) == 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  // The settings the corpus was made with. They must be in place before the first InitKDX, as
  // the library may read them once.
  if (!SetEnvironment("KDX2XML_DECIMAL_SEPARATOR", ",") ||
      !SetEnvironment("SOURCE_DATE_EPOCH", "1678838400")) {
    std::fprintf(stderr, "conformance_test: cannot set the environment\n");
    return 1;
  }
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new TallyPrinter);
  return RUN_ALL_TESTS();
}

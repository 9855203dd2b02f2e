// The command-line tool as a process: batches, workers, exit codes, encodings,
// --info, standard input, the progress bar on a terminal, and its manual page.
#include <gtest/gtest.h>
#include <iconv.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "samples/samples.h"
#include "support/builder.h"

namespace kdx::test {
namespace {

namespace fs = std::filesystem;

const std::string kCli = KDX2XML_CLI;
const fs::path kSource = KDX2XML_SOURCE_DIR;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct ToolRun {
  int status = -1;
  std::string out, err;
};

// Runs the tool with the arguments (a shell command line tail).
ToolRun Tool(const std::string& args, const std::string& stdin_file = "/dev/null") {
  const fs::path dir = fs::path(::testing::TempDir()) / "cli_run";
  fs::create_directories(dir);
  const std::string command = "KDX2XML_DECIMAL_SEPARATOR=, SOURCE_DATE_EPOCH=1678838400 " + kCli +
                              " " + args + " <" + stdin_file + " >" + (dir / "out").string() +
                              " 2>" + (dir / "err").string();
  ToolRun run;
  const int status = std::system(command.c_str());
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(dir / "out");
  run.err = ReadFile(dir / "err");
  return run;
}

// A fresh scratch directory for one test.
fs::path Scratch(const std::string& name) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("cli_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::vector<fs::path> Samples() {
  std::vector<fs::path> samples;
  for (const auto& entry : fs::directory_iterator(kSource / "examples")) {
    if (entry.path().extension() == ".kdx") samples.push_back(entry.path());
  }
  std::sort(samples.begin(), samples.end());
  return samples;
}

std::string Join(const std::vector<fs::path>& paths) {
  std::string text;
  for (const auto& p : paths) text.append(" ").append(p.string());
  return text;
}

TEST(CliBatch, WritesOneXmlPerInputAndReportsEachFailure) {
  const fs::path dir = Scratch("batch");
  const std::vector<fs::path> samples = Samples();
  ASSERT_GE(samples.size(), 6u);
  WriteFile(dir / "cut.kdx", ReadFile(samples[0]).substr(0, 40));
  const ToolRun run = Tool("-d " + (dir / "out").string() + Join(samples) + " " +
                           (dir / "cut.kdx").string() + " " + (dir / "missing.kdx").string());
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("cannot convert " + (dir / "cut.kdx").string() +
                         ": EReadError: Stream read error\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("cannot read " + (dir / "missing.kdx").string() + ": "),
            std::string::npos);
  const std::string summary =
      "kdx2xml: " + std::to_string(samples.size()) + " converted, 2 failed in ";
  const size_t at = run.err.rfind(summary);
  ASSERT_NE(at, std::string::npos) << run.err;
  const std::string time = run.err.substr(at + summary.size());  // "0.05 s\n", last line
  EXPECT_TRUE(time.size() > 3 && time.find_first_not_of("0123456789.") == time.size() - 3 &&
              time.compare(time.size() - 3, 3, " s\n") == 0)
      << run.err;
  EXPECT_EQ(run.err.find('['), std::string::npos) << "no progress bar without a terminal";
  for (const auto& sample : samples) {
    const ToolRun single = Tool(sample.string());
    ASSERT_EQ(single.status, 0) << sample;
    EXPECT_EQ(ReadFile(dir / "out" / sample.stem().concat(".xml")), single.out) << sample;
  }
  EXPECT_FALSE(fs::exists(dir / "out" / "cut.xml"));
  EXPECT_FALSE(fs::exists(dir / "out" / "missing.xml"));
}

// Workers convert in parallel: the files and each failure's own text are the
// same as with one worker.
TEST(CliBatch, SameResultsWithAnyNumberOfWorkers) {
  const fs::path dir = Scratch("jobs");
  std::vector<fs::path> inputs = Samples();
  for (const auto& entry :
       fs::directory_iterator(kSource / "tests" / "conformance" / "estimates")) {
    if (entry.path().extension() == ".kdx" && inputs.size() < 100) inputs.push_back(entry.path());
  }
  std::set<std::string> converted;
  for (const char* jobs : {"1", "3"}) {
    const ToolRun run =
        Tool(std::string("-j ") + jobs + " -d " + (dir / jobs).string() + Join(inputs));
    EXPECT_TRUE(run.status == 0 || run.status == 1) << run.err;
    EXPECT_TRUE(fs::exists(dir / jobs / "smeta.xml"));
    std::string all;
    size_t failures = 0;
    for (const auto& input : inputs) {
      all +=
          input.stem().string() + "=" + ReadFile(dir / jobs / input.stem().concat(".xml")) + "\n";
      const fs::path expected = fs::path(input).replace_extension(".err");
      if (!fs::exists(expected)) continue;
      ++failures;
      EXPECT_NE(run.err.find("kdx2xml: cannot convert " + input.string() + ": " +
                             ReadFile(expected) + "\n"),
                std::string::npos)
          << "-j " << jobs << ": " << input;
    }
    EXPECT_GT(failures, 0u);
    converted.insert(all);
  }
  EXPECT_EQ(converted.size(), 1u) << "-j 1 and -j 3 wrote different files";
}

TEST(CliExitCodes, TellFailuresFromMistakes) {
  const fs::path dir = Scratch("codes");
  const fs::path original = Samples()[0];
  const std::string sample = (dir / original.filename()).string();
  fs::copy_file(original, sample);
  fs::create_directories(dir / "other");
  fs::copy_file(original, dir / "other" / original.filename());
  WriteFile(dir / "doc.xml", ReadFile(sample));
  const std::string out = (dir / "out").string();
  const struct {
    std::string args;
    int status;
  } cases[] = {
      {"-d " + out + " " + sample, 0},
      {"-d " + out + " " + sample + " " + (dir / "missing.kdx").string(), 3},
      {sample + " -o " + (dir / "nodir" / "x.xml").string(), 3},
      {"", 2},
      {sample + " " + sample, 2},           // several inputs, no -d
      {sample + " -o x.xml -d " + out, 2},  // -o with -d
      {"-j 0 -d " + out + " " + sample, 2},
      {"--encoding koi8-r " + sample, 2},
      {"- - -d " + out, 2},  // standard input twice
      {"-d " + out + " " + sample + " " + (dir / "other" / original.filename()).string(),
       2},                                                           // both write one file
      {"-d " + dir.string() + " " + (dir / "doc.xml").string(), 2},  // would overwrite its input
      {sample + " -o " + sample, 2},
  };
  for (const auto& c : cases) {
    const ToolRun run = Tool(c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
  }
  EXPECT_EQ(ReadFile(dir / "doc.xml"), ReadFile(original)) << "an input was overwritten";
  EXPECT_EQ(ReadFile(sample), ReadFile(original)) << "an input was overwritten";
}

// The output file holds the whole XML or nothing new: a document that fails
// leaves an existing file as it was, a write that fails leaves no file (and a
// device named as the output in place), in either encoding. An XML of several
// megabytes, written in pieces, is the same bytes as the tool's output.
TEST(CliOutput, WholeXmlOrNothing) {
  const fs::path dir = Scratch("output");
  const fs::path sample = kSource / "examples" / "smeta.kdx";
  const std::string bytes = ReadFile(sample);
  const fs::path large = dir / "large.kdx";
  WriteFile(large, samples::SmetaOfSize(2000));
  WriteFile(dir / "cut.kdx", bytes.substr(0, bytes.size() / 2));
  const fs::path out = dir / "out.xml";
  for (const std::string encoding : {"", "--encoding utf-8 "}) {
    WriteFile(out, "earlier");
    ToolRun run = Tool(encoding + (dir / "cut.kdx").string() + " -o " + out.string());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(ReadFile(out), "earlier") << encoding;

    for (const fs::path& input : {sample, large}) {
      run = Tool(encoding + input.string() + " -o " + out.string());
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(ReadFile(out), Tool(encoding + input.string()).out) << encoding << input;
    }

    if (fs::exists("/dev/full")) {
      run = Tool(encoding + sample.string() + " -o /dev/full");
      EXPECT_EQ(run.status, 3) << encoding;
      EXPECT_NE(run.err.find("kdx2xml: cannot write /dev/full: "), std::string::npos) << run.err;
      EXPECT_TRUE(fs::exists("/dev/full"));
      // Standard output on the full device fails the same way.
      const fs::path err = dir / "err";
      const int status = std::system(
          (kCli + " " + encoding + large.string() + " >/dev/full 2>" + err.string()).c_str());
      EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 3) << encoding;
      EXPECT_EQ(ReadFile(err), "kdx2xml: cannot write the standard output\n");
    }
  }
}

// Windows-1251 bytes as UTF-8 through the C library's converter.
std::string Iconv1251ToUtf8(std::string in) {
  iconv_t cd = iconv_open("UTF-8", "WINDOWS-1251");
  std::string out(in.size() * 3, '\0');
  char* src = in.data();
  char* dst = out.data();
  size_t src_left = in.size(), dst_left = out.size();
  const size_t done = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) return "iconv failed";
  out.resize(out.size() - dst_left);
  return out;
}

TEST(CliEncoding, Utf8RecodesTheXmlAndItsDeclaration) {
  for (const auto& sample : Samples()) {
    const ToolRun cp1251 = Tool(sample.string());
    const ToolRun utf8 = Tool("--encoding utf-8 " + sample.string());
    ASSERT_EQ(utf8.status, 0) << utf8.err;
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>";
    ASSERT_EQ(cp1251.out.rfind(declaration, 0), 0u);
    EXPECT_EQ(utf8.out, "<?xml version=\"1.0\" encoding=\"utf-8\"?>" +
                            Iconv1251ToUtf8(cp1251.out.substr(declaration.size())))
        << sample;
  }
  EXPECT_NE(Tool("--encoding UTF-8 " + (kSource / "examples" / "pricelist.kdx").string())
                .out.find("Прайс-лист поставщика"),
            std::string::npos);
}

TEST(CliInput, StandardInputIsAnInput) {
  const fs::path dir = Scratch("stdin");
  const std::string sample = (kSource / "examples" / "smeta.kdx").string();
  const ToolRun file = Tool(sample);
  const ToolRun piped = Tool("-", sample);
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, file.out);
  EXPECT_EQ(Tool("-d " + dir.string() + " -", sample).status, 0);
  EXPECT_EQ(ReadFile(dir / "stdin.xml"), file.out);
  // A named input without a size to ask for (a pipe) is read in chunks.
  const fs::path fifo = dir / "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(std::system(("(cat " + sample + " >" + fifo.string() + ") &").c_str()), 0);
  const ToolRun named_pipe = Tool(fifo.string());
  EXPECT_EQ(named_pipe.status, 0) << named_pipe.err;
  EXPECT_EQ(named_pipe.out, file.out);
}

TEST(CliInfo, DescribesHeadersWithoutConverting) {
  const fs::path dir = Scratch("info");
  const std::string body(64, '\0');
  const struct {
    std::string name, bytes, line;
    int status;
  } cases[] = {
      {"estimate", PackDocument(0, "KD_Smeta", 0x1015F, body),
       "kind 0 (local estimate), signature KD_Smeta, file version 65887 (0x1015F), 85 bytes", 0},
      {"old", PackDocument(3, "KD_Cennk", -1, body),
       "kind 3 (price list), signature KD_Cennk, file version -1 (0xFFFFFFFF), 85 bytes", 0},
      {"newer", PackDocument(3, "KD_Cennk", 0x10006, body),
       "kind 3 (price list), signature KD_Cennk, file version 65542 (0x10006) (newer than this "
       "converter reads: at most 65541 (0x10005)), 85 bytes",
       1},
      {"foreign", PackDocument(3, "KD_Smeta", 0x10005, body),
       "kind 3 (price list), signature KD_Smeta (not the kind's KD_Cennk), file version 65541 "
       "(0x10005), 85 bytes",
       1},
      {"binary", PackDocument(6, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8), 1, ""),
       "kind 6 (resource summary), signature 01 02 03 04 05 06 07 08 (not the kind's KD_RSumm), "
       "file version 1 (0x1), 21 bytes",
       1},
      {"refused", PackDocument(5, "KD_NBDoc", 1, ""),
       "kind 5 (not converted), signature KD_NBDoc, file version 1 (0x1), 21 bytes", 1},
      {"unknown", std::string("KR00\x09", 5), "kind 9 (unknown), 5 bytes", 1},
      {"header", std::string("KR00\x00xxxxKD_Sm", 14),
       "kind 0 (local estimate), no signature, 14 bytes", 1},
      {"noversion", PackDocument(0, "KD_Smeta", 1, "").substr(0, 19),
       "kind 0 (local estimate), signature KD_Smeta, no file version, 19 bytes", 1},
      {"nokind", "KR00", "not a KDX document (no kind byte), 4 bytes", 1},
      {"text", "hello", "not a KDX document (no KR00 header), 5 bytes", 1},
  };
  for (const auto& c : cases) {
    const fs::path path = dir / (c.name + ".kdx");
    WriteFile(path, c.bytes);
    const ToolRun run = Tool("--info " + path.string());
    EXPECT_EQ(run.out, path.string() + ": " + c.line + "\n") << c.name;
    EXPECT_EQ(run.status, c.status) << c.name;
  }
  const ToolRun several = Tool("--info" + Join(Samples()) + " " + (dir / "missing.kdx").string());
  EXPECT_EQ(several.status, 3) << several.err;
  EXPECT_EQ(std::count(several.out.begin(), several.out.end(), '\n'),
            static_cast<long>(Samples().size()));
}

TEST(CliProgress, BarOnATerminalOnly) {
  const fs::path dir = Scratch("progress");
  const std::string command = kCli + " -j 2 -d " + (dir / "out").string() + Join(Samples()) + " " +
                              (dir / "missing.kdx").string() + " >/dev/null";
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string screen;
  char buf[4096];
  for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) screen.append(buf, n);
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 3);
  const std::string total = std::to_string(Samples().size() + 1);
  EXPECT_NE(screen.find("] " + total + "/" + total + ", 1 failed"), std::string::npos) << screen;
  EXPECT_NE(screen.find("missing.kdx: "), std::string::npos) << screen;
  EXPECT_NE(screen.find(std::to_string(Samples().size()) + " converted, 1 failed in "),
            std::string::npos)
      << screen;
}

TEST(CliManual, DescribesEveryOptionOfTheHelp) {
  const ToolRun help = Tool("--help");
  ASSERT_EQ(help.status, 0);
  std::string manual;
  for (const char c : ReadFile(kSource / "docs" / "kdx2xml.1")) {
    if (c == '-' && !manual.empty() && manual.back() == '\\') manual.pop_back();  // roff's \-
    manual += c;
  }
  // Options are the help lines "  -o, --output FILE   ..." up to "Environment:".
  std::istringstream lines(help.out.substr(help.out.find("Options:")));
  std::set<std::string> options;
  for (std::string line; std::getline(lines, line) && line.rfind("Environment", 0) != 0;) {
    if (line.rfind("  -", 0) != 0) continue;
    std::istringstream words(line.substr(0, line.find("  ", 2)));
    for (std::string word; words >> word;) {
      if (word.back() == ',') word.pop_back();
      if (word[0] == '-') options.insert(word);
    }
  }
  EXPECT_GE(options.size(), 12u);
  // Each has an entry: ".TP" and then a ".B", ".BR" or ".BI" line naming it.
  const size_t from = manual.find(".SH OPTIONS");
  ASSERT_NE(from, std::string::npos);
  std::istringstream section(manual.substr(from, manual.find(".SH", from + 1) - from));
  std::set<std::string> described;
  bool after_tp = false;
  for (std::string line; std::getline(section, line); after_tp = line == ".TP") {
    if (!after_tp || line.rfind(".B", 0) != 0) continue;
    for (char& c : line) {
      if (c == '"') c = ' ';
    }
    std::istringstream words(line);
    for (std::string word; words >> word;) described.insert(word);
  }
  for (const auto& name : options) {
    EXPECT_TRUE(described.count(name))
        << name << " is in --help but has no entry in the OPTIONS of docs/kdx2xml.1";
  }
  const std::string version = Tool("--version").out;  // "kdx2xml 1.2.3.4"
  const std::string release = version.substr(8, version.rfind('.') - 8);
  EXPECT_NE(manual.find("\"kdx2xml " + release + "\""), std::string::npos)
      << "the manual's title line does not name version " << release;
}

}  // namespace
}  // namespace kdx::test

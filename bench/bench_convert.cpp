// Conversion speed and memory over generated documents of growing size and
// the bundled samples. Per document:
//   api        the whole conversion through the C exports: InitKDX, the host's
//              buffer, GetData, ReleaseKDXHandle;
//   load       header checks and the document read into the object model;
//   write      the XML of the loaded document written into kept blocks, its
//              rows freed as they are written;
//   memcpy     the floor: the XML's size copied into a newly allocated buffer;
//   lx-tree    the reference: the same elements and attributes built into a
//              tree with libxml2's DOM (the names and values handed over
//              ready-made in UTF-8);
//   lx-save    the libxml2 tree saved indented in windows-1251.
// Times are the CPU time of the converting thread (user and system), so a
// busy machine stretches them less than wall time. After the runs a table
// sums it up, with the peak memory each conversion adds to a fresh process
// (the C exports and the command-line tool).
//
// Before them comes what users run (users.h): each document converted in new
// processes through the shared library's exports and by the command-line
// tool, and repeated in one process, timed from outside by wall clock and by
// the processes' CPU time; with --against another build's library and tool
// are measured in turn with this one's, for the ratios.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "api/convert.h"
#include "documents.h"
#include "kdx2xml/kdx2xml.h"
#include "libxml2_reference.h"
#include "samples/samples.h"
#include "support/builder.h"
#include "support/smeta_builder.h"
#include "users.h"

namespace {

using kdx::ConversionSettings;

constexpr double kMB = 1e6;

double ThreadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// 10000 as "10k".
std::string Number(int n) { return n % 1000 ? std::to_string(n) : std::to_string(n / 1000) + "k"; }

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

struct Document {
  std::string name;
  std::string family;  // sizes of one family are compared with each other
  std::function<std::string()> make;
  std::string bytes;
  size_t xml_size = 0;

  const std::string& Input() {
    if (bytes.empty()) {
      bytes = make();
      xml_size = kdx::ConvertDocument(Bytes(bytes), bytes.size(), Settings()).size();
    }
    return bytes;
  }
  static const ConversionSettings& Settings() { return kdx::test::Conventions(); }
};

std::string ReadSample(const char* file) {
  std::ifstream in(std::string(KDX2XML_SOURCE_DIR) + "/examples/" + file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Estimate file versions of the older shapes: one before act overrides (the
// work done kept by month), one with the older position record.
constexpr int32_t kBeforeActOverrides = 0x00010140;
constexpr int32_t kOlderPositionRecord = 0x00010122;

std::vector<Document>& Documents() {
  static std::vector<Document> docs = [] {
    std::vector<Document> d;
    const auto add = [&d](std::string name, std::string family, std::function<std::string()> f) {
      d.push_back({std::move(name), std::move(family), std::move(f), {}, 0});
    };
    add("smeta-1k", "smeta", [] { return kdx::samples::SmetaOfSize(1000); });
    add("smeta-10k", "smeta", [] { return kdx::samples::SmetaOfSize(10000); });
    add("smeta-100k", "smeta", [] { return kdx::samples::SmetaOfSize(100000); });
    // Estimates shaped unlike the sample's: many small rows per position (at
    // the newest version and at one before act overrides), many resources per
    // position, and the sample at the older position record.
    for (int n : {10000, 30000, 100000}) {
      add("rows-" + Number(n), "rows",
          [n] { return kdx::bench::SmallRowsEstimate(n, kdx::test::smeta::kNewest); });
    }
    for (int n : {10000, 50000}) {
      add("rows-v10140-" + Number(n), "rows-v10140",
          [n] { return kdx::bench::SmallRowsEstimate(n, kBeforeActOverrides); });
    }
    for (int n : {2000, 6000, 20000}) {
      add("resources-" + Number(n), "resources", [n] { return kdx::bench::ResourceEstimate(n); });
    }
    for (int n : {10000, 50000}) {
      add("smeta-v10122-" + Number(n), "smeta-v10122",
          [n] { return kdx::samples::SmetaOfSize(static_cast<size_t>(n), kOlderPositionRecord); });
    }
    add("pricelist-20k", "pricelist", [] { return kdx::bench::PriceList(20000); });
    add("pricelist-200k", "pricelist", [] { return kdx::bench::PriceList(200000); });
    add("indexes-5k", "indexes", [] { return kdx::bench::PriceIndexes(5000); });
    add("indexes-50k", "indexes", [] { return kdx::bench::PriceIndexes(50000); });
    add("ressummary-20k", "ressummary", [] { return kdx::bench::ResSummary(20000); });
    add("ressummary-200k", "ressummary", [] { return kdx::bench::ResSummary(200000); });
    for (const char* sample : {"pricelist.kdx", "priceindexes.kdx", "ressummary.kdx",
                               "objsmeta.kdx", "conscalc.kdx", "smeta.kdx"}) {
      add(std::string("sample-") + std::string(sample, std::strlen(sample) - 4), "",
          [sample] { return ReadSample(sample); });
    }
    return d;
  }();
  return docs;
}

// ---- the stages ----

using Stage = void (*)(benchmark::State&, Document&);

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt;
}

// Runs body once per iteration and counts only the time it reports; the
// page faults of the thread (fresh memory touched) are counted per iteration.
template <typename F>
void Timed(benchmark::State& state, Document& doc, F&& body) {
  const long faults = MinorFaults();
  for (auto _ : state) state.SetIterationTime(body());
  state.counters["faults"] = benchmark::Counter(static_cast<double>(MinorFaults() - faults),
                                                benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.xml_size));
}

void Api(benchmark::State& state, Document& doc) {
  const std::string& in = doc.Input();
  Timed(state, doc, [&] {
    const double t0 = ThreadSeconds();
    const KDXHandle handle = InitKDX(in.data(), static_cast<int32_t>(in.size()));
    const int32_t size = GetDataSize(handle);
    char* host = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    const uint32_t copied = GetData(handle, host, static_cast<uint32_t>(size));
    ReleaseKDXHandle(handle);
    const double t = ThreadSeconds() - t0;
    if (handle == 0 || copied != static_cast<uint32_t>(size)) std::abort();
    std::free(host);
    return t;
  });
}

void Load(benchmark::State& state, Document& doc) {
  const std::string& in = doc.Input();
  Timed(state, doc, [&] {
    const double t0 = ThreadSeconds();
    auto model = kdx::LoadDocument(Bytes(in), in.size(), Document::Settings());
    const double t = ThreadSeconds() - t0;
    model.reset();
    return t;
  });
}

// The XML of a loaded document, which is used up by it: the model's rows
// are freed as they are written and the rest at the end, so the time counts
// the freeing of the model.
void Write(benchmark::State& state, Document& doc) {
  const std::string& in = doc.Input();
  Timed(state, doc, [&] {
    auto model = kdx::LoadDocument(Bytes(in), in.size(), Document::Settings());
    const double t0 = ThreadSeconds();
    auto xml = std::make_unique<kdx::XmlBytes>();
    kdx::WriteXml(std::move(model), Document::Settings(), *xml);
    const double t = ThreadSeconds() - t0;
    xml.reset();
    return t;
  });
}

std::string XmlOf(Document& doc) {
  const std::string& in = doc.Input();
  return kdx::ConvertDocument(Bytes(in), in.size(), Document::Settings());
}

void Memcpy(benchmark::State& state, Document& doc) {
  doc.Input();
  const std::string source(doc.xml_size, 'x');
  Timed(state, doc, [&] {
    const double t0 = ThreadSeconds();
    char* target = static_cast<char*>(std::malloc(source.size()));
    std::memcpy(target, source.data(), source.size());
    benchmark::DoNotOptimize(target);
    const double t = ThreadSeconds() - t0;
    std::free(target);
    return t;
  });
}

void LibxmlTree(benchmark::State& state, Document& doc) {
  const kdx::bench::Libxml2Elements elements(XmlOf(doc));
  Timed(state, doc, [&] {
    const double t0 = ThreadSeconds();
    auto tree = std::make_unique<kdx::bench::Libxml2Tree>(elements);
    const double t = ThreadSeconds() - t0;
    tree.reset();
    return t;
  });
}

void LibxmlSave(benchmark::State& state, Document& doc) {
  const kdx::bench::Libxml2Tree tree(kdx::bench::Libxml2Elements(XmlOf(doc)));
  Timed(state, doc, [&] {
    kdx::bench::Libxml2Tree::Saved saved;
    const double t0 = ThreadSeconds();
    tree.Save(saved);
    return ThreadSeconds() - t0;
  });
}

const std::vector<std::pair<const char*, Stage>>& Stages() {
  static const std::vector<std::pair<const char*, Stage>> stages = {
      {"api", Api},       {"load", Load},          {"write", Write},
      {"memcpy", Memcpy}, {"lx-tree", LibxmlTree}, {"lx-save", LibxmlSave}};
  return stages;
}

// ---- memory, each measured in a fresh child process ----

long StatusKB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(in, line)) {
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') {
      return std::atol(line.c_str() + n + 1);
    }
  }
  return -1;
}

// Runs body in a forked child and returns the number it writes back, or -1.
double InChild(const std::function<double()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const double value = body();
    if (write(fds[1], &value, sizeof value) != sizeof value) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  double value = -1;
  if (pid < 0 || read(fds[0], &value, sizeof value) != sizeof value) value = -1;
  close(fds[0]);
  if (pid > 0) waitpid(pid, nullptr, 0);
  return value;
}

// Memory the body adds to the peak resident size of the process, in MB: the
// peak is reset to the current size first (with free heap pages given back).
double PeakAddedMB(const std::function<void()>& body) {
  return InChild([&] {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKB("VmRSS");
    body();
    const long peak = StatusKB("VmHWM");
    return before < 0 || peak < 0 ? -1.0 : static_cast<double>(peak - before) * 1024 / kMB;
  });
}

// Heap in use, in MB.
double HeapMB() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<double>(m.uordblks + m.hblkhd) / kMB;
}

struct ToolRun {
  double peak_mb = -1, seconds = -1;
};

// Starts the command-line tool from a small process forked before any
// document exists: a child's peak resident size starts from that of the
// process it was forked from, which here is only a few MB.
class ToolLauncher {
 public:
  ToolLauncher() {
    int to[2], from[2];
    if (pipe(to) != 0 || pipe(from) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(to[1]);
      close(from[0]);
      Serve(to[0], from[1]);
      _exit(0);
    }
    close(to[0]);
    close(from[1]);
    to_ = to[1];
    from_ = from[0];
  }
  ~ToolLauncher() {
    if (pid_ <= 0) return;
    close(to_);
    close(from_);
    waitpid(pid_, nullptr, 0);
  }

  // Converts input into output with the tool.
  ToolRun Run(const std::string& input, const std::string& output) {
    ToolRun run;
    const std::string request = input + '\n' + output + '\n';
    if (pid_ <= 0 ||
        write(to_, request.data(), request.size()) != static_cast<ssize_t>(request.size()) ||
        read(from_, &run, sizeof run) != sizeof run) {
      return ToolRun{};
    }
    return run;
  }

 private:
  static void Serve(int in, int out) {
    std::string buffer;
    char chunk[4096];
    for (;;) {
      const ssize_t n = read(in, chunk, sizeof chunk);
      if (n <= 0) return;
      buffer.append(chunk, static_cast<size_t>(n));
      for (;;) {
        const size_t a = buffer.find('\n');
        const size_t b = a == std::string::npos ? a : buffer.find('\n', a + 1);
        if (b == std::string::npos) break;
        const std::string input = buffer.substr(0, a), output = buffer.substr(a + 1, b - a - 1);
        buffer.erase(0, b + 1);
        const ToolRun run = Launch(input, output);
        if (write(out, &run, sizeof run) != sizeof run) return;
      }
    }
  }

  static ToolRun Launch(const std::string& input, const std::string& output) {
    ToolRun run;
    timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const pid_t pid = fork();
    if (pid == 0) {
      execl(KDX2XML_CLI, KDX2XML_CLI, input.c_str(), "-o", output.c_str(), nullptr);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) &&
        WEXITSTATUS(status) == 0) {
      clock_gettime(CLOCK_MONOTONIC, &t1);
      run.peak_mb = static_cast<double>(usage.ru_maxrss) * 1024 / kMB;
      run.seconds = static_cast<double>(t1.tv_sec - t0.tv_sec) +
                    static_cast<double>(t1.tv_nsec - t0.tv_nsec) * 1e-9;
    }
    return run;
  }

  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
};

ToolLauncher& Launcher() {
  static ToolLauncher launcher;
  return launcher;
}

struct Memory {
  double model = -1, blocks = -1, api = -1, cli = -1, cli_seconds = -1;
};

Memory MeasureMemory(Document& doc) {
  const std::string& in = doc.Input();
  Memory m;
  m.model = InChild([&] {
    const double before = HeapMB();
    auto model = kdx::LoadDocument(Bytes(in), in.size(), Document::Settings());
    return HeapMB() - before;
  });
  {
    kdx::XmlBytes xml;
    kdx::WriteXml(kdx::LoadDocument(Bytes(in), in.size(), Document::Settings()),
                  Document::Settings(), xml);
    m.blocks = static_cast<double>(xml.Capacity()) / kMB;
  }
  m.api = PeakAddedMB([&] {
    const KDXHandle handle = InitKDX(in.data(), static_cast<int32_t>(in.size()));
    const int32_t size = GetDataSize(handle);
    char* host = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    GetData(handle, host, static_cast<uint32_t>(size));
    ReleaseKDXHandle(handle);
    std::free(host);
  });
  // The command-line tool from file to file: its whole peak resident size.
  const std::string dir = "/tmp/kdx2xml-bench-" + std::to_string(getpid());
  const std::string input = dir + "/" + doc.name + ".kdx", output = dir + "/" + doc.name + ".xml";
  if (std::system(("mkdir -p " + dir).c_str()) == 0) {
    std::ofstream(input, std::ios::binary)
        .write(in.data(), static_cast<std::streamsize>(in.size()));
    const ToolRun run = Launcher().Run(input, output);
    m.cli = run.peak_mb;
    m.cli_seconds = run.seconds;
    std::remove(input.c_str());
    std::remove(output.c_str());
    rmdir(dir.c_str());
  }
  return m;
}

// ---- the table ----

// Keeps the time per iteration (ms) of every run; the median when repeated.
// Quiet, it prints a line per measurement to standard error instead of the
// console report.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  explicit CollectingReporter(bool quiet) : quiet_(quiet) {}
  bool ReportContext(const Context& context) override {
    return quiet_ || ConsoleReporter::ReportContext(context);
  }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string& name = run.run_name.function_name;
      const double ms = run.GetAdjustedRealTime();  // the unit is ms for every benchmark
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") median_[name] = ms;
      } else {
        samples_[name].push_back(ms);
        if (quiet_) std::fprintf(stderr, "  %-28s %10.3f ms\n", name.c_str(), ms);
      }
    }
    if (!quiet_) ConsoleReporter::ReportRuns(runs);
  }
  // Time in ms of document/stage, or a negative value when it did not run.
  double Ms(const std::string& doc, const char* stage) const {
    const std::string name = doc + "/" + stage;
    if (auto it = median_.find(name); it != median_.end()) return it->second;
    auto it = samples_.find(name);
    if (it == samples_.end() || it->second.empty()) return -1;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }

 private:
  bool quiet_;
  std::map<std::string, double> median_;
  std::map<std::string, std::vector<double>> samples_;
};

std::string Fixed(double value, int decimals, int width) {
  char buf[64];
  if (value < 0) {
    std::snprintf(buf, sizeof buf, "%*s", width, "-");
  } else {
    std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, value);
  }
  return buf;
}

double Ratio(double a, double b) { return a < 0 || b <= 0 ? -1 : a / b; }

// The targets: fresh at least 300 MB/s for every family's largest document;
// warm at least 600 MB/s on price lists and 450 MB/s on estimates; peak
// added at most input + 2.0 x XML through the exports and + 1.5 x XML by the
// tool; the time per XML byte of the largest document within 1.2 x of the
// smallest's.
constexpr double kFreshTarget = 300, kApiK = 2.0, kCliK = 1.5, kLinearity = 1.2;
void PrintTables(const CollectingReporter& r, bool memory) {
  double load[1] = {-1};
  getloadavg(load, 1);
  std::printf(
      "\nConversion through the C exports (ms: CPU time of one conversion, median;\n"
      "%ld cores, load average %.1f)\n",
      sysconf(_SC_NPROCESSORS_ONLN), load[0]);
  std::printf("%-18s %9s %9s %9s %8s %9s %9s %10s\n", "document", "input MB", "XML MB", "ms",
              "MB/s", "peak MB", "x memcpy", "x libxml2");
  struct Row {
    Document* doc;
    double api, load, write, copy, lx_tree, lx_save;
    Memory mem;
  };
  std::vector<Row> rows;
  for (Document& d : Documents()) {
    const double api = r.Ms(d.name, "api");
    if (api < 0 && r.Ms(d.name, "load") < 0) continue;
    rows.push_back({&d, api, r.Ms(d.name, "load"), r.Ms(d.name, "write"), r.Ms(d.name, "memcpy"),
                    r.Ms(d.name, "lx-tree"), r.Ms(d.name, "lx-save"),
                    memory ? MeasureMemory(d) : Memory{}});
  }
  for (const Row& w : rows) {
    const double in = static_cast<double>(w.doc->bytes.size()) / kMB;
    const double xml = static_cast<double>(w.doc->xml_size) / kMB;
    const double ours = w.write;
    const double theirs = w.lx_tree < 0 || w.lx_save < 0 ? -1 : w.lx_tree + w.lx_save;
    std::printf("%-18s %9s %9s %9s %8s %9s %9s %10s\n", w.doc->name.c_str(),
                Fixed(in, 2, 9).c_str(), Fixed(xml, 2, 9).c_str(), Fixed(w.api, 2, 9).c_str(),
                Fixed(w.api > 0 ? xml / (w.api / 1000) : -1, 0, 8).c_str(),
                Fixed(w.mem.api, 1, 9).c_str(), Fixed(Ratio(w.api, w.copy), 1, 9).c_str(),
                Fixed(Ratio(ours, theirs), 3, 10).c_str());
  }

  std::printf("\nStages (ms) and the references (x libxml2: write against lx-tree + lx-save)\n");
  std::printf("%-18s %8s %8s %8s %8s %8s %10s %10s\n", "document", "load", "write", "memcpy",
              "lx-tree", "lx-save", "ns/byte", "x smallest");
  std::map<std::string, double> smallest;  // ns per XML byte of the first size of each family
  for (const Row& w : rows) {
    const double ns = w.api > 0 ? w.api * 1e6 / static_cast<double>(w.doc->xml_size) : -1;
    double growth = -1;
    if (!w.doc->family.empty() && ns > 0) {
      auto [it, first] = smallest.emplace(w.doc->family, ns);
      growth = first ? 1.0 : ns / it->second;
    }
    std::printf(
        "%-18s %8s %8s %8s %8s %8s %10s %10s\n", w.doc->name.c_str(), Fixed(w.load, 2, 8).c_str(),
        Fixed(w.write, 2, 8).c_str(), Fixed(w.copy, 2, 8).c_str(), Fixed(w.lx_tree, 2, 8).c_str(),
        Fixed(w.lx_save, 2, 8).c_str(), Fixed(ns, 2, 10).c_str(), Fixed(growth, 2, 10).c_str());
  }

  if (!memory) return;
  std::printf(
      "\nMemory (MB): heap of the model, blocks of the XML; peak added by one conversion\n"
      "through the C exports (host copy included) and peak of the command-line tool\n");
  std::printf("%-18s %8s %8s %9s %10s %8s %10s %10s %8s\n", "document", "model", "blocks",
              "peak API", "in+2.0 XML", "CLI", "in+1.5 XML", "CLI ms", "");
  for (const Row& w : rows) {
    const double in = static_cast<double>(w.doc->bytes.size()) / kMB;
    const double xml = static_cast<double>(w.doc->xml_size) / kMB;
    std::printf("%-18s %8s %8s %9s %10s %8s %10s %10s\n", w.doc->name.c_str(),
                Fixed(w.mem.model, 1, 8).c_str(), Fixed(w.mem.blocks, 1, 8).c_str(),
                Fixed(w.mem.api, 1, 9).c_str(), Fixed(in + kApiK * xml, 1, 10).c_str(),
                Fixed(w.mem.cli, 1, 8).c_str(), Fixed(in + kCliK * xml, 1, 10).c_str(),
                Fixed(w.mem.cli_seconds * 1000, 0, 10).c_str());
  }
}

// ---- what users run ----

struct UsersOptions {
  std::vector<kdx::bench::Build> builds;  // this build first, then the one it is compared with
  std::string against;                    // the other build's folder, for the headings
  int fresh = 5, warm = 5;
};

// A folder for the documents and the tool's output, in memory when it can be.
std::string WorkFolder() {
  std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "";
  if (base.empty()) base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  std::string pattern = base + "/kdx2xml-bench.XXXXXX";
  return mkdtemp(pattern.data()) ? pattern : "";
}

// ns per XML byte.
double NsPerByte(double ms, double xml) { return ms > 0 && xml > 0 ? ms * 1e6 / xml : -1; }
double MBps(double ms, double xml) { return ms > 0 && xml > 0 ? xml / kMB / (ms / 1000) : -1; }
// The memory a conversion adds as k in input + k × XML.
double Multiple(double added, double in, double xml) {
  return added < 0 || xml <= 0 ? -1 : (added - in) / xml;
}

// The figures of one document that the targets speak of.
struct Derived {
  double fresh = -1, warm = -1, cli = -1;  // MB/s of XML
  double api_k = -1, cli_k = -1;           // peak added = input + k x XML
};

// Which times a table shows: by wall clock or by CPU time.
using Clock = kdx::bench::Times kdx::bench::UserFigures::*;

Derived Derive(const Document& doc, const kdx::bench::UserFigures& f, Clock clock,
               double baseline) {
  const double in = static_cast<double>(doc.bytes.size());
  const double cli_added = f.cli_peak < 0 || baseline < 0 ? -1 : f.cli_peak - baseline;
  const kdx::bench::Times& t = f.*clock;
  return {MBps(t.fresh_ms, f.xml_bytes), MBps(t.warm_ms, f.xml_bytes), MBps(t.cli_ms, f.xml_bytes),
          Multiple(f.api_added, in, f.xml_bytes), Multiple(cli_added, in, f.xml_bytes)};
}

double WarmTarget(const std::string& family) {
  if (family == "pricelist") return 600;
  for (const char* estimate : {"smeta", "rows", "resources"}) {
    if (family.rfind(estimate, 0) == 0) return 450;
  }
  return 0;
}

void PrintUsersTable(const std::vector<Document*>& docs,
                     const std::vector<std::vector<kdx::bench::UserFigures>>& figures,
                     const std::vector<double>& baselines, size_t b, Clock clock) {
  std::printf("%-20s %7s %7s %8s %7s %8s %7s %8s %7s %6s %6s\n", "document", "in MB", "XML MB",
              "fresh ms", "MB/s", "warm ms", "MB/s", "CLI ms", "MB/s", "API k", "CLI k");
  for (size_t d = 0; d < docs.size(); ++d) {
    const kdx::bench::UserFigures& f = figures[d][b];
    const kdx::bench::Times& t = f.*clock;
    const Derived v = Derive(*docs[d], f, clock, baselines[b]);
    std::printf("%-20s %7s %7s %8s %7s %8s %7s %8s %7s %6s %6s\n", docs[d]->name.c_str(),
                Fixed(static_cast<double>(docs[d]->bytes.size()) / kMB, 2, 7).c_str(),
                Fixed(f.xml_bytes / kMB, 2, 7).c_str(), Fixed(t.fresh_ms, 1, 8).c_str(),
                Fixed(v.fresh, 0, 7).c_str(), Fixed(t.warm_ms, 1, 8).c_str(),
                Fixed(v.warm, 0, 7).c_str(), Fixed(t.cli_ms, 1, 8).c_str(),
                Fixed(v.cli, 0, 7).c_str(), Fixed(v.api_k, 2, 6).c_str(),
                Fixed(v.cli_k, 2, 6).c_str());
  }
  // Per family its largest document, and the time per XML byte of the
  // largest against the smallest.
  std::map<std::string, std::pair<size_t, size_t>> ends;  // smallest, largest
  for (size_t d = 0; d < docs.size(); ++d) {
    if (docs[d]->family.empty() || figures[d][b].xml_bytes <= 0) continue;
    auto [it, first] = ends.emplace(docs[d]->family, std::make_pair(d, d));
    const auto xml = [&](size_t i) { return figures[i][b].xml_bytes; };
    if (xml(d) < xml(it->second.first)) it->second.first = d;
    if (xml(d) > xml(it->second.second)) it->second.second = d;
  }
  std::printf(
      "\nPer family: its largest document; linearity = ns per XML byte of the largest / of the\n"
      "smallest; misses: targets not met (fresh >= %.0f MB/s, warm >= 600 price lists and\n"
      ">= 450 estimates, API k <= %.1f, CLI k <= %.1f, linearity <= %.1f)\n",
      kFreshTarget, kApiK, kCliK, kLinearity);
  std::printf("%-14s %-18s %6s %6s %6s %6s %6s %6s %7s   %s\n", "family", "largest", "fresh",
              "warm", "API k", "CLI k", "lin fr", "lin wa", "lin CLI", "misses");
  for (const auto& [family, e] : ends) {
    const auto& s = figures[e.first][b].*clock;
    const auto& l = figures[e.second][b].*clock;
    const double small_xml = figures[e.first][b].xml_bytes;
    const double large_xml = figures[e.second][b].xml_bytes;
    const Derived v = Derive(*docs[e.second], figures[e.second][b], clock, baselines[b]);
    const auto growth = [&](double small_ms, double large_ms) {
      return e.first == e.second
                 ? -1
                 : Ratio(NsPerByte(large_ms, large_xml), NsPerByte(small_ms, small_xml));
    };
    const double lin[3] = {growth(s.fresh_ms, l.fresh_ms), growth(s.warm_ms, l.warm_ms),
                           growth(s.cli_ms, l.cli_ms)};
    std::string misses;
    const auto miss = [&misses](bool missed, const char* what) {
      if (missed) misses += std::string(misses.empty() ? "" : ", ") + what;
    };
    miss(v.fresh < kFreshTarget, "fresh");
    miss(v.warm < WarmTarget(family), "warm");
    miss(v.api_k > kApiK, "API memory");
    miss(v.cli_k > kCliK, "CLI memory");
    miss(lin[0] > kLinearity || lin[1] > kLinearity, "linearity");
    std::printf("%-14s %-18s %6s %6s %6s %6s %6s %6s %7s   %s\n", family.c_str(),
                docs[e.second]->name.c_str(), Fixed(v.fresh, 0, 6).c_str(),
                Fixed(v.warm, 0, 6).c_str(), Fixed(v.api_k, 2, 6).c_str(),
                Fixed(v.cli_k, 2, 6).c_str(), Fixed(lin[0], 2, 6).c_str(),
                Fixed(lin[1], 2, 6).c_str(), Fixed(lin[2], 2, 7).c_str(), misses.c_str());
  }
}

// Converts every document in new processes and repeated in one, with each
// build; prints a table per build and, with two builds, the ratios.
void UsersTables(const std::vector<Document*>& docs, const UsersOptions& options) {
  const std::string dir = WorkFolder();
  if (dir.empty()) {
    std::fprintf(stderr, "bench_convert: no folder for the documents\n");
    return;
  }
  setenv("KDX2XML_DECIMAL_SEPARATOR", ",", 1);
  setenv("SOURCE_DATE_EPOCH", "1678838400", 1);
  const std::string input = dir + "/in.kdx", output = dir + "/out.xml";
  const auto write = [&input](const std::string& bytes) {
    std::ofstream(input, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  // The tool's own peak: converting a document of a few hundred bytes of XML.
  write(kdx::bench::PriceList(1));
  std::vector<double> baselines;
  for (const auto& f : kdx::bench::MeasureUsers(options.builds, input, output, 3, 1)) {
    baselines.push_back(f.cli_peak);
  }
  std::vector<std::vector<kdx::bench::UserFigures>> figures;
  for (Document* doc : docs) {
    write(doc->Input());
    figures.push_back(
        kdx::bench::MeasureUsers(options.builds, input, output, options.fresh, options.warm));
    const kdx::bench::Times& t = figures.back()[0].wall;
    std::fprintf(stderr, "  %-28s fresh %9.1f ms  warm %9.1f ms  CLI %9.1f ms\n", doc->name.c_str(),
                 t.fresh_ms, t.warm_ms, t.cli_ms);
  }
  std::remove(input.c_str());
  rmdir(dir.c_str());

  double load[1] = {-1};
  getloadavg(load, 1);
  const std::pair<const char*, Clock> clocks[] = {
      {"wall time", &kdx::bench::UserFigures::wall},
      {"CPU time of the process (user and system)", &kdx::bench::UserFigures::cpu}};
  for (const auto& [name, clock] : clocks) {
    std::printf(
        "\nWhat users run, by %s\n(median of %d new processes and of %d conversions in one\n"
        "process after a first; fresh and warm: InitKDX to the end of GetData through the shared\n"
        "library; CLI: the tool writing a file, start to exit; API k, CLI k: peak memory added by\n"
        "one conversion = input + k x XML; %ld cores, load average %.1f)\n",
        name, options.fresh, options.warm, sysconf(_SC_NPROCESSORS_ONLN), load[0]);
    for (size_t b = 0; b < options.builds.size(); ++b) {
      std::printf("\n%s: %s\n", b == 0 ? "this build" : "against",
                  options.builds[b].library.c_str());
      PrintUsersTable(docs, figures, baselines, b, clock);
    }
  }
  if (options.builds.size() < 2) return;
  std::printf(
      "\nThis build's time (wall and CPU) and memory against %s: times as the\n"
      "median of the ratios run by run, memory as the ratio of the medians (below 1: this\n"
      "build is faster or smaller)\n",
      options.against.c_str());
  std::printf("%-20s %7s %7s %7s %7s %7s %7s %7s %7s\n", "document", "fresh", "warm", "CLI",
              "fr CPU", "wa CPU", "CLI CPU", "API mem", "CLI mem");
  for (size_t d = 0; d < docs.size(); ++d) {
    const auto& a = figures[d][0];
    const auto& o = figures[d][1];
    const kdx::bench::Times wall = kdx::bench::PairedRatios(a.wall_runs, o.wall_runs);
    const kdx::bench::Times cpu = kdx::bench::PairedRatios(a.cpu_runs, o.cpu_runs);
    std::printf("%-20s %7s %7s %7s %7s %7s %7s %7s %7s\n", docs[d]->name.c_str(),
                Fixed(wall.fresh_ms, 3, 7).c_str(), Fixed(wall.warm_ms, 3, 7).c_str(),
                Fixed(wall.cli_ms, 3, 7).c_str(), Fixed(cpu.fresh_ms, 3, 7).c_str(),
                Fixed(cpu.warm_ms, 3, 7).c_str(), Fixed(cpu.cli_ms, 3, 7).c_str(),
                Fixed(Ratio(a.api_added, o.api_added), 3, 7).c_str(),
                Fixed(Ratio(a.cli_peak - baselines[0], o.cli_peak - baselines[1]), 3, 7).c_str());
  }
}

int WriteDocuments(const std::vector<Document*>& docs, const std::string& dir) {
  for (Document* d : docs) {
    Document& doc = *d;
    const std::string& bytes = doc.Input();
    std::string name = doc.name;
    std::replace(name.begin(), name.end(), '/', '-');
    std::ofstream out(dir + "/" + name + ".kdx", std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "bench_convert: cannot write %s/%s.kdx\n", dir.c_str(), name.c_str());
      return 1;
    }
    std::printf("%s/%s.kdx %zu bytes, XML %zu bytes\n", dir.c_str(), name.c_str(), bytes.size(),
                doc.xml_size);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // --no-memory leaves out the memory measurements (and the tool's runs);
  // --quiet prints the tables with a line per measurement on the way;
  // --write DIR writes the documents as DIR/NAME.kdx and measures nothing, so
  // that other builds or tools can be timed on the same bytes;
  // --documents REGEX measures (or writes) only the documents whose names it
  // matches;
  // --users-only measures only what users run, not the stages;
  // --fresh N, --warm N: the runs of what users run (5 and 5);
  // --against DIR measures another build folder's libkdx2xml.so and kdx2xml
  // in turn with this build's, and prints the ratios; --build DIR takes this
  // build's library and tool from another folder for what users run.
  bool memory = true, quiet = false, users_only = false;
  std::regex documents(".*");
  std::string write;
  UsersOptions users;
  users.builds.push_back({KDX2XML_LIBRARY, KDX2XML_CLI});
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool valued = i + 1 < argc;
    if (arg == "--no-memory") {
      memory = false;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--users-only") {
      users_only = true;
    } else if (arg == "--write" && valued) {
      write = argv[++i];
    } else if (arg == "--documents" && valued) {
      documents = std::regex(argv[++i]);
    } else if ((arg == "--fresh" || arg == "--warm") && valued) {
      (arg == "--fresh" ? users.fresh : users.warm) = std::max(1, std::atoi(argv[++i]));
    } else if ((arg == "--against" || arg == "--build") && valued) {
      const std::string dir = argv[++i];
      const kdx::bench::Build build{dir + "/libkdx2xml.so", dir + "/kdx2xml"};
      for (const std::string& file : {build.library, build.cli}) {
        if (access(file.c_str(), R_OK) != 0) {
          std::fprintf(stderr, "bench_convert: no %s (build it there first)\n", file.c_str());
          return 2;
        }
      }
      if (arg == "--build") {
        users.builds[0] = build;
      } else {
        users.against = dir;
        users.builds.resize(1);
        users.builds.push_back(build);
      }
    } else {
      args.push_back(argv[i]);
    }
  }
  std::vector<Document*> chosen;
  for (Document& doc : Documents()) {
    if (std::regex_search(doc.name, documents)) chosen.push_back(&doc);
  }
  if (!write.empty()) return WriteDocuments(chosen, write);
  if (memory && !users_only) Launcher();
  int count = static_cast<int>(args.size());
  if (!users_only) {
    for (Document* doc : chosen) {
      for (const auto& [stage, run] : Stages()) {
        benchmark::RegisterBenchmark((doc->name + "/" + stage).c_str(),
                                     [doc, run = run](benchmark::State& s) { run(s, *doc); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
  UsersTables(chosen, users);
  if (!users_only) {
    CollectingReporter reporter(quiet);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintTables(reporter, memory);
  }
  benchmark::Shutdown();
  return 0;
}

// -d OUTDIR: many inputs, one .xml each, converted by parallel workers, with a
// progress bar on a terminal and a summary line at the end.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli.h"

#if defined(_WIN32)
#include <io.h>
#define KDX_ISATTY(fd) _isatty(fd)
#define KDX_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define KDX_ISATTY(fd) isatty(fd)
#define KDX_FILENO(f) fileno(f)
#endif

namespace kdx::cli {
namespace fs = std::filesystem;
namespace {

// The bar is drawn for more inputs than this, when stderr is a terminal.
constexpr size_t kProgressAfterFiles = 4;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr size_t kBarWidth = 30;

struct Job {
  std::string input;
  std::string output;
};

// Failure lines and the progress bar share stderr; the bar is the last line
// and is cleared before anything else is printed.
class Progress {
 public:
  Progress(size_t total, bool shown) : total_(total), shown_(shown) {}

  void Print(const std::string& line) {
    std::lock_guard<std::mutex> guard(mutex_);
    Clear();
    std::fputs(line.c_str(), stderr);
    if (shown_) Draw();
  }

  void Done(bool failed) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++done_;
    failed_ += failed;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && (done_ == total_ || now - last_draw_ >= kRedrawInterval)) {
      Clear();
      Draw();
      last_draw_ = now;
    }
  }

  void Finish() {
    std::lock_guard<std::mutex> guard(mutex_);
    Clear();
  }

 private:
  void Draw() {
    const size_t filled = total_ ? done_ * kBarWidth / total_ : kBarWidth;
    std::string bar(1, '[');
    bar.append(filled, '#').append(kBarWidth - filled, '.').append("] ");
    bar.append(std::to_string(done_)).append("/").append(std::to_string(total_));
    if (failed_) bar.append(", ").append(std::to_string(failed_)).append(" failed");
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = bar.size();
  }

  void Clear() {
    if (drawn_ == 0) return;
    std::string blank(drawn_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    std::fputs(blank.c_str(), stderr);
    drawn_ = 0;
  }

  std::mutex mutex_;
  const size_t total_;
  const bool shown_;
  size_t done_ = 0;
  size_t failed_ = 0;
  size_t drawn_ = 0;
  std::chrono::steady_clock::time_point last_draw_;
};

Outcome RunJob(const Job& job, Encoding encoding) {
  ByteBlock data;
  std::string error;
  if (!ReadInput(job.input, data, error))
    return {kIoError, "cannot read " + job.input + ": " + error};
  return ConvertFile(data, encoding, job.input, job.output);
}

// Two inputs that would write the same file, or an output that is an input:
// the command line would lose data, so nothing is converted.
bool CheckOutputs(const std::vector<Job>& jobs, std::string& error) {
  std::map<std::string, const Job*> seen;
  for (const Job& job : jobs) {
    std::string key = fs::path(job.output).lexically_normal().string();
#if defined(_WIN32)
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
#endif
    auto [it, inserted] = seen.emplace(key, &job);
    if (!inserted) {
      error = it->second->input + " and " + job.input + " would both be written to " + job.output;
      return false;
    }
    std::error_code ec;
    if (job.input != kStdin && fs::equivalent(job.input, job.output, ec)) {
      error = "the output " + job.output + " would overwrite its input";
      return false;
    }
  }
  return true;
}

}  // namespace

int RunBatch(const Options& options) {
  std::vector<Job> jobs;
  for (const std::string& input : options.inputs) {
    const std::string stem = input == kStdin ? "stdin" : fs::path(input).stem().string();
    jobs.push_back({input, (fs::path(options.output_dir) / (stem + ".xml")).string()});
  }
  std::string error;
  if (!CheckOutputs(jobs, error)) {
    std::fprintf(stderr, "kdx2xml: %s\n", error.c_str());
    return kUsage;
  }
  std::error_code ec;
  fs::create_directories(options.output_dir, ec);
  if (ec || !fs::is_directory(options.output_dir)) {
    if (!ec) ec = std::make_error_code(std::errc::not_a_directory);
    std::fprintf(stderr, "kdx2xml: cannot create the directory %s: %s\n",
                 options.output_dir.c_str(), ec.message().c_str());
    return kIoError;
  }

  unsigned workers =
      options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  workers = static_cast<unsigned>(std::min<size_t>(workers, jobs.size()));
  Progress progress(jobs.size(),
                    jobs.size() > kProgressAfterFiles && KDX_ISATTY(KDX_FILENO(stderr)));
  std::atomic<size_t> next{0};
  std::atomic<size_t> converted{0}, conversion_failures{0}, io_failures{0};
  auto work = [&] {
    for (size_t i; (i = next.fetch_add(1)) < jobs.size();) {
      Outcome outcome;
      try {
        outcome = RunJob(jobs[i], options.encoding);
      } catch (const std::exception& e) {  // out of memory for a huge input, say
        outcome = {kIoError, "cannot convert " + jobs[i].input + ": " + e.what()};
      }
      if (outcome.code == kOk) {
        ++converted;
      } else {
        ++(outcome.code == kConversionFailed ? conversion_failures : io_failures);
        progress.Print("kdx2xml: " + outcome.message + "\n");
      }
      progress.Done(outcome.code != kOk);
    }
  };

  const auto start = std::chrono::steady_clock::now();
  if (workers <= 1) {
    work();
  } else {
    std::vector<std::thread> threads;
    try {
      for (unsigned t = 0; t < workers; ++t) threads.emplace_back(work);
    } catch (const std::system_error&) {
      // The system gives fewer threads than asked for: the ones started (or,
      // with none, this thread) do all the work.
      if (threads.empty()) work();
    }
    for (auto& thread : threads) thread.join();
  }
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  progress.Finish();
  char time[32];
  std::snprintf(time, sizeof time, "%.2f s", seconds.count());
  const std::string summary = "kdx2xml: " + std::to_string(converted.load()) + " converted, " +
                              std::to_string(conversion_failures + io_failures) + " failed in " +
                              time + "\n";
  std::fputs(summary.c_str(), stderr);
  if (conversion_failures) return kConversionFailed;
  return io_failures ? kIoError : kOk;
}

}  // namespace kdx::cli

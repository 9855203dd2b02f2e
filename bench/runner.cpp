// A host of the shared library in a process of its own, as a script or an
// application that converts one document would be: it loads the library,
// reads one packed document and converts it through the C exports RUNS times.
//
// Usage: bench_runner LIBRARY INPUT RUNS
//        bench_runner --tool PROGRAM [ARGUMENTS...]
//
// Per run it prints one line "NS CPU XML PEAK": the wall time in nanoseconds
// from InitKDX to the end of GetData (the host's buffer is allocated in
// between, as a host does), the process's CPU time (user and system, page
// faults included) over the same span, the XML's size in bytes and, for the
// first run only, the
// bytes the conversion added to the peak resident size of the process (the
// host's copy included; later runs print 0). The first run of a new process
// is the fresh figure; the others the warm one. It links nothing of the
// converter, so the same runner times any build's library.
//
// With --tool it starts the program instead and prints "NS CPU PEAK": the
// wall time from starting it to its exit, its CPU time and its peak resident
// size in bytes. A
// process started by a large one would count the large one's size in its
// peak, so the benchmark starts the tool through this small process.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

using KdxHandle = uintptr_t;
using InitFn = KdxHandle (*)(const void*, int32_t);
using SizeFn = int32_t (*)(KdxHandle);
using DataFn = uint32_t (*)(KdxHandle, void*, uint32_t);
using ReleaseFn = int32_t (*)(KdxHandle);

int Fail(const char* what, const char* detail) {
  std::fprintf(stderr, "bench_runner: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
  return 2;
}

int64_t Nanoseconds(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
int64_t Now() { return Nanoseconds(CLOCK_MONOTONIC); }
int64_t Cpu() { return Nanoseconds(CLOCK_PROCESS_CPUTIME_ID); }

int64_t Nanoseconds(const timeval& tv) {
  return static_cast<int64_t>(tv.tv_sec) * 1000000000 + static_cast<int64_t>(tv.tv_usec) * 1000;
}

// A field of /proc/self/status in bytes (the kernel gives kB), or -1. Read
// with a fixed buffer, so that the reading allocates nothing.
int64_t StatusBytes(const char* field) {
  char text[4096];
  const int fd = open("/proc/self/status", O_RDONLY);
  if (fd < 0) return -1;
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return -1;
  text[n] = '\0';
  const size_t length = std::strlen(field);
  for (const char* line = text; line && *line; line = std::strchr(line, '\n')) {
    if (*line == '\n') ++line;
    if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
      return std::atoll(line + length + 1) * 1024;
    }
  }
  return -1;
}

// Resets the peak resident size to the current one.
void ResetPeak() {
  const int fd = open("/proc/self/clear_refs", O_WRONLY);
  if (fd < 0) return;
  if (write(fd, "5", 1) != 1) std::fprintf(stderr, "bench_runner: cannot reset the peak\n");
  close(fd);
}

bool ReadFile(const char* path, std::string& out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

int RunTool(char** argv) {
  const int64_t start = Now();
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return Fail("cannot start", argv[0]);
  const int64_t end = Now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail("the tool failed", argv[0]);
  std::printf("%lld %lld %lld\n", static_cast<long long>(end - start),
              static_cast<long long>(Nanoseconds(usage.ru_utime) + Nanoseconds(usage.ru_stime)),
              static_cast<long long>(usage.ru_maxrss) * 1024);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--tool") == 0) return RunTool(argv + 2);
  if (argc != 4) return Fail("usage: bench_runner LIBRARY INPUT RUNS", nullptr);
  const int runs = std::atoi(argv[3]);
  if (runs < 1) return Fail("RUNS must be at least 1", argv[3]);
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!library) return Fail("cannot load the library", dlerror());
  const auto init = reinterpret_cast<InitFn>(dlsym(library, "InitKDX"));
  const auto size_of = reinterpret_cast<SizeFn>(dlsym(library, "GetDataSize"));
  const auto data = reinterpret_cast<DataFn>(dlsym(library, "GetData"));
  const auto release = reinterpret_cast<ReleaseFn>(dlsym(library, "ReleaseKDXHandle"));
  if (!init || !size_of || !data || !release) return Fail("the library lacks an export", argv[1]);
  std::string input;
  if (!ReadFile(argv[2], input)) return Fail("cannot read", argv[2]);

  for (int run = 0; run < runs; ++run) {
    ResetPeak();
    const int64_t resident = run == 0 ? StatusBytes("VmRSS") : 0;
    const int64_t cpu = Cpu();
    const int64_t start = Now();
    const KdxHandle handle = init(input.data(), static_cast<int32_t>(input.size()));
    const int32_t size = handle ? size_of(handle) : 0;
    char* host = size > 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(size))) : nullptr;
    const uint32_t copied = host ? data(handle, host, static_cast<uint32_t>(size)) : 0;
    const int64_t end = Now();
    const int64_t cpu_end = Cpu();
    const int64_t peak = run == 0 ? StatusBytes("VmHWM") : 0;
    if (handle == 0 || copied == 0 || copied != static_cast<uint32_t>(size)) {
      return Fail("the conversion failed", argv[2]);
    }
    release(handle);
    std::free(host);
    const int64_t added = run == 0 && resident >= 0 && peak >= 0 ? peak - resident : 0;
    std::printf("%lld %lld %d %lld\n", static_cast<long long>(end - start),
                static_cast<long long>(cpu_end - cpu), size, static_cast<long long>(added));
  }
  return 0;
}

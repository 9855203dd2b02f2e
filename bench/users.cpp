#include "users.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

extern char** environ;

namespace kdx::bench {
namespace {

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs the program with the arguments; its standard output, or "" when it
// could not be started or failed.
std::string Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return "";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string out;
  if (error == 0) {
    char chunk[4096];
    ssize_t n;
    while ((n = read(fds[0], chunk, sizeof chunk)) > 0) out.append(chunk, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  if (error != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench: %s failed on %s\n", args[1].c_str(), args.back().c_str());
    return "";
  }
  return out;
}

// The runner's lines: wall and CPU nanoseconds, XML bytes, peak added.
struct RunnerLine {
  double wall_ms, cpu_ms, xml, added;
};
std::vector<RunnerLine> Lines(const std::string& out) {
  std::vector<RunnerLine> lines;
  std::istringstream in(out);
  long long wall, cpu, xml, added;
  while (in >> wall >> cpu >> xml >> added) {
    lines.push_back({static_cast<double>(wall) * 1e-6, static_cast<double>(cpu) * 1e-6,
                     static_cast<double>(xml), static_cast<double>(added)});
  }
  return lines;
}

double PairedRatio(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> ratios;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] >= 0 && b[i] > 0) ratios.push_back(a[i] / b[i]);
  }
  return Median(std::move(ratios));
}

}  // namespace

Times Runs::Medians() const { return {Median(fresh), Median(warm), Median(cli)}; }

Times PairedRatios(const Runs& a, const Runs& b) {
  return {PairedRatio(a.fresh, b.fresh), PairedRatio(a.warm, b.warm), PairedRatio(a.cli, b.cli)};
}

std::vector<UserFigures> MeasureUsers(const std::vector<Build>& builds, const std::string& input,
                                      const std::string& output, int fresh, int warm) {
  struct BuildSamples {
    Runs wall, cpu;
    std::vector<double> added, cli_peak;
    double xml = -1;
  };
  std::vector<BuildSamples> samples(builds.size());
  for (int round = 0; round < fresh; ++round) {
    for (size_t b = 0; b < builds.size(); ++b) {
      BuildSamples& s = samples[b];
      if (const auto lines = Lines(Run({KDX2XML_RUNNER, builds[b].library, input, "1"}));
          lines.size() == 1) {
        s.wall.fresh.push_back(lines[0].wall_ms);
        s.cpu.fresh.push_back(lines[0].cpu_ms);
        s.added.push_back(lines[0].added);
        s.xml = lines[0].xml;
      }
      std::istringstream tool(Run({KDX2XML_RUNNER, "--tool", builds[b].cli, "-o", output, input}));
      if (long long wall, cpu, peak; tool >> wall >> cpu >> peak) {
        s.wall.cli.push_back(static_cast<double>(wall) * 1e-6);
        s.cpu.cli.push_back(static_cast<double>(cpu) * 1e-6);
        s.cli_peak.push_back(static_cast<double>(peak));
      }
      std::remove(output.c_str());
    }
  }
  for (size_t b = 0; b < builds.size(); ++b) {
    const auto lines =
        Lines(Run({KDX2XML_RUNNER, builds[b].library, input, std::to_string(warm + 1)}));
    for (size_t i = 1; i < lines.size(); ++i) {
      samples[b].wall.warm.push_back(lines[i].wall_ms);
      samples[b].cpu.warm.push_back(lines[i].cpu_ms);
    }
  }
  std::vector<UserFigures> figures;
  for (const BuildSamples& s : samples) {
    figures.push_back({.xml_bytes = s.xml,
                       .wall = s.wall.Medians(),
                       .cpu = s.cpu.Medians(),
                       .wall_runs = s.wall,
                       .cpu_runs = s.cpu,
                       .api_added = Median(s.added),
                       .cli_peak = Median(s.cli_peak)});
  }
  return figures;
}

}  // namespace kdx::bench

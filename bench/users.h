// What a user of the library meets: one conversion in a new process (the
// library's exports from a host, and the command-line tool to a file) and the
// same conversion repeated in one process, each timed from outside by wall
// clock, with the memory one conversion adds.
#pragma once

#include <string>
#include <vector>

namespace kdx::bench {

// One build of the converter: its shared library and its command-line tool.
struct Build {
  std::string library, cli;
};

// Medians over the runs in ms; negative when a figure could not be taken (a
// failed run says why on standard error).
struct Times {
  double fresh_ms = -1;  // InitKDX to the end of GetData, a new process per run
  double warm_ms = -1;   // the same, repeated in one process
  double cli_ms = -1;    // the tool from start to exit, writing a file
};

// Every run's time in ms, in the order of the runs.
struct Runs {
  std::vector<double> fresh, warm, cli;
  Times Medians() const;
};

struct UserFigures {
  double xml_bytes = -1;
  // By wall clock, and by the CPU time of the process (user and system, its
  // page faults included), which a busy machine disturbs less.
  Times wall{}, cpu{};
  Runs wall_runs{}, cpu_runs{};
  double api_added = -1;  // bytes added to the peak by a fresh conversion, host copy included
  double cli_peak = -1;   // the tool's peak resident size in bytes
};

// Measures the document at `input` with every build, the builds taking turns
// run by run so that a change in the machine's load hits all alike: `fresh`
// new processes through the exports and as many runs of the tool writing
// `output`, then one process converting `warm` times after a first
// conversion that is left out.
std::vector<UserFigures> MeasureUsers(const std::vector<Build>& builds, const std::string& input,
                                      const std::string& output, int fresh, int warm);

// The median of the ratios a / b run by run: as the builds take turns, a
// change in the machine's speed affects both sides of each ratio alike.
Times PairedRatios(const Runs& a, const Runs& b);

}  // namespace kdx::bench

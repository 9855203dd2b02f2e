// kdx2xml: converts KDX documents into XML with the library the exports wrap.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli.h"

#ifndef KDX2XML_VERSION_TEXT
#define KDX2XML_VERSION_TEXT "0.0.0.0"
#endif

namespace kdx::cli {
namespace {

int Usage(const std::string& message) {
  std::fprintf(stderr, "kdx2xml: %s\nTry 'kdx2xml --help'.\n", message.c_str());
  return kUsage;
}

// One input, its XML to standard output or to the -o file.
int RunSingle(const Options& options) {
  const std::string& input = options.inputs.front();
  std::error_code ec;
  if (!options.output.empty() && input != kStdin &&
      std::filesystem::equivalent(input, options.output, ec)) {
    return Usage("the output " + options.output + " would overwrite its input");
  }
  ByteBlock data;
  std::string error;
  if (!ReadInput(input, data, error)) {
    std::fprintf(stderr, "kdx2xml: cannot read %s: %s\n", input.c_str(), error.c_str());
    return kIoError;
  }
  const Outcome outcome = options.output.empty()
                              ? ConvertToStdout(data, options.encoding, input)
                              : ConvertFile(data, options.encoding, input, options.output);
  if (outcome.code != kOk) std::fprintf(stderr, "kdx2xml: %s\n", outcome.message.c_str());
  return outcome.code;
}

// --info: one line per input.
int RunInfo(const Options& options) {
  int status = kOk;
  for (const std::string& input : options.inputs) {
    ByteBlock data;
    std::string error;
    if (!ReadInput(input, data, error)) {
      std::fprintf(stderr, "kdx2xml: cannot read %s: %s\n", input.c_str(), error.c_str());
      if (status == kOk) status = kIoError;
      continue;
    }
    bool ok = false;
    const std::string line = input + ": " + DescribeHeader(data.view(), ok) + "\n";
    std::fputs(line.c_str(), stdout);
    if (!ok) status = kConversionFailed;
  }
  return std::fflush(stdout) == 0 ? status : kIoError;
}

}  // namespace
}  // namespace kdx::cli

int main(int argc, char** argv) {
  using namespace kdx::cli;
  Options options;
  std::string error;
  if (!ParseCommandLine(argc, argv, options, error)) return Usage(error);
  switch (options.action) {
    case Action::kHelp:
      std::fputs(kHelp, stdout);
      return kOk;
    case Action::kVersion:
      std::printf("kdx2xml %s\n", KDX2XML_VERSION_TEXT);
      return kOk;
    case Action::kInfo:
      return RunInfo(options);
    case Action::kConvert:
      break;
  }
  if (!options.output_dir.empty()) return RunBatch(options);
  return RunSingle(options);
}

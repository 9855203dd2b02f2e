// The command-line tool's parts: the command line, reading and writing files,
// one conversion as the library's exports make it, the batch runner and --info.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filer/byte_block.h"

namespace kdx::cli {

enum ExitCode { kOk = 0, kConversionFailed = 1, kUsage = 2, kIoError = 3 };

// The input name that stands for standard input.
inline constexpr std::string_view kStdin = "-";

enum class Encoding { kWindows1251, kUtf8 };
enum class Action { kConvert, kInfo, kHelp, kVersion };

struct Options {
  Action action = Action::kConvert;
  std::vector<std::string> inputs;
  std::string output;      // -o; empty: standard output
  std::string output_dir;  // -d; empty: no batch
  unsigned jobs = 0;       // -j; 0: one per core
  Encoding encoding = Encoding::kWindows1251;
};

extern const char kHelp[];

// Fills options from the command line; on a mistake returns false with the
// reason in error.
bool ParseCommandLine(int argc, char** argv, Options& options, std::string& error);

// What became of one input.
struct Outcome {
  ExitCode code = kOk;
  std::string message;  // why it failed, without the file name
};

// Reads a whole input file (or standard input for "-"), at most 2 GiB.
bool ReadInput(const std::string& path, ByteBlock& data, std::string& error);

// Converts one packed document with the settings and failure texts of the
// exports (data is moved in and freed once the document is read), its XML written
// as it is serialised, in the chosen encoding, without the whole XML in
// memory: to standard output, or into the file output. A failed conversion
// writes nothing (and leaves no file); a failed write stops the writing (and
// removes what was written to the file). The message is "cannot convert
// INPUT: failure text", "cannot write OUTPUT: reason" or "cannot write the
// standard output".
Outcome ConvertToStdout(ByteBlock& data, Encoding encoding, const std::string& input);
Outcome ConvertFile(ByteBlock& data, Encoding encoding, const std::string& input,
                    const std::string& output);

// The windows-1251 XML recoded to UTF-8, its declaration saying so.
std::string XmlToUtf8(std::string_view xml);

// The one-line description of a packed document's header for --info; ok is
// false when the header tells that the document cannot be converted.
std::string DescribeHeader(std::string_view bytes, bool& ok);

// Runs the conversions of a batch (-d) and prints the failures and a summary.
int RunBatch(const Options& options);

}  // namespace kdx::cli

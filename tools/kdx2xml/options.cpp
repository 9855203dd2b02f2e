// The command line of kdx2xml and its help text (kept in step with docs/kdx2xml.1).
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "cli.h"
#include "xml/settings.h"

namespace kdx::cli {

const char kHelp[] =
    "Usage: kdx2xml INPUT.kdx [-o OUTPUT.xml] [options]\n"
    "       kdx2xml INPUT.kdx... -d OUTDIR [-j N] [options]\n"
    "       kdx2xml --info INPUT.kdx...\n"
    "       kdx2xml --version | --help\n"
    "\n"
    "Converts KDX documents (estimate, object estimate, consolidated calculation,\n"
    "price list, price-index document or resource summary) into XML encoded in\n"
    "windows-1251. The XML of one input goes to standard output unless -o names a\n"
    "file; with -d every input is written into OUTDIR under its own base name\n"
    "with the extension .xml. An INPUT of - reads standard input.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE          write the XML of the one input to FILE\n"
    "  -d, --output-dir DIR       write one .xml per input into DIR (created when\n"
    "                             missing); prints a summary line at the end\n"
    "  -j, --jobs N               convert N files at a time (default: the number of\n"
    "                             cores)\n"
    "  --encoding ENC             windows-1251 (default) or utf-8; utf-8 also names\n"
    "                             that encoding in the XML declaration\n"
    "  --info                     print kind, signature, file version and size of\n"
    "                             each input without converting it\n"
    "  --decimal-separator C      decimal separator of numbers in the XML (one\n"
    "                             character); default: the LC_NUMERIC locale, or\n"
    "                             KDX2XML_DECIMAL_SEPARATOR when that is set\n"
    "  --max-xml-size BYTES       fail a document whose XML would be larger than\n"
    "                             BYTES (default: KDX2XML_MAX_XML_SIZE, else\n"
    "                             2147483647; larger values are allowed here)\n"
    "  --version                  print the program version\n"
    "  -h, --help                 print this help\n"
    "\n"
    "Environment:\n"
    "  SOURCE_DATE_EPOCH          seconds since 1970 used as today's date where a\n"
    "                             document has no date of its own\n"
    "  KDX2XML_MAX_XML_SIZE       the most bytes of XML a document may make\n"
    "\n"
    "Exit codes:\n"
    "  0  every input converted\n"
    "  1  a document could not be converted (each failure is printed with its\n"
    "     file name and reason)\n"
    "  2  wrong command line\n"
    "  3  an input could not be read or an output could not be written, and no\n"
    "     document failed to convert\n";

namespace {

constexpr unsigned kMaxJobs = 256;

bool ParseJobs(const char* text, unsigned& jobs) {
  const char* end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, jobs);
  return ec == std::errc() && ptr == end && jobs >= 1 && jobs <= kMaxJobs;
}

bool ParseEncoding(std::string name, Encoding& encoding) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (name == "utf-8" || name == "utf8") {
    encoding = Encoding::kUtf8;
  } else if (name == "windows-1251" || name == "cp1251") {
    encoding = Encoding::kWindows1251;
  } else {
    return false;
  }
  return true;
}

void SetEnvironment(const char* name, const std::string& value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, Options& options, std::string& error) {
  bool info = false;
  auto fail = [&error](std::string why) {
    error = std::move(why);
    return false;
  };
  // The value of an option: the next argument.
  auto value = [&](int& i, const std::string& arg, const char* what, std::string& out) {
    if (++i >= argc) return fail("option " + arg + " needs " + what);
    out = argv[i];
    return true;
  };
  std::string text;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.action = Action::kHelp;
      return true;
    }
    if (arg == "--version") {
      options.action = Action::kVersion;
      return true;
    }
    if (arg == "-o" || arg == "--output") {
      if (!value(i, arg, "a file name", options.output)) return false;
      if (options.output.empty()) return fail("the output file name is empty");
    } else if (arg == "-d" || arg == "--output-dir") {
      if (!value(i, arg, "a directory", options.output_dir)) return false;
      if (options.output_dir.empty()) return fail("the output directory is empty");
    } else if (arg == "-j" || arg == "--jobs" || (arg.size() > 2 && arg.rfind("-j", 0) == 0)) {
      if (arg.size() > 2 && arg[1] == 'j') {
        text = arg.substr(2);
      } else if (!value(i, arg, "a number", text)) {
        return false;
      }
      if (!ParseJobs(text.c_str(), options.jobs))
        return fail("the number of jobs must be 1 to " + std::to_string(kMaxJobs) + ", not '" +
                    text + "'");
    } else if (arg == "--encoding") {
      if (!value(i, arg, "an encoding", text)) return false;
      if (!ParseEncoding(text, options.encoding))
        return fail("unknown encoding '" + text + "' (windows-1251 or utf-8)");
    } else if (arg == "--info") {
      info = true;
    } else if (arg == "--decimal-separator") {
      if (!value(i, arg, "a character", text)) return false;
      if (text.size() != 1) return fail("the decimal separator must be one character");
      // Read by the library at every conversion.
      SetEnvironment("KDX2XML_DECIMAL_SEPARATOR", text);
    } else if (arg == "--max-xml-size") {
      if (!value(i, arg, "a number of bytes", text)) return false;
      const std::optional<uint64_t> bound = ParseByteCount(text.c_str());
      if (!bound || *bound == 0)
        return fail("the XML size bound must be a number of bytes, not '" + text + "'");
      // Read by the library at every conversion.
      SetEnvironment("KDX2XML_MAX_XML_SIZE", text);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + arg);
    } else {
      options.inputs.push_back(arg);
    }
  }

  if (options.inputs.empty()) return fail("no input file given");
  size_t stdin_count = 0;
  for (const auto& input : options.inputs) stdin_count += input == kStdin;
  if (stdin_count > 1) return fail("standard input (-) can be read only once");
  if (info) {
    options.action = Action::kInfo;
    return true;
  }
  if (!options.output.empty() && !options.output_dir.empty())
    return fail("-o and -d cannot be given together");
  if (options.inputs.size() > 1 && options.output_dir.empty())
    return fail("several inputs need an output directory (-d OUTDIR)");
  return true;
}

}  // namespace kdx::cli

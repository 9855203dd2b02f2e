// kdx2xml: converts one KDX document into XML through the library's exports.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "filer/codepage.h"
#include "kdx2xml/kdx2xml.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#ifndef KDX2XML_VERSION_TEXT
#define KDX2XML_VERSION_TEXT "0.0.0.0"
#endif

namespace {

enum ExitCode { kOk = 0, kConversionFailed = 1, kUsage = 2, kIoError = 3 };

const char kHelp[] =
    "Usage: kdx2xml INPUT.kdx [-o OUTPUT.xml] [--decimal-separator C]\n"
    "       kdx2xml --version | --help\n"
    "\n"
    "Converts a KDX document (estimate, object estimate, consolidated calculation,\n"
    "price list, price-index document or resource summary) into XML encoded in\n"
    "windows-1251. The XML goes to standard output unless -o names a file.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE          write the XML to FILE\n"
    "  --decimal-separator C      decimal separator of numbers in the XML (one\n"
    "                             character); default: the LC_NUMERIC locale, or\n"
    "                             KDX2XML_DECIMAL_SEPARATOR when that is set\n"
    "  --version                  print the program version\n"
    "  --help                     print this help\n"
    "\n"
    "Environment:\n"
    "  SOURCE_DATE_EPOCH          seconds since 1970 used as today's date where a\n"
    "                             document has no date of its own\n"
    "\n"
    "Exit codes:\n"
    "  0  converted\n"
    "  1  the document could not be converted (the reason is printed)\n"
    "  2  wrong command line\n"
    "  3  the input could not be read or the output could not be written\n";

int Usage(const std::string& message) {
  std::cerr << "kdx2xml: " << message << "\nTry 'kdx2xml --help'.\n";
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input_path, output_path;
  bool have_output = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return kOk;
    }
    if (arg == "--version") {
      std::cout << "kdx2xml " << KDX2XML_VERSION_TEXT << "\n";
      return kOk;
    }
    if (arg == "-o" || arg == "--output") {
      if (++i >= argc) return Usage("option " + arg + " needs a file name");
      output_path = argv[i];
      have_output = true;
    } else if (arg == "--decimal-separator") {
      if (++i >= argc) return Usage("option --decimal-separator needs a character");
      if (std::strlen(argv[i]) != 1) return Usage("the decimal separator must be one character");
      // Read by the library at its first call.
#if defined(_WIN32)
      _putenv_s("KDX2XML_DECIMAL_SEPARATOR", argv[i]);
#else
      setenv("KDX2XML_DECIMAL_SEPARATOR", argv[i], 1);
#endif
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (input_path.empty()) {
      input_path = arg;
    } else {
      return Usage("more than one input file given");
    }
  }
  if (input_path.empty()) return Usage("no input file given");

  std::ifstream in(input_path, std::ios::binary);
  if (!in) {
    std::cerr << "kdx2xml: cannot open " << input_path << ": " << std::strerror(errno) << "\n";
    return kIoError;
  }
  std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() > 0x7FFFFFFF) {
    std::cerr << "kdx2xml: " << input_path << " is larger than 2 GiB\n";
    return kIoError;
  }

  const KDXHandle handle = InitKDX(data.data(), static_cast<int32_t>(data.size()));
#if defined(_WIN32)
  const uint32_t error_code = GetLastError();
#else
  const uint32_t error_code = KDXGetLastError();
#endif
  if (handle == 0) {
    const kdx_char16* text = GetLastExceptionText();
    std::cerr << "kdx2xml: cannot convert " << input_path << ": "
              << (text ? kdx::Utf16ToUtf8(text) : "error code " + std::to_string(error_code))
              << "\n";
    return kConversionFailed;
  }
  const int32_t size = GetDataSize(handle);
  std::string xml(static_cast<size_t>(size), '\0');
  const uint32_t copied = GetData(handle, xml.data(), static_cast<uint32_t>(xml.size()));
  ReleaseKDXHandle(handle);
  if (copied != static_cast<uint32_t>(size)) {
    std::cerr << "kdx2xml: copying the XML failed\n";
    return kConversionFailed;
  }

  if (have_output) {
    std::ofstream out(output_path, std::ios::binary);
    out.write(xml.data(), static_cast<std::streamsize>(xml.size()));
    if (!out.flush()) {
      std::cerr << "kdx2xml: cannot write " << output_path << "\n";
      return kIoError;
    }
  } else {
#if defined(_WIN32)
    // The XML bytes go out as they are, without LF -> CR LF translation.
    std::cout.flush();
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::cout.write(xml.data(), static_cast<std::streamsize>(xml.size()));
    if (!std::cout.flush()) return kIoError;
  }
  return kOk;
}

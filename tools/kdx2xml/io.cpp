// Files in and out, and one conversion as the exports make it, its XML written
// into a file or to standard output as it is serialised.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "api/exports.h"
#include "cli.h"
#include "filer/codepage.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace kdx::cli {
namespace {

// InitKDX takes a 32-bit size.
constexpr size_t kMaxInput = 0x7FFFFFFF;
constexpr size_t kChunk = 1 << 16;

std::string ErrnoText(int code) { return std::generic_category().message(code); }

// Reads to the end in chunks (standard input has no size to ask for).
// What data holds already stays before the bytes read.
bool ReadAll(std::FILE* f, std::string& data, std::string& error) {
  size_t size = data.size();
  for (;;) {
    if (size > kMaxInput) {
      error = "larger than 2 GiB";
      return false;
    }
    data.resize(size + kChunk);
    const size_t got = std::fread(data.data() + size, 1, kChunk, f);
    size += got;
    if (got < kChunk) break;
  }
  data.resize(size);
  if (std::ferror(f)) {
    error = ErrnoText(errno);
    return false;
  }
  if (size > kMaxInput) {
    error = "larger than 2 GiB";
    return false;
  }
  return true;
}

}  // namespace

bool ReadInput(const std::string& path, ByteBlock& data, std::string& error) {
  data.Release();
  std::string read;
  if (path == kStdin) {
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    if (!ReadAll(stdin, read, error)) return false;
    data = ByteBlock(read.data(), read.size());
    return true;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = ErrnoText(errno);
    return false;
  }
  // A file that tells its size is read at once into a block of that size:
  // its pages are touched once and nothing is copied. One that has no size,
  // or is shorter or longer than it said, is read on in chunks.
  if (std::fseek(f, 0, SEEK_END) == 0) {
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    if (size > 0 && static_cast<unsigned long>(size) > kMaxInput) {
      std::fclose(f);
      error = "larger than 2 GiB";
      return false;
    }
    if (size > 0) {
      ByteBlock block(static_cast<size_t>(size));
      const size_t got = std::fread(block.data(), 1, block.size(), f);
      const int next = got == block.size() ? std::fgetc(f) : EOF;
      if (got == block.size() && next == EOF && !std::ferror(f)) {
        std::fclose(f);
        data = std::move(block);
        return true;
      }
      read.assign(block.data(), got);
      if (next != EOF) read.push_back(static_cast<char>(next));
    }
  }
  const bool ok = ReadAll(f, read, error);
  std::fclose(f);
  if (ok) data = ByteBlock(read.data(), read.size());
  return ok;
}

namespace {

// Removes a half-written output. Only a regular file: a device or pipe named
// as the output (/dev/full, a fifo) is not ours to remove.
void RemoveWritten(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
}

// The XML of a conversion into a file: the file is made when the first piece
// arrives, so a document that fails to load leaves no file (and an existing
// one as it was); a write failure stops the writing.
class FileSink final : public XmlSink {
 public:
  explicit FileSink(const std::string& path) : path_(path) {}
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;
  ~FileSink() {
    if (f_) std::fclose(f_);
  }

  void Write(std::string_view bytes) override {
    if (code_) return;
    if (!f_ && !(f_ = std::fopen(path_.c_str(), "wb"))) {
      code_ = errno;
      return;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), f_) != bytes.size()) code_ = errno ? errno : EIO;
  }

  // Closes the file. It stays only when the conversion finished and every
  // byte was written; otherwise no half-written XML is left behind under the
  // name of a finished one. False, with the reason, when writing failed.
  bool Finish(bool converted, std::string& error) {
    if (f_) {
      if (std::fclose(f_) != 0 && !code_) code_ = errno ? errno : EIO;
      f_ = nullptr;
      if (!converted || code_) RemoveWritten(path_);
    }
    if (!code_) return true;
    error = ErrnoText(code_);
    return false;
  }

 private:
  const std::string& path_;
  std::FILE* f_ = nullptr;
  int code_ = 0;
};

// Recodes the XML into UTF-8 piece by piece for the sink behind it. Each
// windows-1251 byte stands for one character, so pieces recode apart; the
// first piece holds the whole declaration, whose encoding it names anew.
class Utf8Sink final : public XmlSink {
 public:
  explicit Utf8Sink(XmlSink& out) : out_(out) {}
  void Write(std::string_view bytes) override {
    out_.Write(first_ ? XmlToUtf8(bytes) : Cp1251ToUtf8(bytes));
    first_ = false;
  }

 private:
  XmlSink& out_;
  bool first_ = true;
};

// The XML of a conversion to standard output, as its bytes are: without
// LF -> CR LF translation on Windows. A write failure stops the writing.
class StdoutSink final : public XmlSink {
 public:
  void Write(std::string_view bytes) override {
    if (failed_) return;
#if defined(_WIN32)
    if (first_) {
      std::fflush(stdout);
      _setmode(_fileno(stdout), _O_BINARY);
      first_ = false;
    }
#endif
    failed_ = std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size();
  }
  bool Finish() { return std::fflush(stdout) == 0 && !failed_; }

 private:
  bool failed_ = false;
#if defined(_WIN32)
  bool first_ = true;
#endif
};

// Converts into sink, recoded to UTF-8 on the way when asked; false with the
// failure text when the conversion fails.
bool ConvertInto(ByteBlock& data, Encoding encoding, XmlSink& sink, std::string& failure) {
  Utf8Sink utf8(sink);
  return api::ConvertForTool(std::move(data), encoding == Encoding::kUtf8 ? utf8 : sink, failure);
}

}  // namespace

Outcome ConvertToStdout(ByteBlock& data, Encoding encoding, const std::string& input) {
  StdoutSink out;
  std::string failure;
  const bool converted = ConvertInto(data, encoding, out, failure);
  const bool written = out.Finish();
  if (!converted) return {kConversionFailed, "cannot convert " + input + ": " + failure};
  if (!written) return {kIoError, "cannot write the standard output"};
  return {};
}

Outcome ConvertFile(ByteBlock& data, Encoding encoding, const std::string& input,
                    const std::string& output) {
  FileSink file(output);
  std::string failure, error;
  const bool converted = ConvertInto(data, encoding, file, failure);
  const bool written = file.Finish(converted, error);
  if (!converted) return {kConversionFailed, "cannot convert " + input + ": " + failure};
  if (!written) return {kIoError, "cannot write " + output + ": " + error};
  return {};
}

std::string XmlToUtf8(std::string_view xml) {
  constexpr std::string_view kDeclaration = "<?xml ";
  constexpr std::string_view kFrom = "encoding=\"windows-1251\"";
  constexpr std::string_view kTo = "encoding=\"utf-8\"";
  std::string out = Cp1251ToUtf8(xml);
  if (out.compare(0, kDeclaration.size(), kDeclaration) == 0) {
    const size_t end = out.find("?>");
    const size_t at = out.find(kFrom);
    if (at != std::string::npos && at < end) out.replace(at, kFrom.size(), kTo);
  }
  return out;
}

}  // namespace kdx::cli

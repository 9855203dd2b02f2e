// Writes the bundled sample documents into a directory (examples/ by default),
// or a local estimate of a chosen number of positions for benchmarks. Every
// document is built with the same document builder the tests use.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "samples/samples.h"

namespace {

struct Sample {
  const char* file;
  std::function<std::string()> make;
};

constexpr char kUsage[] =
    "usage: make_samples [DIR]                      write every sample into DIR (examples)\n"
    "       make_samples --positions N OUT.kdx      write a local estimate of N positions\n";

// The generator puts 400 positions into a chapter and an estimate holds at
// most 65535 chapters; this stays well below.
constexpr size_t kMaxPositions = 10'000'000;

bool Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    std::cerr << "make_samples: cannot write " << path << "\n";
    return false;
  }
  std::cout << path << " (" << bytes.size() << " bytes)\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << kUsage;
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--positions") == 0) {
    size_t positions = 0;
    const char* n = argc == 4 ? argv[2] : "";
    const auto [end, error] = std::from_chars(n, n + std::strlen(n), positions);
    if (argc != 4 || error != std::errc() || *end != '\0' || positions == 0 ||
        positions > kMaxPositions) {
      std::cerr << kUsage;
      return 2;
    }
    return Write(argv[3], kdx::samples::SmetaOfSize(positions)) ? 0 : 1;
  }
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string dir = argc > 1 ? argv[1] : "examples";
  const std::vector<Sample> samples = {
      {"pricelist.kdx", kdx::samples::PriceList},
      {"priceindexes.kdx", kdx::samples::PriceIndexes},
      {"ressummary.kdx", kdx::samples::ResSummary},
      {"objsmeta.kdx", kdx::samples::ObjSmeta},
      {"conscalc.kdx", kdx::samples::ConsCalc},
      {"smeta.kdx", kdx::samples::Smeta},
  };
  for (const auto& s : samples) {
    if (!Write(dir + "/" + s.file, s.make())) return 1;
  }
  return 0;
}

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
#include "support/hostile_documents.h"

namespace {

struct Sample {
  const char* file;
  std::function<std::string()> make;
};

constexpr char kUsage[] =
    "usage: make_samples [DIR]                      write every sample into DIR (examples)\n"
    "       make_samples --positions N OUT.kdx      write a local estimate of N positions\n"
    "       make_samples --hostile DIR              write documents of about 1 MB whose XML\n"
    "                                               would be gigabytes, and an estimate\n"
    "                                               excluding one coefficient many times\n";

// Documents as a hostile upload would make them: about 1 MB, their XML 2 to
// 9 GB (a long text named from 140,000 resources of 7 bytes, escaped or
// plain; a catalogue entry of long texts named by 42,000 materials), and an
// estimate of 1,800 positions each excluding the 32,767th coefficient 255 times.
const std::vector<Sample>& HostileDocuments() {
  using namespace kdx::test;
  static const std::vector<Sample> documents = {
      {"summary-quotes-2g.kdx", [] { return SharedNameSummary(2560, '"', 140000); }},
      {"summary-quotes-4g.kdx", [] { return SharedNameSummary(5120, '"', 140000); }},
      {"summary-quotes-6g.kdx", [] { return SharedNameSummary(7200, '"', 140000); }},
      {"estimate-catalogue-9g.kdx", [] { return CatalogueEntryEstimate(30000, 42000); }},
      {"summary-plain-2g.kdx", [] { return SharedNameSummary(15400, 'a', 140000); }},
      {"estimate-excluded.kdx", [] { return ExcludedCoefficientEstimate(32767, 1800, 255); }},
  };
  return documents;
}

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
  if (argc > 1 && std::strcmp(argv[1], "--hostile") == 0) {
    if (argc != 3) {
      std::cerr << kUsage;
      return 2;
    }
    for (const auto& d : HostileDocuments()) {
      if (!Write(std::string(argv[2]) + "/" + d.file, d.make())) return 1;
    }
    return 0;
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

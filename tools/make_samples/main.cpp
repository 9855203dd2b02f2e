// Writes the bundled sample documents into a directory (examples/ by default).
// Every sample is built with the same document builder the tests use.
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "samples.h"

namespace {

struct Sample {
  const char* file;
  std::function<std::string()> make;
};

}  // namespace

int main(int argc, char** argv) {
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
    const std::string path = dir + "/" + s.file;
    std::ofstream out(path, std::ios::binary);
    const std::string bytes = s.make();
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::cerr << "make_samples: cannot write " << path << "\n";
      return 1;
    }
    std::cout << path << " (" << bytes.size() << " bytes)\n";
  }
  return 0;
}

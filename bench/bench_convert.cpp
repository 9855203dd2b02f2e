// Conversion speed: a large price list (many resources in nested folders) and
// the bundled samples, through the core driver.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "api/convert.h"
#include "support/builder.h"

namespace {

using kdx::test::DocBuilder;

std::string LargePriceList(int folders, int per_folder) {
  DocBuilder b;
  b.Str("Большой прайс-лист").Date(2000, 1, 1).Str("База").Date(2023, 3, 1).Str("Текущие");
  b.Byte(15).ListHead(0, 3).Head("м3").Head("т").Head("шт");
  b.Byte(0b0100).I32(folders);
  for (int f = 0; f < folders; ++f) {
    b.Byte(1).Head("Раздел каталога № " + std::to_string(f)).I32(per_folder);
    for (int r = 0; r < per_folder; ++r) {
      b.Byte(0).Head("Материал строительный, позиция " + std::to_string(r));
      b.Str("401-" + std::to_string(10000 + r)).I16(static_cast<uint16_t>(r % 3));
      b.I16(0x0001 | 0x0004 | 0x0020 | 0x0080 | 0x0400);
      b.Cur("1234.56").Cur("98.7").I32(1500).Str("Цена & условия <поставки>");
      b.Str(r % 2 ? "БАЗА*8,15" : "15.5");
    }
  }
  b.Head("").I16(0).I16(0);
  return kdx::test::PackDocument(3, "KD_Cennk", 0x00010005, b.Bytes());
}

void Convert(benchmark::State& state, const std::string& doc) {
  const kdx::ConversionSettings settings = kdx::test::TestSettings();
  size_t out = 0;
  for (auto _ : state) {
    std::string xml =
        kdx::ConvertDocument(reinterpret_cast<const uint8_t*>(doc.data()), doc.size(), settings);
    out = xml.size();
    benchmark::DoNotOptimize(xml.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
  state.counters["xml_bytes"] = static_cast<double>(out);
}

void BM_LargePriceList(benchmark::State& state) {
  static const std::string doc = LargePriceList(100, 200);
  Convert(state, doc);
}
BENCHMARK(BM_LargePriceList)->Unit(benchmark::kMillisecond);

void BM_Sample(benchmark::State& state, const char* file) {
  std::ifstream in(std::string(KDX2XML_SOURCE_DIR) + "/examples/" + file, std::ios::binary);
  const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (doc.empty()) {
    state.SkipWithError("sample missing");
    return;
  }
  Convert(state, doc);
}
BENCHMARK_CAPTURE(BM_Sample, pricelist, "pricelist.kdx")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Sample, priceindexes, "priceindexes.kdx")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Sample, ressummary, "ressummary.kdx")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Sample, objsmeta, "objsmeta.kdx")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Sample, conscalc, "conscalc.kdx")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

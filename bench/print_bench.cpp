// morvel print's costs: CPU per page of a 4 x 6 inch PDF and of the
// carriers' documents at 203 dpi, the bytes of a ZPL label beside the
// uncompressed ^GFA hex, and a 500-page PDF streamed page by page (peak
// resident memory of the whole process).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <fstream>

#include "hosts/print/Print.h"
#include "tests/print/Documents.h"

namespace {

using namespace morvel;

void Label(cairo_t* cr, int n) {
  testing::TextAt(cr, 18, 30, 14, ("SHIP TO: MORVEL DOCK " + std::to_string(n)).c_str());
  testing::SymbolAt(cr, testing::Code128, "1Z999AA1012345" + std::to_string(1000 + n % 9000), 24, 50, 0.72, 60);
  testing::SymbolAt(cr, testing::QrCode, "https://morvel.example/t/" + std::to_string(n), 24, 260, 3.0, 0);
  testing::RampAt(cr, 150, 260, 120, 100);
}

const print::Target Zebra{"bench", lang::Language::Zpl, 203, 101.6, 152.4};

size_t PrintAll(const std::string& document, const print::Target& target) {
  size_t bytes = 0;
  print::Print(document, target, {}, [&](std::string_view b) {
    bytes += b.size();
    return true;
  });
  return bytes;
}

void BM_Pdf4x6Page(benchmark::State& state) {
  const std::string pdf = testing::PdfOf(288, 432, [](cairo_t* cr) { Label(cr, 7); });
  size_t bytes = 0;
  for (auto _ : state) bytes = PrintAll(pdf, Zebra);
  state.counters["zpl_bytes"] = static_cast<double>(bytes);
  state.counters["of_hex"] = static_cast<double>(bytes) / (102.0 * 1218 * 2);
}
BENCHMARK(BM_Pdf4x6Page)->Unit(benchmark::kMillisecond);

void BM_CarrierDocument(benchmark::State& state) {
  static const char* names[] = {"canadapost-letter.pdf", "hepsijet-80x100-raster.pdf", "gs1-carton-4x6-100dpi.png",
                                "ups-ground-landscape.gif"};
  const std::string name = names[state.range(0)];
  std::ifstream in(MORVEL_SOURCE_DIR "/../shared/doc-samples/" + name, std::ios::binary);
  const std::string document((std::istreambuf_iterator<char>(in)), {});
  size_t bytes = 0;
  for (auto _ : state) bytes = PrintAll(document, Zebra);
  state.SetLabel(name);
  state.counters["zpl_bytes"] = static_cast<double>(bytes);
  state.counters["of_hex"] = static_cast<double>(bytes) / (102.0 * 1218 * 2);
}
BENCHMARK(BM_CarrierDocument)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_Stream500Pages(benchmark::State& state) {
  std::string pdf;
  {
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(testing::AppendTo, &pdf, 288, 432);
    cairo_t* cr = cairo_create(surface);
    for (int n = 0; n < 500; ++n) {
      Label(cr, n);
      cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
  }
  size_t bytes = 0;
  for (auto _ : state) bytes = PrintAll(pdf, Zebra);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["pdf_mib"] = pdf.size() / 1048576.0;
  state.counters["zpl_mib"] = bytes / 1048576.0;
  state.counters["peak_rss_mib"] = usage.ru_maxrss / 1024.0;
  state.counters["ms_per_page"] =
      benchmark::Counter(500.0 * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Stream500Pages)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

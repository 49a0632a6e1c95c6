// morvel print's costs: CPU per page of a 4 x 6 inch PDF (this process's,
// and the PDF's drawing process's apart) and of the
// carriers' documents at 203 dpi, the bytes of a ZPL label beside the
// uncompressed ^GFA hex, and a 500-page PDF streamed page by page (peak
// resident memory of the whole process), and a picture of each kind at the
// pixel bound (6,000 x 6,000) printed in a child process (its peak memory).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "print/Print.h"
#include "tests/print/Documents.h"
#include "tests/print/PictureFiles.h"

namespace {

using namespace morvel;

void Label(cairo_t* cr, int n) {
  testing::TextAt(cr, 18, 30, 14, ("SHIP TO: MORVEL DOCK " + std::to_string(n)).c_str());
  testing::SymbolAt(cr, testing::Code128, "1Z999AA1012345" + std::to_string(1000 + n % 9000), 24, 50, 0.72, 60);
  testing::SymbolAt(cr, testing::QrCode, "https://morvel.example/t/" + std::to_string(n), 24, 260, 3.0, 0);
  testing::RampAt(cr, 150, 260, 120, 100);
}

// CPU time of the processes this one has waited for (the PDF's drawing
// processes among them), in milliseconds.
double ChildrenCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
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
  const double before = ChildrenCpuMs();
  for (auto _ : state) bytes = PrintAll(pdf, Zebra);
  state.counters["zpl_bytes"] = static_cast<double>(bytes);
  state.counters["of_hex"] = static_cast<double>(bytes) / (102.0 * 1218 * 2);
  // The drawing process's CPU time a document (its start included).
  state.counters["drawing_cpu_ms"] = (ChildrenCpuMs() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Pdf4x6Page)->Unit(benchmark::kMillisecond);

void BM_CarrierDocument(benchmark::State& state) {
  static const char* names[] = {"canadapost-letter.pdf", "hepsijet-80x100-raster.pdf", "gs1-carton-4x6-100dpi.png",
                                "ups-ground-landscape.gif"};
  const std::string name = names[state.range(0)];
  std::ifstream in(MORVEL_SOURCE_DIR "/../shared/doc-samples/" + name, std::ios::binary);
  const std::string document((std::istreambuf_iterator<char>(in)), {});
  size_t bytes = 0;
  const double before = ChildrenCpuMs();
  for (auto _ : state) bytes = PrintAll(document, Zebra);
  state.counters["drawing_cpu_ms"] = (ChildrenCpuMs() - before) / static_cast<double>(state.iterations());
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
  const double before = ChildrenCpuMs();
  for (auto _ : state) bytes = PrintAll(pdf, Zebra);
  state.counters["drawing_cpu_ms_per_page"] = (ChildrenCpuMs() - before) / (500.0 * state.iterations());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["pdf_mib"] = pdf.size() / 1048576.0;
  state.counters["zpl_mib"] = bytes / 1048576.0;
  state.counters["peak_rss_mib"] = usage.ru_maxrss / 1024.0;
  state.counters["ms_per_page"] =
      benchmark::Counter(500.0 * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Stream500Pages)->Unit(benchmark::kSecond)->Iterations(1);

// A picture at the pixel bound, of a photo's shades, printed on a 4 x 6
// label by a child of this process: the child's peak resident memory, which
// counts what this process held when it forked (`parent_rss_mib`).
void BM_PictureAtThePixelBound(benchmark::State& state) {
  static const char* names[] = {"png", "jpeg", "progressive jpeg", "gif", "bmp"};
  const int kind = static_cast<int>(state.range(0));
  const std::string picture = kind == 0   ? testing::PngFile({6000, 6000, PNG_COLOR_TYPE_RGB, 8, false, false, 1200})
                              : kind <= 2 ? testing::JpegFile({6000, 6000, JCS_RGB, JCS_YCbCr, kind == 2, 1, 1200})
                              : kind == 3 ? testing::GifFile({6000, 6000, 0, 0, 6000, 6000})
                                          : testing::BmpFile({40, 24, 6000, 6000, false, false, 47244});
  long peak = 0;
  for (auto _ : state) {
    const pid_t child = fork();
    if (child == 0) _exit(PrintAll(picture, Zebra) > 0 ? 0 : 1);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the picture did not print");
    peak = usage.ru_maxrss;
  }
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  state.SetLabel(names[kind]);
  state.counters["file_mib"] = picture.size() / 1048576.0;
  state.counters["peak_rss_mib"] = peak / 1024.0;
  state.counters["parent_rss_mib"] = self.ru_maxrss / 1024.0;
}
BENCHMARK(BM_PictureAtThePixelBound)->DenseRange(0, 4)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

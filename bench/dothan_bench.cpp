// How fast a Dothan label becomes a page: a 60 x 40 mm label at 203 dpi
// with a text, a Code 128, a QR code and a line, from LPAStartJob to the
// PNG bytes in the (recording) spooler; the same through the Dothan driver
// from InitPrint; and the renderer's share alone. One core, one label at a
// time. The goal is 200 labels a second (5 ms a label).
//
//   build/bin/dothan_bench
#include <benchmark/benchmark.h>

#include "drivers/Units.h"
#include "lpa/LabelPrintAPI.h"
#include "morvel/PrintBarCode.h"
#include "platform/fakes/fakes.h"
#include "render/Page.h"

namespace {

using namespace morvel;

// The printer list and spooler are fakes: what is measured is drawing and
// encoding, not the disk or the network.
struct Environment {
  Environment() { fakes.Printers->Printers = {{u"Dothan T7 Label", 203, "file:/unused"}}; }
  platform::FakeServices fakes;
};

void CountLabels(benchmark::State& state, size_t bytes) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["labels/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Keeps the recording spooler from growing without end.
size_t TakeBytes(platform::RecordingSpooler& spool) {
  size_t bytes = 0;
  for (auto& d : spool.Documents) bytes += d.Bytes().size();
  spool.Documents.clear();
  return bytes;
}

void BM_LpaLabelToPng(benchmark::State& state) {
  Environment env;
  platform::ScopedServices scope(env.fakes.AsServices());
  if (LPAOpenPrinter("Dothan T7 Label") != 1) {
    state.SkipWithError("the printer does not open");
    return;
  }
  size_t bytes = 0;
  for (auto _ : state) {
    LPAStartJob(6000, 4000, 0, 0, 1, "BarCodeDothan");
    LPAStartPage();
    LPADrawText("Morvel label 0001", 265, 212, 6000, 559, "DejaVu Sans", 459, 0);
    LPADrawLine(265, 952, 5556, 952, 40);
    LPADraw1DBarcode("12345678", 28, 265, 1164, 3175, 1588, 300);
    LPADraw2DQRCode("https://example.com/label/0001", 3969, 1164, 1750, 1750);
    LPAEndPage();
    LPACommitJob();
    bytes += TakeBytes(*env.fakes.Spool);
  }
  LPAClosePrinter();
  CountLabels(state, bytes);
}
BENCHMARK(BM_LpaLabelToPng);

// The same label through PrintBarCode and the Dothan driver (units, the
// library binding and the code page included).
void BM_DriverLabelToPng(benchmark::State& state) {
  Environment env;
  platform::ScopedServices scope(env.fakes.AsServices());
  PrintBarCode c;
  String name = u"Dothan T7 Label";
  c.SetPrint(name);
  c.OpenPort(name);
  String wide = u"60", height = u"40", speed = u"4", nd = u"10", cz = u"2", sp = u"1", direction = u"0";
  String txt = u"Morvel label 0001", face = u"DejaVu Sans", code = u"12345678", t128 = u"128", one = u"1", empty,
         kBar = u"120", qr = u"https://example.com/label/0001", tqr = u"QRCODE", copies = u"1";
  Single tx = 10, ty = 8, th = 12, bx = 10, by = 36, bw = 200, bh = 1, cx = 10, cy = 44, ch = 60, qx = 150, qh = 10;
  size_t bytes = 0;
  for (auto _ : state) {
    c.InitPrint(wide, height, speed, nd, cz, sp, direction);
    c.PrintFont(tx, ty, txt, th, face);
    c.PrintBar(bx, by, bw, bh);
    c.PrintCode(cx, cy, code, t128, one, ch, empty, kBar);
    c.PrintCode(qx, cy, qr, tqr, one, qh, empty, empty);
    c.PrintLabel(copies);
    bytes += TakeBytes(*env.fakes.Spool);
  }
  c.ClosePort();
  CountLabels(state, bytes);
  CurrentPrinter().reset();
}
BENCHMARK(BM_DriverLabelToPng);

// The renderer alone, in dots: drawing, the one-bit page, the PNG.
void BM_RenderOnly(benchmark::State& state) {
  size_t bytes = 0;
  render::TextStyle font{"DejaVu Sans", 36.7, false, false};
  for (auto _ : state) {
    render::Page page(480, 320, 203);
    page.Text(21, 17, 480, 45, "Morvel label 0001", font);
    page.Line(21, 76, 444, 76, 3.2);
    page.Code128(21, 93, 254, 127, "12345678", 24);
    page.QrCode(317, 93, 140, 140, "https://example.com/label/0001");
    bytes += render::EncodePng(page.ToBitmap(), 203).size();
  }
  CountLabels(state, bytes);
}
BENCHMARK(BM_RenderOnly);

}  // namespace

BENCHMARK_MAIN();

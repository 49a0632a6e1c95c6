// How fast the Zebra driver composes and delivers labels. The label is the
// worked label of the driver's tests (InitPrint, five fields, PrintLabel) on
// a 203 dpi printer with a 96 ppi screen.
//
//   build/bin/zebra_bench                       all of it
//   build/bin/zebra_bench --benchmark_filter=Compose
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "drivers/Units.h"
#include "morvel/PrintBarCode.h"
#include "platform/fakes/fakes.h"
#include "platform/linux/adapters.h"
#include "support/CaptureListener.h"
#include "support/CupsServer.h"

namespace {

using namespace morvel;

struct Label {
  String Wide = u"60", Height = u"40", Speed = u"4", Nd = u"10", Cz = u"2", Sp = u"1", Direction = u"0";
  Single X1 = 10, Y1 = 20, H1 = 12;
  String Txt = u"ABC", Face = u"F1.TTF";
  Single Bx = 10, By = 100, Bw = 200, Bh = 2;
  Single Cx = 10, Cy = 50, Ch = 50;
  String Code = u"12345678", Type128 = u"128", Readable = u"1", Z = u"1", K = u"3";
  Single Qx = 300, Qy = 10, Qh = 5;
  String QCode = u"ABC", QType = u"QRCODE", QReadable = u"0", Empty;
  String Copies = u"1";

  void PrintOn(PrintBarCode& c) {
    c.InitPrint(Wide, Height, Speed, Nd, Cz, Sp, Direction);
    c.PrintFont(X1, Y1, Txt, H1, Face);
    c.PrintBar(Bx, By, Bw, Bh);
    c.PrintCode(Cx, Cy, Code, Type128, Readable, Ch, Z, K);
    c.PrintCode(Qx, Qy, QCode, QType, QReadable, Qh, Empty, Empty);
    c.PrintLabel(Copies);
  }
};

// Fakes everywhere but the code page, which is the real one.
struct Environment {
  explicit Environment(const std::string& uri) {
    fakes.Printers->Printers = {{u"ZDesigner GK420t", 203, uri}};
    services = fakes.AsServices();
    services.Ansi = platform::MakeLinuxCodePage();
  }
  platform::FakeServices fakes;
  platform::Services services;
};

// Chooses the Zebra printer and opens its port.
void OpenZebra(PrintBarCode& control) {
  String name = u"ZDesigner GK420t";
  control.SetPrint(name);
  control.OpenPort(name);
}

void CountLabels(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations());
  state.counters["labels/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ComposeIntoRecordingSpooler(benchmark::State& state) {
  Environment env("file:/unused");
  platform::ScopedServices scope(env.services);
  PrintBarCode control;
  OpenZebra(control);
  Label label;
  auto& writes = env.fakes.Spool->Documents.at(0).Writes;
  size_t bytes = 0;
  for (auto _ : state) {
    label.PrintOn(control);
    bytes += writes.back().size();
    if (writes.size() >= 4096) writes.clear();
  }
  control.ClosePort();
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["labels/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  CurrentPrinter().reset();
}
BENCHMARK(BM_ComposeIntoRecordingSpooler);

// The same bytes written by hand: the dot conversions inline, one snprintf.
void BM_HandWrittenSnprintf(benchmark::State& state) {
  const double dpi = 203, ppi = 96;
  Label l;
  char buffer[512];
  size_t bytes = 0;
  auto px = [&](float v) { return static_cast<int>(std::nearbyint((1440.0 / ppi) / 1440 * v * dpi)); };
  auto pt = [&](float v) { return static_cast<int>(std::nearbyint((1.0 / 72) * v * dpi)); };
  auto mm = [&](float v) { return static_cast<int>(std::nearbyint((56.69286 / 1440) * v * dpi)); };
  for (auto _ : state) {
    benchmark::DoNotOptimize(l.X1);
    int n = std::snprintf(buffer, sizeof buffer,
                          "^XA^JMA^PW%d^PR%s,2,A~SD%d^LH%d,%d^PO%s"
                          "^FO%d,%d,0^CI26^SEE:GB18030.DAT^A@N,%d,%d,E:%s^FD%s^FS"
                          "^FO%d,%d^GB%d,%d,1^FS"
                          "^FO%d,%d^BY2,%g^BCN,%d,%s,N^FD%s^FS"
                          "^FO%d,%d^BQN,2,%g^FDQA,%s^FS^PQ%s^XZ",
                          mm(60), "4", 10 * 2, mm(1), mm(2), "N", px(l.X1), px(l.Y1), pt(l.H1), pt(l.H1), "F1.TTF",
                          "ABC", px(l.Bx), px(l.By), px(l.Bw), px(l.Bh), px(l.Cx), px(l.Cy), 3.0 / 1.0, px(l.Ch), "Y",
                          "12345678", px(l.Qx), px(l.Qy), static_cast<double>(l.Qh), "ABC", "1");
    benchmark::DoNotOptimize(buffer);
    bytes += static_cast<size_t>(n);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["labels/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HandWrittenSnprintf);

// End to end into a file: printer, many labels in one document.
void BM_EndToEndFilePrinter(benchmark::State& state) {
  char folder[] = "/tmp/morvel-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  Environment env(std::string("file:") + folder);
  env.services.Spool = platform::MakeLinuxSpooler();
  platform::ScopedServices scope(env.services);
  PrintBarCode control;
  OpenZebra(control);
  Label label;
  for (auto _ : state) label.PrintOn(control);
  control.ClosePort();
  CountLabels(state);
  std::filesystem::remove_all(folder);
  CurrentPrinter().reset();
}
BENCHMARK(BM_EndToEndFilePrinter);

// 1,000 jobs of one label each through a private cupsd, against lp -o raw of
// the same 1,000 label files; both timed from the first submission until the
// queue is idle and the listener has every job.
constexpr int CupsJobs = 1000;

double TimeUntilDelivered(testing::CupsServer& cups, testing::CaptureListener& printer, const std::string& queue,
                          size_t already, const std::function<void()>& submit) {
  auto start = std::chrono::steady_clock::now();
  submit();
  cups.WaitUntilIdle(queue, std::chrono::seconds(600));
  printer.WaitForConnections(already + CupsJobs, std::chrono::seconds(600));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_CupsThousandJobs(benchmark::State& state) {
  testing::CaptureListener printer;
  testing::CupsServer cups;
  if (!printer.Ready() || !cups.Ready() || !cups.AddRawQueue("GK420t", printer.Port(), "ZDesigner GK420t")) {
    state.SkipWithError(("no private cupsd: " + cups.Error()).c_str());
    return;
  }
  Environment env("cups:GK420t");
  env.services.Spool = platform::MakeLinuxSpooler();
  platform::ScopedServices scope(env.services);

  // The label files for lp, made once with the driver itself.
  char folder[] = "/tmp/morvel-bench-XXXXXX";
  mkdtemp(folder);
  std::string labelBytes;
  {
    platform::FakeServices fakes;
    fakes.Printers->Printers = {{u"ZDesigner GK420t", 203, ""}};
    platform::ScopedServices recording(fakes.AsServices());
    PrintBarCode c;
    OpenZebra(c);
    Label().PrintOn(c);
    labelBytes = fakes.Spool->Documents.at(0).Bytes();
  }
  std::string list = std::string(folder) + "/files";
  {
    std::ofstream files(list);
    for (int i = 0; i < CupsJobs; ++i) {
      std::string path = std::string(folder) + "/label" + std::to_string(i) + ".zpl";
      std::ofstream(path, std::ios::binary) << labelBytes;
      files << path << "\n";
    }
  }

  double morvelSeconds = 0, lpSeconds = 0;
  for (auto _ : state) {
    morvelSeconds = TimeUntilDelivered(cups, printer, "GK420t", printer.Connections().size(), [&] {
      PrintBarCode control;
      String name = u"ZDesigner GK420t";
      control.SetPrint(name);
      Label label;
      for (int i = 0; i < CupsJobs; ++i) {
        control.OpenPort(name);
        label.PrintOn(control);
        control.ClosePort();
      }
    });
    std::string lp = "xargs -a " + list + " -n 1 lp -h " + cups.Address() + " -d GK420t -o raw -s";
    lpSeconds = TimeUntilDelivered(cups, printer, "GK420t", printer.Connections().size(),
                                   [&] { (void)std::system(lp.c_str()); });
  }
  state.counters["morvel labels/s"] = CupsJobs / morvelSeconds;
  state.counters["lp labels/s"] = CupsJobs / lpSeconds;
  state.counters["lp time / morvel time"] = lpSeconds / morvelSeconds;
  std::filesystem::remove_all(folder);
  CurrentPrinter().reset();
}
BENCHMARK(BM_CupsThousandJobs)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

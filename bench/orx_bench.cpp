// windowsfont per call, for a short text and a long one, beside the same call
// preceded by what the Windows design paid every time: allocating and
// clearing a whole 1,200 × 12,000 one-bit work raster. The connection is a
// spooler printer whose writes are dropped, so the figures are the
// library's own work rather than the kernel's.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "orxlib/orxlib.h"
#include "platform/fakes/fakes.h"
#include "platform/linux/adapters.h"

namespace {

constexpr size_t FullRasterBytes = 1200 / 8 * 12000;
const std::string ShortText = "Lot 000123";
const std::string LongText = [] {
  std::string text;
  while (text.size() < 200) text += "Morvel 0123456789 ";
  return text.substr(0, 200);
}();

class DiscardingSpooler : public morvel::platform::Spooler {
 public:
  Handle OpenPrinter(std::u16string_view) override { return 1; }
  bool StartDoc(Handle, std::u16string_view) override { return true; }
  bool StartPage(Handle) override { return true; }
  bool Write(Handle, const uint8_t* data, size_t size, size_t& written) override {
    benchmark::DoNotOptimize(data);
    written = size;
    return true;
  }
  bool EndPage(Handle) override { return true; }
  bool EndDoc(Handle) override { return true; }
  bool ClosePrinter(Handle) override { return true; }
};

// Opens the printer once for the whole run, with the real code page.
struct Connection {
  morvel::platform::FakeServices Fakes;
  std::unique_ptr<morvel::platform::ScopedServices> Scope;
  bool Open = false;
  Connection() {
    Fakes.Printers->Printers = {{u"Orx Bench", 203, "file:/dev/null"}};
    auto services = Fakes.AsServices();
    services.Spool = std::make_shared<DiscardingSpooler>();
    services.Ansi = morvel::platform::MakeLinuxCodePage();
    Scope = std::make_unique<morvel::platform::ScopedServices>(services);
    Open = openport("Orx Bench") == 1;
  }
  ~Connection() { closeport(); }
};

bool Ready(benchmark::State& state) {
  static Connection connection;
  if (!connection.Open) state.SkipWithError("the printer did not open");
  return connection.Open;
}

// rotation 0 for the short text; the long one is turned 90 degrees, since
// 200 characters are wider than the 1,200 pixels of a row.
void Run(benchmark::State& state, const std::string& text, int rotation, bool fullRaster) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    if (fullRaster) {
      std::unique_ptr<uint8_t[]> raster(new uint8_t[FullRasterBytes]);
      std::memset(raster.get(), 0xFF, FullRasterBytes);
      benchmark::DoNotOptimize(raster.get());
      benchmark::ClobberMemory();
    }
    if (windowsfont(0, 0, 24, rotation, 0, 0, "DejaVu Sans", text.c_str()) != 1) {
      state.SkipWithError("windowsfont refused the text");
      return;
    }
  }
}

void BM_WindowsFontShort(benchmark::State& state) { Run(state, ShortText, 0, false); }
void BM_WindowsFontShortFullRaster(benchmark::State& state) { Run(state, ShortText, 0, true); }
void BM_WindowsFontLong(benchmark::State& state) { Run(state, LongText, 90, false); }
void BM_WindowsFontLongFullRaster(benchmark::State& state) { Run(state, LongText, 90, true); }

BENCHMARK(BM_WindowsFontShort)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WindowsFontShortFullRaster)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WindowsFontLong)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WindowsFontLongFullRaster)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

// How fast a job becomes pictures: the demo's Zebra label (the worked label
// of the driver's tests, QR on the label) at 203 dpi, read, drawn and encoded
// as PNG, one label per iteration on one thread; and the reading alone.
//
//   build/bin/preview_bench
#include <benchmark/benchmark.h>

#include "preview/Preview.h"

namespace {

const std::string DemoZebraLabel =
    "^XA^JMA^PW480^PR4,2,A~SD20^LH8,16^PON"
    "^FO21,42,0^CI26^SEE:GB18030.DAT^A@N,34,34,E:F1.TTF^FDABC^FS"
    "^FO21,211^GB423,4,1^FS"
    "^FO21,106^BY2,3^BCN,106,Y,N^FD12345678^FS"
    "^FO359,21^BQN,2,5^FDQA,ABC^FS^PQ1^XZ";

void PreviewDemoZebraLabel(benchmark::State& state) {
  for (auto _ : state) {
    auto preview = morvel::preview::MakePreview(DemoZebraLabel, morvel::preview::Language::Zpl, 203);
    benchmark::DoNotOptimize(preview.Pictures.data());
  }
  state.counters["labels/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(PreviewDemoZebraLabel)->Unit(benchmark::kMillisecond);

void ReadDemoZebraLabel(benchmark::State& state) {
  for (auto _ : state) {
    auto job = morvel::preview::ParseZpl(DemoZebraLabel, 203);
    benchmark::DoNotOptimize(job.Labels.data());
  }
}
BENCHMARK(ReadDemoZebraLabel)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

// Speed of clsBase64 on 1 KiB, 64 KiB and 1 MiB of random bytes. Both
// directions count the raw bytes, so encode and decode figures compare
// directly; the EncodeJD variant shows what the progress events cost.
#include <benchmark/benchmark.h>

#include <random>

#include "morvel/clsBase64.h"

namespace {

morvel::ByteArray RandomBytes(size_t size) {
  std::mt19937 generator(20240611);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(generator());
  return morvel::ByteArray(std::move(bytes));
}

void Encode(benchmark::State& state) {
  morvel::ByteArray bytes = RandomBytes(static_cast<size_t>(state.range(0)));
  morvel::clsBase64 codec;
  for (auto _ : state) benchmark::DoNotOptimize(codec.Base64Encode(bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void EncodeWithProgress(benchmark::State& state) {
  morvel::ByteArray bytes = RandomBytes(static_cast<size_t>(state.range(0)));
  morvel::clsBase64 codec;
  int64_t events = 0;
  codec.EncodeJD = [&events](morvel::Currency& percentage) { events += percentage.Scaled; };
  for (auto _ : state) benchmark::DoNotOptimize(codec.Base64Encode(bytes));
  benchmark::DoNotOptimize(events);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void Decode(benchmark::State& state) {
  morvel::clsBase64 codec;
  morvel::ByteArray bytes = RandomBytes(static_cast<size_t>(state.range(0)));
  morvel::String text = codec.Base64Encode(bytes);
  for (auto _ : state) benchmark::DoNotOptimize(codec.Base64Decode(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(Encode)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(EncodeWithProgress)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(Decode)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20);

BENCHMARK_MAIN();

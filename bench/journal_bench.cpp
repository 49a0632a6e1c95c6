// The batch journal's speed in its SQLite file (WAL, synchronous=FULL: an
// fsync each commit), on the machine's temporary folder: transitions a
// second, each its own commit as a run makes them (sent, then confirmed),
// in a batch of 2,000 labels and of 200,000; labels a second when ten are
// marked sent in one commit and each confirmed in its own;
// labels planned a second in chunks of 1,000 a commit; serial blocks
// reserved a second; and the progress of a 1,000,000-label batch read back,
// as a resumed run reads it first.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "hosts/batch/SqliteJournal.h"
#include "support/TempFolder.h"

namespace {

using morvel::batch::BatchInfo;
using morvel::batch::LabelKey;
using morvel::batch::SqliteJournal;

std::unique_ptr<SqliteJournal> Fresh(const morvel::testing::TempFolder& folder) {
  static int made = 0;
  BatchInfo info{"", "shelf.zpl", "sha256:9f86d0", "items.csv", "sha256:e3b0c4", "zebra-1", "{}"};
  return SqliteJournal::Create((folder / ("run" + std::to_string(++made) + ".journal")).string(), info);
}

// `count` labels numbered on from `first`, planned 1,000 a commit.
void PlanLabels(SqliteJournal& journal, uint64_t first, uint64_t count) {
  std::vector<LabelKey> chunk;
  for (uint64_t n = first; n < first + count; ++n) {
    chunk.push_back({n, n, 1, "SN" + std::to_string(n), "3034257BF7194E4000001A85", "sku=A" + std::to_string(n)});
    if (chunk.size() == 1000 || n + 1 == first + count) {
      journal.Plan(chunk);
      chunk.clear();
    }
  }
}

void Rate(benchmark::State& state, const char* name, double count) {
  state.counters[name] = benchmark::Counter(count, benchmark::Counter::kIsRate);
}

void Transitions(benchmark::State& state) {
  morvel::testing::TempFolder folder("morvel-journal-bench");
  auto journal = Fresh(folder);
  PlanLabels(*journal, 1, state.range(0));
  uint64_t k = 0;
  for (auto _ : state) {
    const uint64_t n = k / 2 + 1;
    if (k++ % 2 == 0)
      journal->Sent(n);
    else
      journal->Confirmed(n, "odometer");
  }
  Rate(state, "transitions/s", static_cast<double>(state.iterations()));
}

// Labels marked sent ten a commit (a run sending ten at once), each then
// confirmed in its own commit: labels a second.
void SentInTens(benchmark::State& state) {
  morvel::testing::TempFolder folder("morvel-journal-bench");
  auto journal = Fresh(folder);
  PlanLabels(*journal, 1, 200000);
  uint64_t next = 1;
  for (auto _ : state) {
    std::vector<uint64_t> numbers;
    for (uint64_t n = next; n < next + 10; ++n) numbers.push_back(n);
    journal->Move(numbers, morvel::batch::LabelState::Sent, "");
    for (uint64_t n : numbers) journal->Confirmed(n, "odometer");
    next += 10;
  }
  Rate(state, "labels/s", static_cast<double>(next - 1));
}

void PlanInChunks(benchmark::State& state) {
  morvel::testing::TempFolder folder("morvel-journal-bench");
  auto journal = Fresh(folder);
  uint64_t next = 1;
  for (auto _ : state) {
    PlanLabels(*journal, next, 1000);
    next += 1000;
  }
  Rate(state, "labels/s", static_cast<double>(next - 1));
}

void Reserve(benchmark::State& state) {
  morvel::testing::TempFolder folder("morvel-journal-bench");
  auto journal = Fresh(folder);
  for (auto _ : state) benchmark::DoNotOptimize(journal->Reserve("serial", 10, 1000));
  Rate(state, "reservations/s", static_cast<double>(state.iterations()));
}

// A batch of 1,000,000 labels, 999,000 confirmed and the rest sent; the
// time of the progress a resumed run reads.
void StatusOfAMillion(benchmark::State& state) {
  morvel::testing::TempFolder folder("morvel-journal-bench");
  auto journal = Fresh(folder);
  PlanLabels(*journal, 1, 1000000);
  for (uint64_t n = 999001; n <= 1000000; ++n) journal->Sent(n);
  for (auto _ : state) benchmark::DoNotOptimize(journal->Status());
}

}  // namespace

BENCHMARK(Transitions)->Arg(2000)->Arg(200000)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(SentInTens)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlanInChunks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Reserve)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(StatusOfAMillion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

BENCHMARK_MAIN();

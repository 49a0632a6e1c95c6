// How fast a job becomes pictures, one label per iteration on one thread:
// the demo's Zebra label (the worked label of the driver's tests, QR on the
// label) and the UPS carrier label of the shared samples (4 x 6 in at
// 203 dpi: MaxiCode, two Code 128, a logo, thirty text fields), read, drawn
// and encoded as PNG; the reading alone; and a job of 1,000 UPS labels
// drawn and written one by one, with the memory it took at its peak.
//
// The command itself costs too: the process, its libraries and fonts once,
// then each label (CommandPerLabel; CommandPerDistinctLabel when no two
// labels share a field, so nothing drawn for one serves another).
//
//   build/bin/preview_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "hosts/cli/Shell.h"
#include "preview/Preview.h"

namespace {

const std::string DemoZebraLabel =
    "^XA^JMA^PW480^PR4,2,A~SD20^LH8,16^PON"
    "^FO21,42,0^CI26^SEE:GB18030.DAT^A@N,34,34,E:F1.TTF^FDABC^FS"
    "^FO21,211^GB423,4,1^FS"
    "^FO21,106^BY2,3^BCN,106,Y,N^FD12345678^FS"
    "^FO359,21^BQN,2,5^FDQA,ABC^FS^PQ1^XZ";

std::string UpsLabel() {
  const auto path = std::filesystem::path(MORVEL_SOURCE_DIR) / ".." / "shared" / "zpl-samples" / "ups.zpl";
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void PreviewDemoZebraLabel(benchmark::State& state) {
  for (auto _ : state) {
    auto preview = morvel::preview::MakePreview(DemoZebraLabel, morvel::lang::Language::Zpl, 203);
    benchmark::DoNotOptimize(preview.Pictures.data());
  }
  state.counters["labels/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(PreviewDemoZebraLabel)->Unit(benchmark::kMillisecond);

void PreviewUpsLabel(benchmark::State& state) {
  const std::string job = UpsLabel();
  if (job.empty()) return state.SkipWithError("no ../shared/zpl-samples/ups.zpl");
  for (auto _ : state) {
    auto preview = morvel::preview::MakePreview(job, morvel::lang::Language::Zpl, 203);
    benchmark::DoNotOptimize(preview.Pictures.data());
  }
  state.counters["labels/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(PreviewUpsLabel)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void ReadDemoZebraLabel(benchmark::State& state) {
  for (auto _ : state) {
    auto job = morvel::lang::ParseZpl(DemoZebraLabel, 203);
    benchmark::DoNotOptimize(job.Labels.data());
  }
}
BENCHMARK(ReadDemoZebraLabel)->Unit(benchmark::kMicrosecond);

// The morvel command itself, as a user runs it: `morvel preview` of a job
// of 1 and of 50 UPS labels, the CPU each run of the process took (user and
// system), and what each label beyond the first costs.
double CommandCpuSeconds(const std::string& job, const std::filesystem::path& dir) {
  std::ofstream(dir / "job.zpl", std::ios::binary) << job;
  const std::string morvel = MORVEL_BINARY_DIR "/bin/morvel", out = (dir / "out/").string(),
                    path = (dir / "job.zpl").string();
  const char* argv[] = {morvel.c_str(), "preview", "-o", out.c_str(), path.c_str(), nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, morvel.c_str(), &quiet, nullptr, const_cast<char* const*>(argv), environ) != 0) return -1;
  posix_spawn_file_actions_destroy(&quiet);
  int status = 0;
  rusage used{};
  wait4(pid, &status, 0, &used);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds(used.ru_utime) + seconds(used.ru_stime) : -1;
}

// The UPS label as the k-th of a job whose labels all differ: every text
// field and both barcodes end in the label's number, and the MaxiCode
// carries its own tracking number. Nothing drawn for one label serves the
// next.
std::string DistinctUpsLabel(const std::string& one, int k) {
  std::string label;
  const std::string number = std::to_string(100 + k).substr(1);
  for (size_t at = 0; at < one.size();) {
    const size_t field = one.find("^FV", at);
    const size_t end = field == std::string::npos ? std::string::npos : one.find("^FS", field);
    if (end == std::string::npos) {
      label += one.substr(at);
      break;
    }
    size_t last = end;
    while (last > field + 3 && one[last - 1] == ' ') --last;
    label += one.substr(at, last - at) + " " + number + "^FS";
    at = end + 3;
  }
  for (size_t at = label.find("08720000"); at != std::string::npos; at = label.find("08720000", at + 8))
    label.replace(at + 4, 4, "00" + number);
  return label;
}

// Per label beyond the first of a job of fifty, the labels alike (`distinct`
// false: the fields repeat, as a job of one label's copies) or all
// different.
void CommandPerLabelOf(benchmark::State& state, bool distinct) {
  const std::string one = UpsLabel();
  if (one.empty()) return state.SkipWithError("no ../shared/zpl-samples/ups.zpl");
  std::string fifty;
  for (int k = 0; k < 50; ++k) fifty += distinct ? DistinctUpsLabel(one, k) : one;
  const std::string first = distinct ? DistinctUpsLabel(one, 0) : one;
  const auto dir = std::filesystem::temp_directory_path() / ("morvel-bench-cmd-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  double single = 0, many = 0;
  for (auto _ : state) {
    single += CommandCpuSeconds(first, dir);
    many += CommandCpuSeconds(fifty, dir);
  }
  std::filesystem::remove_all(dir);
  const double runs = static_cast<double>(state.iterations());
  if (single < 0 || many < 0) return state.SkipWithError("morvel preview failed");
  state.counters["cpu_ms_1_label"] = single / runs * 1000;
  state.counters["cpu_ms_50_labels"] = many / runs * 1000;
  state.counters["cpu_ms_per_label_after_first"] = (many - single) / runs / 49 * 1000;
}

void CommandPerLabel(benchmark::State& state) { CommandPerLabelOf(state, false); }
BENCHMARK(CommandPerLabel)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void CommandPerDistinctLabel(benchmark::State& state) { CommandPerLabelOf(state, true); }
BENCHMARK(CommandPerDistinctLabel)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// 1,000 labels through `morvel preview` into a folder; peak resident
// memory grows by what one label takes, not by a thousand pictures.
void ThousandUpsLabels(benchmark::State& state) {
  std::string one = UpsLabel();
  if (one.empty()) return state.SkipWithError("no ../shared/zpl-samples/ups.zpl");
  std::string job;
  for (int k = 0; k < 1000; ++k) job += one;
  const auto dir = std::filesystem::temp_directory_path() / ("morvel-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto path = dir / "ups1000.zpl";
  std::ofstream(path, std::ios::binary) << job;
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  for (auto _ : state) {
    std::istringstream in;
    std::ostringstream out, err;
    morvel::cli::PreviewMain(
        {*morvel::cli::FindCommand("preview"), {path.string(), "-o", (dir / "out").string() + "/"}, in, out, err});
  }
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  state.counters["peak MiB"] = static_cast<double>(after.ru_maxrss) / 1024.0;
  state.counters["peak growth MiB"] = static_cast<double>(after.ru_maxrss - before.ru_maxrss) / 1024.0;
  state.counters["labels/s"] =
      benchmark::Counter(1000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  std::filesystem::remove_all(dir);
}
BENCHMARK(ThousandUpsLabels)->Unit(benchmark::kSecond)->Iterations(1)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();

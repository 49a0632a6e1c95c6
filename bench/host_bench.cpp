// What the script host costs: the `morvel run` command on a call script of
// 10,000 labels (40,000 statements) to a file: printer, the same script run
// in this process, the same labels through automation::Invoke with text
// arguments, and composed by direct C++ calls. Every run ends in one real
// job file of the same bytes.
//
//   build/bin/host_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "hosts/cli/Script.h"
#include "morvel/PrintBarCode.h"
#include "platform/services.h"

namespace {

using namespace morvel;
namespace fs = std::filesystem;

constexpr int Labels = 10000;
constexpr int StatementsPerLabel = 4;

// A folder with printers.conf and the script, for the life of the program.
struct Workspace {
  Workspace() {
    char name[] = "/tmp/morvel-host-bench.XXXXXX";
    Folder = mkdtemp(name);
    fs::create_directory(Folder / "jobs");
    std::ofstream(Folder / "printers.conf") << "[ZDesigner GK420t]\nuri = file:jobs\ndpi = 203\n";
    setenv("MORVEL_PRINTERS", (Folder / "printers.conf").c_str(), 1);
    setenv("MORVEL_CUPS", "0", 1);
    std::ostringstream script;
    script << "SetPrint \"ZDesigner GK420t\"\nOpenPort \"ZDesigner GK420t\"\n";
    for (int i = 0; i < Labels; ++i)
      script << "InitPrint 60 40 4 10 2 1 0\nPrintFont 10 20 \"Lot " << i << "\" 12 F1.TTF\nPrintCode 10 50 "
             << 10000000 + i << " 128 1 50 1 3\nPrintLabel 1\n";
    script << "ClosePort\n";
    Script = script.str();
    std::ofstream(Folder / "labels.mvs") << Script;
  }
  ~Workspace() { fs::remove_all(Folder); }

  // The one job of a run: removed so the folder stays small; its size is
  // the same for every way of printing.
  uint64_t TakeJob() {
    uint64_t size = 0;
    for (const auto& e : fs::directory_iterator(Folder / "jobs")) {
      size += fs::file_size(e.path());
      fs::remove(e.path());
    }
    return size;
  }

  fs::path Folder;
  std::string Script;
};

Workspace& Space() {
  static Workspace space;
  return space;
}

void Count(benchmark::State& state, uint64_t bytes) {
  const double statements = static_cast<double>(state.iterations()) * Labels * StatementsPerLabel;
  state.counters["statements/s"] = benchmark::Counter(statements, benchmark::Counter::kIsRate);
  state.counters["labels/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * Labels, benchmark::Counter::kIsRate);
  state.counters["job_bytes"] = static_cast<double>(bytes);
}

double ChildSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The whole command, as a user runs it. The time is the command's own
// processor time (user and kernel), which a busy machine does not inflate;
// wall_ms is the elapsed time.
void BM_MorvelRunCommand(benchmark::State& state) {
  Workspace& space = Space();
  std::string command =
      "'" MORVEL_BINARY_DIR "/bin/morvel' run '" + (space.Folder / "labels.mvs").string() + "' > /dev/null";
  uint64_t bytes = 0;
  double wall = 0;
  for (auto _ : state) {
    double before = ChildSeconds();
    auto begun = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("morvel run failed");
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    state.SetIterationTime(ChildSeconds() - before);
    bytes = space.TakeJob();
  }
  Count(state, bytes);
  state.counters["wall_ms"] = wall * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MorvelRunCommand)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// Parsing and running the script in this process.
void BM_ScriptInProcess(benchmark::State& state) {
  Workspace& space = Space();
  platform::ScopedServices services(platform::LinuxServices());
  uint64_t bytes = 0;
  for (auto _ : state) {
    auto script = cli::ParseScript(space.Script);
    std::ostringstream out;
    if (!cli::RunScript(script.Statements, space.Folder.string(), out)) state.SkipWithError(out.str().c_str());
    bytes = space.TakeJob();
  }
  Count(state, bytes);
}
BENCHMARK(BM_ScriptInProcess)->Unit(benchmark::kMillisecond);

// The labels through the automation table with text arguments, as every
// host calls it; the members found by name once.
void BM_AutomationInvoke(benchmark::State& state) {
  Workspace& space = Space();
  platform::ScopedServices services(platform::LinuxServices());
  using automation::Variant;
  uint64_t bytes = 0;
  for (auto _ : state) {
    PrintBarCode control;
    auto call = [&](const char* name, std::vector<Variant> args) { automation::Invoke(control, name, args); };
    call("SetPrint", {Variant(u"ZDesigner GK420t")});
    call("OpenPort", {Variant(u"ZDesigner GK420t")});
    for (int i = 0; i < Labels; ++i) {
      String lot = u"Lot " + FromUtf8(std::to_string(i));
      String code = FromUtf8(std::to_string(10000000 + i));
      call("InitPrint", {u"60", u"40", u"4", u"10", u"2", u"1", u"0"});
      call("PrintFont", {u"10", u"20", lot, u"12", u"F1.TTF"});
      call("PrintCode", {u"10", u"50", code, u"128", u"1", u"50", u"1", u"3"});
      call("PrintLabel", {u"1"});
    }
    call("ClosePort", {});
    bytes = space.TakeJob();
  }
  Count(state, bytes);
}
BENCHMARK(BM_AutomationInvoke)->Unit(benchmark::kMillisecond);

// The same labels composed by direct C++ calls.
void BM_DirectCalls(benchmark::State& state) {
  Workspace& space = Space();
  platform::ScopedServices services(platform::LinuxServices());
  uint64_t bytes = 0;
  for (auto _ : state) {
    PrintBarCode control;
    String name = u"ZDesigner GK420t";
    control.SetPrint(name);
    control.OpenPort(name);
    for (int i = 0; i < Labels; ++i) {
      String wide = u"60", height = u"40", speed = u"4", nd = u"10", cz = u"2", sp = u"1", direction = u"0";
      Single x = 10, y = 20, fontHeight = 12, cx = 10, cy = 50, codeHeight = 50;
      String lot = u"Lot " + FromUtf8(std::to_string(i)), face = u"F1.TTF";
      String code = FromUtf8(std::to_string(10000000 + i)), type = u"128", readable = u"1", z = u"1", k = u"3";
      String copies = u"1";
      control.InitPrint(wide, height, speed, nd, cz, sp, direction);
      control.PrintFont(x, y, lot, fontHeight, face);
      control.PrintCode(cx, cy, code, type, readable, codeHeight, z, k);
      control.PrintLabel(copies);
    }
    control.ClosePort();
    bytes = space.TakeJob();
  }
  Count(state, bytes);
}
BENCHMARK(BM_DirectCalls)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

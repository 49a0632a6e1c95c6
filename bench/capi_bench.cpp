// Member calls per second for each kind of host, in one run: C++ through
// automation::Invoke, C through morvel_invoke (by name and by dispatch id),
// and Python through the package (bench/python_calls.py, run as a child),
// each PrintFont with its five arguments and PrintBar with four, on the
// Zebra driver. Every 1,000 calls SetPrint starts a fresh label so memory
// stays flat.
//
//   build/bin/capi_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "morvel/morvel.h"
#include "morvel/morvel_c.h"

namespace {

namespace fs = std::filesystem;
using namespace morvel;
constexpr int Batch = 1000;
constexpr const char* Printer = "ZDesigner GK420t";

struct Workspace {
  Workspace() {
    char name[] = "/tmp/morvel-capi-bench.XXXXXX";
    Folder = mkdtemp(name);
    std::ofstream(Folder / "printers.conf") << "[" << Printer << "]\nuri = file:.\ndpi = 203\n";
    setenv("MORVEL_PRINTERS", (Folder / "printers.conf").c_str(), 1);
    setenv("MORVEL_CUPS", "0", 1);
  }
  ~Workspace() { fs::remove_all(Folder); }
  fs::path Folder;
};

Workspace& Space() {
  static Workspace space;
  return space;
}

void Rate(benchmark::State& state) {
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * Batch, benchmark::Counter::kIsRate);
}

void CxxInvoke(benchmark::State& state, bool font) {
  Space();
  PrintBarCode pb;
  pb.SetPrint(Printer);
  for (auto _ : state) {
    for (int i = 0; i < Batch; ++i) {
      std::vector<automation::Variant> args;
      if (font) {
        args = {Single(10), Single(20), String(u"ABC"), Single(12), String(u"F1.TTF")};
        automation::Invoke(pb, "PrintFont", args);
      } else {
        args = {Single(10), Single(100), Single(200), Single(2)};
        automation::Invoke(pb, "PrintBar", args);
      }
    }
    pb.SetPrint(Printer);
  }
  Rate(state);
}

void CInvoke(benchmark::State& state, bool font, bool byId) {
  Space();
  morvel_object* pb;
  if (morvel_create("Morvel.PrintBarCode", &pb) != MORVEL_OK) state.SkipWithError("morvel_create");
  morvel_value name = morvel_string(Printer);
  morvel_invoke(pb, "SetPrint", &name, 1, nullptr);
  const char* member = font ? "PrintFont" : "PrintBar";
  int32_t id = 0;
  morvel_member_id(pb, member, &id);
  morvel_value fontArgs[] = {morvel_double(10), morvel_double(20), morvel_string("ABC"), morvel_double(12),
                             morvel_string("F1.TTF")};
  morvel_value barArgs[] = {morvel_double(10), morvel_double(100), morvel_double(200), morvel_double(2)};
  morvel_value* args = font ? fontArgs : barArgs;
  size_t count = font ? 5 : 4;
  for (auto _ : state) {
    for (int i = 0; i < Batch; ++i) {
      int rc = byId ? morvel_invoke_id(pb, id, args, count, nullptr) : morvel_invoke(pb, member, args, count, nullptr);
      if (rc != MORVEL_OK) state.SkipWithError(morvel_last_error()->description);
    }
    morvel_invoke(pb, "SetPrint", &name, 1, nullptr);
  }
  Rate(state);
  morvel_release(pb);
}

// The Python figures: one child run, its calls per second as counters.
void Python(benchmark::State& state, const char* member) {
  static std::map<std::string, double> rates;
  if (rates.empty()) {
    Space();
    std::string command = std::string("MORVEL_LIBRARY_DIR='") + MORVEL_BINARY_DIR + "/lib' PYTHONPATH='" +
                          MORVEL_SOURCE_DIR + "/python' /usr/bin/python3 '" + MORVEL_SOURCE_DIR +
                          "/bench/python_calls.py' 200000";
    FILE* child = popen(command.c_str(), "r");
    char name[64];
    double rate;
    while (child != nullptr && std::fscanf(child, "%63s %lf", name, &rate) == 2) rates[name] = rate;
    if (child == nullptr || pclose(child) != 0) rates["failed"] = 0;
  }
  for (auto _ : state) {
  }
  if (rates.count(member) == 0) {
    state.SkipWithError("python_calls.py gave no figure");
    return;
  }
  state.counters["calls/s"] = rates[member];
}

BENCHMARK_CAPTURE(CxxInvoke, PrintFont, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CxxInvoke, PrintBar, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CInvoke, PrintFont_by_name, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CInvoke, PrintFont_by_id, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CInvoke, PrintBar_by_id, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Python, PrintFont, "PrintFont")->Iterations(1);
BENCHMARK_CAPTURE(Python, PrintBar, "PrintBar")->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

// RFID results over loopback: 10,000 RFID labels printed by one
// PrintBarCode on the virtual RFID printer with 5% of its tags failing,
// under ZPL's default ^RS rules. Every label's result is compared with the
// emulator's record of its tags: misreported and "written without the
// printer's word" must both be 0. The wall time a label costs (sending,
// the printer drawing it, its echo read back) is counted per label.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "hosts/emulate/Emulator.h"
#include "morvel/PrintBarCode.h"

namespace {

using namespace morvel;
using Clock = std::chrono::steady_clock;

std::string TempFolder() {
  char tmpl[] = "/tmp/morvel-rfid-bench-XXXXXX";
  return mkdtemp(tmpl);
}

String Hex24(uint64_t serial) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex = "3074257BF7194E40";  // an SGTIN-96's header, filter, partition and numbers
  for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(serial >> shift) & 0xF];
  return FromUtf8(hex);
}

void TenThousandRfidLabels(benchmark::State& state) {
  const int labels = static_cast<int>(state.range(0));
  for (auto _ : state) {
    emulate::Options options;
    options.Ports = {{lang::Language::Zpl, 0}};
    options.JobsFolder = TempFolder();
    options.Rfid.Loaded = true;
    options.Rfid.Seed = 38;
    options.Rfid.FailRate = 0.05;
    options.MediaMm[lang::Language::Zpl] = {20.0, 10.0};  // small labels: the echo, not the drawing, is measured
    emulate::Emulator emulator(options);
    std::string error;
    if (!emulator.Start(error)) return state.SkipWithError(error.c_str());
    const std::string conf = options.JobsFolder + "/printers.conf";
    std::ofstream(conf) << "[ZDesigner ZT410R-203dpi ZPL]\nuri = socket://127.0.0.1:"
                        << emulator.Port(lang::Language::Zpl) << "\ndpi = 203\n";
    setenv("MORVEL_PRINTERS", conf.c_str(), 1);
    setenv("MORVEL_CUPS", "0", 1);

    std::vector<TagResult> results;
    std::map<uint32_t, std::string> asked;
    const auto start = Clock::now();
    {
      PrintBarCode pb;
      String name = u"ZDesigner ZT410R-203dpi ZPL";
      pb.SetPrint(name);
      pb.OpenPort(name);
      for (int k = 1; k <= labels; ++k) {
        String w = u"20", h = u"10", speed = u"4", nd = u"10", zero = u"0";
        pb.InitPrint(w, h, speed, nd, zero, zero, zero);
        String op = u"W", data = Hex24(static_cast<uint64_t>(k)), type = u"H", len = u"", start0 = u"", bank = u"";
        pb.OpRFID(op, data, type, len, start0, bank);
        String copies = u"1";
        pb.PrintLabel(copies);
        for (TagResult& r : pb.TakeTagResults()) {
          asked[r.Label] = "00" + ToUtf8(data);
          results.push_back(std::move(r));
        }
      }
      pb.ClosePort();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    // The emulator's record: for each label (a job a label), whether one of
    // its tags was written, and with what.
    std::map<int, std::string> writtenByJob;
    size_t jobs = 0, voidTags = 0;
    for (const emulate::JobRecord& job : emulator.Jobs()) {
      if (job.Tags.empty()) continue;
      ++jobs;
      for (const emulate::TagRecord& t : job.Tags) {
        if (t.Written) writtenByJob[job.Id] = t.Epc;
        voidTags += t.Written ? 0 : 1;
      }
    }
    // Jobs come in the order the labels were sent: the k-th job with tags is label k.
    std::vector<int> ids;
    for (const emulate::JobRecord& job : emulator.Jobs())
      if (!job.Tags.empty()) ids.insert(ids.begin(), job.Id);
    size_t misreported = 0, writtenWithoutWord = 0, written = 0, voided = 0, unknown = 0;
    for (const TagResult& r : results) {
      const bool truth = r.Label <= ids.size() && writtenByJob.count(ids[r.Label - 1]) > 0;
      const std::string truthEpc = truth ? writtenByJob[ids[r.Label - 1]] : "";
      switch (r.State) {
        case TagResult::Outcome::Written:
          ++written;
          if (!truth || truthEpc != r.Epc) ++writtenWithoutWord;
          if (r.Epc != asked[r.Label]) ++misreported;
          break;
        case TagResult::Outcome::Void:
          ++voided;
          if (truth) ++misreported;
          break;
        case TagResult::Outcome::Unknown: ++unknown; break;
      }
    }
    state.counters["labels"] = static_cast<double>(results.size());
    state.counters["written"] = static_cast<double>(written);
    state.counters["void"] = static_cast<double>(voided);
    state.counters["unknown"] = static_cast<double>(unknown);
    state.counters["void_tags"] = static_cast<double>(voidTags);
    state.counters["misreported"] = static_cast<double>(misreported + (results.size() != jobs ? 1 : 0));
    state.counters["written_without_word"] = static_cast<double>(writtenWithoutWord);
    state.counters["ms_per_label"] = seconds * 1000 / labels;
    emulator.Stop();
    std::filesystem::remove_all(options.JobsFolder);
  }
}
BENCHMARK(TenThousandRfidLabels)->Arg(10000)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// The virtual printer over loopback: a status round trip (p50 and p99 as
// counters), and 1,000 ZPL labels sent over one connection until the last
// is pictured, in CPU seconds of the whole process.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "control/status/Answers.h"
#include "hosts/emulate/Emulator.h"
#include "platform/status_link.h"

namespace {

using namespace morvel;
using Clock = std::chrono::steady_clock;

std::string TempFolder() {
  char tmpl[] = "/tmp/morvel-emulate-bench-XXXXXX";
  return mkdtemp(tmpl);
}

void StatusRoundTrip(benchmark::State& state) {
  emulate::Options options;
  options.Ports = {{lang::Language::Zpl, 0}};
  options.JobsFolder = TempFolder();
  emulate::Emulator emulator(options);
  std::string error;
  if (!emulator.Start(error)) return state.SkipWithError(error.c_str());
  const std::string port = std::to_string(emulator.Port(lang::Language::Zpl));
  std::vector<double> ms;
  for (auto _ : state) {
    auto start = Clock::now();
    auto link = platform::AskSocket("127.0.0.1", port,
                                    {{"~HQES", lang::zpl::HostQueryFrame}, {"~HS", lang::zpl::HostStatusFrame}},
                                    start + std::chrono::seconds(5));
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (link.Answers.size() != 2) return state.SkipWithError("no whole answer");
  }
  std::sort(ms.begin(), ms.end());
  state.counters["p50_ms"] = ms[ms.size() / 2];
  state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
  emulator.Stop();
  std::filesystem::remove_all(options.JobsFolder);
}
BENCHMARK(StatusRoundTrip)->Iterations(2000)->Unit(benchmark::kMillisecond);

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

void ThousandZplLabels(benchmark::State& state) {
  const std::string label =
      "^XA^FO20,20^A0N,30,30^FDLot 7^FS^FO20,80^BCN,60,Y,N,N^FD12345678^FS^FO20,180^GB300,3,3^FS^XZ\n";
  std::string job;
  for (int k = 0; k < 1000; ++k) job += label;
  for (auto _ : state) {
    emulate::Options options;
    options.Ports = {{lang::Language::Zpl, 0}};
    options.JobsFolder = TempFolder();
    emulate::Emulator emulator(options);
    std::string error;
    if (!emulator.Start(error)) return state.SkipWithError(error.c_str());
    const double before = CpuSeconds();
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(emulator.Port(lang::Language::Zpl)));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    for (size_t sent = 0; sent < job.size();)
      sent += static_cast<size_t>(std::max<ssize_t>(0, send(fd, job.data() + sent, job.size() - sent, 0)));
    close(fd);
    uint64_t seen = 0;
    for (auto until = Clock::now() + std::chrono::minutes(5); Clock::now() < until;) {
      auto jobs = emulator.Jobs();
      if (!jobs.empty() && jobs[0].Stage == emulate::JobStage::Printed) break;
      seen = emulator.WaitForChange(seen, 1000);
    }
    state.counters["cpu_s"] = CpuSeconds() - before;
    state.counters["pictures"] = emulator.Jobs().empty() ? 0 : static_cast<double>(emulator.Jobs()[0].Pictures.size());
    emulator.Stop();
    std::filesystem::remove_all(options.JobsFolder);
  }
}
BENCHMARK(ThousandZplLabels)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

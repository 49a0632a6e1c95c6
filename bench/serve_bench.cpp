// Member calls through morvel serve over loopback, from a WebSocket client in
// the same process: calls per second and the p50 / p99 latency of a single
// call (GetDot) and of a ten-call label (SetPrint .. ClosePort) printed to a
// socket:// listener. The goal is at least 5,000 calls per second with p99
// under 2 ms. And how soon a print stops once its page leaves: a page sends a
// PDF of 5,000 pages, leaves while they are drawn, and the time from its
// close to the call's end (as /health tells it) is measured; the goal is
// under 1 s.
//
//   build/bin/serve_bench
#include <utility>  // before Boost 1.74's asio, which uses std::exchange without it

#include <benchmark/benchmark.h>
#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "hosts/serve/Server.h"
#include "platform/linux/adapters.h"
#include "support/Base64Text.h"
#include "support/CaptureListener.h"
#include "support/PdfPages.h"

namespace {
using morvel::testing::Base64Of;

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

struct Bridge {
  Bridge() {
    char tmpl[] = "/tmp/morvel-serve-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    std::ofstream(dir + "/printers.conf")
        << "[ZDesigner ZT410R-300dpi ZPL]\nuri = socket://127.0.0.1:" << listener.Port() << "\ndpi = 300\n";
    setenv("MORVEL_PRINTERS", (dir + "/printers.conf").c_str(), 1);
    setenv("MORVEL_CUPS", "0", 1);
    services.emplace(morvel::platform::LinuxServices());
    morvel::serve::ServerOptions options;
    options.Port = 0;
    server.emplace(options);
    server->Start();
    ws.next_layer().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), server->Port()));
    ws.handshake("127.0.0.1", "/");
    ws.text(true);
    Call(R"({"id":0,"create":"Morvel.PrintBarCode"})");
  }
  ~Bridge() {
    ws.close(websocket::close_code::normal);
    server.reset();
    services.reset();
    std::filesystem::remove_all(dir);
  }

  std::string Call(const std::string& message) {
    ws.write(net::buffer(message));
    buffer.clear();
    ws.read(buffer);
    return beast::buffers_to_string(buffer.data());
  }

  morvel::testing::CaptureListener listener;
  std::string dir;
  std::optional<morvel::platform::ScopedServices> services;
  std::optional<morvel::serve::Server> server;
  net::io_context context;
  websocket::stream<tcp::socket> ws{context};
  beast::flat_buffer buffer;
};

void Report(benchmark::State& state, std::vector<double>& micros, size_t callsPerItem) {
  std::sort(micros.begin(), micros.end());
  auto at = [&](double q) { return micros.empty() ? 0 : micros[static_cast<size_t>(q * (micros.size() - 1))]; };
  state.counters["p50_us"] = at(0.50);
  state.counters["p99_us"] = at(0.99);
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * callsPerItem), benchmark::Counter::kIsRate);
}

void BM_SingleCall(benchmark::State& state) {
  Bridge bridge;
  bridge.Call(R"({"id":1,"object":1,"member":"SetPrint","args":["ZDesigner ZT410R-300dpi ZPL"]})");
  std::vector<double> micros;
  micros.reserve(1 << 20);
  const std::string call = R"({"id":2,"object":1,"member":"GetDot","args":[100]})";
  for (auto _ : state) {
    auto start = Clock::now();
    benchmark::DoNotOptimize(bridge.Call(call));
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  Report(state, micros, 1);
}
BENCHMARK(BM_SingleCall)->UseRealTime();

// Latency per call; the label's ten calls are one item.
void BM_TenCallLabel(benchmark::State& state) {
  Bridge bridge;
  const std::string calls[] = {
      R"({"id":1,"object":1,"member":"SetPrint","args":["ZDesigner ZT410R-300dpi ZPL"]})",
      R"({"id":2,"object":1,"member":"OpenPort","args":["ZDesigner ZT410R-300dpi ZPL"]})",
      R"({"id":3,"object":1,"member":"InitPrint","args":["60","40","4","10","2","1","0"]})",
      R"({"id":4,"object":1,"member":"PrintFont","args":[10,20,"ABC",12,"F1.TTF"]})",
      R"({"id":5,"object":1,"member":"PrintBar","args":[10,100,200,2]})",
      R"({"id":6,"object":1,"member":"PrintCode","args":[10,50,"12345678","128","1",50,"1","3"]})",
      R"({"id":7,"object":1,"member":"PrintCode","args":[300,10,"ABC","QRCODE","0",5,"",""]})",
      R"({"id":8,"object":1,"member":"CommandPrint","args":[]})",
      R"({"id":9,"object":1,"member":"PrintLabel","args":["1"]})",
      R"({"id":10,"object":1,"member":"ClosePort","args":[]})",
  };
  std::vector<double> micros;
  micros.reserve(1 << 20);
  for (auto _ : state) {
    for (const std::string& call : calls) {
      auto start = Clock::now();
      benchmark::DoNotOptimize(bridge.Call(call));
      micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
  }
  Report(state, micros, std::size(calls));
  if (!bridge.listener.WaitForConnections(static_cast<size_t>(state.iterations())))
    state.SkipWithError("the listener did not receive every label");
}
BENCHMARK(BM_TenCallLabel)->UseRealTime();

// The calls /health says are running.
long RunningCalls(uint16_t port) {
  net::io_context io;
  tcp::socket socket(io);
  beast::error_code ec;
  socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port), ec);
  if (ec) return -1;
  const std::string request = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  net::write(socket, net::buffer(request), ec);
  std::string answer;
  net::read(socket, net::dynamic_buffer(answer), ec);
  const size_t at = answer.find("\"calls\":");
  return at == std::string::npos ? -1 : std::stol(answer.substr(at + 8));
}

// From a page's close to the end of its print, in milliseconds.
void BM_LeftPagesPrintStops(benchmark::State& state) {
  Bridge bridge;
  const uint16_t port = bridge.server->Port();
  const std::string print =
      R"({"id":1,"print":{"bytes":")" +
      Base64Of(morvel::testing::PdfPages(5000, "0 g 20 20 200 100 re f 0 0 1 rg 40 200 100 100 re f")) +
      R"("},"printer":"ZDesigner ZT410R-300dpi ZPL"})";
  std::vector<double> millis;
  for (auto _ : state) {
    net::io_context io;
    websocket::stream<tcp::socket> page(io);
    page.next_layer().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    page.handshake("127.0.0.1", "/");
    page.text(true);
    page.write(net::buffer(print));
    while (RunningCalls(port) < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // pages are being drawn
    beast::error_code ignored;
    page.next_layer().close(ignored);
    const auto closed = Clock::now();
    while (RunningCalls(port) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - closed).count());
  }
  std::sort(millis.begin(), millis.end());
  state.counters["p50_ms"] = millis[millis.size() / 2];
  state.counters["max_ms"] = millis.back();
}
BENCHMARK(BM_LeftPagesPrintStops)->UseRealTime()->Iterations(10);

}  // namespace

BENCHMARK_MAIN();

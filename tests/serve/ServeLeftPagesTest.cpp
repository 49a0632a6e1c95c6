// Pages that leave during a long call, and many pages at once, against the
// real morvel command over loopback: a left page's place is free at once and
// its print cancelled between pages, /health answers throughout, the calls
// left running are bounded, and every page that connects is served or told
// why not (and the log says so).
#include <utility>  // before Boost 1.74's asio, which uses std::exchange without it

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "serve/Bridge.h"
#include "support/Base64Text.h"
#include "support/PdfPages.h"
#include "support/Sanitizers.h"
#include "support/StallingPrinter.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace fs = std::filesystem;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;
using morvel::testing::Base64Of;
using morvel::testing::Bridge;
using morvel::testing::PdfPages;
using morvel::testing::StallingPrinter;

constexpr const char* Origin = "http://127.0.0.1:8000";

// Pages that take poppler longer than any test waits: forms nested `depth`
// deep, each drawing the next ten times (10^depth fills a page).
std::string EndlessPdf(int depth) {
  std::vector<std::string> forms;
  for (int k = 0; k + 1 < depth; ++k) {
    std::string draws;
    for (int i = 0; i < 10; ++i) draws += "q /F Do Q\n";
    forms.push_back(draws);
  }
  forms.push_back("0 0 0 rg 10 10 1 1 re f");
  return PdfPages(2, "/F Do", forms);
}

std::string PrintMessage(const std::string& document, const std::string& printer) {
  return R"({"id":1,"print":{"bytes":")" + Base64Of(document) + R"("},"printer":")" + printer + "\"}";
}

// One page over a WebSocket, driven call by call.
class PageConnection {
 public:
  explicit PageConnection(uint16_t port) {
    ws_.next_layer().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    ws_.set_option(
        websocket::stream_base::decorator([](websocket::request_type& r) { r.set(http::field::origin, Origin); }));
    ws_.handshake("127.0.0.1", "/");
    ws_.text(true);
  }
  void Send(const std::string& message) { ws_.write(net::buffer(message)); }
  std::string Call(const std::string& message) {
    Send(message);
    beast::flat_buffer answer;
    ws_.read(answer);
    return beast::buffers_to_string(answer.data());
  }
  // The page goes as a closed tab does: its TCP connection, without a close frame.
  void Leave() {
    beast::error_code ignored;
    ws_.next_layer().close(ignored);
  }

 private:
  net::io_context io_;
  websocket::stream<tcp::socket> ws_{io_};
};

// What /health says, or "" when it does not answer within 10 s.
std::string Health(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  std::string got;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string request = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (write(fd, request.data(), request.size()) == ssize_t(request.size())) {
      for (auto deadline = Clock::now() + std::chrono::seconds(10); Clock::now() < deadline;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[1024];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  close(fd);
  const size_t body = got.find("\r\n\r\n");
  return got.rfind("HTTP/1.1 200", 0) == 0 && body != std::string::npos ? got.substr(body + 4) : "";
}

// A whole number /health gives for `key`; -1 when it says none.
long HealthCount(const std::string& health, const std::string& key) {
  const size_t at = health.find("\"" + key + "\":");
  return at == std::string::npos ? -1 : std::stol(health.substr(at + key.size() + 3));
}

// Asks /health until `holds` says its answer will do, for at most `limit`;
// the last answer.
template <class Holds>
std::string HealthUntil(uint16_t port, Holds holds, std::chrono::seconds limit = std::chrono::seconds(60)) {
  std::string health;
  for (auto deadline = Clock::now() + limit; Clock::now() < deadline;
       std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
    health = Health(port);
    if (!health.empty() && holds(health)) break;
  }
  return health;
}

// `count` pages connecting at once, each creating a control, all held open
// until every one is answered or refused (or `limit` passes): for each, its
// answer, "503" for a handshake refused so, or "" for nothing.
std::vector<std::string> PagesAtOnce(uint16_t port, size_t count, std::chrono::seconds limit) {
  struct One {
    explicit One(net::io_context& io) : Ws(io) {}
    websocket::stream<beast::tcp_stream> Ws;
    websocket::response_type Response;
    beast::flat_buffer Buffer;
    std::string Outcome;
  };
  net::io_context io;
  std::vector<std::unique_ptr<One>> pages;
  const std::string request = R"({"id":1,"create":"Morvel.PrintBarCode"})";
  for (size_t i = 0; i < count; ++i) {
    pages.push_back(std::make_unique<One>(io));
    One& p = *pages.back();
    p.Ws.set_option(
        websocket::stream_base::decorator([](websocket::request_type& r) { r.set(http::field::origin, Origin); }));
    beast::get_lowest_layer(p.Ws).async_connect(
        tcp::endpoint(net::ip::make_address("127.0.0.1"), port), [&p, &request](beast::error_code ec) {
          if (ec) return;
          p.Ws.async_handshake(p.Response, "127.0.0.1", "/", [&p, &request](beast::error_code ec) {
            if (ec) {
              if (p.Response.result_int() == 503) p.Outcome = "503";
              return;
            }
            p.Ws.async_write(net::buffer(request), [&p](beast::error_code ec, size_t) {
              if (ec) return;
              p.Ws.async_read(p.Buffer, [&p](beast::error_code ec, size_t) {
                if (!ec) p.Outcome = beast::buffers_to_string(p.Buffer.data());
              });
            });
          });
        });
  }
  io.run_for(limit);
  std::vector<std::string> outcomes;
  for (auto& p : pages) outcomes.push_back(p->Outcome);
  return outcomes;
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class ServeLeftPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The log and the printers of this build's own bridge.
    if (morvel::testing::ExternalBridge()) GTEST_SKIP() << "runs this build's own bridge";
    morvel::testing::WritePrinters(
        dir_, {{"ZDesigner GK420t", "file:jobs", {}, "ZDesigner Jobs"},
               {"ZDesigner GK420t", morvel::testing::SocketUri(stalling_.Port()), {}, "ZDesigner Stalling"}});
  }
  void TearDown() override { bridge_.reset(); }

  uint16_t Start(std::vector<std::string> args) {
    args.insert(args.end(), {"--port", "0", "--allow-origin", Origin, "--max-message", std::to_string(64u << 20)});
    bridge_.emplace(args, std::vector<std::string>{"MORVEL_PRINTERS=" + (dir_ / "printers.conf").string(),
                                                   "MORVEL_CUPS=0", "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
                                                   "MORVEL_LOG=" + (dir_ / "morvel.log").string(),
                                                   // The stalling printer keeps its calls running all along.
                                                   "MORVEL_WRITE_TIMEOUT_MS=600000"});
    return bridge_->Port();
  }
  std::string Log() const {
    std::ifstream in(dir_ / "morvel.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Waits until the log holds `what` `times` times; the log then.
  std::string LogUntil(const std::string& what, size_t times, std::chrono::seconds limit = std::chrono::seconds(60)) {
    std::string log;
    for (auto deadline = Clock::now() + limit; Clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
      log = Log();
      if (Occurrences(log, what) >= times) break;
    }
    return log;
  }
  size_t FinishedJobs() const {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir_ / "jobs"))
      if (e.path().extension() == ".prn") ++n;
    return n;
  }

  const morvel::testing::TempFolder temp_{"morvel-serve-left"};
  const fs::path& dir_ = temp_.Path();
  StallingPrinter stalling_;
  std::optional<Bridge> bridge_;
};

// Two pages fill the bridge's two places with prints that a printer keeps
// waiting (it takes a window of bytes, then nothing) and leave. Their
// places are free at once though the calls run on; /health answered
// throughout; a third page is refused with 503 while they are there and
// served once they left; and with as many calls left running as allowed, a
// new print is refused with the reason.
TEST_F(ServeLeftPagesTest, ALeftPagesPlaceIsFreeWhileItsCallRunsOn) {
  const uint16_t port = Start({"--max-connections", "2", "--max-left-running", "2"});
  ASSERT_NE(port, 0);
  const std::string endless =
      PrintMessage("^XA^FO20,20^FD" + std::string(12u << 20, 'x') + "^FS^XZ", "ZDesigner Stalling");
  std::vector<std::unique_ptr<PageConnection>> pages;
  for (int i = 0; i < 2; ++i) {
    pages.push_back(std::make_unique<PageConnection>(port));
    pages.back()->Send(endless);
  }
  std::string health = HealthUntil(port, [](const std::string& h) { return HealthCount(h, "calls") == 2; });
  ASSERT_EQ(HealthCount(health, "calls"), 2) << health;
  // Both places are taken by pages that are there: a third is told so.
  EXPECT_EQ(PagesAtOnce(port, 1, std::chrono::seconds(20)), std::vector<std::string>{"503"});
  // Both jobs are on their way, past the point where a print that lost its
  // page is cancelled.
  ASSERT_TRUE(stalling_.WaitForBytes(std::chrono::seconds(60), 2));

  for (auto& page : pages) page->Leave();
  health = HealthUntil(port, [](const std::string& h) { return HealthCount(h, "calls_left_running") == 2; });
  EXPECT_EQ(HealthCount(health, "calls_left_running"), 2) << health;
  EXPECT_EQ(HealthCount(health, "calls"), 2) << health;
  const std::vector<std::string> served = PagesAtOnce(port, 2, std::chrono::seconds(20));
  EXPECT_EQ(served, std::vector<std::string>(2, R"({"id":1,"result":{"object":1}})"));

  // The two pages just served leave their places as soon as the bridge
  // sees them close, which a loaded machine may take a moment to do.
  std::unique_ptr<PageConnection> latePage;
  for (const auto until = Clock::now() + std::chrono::seconds(20); !latePage;) {
    try {
      latePage = std::make_unique<PageConnection>(port);
    } catch (const std::exception&) {
      if (Clock::now() > until) throw;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  PageConnection& late = *latePage;
  const std::string refused = late.Call(PrintMessage(PdfPages(1, "0 g 10 10 50 50 re f"), "ZDesigner Jobs"));
  EXPECT_NE(refused.find("\"number\":7"), std::string::npos) << refused;
  EXPECT_NE(refused.find("2 calls of pages that left still run"), std::string::npos) << refused;

  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "left during a call ("), 2u) << log;
  EXPECT_NE(log.find("refused a page from 127.0.0.1:"), std::string::npos) << log;
  EXPECT_EQ(FinishedJobs(), 0u);
}

// A long print of light pages stops soon after its page leaves: the call
// ends (cancelled, as the log says) long before its last page.
TEST_F(ServeLeftPagesTest, ALeftPagesPrintIsCancelledBetweenPages) {
  // Two prints of 20,000 pages drawn under ThreadSanitizer's instrumentation
  // outlast every bounded wait here; the plain and AddressSanitizer runs
  // keep this test, and the other left-page tests run under it.
  if (morvel::testing::UnderThreadSanitizer) GTEST_SKIP() << "too slow to draw under ThreadSanitizer";
  const uint16_t port = Start({"--max-connections", "2"});
  ASSERT_NE(port, 0);
  const int pageCount = 20000;
  const std::string message = PrintMessage(PdfPages(pageCount, "0 g 20 20 200 100 re f"), "ZDesigner Jobs");
  std::vector<std::unique_ptr<PageConnection>> pages;
  for (int i = 0; i < 2; ++i) {
    pages.push_back(std::make_unique<PageConnection>(port));
    pages.back()->Send(message);
  }
  std::string health = HealthUntil(port, [](const std::string& h) { return HealthCount(h, "calls") == 2; });
  ASSERT_EQ(HealthCount(health, "calls"), 2) << health;
  // Best while both are drawing pages, a second on, though a print left
  // before its first page is cancelled as well.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  for (auto& page : pages) page->Leave();

  health = HealthUntil(port, [](const std::string& h) { return HealthCount(h, "calls") == 0; });
  EXPECT_EQ(HealthCount(health, "calls"), 0) << health;
  EXPECT_EQ(HealthCount(health, "calls_left_running"), 0) << health;
  const std::string between = "cancelled the print of a " + std::to_string(pageCount) + "-page document, after page ";
  const std::string before = "cancelled a print, before its first page";
  // Under a sanitizer, reading the document may take longer than the wait.
  const std::string reading = "cancelled a print, while a page was drawn (stopped while the PDF was read";
  const std::string log = LogUntil("cancelled", 2);
  EXPECT_EQ(Occurrences(log, between) + Occurrences(log, before) + Occurrences(log, reading), 2u) << log;
  EXPECT_EQ(Occurrences(log, "after page " + std::to_string(pageCount) + ":"), 0u) << log;
  EXPECT_EQ(PagesAtOnce(port, 1, std::chrono::seconds(20)),
            std::vector<std::string>{R"({"id":1,"result":{"object":1}})"});
}

// A page that leaves while its PDF's page is drawn, forever, has that
// drawing stopped: the call ends, its place and its share of the calls
// left running are free, and the log says why.
TEST_F(ServeLeftPagesTest, ALeftPagesDrawingStopsAtOnce) {
  const uint16_t port = Start({"--max-connections", "1", "--max-left-running", "1"});
  ASSERT_NE(port, 0);
  {
    PageConnection page(port);
    page.Send(PrintMessage(EndlessPdf(12), "ZDesigner Jobs"));
    const std::string health = HealthUntil(port, [](const std::string& h) { return HealthCount(h, "calls") == 1; });
    ASSERT_EQ(HealthCount(health, "calls"), 1) << health;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into the page's drawing
    page.Leave();
  }
  const std::string health = HealthUntil(port, [](const std::string& h) { return HealthCount(h, "calls") == 0; });
  EXPECT_EQ(HealthCount(health, "calls"), 0) << health;
  EXPECT_EQ(HealthCount(health, "calls_left_running"), 0) << health;
  const std::string log = LogUntil("cancelled a print", 1);
  EXPECT_NE(log.find("cancelled a print, while a page was drawn (stopped while page 1 was drawn: the caller left)"),
            std::string::npos)
      << log;
  // With no call left running, the next page prints.
  PageConnection next(port);
  const std::string printed = next.Call(PrintMessage(PdfPages(1, "0 g 10 10 50 50 re f"), "ZDesigner Jobs"));
  EXPECT_NE(printed.find("\"printed\":1"), std::string::npos) << printed;
  EXPECT_EQ(FinishedJobs(), 1u);
}

// Eight pages connecting at once are all served where there are places for
// them; where there are four, four are served and four are answered 503
// (when they ask for a page's place, or at once when even the places of
// connections not yet answered are taken), each refusal in the log.
TEST_F(ServeLeftPagesTest, PagesConnectingAtOnceAreServedOrToldWhy) {
  const std::string created = R"({"id":1,"result":{"object":1}})";
  struct Case {
    size_t Places;
    size_t Served;
  } cases[] = {{16, 8}, {4, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE("--max-connections " + std::to_string(c.Places));
    const uint16_t port = Start({"--max-connections", std::to_string(c.Places)});
    ASSERT_NE(port, 0);
    const std::vector<std::string> outcomes = PagesAtOnce(port, 8, std::chrono::seconds(30));
    size_t served = 0, refused = 0;
    for (const std::string& o : outcomes) {
      served += o == created;
      refused += o == "503";
    }
    EXPECT_EQ(served, c.Served);
    EXPECT_EQ(refused, 8 - c.Served);
    const std::string log = LogUntil("answered 503", 8 - c.Served, std::chrono::seconds(10));
    EXPECT_EQ(Occurrences(log, "answered 503"), 8 - c.Served) << log;
    EXPECT_EQ(Occurrences(log, "to make room"), 0u) << log;
    bridge_.reset();
    fs::remove(dir_ / "morvel.log");
  }
}

}  // namespace

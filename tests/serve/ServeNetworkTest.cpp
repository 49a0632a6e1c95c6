// The bridge's network side against hostile neighbours, over real loopback
// sockets and the real morvel command: another user on the machine, refused
// pages and slow handshakes that try to fill the connection table, a page
// that leaves with calls queued, a stop during a call that never ends, and a
// program that took one of the two loopback addresses first.
#include <utility>  // before Boost 1.74's asio, which uses std::exchange without it

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "hosts/serve/Server.h"
#include "platform/linux/adapters.h"
#include "serve/Bridge.h"
#include "support/ScopedEnv.h"
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
using morvel::testing::Bridge;
using morvel::testing::ScopedEnv;
using morvel::testing::StallingPrinter;

constexpr const char* Page = "http://127.0.0.1:8000";

std::string Handshake(uint16_t port, const std::string& origin) {
  return "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
         "Sec-WebSocket-Version: 13\r\n" +
         (origin.empty() ? "" : "Origin: " + origin + "\r\n") + "\r\n";
}

std::string Get(uint16_t port, const std::string& target, const std::string& origin) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" +
         (origin.empty() ? "" : "Origin: " + origin + "\r\n") + "\r\n";
}

sockaddr_storage Loopback(bool v6, uint16_t port, socklen_t& size) {
  sockaddr_storage s{};
  if (v6) {
    auto& a = reinterpret_cast<sockaddr_in6&>(s);
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    a.sin6_port = htons(port);
    size = sizeof a;
  } else {
    auto& a = reinterpret_cast<sockaddr_in&>(s);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    size = sizeof a;
  }
  return s;
}

int Connect(uint16_t port, bool v6 = false) {
  socklen_t size;
  sockaddr_storage address = Loopback(v6, port, size);
  int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), size) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void Send(int fd, const std::string& bytes) { ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

// Reads until the peer closes, or gives up at the deadline; true when it closed.
bool ReadToEnd(int fd, std::string& got, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return true;
    got.append(buffer, static_cast<size_t>(n));
  }
}

// A page: connects, creates a control and returns the answer, or "" when
// none came within `limit` (refused, closed, or stuck).
std::string PageAnswer(uint16_t port, std::chrono::milliseconds limit) {
  net::io_context io;
  websocket::stream<beast::tcp_stream> ws(io);
  beast::flat_buffer buffer;
  std::string answer;
  const std::string request = R"({"id":1,"create":"Morvel.PrintBarCode"})";
  ws.set_option(
      websocket::stream_base::decorator([](websocket::request_type& r) { r.set(http::field::origin, Page); }));
  beast::get_lowest_layer(ws).async_connect(
      tcp::endpoint(net::ip::make_address("127.0.0.1"), port), [&](beast::error_code ec) {
        if (ec) return;
        ws.async_handshake("127.0.0.1:" + std::to_string(port), "/", [&](beast::error_code ec) {
          if (ec) return;
          ws.async_write(net::buffer(request), [&](beast::error_code ec, size_t) {
            if (ec) return;
            ws.async_read(buffer, [&](beast::error_code ec, size_t) {
              if (!ec) answer = beast::buffers_to_string(buffer.data());
            });
          });
        });
      });
  io.run_for(limit);
  return answer;
}

class ServeNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "allowed");
    fs::create_directories(dir_ / "config");
    printers_.emplace(
        "MORVEL_PRINTERS",
        morvel::testing::WritePrinters(
            dir_, {{"ZDesigner GK420t", morvel::testing::SocketUri(printer_.Port()), {}, "ZDesigner Stalling"}}));
    services_.emplace(morvel::platform::LinuxServices());
  }

  void TearDown() override {
    bridge_.Stop();
    services_.reset();
  }

  void Start(morvel::serve::Limits limits = {}) {
    morvel::serve::ServerOptions options;
    options.Port = 0;
    options.AllowedOrigins = {Page};
    options.AllowedFolders = {(dir_ / "allowed").string()};
    options.Bounds = limits;
    bridge_.Start(options);
  }

  // Cases that need this build's own bridge: the stalling printer of its
  // printers.conf, POSIX signals, a server in this process beside it.
  static bool NeedsOwnBuild() { return morvel::testing::ExternalBridge(); }

  // The calls up to a label far larger than the stalling printer takes,
  // which PrintLabel then sends.
  static std::vector<std::string> LargeLabel() {
    return {R"({"id":1,"create":"Morvel.PrintBarCode"})",
            R"({"id":2,"object":1,"member":"SetPrint","args":["ZDesigner Stalling"]})",
            R"({"id":3,"object":1,"member":"OpenPort","args":["ZDesigner Stalling"]})",
            R"({"id":4,"object":1,"member":"SendCmd","args":[")" + std::string(12u << 20, 'x') + "\"]}"};
  }
  static constexpr const char* PrintLabel = R"({"id":5,"object":1,"member":"PrintLabel","args":["1"]})";

  const morvel::testing::TempFolder temp_{"morvel-serve-net"};
  const fs::path& dir_ = temp_.Path();
  StallingPrinter printer_;
  ScopedEnv cups_{"MORVEL_CUPS", "0"};
  std::optional<ScopedEnv> printers_;
  std::optional<morvel::platform::ScopedServices> services_;
  morvel::testing::BridgeUnderTest bridge_;
};

// Loopback is every account's: a client of another user is closed before it
// hears anything, whatever it sends; the bridge's own user is served.
TEST_F(ServeNetworkTest, OnlyTheBridgesOwnUserIsServed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  Start();
  uint16_t port = bridge_.Port();
  struct Case {
    bool V6;
    std::string Request;
    std::string Served;  // how an answer to the bridge's user starts
  };
  std::vector<Case> cases = {
      {false, Get(port, "/health", ""), "HTTP/1.1 200"},
      {false, Get(port, "/morvel.js", Page), "HTTP/1.1 200"},
      {false, Handshake(port, ""), "HTTP/1.1 101"},
      {false, Handshake(port, Page), "HTTP/1.1 101"},
  };
  if (bridge_.ListensOnIpv6()) {
    cases.push_back({true, Get(port, "/health", ""), "HTTP/1.1 200"});
    cases.push_back({true, Handshake(port, ""), "HTTP/1.1 101"});
  }
  std::vector<std::pair<sockaddr_storage, socklen_t>> addresses;
  for (const Case& c : cases) {
    socklen_t size;
    sockaddr_storage a = Loopback(c.V6, port, size);
    addresses.emplace_back(a, size);
  }

  for (uid_t user : {uid_t(65534), geteuid()}) {
    int results[2];
    ASSERT_EQ(pipe(results), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Only system calls from here: the parent has threads.
      close(results[0]);
      if (user != geteuid() &&
          (setgroups(0, nullptr) != 0 || setresgid(user, user, user) != 0 || setresuid(user, user, user) != 0))
        _exit(3);
      for (size_t i = 0; i < cases.size(); ++i) {
        char record[12] = {};
        int fd = socket(cases[i].V6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addresses[i].first), addresses[i].second) != 0) _exit(4);
        (void)!send(fd, cases[i].Request.data(), cases[i].Request.size(), MSG_NOSIGNAL);
        size_t got = 0;
        while (got < sizeof record) {
          pollfd p{fd, POLLIN, 0};
          if (poll(&p, 1, 10000) <= 0) break;
          ssize_t n = read(fd, record + got, sizeof record - got);
          if (n <= 0) break;
          got += static_cast<size_t>(n);
        }
        close(fd);
        (void)!write(results[1], record, sizeof record);
      }
      _exit(0);
    }
    close(results[1]);
    std::string all;
    ReadToEnd(results[0], all, Clock::now() + std::chrono::seconds(60));
    close(results[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "client as uid " << user << ": " << status;
    ASSERT_EQ(all.size(), cases.size() * 12);
    for (size_t i = 0; i < cases.size(); ++i) {
      std::string answer = all.substr(i * 12, 12);
      answer = answer.substr(0, answer.find('\0'));
      EXPECT_EQ(answer, user == geteuid() ? cases[i].Served : "")
          << "uid " << user << (cases[i].V6 ? " over ::1: " : ": ") << cases[i].Request.substr(0, 40);
    }
  }
}

// What is refused goes at once: an answer to a refused origin ends its
// connection, a refused page gets its close frame and then the TCP close
// whether or not it answers, and an unfinished request ends soon.
TEST_F(ServeNetworkTest, RefusedAndUnfinishedConnectionsAreClosed) {
  morvel::serve::Limits limits;
  limits.MaxConnections = 32;  // room for all six at once, none giving way to another
  Start(limits);
  uint16_t port = bridge_.Port();
  const std::string evil = "https://evil.example";
  struct Case {
    const char* Name;
    std::string Request;
    std::string Answer;  // how the answer starts
  } cases[] = {
      {"script for a refused origin", Get(port, "/morvel.js", evil), "HTTP/1.1 200 OK"},
      {"health for a refused origin", Get(port, "/health", evil), "HTTP/1.1 403"},
      {"preflight of a refused origin",
       "OPTIONS /health HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: " + evil +
           "\r\nAccess-Control-Request-Method: GET\r\n\r\n",
       "HTTP/1.1 403"},
      {"refused page that never answers the close frame", Handshake(port, evil), "HTTP/1.1 101"},
      {"unfinished request", "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n", ""},
      {"unfinished handshake", Handshake(port, Page).substr(0, 60), ""},
  };
  std::vector<int> fds;
  for (const Case& c : cases) {
    fds.push_back(Connect(port));
    ASSERT_GE(fds.back(), 0);
    Send(fds.back(), c.Request);
  }
  // Beyond the idle limit and the close limit, well short of what a hang takes.
  auto deadline = Clock::now() + std::chrono::seconds(10);
  for (size_t i = 0; i < fds.size(); ++i) {
    std::string got;
    EXPECT_TRUE(ReadToEnd(fds[i], got, deadline)) << cases[i].Name << " is still open";
    EXPECT_EQ(got.substr(0, cases[i].Answer.size()), cases[i].Answer) << cases[i].Name;
    close(fds[i]);
  }
}

// Twenty connections that are refused or never finish their handshake, all
// held open, leave room for an allowed page.
TEST_F(ServeNetworkTest, RefusedAndSlowConnectionsCannotKeepAPageOut) {
  Start();
  uint16_t port = bridge_.Port();
  std::vector<int> held;
  for (int i = 0; i < 10; ++i) {
    held.push_back(Connect(port));
    Send(held.back(), Get(port, "/morvel.js", "https://evil.example"));
    held.push_back(Connect(port));
    Send(held.back(), Handshake(port, Page).substr(0, 40));
  }
  for (int round = 0; round < 3; ++round)
    EXPECT_EQ(PageAnswer(port, std::chrono::seconds(2)), R"({"id":1,"result":{"object":1}})") << "round " << round;
  for (int fd : held) close(fd);
}

// Calls that a page sent before it left are not run once it has: the page
// queues a file write behind a label the printer does not take, and goes.
TEST_F(ServeNetworkTest, QueuedCallsOfAGonePageAreDropped) {
  if (NeedsOwnBuild()) GTEST_SKIP() << "runs this build's own bridge";
  Start({.MaxMessageBytes = 16u << 20, .MaxObjects = 64, .MaxConnections = 1});
  uint16_t port = bridge_.Port();
  {
    net::io_context io;
    websocket::stream<tcp::socket> ws(io);
    ws.next_layer().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    ws.set_option(
        websocket::stream_base::decorator([](websocket::request_type& r) { r.set(http::field::origin, Page); }));
    ws.handshake("127.0.0.1", "/");
    ws.text(true);
    std::vector<std::string> calls = LargeLabel();
    calls.push_back(R"({"id":7,"create":"Morvel.clsBase64"})");
    for (const std::string& call : calls) {
      ws.write(net::buffer(call));
      beast::flat_buffer answer;
      ws.read(answer);
      ASSERT_EQ(beast::buffers_to_string(answer.data()).find("error"), std::string::npos) << call.substr(0, 80);
    }
    ws.write(net::buffer(std::string(PrintLabel)));
    std::string write = R"({"id":8,"object":2,"member":"SaveFile2","args":[")" +
                        (dir_ / "allowed" / "after.txt").string() + R"(","late"]})";
    ws.write(net::buffer(write));
    ASSERT_TRUE(printer_.WaitForBytes()) << "the label never reached the printer";
    ws.next_layer().close();  // the page is gone, its calls still queued
  }
  printer_.Release();  // the label's call fails now
  // The one slot comes free once the gone page's connection has ended.
  for (int tries = 0; PageAnswer(port, std::chrono::seconds(2)).empty(); ++tries) {
    ASSERT_LT(tries, 100) << "the gone page's connection never ended";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_FALSE(fs::exists(dir_ / "allowed" / "after.txt"));
}

// SIGTERM ends the bridge promptly even while a call waits on a printer that
// takes nothing, and the log says which call was left running (by its member
// and size, not its bytes).
TEST_F(ServeNetworkTest, SigtermStopsTheBridgeDuringACall) {
  if (NeedsOwnBuild()) GTEST_SKIP() << "runs this build's own bridge";
  fs::path log = dir_ / "morvel.log";
  Bridge bridge({"--port", "0", "--allow-origin", Page, "--max-message", std::to_string(16u << 20)},
                {"MORVEL_PRINTERS=" + (dir_ / "printers.conf").string(), "MORVEL_CUPS=0",
                 "XDG_CONFIG_HOME=" + (dir_ / "config").string(), "MORVEL_LOG=" + log.string()});
  uint16_t port = bridge.Port();
  ASSERT_NE(port, 0) << bridge.ReadUntil("");
  net::io_context io;
  websocket::stream<tcp::socket> ws(io);
  ws.next_layer().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
  ws.set_option(
      websocket::stream_base::decorator([](websocket::request_type& r) { r.set(http::field::origin, Page); }));
  ws.handshake("127.0.0.1", "/");
  ws.text(true);
  for (const std::string& call : LargeLabel()) {
    ws.write(net::buffer(call));
    beast::flat_buffer answer;
    ws.read(answer);
    ASSERT_EQ(beast::buffers_to_string(answer.data()).find("error"), std::string::npos) << call.substr(0, 80);
  }
  ws.write(net::buffer(std::string(PrintLabel)));
  ASSERT_TRUE(printer_.WaitForBytes()) << "the label never reached the printer";

  bridge.Signal(SIGTERM);
  EXPECT_EQ(bridge.Wait(std::chrono::seconds(4)), 0) << "the bridge did not stop within 2 s and a margin";
  std::ifstream in(log);
  std::string text(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(text.find("stopping while a call still runs for 127.0.0.1:"), std::string::npos) << text;
  // The call is named by its member and size, never by what the page sent.
  EXPECT_NE(text.find(": a call of PrintLabel ("), std::string::npos) << text;
  EXPECT_EQ(text.find("\"member\""), std::string::npos) << text;
}

// Both loopback addresses of the port, or the bridge does not start: a
// program holding the other one would answer pages in its place.
TEST_F(ServeNetworkTest, ATakenLoopbackAddressStopsTheStart) {
  // Under Wine the holder is known by its Unix uid alone.
  const std::string heldBy = morvel::testing::ExternalBridge() ? "held by a process of uid " + std::to_string(geteuid())
                                                               : "held by process " + std::to_string(getpid());
  struct Case {
    bool TakeV6;
    bool Ipv4Only;
    bool Starts;
  } cases[] = {
      {true, false, false},
      {false, false, false},
      {true, true, true},
      {false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.TakeV6 ? "[::1] taken" : "127.0.0.1 taken") + (c.Ipv4Only ? ", --ipv4-only" : ""));
    int holder = socket(c.TakeV6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    socklen_t size;
    sockaddr_storage address = Loopback(c.TakeV6, 0, size);
    if (c.TakeV6) {
      int one = 1;
      setsockopt(holder, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    }
    if (bind(holder, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(holder, 1) != 0) {
      close(holder);
      ASSERT_TRUE(c.TakeV6) << "cannot bind 127.0.0.1";
      GTEST_SKIP() << "no ::1 on this machine";
    }
    getsockname(holder, reinterpret_cast<sockaddr*>(&address), &size);
    uint16_t port = ntohs(c.TakeV6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                   : reinterpret_cast<sockaddr_in&>(address).sin_port);
    std::string taken = (c.TakeV6 ? "[::1]:" : "127.0.0.1:") + std::to_string(port);

    morvel::serve::ServerOptions options;
    options.Port = port;
    options.Ipv4Only = c.Ipv4Only;
    morvel::serve::Server server(options);
    if (morvel::testing::ExternalBridge()) {
      // only the command below
    } else if (c.Starts) {
      EXPECT_NO_THROW(server.Start());
      EXPECT_FALSE(server.ListensOnIpv6());
      server.Stop();
    } else {
      try {
        server.Start();
        ADD_FAILURE() << "started";
      } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(taken), std::string::npos) << e.what();
      }
    }

    std::vector<std::string> args = {"--port", std::to_string(port)};
    if (c.Ipv4Only) args.push_back("--ipv4-only");
    Bridge bridge(args, {"MORVEL_CUPS=0", "XDG_CONFIG_HOME=" + (dir_ / "config").string()});
    if (c.Starts) {
      EXPECT_EQ(bridge.Port(), port);
      EXPECT_NE(bridge.ReadUntil(" only").find("listening on 127.0.0.1:" + std::to_string(port) + " only"),
                std::string::npos);
      // Ctrl+C, which Wine gives a Windows program for SIGINT.
      bridge.Signal(SIGINT);
      EXPECT_EQ(bridge.Wait(std::chrono::seconds(10)), 0);
    } else {
      EXPECT_EQ(bridge.Wait(std::chrono::seconds(20)), 1);
      std::string said = bridge.ReadUntil("\n");
      EXPECT_NE(said.find("cannot listen on " + taken), std::string::npos) << said;
      EXPECT_NE(said.find(heldBy), std::string::npos) << said;
    }
    close(holder);
  }
}

TEST(ServeCommand, Options) {
  struct {
    std::vector<std::string> Args;
    int Status;
    const char* Says;
  } cases[] = {
      {{"--help"}, 0, "[--lease-wait SECONDS] [--max-left-running N] [--refuse-printer-settings]"},
      {{"--max-left-running", "0"}, 2, "bad value for --max-left-running: 0"},
      {{"--lease-wait", "3601"}, 2, "bad value for --lease-wait: 3601"},
      {{"--lease-wait", "-1"}, 2, "bad value for --lease-wait: -1"},
      {{"--lease-wait"}, 2, "--lease-wait needs a value"},
      {{"--ipv4-only", "--port", "x"}, 2, "bad value for --port: x"},
      {{"--refuse-printer-settings", "--max-left-running", "2", "--port", "x"}, 2, "bad value for --port: x"},
  };
  for (auto& c : cases) {
    std::string command;
    for (const std::string& word : morvel::testing::BridgeCommand()) command += "'" + word + "' ";
    command += "serve";
    for (auto& a : c.Args) command += " '" + a + "'";
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    int status = pclose(p);
    EXPECT_EQ(WEXITSTATUS(status), c.Status) << command;
    EXPECT_NE(out.find(c.Says), std::string::npos) << command << "\n" << out;
  }
}

}  // namespace

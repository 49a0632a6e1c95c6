// socket:// printers against a real loopback listener: bytes arrive exactly,
// and a printer that refuses, stalls or hangs up costs a bounded wait and
// leaves a log record naming where it went wrong.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "spooler/SpoolerFixture.h"
#include "support/CaptureListener.h"
#include "support/ScopedEnv.h"

namespace morvel::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Mode = CaptureListener::Mode;

struct AddressCase {
  const char* Label;
  const char* Host;  // as written in the uri
  bool Ipv6;
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.Host; }

class SocketAddressTest : public SpoolerTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(SocketAddressTest, BytesArriveByteForByte) {
  CaptureListener printer(Mode::Capture, 0, GetParam().Ipv6);
  if (!printer.Ready()) GTEST_SKIP() << "no loopback for " << GetParam().Label;
  Install(u"ZDesigner ZT410R-300dpi ZPL",
          std::string("socket://") + GetParam().Host + ":" + std::to_string(printer.Port()));
  const std::string bytes = Payload(1 << 20);

  auto o = Print(u"ZDesigner ZT410R-300dpi ZPL", u"label", Parts(bytes));

  EXPECT_TRUE(o.Opened && o.Started && o.Wrote && o.Ended) << Log();
  EXPECT_EQ(o.Written, bytes.size());
  ASSERT_TRUE(printer.WaitForConnections(1));
  ASSERT_EQ(printer.Connections().size(), 1u);
  EXPECT_TRUE(printer.Connections()[0] == bytes) << "received " << printer.Connections()[0].size() << " bytes";
  EXPECT_TRUE(Fakes.Logger->Records.empty()) << Log();
}

INSTANTIATE_TEST_SUITE_P(Addresses, SocketAddressTest,
                         ::testing::Values(AddressCase{"ipv4", "127.0.0.1", false}, AddressCase{"ipv6", "[::1]", true},
                                           AddressCase{"name", "localhost", false}),
                         [](const auto& info) { return std::string(info.param.Label); });

TEST_F(SpoolerTest, TwoDocumentsOnOneHandleArriveInOrder) {
  CaptureListener printer;
  Install(u"Printer", "socket://127.0.0.1:" + std::to_string(printer.Port()));
  auto handle = Spool->OpenPrinter(u"Printer");
  ASSERT_NE(handle, platform::Spooler::NullHandle) << Log();
  for (std::string doc : {"^XA^FDfirst^FS^XZ", "^XA^FDsecond^FS^XZ"}) {
    size_t written = 0;
    ASSERT_TRUE(Spool->StartDoc(handle, u"doc"));
    ASSERT_TRUE(Spool->Write(handle, reinterpret_cast<const uint8_t*>(doc.data()), doc.size(), written));
    ASSERT_TRUE(Spool->EndDoc(handle)) << Log();
  }
  EXPECT_TRUE(Spool->ClosePrinter(handle));
  ASSERT_TRUE(printer.WaitForConnections(2));
  EXPECT_EQ(printer.Connections(), (std::vector<std::string>{"^XA^FDfirst^FS^XZ", "^XA^FDsecond^FS^XZ"}));
}

// A printer that misbehaves: what fails, and what the log must say.
struct FailureCase {
  const char* Label;
  Mode Behaviour;
  size_t Limit;  // CloseAfter: bytes read before hanging up
  bool StartSucceeds;
  const char* Record;  // part of the record that explains it
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.Label; }

class SocketFailureTest : public SpoolerTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SocketFailureTest, FailsWithinBoundsAndSaysWhy) {
  ScopedEnv writeTimeout("MORVEL_WRITE_TIMEOUT_MS", "200");
  const auto& c = GetParam();
  CaptureListener printer(c.Behaviour, c.Limit);
  const std::string where = "127.0.0.1:" + std::to_string(printer.Port());
  Install(u"Printer", "socket://" + where);
  // More than the two sockets' buffers hold, so a stalled or closed
  // printer shows while the bytes are still going.
  const std::string bytes = Payload(32 << 20);

  const auto begun = Clock::now();
  auto o = Print(u"Printer", u"label", {bytes, "tail"});
  const auto took = Clock::now() - begun;

  EXPECT_LT(took, std::chrono::seconds(10)) << "the caller was held";
  EXPECT_TRUE(o.Opened);
  EXPECT_EQ(o.Started, c.StartSucceeds) << Log();
  EXPECT_FALSE(o.Wrote && o.Ended) << "a failed delivery was reported as done";
  EXPECT_LT(o.Written, bytes.size() + 4);
  EXPECT_EQ(Logged(where), 1u) << Log();
  EXPECT_EQ(Logged(c.Record), 1u) << Log();
  // The bytes that never went are owned up to once, not per write.
  EXPECT_EQ(Logged("further writes are dropped"), 1u) << Log();
  EXPECT_EQ(Logged("ended incomplete"), 1u) << Log();
}

INSTANTIATE_TEST_SUITE_P(Printers, SocketFailureTest,
                         ::testing::Values(FailureCase{"refused", Mode::Refuse, 0, false, "Connection refused"},
                                           FailureCase{"never_reads", Mode::NeverRead, 0, true,
                                                       "took no data for 200 ms"},
                                           FailureCase{"hangs_up_mid_job", Mode::CloseAfter, 1000, true, "sending to"}),
                         [](const auto& info) { return std::string(info.param.Label); });

TEST_F(SpoolerTest, ConnectToAPrinterThatNeverAnswersTimesOut) {
  ScopedEnv connectTimeout("MORVEL_CONNECT_TIMEOUT_MS", "300");
  // A listener whose one-place accept queue is already taken drops further
  // connection requests, as an unplugged printer's address does.
  int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&a), len), 0);
  ASSERT_EQ(getsockname(server, reinterpret_cast<sockaddr*>(&a), &len), 0);
  ASSERT_EQ(listen(server, 0), 0);
  std::vector<int> fillers;
  for (int i = 0; i < 2; ++i) {
    int f = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    connect(f, reinterpret_cast<sockaddr*>(&a), len);
    fillers.push_back(f);
  }
  usleep(50000);  // let the handshakes of the fillers settle
  Install(u"Printer", "socket://127.0.0.1:" + std::to_string(ntohs(a.sin_port)));

  const auto begun = Clock::now();
  auto o = Print(u"Printer", u"label", {"^XA^XZ"});

  EXPECT_LT(Clock::now() - begun, std::chrono::seconds(10));
  EXPECT_FALSE(o.Started);
  EXPECT_EQ(Logged("timed out after 300 ms"), 1u) << Log();
  for (int f : fillers) close(f);
  close(server);
}

}  // namespace
}  // namespace morvel::testing

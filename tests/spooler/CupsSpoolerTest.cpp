// cups: printers and the CUPS printer source against a private cupsd whose
// raw queues deliver to capture listeners.
#include <cups/cups.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "spooler/SpoolerFixture.h"
#include "support/CaptureListener.h"
#include "support/CupsServer.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace morvel::testing {
namespace {

using Clock = std::chrono::steady_clock;

// One scheduler for the whole suite: starting cupsd takes about a second.
class CupsTest : public SpoolerTest {
 protected:
  static void SetUpTestSuite() { Server = new CupsServer(); }
  static void TearDownTestSuite() {
    delete Server;
    Server = nullptr;
  }
  void SetUp() override {
    if (!Server->Ready()) GTEST_SKIP() << Server->Error();
  }

  // Points libcups at another server for the scope of a test.
  struct OtherServer {
    ScopedEnv Env;
    explicit OtherServer(const std::string& address) : Env("CUPS_SERVER", address) { cupsSetServer(nullptr); }
    ~OtherServer() { cupsSetServer(nullptr); }
  };

  static CupsServer* Server;
};
CupsServer* CupsTest::Server = nullptr;

TEST_F(CupsTest, JobReachesThePrinterByteForByteTitledWithTheDocumentName) {
  CaptureListener printer;
  ASSERT_TRUE(Server->AddRawQueue("Zebra_Dock", printer.Port())) << Server->Error();
  Install(u"Dock Printer", "cups:Zebra_Dock");
  const std::string bytes = Payload(600000);

  auto o = Print(u"Dock Printer", u"Étiquette n° 42", Parts(bytes));

  EXPECT_TRUE(o.Started && o.Wrote && o.Ended) << Log();
  ASSERT_TRUE(Server->WaitUntilIdle("Zebra_Dock"));
  ASSERT_TRUE(printer.WaitForConnections(1));
  ASSERT_EQ(printer.Connections().size(), 1u);
  EXPECT_TRUE(printer.Connections()[0] == bytes) << "received " << printer.Connections()[0].size() << " bytes";
  auto jobs = Server->Jobs("Zebra_Dock");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].Title, "Étiquette n° 42");
  EXPECT_EQ(jobs[0].State, IPP_JSTATE_COMPLETED);
  EXPECT_TRUE(Fakes.Logger->Records.empty()) << Log();
}

TEST_F(CupsTest, StoppedQueueKeepsTheJobAndDeliversItWhenStarted) {
  CaptureListener printer;
  ASSERT_TRUE(Server->AddRawQueue("Sato_Held", printer.Port())) << Server->Error();
  ASSERT_TRUE(Server->Stop("Sato_Held")) << Server->Error();
  Install(u"Held", "cups:Sato_Held");

  auto o = Print(u"Held", u"waits", {"<ESC>A<ESC>Z"});

  EXPECT_TRUE(o.Started && o.Wrote && o.Ended) << Log();
  auto jobs = Server->Jobs("Sato_Held");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].State, IPP_JSTATE_PENDING);
  EXPECT_EQ(printer.Accepted(), 0u);

  ASSERT_TRUE(Server->Start("Sato_Held")) << Server->Error();
  ASSERT_TRUE(Server->WaitUntilIdle("Sato_Held"));
  ASSERT_TRUE(printer.WaitForConnections(1));
  EXPECT_EQ(printer.Connections(), std::vector<std::string>{"<ESC>A<ESC>Z"});
}

TEST_F(CupsTest, MissingQueueAndAbsentServerAreRecorded) {
  CaptureListener nobody(CaptureListener::Mode::Refuse);
  const std::string absent = "127.0.0.1:" + std::to_string(nobody.Port());
  struct Case {
    const char* Uri;
    std::string Server;  // empty: the test scheduler
    std::string Record;
  } cases[] = {{"cups:No_Such_Queue", "", "CUPS queue 'No_Such_Queue'"},
               {"cups:Anything", absent,
                "cannot reach the CUPS server " + absent + ": connection refused: no CUPS server listens there"}};
  for (const auto& c : cases) {
    std::unique_ptr<OtherServer> other;
    if (!c.Server.empty()) other = std::make_unique<OtherServer>(c.Server);
    Fakes.Printers->Printers = {{u"P", 203, c.Uri}};
    Fakes.Logger->Records.clear();
    const auto begun = Clock::now();
    auto o = Print(u"P", u"doc", {"bytes"});
    EXPECT_LT(Clock::now() - begun, std::chrono::seconds(10));
    EXPECT_FALSE(o.Started || o.Ended) << c.Uri;
    EXPECT_EQ(Logged(c.Record), 1u) << Log();
    EXPECT_EQ(Logged("5 of the caller's bytes were not sent"), 1u) << Log();
  }
}

TEST_F(CupsTest, AServerThatDiesInTheMiddleOfADocumentIsSaidToHaveGone) {
  CaptureListener printer;
  CupsServer dying;  // its own scheduler, so the suite's stays up
  ASSERT_TRUE(dying.Ready()) << dying.Error();
  ASSERT_TRUE(dying.AddRawQueue("Gone", printer.Port())) << dying.Error();
  Install(u"P", "cups:Gone");
  auto handle = Spool->OpenPrinter(u"P");
  ASSERT_TRUE(Spool->StartDoc(handle, u"doc")) << Log();
  const std::string chunk = Payload(65536);
  size_t written = 0;
  ASSERT_TRUE(Spool->Write(handle, reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(), written)) << Log();
  dying.Kill();
  bool failed = false;
  for (int i = 0; i < 200 && !failed; ++i)
    failed = !Spool->Write(handle, reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(), written);
  EXPECT_FALSE(Spool->EndDoc(handle));
  Spool->ClosePrinter(handle);
  EXPECT_EQ(Logged("the CUPS server went away or closed the connection"), 1u) << Log();
  EXPECT_EQ(Logged("successful-ok"), 0u) << Log();
}

TEST_F(CupsTest, SourceNamesQueuesByDescriptionWithTheirResolution) {
  ASSERT_TRUE(Server->AddRawQueue("ZT410", 9, "ZDesigner ZT410R-300dpi ZPL")) << Server->Error();
  ASSERT_TRUE(Server->AddRawQueue("Sato_CL4NX_305dpi", 9)) << Server->Error();
  ASSERT_TRUE(Server->AddRawQueue("Plain", 9, "Dock label printer")) << Server->Error();
  auto source = platform::MakeCupsPrinterSource();
  ASSERT_NE(source, nullptr);

  auto listed = source->List();

  auto find = [&](const std::string& uri) -> const platform::InstalledPrinter* {
    for (const auto& p : listed)
      if (p.Uri == uri) return &p;
    return nullptr;
  };
  struct Expected {
    const char* Uri;
    std::u16string Name;
    int Dpi;
  } expected[] = {{"cups:ZT410", u"ZDesigner ZT410R-300dpi ZPL", 300},
                  {"cups:Sato_CL4NX_305dpi", u"Sato_CL4NX_305dpi", 305},
                  {"cups:Plain", u"Dock label printer", 203}};
  for (const auto& e : expected) {
    auto p = find(e.Uri);
    ASSERT_NE(p, nullptr) << e.Uri;
    EXPECT_EQ(p->Name, e.Name) << e.Uri;
    EXPECT_EQ(p->Dpi, e.Dpi) << e.Uri;
  }
  EXPECT_TRUE(Fakes.Logger->Records.empty()) << Log();
}

// The printer list of this machine: printers.conf first, CUPS after it,
// and no CUPS printers (nor an error) when CUPS is off or away.
TEST_F(CupsTest, SystemListAppendsCupsUnlessTurnedOffOrUnreachable) {
  ASSERT_TRUE(Server->AddRawQueue("Listed", 9, "Listed Printer")) << Server->Error();
  const TempFolder folder("morvel-printers-conf");
  ScopedEnv conf("MORVEL_PRINTERS", WritePrinters(folder.Path(), {{"ZDesigner GK420t"}}));
  CaptureListener nobody(CaptureListener::Mode::Refuse);

  struct Case {
    const char* Label;
    std::optional<std::string> Cups;
    std::string Server;  // empty: the test scheduler
    bool ListsCups;
    size_t Records;  // after listing twice
  } cases[] = {{"on", std::nullopt, "", true, 0},
               {"turned off", "0", "", false, 0},
               {"unreachable", std::nullopt, "127.0.0.1:" + std::to_string(nobody.Port()), false, 1}};
  for (const auto& c : cases) {
    ScopedEnv cups("MORVEL_CUPS", c.Cups);
    std::unique_ptr<OtherServer> other;
    if (!c.Server.empty()) other = std::make_unique<OtherServer>(c.Server);
    Fakes.Logger->Records.clear();
    platform::SystemPrinterList list(platform::DefaultPrinterSources());
    const auto begun = Clock::now();
    list.List();
    auto printers = list.List();
    EXPECT_LT(Clock::now() - begun, std::chrono::seconds(10)) << c.Label;
    ASSERT_FALSE(printers.empty()) << c.Label;
    EXPECT_EQ(printers.front().Name, u"ZDesigner GK420t") << c.Label;
    bool listsCups = false;
    for (const auto& p : printers) listsCups |= p.Uri == "cups:Listed" && p.Name == u"Listed Printer";
    EXPECT_EQ(listsCups, c.ListsCups) << c.Label;
    EXPECT_EQ(printers.size(), c.ListsCups ? printers.size() : 1u) << c.Label;
    EXPECT_EQ(Fakes.Logger->Records.size(), c.Records) << c.Label << "\n" << Log();
  }
}

}  // namespace
}  // namespace morvel::testing

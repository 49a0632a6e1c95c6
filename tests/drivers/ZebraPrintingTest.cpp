// Zebra labels through the real spooler channels: straight to a socket
// listener, and through a private cupsd whose raw queue sends to one.
#include "drivers/shared/RawChannel.h"
#include "morvel/PrintBarCode.h"
#include "platform/linux/adapters.h"
#include "support/CaptureListener.h"
#include "support/CupsServer.h"
#include "support/FakeEnvironment.h"
#include "support/Golden.h"

namespace morvel {
namespace {

using testing::CaptureListener;
using testing::CupsServer;

// The worked label of ZebraTest, as zebra.golden has it.
std::string WorkedLabelZpl() {
  static testing::GoldenFile golden(MORVEL_SOURCE_DIR "/tests/drivers/zebra.golden");
  return golden.Value("WorkedLabel");
}

class ZebraPrintingTest : public testing::FakeEnvironment {
 protected:
  // The real spooler and code page; printers come from the fake list.
  void UseRealSpooler(const std::string& uri) {
    Fakes.Printers->Printers = {{u"ZDesigner GK420t", 203, uri}};
    auto services = Fakes.AsServices();
    services.Spool = platform::MakeLinuxSpooler();
    services.Ansi = platform::MakeLinuxCodePage();
    scope_ = std::make_unique<platform::ScopedServices>(services);
  }

  void PrintWorkedLabel(PrintBarCode& c) {
    String wide = u"60", height = u"40", speed = u"4", nd = u"10", cz = u"2", sp = u"1", direction = u"0";
    c.InitPrint(wide, height, speed, nd, cz, sp, direction);
    Single x = 10, y = 20, h = 12;
    String txt = u"ABC", face = u"F1.TTF";
    c.PrintFont(x, y, txt, h, face);
    Single bx = 10, by = 100, bw = 200, bh = 2;
    c.PrintBar(bx, by, bw, bh);
    Single cx = 10, cy = 50, ch = 50;
    String code = u"12345678", type = u"128", readable = u"1", z = u"1", k = u"3";
    c.PrintCode(cx, cy, code, type, readable, ch, z, k);
    Single qx = 300, qy = 10, qh = 5;
    String qcode = u"ABC", qtype = u"QRCODE", qreadable = u"0", empty;
    c.PrintCode(qx, qy, qcode, qtype, qreadable, qh, empty, empty);
    String copies = u"1";
    c.PrintLabel(copies);
  }

  void Open(PrintBarCode& c) {
    String name = u"ZDesigner GK420t";
    ASSERT_EQ(c.SetPrint(name), 0);
    c.OpenPort(name);
  }

  std::unique_ptr<platform::ScopedServices> scope_;
};

TEST_F(ZebraPrintingTest, WorkedLabelArrivesAtTheSocketByteForByte) {
  CaptureListener printer;
  ASSERT_TRUE(printer.Ready());
  UseRealSpooler("socket://127.0.0.1:" + std::to_string(printer.Port()));
  PrintBarCode control;
  Open(control);
  PrintWorkedLabel(control);
  String copies = u"2";
  String cmd = u"^FDsecond^FS";
  control.SendCmd(cmd);
  control.PrintLabel(copies);
  control.ClosePort();
  ASSERT_TRUE(printer.WaitForConnections(1));
  auto got = printer.Connections();
  ASSERT_EQ(got.size(), 1u) << "two labels, one document";
  EXPECT_EQ(got[0], WorkedLabelZpl() + "^XA^FDsecond^FS^PQ2^XZ");
  EXPECT_TRUE(Fakes.Logger->Records.empty());
}

TEST_F(ZebraPrintingTest, RefusedConnectionIsRecordedNotRaised) {
  CaptureListener down(CaptureListener::Mode::Refuse);
  ASSERT_TRUE(down.Ready());
  UseRealSpooler("socket://127.0.0.1:" + std::to_string(down.Port()));
  PrintBarCode control;
  Open(control);
  PrintWorkedLabel(control);
  control.ClosePort();
  EXPECT_EQ(control.CommandPrint(), u"");
  EXPECT_FALSE(Fakes.Logger->Records.empty()) << "the user can see why nothing printed";
}

TEST_F(ZebraPrintingTest, WorkedLabelThroughCups) {
  CaptureListener printer;
  ASSERT_TRUE(printer.Ready());
  CupsServer cups;
  ASSERT_TRUE(cups.Ready()) << cups.Error();
  ASSERT_TRUE(cups.AddRawQueue("GK420t", printer.Port(), "ZDesigner GK420t")) << cups.Error();
  UseRealSpooler("cups:GK420t");
  PrintBarCode control;
  Open(control);
  PrintWorkedLabel(control);
  String cmd = u"^FDsecond^FS", copies = u"1";
  control.SendCmd(cmd);
  control.PrintLabel(copies);
  control.ClosePort();
  ASSERT_TRUE(cups.WaitUntilIdle("GK420t"));
  ASSERT_TRUE(printer.WaitForConnections(1));
  auto got = printer.Connections();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], WorkedLabelZpl() + "^XA^FDsecond^FS^PQ1^XZ");
  auto jobs = cups.Jobs("GK420t");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].Title, "条码打印");
  EXPECT_TRUE(Fakes.Logger->Records.empty());
}

}  // namespace
}  // namespace morvel

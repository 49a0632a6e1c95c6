// The Orx driver through liborxlib.so, which it loads beside libmorvel2.so:
// the lines of a whole label (rows of orx.golden, worked by hand for a
// 203 dpi printer and a 96 ppi screen) into the recording spooler and, byte
// for byte, to a socket listener through the real spooler.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "drivers/Conversions.h"
#include "morvel/PrintBarCode.h"
#include "morvel/clsBase64.h"
#include "platform/host_paths.h"
#include "platform/linux/adapters.h"
#include "support/CaptureListener.h"
#include "support/FakeEnvironment.h"
#include "support/Golden.h"
#include "support/TempFolder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;
using testing::CaptureListener;
using testing::ErrorOf;

const std::string LogoPath = MORVEL_SOURCE_DIR "/examples/logo.bmp";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

testing::GoldenFile& Golden() {
  static testing::GoldenFile golden(MORVEL_SOURCE_DIR "/tests/drivers/orx.golden");
  return golden;
}

class OrxTest : public testing::FakeEnvironment {
 protected:
  OrxTest() {
    Install({{u"Orx TE200", 203}});
    Fakes.Temp->Folder = temp_.Path().string() + "/";
    String name = u"Orx TE200";
    EXPECT_EQ(control.SetPrint(name), 0);
  }
  ~OrxTest() override { control.ClosePort(); }

  void Open() {
    String name = u"Orx TE200";
    control.OpenPort(name);
  }
  void PrintWorkedLabel() {
    String wide = u"60", height = u"40", speed = u"4", nd = u"10", cz = u"2", sp = u"0", direction = u"0";
    control.InitPrint(wide, height, speed, nd, cz, sp, direction);
    Single bx = 10, by = 100, bw = 200, bh = 2;
    control.PrintBar(bx, by, bw, bh);
    Single x = 10, y = 50, h = 50;
    String code = u"12345678", type = u"128", readable = u"1", z = u"2", k = u"4";
    control.PrintCode(x, y, code, type, readable, h, z, k);
    Single qx = 300, qy = 10, qh = 6, zero = 0, half = 5.5f;
    String qcode = u"ABC", qr = u"QRCODE", none;
    control.PrintCode(qx, qy, qcode, qr, readable, qh, z, k);
    control.PrintCode(zero, zero, none, qr, readable, half, z, k);
    for (String other : {u"qrcode", u"39"}) control.PrintCode(qx, qy, qcode, other, readable, qh, z, k);
    String cmd = u"SET TEAR ON";
    control.SendCmd(cmd);
    control.DrawImageFromFile(FromUtf8(LogoPath), 200, 120, 0, 0);
    String copies = u"3";
    control.PrintLabel(copies);
  }
  std::string Sent() const {
    std::string all;
    for (const auto& d : Fakes.Spool->Documents) all += d.Bytes();
    return all;
  }
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(temp_.Path())) names.push_back(e.path().filename());
    return names;
  }

  const testing::TempFolder temp_{"orx-driver-test"};
  PrintBarCode control;
};

TEST_F(OrxTest, WorkedLabelIsOneDocument) {
  Open();
  PrintWorkedLabel();
  control.ClosePort();
  ASSERT_EQ(Fakes.Spool->Documents.size(), 1u);
  EXPECT_EQ(Fakes.Spool->Documents[0].Name, u"Printing...");
  EXPECT_TRUE(Fakes.Spool->Documents[0].Ended);
  Golden().Expect("WorkedLabel", Sent());
  EXPECT_TRUE(Fakes.Messages->Shown.empty());
}

TEST_F(OrxTest, DirectionLineOfInitPrint) {
  Open();
  for (auto [direction, row] : {std::pair{u"0", "Direction/0"},
                                {u"1", "Direction/1"},
                                {u"", "Direction/empty"},
                                {u" 0", "Direction/with a blank"}}) {
    size_t before = Sent().size();
    String w = u"100", h = u"50", s = u"4", d = u"8", c = u"2", p = u"0", dir = direction;
    control.InitPrint(w, h, s, d, c, p, dir);
    Golden().Expect(row, Sent().substr(before));
  }
  Golden().ExpectEveryRowUsed("Direction/");
}

TEST_F(OrxTest, TextIsABoldBitmapAndStringsComeBackThroughTheCodePage) {
  String name = u"Orx TE200 \u03a9";  // not in the (Latin-1) fake code page
  control.OpenPort(name);
  EXPECT_EQ(name, u"Orx TE200 ?");
  Open();
  Single x = 10, y = 20, h = 12;
  String txt = u"A\u20ac", face = u"DejaVu Sans";
  control.PrintFont(x, y, txt, h, face);
  EXPECT_EQ(txt, u"A?");
  EXPECT_EQ(face, u"DejaVu Sans");
  std::string bytes = Sent();
  int bx = 0, by = 0, b = 0, r = 0, used = 0;
  ASSERT_EQ(std::sscanf(bytes.c_str(), "BITMAP %d,%d,%d,%d,1,%n", &bx, &by, &b, &r, &used), 4);
  EXPECT_EQ(bx, 21);
  EXPECT_EQ(by, 42);
  EXPECT_EQ(r, 34) << "12 points at 203 dpi is a 34-dot cell";
  EXPECT_EQ(bytes.size(), used + static_cast<size_t>(b) * r + 2);
  String cmd = u"TEXT \u0100";
  control.SendCmd(cmd);
  EXPECT_EQ(cmd, u"TEXT ?");
  EXPECT_EQ(bytes + "TEXT ?\r\n", Sent());
}

TEST_F(OrxTest, ImagesGoThroughPrivateTemporaryFiles) {
  Open();
  std::string logo = ReadFile(LogoPath);
  std::vector<uint8_t> logoBytes(logo.begin(), logo.end());
  ByteArray bytes(logoBytes);
  clsBase64 codec;
  control.DrawImageFromBase64(codec.Base64Encode(bytes), 200, 120, 0, 0);
  Golden().Expect("Logo", Sent());
  EXPECT_TRUE(TempFiles().empty()) << "the image file is removed after the call";

  size_t before = Sent().size();
  ByteArray file(logoBytes);
  control.DrawImageFromPicture(Module2::PictureFromBytes(file), 200, 120, 0, 0);
  EXPECT_EQ(Sent().substr(before, 20), "DOWNLOAD \"TEST.BMP\",");
  EXPECT_NE(Sent().find("PUTBMP 423,254,\"TEST.BMP\"\r\n", before), std::string::npos);
  EXPECT_TRUE(TempFiles().empty());

  // An unreadable file: the message, no image line, no error.
  before = Sent().size();
  EXPECT_EQ(ErrorOf([&] { control.DrawImageFromFile(u"/nonexistent/logo.bmp", 0, 0, 0, 0); }), 0);
  EXPECT_EQ(Sent().size(), before) << "no PUTBMP places the printer's previous image";
  ASSERT_EQ(Fakes.Messages->Shown.size(), 1u);
  EXPECT_EQ(Fakes.Messages->Shown[0].second, "Could not open file");

  // No temporary folder: the file cannot be created, which raises.
  Fakes.Temp->Folder = "/nonexistent/orx/";
  EXPECT_EQ(ErrorOf([&] { control.DrawImageFromBase64(u"Qk0=", 0, 0, 0, 0); }), errors::PathNotFound);
  EXPECT_EQ(Sent().size(), before);
}

// Confined host paths (the web bridge) hold for the files a host names, not
// for the driver's own image file, which liborxlib reads by name.
TEST_F(OrxTest, ConfinementLeavesTheDriversOwnImageFileAlone) {
  Open();
  const fs::path allowed = temp_ / "allowed";
  fs::create_directories(allowed);
  fs::copy_file(LogoPath, allowed / "logo.bmp");
  platform::ConfineHostPaths({allowed.string()});
  struct Lift {
    ~Lift() { platform::LiftHostPathConfinement(); }
  } lift;
  const std::string logo = ReadFile(LogoPath);
  const std::string image = Golden().Value("Logo");
  ByteArray bytes(std::vector<uint8_t>(logo.begin(), logo.end()));
  clsBase64 codec;
  control.DrawImageFromBase64(codec.Base64Encode(bytes), 200, 120, 0, 0);
  EXPECT_EQ(Sent(), image);
  control.DrawImageFromFile(FromUtf8((allowed / "logo.bmp").string()), 200, 120, 0, 0);
  EXPECT_EQ(Sent(), image + image);
  // A host's path outside the allowed folder: liborxlib cannot open it.
  control.DrawImageFromFile(FromUtf8(LogoPath), 200, 120, 0, 0);
  EXPECT_EQ(Sent(), image + image);
  ASSERT_EQ(Fakes.Messages->Shown.size(), 1u);
  EXPECT_EQ(Fakes.Messages->Shown[0].second, "Could not open file");
  EXPECT_EQ(TempFiles(), std::vector<std::string>{"allowed"});
}

TEST_F(OrxTest, NothingElseOfTheDriver) {
  EXPECT_EQ(control.FontType(), 0);
  EXPECT_EQ(control.RFIDType(), 0);
  EXPECT_EQ(control.CommandPrint(), u"");
  String a = u"x", b = u"y", c, d, e, f;
  control.InitRFID(a, b, c, d, e, f);
  control.OpRFID(a, b, c, d, e, f);
  // Closed, nothing is sent and nothing raised.
  Single x = 1;
  control.PrintBar(x, x, x, x);
  EXPECT_TRUE(Fakes.Spool->Documents.empty());
}

TEST_F(OrxTest, WorkedLabelReachesSocketAndFilePrintersByteForByte) {
  CaptureListener listener;
  ASSERT_TRUE(listener.Ready());
  fs::path jobs = temp_ / "jobs";
  fs::create_directories(jobs);
  for (std::string uri : {"socket://127.0.0.1:" + std::to_string(listener.Port()), "file:" + jobs.string()}) {
    SCOPED_TRACE(uri);
    Fakes.Printers->Printers = {{u"Orx TE200", 203, uri}};
    auto services = Fakes.AsServices();
    services.Spool = platform::MakeLinuxSpooler();
    services.Ansi = platform::MakeLinuxCodePage();
    platform::ScopedServices real(services);
    Open();
    PrintWorkedLabel();
    control.ClosePort();
  }
  ASSERT_TRUE(listener.WaitForConnections(1));
  auto got = listener.Connections();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], Golden().Value("WorkedLabel"));
  EXPECT_EQ(ReadFile((jobs / "000001.prn").string()), Golden().Value("WorkedLabel"));
  EXPECT_TRUE(Fakes.Logger->Records.empty());
}

}  // namespace
}  // namespace morvel

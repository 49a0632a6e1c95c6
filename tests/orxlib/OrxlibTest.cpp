// liborxlib.so as a program sees it: the bytes of every export (rows of
// exports.golden, in the TSPL syntax Orx printers speak), the refused
// bounds, the transports over fake device trees, the status query against
// a fake terminal device, and text rasters in DejaVu Sans as Debian ships
// it.
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include "orxlib/UsbPath.h"
#include "orxlib/orxlib.h"
#include "platform/linux/adapters.h"
#include "platform/shared_library.h"
#include "support/FakeEnvironment.h"
#include "support/Golden.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempFolder;

class OrxlibTest : public testing::FakeEnvironment {
 protected:
  OrxlibTest() { Install({{u"Orx Test", 203}, {u"USB", 203}}); }
  ~OrxlibTest() override { closeport(); }

  // Every byte the spooler was given, all documents joined.
  std::string Sent() const {
    std::string all;
    for (const auto& d : Fakes.Spool->Documents) all += d.Bytes();
    return all;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& [caption, text] : Fakes.Messages->Shown) texts.push_back(caption + ": " + text);
    return texts;
  }
};

struct ExportCase {
  const char* Name;  // its bytes are the row Exports/NAME of exports.golden ...
  std::function<int32_t()> Call;
  int32_t Result;
  std::string Message;               // "caption: text" shown, or empty for none
  std::optional<std::string> Bytes;  // ... unless they follow from the call here
};

testing::GoldenFile& Golden() {
  static testing::GoldenFile golden(MORVEL_SOURCE_DIR "/tests/orxlib/exports.golden");
  return golden;
}

TEST_F(OrxlibTest, EveryExportWritesItsGoldenBytes) {
  TempFolder dir;
  std::string empty = dir.Write("EMPTY.BMP");
  std::string small = dir.Write("SMALL.BMP", std::string("BM\0\r\n\xFF", 6));
  std::string missing = (dir.Path() / "MISSING.BMP").string();
  std::string longest(655351, 'A');
  const std::string none;                      // refused, or nothing to send: no byte
  const std::nullopt_t golden = std::nullopt;  // the bytes are the case's row
  const std::vector<ExportCase> cases = {
      {"empty command", [] { return sendcommand(""); }, 1, "", golden},
      {"command", [] { return sendcommand("SET CUTTER OFF"); }, 1, "", golden},
      {"longest command", [&] { return sendcommand(longest.c_str()); }, 1, "", longest + "\r\n"},
      {"setup gap", [] { return setup("100", "50", "4", "8", "0", "2", "0"); }, 1, "", golden},
      {"setup black line", [] { return setup("100", "50", "4", "8", "1", "2", "0"); }, 1, "", golden},
      {"setup sensor 10", [] { return setup("100", "50", "4", "8", "10", "2", "0"); }, 1, "", golden},
      {"setup empty sensor", [] { return setup("1", "2", "3", "4", "", "5", "6"); }, 1, "", golden},
      {"barcode quoted", [] { return barcode("10", "20", "128", "50", "1", "0", "2", "4", "12345"); }, 1, "", golden},
      {"barcode variable", [] { return barcode("10", "20", "128", "50", "1", "0", "2", "4", "@12"); }, 1, "", golden},
      {"text empty", [] { return printerfont("10", "20", "3", "0", "1", "1", ""); }, 1, "", golden},
      {"text with quote", [] { return printerfont("10", "20", "3", "0", "1", "1", "a\"b"); }, 1, "", golden},
      {"text variable", [] { return printerfont("1", "2", "ROMAN.TTF", "90", "2", "3", "@1"); }, 1, "", golden},
      {"clear", [] { return clearbuffer(); }, 1, "", golden},
      {"print", [] { return printlabel("1", "3"); }, 1, "", golden},
      {"form feed", [] { return formfeed(); }, 1, "", golden},
      {"no back feed", [] { return nobackfeed(); }, 1, "", golden},
      {"download empty", [&] { return downloadpcx(empty.c_str(), "E.BMP"); }, 1, "", golden},
      {"download small", [&] { return downloadpcx(small.c_str(), "TEST.BMP"); }, 1, "", golden},
      {"download missing", [&] { return downloadpcx(missing.c_str(), "TEST.BMP"); }, 0,
       "Error Message: Could not open file", none},
      {"about", [] { return about(); }, 1, "DLL Version: Windows DLL Version V2.01.", none},
      {"font empty text", [] { return windowsfont(0, 0, 24, 0, 0, 0, "DejaVu Sans", ""); }, 0, "", none},
      {"font empty face", [] { return windowsfont(0, 0, 24, 0, 0, 0, "", "A"); }, 0, "", none},
      {"font U empty text", [] { return windowsfontU(0, 0, 24, 0, 0, 0, "DejaVu Sans", u""); }, 0, "", none},
      // Beyond the bounds: refused whole, with a message, nothing sent.
      {"command too long", [&] { return sendcommand((longest + "A").c_str()); }, 0, "Error Message", none},
      {"setup line too long", [] { return setup(std::string(90, '9').c_str(), "1", "1", "1", "0", "1", "1"); }, 0,
       "Error Message", none},
      {"barcode too long",
       [] { return barcode("1", "1", "128", "1", "1", "0", "1", "1", std::string(80, '7').c_str()); }, 0,
       "Error Message", none},
      {"barcode longest",
       [] { return barcode("1", "1", "128", "1", "1", "0", "1", "1", std::string(69, '7').c_str()); }, 1, "",
       "BARCODE 1,1,\"128\",1,1,0,1,1,\"" + std::string(69, '7') + "\"\r\n"},
      {"text too long", [] { return printerfont("1", "1", "3", "0", "1", "1", std::string(490, 'x').c_str()); }, 0,
       "Error Message", none},
      {"print too long", [] { return printlabel("1", std::string(43, '1').c_str()); }, 0, "Error Message", none},
      {"face too long", [] { return windowsfont(0, 0, 24, 0, 0, 0, std::string(32, 'F').c_str(), "A"); }, 0,
       "Error Message", none},
      {"download name too long", [&] { return downloadpcx(small.c_str(), std::string(90, 'N').c_str()); }, 0,
       "Error Message", none},
      {"cell too wide", [] { return windowsfont(0, 0, 24, 0, 0, 0, "DejaVu Sans", std::string(200, 'W').c_str()); }, 0,
       "Error Message", none},
      {"cell too tall", [] { return windowsfont(0, 0, 20000, 0, 0, 0, "DejaVu Sans", "A"); }, 0, "Error Message", none},
      {"lowest height", [] { return windowsfont(0, 0, INT32_MIN, 0, 0, 0, "DejaVu Sans", "A"); }, 0, "Error Message",
       none},
      {"start before the first dot", [] { return windowsfont(INT32_MIN, 0, 24, 180, 0, 0, "DejaVu Sans", "A"); }, 0,
       "Error Message", none},
      {"cell too tall sideways", [] { return windowsfont(0, 0, 1300, 90, 0, 0, "DejaVu Sans", "A"); }, 0,
       "Error Message", none},
  };
  ASSERT_EQ(openport("Orx Test"), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    size_t before = Sent().size();
    Fakes.Messages->Shown.clear();
    EXPECT_EQ(c.Call(), c.Result);
    if (c.Bytes) {
      EXPECT_EQ(Sent().substr(before), *c.Bytes);
    } else {
      Golden().Expect(std::string("Exports/") + c.Name, Sent().substr(before));
    }
    auto shown = Messages();
    if (c.Message.empty()) {
      EXPECT_TRUE(shown.empty());
    } else {
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0].substr(0, c.Message.size()), c.Message);
    }
    // Still usable after a refusal.
    before = Sent().size();
    EXPECT_EQ(sendcommand("NEXT"), 1);
    EXPECT_EQ(Sent().substr(before), "NEXT\r\n");
  }

  // Closed, every export that needs the connection refuses and sends nothing.
  ASSERT_EQ(closeport(), 1);
  size_t sent = Sent().size();
  Fakes.Messages->Shown.clear();
  for (const auto& c : cases) {
    if (std::string(c.Name) == "about") continue;
    SCOPED_TRACE(std::string("closed: ") + c.Name);
    EXPECT_EQ(c.Call(), 0);
  }
  EXPECT_EQ(closeport(), 0);
  EXPECT_EQ(Sent().size(), sent);
  EXPECT_TRUE(Fakes.Messages->Shown.empty());
  Golden().ExpectEveryRowUsed("Exports/");
}

TEST_F(OrxlibTest, SpoolerPrinterIsOneDocumentFromOpenToClose) {
  ASSERT_EQ(openport("orx test"), 1);  // the printer list compares without regard to case
  sendcommand("A");
  ASSERT_EQ(openport("USB"), 1);  // a printer of that name goes to the spooler, never to a device
  sendcommand("B");
  closeport();
  ASSERT_EQ(Fakes.Spool->Documents.size(), 2u);
  EXPECT_EQ(Fakes.Spool->Documents[0].Name, u"Printing...");
  EXPECT_EQ(Fakes.Spool->Documents[0].PrinterName, u"orx test");
  EXPECT_TRUE(Fakes.Spool->Documents[0].Ended) << "a second openport ends the first job";
  EXPECT_EQ(Fakes.Spool->Documents[0].Bytes(), "A\r\n");
  EXPECT_EQ(Fakes.Spool->Documents[1].Bytes(), "B\r\n");
  std::vector<std::string> calls(Fakes.Spool->Calls.begin(), Fakes.Spool->Calls.begin() + 3);
  EXPECT_EQ(calls, (std::vector<std::string>{"OpenPrinter", "StartDoc", "StartPage"}));
  std::vector<std::string> end(Fakes.Spool->Calls.end() - 3, Fakes.Spool->Calls.end());
  EXPECT_EQ(end, (std::vector<std::string>{"EndPage", "EndDoc", "ClosePrinter"}));

  EXPECT_EQ(openport("Nowhere"), 0);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Error Message: Printer Driver is not been specified"}));
  EXPECT_EQ(openport(std::string(68, 'P').c_str()), 0);
  EXPECT_EQ(Fakes.Messages->Shown.size(), 2u);
  EXPECT_EQ(sendcommand("C"), 0);
}

TEST_F(OrxlibTest, FailedWritesReturnZero) {
  // A file: printer whose folder does not exist: the document fails.
  Fakes.Printers->Printers = {{u"Orx Test", 203, "file:/nonexistent/orxlib-test"}};
  auto services = Fakes.AsServices();
  services.Spool = platform::MakeLinuxSpooler();
  platform::ScopedServices real(services);
  TempFolder dir;
  std::string small = dir.Write("SMALL.BMP", "BM");
  ASSERT_EQ(openport("Orx Test"), 1);
  EXPECT_EQ(sendcommand("A"), 0);
  EXPECT_EQ(setup("1", "2", "3", "4", "0", "5", "6"), 0);
  EXPECT_EQ(printlabel("1", "1"), 0);
  EXPECT_EQ(windowsfont(0, 0, 24, 0, 0, 0, "DejaVu Sans", "A"), 0);
  EXPECT_EQ(downloadpcx(small.c_str(), "TEST.BMP"), 0);
  EXPECT_EQ(closeport(), 1);
  EXPECT_FALSE(Fakes.Logger->Records.empty());
}

TEST_F(OrxlibTest, ParallelPortsAreTheLpNodesOfTheDeviceFolder) {
  TempFolder dev;
  dev.Write("lp0");
  dev.Write("lp1", "old content");
  ScopedEnv root("MORVEL_DEV_ROOT", dev.Path().string());
  ASSERT_EQ(openport("lpt1"), 1);
  EXPECT_EQ(sendcommand("ONE"), 1);
  ASSERT_EQ(openport(" Lpt2\t"), 1);  // closes LPT1 first
  EXPECT_EQ(sendcommand("TWO"), 1);
  EXPECT_EQ(closeport(), 1);
  EXPECT_EQ(dev.Read("lp0"), "ONE\r\n");
  EXPECT_EQ(dev.Read("lp1"), "TWO\r\n");
  // A port whose node is missing is not created: no connection, no message.
  EXPECT_EQ(openport("LPT3"), 0);
  EXPECT_FALSE(fs::exists(dev.Path() / "lp2"));
  EXPECT_TRUE(Fakes.Messages->Shown.empty());
  EXPECT_TRUE(Fakes.Spool->Documents.empty());
}

// A fake sysfs with usblp interfaces lpN of devices with the given vendor.
struct UsbTree {
  TempFolder Sys, Dev;
  ScopedEnv SysRoot{"MORVEL_SYSFS_ROOT", Sys.Path().string()};
  ScopedEnv DevRoot{"MORVEL_DEV_ROOT", Dev.Path().string()};
  void Add(int n, const std::string& vendor, const std::string& product = "0001") {
    std::string device = "devices/pci0000:00/usb1/1-" + std::to_string(n);
    std::string interface = device + "/1-" + std::to_string(n) + ":1.0";
    Sys.Write(device + "/idVendor", vendor + "\n");
    Sys.Write(device + "/idProduct", product + "\n");
    fs::create_directories(Sys.Path() / interface / "usbmisc" / ("lp" + std::to_string(n)));
    fs::create_directories(Sys.Path() / "class/usbmisc");
    fs::create_directory_symlink(Sys.Path() / interface / "usbmisc" / ("lp" + std::to_string(n)),
                                 Sys.Path() / "class/usbmisc" / ("lp" + std::to_string(n)));
    Dev.Write("usb/lp" + std::to_string(n));
  }
};

TEST_F(OrxlibTest, UsbIsTheLastPrinterOfVendor1203) {
  Fakes.Printers->Printers.pop_back();  // no printer named USB in the list
  UsbTree tree;
  EXPECT_EQ(openport("usb"), 0);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Error Message: The specific USB doesn't exist."}));
  EXPECT_EQ(usbportwrite("X"), -1);
  tree.Add(0, "1203");
  tree.Add(1, "1203", "abcd");
  tree.Add(2, "04b8");
  ASSERT_EQ(openport(" USB "), 1);
  EXPECT_EQ(sendcommand("HELLO"), 1);
  closeport();
  EXPECT_EQ(tree.Dev.Read("usb/lp1"), "HELLO\r\n");
  EXPECT_EQ(tree.Dev.Read("usb/lp0"), "");
  tree.Dev.Write("usb/lp1");
  EXPECT_EQ(usbportwrite("X"), 0);
  EXPECT_EQ(tree.Dev.Read("usb/lp1"), "X \r\n\r\n");
  EXPECT_EQ(usbportwrite(std::string(4093, 'x').c_str()), -4);
  // A node that cannot be opened.
  fs::remove(tree.Dev.Path() / "usb/lp1");
  Fakes.Messages->Shown.clear();
  EXPECT_EQ(openport("USB"), 0);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Error Message: Couldn't open the specific USB."}));
  EXPECT_EQ(usbportwrite("X"), -2);
  EXPECT_EQ(usbportqueryprinter(), -2);
}

TEST(OrxlibUsbPath, VendorFieldIsComparedAsWritten) {
  struct {
    const char* Path;
    bool Match;
  } cases[] = {
      {"\\\\?\\usb#vid_1203&pid_0001#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", true},
      {"\\\\?\\usb#VID_1203&PID_0001#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", false},
      {"\\\\?\\usb#vid_1204&pid_0001#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", false},
      {"\\\\?\\hid#vid_1203&pid_0001", true},  // only the vendor field counts
      {"\\\\?\\usb#vid_120", false},
  };
  for (const auto& c : cases) EXPECT_EQ(orx::IsOrxInterface(c.Path), c.Match) << c.Path;
}

// The device end of a pseudo-terminal in raw mode stands for the printer.
struct FakeUsbTerminal {
  UsbTree Tree;
  int Master = -1;
  int Slave = -1;  // held open: without it a read on the master fails at once
  FakeUsbTerminal() {
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&Master, &Slave, nullptr, &raw, nullptr) != 0) return;
    Tree.Add(0, "1203");
    fs::remove(Tree.Dev.Path() / "usb/lp0");
    fs::create_symlink(ttyname(Slave), Tree.Dev.Path() / "usb/lp0");
  }
  ~FakeUsbTerminal() {
    if (Master >= 0) close(Master);
    if (Slave >= 0) close(Slave);
  }
};

TEST_F(OrxlibTest, StatusQueryReadsOneByteOrGivesUpAfterOneSecond) {
  for (uint8_t answer : {uint8_t{0x41}, uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0xFD}}) {
    FakeUsbTerminal printer;
    ASSERT_GE(printer.Master, 0);
    std::string query;
    std::thread device([&] {
      char buffer[4];
      size_t got = 0;
      while (got < 4) {
        ssize_t n = read(printer.Master, buffer + got, 4 - got);
        if (n <= 0) return;
        got += static_cast<size_t>(n);
      }
      query.assign(buffer, 4);
      (void)!write(printer.Master, &answer, 1);
    });
    EXPECT_EQ(usbportqueryprinter(), static_cast<int8_t>(answer));
    device.join();
    EXPECT_EQ(query, "\x1B!?\r");
  }
  EXPECT_TRUE(Fakes.Messages->Shown.empty());

  FakeUsbTerminal silent;
  ASSERT_GE(silent.Master, 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(usbportqueryprinter(), -3);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{
                "Printer Query Error!!: The printer can't be queried, please update the latest firmwrae!! "}));
}

// The raster of one BITMAP command: header fields and rows of bits (true = glyph).
struct Bitmap {
  int X = 0, Y = 0, B = 0, R = 0;
  std::vector<std::vector<bool>> Ink;
  size_t Count() const {
    size_t n = 0;
    for (auto& row : Ink) n += std::count(row.begin(), row.end(), true);
    return n;
  }
};

Bitmap ParseBitmap(const std::string& bytes) {
  Bitmap b;
  int used = 0;
  if (std::sscanf(bytes.c_str(), "BITMAP %d,%d,%d,%d,1,%n", &b.X, &b.Y, &b.B, &b.R, &used) != 4 || used == 0) {
    ADD_FAILURE() << "no BITMAP header";
    return b;
  }
  EXPECT_EQ(bytes.size(), used + static_cast<size_t>(b.B) * b.R + 2);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  for (int r = 0; r < b.R; ++r) {
    std::vector<bool> row;
    for (int i = 0; i < b.B * 8; ++i)
      row.push_back((static_cast<uint8_t>(bytes[used + r * b.B + i / 8]) & (0x80 >> (i % 8))) == 0);
    b.Ink.push_back(row);
  }
  return b;
}

TEST_F(OrxlibTest, TextRasterGeometryForEachRotation) {
  // DejaVu Sans (fonts-dejavu-core 2.37): "Orx 42" in a 24-pixel cell is
  // W pixels wide by the advances of its hinted glyphs.
  constexpr int W = 72, H = 24;
  struct {
    int Rotation;
    std::string Header;
  } rows[] = {
      {0, "BITMAP 50,60,9,24,1,"},     // (W + 7) / 8 bytes, H rows
      {90, "BITMAP 50,-12,3,72,1,"},   // y - w; (H + 7) / 8 bytes, W rows
      {180, "BITMAP -22,36,9,24,1,"},  // x - w, y - h
      {270, "BITMAP 26,60,3,72,1,"},   // x - h
      // The height alone; the cell turned about (h, h) lies right of the
      // h columns sent, so the printer gets background only.
      {45, "BITMAP 26,36,3,24,1,"},
  };
  ASSERT_EQ(openport("Orx Test"), 1);
  std::vector<Bitmap> rasters;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Rotation);
    size_t before = Sent().size();
    ASSERT_EQ(windowsfont(50, 60, H, row.Rotation, 0, 0, "DejaVu Sans", "Orx 42"), 1);
    std::string bytes = Sent().substr(before);
    EXPECT_EQ(bytes.substr(0, row.Header.size()), row.Header);
    rasters.push_back(ParseBitmap(bytes));
    if (row.Rotation % 90 == 0) {
      EXPECT_GT(rasters.back().Count(), 100u) << "glyph pixels are drawn";
    }
  }
  const Bitmap& up = rasters[0];
  ASSERT_EQ(up.Ink.size(), size_t(H));
  for (int y = 0; y < H; ++y) {
    for (int x = W; x < up.B * 8; ++x) EXPECT_FALSE(up.Ink[y][x]) << "beyond the width is background";
    for (int x = 0; x < W; ++x) {
      // The quarter turns move every pixel exactly.
      EXPECT_EQ(rasters[1].Ink[W - 1 - x][y], up.Ink[y][x]);
      EXPECT_EQ(rasters[2].Ink[H - 1 - y][W - 1 - x], up.Ink[y][x]);
      EXPECT_EQ(rasters[3].Ink[x][H - 1 - y], up.Ink[y][x]);
    }
  }
  // The first column holds the O's left stroke, the top row is above every glyph.
  EXPECT_TRUE(std::any_of(up.Ink.begin(), up.Ink.end(), [](auto& r) { return r[1] || r[2]; }));
  EXPECT_EQ(std::count(up.Ink[0].begin(), up.Ink[0].end(), true), 0);

  // The same text as UTF-16 draws the same bytes; bold and italic differ.
  size_t before = Sent().size();
  ASSERT_EQ(windowsfontU(50, 60, H, 0, 0, 0, "DejaVu Sans", u"Orx 42"), 1);
  Bitmap utf16 = ParseBitmap(Sent().substr(before));
  EXPECT_EQ(utf16.Ink, up.Ink);
  for (int style : {1, 2, 3, -1}) {
    SCOPED_TRACE(style);
    before = Sent().size();
    ASSERT_EQ(windowsfont(50, 60, H, 0, style, 0, "DejaVu Sans", "Orx 42"), 1);
    Bitmap styled = ParseBitmap(Sent().substr(before));
    EXPECT_NE(styled.Ink, up.Ink);
    if (style >= 2) {
      EXPECT_GT(styled.Count(), up.Count()) << "bold is heavier";
    }
  }
  before = Sent().size();
  ASSERT_EQ(windowsfont(0, 0, H, 0, 0, 1, "DejaVu Sans", "Orx 42"), 1);
  Bitmap underlined = ParseBitmap(Sent().substr(before));
  EXPECT_GT(underlined.Count(), up.Count() + W - 10) << "an underline across the cell";
  // A negative height is the character height: a taller cell than -H would give.
  before = Sent().size();
  ASSERT_EQ(windowsfont(0, 0, -H, 0, 0, 0, "DejaVu Sans", "Orx 42"), 1);
  EXPECT_GT(ParseBitmap(Sent().substr(before)).R, H);
  // One UTF-16 character is enough.
  EXPECT_EQ(windowsfontU(0, 0, H, 0, 0, 0, "DejaVu Sans", u"\u00e9"), 1);
}

TEST(OrxlibLibrary, ExportsTheSixteenFunctionsAndNothingElse) {
  std::string library = std::string(MORVEL_BINARY_DIR) + "/lib/liborxlib.so";
  FILE* nm = popen(("nm -D --defined-only " + library).c_str(), "r");
  ASSERT_NE(nm, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, nm) != nullptr) {
    std::string text(line);
    size_t space = text.find_last_of(' ');
    std::string name = text.substr(space + 1);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    names.insert(name);
  }
  ASSERT_EQ(pclose(nm), 0);
  EXPECT_EQ(names, (std::set<std::string>{"about", "barcode", "clearbuffer", "closeport", "downloadpcx", "formfeed",
                                          "nobackfeed", "openport", "printerfont", "printlabel", "sendcommand", "setup",
                                          "usbportqueryprinter", "usbportwrite", "windowsfont", "windowsfontU"}));
  std::string error;
  EXPECT_EQ(platform::LoadSharedLibrary(nullptr, "liborx-none.so", error), nullptr);
  EXPECT_NE(error.find("liborx-none.so"), std::string::npos);
}

TEST(OrxDriverBinding, MissingEntryPointReachesTheHostAsError453) {
  // libmorvel2.so is loaded from a folder whose liborxlib.so lacks the
  // exports: the driver looks there first.
  TempFolder dir;
  const std::string lib = std::string(MORVEL_BINARY_DIR) + "/lib/";
  for (const char* name : {"libmorvel2.so.2", "libmorvel_platform.so.2"})
    fs::create_symlink(lib + name, dir.Path() / name);
  fs::create_symlink(lib + "liborxlib_without_exports.so", dir.Path() / "liborxlib.so");
  testing::WritePrinters(dir.Path(), {{"Orx TE200", "file:."}});
  dir.Write("label.mvs", "SetPrint \"Orx TE200\"\nOpenPort \"Orx TE200\"\n");
  std::string command = "cd '" + dir.Path().string() +
                        "' && LD_LIBRARY_PATH=. MORVEL_PRINTERS=printers.conf MORVEL_CUPS=0 '" + MORVEL_BINARY_DIR +
                        "/bin/morvel' run label.mvs > out.txt 2>&1";
  int status = std::system(command.c_str());
  EXPECT_NE(status, 0);
  EXPECT_NE(dir.Read("out.txt").find("error 453"), std::string::npos) << dir.Read("out.txt");
}

}  // namespace
}  // namespace morvel

// Dothan labels as pages: composed through PrintBarCode, rendered by
// libLabelPrintAPI.so, read back with the zbar decoder. Through the
// recording spooler, a file: printer and a private cupsd.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "morvel/PrintBarCode.h"
#include "platform/linux/adapters.h"
#include "support/CaptureListener.h"
#include "support/CupsServer.h"
#include "support/FakeEnvironment.h"
#include "support/PageCheck.h"
#include "support/TempFolder.h"

namespace morvel {
namespace {

using testing::Barcodes;
using testing::DecodePage;
using ::testing::UnorderedElementsAre;

constexpr const char16_t* Printer = u"Dothan T7 Label";

class DothanPrintingTest : public testing::FakeEnvironment {
 protected:
  void UsePrinter(int dpi, const std::string& uri = "file:/unused", bool realSpooler = false) {
    Fakes.Printers->Printers = {{Printer, dpi, uri}};
    auto services = Fakes.AsServices();
    services.Ansi = platform::MakeLinuxCodePage();  // CP1252 in the C locale
    if (realSpooler) services.Spool = platform::MakeLinuxSpooler();
    scope_ = std::make_unique<platform::ScopedServices>(services);
    String name = Printer;
    ASSERT_EQ(control.SetPrint(name), 0);
    control.OpenPort(name);
  }
  ~DothanPrintingTest() override { control.ClosePort(); }

  void Init(String wide, String height, String direction = u"0") {
    String speed = u"4", nd = u"10", cz = u"2", sp = u"1";
    control.InitPrint(wide, height, speed, nd, cz, sp, direction);
  }
  void Font(Single x, Single y, String txt, Single height) {
    String face = u"DejaVu Sans";
    control.PrintFont(x, y, txt, height, face);
  }
  void Code(Single x, Single y, String code, String type, Single height, String kBar) {
    String readable = u"1", zBar = u"";
    control.PrintCode(x, y, code, type, readable, height, zBar, kBar);
  }
  void Bar(Single x, Single y, Single w, Single h) { control.PrintBar(x, y, w, h); }
  void Label(String copies = u"1") { control.PrintLabel(copies); }

  // 60 x 40 mm: a title, a rule, a Code 128 and a QR code.
  void WorkedLabel(String copies = u"1") {
    Init(u"60", u"40");
    Font(10, 8, u"Morvel", 12);
    Bar(10, 36, 200, 1);
    Code(10, 44, u"12345678", u"128", 60, u"120");
    Code(150, 44, u"Grüße 0001", u"QRCODE", 10, u"");
    Label(copies);
  }

  std::string OnlyDocument() {
    EXPECT_EQ(Fakes.Spool->Documents.size(), 1u);
    if (Fakes.Spool->Documents.empty()) return std::string();
    const auto& d = Fakes.Spool->Documents[0];
    EXPECT_EQ(d.Type, "image/png");
    EXPECT_EQ(d.Name, u"BarCodeDothan");
    EXPECT_TRUE(d.Ended);
    return d.Bytes();
  }

  PrintBarCode control;
  std::unique_ptr<platform::ScopedServices> scope_;
};

TEST_F(DothanPrintingTest, WorkedLabelDecodesToItsData) {
  UsePrinter(203);
  WorkedLabel(u"3");
  auto page = DecodePage(OnlyDocument());
  ASSERT_TRUE(page.Valid());
  EXPECT_EQ(page.Width, 480);  // 60 mm at 203 dpi
  EXPECT_EQ(page.Height, 320);
  EXPECT_THAT(Barcodes(page), UnorderedElementsAre("CODE-128:12345678", "QR-Code:Grüße 0001"));
  // The rule: a line 0.4 mm (3.2 dots) wide centred 76.1 dots down, from 21
  // to 444 dots across, with white between it and the title's box above
  // and the barcode below.
  EXPECT_GE(page.BlackInside(30, 74, 440, 78), 3u * 410);
  EXPECT_EQ(page.BlackInside(30, 62, 440, 74), 0u);
  EXPECT_EQ(page.BlackInside(30, 78, 440, 92), 0u);
}

// The text box runs from the text's position to the label's width and is
// 1 mm taller than the font: 13 pt + 1 mm = 44.6 dots from 42.3 dots down.
// A long text wraps at the box's width, and its second line falls outside
// the box, so it is cut.
TEST_F(DothanPrintingTest, TextStaysInsideItsBox) {
  UsePrinter(203);
  Init(u"60", u"40");
  Font(10, 20, u"Morvel prints this line and wraps the rest below the box", 12);
  Label();
  auto page = DecodePage(OnlyDocument());
  ASSERT_TRUE(page.Valid());
  const size_t inside = page.BlackInside(21, 42, 480, 88);
  EXPECT_GT(inside, 400u) << "the text is there";
  EXPECT_EQ(page.BlackTotal(), inside) << "nothing outside the box";
}

enum Corner { TopLeft, TopRight, BottomRight, BottomLeft };

struct PageCase {
  int Dpi;
  const char16_t* Wide;
  const char16_t* Height;
  const char16_t* Direction;
  int Width, Tall;  // the page in pixels
  Corner Mark;      // where a mark drawn at the top left ends up
};

void PrintTo(const PageCase& c, std::ostream* os) {
  *os << c.Dpi << "dpi_" << ToUtf8(c.Wide) << "x" << ToUtf8(c.Height) << "mm_direction" << ToUtf8(c.Direction);
}

class DothanPageTest : public DothanPrintingTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(DothanPageTest, SizeFollowsJobAndResolutionAndTurns) {
  const PageCase& c = GetParam();
  UsePrinter(c.Dpi);
  Init(c.Wide, c.Height, c.Direction);
  Bar(4, 6, 20, 1);
  Label();
  auto page = DecodePage(OnlyDocument());
  ASSERT_TRUE(page.Valid());
  EXPECT_EQ(page.Width, c.Width);
  EXPECT_EQ(page.Height, c.Tall);
  const int w = page.Width, h = page.Height;
  const int x0 = c.Mark == TopLeft || c.Mark == BottomLeft ? 0 : w / 2;
  const int y0 = c.Mark == TopLeft || c.Mark == TopRight ? 0 : h / 2;
  EXPECT_GT(page.BlackTotal(), 20u);
  EXPECT_EQ(page.BlackInside(x0, y0, x0 + w / 2 + 1, y0 + h / 2 + 1), page.BlackTotal());
}

INSTANTIATE_TEST_SUITE_P(Dothan, DothanPageTest,
                         ::testing::Values(PageCase{203, u"60", u"40", u"0", 480, 320, TopLeft},
                                           PageCase{300, u"60", u"40", u"0", 709, 472, TopLeft},
                                           PageCase{600, u"25.4", u"12.7", u"0", 600, 300, TopLeft},
                                           PageCase{203, u"60", u"40", u"1", 480, 320, BottomRight},
                                           PageCase{203, u"60", u"40", u"2", 320, 480, TopRight},
                                           PageCase{203, u"60", u"40", u"3", 320, 480, BottomLeft}),
                         [](const auto& info) {
                           std::string name = ::testing::PrintToString(info.param);
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(DothanPrintingTest, FilePrinterGetsAPngFile) {
  const testing::TempFolder temp("morvel-dothan");
  const std::string folder = temp.Path().string();
  UsePrinter(203, "file:" + folder, true);
  WorkedLabel();
  WorkedLabel();
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"000001.png", "000002.png"}));
  auto page = DecodePage(ReadFile(folder + "/000002.png"));
  EXPECT_THAT(Barcodes(page), UnorderedElementsAre("CODE-128:12345678", "QR-Code:Grüße 0001"));
  EXPECT_TRUE(Fakes.Logger->Records.empty());
}

TEST_F(DothanPrintingTest, SocketPrinterGetsThePngBytes) {
  testing::CaptureListener printer;
  ASSERT_TRUE(printer.Ready());
  UsePrinter(203, "socket://127.0.0.1:" + std::to_string(printer.Port()), true);
  WorkedLabel();
  ASSERT_TRUE(printer.WaitForConnections(1));
  auto page = DecodePage(printer.Connections().at(0));
  EXPECT_THAT(Barcodes(page), UnorderedElementsAre("CODE-128:12345678", "QR-Code:Grüße 0001"));
}

TEST_F(DothanPrintingTest, CupsQueueGetsAnImagePngJob) {
  testing::CaptureListener printer;
  ASSERT_TRUE(printer.Ready());
  testing::CupsServer cups;
  ASSERT_TRUE(cups.Ready()) << cups.Error();
  ASSERT_TRUE(cups.AddRawQueue("DothanT7", printer.Port(), "Dothan T7 Label")) << cups.Error();
  UsePrinter(203, "cups:DothanT7", true);
  WorkedLabel();
  ASSERT_TRUE(cups.WaitUntilIdle("DothanT7"));
  ASSERT_TRUE(printer.WaitForConnections(1));
  auto got = printer.Connections();
  ASSERT_EQ(got.size(), 1u);
  auto page = DecodePage(got[0]);
  EXPECT_EQ(page.Width, 480);
  EXPECT_THAT(Barcodes(page), UnorderedElementsAre("CODE-128:12345678", "QR-Code:Grüße 0001"));
  auto jobs = cups.Jobs("DothanT7");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].Title, "BarCodeDothan");
  EXPECT_EQ(jobs[0].Format, "image/png");
  EXPECT_TRUE(Fakes.Logger->Records.empty());
}

}  // namespace
}  // namespace morvel

// Pictures of printer jobs: whole labels composed through PrintBarCode (ZPL,
// SBPL, Orx) or written as Orx lines, drawn by the file: printer's preview
// hook or MakePreview, then read back: barcodes with zbar, bars and boxes on the
// dots their commands give. Malformed jobs give an error, unknown commands a
// warning; an Orx BITMAP lands dot for dot; the morvel command end to end.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "lang/Reading.h"
#include "morvel/PrintBarCode.h"
#include "platform/linux/adapters.h"
#include "preview/Preview.h"
#include "render/Page.h"
#include "render/Symbols.h"
#include "support/FakeEnvironment.h"
#include "support/PageCheck.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;
using testing::Barcodes;
using testing::DecodedPage;
using testing::DecodePage;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string AsString(const std::vector<uint8_t>& png) { return std::string(png.begin(), png.end()); }

// [X0, X1) x [Y0, Y1) must be all black, or all white.
struct Area {
  int X0, Y0, X1, Y1;
  bool Black;
};

// The worked label of the driver pages at 203 dpi and 96 ppi, QR moved onto
// the 60 mm label: text, a bar, Code 128 of 12345678 with its line, QR of ABC.
void ComposeLabel(PrintBarCode& c, const char16_t* printer, Single barHeight, const char16_t* narrow) {
  String name = printer;
  ASSERT_EQ(c.SetPrint(name), 0);
  c.OpenPort(name);
  String wide = u"60", height = u"40", speed = u"4", nd = u"10", cz = u"2", sp = u"1", direction = u"0";
  c.InitPrint(wide, height, speed, nd, cz, sp, direction);
  Single x = 10, y = 20, h = 12;
  String txt = u"ABC", face = u"F1.TTF";
  c.PrintFont(x, y, txt, h, face);
  Single bx = 10, by = 100, bw = 200;
  c.PrintBar(bx, by, bw, barHeight);
  Single cx = 10, cy = 50, ch = 50;
  String code = u"12345678", type = u"128", readable = u"1", z = narrow, k = u"3";
  c.PrintCode(cx, cy, code, type, readable, ch, z, k);
  Single qx = 170, qy = 10, qh = 5;
  String qcode = u"ABC", qtype = u"QRCODE", qreadable = u"0", empty;
  c.PrintCode(qx, qy, qcode, qtype, qreadable, qh, empty, empty);
  String copies = u"1";
  c.PrintLabel(copies);
  c.ClosePort();
}

// The same label as Orx lines with the text in a printer font, which the Orx
// driver never writes (its text comes as a BITMAP of a system font); drawn
// by MakePreview, which finds the language itself.
const std::string OrxLabel =
    "SIZE 60 mm,40 mm\r\nSPEED 4\r\nDENSITY 10\r\nGAP 2 mm,0 mm\r\nDIRECTION 1,0\r\nCLS\r\n"
    "TEXT 21,42,\"3\",0,1,1,\"ABC\"\r\n"
    "BAR 21,211,423,4\r\n"
    "BARCODE 21,106,\"128\",106,1,0,2,4,\"12345678\"\r\n"
    "QRCODE 359,21,H,5,A,0,M2,S7,\"ABC\"\r\n"
    "PRINT 1,1\r\nCLS\r\n";

struct LabelCase {
  const char* Name;
  const char16_t* Printer;  // composed through PrintBarCode when set
  Single BarHeight;
  const char16_t* Narrow;  // PrintCode's zBar for two-dot modules
  int Dx, Dy;              // the label home the job sets
  std::vector<Area> Bar;
  std::string QrSymbol;
};

class PreviewTest : public testing::FakeEnvironment {
 protected:
  void SetUp() override {
    Fakes.Printers->Printers = {{u"ZDesigner GK420t", 203, "file:" + dir_.string(), "png"},
                                {u"SATO CL4NX 203dpi", 203, "file:" + dir_.string(), "png"},
                                {u"Orx TE200", 203, "file:" + dir_.string(), "png"}};
    auto services = Fakes.AsServices();
    services.Spool = platform::MakeLinuxSpooler();
    services.Ansi = platform::MakeLinuxCodePage();
    scope_ = std::make_unique<platform::ScopedServices>(services);
  }

  const testing::TempFolder temp_{"morvel-preview"};
  const fs::path& dir_ = temp_.Path();
  std::unique_ptr<platform::ScopedServices> scope_;
};

TEST_F(PreviewTest, WholeLabelsOfEachLanguage) {
  // Dots worked by hand: x 10 px -> 21 dots, y 50 -> 106, height 50 -> 106,
  // y 100 -> 211, width 200 -> 423, x 170 -> 359, y 10 -> 21 at 203/96; the
  // ZPL and SBPL label home is 8,16 (1 mm, 2 mm). Orx's BAR 21,211,423,4 is filled.
  const std::vector<Area> orxBar = {{21, 211, 444, 215, true},
                                    {200, 210, 445, 211, false},
                                    {20, 215, 445, 216, false},
                                    {20, 211, 21, 215, false},
                                    {444, 211, 445, 215, false}};
  const std::vector<LabelCase> cases = {
      {"ZPL",
       u"ZDesigner GK420t",
       2,
       u"1",
       8,
       16,
       // ^GB423,4,1: a box outline one dot thick.
       {{29, 227, 452, 228, true},
        {29, 230, 452, 231, true},
        {29, 227, 30, 231, true},
        {451, 227, 452, 231, true},
        {30, 228, 451, 230, false},
        {200, 226, 453, 227, false},
        {28, 231, 453, 232, false}},
       "QR-Code:ABC"},
      {"SBPL",
       u"SATO CL4NX 203dpi",
       1,
       u"1",
       8,
       16,
       // ESC FW02H423: a line two dots thick.
       {{29, 227, 452, 229, true},
        {200, 226, 453, 227, false},
        {28, 229, 453, 230, false},
        {28, 227, 29, 229, false},
        {452, 227, 453, 229, false}},
       "QR-Code:ABC"},
      {"Orx", u"Orx TE200", 2, u"2", 0, 0, orxBar, "QR-Code:ABC"},
      {"Orx lines, printer font", nullptr, 0, nullptr, 0, 0, orxBar, "QR-Code:ABC"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string png;
    if (c.Printer != nullptr) {
      PrintBarCode control;
      ComposeLabel(control, c.Printer, c.BarHeight, c.Narrow);
      // The file: printer's hook drew the picture beside the job.
      std::vector<fs::path> jobs;
      for (const auto& e : fs::directory_iterator(dir_)) jobs.push_back(e.path());
      std::sort(jobs.begin(), jobs.end());
      ASSERT_EQ(jobs.size(), 2u);
      ASSERT_EQ(jobs[0].filename().string().substr(6), "-1.png");
      png = ReadAll(jobs[0]);
      fs::remove(jobs[0]);
      fs::remove(jobs[1]);
    } else {
      auto preview = preview::MakePreview(OrxLabel, std::nullopt, 203);
      EXPECT_TRUE(preview.Warnings.empty());
      ASSERT_EQ(preview.Pictures.size(), 1u);
      png = AsString(preview.Pictures[0].Png);
    }
    EXPECT_TRUE(Fakes.Logger->Records.empty()) << Fakes.Logger->Records.front();
    DecodedPage page = DecodePage(png);
    ASSERT_TRUE(page.Valid());
    EXPECT_EQ(page.Width, 480);  // 60 mm
    auto found = Barcodes(page);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"CODE-128:12345678", c.QrSymbol}));

    std::vector<Area> areas = c.Bar;
    const int x = 21 + c.Dx, y = 106 + c.Dy;
    // Code 128 start C (11010011100) in modules of two dots; the bars' foot
    // meets the bar below, so only their top and sides are told apart.
    areas.insert(areas.end(), {{x, y, x + 4, y + 106, true},
                               {x + 4, y, x + 6, y + 100, false},
                               {x + 6, y, x + 8, y + 106, true},
                               {x + 8, y, x + 12, y + 100, false},
                               {x + 12, y, x + 18, y + 106, true},
                               {x + 18, y, x + 22, y + 100, false},
                               {x - 1, y, x, y + 106, false},
                               {x, y - 1, x + 18, y, false}});
    // QR finder at the field origin, modules of five dots: a ring of seven
    // modules, a white ring, a black centre of three.
    const int qx = 359 + c.Dx, qy = 21 + c.Dy;
    areas.insert(areas.end(), {{qx, qy, qx + 35, qy + 5, true},
                               {qx, qy, qx + 5, qy + 35, true},
                               {qx + 5, qy + 5, qx + 30, qy + 10, false},
                               {qx + 10, qy + 10, qx + 25, qy + 25, true},
                               {qx - 1, qy, qx, qy + 35, false},
                               {qx, qy - 1, qx + 35, qy, false}});
    for (const Area& a : areas) {
      const size_t dots = static_cast<size_t>(a.X1 - a.X0) * (a.Y1 - a.Y0);
      EXPECT_EQ(page.BlackInside(a.X0, a.Y0, a.X1, a.Y1), a.Black ? dots : 0)
          << (a.Black ? "black" : "white") << " expected in [" << a.X0 << "," << a.X1 << ") x [" << a.Y0 << "," << a.Y1
          << ")";
    }
    // The text sits at its field origin.
    EXPECT_GT(page.BlackInside(21 + c.Dx, 42 + c.Dy, 120 + c.Dx, 42 + c.Dy + 40), 100u) << "text";
  }
}

TEST(PreviewJobs, OrxBitmapAndDownloadedPictureLandDotForDot) {
  // A raster of 5 bytes x 13 rows of random bits (0 bits print), then the
  // example logo stored with DOWNLOAD and placed with PUTBMP.
  std::mt19937 random(12);
  std::string raster(5 * 13, '\0');
  for (char& b : raster) b = static_cast<char>(random() & 0xFF);
  const std::string logo = ReadAll(MORVEL_SOURCE_DIR "/examples/logo.bmp");
  ASSERT_FALSE(logo.empty());
  const std::string job = "SIZE 20 mm,10 mm\r\nDIRECTION 1,0\r\nCLS\r\nBITMAP 40,30,5,13,1," + raster +
                          "\r\nDOWNLOAD \"TEST.BMP\"," + std::to_string(logo.size()) + "," + logo +
                          "\r\nPUTBMP 100,20,\"TEST.BMP\"\r\nPRINT 1,2\r\nCLS\r\n";
  auto preview = preview::MakePreview(job, lang::Language::Tspl, 203);
  EXPECT_TRUE(preview.Warnings.empty());
  EXPECT_TRUE(preview.Problems.empty());
  ASSERT_EQ(preview.Pictures.size(), 1u);
  EXPECT_EQ(preview.Pictures[0].Copies, "2");
  DecodedPage page = DecodePage(AsString(preview.Pictures[0].Png));
  ASSERT_EQ(page.Width, 160);
  ASSERT_EQ(page.Height, 80);
  for (int r = -1; r <= 13; ++r)
    for (int c = -1; c <= 40; ++c) {
      bool black = false;
      if (r >= 0 && r < 13 && c >= 0 && c < 40)
        black = ((static_cast<uint8_t>(raster[r * 5 + c / 8]) >> (7 - c % 8)) & 1) == 0;
      ASSERT_EQ(page.Black(40 + c, 30 + r), black) << "raster dot " << c << "," << r;
    }
  auto pictures = platform::MakeStbPictures();
  PictureRef picture = pictures->Decode(reinterpret_cast<const uint8_t*>(logo.data()), logo.size());
  ASSERT_TRUE(picture);
  for (int r = 0; r < picture->Height(); ++r)
    for (int c = 0; c < picture->Width(); ++c)
      ASSERT_EQ(page.Black(100 + c, 20 + r), picture->Rgba()[(r * picture->Width() + c) * 4] < 128) << c << "," << r;
}

TEST(PreviewJobs, MalformedJobsFailAndUnknownCommandsAreNamed) {
  const std::string esc = "\x1B";
  struct Case {
    const char* Name;
    lang::Language Language;
    std::string Job;
    std::string Error;    // the error's text holds this; empty: no error
    std::string Warning;  // else the first warning holds this...
    size_t Offset;        // ...at this byte
  };
  using L = lang::Language;
  const std::vector<Case> cases = {
      {"ZPL without ^XZ", L::Zpl, "^XA^FO10,10^GB100,5,5^FS", "^XZ missing", "", 0},
      {"ZPL cut in a command", L::Zpl, "^XA^FO10,10^GB100,5,5^FS^X", "cut in the middle", "", 0},
      {"ZPL unknown command", L::Zpl, "^XA^FO10,10^QQ1,2^GB100,5,5^FS^XZ", "", "unknown command ^QQ", 11},
      {"SBPL count beyond data", L::Sbpl,
       esc + "A" + esc + "H10" + esc + "V10" + esc + "GM500,BMxxxxxx" + esc + "Q1" + esc + "Z", "announces 500 bytes",
       "", 0},
      {"SBPL without ESC Z", L::Sbpl, esc + "A" + esc + "H10" + esc + "V10" + esc + "FW02H100", "ESC Z missing", "", 0},
      {"SBPL unknown command", L::Sbpl, esc + "A" + esc + "H10" + esc + "XY12" + esc + "Q1" + esc + "Z", "",
       "unknown command ESC XY", 6},
      {"Orx raster beyond data", L::Tspl, "SIZE 20 mm,10 mm\r\nCLS\r\nBITMAP 0,0,4,4,1,\x01\x02", "announces 16 bytes",
       "", 0},
      {"Orx download beyond data", L::Tspl, "CLS\r\nDOWNLOAD \"A.BMP\",100,BM\r\n", "announces 100 bytes", "", 0},
      {"Orx cut line", L::Tspl, "CLS\r\nBAR 1,2,3,4", "cut in the middle", "", 0},
      {"Orx unknown command", L::Tspl, "CLS\r\nFROB 1,2\r\nBAR 1,2,3,4\r\nPRINT 1,1\r\n", "", "unknown command FROB",
       5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (!c.Error.empty()) {
      try {
        preview::MakePreview(c.Job, c.Language, 203);
        ADD_FAILURE() << "no error";
      } catch (const lang::MalformedJob& e) {
        EXPECT_NE(std::string(e.what()).find(c.Error), std::string::npos) << e.what();
      }
      continue;
    }
    auto preview = preview::MakePreview(c.Job, c.Language, 203);
    ASSERT_FALSE(preview.Warnings.empty());
    EXPECT_NE(preview.Warnings[0].Text.find(c.Warning), std::string::npos) << preview.Warnings[0].Text;
    EXPECT_EQ(preview.Warnings[0].Offset, c.Offset);
    EXPECT_EQ(preview.Pictures.size(), 1u);
  }
  EXPECT_THROW(preview::MakePreview("hello", std::nullopt, 203), std::invalid_argument);
}

// The command as a user runs it: a printers.conf file: printer with
// `preview = png` leaves a picture beside the job, `morvel preview` draws
// the same one, and a cut job gives an error and no picture.
TEST(PreviewCommand, PrintersConfAndMorvelPreview) {
  const testing::TempFolder temp("morvel-preview-cli");
  const fs::path& dir = temp.Path();
  testing::WritePrinters(dir, {{"ZDesigner GK420t", "file:jobs", {{"preview", "png"}}}});
  std::ofstream(dir / "label.mvs") << "SetPrint \"ZDesigner GK420t\"\nOpenPort \"ZDesigner GK420t\"\n"
                                      "InitPrint 60 40 4 10 2 1 0\nPrintCode 10 50 12345678 128 1 50 1 3\n"
                                      "PrintLabel 3\nClosePort\n";
  auto run = [&](const std::string& args) {
    std::string cmd = "cd '" + dir.string() +
                      "' && MORVEL_PRINTERS=printers.conf MORVEL_CUPS=0 '" MORVEL_BINARY_DIR "/bin/morvel' " + args +
                      " > out.txt 2> err.txt";
    int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  ASSERT_EQ(run("run label.mvs"), 0) << ReadAll(dir / "err.txt");
  const std::string beside = ReadAll(dir / "jobs/000001-1.png");
  ASSERT_FALSE(beside.empty());
  EXPECT_EQ(Barcodes(DecodePage(beside)), std::vector<std::string>{"CODE-128:12345678"});

  ASSERT_EQ(run("preview jobs/000001.prn -o again.png"), 0) << ReadAll(dir / "err.txt");
  EXPECT_EQ(ReadAll(dir / "again.png"), beside);
  EXPECT_NE(ReadAll(dir / "out.txt").find("again.png: label 1, copies 3"), std::string::npos)
      << ReadAll(dir / "out.txt");

  std::ofstream(dir / "cut.prn") << "^XA^FO10,10^GB100,5,5^FS";
  EXPECT_EQ(run("preview cut.prn"), 1);
  EXPECT_NE(ReadAll(dir / "err.txt").find("^XZ missing"), std::string::npos) << ReadAll(dir / "err.txt");
  EXPECT_FALSE(fs::exists(dir / "cut-1.png"));
  EXPECT_EQ(run("preview cut.prn --dpi 7"), 2);
}

// A Code 128 with its line below, as EPL and Orx write it, is the bars and
// a cell of the line's height below them: turned, that box turns about the
// field's corner, so the bars stand where the box puts them at each turn.
TEST(PreviewBarcodes, TurnedCode128KeepsItsLineCellInItsBox) {
  constexpr int X = 100, Y = 100, Bars = 80;
  constexpr int Box = Bars + 1 + 18;  // the bars, a gap of a tenth of the line, the line (9 dots a module)
  core::SymbolOptions options;
  options.Module = 2;
  options.BarHeight = Bars;
  const core::Bitmap bars = render::SymbolDots(options, "AB12");
  ASSERT_GT(bars.Width(), 0);
  const int w = bars.Width();
  const struct {
    int Turn;
    int BarsX, BarsY;  // where the turned bars' top left corner lands
  } turns[] = {{0, X, Y}, {90, X + Box - Bars, Y}, {180, X, Y + Box - Bars}, {270, X, Y}};
  for (const auto& t : turns) {
    const std::string epl =
        "N\r\nq600\r\nQ600,24\r\nB100,100," + std::to_string(t.Turn / 90) + ",1,2,4,80,B,\"AB12\"\r\nP1\r\n";
    const std::string orx = "SIZE 75 mm,75 mm\r\nCLS\r\nBARCODE 100,100,\"128\",80,1," + std::to_string(t.Turn) +
                            ",2,4,\"AB12\"\r\nPRINT 1,1\r\n";
    for (const auto& [language, job] : {std::pair{lang::Language::Epl, epl}, std::pair{lang::Language::Tspl, orx}}) {
      SCOPED_TRACE(std::string(lang::NameOf(language)) + " turned " + std::to_string(t.Turn));
      const auto read = lang::ReadJob(job, language, 203);
      ASSERT_EQ(read.Labels.size(), 1u);
      std::vector<std::string> problems;
      const core::Bitmap page = preview::Paint(read.Labels[0], 203, &problems);
      EXPECT_TRUE(problems.empty()) << problems.front();
      const core::Bitmap turned = render::Rotate(bars, t.Turn);
      int wrong = 0;
      for (int y = 0; y < turned.Height(); ++y)
        for (int x = 0; x < turned.Width(); ++x) wrong += page.Black(t.BarsX + x, t.BarsY + y) != turned.Black(x, y);
      EXPECT_EQ(wrong, 0);
      // The line stands in its cell beside the bars, never over them.
      const bool across = t.Turn == 90 || t.Turn == 270;
      const int boxW = across ? Box : w, boxH = across ? w : Box;
      long inBox = 0, all = 0;
      for (int y = 0; y < page.Height(); ++y)
        for (int x = 0; x < page.Width(); ++x)
          if (page.Black(x, y)) {
            ++all;
            inBox += x >= X && x < X + boxW && y >= Y && y < Y + boxH;
          }
      EXPECT_EQ(inBox, all) << "ink outside the field's box";
      EXPECT_GT(all, static_cast<long>(turned.CountBlack())) << "no line drawn";
    }
  }
}

}  // namespace
}  // namespace morvel

// `morvel print` as users run it: documents to printers of every kind
// (file: folders, a raw queue of a real cupsd, the Dothan library), what
// arrives pictured again and its barcodes read; bad documents refused with
// the file and the cause, nothing sent.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "preview/Preview.h"
#include "support/CaptureListener.h"
#include "support/CupsServer.h"
#include "support/PageCheck.h"
#include "support/RunCommand.h"
#include "support/SharedSamples.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"
#include "tests/print/Documents.h"

namespace morvel::testing {
namespace {

namespace fs = std::filesystem;

const std::string Morvel = MORVEL_BINARY_DIR "/bin/morvel";
std::string Samples() {
  const auto folder = SharedSamples("doc-samples");
  return folder.empty() ? std::string() : folder.string() + "/";
}

#define NEEDS_SAMPLES() \
  if (Samples().empty()) GTEST_SKIP() << "no doc-samples (MORVEL_SHARED_DIR, or ../shared beside the source)"
const std::string CanadaPostCode = "CODE-128:2KKT143702321000336262700100";

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(folder)) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

class PrintCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { WritePrinters(); }

  // A printer of each brand in a folder of its own, loaded with 4 x 6 inch
  // labels but for the SATO; the Orx and Dothan at 300 dpi. Then `more`.
  void WritePrinters(const std::vector<TestPrinter>& more = {}) {
    std::vector<TestPrinter> printers = {
        {"ZDesigner GK420t", "file:zebra", {{"width", "101.6"}, {"height", "152.4"}}, "ZDesigner ZT410 203dpi"},
        {"SATO CL4NX 305dpi", "file:sato"},
        {"Orx TE200", "file:orx", {{"dpi", "300"}, {"width", "101.6"}, {"height", "152.4"}}, "Orx 300"},
        {"Dothan T7 Label", "file:dothan", {{"dpi", "300"}, {"width", "101.6"}, {"height", "152.4"}}, "Dothan T7 300"}};
    printers.insert(printers.end(), more.begin(), more.end());
    testing::WritePrinters(dir_, printers);
  }

  CommandOutcome Run(const std::string& args, const std::string& input = "") {
    return RunCommandIn(dir_, "MORVEL_PRINTERS=printers.conf MORVEL_CUPS=0 '" + Morvel + "' print " + args, input);
  }

  const TempFolder temp_{"morvel-print"};
  const fs::path& dir_ = temp_.Path();
};

// Every kind of printer gets the Canada Post sheet's label part, at its
// resolution and size, with its barcode readable.
TEST_F(PrintCommandTest, TheCarrierSheetPrintsOnEveryBrand) {
  NEEDS_SAMPLES();
  const struct {
    const char* Printer;
    const char* Folder;
    std::optional<lang::Language> Speaks;
    int Dpi, Width, Height;
  } cases[] = {
      {"ZDesigner ZT410 203dpi", "zebra", lang::Language::Zpl, 203, 812, 1218},
      // No size configured: the label part's own size (about 198 x 132 mm), upright.
      {"SATO CL4NX 305dpi", "sato", lang::Language::Sbpl, 305, 0, 0},
      {"Orx 300", "orx", lang::Language::Tspl, 300, 1200, 1800},
      {"Dothan T7 300", "dothan", std::nullopt, 300, 1200, 1800},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Printer);
    auto o = Run("-d '" + std::string(c.Printer) + "' " + Samples() + "canadapost-letter.pdf");
    ASSERT_EQ(o.Status, 0) << o.Err;
    EXPECT_NE(o.Out.find("1 of 1 pages to " + std::string(c.Printer)), std::string::npos) << o.Out;
    EXPECT_NE(o.Err.find("the label part of the sheet printed"), std::string::npos) << o.Err;
    const auto files = FilesIn(dir_ / c.Folder);
    ASSERT_EQ(files.size(), 1u);
    std::string png = Slurp(files[0]);
    if (c.Speaks) {
      const auto seen = preview::MakePreview(png, c.Speaks, c.Dpi);
      ASSERT_EQ(seen.Pictures.size(), 1u);
      png.assign(seen.Pictures[0].Png.begin(), seen.Pictures[0].Png.end());
    }
    const DecodedPage page = DecodePage(png);
    if (c.Width > 0) {
      EXPECT_EQ(page.Width, c.Width);
      EXPECT_EQ(page.Height, c.Height);
    } else {
      EXPECT_NEAR(page.Width, 198 / 25.4 * c.Dpi, 0.02 * page.Width);
      EXPECT_NEAR(page.Height, 132 / 25.4 * c.Dpi, 0.02 * page.Height);
    }
    const auto codes = Barcodes(page);
    EXPECT_NE(std::find(codes.begin(), codes.end(), CanadaPostCode), codes.end());
  }
}

TEST_F(PrintCommandTest, BadDocumentsAreRefusedWithTheirCauseAndNothingIsSent) {
  const std::string page = PdfOf(288, 432, [](cairo_t* cr) { TextAt(cr, 20, 40, 12, "label"); });
  std::ofstream(dir_ / "good.pdf") << page;
  ASSERT_EQ(std::system(("qpdf --encrypt user owner 256 -- '" + (dir_ / "good.pdf").string() + "' '" +
                         (dir_ / "locked.pdf").string() + "'")
                            .c_str()),
            0);
  std::ofstream(dir_ / "damaged.pdf") << page.substr(0, 40);
  std::ofstream(dir_ / "empty.png");
  std::ofstream(dir_ / "notes.txt") << "hello, printer\n";
  // A PNG whose header claims 30,000 x 30,000 pixels.
  std::ofstream(dir_ / "huge.png") << PngOf(4, 4, 72, [](cairo_t*) {
                                      }).replace(16, 8, std::string("\0\0\x75\x30\0\0\x75\x30", 8));
  std::ofstream(dir_ / "fivemetres.pdf") << PdfOf(14173, 14173, [](cairo_t* cr) { TextAt(cr, 20, 40, 12, "x"); });
  const struct {
    const char* Args;
    const char* Says;
  } cases[] = {
      {"-d 'ZDesigner ZT410 203dpi' locked.pdf", "locked.pdf: error: the PDF is encrypted"},
      {"-d 'ZDesigner ZT410 203dpi' damaged.pdf", "damaged.pdf: error: not a PDF that can be read"},
      {"-d 'ZDesigner ZT410 203dpi' empty.png", "empty.png: error: empty"},
      {"-d 'ZDesigner ZT410 203dpi' notes.txt",
       "notes.txt: error: not a PDF, PNG, JPEG, GIF, BMP, ZPL, SBPL, Orx or EPL2"},
      {"-d 'ZDesigner ZT410 203dpi' huge.png", "huge.png: error: the picture is 30000 x 30000 pixels"},
      {"-d 'SATO CL4NX 305dpi' fivemetres.pdf", "fivemetres.pdf: error: page 1 is 5000 x 5000 mm"},
      {"-d 'SATO CL4NX 305dpi' --width 2000 --height 2000 good.pdf",
       "a label of 24016 x 24016 dots is beyond what is printed (at most 20000 dots a side"},
      {"-d 'ZDesigner ZT410 203dpi' --pages 2 good.pdf", "good.pdf: error: page 2 asked for, the document has 1"},
      {"-d 'ZDesigner ZT410 203dpi' missing.pdf", "missing.pdf: error: cannot be read"},
      {"-d 'Nobody' good.pdf", "no installed printer is named 'Nobody'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args);
    auto o = Run(c.Args);
    EXPECT_EQ(o.Status, 1) << o.Err;
    EXPECT_NE(o.Err.find(c.Says), std::string::npos) << o.Err;
    EXPECT_NE(o.Err.find("nothing sent"), std::string::npos) << o.Err;
  }
  auto unlisted = RunCommandIn(dir_, "MORVEL_PRINTERS=missing.conf '" + Morvel + "' print -d Any good.pdf");
  EXPECT_EQ(unlisted.Status, 1);
  EXPECT_NE(unlisted.Err.find("the installed printers cannot be listed"), std::string::npos) << unlisted.Err;
  EXPECT_TRUE(FilesIn(dir_ / "zebra").empty());
  EXPECT_TRUE(FilesIn(dir_ / "sato").empty());
  // A page of 5 x 5 m on a printer whose labels are known is only scaled.
  EXPECT_EQ(Run("-d 'ZDesigner ZT410 203dpi' fivemetres.pdf").Status, 0);
  for (const char* usage : {"-d 'Orx 300' --fit --actual good.pdf", "good.pdf", "-d 'Orx 300' --copies 0 good.pdf",
                            "-d 'Orx 300' --pages 3-1 good.pdf", "-d 'Orx 300' --width 0.5 good.pdf"})
    EXPECT_EQ(Run(usage).Status, 2) << usage;
}

// A picture from standard input into a file of ZPL for a printer named by
// language alone, then a carrier's ZPL sent to a SATO: pictured, its
// barcode kept.
TEST_F(PrintCommandTest, OutputFilesAndOtherBrandsJobs) {
  NEEDS_SAMPLES();
  const std::string gif = Slurp(Samples() + "ups-ground-landscape.gif");
  auto o = Run("--language zpl --dpi 300 --width 101.6 --height 152.4 --compression ascii -o ups.zpl -", gif);
  ASSERT_EQ(o.Status, 0) << o.Err;
  const std::string zpl = Slurp(dir_ / "ups.zpl");
  EXPECT_EQ(zpl.find(":Z64:"), std::string::npos);
  const auto seen = preview::MakePreview(zpl, lang::Language::Zpl, 300);
  ASSERT_EQ(seen.Pictures.size(), 1u);
  const DecodedPage page = DecodePage(std::string(seen.Pictures[0].Png.begin(), seen.Pictures[0].Png.end()));
  EXPECT_EQ(page.Width, 1200);
  auto codes = Barcodes(page);
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<std::string>{"CODE-128:1ZA03R691591538440", "CODE-128:42010017"}));

  o = Run("-d 'SATO CL4NX 305dpi' --actual ups.zpl --picture-dpi 300");
  ASSERT_EQ(o.Status, 0) << o.Err;
  const auto sent = FilesIn(dir_ / "sato");
  ASSERT_EQ(sent.size(), 1u);
  const auto onSato = preview::MakePreview(Slurp(sent[0]), lang::Language::Sbpl, 305);
  ASSERT_EQ(onSato.Pictures.size(), 1u);
  const auto satoCodes =
      Barcodes(DecodePage(std::string(onSato.Pictures[0].Png.begin(), onSato.Pictures[0].Png.end())));
  EXPECT_NE(std::find(satoCodes.begin(), satoCodes.end(), "CODE-128:1ZA03R691591538440"), satoCodes.end());
  // The Zebra's own language goes as it is.
  ASSERT_EQ(Run("-d 'ZDesigner ZT410 203dpi' ups.zpl").Status, 0);
  EXPECT_EQ(Slurp(FilesIn(dir_ / "zebra").at(0)), zpl);
}

// Through a raw queue of a real cupsd to a listening printer.
TEST_F(PrintCommandTest, ThroughARawCupsQueue) {
  NEEDS_SAMPLES();
  CupsServer cups;
  ASSERT_TRUE(cups.Ready()) << cups.Error();
  CaptureListener printer;
  ASSERT_TRUE(cups.AddRawQueue("Dock", printer.Port(), "ZDesigner GK420d 203dpi")) << cups.Error();
  std::ofstream(dir_ / "none.conf");
  auto o = RunCommandIn(dir_, "MORVEL_PRINTERS=none.conf '" + Morvel + "' print -d 'ZDesigner GK420d 203dpi' " +
                                  Samples() + "hepsijet-80x100-raster.pdf");
  ASSERT_EQ(o.Status, 0) << o.Err;
  ASSERT_TRUE(cups.WaitUntilIdle("Dock"));
  ASSERT_TRUE(printer.WaitForConnections(1));
  const std::string bytes = printer.Connections().at(0);
  EXPECT_EQ(bytes.rfind("^XA", 0), 0u);
  const auto seen = preview::MakePreview(bytes, lang::Language::Zpl, 203);
  ASSERT_EQ(seen.Pictures.size(), 1u);
  const DecodedPage page = DecodePage(std::string(seen.Pictures[0].Png.begin(), seen.Pictures[0].Png.end()));
  // The document's own 80 x 100 mm at 203 dpi.
  EXPECT_EQ(page.Width, 640);
  EXPECT_EQ(page.Height, 798);
  EXPECT_EQ(Barcodes(page), std::vector<std::string>{"CODE-128:GLV21236989178"});
}

// A PDF whose page 2 no label is the size of (5 x 5 m, on printers that
// give no size): nothing reaches a file: folder, a socket:// printer, the
// drawing library or an --output file, and the message says so.
TEST_F(PrintCommandTest, ADocumentThatFailsOnPage2SendsNothing) {
  CaptureListener socket;
  ASSERT_TRUE(socket.Ready());
  WritePrinters({{"SATO CL4NX 305dpi", SocketUri(socket.Port()), {}, "SATO Socket 305dpi"},
                 {"Dothan T7 Label", "file:dothan6", {}, "Dothan T6 203"}});
  std::ofstream(dir_ / "two.pdf") << PdfOfPages({{288, 432}, {14173, 14173}});
  std::ofstream(dir_ / "old.sbpl") << "the last run's labels";
  const struct {
    const char* Args;
    const char* Says;
    std::function<void()> Check;
  } cases[] = {
      {"-d 'SATO CL4NX 305dpi' two.pdf", "; nothing sent", [&] { EXPECT_TRUE(FilesIn(dir_ / "sato").empty()); }},
      {"-d 'SATO Socket 305dpi' two.pdf", "; nothing sent", [&] { EXPECT_EQ(socket.Accepted(), 0u); }},
      {"-d 'Dothan T6 203' two.pdf", "; nothing sent", [&] { EXPECT_TRUE(FilesIn(dir_ / "dothan6").empty()); }},
      {"--language sbpl -o old.sbpl two.pdf", "; nothing written",
       [&] { EXPECT_EQ(Slurp(dir_ / "old.sbpl"), "the last run's labels"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args);
    auto o = Run(c.Args);
    EXPECT_EQ(o.Status, 1) << o.Err;
    EXPECT_EQ(o.Out, "");
    EXPECT_NE(o.Err.find("two.pdf: error: page 2 is 5000 x 5000 mm"), std::string::npos) << o.Err;
    EXPECT_NE(o.Err.find(c.Says), std::string::npos) << o.Err;
    c.Check();
  }
  for (const auto& file : FilesIn(dir_))
    EXPECT_NE(file.filename().string().rfind(".old.sbpl", 0), 0u) << "a temporary is left: " << file;
}

// --output is replaced only when every document printed; a file that is
// not a regular one is written directly, its failure told first.
TEST_F(PrintCommandTest, OutputIsReplacedOnlyWhenEveryDocumentPrinted) {
  std::ofstream(dir_ / "good.pdf") << PdfOf(288, 432, [](cairo_t* cr) { TextAt(cr, 20, 40, 12, "label"); });
  std::ofstream(dir_ / "damaged.pdf") << Slurp(dir_ / "good.pdf").substr(0, 60);
  std::ofstream(dir_ / "out.zpl") << "kept";
  fs::permissions(dir_ / "out.zpl", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_EQ(mkfifo((dir_ / "unread.fifo").c_str(), 0600), 0);
  const std::string zpl = "--language zpl --width 101.6 --height 152.4 ";
  const struct {
    std::string Args;
    const char* Says;
  } cases[] = {
      {zpl + "-o out.zpl missing.pdf", "missing.pdf: error: cannot be read; nothing sent"},
      {zpl + "-o out.zpl damaged.pdf", "damaged.pdf: error: not a PDF that can be read"},
      {zpl + "-o out.zpl good.pdf damaged.pdf", "out.zpl left as it was: 1 of 2 documents failed"},
      {zpl + "-o /dev/full good.pdf",
       "good.pdf: error: cannot write /dev/full (No space left on device); nothing sent"},
      {zpl + "-o unread.fifo good.pdf", "cannot write unread.fifo: nothing reads from it; nothing sent"},
      {zpl + "-o . good.pdf", "cannot write .: it is a folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args);
    auto o = Run(c.Args);
    EXPECT_EQ(o.Status, 1) << o.Err;
    EXPECT_EQ(o.Out, "") << "a success line before the error";
    EXPECT_NE(o.Err.find(c.Says), std::string::npos) << o.Err;
    EXPECT_EQ(Slurp(dir_ / "out.zpl"), "kept");
  }
  auto o = Run(zpl + "-o out.zpl good.pdf good.pdf");
  ASSERT_EQ(o.Status, 0) << o.Err;
  EXPECT_NE(o.Out.find("good.pdf: 1 of 1 pages to out.zpl"), std::string::npos) << o.Out;
  const std::string written = Slurp(dir_ / "out.zpl");
  EXPECT_EQ(preview::MakePreview(written, lang::Language::Zpl, 203).Pictures.size(), 2u);
  EXPECT_EQ(fs::status(dir_ / "out.zpl").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  for (const auto& file : FilesIn(dir_))
    EXPECT_NE(file.filename().string().rfind(".out.zpl", 0), 0u) << "a temporary is left: " << file;
}

// copies x pages listed (each listing counts) past 10,000 labels: refused
// before anything is drawn; the pages' own copies count too.
TEST_F(PrintCommandTest, LabelsOfOneRequestAreBounded) {
  std::ofstream(dir_ / "three.pdf") << PdfOfPages({{288, 432}, {288, 432}, {288, 432}});
  std::ofstream(dir_ / "many.zpl") << "^XA^FO20,20^A0N,30,30^FDx^FS^PQ20000^XZ";
  std::string ones = "1";
  for (int k = 1; k < 11; ++k) ones += ",1";
  const struct {
    std::string Args;
    const char* Says;
  } cases[] = {
      {"-d 'ZDesigner ZT410 203dpi' --copies 999 --pages " + ones + " three.pdf",
       "the pages listed make at least 10,989 labels (999 copies of each page listed), and a request prints at most "
       "10,000"},
      {"-d 'ZDesigner ZT410 203dpi' --copies 999 --pages 1-3,1-3,1-3,1-3 three.pdf", "at least 11,988 labels"},
      // Open ranges count one page each until the document says how many.
      {"-d 'ZDesigner ZT410 203dpi' --copies 999 --pages 2-,1-,1-,1- three.pdf", "at least 10,989 labels"},
      {"-d 'SATO CL4NX 305dpi' --width 50 --height 25 many.zpl", "page 1 asks for 20000 labels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args);
    auto o = Run(c.Args);
    EXPECT_EQ(o.Status, 1) << o.Err;
    EXPECT_NE(o.Err.find(c.Says), std::string::npos) << o.Err;
    EXPECT_NE(o.Err.find("; nothing sent"), std::string::npos) << o.Err;
  }
  EXPECT_TRUE(FilesIn(dir_ / "zebra").empty());
  EXPECT_TRUE(FilesIn(dir_ / "sato").empty());
  auto o = Run("-d 'ZDesigner ZT410 203dpi' --copies 999 --pages 1,2,3,3 three.pdf");
  ASSERT_EQ(o.Status, 0) << o.Err;
  EXPECT_EQ(preview::MakePreview(Slurp(FilesIn(dir_ / "zebra").at(0)), lang::Language::Zpl, 203).Pictures.size(), 4u);
}

// A FIFO nobody writes to is refused once no byte came for the wait
// (MORVEL_DOCUMENT_WAIT_MS, 30 s unless set); one written to prints.
TEST_F(PrintCommandTest, ADocumentNobodyWritesIsRefusedInTime) {
  std::ofstream(dir_ / "good.pdf") << PdfOf(288, 432, [](cairo_t* cr) { TextAt(cr, 20, 40, 12, "label"); });
  ASSERT_EQ(mkfifo((dir_ / "in.fifo").c_str(), 0600), 0);
  const std::string print = "MORVEL_PRINTERS=printers.conf MORVEL_CUPS=0 MORVEL_DOCUMENT_WAIT_MS=300 '" + Morvel +
                            "' print -d 'ZDesigner ZT410 203dpi' in.fifo";
  auto o = RunCommandIn(dir_, print);
  EXPECT_EQ(o.Status, 1) << o.Err;
  EXPECT_NE(
      o.Err.find("in.fifo: error: no byte came for 300 ms (a pipe or device that nothing writes to); nothing sent"),
      std::string::npos)
      << o.Err;
  fs::remove(dir_ / "err.txt");
  o = RunCommandIn(dir_, "{ (sleep 0.1; cat good.pdf > in.fifo) & } ; " + print);
  EXPECT_EQ(o.Status, 0) << o.Err;
  EXPECT_EQ(FilesIn(dir_ / "zebra").size(), 1u);
}

// A printer that stops reading part way: what went is told in labels,
// never as nothing sent.
TEST_F(PrintCommandTest, APrinterThatStopsPartWayIsToldInLabels) {
  CaptureListener printer(CaptureListener::Mode::CloseAfter, 100);
  ASSERT_TRUE(printer.Ready());
  WritePrinters({{"ZDesigner ZT410R-300dpi ZPL",
                  SocketUri(printer.Port()),
                  {{"width", "101.6"}, {"height", "152.4"}},
                  "ZDesigner Socket 300dpi"}});
  const std::vector<std::pair<double, double>> pages(6, {288, 432});
  std::ofstream(dir_ / "ramps.pdf") << PdfOfPages(pages, [](cairo_t* cr) { RampAt(cr, 0, 60, 288, 372); });
  auto o = RunCommandIn(dir_, "MORVEL_PRINTERS=printers.conf MORVEL_CUPS=0 MORVEL_WRITE_TIMEOUT_MS=2000 '" + Morvel +
                                  "' print -d 'ZDesigner Socket 300dpi' ramps.pdf");
  EXPECT_EQ(o.Status, 1) << o.Err;
  EXPECT_EQ(o.Err.find("nothing sent"), std::string::npos) << o.Err;
  EXPECT_TRUE(o.Err.find(" of 6 labels sent whole") != std::string::npos ||
              o.Err.find("all 6 labels went to the printer, which did not confirm them") != std::string::npos)
      << o.Err;
}

}  // namespace
}  // namespace morvel::testing

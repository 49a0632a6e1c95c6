// `morvel print` as users run it: documents to printers of every kind
// (file: folders, a raw queue of a real cupsd, the Dothan library), what
// arrives pictured again and its barcodes read; bad documents refused with
// the file and the cause, nothing sent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "preview/Preview.h"
#include "support/CaptureListener.h"
#include "support/CupsServer.h"
#include "support/PageCheck.h"
#include "support/RunCommand.h"
#include "support/SharedSamples.h"
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
  void SetUp() override {
    char tmpl[] = "/tmp/morvel-print-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    for (const char* f : {"zebra", "sato", "orx", "dothan"}) fs::create_directory(dir_ / f);
    std::ofstream(dir_ / "printers.conf") << "[ZDesigner ZT410 203dpi]\nuri = file:zebra\ndpi = 203\n"
                                             "width = 101.6\nheight = 152.4\n"
                                             "[SATO CL4NX 305dpi]\nuri = file:sato\ndpi = 305\n"
                                             "[Orx 300]\nuri = file:orx\ndpi = 300\nwidth = 101.6\nheight = 152.4\n"
                                             "[Dothan T7 300]\nuri = file:dothan\ndpi = 300\nwidth = 101.6\n"
                                             "height = 152.4\n";
  }
  void TearDown() override { fs::remove_all(dir_); }

  CommandOutcome Run(const std::string& args, const std::string& input = "") {
    return RunCommandIn(dir_, "MORVEL_PRINTERS=printers.conf MORVEL_CUPS=0 '" + Morvel + "' print " + args, input);
  }

  fs::path dir_;
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
      {"-d 'ZDesigner ZT410 203dpi' notes.txt", "notes.txt: error: not a PDF, PNG, JPEG, GIF, BMP, ZPL, SBPL or Orx"},
      {"-d 'ZDesigner ZT410 203dpi' huge.png", "huge.png: error: the picture is 30000 x 30000 pixels"},
      {"-d 'SATO CL4NX 305dpi' fivemetres.pdf", "fivemetres.pdf: error: page 1 is 5000 x 5000 mm"},
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

}  // namespace
}  // namespace morvel::testing

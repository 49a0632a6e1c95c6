// Documents printed for every language at 203 and 300 dpi: the printer's
// bytes pictured again by the house preview, the label's size checked to
// the dot and its barcodes read back by zbar.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "preview/Preview.h"
#include "print/Print.h"
#include "support/PageCheck.h"
#include "support/SharedSamples.h"
#include "tests/print/Documents.h"

namespace morvel::print {
namespace {

using testing::Barcodes;
using testing::DecodePage;

// A 4 x 6 inch label: two Code 128 of 10 and 15 mil modules, a Code 39, a
// QR code, words, and a grey ramp.
void CarrierLabel(cairo_t* cr) {
  testing::TextAt(cr, 18, 30, 14, "SHIP TO: MORVEL DOCK 7");
  testing::SymbolAt(cr, testing::Code128, "1Z999AA10123456784", 24, 50, 0.72, 60);
  testing::SymbolAt(cr, testing::Code128, "PKG-0042", 24, 130, 1.08, 50);
  testing::SymbolAt(cr, testing::Code39, "MORVEL-39", 24, 200, 1.0, 40);
  testing::SymbolAt(cr, testing::QrCode, "https://morvel.example/t/42", 24, 260, 3.0, 0);
  testing::RampAt(cr, 150, 260, 120, 100);
}
const std::vector<std::string> CarrierCodes = {"CODE-128:1Z999AA10123456784", "CODE-128:PKG-0042", "CODE-39:MORVEL-39",
                                               "QR-Code:https://morvel.example/t/42"};

struct Document {
  const char* Name;
  std::function<std::string()> Make;
};

const Document Documents[] = {
    {"Pdf4x6", [] { return testing::PdfOf(288, 432, CarrierLabel); }},
    // Landscape on a portrait label: turned.
    {"PdfLandscape",
     [] {
       return testing::PdfOf(432, 288, [](cairo_t* cr) {
         cairo_translate(cr, 432, 0);
         cairo_rotate(cr, M_PI / 2);
         CarrierLabel(cr);
       });
     }},
    {"Png150Dpi", [] { return testing::PngOf(600, 900, 150, CarrierLabel); }},
};

struct Printed {
  std::string Bytes;
  Report Done;
};

Options With(const std::function<void(Options&)>& set) {
  Options o;
  set(o);
  return o;
}

Printed PrintFor(const std::string& document, lang::Language language, int dpi, const Options& options = {}) {
  Target target{"test", language, dpi, 101.6, 152.4};
  Printed p;
  p.Done = Print(document, target, options, [&](std::string_view b) {
    p.Bytes.append(b);
    return true;
  });
  return p;
}

TEST(PrintTest, DocumentsPrintAtTheLabelsSizeWithEveryBarcodeReadable) {
  for (const auto& doc : Documents) {
    const std::string document = doc.Make();
    for (lang::Language language : lang::AllLanguages)
      for (int dpi : {203, 300}) {
        SCOPED_TRACE(std::string(doc.Name) + " " + lang::NameOf(language) + " " + std::to_string(dpi));
        const Printed printed = PrintFor(document, language, dpi);
        const preview::Preview seen = preview::MakePreview(printed.Bytes, language, dpi);
        ASSERT_EQ(seen.Pictures.size(), 1u);
        EXPECT_TRUE(seen.Warnings.empty()) << seen.Warnings[0].Text;
        const auto page = DecodePage(std::string(seen.Pictures[0].Png.begin(), seen.Pictures[0].Png.end()));
        EXPECT_EQ(page.Width, dpi == 203 ? 812 : 1200);
        EXPECT_EQ(page.Height, dpi == 203 ? 1218 : 1800);
        auto codes = Barcodes(page);
        std::sort(codes.begin(), codes.end());
        EXPECT_EQ(codes, CarrierCodes);
      }
  }
}

// The ramp's rows: dithered shades change colour all along; a threshold
// would give one edge a row.
TEST(PrintTest, PhotosAreDitheredAndLineArtIsNot) {
  const Printed printed =
      PrintFor(Documents[0].Make(), lang::Language::Zpl, 203, With([](Options& o) { o.Scale = Scaling::Actual; }));
  const auto page = DecodePage([&] {
    auto p = preview::MakePreview(printed.Bytes, lang::Language::Zpl, 203).Pictures[0].Png;
    return std::string(p.begin(), p.end());
  }());
  auto changes = [&](int y, int x0, int x1) {
    int n = 0;
    for (int x = x0 + 1; x < x1; ++x) n += page.Black(x, y) != page.Black(x - 1, y);
    return n;
  };
  // The ramp spans 150..270 pt (423..761 dots), rows 260..360 pt (733..1015).
  EXPECT_GT(changes(870, 430, 755), 60);
  // The 15-mil Code 128 (rows 130..180 pt): 3-dot modules, each bar's edges
  // the same down the symbol.
  for (int y = 380; y < 500; y += 20) EXPECT_EQ(changes(y, 60, 500), changes(380, 60, 500)) << y;
}

// A letter sheet with the label in its top half and instructions below, as
// a PDF and as a 150 dpi picture: the label part alone is printed, as large
// as the label takes it.
TEST(PrintTest, SheetsPrintTheirLabelPart) {
  auto sheet = [](cairo_t* cr) {
    cairo_save(cr);
    cairo_translate(cr, 36, 36);
    CarrierLabel(cr);
    cairo_restore(cr);
    for (int line = 0; line < 12; ++line)
      testing::TextAt(cr, 40, 460 + line * 22, 11, "Fold here and keep the receipt");
  };
  for (const std::string& document : {testing::PdfOf(612, 792, sheet), testing::PngOf(1275, 1650, 150, sheet)}) {
    SCOPED_TRACE(document.substr(1, 3));
    const Printed printed = PrintFor(document, lang::Language::Zpl, 203);
    ASSERT_EQ(printed.Done.Notes.size(), 1u);
    EXPECT_NE(printed.Done.Notes[0].find("the label part of the sheet printed"), std::string::npos);
    const auto seen = preview::MakePreview(printed.Bytes, lang::Language::Zpl, 203);
    auto codes = Barcodes(DecodePage(std::string(seen.Pictures.at(0).Png.begin(), seen.Pictures.at(0).Png.end())));
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, CarrierCodes);
    const Printed whole =
        PrintFor(document, lang::Language::Zpl, 203, With([](Options& o) { o.Cropping = Crop::None; }));
    EXPECT_TRUE(whole.Done.Notes.empty());
  }
}

TEST(PrintTest, ZplPicturesTakeAQuarterOfTheHexBytesOrLess) {
  const Printed printed = PrintFor(Documents[0].Make(), lang::Language::Zpl, 203);
  const size_t hex = 102 * 1218 * 2;  // ^GFA uncompressed: two digits a byte
  EXPECT_LT(printed.Bytes.size() * 4, hex);
  EXPECT_EQ(printed.Done.Bytes, printed.Bytes.size());
}

TEST(PrintTest, JobsInAnotherLanguageArePicturedAndOwnLanguageGoesAsItIs) {
  const std::string zpl = "^XA^PW406^LL203^FO20,20^BY2^BCN,80,N^FDMORVEL-7^FS^PQ3^XZ";
  const Printed asIs = PrintFor(zpl, lang::Language::Zpl, 203);
  EXPECT_TRUE(asIs.Done.AsItIs);
  EXPECT_EQ(asIs.Bytes, zpl);
  // On a SATO the label keeps its size (2 x 1 inch at the job's 203 dpi) and
  // its three copies.
  const Printed sato = PrintFor(zpl, lang::Language::Sbpl, 300, With([](Options& o) { o.Scale = Scaling::Actual; }));
  const preview::Preview seen = preview::MakePreview(sato.Bytes, lang::Language::Sbpl, 300);
  ASSERT_EQ(seen.Pictures.size(), 1u);
  EXPECT_EQ(seen.Pictures[0].Copies, "3");
  const auto page = DecodePage(std::string(seen.Pictures[0].Png.begin(), seen.Pictures[0].Png.end()));
  EXPECT_EQ(Barcodes(page), std::vector<std::string>{"CODE-128:MORVEL-7"});
}

TEST(PrintTest, PagesAndCopiesAreChosen) {
  const std::string sbpl =
      "\x1b"
      "A\x1bH100\x1bV100\x1bP02\x1bRG0,6,2,40,40,one\x1bQ1\x1bZ"
      "\x1b"
      "A\x1bH100\x1bV100\x1bP02\x1bRG0,6,2,40,40,two\x1bQ1\x1bZ"
      "\x1b"
      "A\x1bH100\x1bV100\x1bP02\x1bRG0,6,2,40,40,three\x1bQ1\x1bZ";
  const Printed printed = PrintFor(sbpl, lang::Language::Zpl, 203, With([](Options& o) {
                                     o.Pages = {{3, 3}, {1, 1}}, o.Copies = 2;
                                   }));
  EXPECT_EQ(printed.Done.Pages, 3);
  EXPECT_EQ(printed.Done.Printed, 2);
  EXPECT_EQ(preview::MakePreview(printed.Bytes, lang::Language::Zpl, 203).Pictures.size(), 2u);
  EXPECT_NE(printed.Bytes.find("^PQ2^XZ"), std::string::npos);
  std::string why;
  EXPECT_FALSE(PageList("2-1", &why));
  EXPECT_FALSE(PageList("0", &why));
  EXPECT_EQ(PageList("1-3,5,8-", &why), (std::vector<std::pair<int, int>>{{1, 3}, {5, 5}, {8, 1 << 30}}));
  EXPECT_THROW(PrintFor(sbpl, lang::Language::Zpl, 203, With([](Options& o) { o.Pages = {{4, 4}}; })), DocumentError);
}

// The carriers' documents: every barcode that reads when the document is
// drawn at 300 dpi reads from the printed label at 203 and at 300 dpi.
TEST(PrintTest, CarrierDocumentsKeepTheirBarcodes) {
  const auto samples = testing::SharedSamples("doc-samples");
  if (samples.empty()) GTEST_SKIP() << "no doc-samples (MORVEL_SHARED_DIR, or ../shared beside the source)";
  const std::string folder = samples.string() + "/";
  std::ifstream manifest(folder + "MANIFEST.tsv");
  ASSERT_TRUE(manifest) << "no " << folder << "MANIFEST.tsv";
  std::string line;
  std::getline(manifest, line);  // the heading
  int documents = 0;
  while (std::getline(manifest, line)) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
    ASSERT_EQ(cells.size(), 10u) << line;
    std::ifstream file(folder + cells[0], std::ios::binary);
    const std::string document((std::istreambuf_iterator<char>(file)), {});
    std::vector<std::string> want;
    std::stringstream codes(cells[9]);
    for (std::string code; std::getline(codes, code, ';');)
      want.push_back("CODE-128:" + code.substr(code.find(':') + 1));
    ++documents;
    for (auto [language, dpi] : {std::pair{lang::Language::Zpl, 203}, std::pair{lang::Language::Sbpl, 300}}) {
      SCOPED_TRACE(cells[0] + " at " + std::to_string(dpi));
      const Printed printed = PrintFor(document, language, dpi);
      const preview::Preview seen = preview::MakePreview(printed.Bytes, language, dpi);
      ASSERT_EQ(seen.Pictures.size(), 1u);
      const auto found = Barcodes(DecodePage(std::string(seen.Pictures[0].Png.begin(), seen.Pictures[0].Png.end())));
      for (const auto& code : want) EXPECT_NE(std::find(found.begin(), found.end(), code), found.end()) << code;
    }
  }
  EXPECT_EQ(documents, 4);
}

}  // namespace
}  // namespace morvel::print

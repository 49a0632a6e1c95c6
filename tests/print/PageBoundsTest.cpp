// A PDF's pages are drawn in a process of their own under a page's bounds
// of CPU time and memory: hostile PDFs made here (forms that draw forever,
// an embedded font that inflates past the bound) are refused with the
// cause and nothing sent; a caller that leaves stops the drawing; and what
// that process draws is, pixel for pixel, what poppler draws here.
#include <gtest/gtest.h>

#include <zlib.h>

#include "print/Layout.h"
#include "print/PdfPages.h"
#include "print/Print.h"
#include "support/PdfPages.h"
#include "support/Sanitizers.h"
#include "support/ScopedEnv.h"
#include "tests/print/Documents.h"

namespace morvel::print {
namespace {

using testing::PdfOfObjects;
using testing::PdfStream;
using testing::ScopedEnv;

const Target Zebra{"bounds", lang::Language::Zpl, 203, 101.6, 152.4};

// Page 1 ordinary; page 2 draws forms nested `depth` deep, each drawing the
// next ten times (10^depth fills).
std::string EndlessSecondPage(int depth) {
  std::string again;
  for (int i = 0; i < 10; ++i) again += "q /F Do Q\n";
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                      "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
                                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 288 432] /Contents 5 0 R >>",
                                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 288 432] /Contents 6 0 R "
                                      "/Resources << /XObject << /F 7 0 R >> >> >>",
                                      PdfStream("", "0 g 20 20 100 50 re f"),
                                      PdfStream("", "/F Do")};
  for (int k = 0; k < depth; ++k) {
    const bool last = k + 1 == depth;
    objects.push_back(PdfStream("/Type /XObject /Subtype /Form /BBox [0 0 288 432] /Resources << " +
                                    (last ? std::string() : "/XObject << /F " + std::to_string(8 + k) + " 0 R >>") +
                                    " >>",
                                last ? "0 g 10 10 1 1 re f" : again));
  }
  return PdfOfObjects(objects);
}

// A page whose TrueType font inflates to `mib` MiB of zeros, which the
// reader holds whole to load it.
std::string InflatingFont(int mib) {
  std::string packed(compressBound(uLong{1} << 20) * mib / 64 + 4096, '\0');
  z_stream z{};
  deflateInit(&z, 9);
  const std::string zeros(1 << 20, '\0');
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  for (int i = 0; i < mib; ++i) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = static_cast<uInt>(zeros.size());
    deflate(&z, i + 1 == mib ? Z_FINISH : Z_NO_FLUSH);
  }
  packed.resize(z.total_out);
  deflateEnd(&z);
  return testing::PdfWithEmbeddedFont("/Filter /FlateDecode /Length1 " + std::to_string(mib << 20), packed);
}

// Each hostile page is refused with its cause, and the page before it,
// which drew, is not sent either.
TEST(PageBoundsTest, APagePastItsBoundsIsRefusedWithTheCause) {
  ScopedEnv cpu("MORVEL_PAGE_CPU_SECONDS", "1"), memory("MORVEL_PAGE_MEMORY_MIB", "64");
  struct Case {
    const char* Name;
    std::string Pdf;
    std::string Cause;
  } cases[] = {
      {"forms drawing forever", EndlessSecondPage(12),
       "page 2 takes more CPU time to draw than a page may (a page may take 1 s of CPU time and 64 MiB of memory)"},
      {"a font that inflates past the bound", InflatingFont(96),
       "page 1 needs more memory than a page may take (a page may take 1 s of CPU time and 64 MiB of memory)"},
      {"no PDF at all behind its header", "%PDF-1.4\nthis is not a PDF", "not a PDF that can be read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    // The drawing process of a sanitized build keeps no memory bound.
    if (testing::UnderAddressSanitizer && c.Cause.find("needs more memory") != std::string::npos) continue;
    int pieces = 0;
    try {
      Print(c.Pdf, Zebra, {}, [&](std::string_view) { return ++pieces, true; });
      ADD_FAILURE() << "printed";
    } catch (const DocumentError& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.Cause.size()), c.Cause);
      EXPECT_EQ(Told(e), std::string(e.what()) + "; nothing sent");
    }
    EXPECT_EQ(pieces, 0);
  }
}

// A caller that leaves stops the page being drawn; the bounds are then not
// what ends it.
TEST(PageBoundsTest, ACallerThatLeavesStopsThePageBeingDrawn) {
  ScopedEnv cpu("MORVEL_PAGE_CPU_SECONDS", "60");
  Options options;
  int asked = 0;
  options.Abandoned = [&asked] { return ++asked > 3; };  // gone after about 0.3 s of drawing
  try {
    Print(EndlessSecondPage(12), Zebra, options, [](std::string_view) { return true; });
    ADD_FAILURE() << "printed";
  } catch (const DocumentError& e) {
    EXPECT_STREQ(e.what(), "stopped while page 2 was drawn: the caller left");
  }
  EXPECT_EQ(asked, 4);
}

// Without its drawing program no PDF prints, and the message says where it
// is looked for; pictures still print.
TEST(PageBoundsTest, WithoutTheDrawingProgramTheMessageSaysWhatIsMissing) {
  ScopedEnv helper("MORVEL_PDF_PAGES", "/nonexistent/morvel-pdf-pages");
  const std::string pdf = testing::PdfOf(288, 432, [](cairo_t* cr) { testing::TextAt(cr, 20, 40, 12, "A"); });
  try {
    Print(pdf, Zebra, {}, [](std::string_view) { return true; });
    ADD_FAILURE() << "printed";
  } catch (const DocumentError& e) {
    EXPECT_STREQ(e.what(),
                 "PDFs cannot be drawn: /nonexistent/morvel-pdf-pages cannot be started (No such file or directory); "
                 "it is installed beside libmorvel2.so (or set MORVEL_PDF_PAGES)");
  }
  const std::string png = testing::PngOf(40, 40, 203, [](cairo_t* cr) { cairo_paint(cr); });
  EXPECT_EQ(Print(png, Zebra, {}, [](std::string_view) { return true; }).Printed, 1);
}

// The drawing process's pixels are poppler's here, whatever the transform
// (scaled, turned, moved) and the page's size: the labels of both are the
// same dots.
TEST(PageBoundsTest, TheDrawingProcessDrawsWhatPopplerDrawsHere) {
  const std::string pdf = testing::PdfOf(288, 432, [](cairo_t* cr) {
    testing::TextAt(cr, 18, 30, 14, "SHIP TO: MORVEL DOCK 7");
    testing::SymbolAt(cr, testing::Code128, "1Z999AA10123456784", 24, 50, 0.72, 60);
    testing::RampAt(cr, 150, 260, 120, 100);
  });
  auto apart = detail::PdfSource(pdf), here = detail::InProcessPdfSource(pdf);
  ASSERT_EQ(apart->Count(), 1);
  const detail::PageSize size = apart->Size(0);
  EXPECT_EQ(size.Width, here->Size(0).Width);
  EXPECT_EQ(size.Height, here->Size(0).Height);
  struct Case {
    int Dpi, Rotate;
    double WidthMm, HeightMm;
  } cases[] = {{203, 0, 101.6, 152.4}, {300, 90, 152.4, 101.6}, {600, 180, 50, 30}, {203, 270, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Dpi) + " dpi, turned " + std::to_string(c.Rotate));
    Options options;
    options.Rotate = c.Rotate;
    const Target target{"t", lang::Language::Zpl, c.Dpi, c.WidthMm, c.HeightMm};
    const detail::Placement placement = detail::Place({0, 0, size.Width, size.Height}, target, options, 1);
    const core::Bitmap a = detail::DrawPage(*apart, 0, placement), b = detail::DrawPage(*here, 0, placement);
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    long differ = 0, ink = 0;
    for (int y = 0; y < a.Height(); ++y)
      for (int x = 0; x < a.Width(); ++x) {
        differ += a.Row(y)[x] != b.Row(y)[x];
        ink += a.Row(y)[x];
      }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(ink, 1000);
  }
}

}  // namespace
}  // namespace morvel::print

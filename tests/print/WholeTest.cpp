// A document prints whole or not at all: every label is made before the
// first byte reaches the sink, and a sink that stops part way is told in
// labels. What one request may print is bounded before anything is drawn;
// a document's kind comes from its start; option words read numbers as the
// morvel command does.
#include <gtest/gtest.h>

#include <zlib.h>

#include "lang/sbpl/Raster.h"
#include "print/Print.h"
#include "print/Staging.h"
#include "tests/print/Documents.h"

namespace morvel::print {
namespace {

// A PNG with a tEXt chunk of `text` before its pixels.
std::string PngWithText(const std::string& text) {
  std::string png = testing::PngOf(8, 8, 72, [](cairo_t*) {});
  const std::string chunk = "tEXt" + std::string("Comment\0", 8) + text;
  const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()));
  std::string whole;
  for (uint32_t v : {static_cast<uint32_t>(chunk.size() - 4)})
    for (int shift = 24; shift >= 0; shift -= 8) whole += static_cast<char>((v >> shift) & 0xFF);
  whole += chunk;
  for (int shift = 24; shift >= 0; shift -= 8) whole += static_cast<char>((crc >> shift) & 0xFF);
  return png.insert(33, whole);
}

struct Taken {
  std::string Bytes;
  int Calls = 0;
};

// Prints with a sink that takes `pieces` pieces, then stops.
Report PrintInto(Taken& taken, const std::string& document, const Target& target, const Options& options,
                 int pieces = 1 << 30) {
  return Print(document, target, options, [&](std::string_view bytes) {
    if (taken.Calls++ >= pieces) return false;
    taken.Bytes.append(bytes);
    return true;
  });
}

TEST(WholeTest, KindsAreToldFromTheStart) {
  const std::string pdf = testing::PdfOf(288, 432, [](cairo_t* cr) { testing::TextAt(cr, 20, 40, 12, "x"); });
  const struct {
    const char* Name;
    std::string Bytes;
    std::optional<Kind> Is;
  } cases[] = {
      {"plain PDF", pdf, Kind{Format::Pdf}},
      {"PDF after a byte-order mark and a line end", "\xEF\xBB\xBF\r\n" + pdf, Kind{Format::Pdf}},
      {"PDF after binary junk", std::string("\0\x01\x9C\xFE", 4) + pdf, Kind{Format::Pdf}},
      {"ZPL with %PDF- in a field", "^XA^FO10,10^A0N,30,30^FD%PDF-1.4 invoice^FS^XZ",
       Kind{Format::Job, lang::Language::Zpl}},
      {"SBPL with %PDF- in a field",
       "\x1b"
       "A\x1bH100\x1bV100\x1bP02\x1bRG0,6,2,40,40,%PDF-1.7\x1bQ1\x1bZ",
       Kind{Format::Job, lang::Language::Sbpl}},
      {"PNG with %PDF- in a text chunk", PngWithText("%PDF-1.4 not a PDF"), Kind{Format::Png}},
      {"text that mentions %PDF-", "invoice %PDF-1.4\n", std::nullopt},
      {"%PDF- past the first kilobyte of blanks", std::string(1100, ' ') + pdf, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(KindOf(c.Bytes), c.Is);
  }
  // As messages name them: a job by its language's title.
  EXPECT_STREQ(NameOf(Kind{Format::Job, lang::Language::Tspl}), "Orx");
  EXPECT_STREQ(NameOf(Kind{Format::Png}), "PNG");
  // The ZPL job prints as ZPL, its field's text and all.
  Taken taken;
  const std::string zpl = cases[3].Bytes;
  EXPECT_TRUE(PrintInto(taken, zpl, {"z", lang::Language::Zpl, 203, 101.6, 152.4}, {}).AsItIs);
  EXPECT_EQ(taken.Bytes, zpl);
}

// Page 2 fails (5 x 5 m, on a printer whose labels give no size): nothing
// reaches the sink, and the message says so.
TEST(WholeTest, APageThatFailsSendsNothing) {
  const std::string pdf = testing::PdfOfPages({{288, 432}, {14173, 14173}});
  for (lang::Language language : lang::AllLanguages) {
    SCOPED_TRACE(lang::NameOf(language));
    Taken taken;
    try {
      PrintInto(taken, pdf, {"no size", language, 203, 0, 0}, {});
      ADD_FAILURE() << "printed";
    } catch (const DocumentError& e) {
      EXPECT_NE(std::string(e.what()).find("page 2 is 5000 x 5000 mm"), std::string::npos) << e.what();
      EXPECT_EQ(Told(e).substr(Told(e).size() - 14), "; nothing sent");
    }
    EXPECT_EQ(taken.Calls, 0);
  }
}

// A sink that stops part way is told in whole labels, copies counted.
TEST(WholeTest, APrinterThatStopsIsToldInLabels) {
  const std::string pdf = testing::PdfOfPages({{288, 432}, {288, 432}, {288, 432}});
  const Target zebra{"z", lang::Language::Zpl, 203, 101.6, 152.4};
  Options twice;
  twice.Copies = 2;
  const struct {
    const char* Name;
    std::string Document;
    Options How;
    int Pieces;
    std::string Says;
  } cases[] = {
      {"refused at once",
       pdf,
       {},
       0,
       "the printer stopped taking the job; 0 of 3 labels sent whole, the first cut short"},
      {"after one page",
       pdf,
       {},
       1,
       "the printer stopped taking the job; 1 of 3 labels sent whole, the next cut short"},
      {"after two pages of two copies", pdf, twice, 2, "; 4 of 6 labels sent whole, the next cut short"},
      {"a job as it is, after one copy", "^XA^FDx^FS^XZ", twice, 1, "; 1 of 2 copies of the job sent whole"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Taken taken;
    try {
      PrintInto(taken, c.Document, zebra, c.How, c.Pieces);
      ADD_FAILURE() << "printed";
    } catch (const DocumentError& e) {
      EXPECT_NE(Told(e).find(c.Says), std::string::npos) << Told(e);
    }
    EXPECT_EQ(taken.Calls, c.Pieces + 1);
  }
  Taken whole;
  const Report report = PrintInto(whole, pdf, zebra, twice);
  EXPECT_EQ(report.Labels, 6);
  EXPECT_EQ(report.Bytes, whole.Bytes.size());
  EXPECT_EQ(whole.Calls, 3);  // a label a piece
}

// copies x pages listed, the job's own copies, and copies of a job sent as
// it is: refused past the bound before anything is drawn or sent.
TEST(WholeTest, LabelsARequestPrintsAreBounded) {
  std::string repeated = "pages=1";
  for (int k = 1; k < 3000; ++k) repeated += ",1";
  const struct {
    const char* Words;
    bool Taken;
  } words[] = {
      {"copies=10 pages=1-1000", true},
      {"copies=10 pages=1-1001", false},
      {"copies=999 pages=1,1,1,1,1,1,1,1,1,1,1", false},
      {repeated.c_str(), true},
      {"copies=4 pages=1-2500", true},
      {"copies=5 pages=1-2000,3-", false},
      {"copies=999 pages=7-", true},
      {"copies=999 pages=7-,9", true},
      {"copies=999 pages=7-,9,9,9,9,9,9,9,9,9,9", false},
      // Each page of a longer document once is a request's right.
      {"pages=1-100000", true},
      {"pages=1-100000,1", false},
      {"copies=2 pages=1-100000", false},
  };
  for (const auto& w : words) {
    SCOPED_TRACE(std::string(w.Words).substr(0, 60));
    std::string why;
    EXPECT_EQ(RequestOf(w.Words, &why).has_value(), w.Taken) << why;
    if (!w.Taken) {
      EXPECT_NE(why.find("a request prints at most 10,000"), std::string::npos) << why;
    }
  }
  const std::string threePages = testing::PdfOfPages({{288, 432}, {288, 432}, {288, 432}});
  const Target zebra{"z", lang::Language::Zpl, 203, 101.6, 152.4}, sato{"s", lang::Language::Sbpl, 203, 50, 25};
  Options open, many;
  open.Pages = {{2, OpenEnd}, {1, OpenEnd}, {1, OpenEnd}, {1, OpenEnd}}, open.Copies = 1250;  // 2 + 3 + 3 + 3 pages
  many.Copies = 999;
  const struct {
    const char* Name;
    std::string Document;
    Target To;
    Options How;
    const char* Says;
  } documents[] = {
      {"open ranges against the pages", threePages, zebra, open, "13,750 labels (1250 copies of each page listed)"},
      {"a job's own copies", "^XA^FO20,20^A0N,30,30^FDx^FS^PQ20000^XZ", sato, {}, "page 1 asks for 20000 labels"},
      {"copies of a job as it is", "^XA^FD" + std::string(300000, 'x') + "^FS^XZ", zebra, many, "more than 256 MiB"},
  };
  for (const auto& d : documents) {
    SCOPED_TRACE(d.Name);
    Taken taken;
    try {
      PrintInto(taken, d.Document, d.To, d.How);
      ADD_FAILURE() << "printed";
    } catch (const DocumentError& e) {
      EXPECT_NE(Told(e).find(d.Says), std::string::npos) << Told(e);
      EXPECT_NE(Told(e).find("; nothing sent"), std::string::npos) << Told(e);
    }
    EXPECT_EQ(taken.Calls, 0);
  }
}

TEST(WholeTest, OptionWordsReadNumbersAsTheCommandDoes) {
  const struct {
    const char* Words;
    bool Taken;
  } cases[] = {
      {"copies=12 width=101.6 height=50", true},
      {"fit fit", true},
      {"fit actual", false},
      {"actual rotate=90 fit", false},
      {"copies=0x10", false},
      {"copies=+5", false},
      {"copies=-1", false},
      {"copies=", false},
      {"width=0x50", false},
      {"width=+50", false},
      {"width=1e2", false},
      {"width=50.", false},
      {"width=.5", false},
      {"width=50,5", false},
      {"picture_dpi=0300", true},
      {"pages=+1", false},
      {"rotate=0x5A", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Words);
    std::string why;
    EXPECT_EQ(RequestOf(c.Words, &why).has_value(), c.Taken) << why;
  }
  EXPECT_EQ(RequestOf("width=101.6", nullptr)->WidthMm, 101.6);
  std::string why;
  RequestOf("fit actual", &why);
  EXPECT_EQ(why, "fit and actual exclude each other");
}

// Held labels come back as they were made, a label's bytes in pieces of
// their own (never mixed with the next label's), up to the held bound.
TEST(WholeTest, HeldLabelsComeBackAsMadeWithinTheirBound) {
  detail::Staging staged(3u << 20);
  const std::string small = "^XA^FDsmall^FS^XZ", big(1536 * 1024, 'b');
  staged.Append(small);
  staged.EndLabel(2);
  staged.Append(big);
  staged.Append(small);
  staged.EndLabel(1);
  std::string got;
  std::vector<size_t> pieces;
  staged.HandOver([&](std::string_view bytes) {
    got.append(bytes);
    pieces.push_back(bytes.size());
    return true;
  });
  EXPECT_EQ(got, small + big + small);
  EXPECT_EQ(pieces, (std::vector<size_t>{small.size(), 1u << 20, big.size() + small.size() - (1u << 20)}));
  EXPECT_EQ(staged.LabelCount(), 3);
  try {
    staged.Append(std::string(2u << 20, 'c'));
    ADD_FAILURE() << "held past the bound";
  } catch (const DocumentError& e) {
    EXPECT_EQ(Told(e),
              "the job's printer bytes pass 3 MiB, more than one request holds (print the document in "
              "parts); nothing sent");
  }
}

// ESC Q takes six digits: copies past them are clamped, not written whole.
TEST(WholeTest, SbplCopiesAreClampedToTheQuantityCommand) {
  const core::Bitmap dots(16, 16);
  for (auto [copies, written] : {std::pair{1, "Q1\x1bZ"}, std::pair{999999, "Q999999\x1bZ"},
                                 std::pair{5000000, "Q999999\x1bZ"}, std::pair{0, "Q1\x1bZ"}}) {
    const std::string label = lang::sbpl::LabelOfPicture(dots, 203, copies);
    EXPECT_TRUE(label.ends_with(std::string("\x1b") + written)) << copies;
  }
}

}  // namespace
}  // namespace morvel::print

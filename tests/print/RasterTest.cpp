// The languages' raster commands: each encoding read back by the house
// readers (written from the programming guides) gives the same dots, and
// small labels whose bytes were worked out by hand from the guides.
#include <gtest/gtest.h>

#include <functional>

#include "lang/Raster.h"
#include "lang/sbpl/Raster.h"
#include "lang/tspl/Raster.h"
#include "lang/zpl/Graphics.h"
#include "lang/zpl/Raster.h"

namespace morvel::lang {
namespace {

core::Bitmap Drawn(int w, int h, const std::function<bool(int, int)>& black) {
  core::Bitmap dots(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) dots.Set(x, y, black(x, y));
  return dots;
}

// Dots compared within the picture's own width (decoders give whole bytes).
::testing::AssertionResult SameDots(const core::Bitmap& want, const core::Bitmap& got) {
  if (got.Height() != want.Height() || got.Width() < want.Width())
    return ::testing::AssertionFailure() << "got " << got.Width() << " x " << got.Height() << ", want " << want.Width()
                                         << " x " << want.Height();
  for (int y = 0; y < want.Height(); ++y)
    for (int x = 0; x < got.Width(); ++x)
      if (got.Black(x, y) != (x < want.Width() && want.Black(x, y)))
        return ::testing::AssertionFailure() << "dot " << x << "," << y << " differs";
  return ::testing::AssertionSuccess();
}

struct Pattern {
  const char* Name;
  int Width, Height;
  std::function<bool(int, int)> Black;
};

const Pattern Patterns[] = {
    {"White", 203, 40, [](int, int) { return false; }},
    {"Black", 203, 40, [](int, int) { return true; }},
    {"Bars", 812, 60, [](int x, int) { return (x / 3) % 2 == 0; }},
    {"RepeatedRows", 100, 30, [](int x, int y) { return y < 10 ? x % 5 == 0 : x > 50; }},
    {"LongRuns", 3300, 4, [](int x, int y) { return y == 1 ? x < 3000 : (y == 2 && x > 200); }},
    {"Noise", 97, 53, [](int x, int y) { return ((x * 7919 + y * 104729) ^ (x * y)) % 3 == 0; }},
};

TEST(RasterTest, EachEncodingReadsBackAsTheSameDots) {
  for (const auto& p : Patterns) {
    SCOPED_TRACE(p.Name);
    const core::Bitmap dots = Drawn(p.Width, p.Height, p.Black);
    const PackedRows rows = PackRows(dots, 0, dots.Height(), true);
    const long total = static_cast<long>(rows.Bytes.size()), perRow = static_cast<long>(rows.RowBytes);
    std::string why;
    for (const std::string& data : {zpl::Z64Data(rows), zpl::AsciiData(rows)}) {
      auto read = DecodeGraphic('A', data, total, perRow, &why);
      ASSERT_TRUE(read) << why;
      EXPECT_TRUE(SameDots(dots, *read));
    }
    auto pcx = sbpl::DecodePcx(sbpl::Pcx(dots, 0, dots.Height(), 203), &why);
    ASSERT_TRUE(pcx) << why;
    EXPECT_TRUE(SameDots(dots, *pcx));
  }
}

TEST(RasterTest, AsciiCompressionAsTheGuideCountsIt) {
  // Rows FFFF, 0000, 0000, F00F: F digits to a row's end are '!', zeros
  // ',', a row like the one before ':', and two zeros inside a row "H0"
  // (G counts 1).
  core::Bitmap dots = Drawn(16, 4, [](int x, int y) { return y == 0 || (y == 3 && (x < 4 || x >= 12)); });
  EXPECT_EQ(zpl::AsciiData(PackRows(dots, 0, 4, true)), "!,:FH0!");
  // 460 digits of 1: 419 at most a count (z is 400, Y 19), then 41 (h is 40, G 1).
  core::Bitmap ones = Drawn(1840, 1, [](int x, int) { return x % 4 == 3; });
  EXPECT_EQ(zpl::AsciiData(PackRows(ones, 0, 1, true)), "zY1hG1");
}

TEST(RasterTest, SmallLabelsInEachLanguage) {
  // Row 1 black on the left half, row 2 on the right half; two copies.
  const core::Bitmap dots = Drawn(16, 2, [](int x, int y) { return (y == 0) == (x < 8); });
  EXPECT_EQ(zpl::LabelOfPicture(dots, {zpl::GraphicCompression::Ascii, 1024, 2}),
            "^XA^LH0,0^PW16^LL2\n^FO0,0^GFA,4,4,2,HF,H0!^FS\n^PQ2^XZ\n");
  // TSPL: 0 bits print; 16 and 2 dots at 203 dpi are 2.00 and 0.25 mm.
  EXPECT_EQ(tspl::LabelOfPicture(dots, 203, 2), std::string("SIZE 2.00 mm,0.25 mm\r\nCLS\r\nBITMAP 0,0,2,2,0,") +
                                                    std::string("\x00\xFF\xFF\x00", 4) + "\r\nPRINT 1,2\r\n");
  // SBPL: a PCX of 128 header bytes and two lines of two bytes, 0 black:
  // 00 then one FF (a count C1 since FF is above BF); C1 FF then 00.
  const std::string sbpl = sbpl::LabelOfPicture(dots, 203, 2);
  const std::string pcx = sbpl::Pcx(dots, 0, 2, 203);
  ASSERT_EQ(pcx.size(), 134u);
  EXPECT_EQ(pcx.substr(128), std::string("\x00\xC1\xFF\xC1\xFF\x00", 6));
  EXPECT_EQ(pcx.substr(0, 4), std::string("\x0A\x05\x01\x01", 4));
  EXPECT_EQ(sbpl,
            "\x1b"
            "A\x1b"
            "A1V00002H0016\x1bV0000\x1bH0000\x1bGP00134," +
                pcx + "\x1bQ2\x1bZ");
}

TEST(RasterTest, BandsKeepEachGraphicWithinItsBoundAndSkipBlankOnes) {
  // 812 dots wide (102 bytes a row), 1218 rows: bands of 32 KB are 321 rows.
  const core::Bitmap dots = Drawn(812, 1218, [](int x, int y) { return y >= 400 && (x + y) % 3 == 0; });
  const std::string zpl = zpl::LabelOfPicture(dots, {});
  EXPECT_EQ(zpl.find("^FO0,0^GF"), std::string::npos) << "the first band is white";
  EXPECT_NE(zpl.find("^FO0,321^GFA,32742,32742,102,:Z64:"), std::string::npos);
  EXPECT_NE(zpl.find("^FO0,963^GFA,26010,26010,102,:Z64:"), std::string::npos);
  // Busy bands: each PCX within the guide's 32 KB as sent and 64 KB unpacked.
  const core::Bitmap busy = Drawn(812, 1218, Patterns[5].Black);
  const std::string sbpl = sbpl::LabelOfPicture(busy, 203, 1);
  size_t files = 0;
  for (size_t at = sbpl.find("\x1bGP"); at != std::string::npos; at = sbpl.find("\x1bGP", at + 1)) {
    const size_t size = std::stoul(sbpl.substr(at + 3, 5));
    EXPECT_LE(size, sbpl::MaxPcxBytes);
    at += 9 + size;
    ++files;
  }
  EXPECT_GE(files, 2u);
}

}  // namespace
}  // namespace morvel::lang

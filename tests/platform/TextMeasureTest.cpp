// Tests of the fontconfig + FreeType text measure against DejaVu Sans
// (fonts-dejavu-core). Golden values are DejaVu Sans 2.37's own tables
// (2048 units per em; hhea ascender 1901, descender -483; hmtx advances
// '0' 1303, 'W' 2025, 'A' 1401, 'V' 1401, 'E' 1294), so at 2048 pixels per em
// a font unit is a pixel.
#include <fontconfig/fontconfig.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/linux/adapters.h"
#include "support/TestNames.h"
#include "tests/platform/PlatformSupport.h"

namespace morvel::platform {
namespace {

constexpr const char* Face = "DejaVu Sans";

class TextMeasureTest : public morvel::testing::WithFakeServices {
 protected:
  TextExtent Measure(std::u16string_view text, double points = 12, int ppi = 96, bool bold = false) {
    return Text->Measure(FontSpec{Face, points, bold}, text, ppi);
  }
  double Width(std::u16string_view text, double points = 12, int ppi = 96, bool bold = false) {
    return Measure(text, points, ppi, bold).Width;
  }

  std::shared_ptr<TextMeasure> Text = MakeLinuxTextMeasure();
};

TEST_F(TextMeasureTest, FontUnitsAtOnePixelEach) {
  // 2048 points at 72 pixels per inch: 2048 pixels per em.
  EXPECT_DOUBLE_EQ(Width(u"0", 2048, 72), 1303);
  EXPECT_DOUBLE_EQ(Width(u"W", 2048, 72), 2025);
  // No kerning: A and V would move closer together in a kerned line.
  EXPECT_DOUBLE_EQ(Width(u"WAVE", 2048, 72), 2025 + 1401 + 1401 + 1294);
  EXPECT_DOUBLE_EQ(Measure(u"0", 2048, 72).Height, 1901 + 483);
  EXPECT_DOUBLE_EQ(Width(u"WWW"), 3 * Width(u"W"));
}

TEST_F(TextMeasureTest, BoldIsWider) {
  EXPECT_GT(Width(u"Hello", 12, 96, true), Width(u"Hello", 12, 96, false));
  // DejaVu Sans Bold's own advance, not a widened regular '0'.
  EXPECT_DOUBLE_EQ(Width(u"0", 2048, 72, true), 1425);
}

struct LinesCase {
  std::u16string Text;
  int Lines;
  std::u16string WidestLine;
};

void PrintTo(const LinesCase& c, std::ostream* os) { *os << morvel::testing::Identifier(c.Text); }

class TextMeasureLinesTest : public TextMeasureTest, public ::testing::WithParamInterface<LinesCase> {};

TEST_P(TextMeasureLinesTest, HeightCountsLinesWidthTakesTheWidest) {
  const auto& c = GetParam();
  double lineHeight = Measure(u"").Height;
  auto extent = Measure(c.Text);
  EXPECT_DOUBLE_EQ(extent.Height, c.Lines * lineHeight);
  EXPECT_DOUBLE_EQ(extent.Width, Width(c.WidestLine));
}

INSTANTIATE_TEST_SUITE_P(Breaks, TextMeasureLinesTest,
                         ::testing::Values(LinesCase{u"", 1, u""}, LinesCase{u"abc", 1, u"abc"},
                                           LinesCase{u"ab\ncdef", 2, u"cdef"}, LinesCase{u"abcd\r\nef", 2, u"abcd"},
                                           LinesCase{u"ab\rcd", 2, u"ab"}, LinesCase{u"a\n\nbc", 3, u"bc"},
                                           LinesCase{u"ab\r\n\r\nb", 3, u"ab"}, LinesCase{u"ab\n\rb", 3, u"ab"},
                                           LinesCase{u"\n", 2, u""}, LinesCase{u"x\r", 2, u"x"}),
                         [](const auto& info) { return morvel::testing::Identifier(info.param.Text); });

TEST_F(TextMeasureTest, SizeFollowsPointsTimesPixelsPerInch) {
  // The same pixels per em, reached either way, measure the same.
  auto a = Measure(u"Label 123", 24, 72);
  auto b = Measure(u"Label 123", 12, 144);
  EXPECT_EQ(a.Width, b.Width);
  EXPECT_EQ(a.Height, b.Height);
  // Whole pixels per em (12, 24, 48): widths are proportional, heights are
  // so to within the rounding of ascender and descender.
  auto small = Measure(u"Label 123", 12, 72);
  for (int ppi : {144, 288}) {
    auto big = Measure(u"Label 123", 12, ppi);
    double factor = ppi / 72.0;
    EXPECT_NEAR(big.Width, small.Width * factor, small.Width * factor * 1e-3) << ppi;
    EXPECT_NEAR(big.Height, small.Height * factor, factor + 1) << ppi;
  }
}

TEST_F(TextMeasureTest, MissingFamilyIsSubstituted) {
  auto extent = Text->Measure(FontSpec{"No Such Family 7f3a", 12, false}, u"Label", 96);
  EXPECT_GT(extent.Width, 0);
  EXPECT_GT(extent.Height, 0);
}

// Whether any installed face has 中 and 文.
bool HasChineseFont() {
  FcConfig* config = FcInitLoadConfigAndFonts();
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(":charset=4e2d 6587"));
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr);
  FcFontSet* fonts = FcFontList(config, pattern, objects);
  bool found = fonts != nullptr && fonts->nfont > 0;
  if (fonts != nullptr) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  FcConfigDestroy(config);
  return found;
}

TEST_F(TextMeasureTest, CharactersTheFaceLacksComeFromAFaceThatHasThem) {
  if (!HasChineseFont()) GTEST_SKIP() << "no Chinese font installed (fonts-wqy-microhei, fonts-droid-fallback)";
  // Chinese characters are one em wide in every CJK face; DejaVu Sans has
  // none, and its missing-glyph box is narrower.
  double em = 100;
  EXPECT_NEAR(Width(u"中文", em, 72), 2 * em, 0.05 * em);
  EXPECT_NEAR(Width(u"A中", em, 72), Width(u"A", em, 72) + em, 0.05 * em);
  // The line height stays that of the face asked for.
  EXPECT_EQ(Measure(u"中文", em, 72).Height, Measure(u"AB", em, 72).Height);
}

TEST_F(TextMeasureTest, SurrogatePairIsOneCharacter) {
  // A lone surrogate is measured as U+FFFD, which DejaVu Sans has.
  EXPECT_DOUBLE_EQ(Width(std::u16string(1, u'\xD800')), Width(u"\uFFFD"));
  EXPECT_DOUBLE_EQ(Width(u"a\U0001D400b"), Width(u"a") + Width(u"\U0001D400") + Width(u"b"));
  // Read as two lone surrogates it would be two U+FFFD.
  EXPECT_NE(Width(u"\U0001D400"), 2 * Width(u"\uFFFD"));
}

TEST_F(TextMeasureTest, NoSizeGivesZerosAndALogRecord) {
  for (auto [points, ppi] : {std::pair{0.0, 96}, std::pair{12.0, 0}, std::pair{-3.0, 96}}) {
    auto extent = Measure(u"abc", points, ppi);
    EXPECT_EQ(extent.Width, 0);
    EXPECT_EQ(extent.Height, 0);
  }
  EXPECT_EQ(Logged().size(), 3u);
}

}  // namespace
}  // namespace morvel::platform

// The page's dots as they leave the renderer: a page read back mirrored
// and turned in one pass holds what turning its plain dots gives, at every
// width (whole words of eight dots and the odd dots after them); dots put
// on a page land where they were put; and text and symbols drawn again
// (found among those already drawn) are the pictures drawn the first time,
// never another look's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/Page.h"
#include "render/Symbols.h"

namespace morvel {
namespace {

// A page of w x h dots with an uneven pattern: no two rows and no row read
// backwards alike, so a row out of place or reversed shows.
void Pattern(render::Page& page) {
  const int w = page.Width(), h = page.Height();
  core::Bitmap dots(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) dots.Set(x, y, (x * 7 + y * 13 + x * y) % 5 < 2 || x == 0);
  page.Dots(0, 0, dots);
}

std::vector<uint8_t> AllDots(const core::Bitmap& b) {
  std::vector<uint8_t> out;
  for (int y = 0; y < b.Height(); ++y) out.insert(out.end(), b.Row(y), b.Row(y) + b.Width());
  return out;
}

struct Side {
  int W, H;
};

class PageDotsTest : public ::testing::TestWithParam<Side> {};

TEST_P(PageDotsTest, MirroredAndTurnedInOnePassAsTurnedAfter) {
  const auto [w, h] = GetParam();
  render::Page page(w, h, 203);
  Pattern(page);
  const core::Bitmap plain = page.ToBitmap();
  for (bool mirrored : {false, true})
    for (bool turned : {false, true}) {
      core::Bitmap expected = plain;
      if (mirrored) expected.Mirror();
      if (turned) expected.Turn180();
      const core::Bitmap got = page.ToBitmap(mirrored, turned);
      ASSERT_EQ(got.Width(), w);
      ASSERT_EQ(got.Height(), h);
      EXPECT_EQ(AllDots(got), AllDots(expected)) << "mirrored " << mirrored << ", turned " << turned;
    }
}

TEST_P(PageDotsTest, DotsLandWhereTheyArePutAndOffThePageAreDropped) {
  const auto [w, h] = GetParam();
  core::Bitmap dots(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) dots.Set(x, y, (x + 2 * y) % 3 == 0);
  // Put at every offset that leaves part of it on a page of the same size.
  for (int dx : {-w + 1, -1, 0, 1, w - 1})
    for (int dy : {-1, 0, 1}) {
      render::Page page(w, h, 203);
      page.Dots(dx, dy, dots);
      const core::Bitmap got = page.ToBitmap();
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const int sx = x - dx, sy = y - dy;
          const bool expected = sx >= 0 && sx < w && sy >= 0 && sy < h && dots.Black(sx, sy);
          ASSERT_EQ(got.Black(x, y), expected) << x << "," << y << " put at " << dx << "," << dy;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Render, PageDotsTest,
                         ::testing::Values(Side{1, 1}, Side{7, 3}, Side{8, 2}, Side{9, 4}, Side{17, 5}, Side{64, 3},
                                           Side{203, 6}),
                         [](const auto& info) {
                           return std::to_string(info.param.W) + "x" + std::to_string(info.param.H);
                         });

std::vector<uint8_t> Picture(const core::Bitmap& b) {
  std::vector<uint8_t> out = AllDots(b);
  out.push_back(static_cast<uint8_t>(b.Width() & 255));
  out.push_back(static_cast<uint8_t>(b.Height() & 255));
  return out;
}

// Each look differs from the first in one thing only; each is drawn twice,
// after all the others, and must come out as it did the first time and
// unlike the first look.
TEST(DrawnAgain, TextOfEachLookIsItsOwnPicture) {
  struct Look {
    const char* What;
    core::TextLook Look;
    int Rotation;
  };
  const std::vector<Look> looks = {
      {"plain", {"DejaVu Sans", 24, 0, false}, 0},
      {"bold", {"DejaVu Sans", 24, 0, true}, 0},
      {"taller", {"DejaVu Sans", 30, 0, false}, 0},
      {"wider", {"DejaVu Sans", 24, 40, false}, 0},
      {"another face", {"DejaVu Sans Mono", 24, 0, false}, 0},
      {"turned", {"DejaVu Sans", 24, 0, false}, 90},
  };
  const std::string text = "Lot 7 of 12";
  std::vector<std::vector<uint8_t>> first;
  std::vector<int> baselines;
  for (const auto& l : looks) {
    int baseline = -1;
    first.push_back(Picture(render::TextDots(text, l.Look, l.Rotation, &baseline)));
    baselines.push_back(baseline);
    EXPECT_GT(baseline, 0) << l.What;
  }
  for (size_t k = 0; k < looks.size(); ++k) {
    int baseline = -1;
    EXPECT_EQ(Picture(render::TextDots(text, looks[k].Look, looks[k].Rotation, &baseline)), first[k]) << looks[k].What;
    EXPECT_EQ(baseline, baselines[k]) << looks[k].What;
    if (k > 0) {
      EXPECT_NE(first[k], first[0]) << looks[k].What;
    }
  }
  // Another text in the same look is another picture, and its width is its own.
  EXPECT_NE(Picture(render::TextDots("Lot 8 of 12", looks[0].Look, 0)), first[0]);
  EXPECT_EQ(render::TextWidth(text, looks[0].Look), render::TextWidth(text, looks[0].Look));
  EXPECT_LT(render::TextWidth("Lot", looks[0].Look), render::TextWidth(text, looks[0].Look));
  EXPECT_EQ(render::TextWidth(text, looks[0].Look), render::TextDots(text, looks[0].Look, 0).Width());
}

// Large texts, each of tens of kilobytes, until more has been drawn than
// is ever kept at once: what was drawn first and is drawn again comes out
// the same whether it was still kept or not.
TEST(DrawnAgain, TextBeyondWhatIsKeptIsDrawnTheSame) {
  const core::TextLook large{"DejaVu Sans", 120, 0, false};
  const std::vector<uint8_t> first = Picture(render::TextDots("Lot 0", large, 0));
  size_t drawn = 0;
  for (int k = 1; drawn < (4u << 20); ++k) {
    const core::Bitmap b = render::TextDots("Lot " + std::to_string(k), large, 0);
    ASSERT_GT(b.Width(), 0);
    drawn += static_cast<size_t>(b.Width()) * static_cast<size_t>(b.Height());
  }
  EXPECT_EQ(Picture(render::TextDots("Lot 0", large, 0)), first);
}

TEST(DrawnAgain, SymbolsOfEachDataAndSizeAreTheirOwnAndFailuresAreToldEachTime) {
  core::SymbolOptions code128;
  core::SymbolOptions wider = code128;
  wider.Module = 3;
  core::SymbolOptions taller = code128;
  taller.BarHeight = 20;
  core::SymbolOptions maxi;
  maxi.Symbology = core::Symbology::MaxiCode;
  const std::vector<std::pair<core::SymbolOptions, std::string>> symbols = {
      {code128, "12345678"}, {code128, "12345679"}, {wider, "12345678"}, {taller, "12345678"}, {maxi, "12345678"}};
  std::vector<std::vector<uint8_t>> first;
  std::vector<std::string> readables;
  for (const auto& [options, data] : symbols) {
    std::string readable;
    first.push_back(Picture(render::SymbolDots(options, data, nullptr, &readable)));
    readables.push_back(readable);
  }
  for (size_t k = 0; k < symbols.size(); ++k) {
    std::string readable;
    EXPECT_EQ(Picture(render::SymbolDots(symbols[k].first, symbols[k].second, nullptr, &readable)), first[k]) << k;
    EXPECT_EQ(readable, readables[k]) << k;
    for (size_t j = 0; j < k; ++j) EXPECT_NE(first[k], first[j]) << k << " and " << j;
  }
  EXPECT_EQ(readables[0], "12345678");
  // Code 128 cannot take an empty field: told on every call, not only the first.
  for (int k = 0; k < 2; ++k) {
    std::string why;
    EXPECT_EQ(render::SymbolDots(code128, "", &why).Width(), 0);
    EXPECT_FALSE(why.empty()) << "call " << k;
  }
}

}  // namespace
}  // namespace morvel

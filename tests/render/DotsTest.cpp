// The page's dots as they leave the renderer: a page read back mirrored
// and turned in one pass holds what turning its plain dots gives, at every
// width (whole words of eight dots and the odd dots after them); dots put
// on a page land where they were put.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/Page.h"

namespace morvel {
namespace {

// A page of w x h dots with an uneven pattern: no two rows and no row read
// backwards alike, so a row out of place or reversed shows.
void Pattern(render::Page& page) {
  const int w = page.Width(), h = page.Height();
  render::Bitmap dots(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) dots.Set(x, y, (x * 7 + y * 13 + x * y) % 5 < 2 || x == 0);
  page.Dots(0, 0, dots);
}

std::vector<uint8_t> AllDots(const render::Bitmap& b) {
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
  const render::Bitmap plain = page.ToBitmap();
  for (bool mirrored : {false, true})
    for (bool turned : {false, true}) {
      render::Bitmap expected = plain;
      if (mirrored) expected.Mirror();
      if (turned) expected.Turn180();
      const render::Bitmap got = page.ToBitmap(mirrored, turned);
      ASSERT_EQ(got.Width(), w);
      ASSERT_EQ(got.Height(), h);
      EXPECT_EQ(AllDots(got), AllDots(expected)) << "mirrored " << mirrored << ", turned " << turned;
    }
}

TEST_P(PageDotsTest, DotsLandWhereTheyArePutAndOffThePageAreDropped) {
  const auto [w, h] = GetParam();
  render::Bitmap dots(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) dots.Set(x, y, (x + 2 * y) % 3 == 0);
  // Put at every offset that leaves part of it on a page of the same size.
  for (int dx : {-w + 1, -1, 0, 1, w - 1})
    for (int dy : {-1, 0, 1}) {
      render::Page page(w, h, 203);
      page.Dots(dx, dy, dots);
      const render::Bitmap got = page.ToBitmap();
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

}  // namespace
}  // namespace morvel

// The page renderer on its own: fields turned about their origin land in
// the quarter the turn sends them to and still decode; images keep to
// their box when turned.
#include <gtest/gtest.h>

#include <string>

#include "render/Page.h"
#include "support/PageCheck.h"

namespace morvel {
namespace {

struct TurnCase {
  int Degrees;
  bool Left, Up;  // where the field lies from its origin once turned
};

void PrintTo(const TurnCase& c, std::ostream* os) { *os << c.Degrees << " degrees"; }

class TurnedFieldTest : public ::testing::TestWithParam<TurnCase> {};

// A Code 128 field 240 x 80 dots with its text line, and a 40 x 20 dot
// image below it, both turned about (300, 300) on a 600 x 600 page.
TEST_P(TurnedFieldTest, LandsInItsQuarterAndDecodes) {
  const TurnCase& c = GetParam();
  render::Page page(600, 600, 203);
  const std::string data = "TURN-" + std::to_string(c.Degrees);
  const std::vector<uint8_t> black = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};  // 2 x 2
  page.Turned(300, 300, c.Degrees, [&] {
    ASSERT_TRUE(page.Code128(300, 300, 240, 80, data, 20));
    page.Image(300, 400, 40, 20, 2, 2, black.data());
  });
  std::vector<uint8_t> png = render::EncodePng(page.ToBitmap(), 203);
  auto decoded = testing::DecodePage(std::string(png.begin(), png.end()));
  ASSERT_TRUE(decoded.Valid());
  EXPECT_EQ(testing::Barcodes(decoded), std::vector<std::string>{"CODE-128:" + data});
  const int x0 = c.Left ? 0 : 300, y0 = c.Up ? 0 : 300;
  EXPECT_GT(decoded.BlackTotal(), 40u * 20);
  EXPECT_EQ(decoded.BlackInside(x0, y0, x0 + 300, y0 + 300), decoded.BlackTotal());
  // The image: 40 x 20 dots 100 dots from the origin, turned with it.
  const bool sideways = c.Degrees == 90 || c.Degrees == 270;
  const int ix = c.Degrees == 0 ? 300 : c.Degrees == 90 ? 180 : c.Degrees == 180 ? 260 : 400;
  const int iy = c.Degrees == 0 ? 400 : c.Degrees == 90 ? 300 : c.Degrees == 180 ? 180 : 260;
  EXPECT_EQ(decoded.BlackInside(ix, iy, ix + (sideways ? 20 : 40), iy + (sideways ? 40 : 20)), 40u * 20);
}

INSTANTIATE_TEST_SUITE_P(Render, TurnedFieldTest,
                         ::testing::Values(TurnCase{0, false, false}, TurnCase{90, true, false},
                                           TurnCase{180, true, true}, TurnCase{270, false, true}),
                         [](const auto& info) { return "Turned" + std::to_string(info.param.Degrees); });

}  // namespace
}  // namespace morvel

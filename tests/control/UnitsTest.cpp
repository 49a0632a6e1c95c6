// Unit conversions to dots and millimetres, the keyword test and the
// temporary folder. Expected dots are worked by hand from the conversion
// factors (1440 twips per inch, 56.69286 twips per millimetre, 72 points per
// inch); halves are chosen where the double product is exactly .5.
#include "support/FakeEnvironment.h"

namespace morvel {
namespace {

using testing::ExpectError;

class Module1Test : public testing::FakeEnvironment {
 protected:
  void Choose(int dpi) { CurrentPrinter() = platform::InstalledPrinter{u"P", dpi, "file:/tmp"}; }
};

struct DotsCase {
  int Dpi;
  int ScreenPpi;
  Integer Unit;
  Single Value;
  Integer Dots;
};

TEST_F(Module1Test, ConvertToDotsTable) {
  const DotsCase cases[] = {
      {203, 96, Module1::UnitMillimetres, 10, 80},    // 79.92
      {203, 96, Module1::UnitMillimetres, 50, 400},   // 399.61
      {203, 96, Module1::UnitMillimetres, 100, 799},  // 799.21
      {203, 96, Module1::UnitPoints, 12, 34},         // 33.83
      {203, 96, Module1::UnitPixels, 100, 211},       // 211.46
      {300, 96, Module1::UnitMillimetres, 10, 118},   // 118.11
      {300, 96, Module1::UnitPoints, 12, 50},         // exactly 50
      {203, 96, Module1::UnitPoints, 36, 102},        // 101.5 -> even
      {203, 96, Module1::UnitPoints, 108, 304},       // 304.5 -> even
      {203, 96, Module1::UnitPixels, 48, 102},        // 101.5 -> even
      {203, 96, Module1::UnitPixels, 144, 304},       // 304.5 -> even
      {300, 120, Module1::UnitPixels, 1, 2},          // 2.5 -> even
      {300, 120, Module1::UnitPixels, 3, 8},          // 7.5 -> even
      {300, 120, Module1::UnitPixels, 5, 12},         // 12.5 -> even
      {203, 96, Module1::UnitPixels, -48, -102},      // negative halves too
      {203, 96, Module1::UnitPixels, 0, 0},
      {300, 96, Module1::UnitMillimetres, 2774, 32764},
      {203, 96, 1, 100, 0},  // unknown units give 0
      {203, 96, 5, 100, 0},
      {203, 96, 0, 100, 0},
  };
  for (const auto& c : cases) {
    Choose(c.Dpi);
    Fakes.ScreenInfo->Ppi = c.ScreenPpi;
    Single value = c.Value;
    Integer unit = c.Unit;
    EXPECT_EQ(Module1::ConvertToDots(value, unit), c.Dots)
        << c.Dpi << " dpi, screen " << c.ScreenPpi << ", unit " << c.Unit << ", value " << c.Value;
    EXPECT_EQ(value, c.Value) << "the value is not changed";
    EXPECT_EQ(unit, c.Unit) << "the unit is not changed";
  }
}

TEST_F(Module1Test, ConvertToDotsWithoutPrinterIsZeroForEveryUnit) {
  for (Integer unit : {Module1::UnitPoints, Module1::UnitPixels, Module1::UnitMillimetres, Integer(1)}) {
    Single value = 1e30f;  // would overflow with a printer
    EXPECT_EQ(Module1::ConvertToDots(value, unit), 0);
  }
}

TEST_F(Module1Test, ConvertToDotsOverflowRaises6) {
  Choose(300);
  const std::pair<Integer, Single> cases[] = {
      {Module1::UnitMillimetres, 2775}, {Module1::UnitMillimetres, -3000}, {Module1::UnitPoints, 1e30f},
      {Module1::UnitPixels, 3.4e38f},   {Module1::UnitPixels, 1e9f},
  };
  for (auto [unit, v] : cases) {
    Single value = v;
    ExpectError(errors::Overflow, [&] { Module1::ConvertToDots(value, unit); });
  }
  Single nan = std::numeric_limits<Single>::quiet_NaN();
  Integer unit = Module1::UnitPixels;
  ExpectError(errors::Overflow, [&] { Module1::ConvertToDots(nan, unit); });
}

TEST_F(Module1Test, ResolutionIsReadAtEveryConversion) {
  Choose(203);
  Single value = 10;
  Integer unit = Module1::UnitMillimetres;
  EXPECT_EQ(Module1::ConvertToDots(value, unit), 80);
  CurrentPrinter()->Dpi = 600;
  EXPECT_EQ(Module1::ConvertToDots(value, unit), 236);
}

TEST_F(Module1Test, ConvertToMillimetres) {
  struct {
    Integer Unit;
    Single Value;
    double Mm;
  } cases[] = {
      {Module1::UnitPoints, 12, 4.2333333},
      {Module1::UnitPixels, 100, 26.4583333},
      {Module1::UnitMillimetres, 12, 0},
      {1, 12, 0},
  };
  for (auto c : cases) {
    Single value = c.Value;
    Integer unit = c.Unit;
    EXPECT_NEAR(Module1::ConvertToMillimetres(value, unit), c.Mm, 1e-6) << c.Unit;
  }
  Fakes.ScreenInfo->Ppi = 120;
  Single value = 120;
  Integer unit = Module1::UnitPixels;
  EXPECT_DOUBLE_EQ(Module1::ConvertToMillimetres(value, unit), 25.4);
}

TEST_F(Module1Test, ContainsAnyKeyword) {
  struct {
    std::vector<String> Keywords;
    String Text;
    Integer Found;
  } cases[] = {
      {{u"ZDesigner ZT410R"}, u"ZDesigner ZT410R-300dpi ZPL", 1},
      {{u"ZDesigner ZT410R"}, u"zdesigner zt410r-300dpi zpl", 0},  // case-sensitive
      {{u"a", u"ZT410R"}, u"ZDesigner ZT410R", 1},                 // any keyword
      {{}, u"anything", 0},
      {{u""}, u"x", 1},  // an empty keyword is found in any non-empty text
      {{u""}, u"", 0},
      {{u"SATO CL4NX"}, u"SATO CL4NX 305dpi", 1},
      {{u"SATO CL4NX"}, u"SATO CL4 NX", 0},
  };
  for (auto& c : cases) EXPECT_EQ(Module1::ContainsAnyKeyword(c.Keywords, c.Text), c.Found) << ToUtf8(c.Text);
}

TEST_F(Module1Test, GetTempFolder) {
  Fakes.Temp->Folder = "/var/tmp/";
  EXPECT_EQ(Module1::GetTempFolder(), u"/var/tmp/");
  Fakes.Temp->Folder = "/";
  EXPECT_EQ(Module1::GetTempFolder(), u"") << "a path shorter than 2 gives the empty text";
  Fakes.Temp->Folder = "/tmp/临时/";
  EXPECT_EQ(Module1::GetTempFolder(), u"/tmp/临时/");
}

}  // namespace
}  // namespace morvel

// Text <-> number conversions with the user's decimal separator.
#include "drivers/Numbers.h"
#include "support/FakeEnvironment.h"

namespace morvel {
namespace {

using testing::ExpectError;

class NumbersTest : public testing::FakeEnvironment {};

TEST_F(NumbersTest, ParseAccepted) {
  struct {
    const char16_t* Text;
    double Value;
  } cases[] = {
      {u"0", 0},      {u"42", 42},     {u" 7 ", 7},   {u"-3.5", -3.5},  {u"+2", 2},  {u".5", 0.5},   {u"5.", 5},
      {u"1E3", 1000}, {u"1e-2", 0.01}, {u"2D2", 200}, {u"1.5E+2", 150}, {u"\t9", 9}, {u"1e-400", 0}, {u"0000012", 12},
  };
  for (auto c : cases) EXPECT_DOUBLE_EQ(numbers::ParseDouble(c.Text), c.Value) << ToUtf8(c.Text);
}

TEST_F(NumbersTest, ParseRejected) {
  for (const char16_t* text :
       {u"", u" ", u"abc", u"1,5", u"1.2.3", u"--1", u"1e", u"e5", u"12abc", u"0x10", u"1 2", u".", u"-", u"\u0661"}) {
    ExpectError(errors::TypeMismatch, [&] { numbers::ParseDouble(text); });
  }
  ExpectError(errors::Overflow, [&] { numbers::ParseDouble(u"1e400"); });
}

TEST_F(NumbersTest, UserDecimalSeparator) {
  Fakes.Numbers->Separator = u',';
  EXPECT_DOUBLE_EQ(numbers::ParseDouble(u"1,5"), 1.5);
  ExpectError(errors::TypeMismatch, [&] { numbers::ParseDouble(u"1.5"); });
  EXPECT_EQ(numbers::FormatSingle(2.5f), u"2,5");
  EXPECT_EQ(numbers::FormatDouble(1.0 / 3), u"0,333333333333333");
}

TEST_F(NumbersTest, NarrowingRoundsHalvesToEvenAndChecksRange) {
  struct {
    double Value;
    Integer Expected;
  } cases[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},         {-0.5, 0},         {-1.5, -2},
               {50.5, 50}, {51.5, 52}, {32767.4, 32767}, {-32768.5, -32768}};
  for (auto c : cases) EXPECT_EQ(numbers::ToInteger(c.Value), c.Expected) << c.Value;
  for (double v : {32767.5, -32768.6, 1e10, std::numeric_limits<double>::infinity()})
    ExpectError(errors::Overflow, [&] { numbers::ToInteger(v); });
  EXPECT_EQ(numbers::ToLong(2147483647.0), 2147483647);
  ExpectError(errors::Overflow, [&] { numbers::ToLong(2147483647.5); });
  ExpectError(errors::Overflow, [&] { numbers::ToSingle(1e39); });
  EXPECT_EQ(numbers::ToSingle(3.4028234e38), std::numeric_limits<float>::max());
}

TEST_F(NumbersTest, ShortestForms) {
  struct {
    double Value;
    int Digits;
    const char* Text;
  } cases[] = {
      {3, 15, "3"},
      {2.5, 15, "2.5"},
      {1.0 / 3, 15, "0.333333333333333"},
      {2.0 / 3, 15, "0.666666666666667"},
      {0.1 + 0.2, 15, "0.3"},
      {123456789012345, 15, "123456789012345"},
      {1e15, 15, "1E+15"},
      {1e20, 15, "1E+20"},
      {0.0001, 15, "0.0001"},
      {0.00001, 15, "1E-05"},
      {-1.25e-7, 15, "-1.25E-07"},
      {0, 15, "0"},
      {static_cast<float>(0.1), 7, "0.1"},
      {static_cast<float>(5.5), 7, "5.5"},
      {static_cast<float>(1.0 / 3), 7, "0.3333333"},
      {1234567, 7, "1234567"},
      {12345678, 7, "1.234568E+07"},
      {100, 7, "100"},
  };
  for (auto c : cases) EXPECT_EQ(numbers::FormatDoubleAscii(c.Value, c.Digits), c.Text) << c.Value;
}

}  // namespace
}  // namespace morvel

// ZPL rules that shape single fields, each against what the programming
// guide says: justified field blocks, the character sets of ^CI, Code 128's
// extra mod-10 check digit, retail symbols' guard bars and digit groups,
// MaxiCode's structured append; read back by dots, zbar and ZXing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "lang/Reading.h"
#include "preview/Preview.h"
#include "render/Page.h"
#include "support/PageCheck.h"
#include "support/RunCommand.h"
#include "support/TempFolder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

core::Bitmap Only(const std::string& job) {
  auto labels = lang::ReadJob(job, lang::Language::Zpl, 203).Labels;
  EXPECT_EQ(labels.size(), 1u) << job;
  return labels.empty() ? core::Bitmap(1, 1) : preview::Paint(labels[0], 203);
}

// First and last inked column of rows [y0, y1); {-1, -1} when none.
std::pair<int, int> InkAcross(const core::Bitmap& dots, int y0, int y1, int x0 = 0, int x1 = INT32_MAX) {
  int first = -1, last = -1;
  for (int y = std::max(0, y0); y < std::min(dots.Height(), y1); ++y)
    for (int x = std::max(0, x0); x < std::min(dots.Width(), x1); ++x)
      if (dots.Black(x, y)) {
        if (first < 0 || x < first) first = x;
        last = std::max(last, x);
      }
  return {first, last};
}

// Rows holding ink, as runs [first, end).
std::vector<std::pair<int, int>> Lines(const core::Bitmap& dots) {
  std::vector<std::pair<int, int>> runs;
  bool in = false;
  for (int y = 0; y < dots.Height(); ++y) {
    bool any = InkAcross(dots, y, y + 1).first >= 0;
    if (any && !in) runs.push_back({y, y + 1});
    if (any) runs.back().second = y + 1;
    in = any;
  }
  return runs;
}

// A block of 300 dots from x = 10: justified lines reach both edges, the
// paragraph's last line (and one that \& ends) stays left; other
// justifications are unchanged by it.
// Parameters the guide gives in whole dots (^FO and ^FT positions, ^GB
// sizes and thickness, ^A heights and widths, ^BY's module width, ^BC's
// height), written with decimals as label software writes them: the printer
// reads the digits before the point, so each job draws as its whole-dot twin.
TEST(ZplNumbers, DecimalsInWholeDotParametersReadAsTheirIntegerPart) {
  const std::pair<const char*, const char*> cases[] = {
      {"^FO18.64,81.5^GB100.9,50.2,3.76^FS", "^FO18,81^GB100,50,3^FS"},
      {"^FO.5,10.^GB40,40,40^FS", "^FO0,10^GB40,40,40^FS"},
      {"^FT20.9,120.4^A0N,40.5,30.2^FDWord^FS", "^FT20,120^A0N,40,30^FDWord^FS"},
      {"^FO10,10^BY2.7^BCN,50.9,N^FD12345^FS", "^FO10,10^BY2^BCN,50,N^FD12345^FS"},
  };
  for (const auto& [decimal, whole] : cases) {
    SCOPED_TRACE(decimal);
    const std::string frame = "^XA^PW400^LL200";
    const core::Bitmap a = Only(frame + decimal + "^XZ"), b = Only(frame + whole + "^XZ");
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    size_t differ = 0;
    for (int y = 0; y < a.Height(); ++y)
      for (int x = 0; x < a.Width(); ++x) differ += a.Black(x, y) != b.Black(x, y);
    EXPECT_EQ(differ, 0u);
    EXPECT_GT(InkAcross(b, 0, b.Height()).first, -1);
  }
}

// A label whose job gives no width (^PW) or length (^LL) prints on the
// media: the printer's labels, 4 x 6 inches unless told; as long as its
// fields reach where that is longer, since the length is a guess.
TEST(ZplMedia, LabelsWithoutASizeTakeTheMedias) {
  const struct {
    const char* Job;
    preview::Media Media;
    int Width, Height;  // 0: longer than the media
  } cases[] = {
      {"^XA^FO10,10^GB100,100,5^FS^XZ", {}, 812, 1218},
      {"^XA^FO10,10^GB100,100,5^FS^XZ", {400, 240}, 400, 240},
      {"^XA^PW300^FO10,10^GB100,100,5^FS^XZ", {}, 300, 1218},
      {"^XA^LL500^FO10,10^GB100,100,5^FS^XZ", {400, 240}, 400, 500},
      {"^XA^FO10,1250^GB100,100,5^FS^XZ", {}, 812, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Job);
    const auto labels = lang::ReadJob(c.Job, lang::Language::Zpl, 203).Labels;
    ASSERT_EQ(labels.size(), 1u);
    const core::Bitmap dots = preview::Paint(labels[0], 203, nullptr, c.Media);
    EXPECT_EQ(dots.Width(), c.Width);
    if (c.Height > 0)
      EXPECT_EQ(dots.Height(), c.Height);
    else
      EXPECT_GE(dots.Height(), 1350);
  }
  const testing::TempFolder temp("morvel-media");
  const fs::path& dir = temp.Path();
  std::ofstream(dir / "job.zpl") << cases[0].Job;
  const auto run =
      testing::RunCommandIn(dir, "'" MORVEL_BINARY_DIR "/bin/morvel' preview --width 50 --height 30 job.zpl");
  EXPECT_EQ(run.Status, 0) << run.Err;
  std::ifstream png(dir / "job-1.png", std::ios::binary);
  const auto page = testing::DecodePage(std::string((std::istreambuf_iterator<char>(png)), {}));
  EXPECT_EQ(page.Width, 400);
  EXPECT_EQ(page.Height, 240);
}

// A format of settings alone prints no label on the printer (so no blank
// picture); its settings are told, and the next format is the first label.
TEST(ZplFormats, AFormatWithoutFieldsPrintsNoLabel) {
  const auto job = lang::ReadJob(
      "^XA~TA000~JSN^LT0^MNW^PON^JUS^XZ^XA^FO10,10^GB50,50,5^FS^XZ^XA^FO10,10^GFA,2,2,1,"
      ":B64:!!!!:0000^FS^XZ",
      lang::Language::Zpl, 203);
  // The third format's graphic is damaged and left out, but it has a field:
  // the printer feeds a label for it.
  ASSERT_EQ(job.Labels.size(), 2u);
  EXPECT_EQ(job.Labels[0].Fields.size(), 1u);
  ASSERT_FALSE(job.Warnings.empty());
  EXPECT_EQ(job.Warnings[0].Offset, 0u);
  EXPECT_EQ(job.Warnings[0].Text.rfind("a format without fields prints no label (", 0), 0u) << job.Warnings[0].Text;
  EXPECT_FALSE(job.Labels[0].Notes.empty());
}

// Each format without fields tells its own settings alone, however many
// such formats came before it, and a format of many settings counts the
// rest: a job's warnings grow with the job, not with its square.
TEST(ZplFormats, AFormatWithoutFieldsTellsItsOwnSettingsOnly) {
  std::string job;
  const int formats = 3000;
  for (int k = 0; k < formats; ++k) job += "^XA^MD" + std::to_string(k % 30) + "^XZ";
  std::string many = "^XA";
  for (int k = 0; k < 200; ++k) many += "^PR" + std::to_string(2 + k % 10);
  job += many + "^XZ^XA^FO10,10^GB50,50,5^FS^XZ";
  const auto read = lang::ReadJob(job, lang::Language::Zpl, 203);
  ASSERT_EQ(read.Labels.size(), 1u);
  ASSERT_EQ(read.Warnings.size(), size_t(formats) + 1);
  for (int k = 0; k < formats; ++k) {
    const std::string& text = read.Warnings[k].Text;
    ASSERT_EQ(text, "a format without fields prints no label (media darkness (^MD" + std::to_string(k % 30) +
                        "): not in the picture)")
        << "format " << k;
  }
  const std::string& last = read.Warnings[formats].Text;
  EXPECT_LT(last.size(), 400u) << last;
  EXPECT_NE(last.find(" more)"), std::string::npos) << last;
  EXPECT_EQ(last.find("^MD"), std::string::npos) << last;
}

TEST(ZplBlocks, JustifiedLinesSpreadToTheBlockAndParagraphEndsStayLeft) {
  std::string words = "Iii";
  for (int k = 0; k < 29; ++k) words += " Iii";
  struct Case {
    std::string Data;
    int ParagraphEnds;  // lines that end a paragraph, counted from the last
  };
  const std::vector<Case> cases = {{words, 1}, {words + "\\&Iii Iii Iii", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Data);
    auto block = [&](char justify) {
      return Only(std::string("^XA^FO10,10^FB300,6,4,") + justify + "^A0N,30,30^FD" + c.Data + "^FS^XZ");
    };
    const auto left = block('L'), justified = block('J');
    const auto lines = Lines(justified);
    ASSERT_EQ(lines.size(), Lines(left).size());
    ASSERT_GE(lines.size(), 3u);
    for (size_t k = 0; k < lines.size(); ++k) {
      const auto [x0, x1] = InkAcross(justified, lines[k].first, lines[k].second);
      const auto [l0, l1] = InkAcross(left, lines[k].first, lines[k].second);
      EXPECT_EQ(x0, l0) << "line " << k;
      if (k + c.ParagraphEnds < lines.size()) {
        EXPECT_GE(x1, 300) << "line " << k;
        EXPECT_LE(x1, 310) << "line " << k;
        EXPECT_LT(l1, 295) << "line " << k;
      } else {
        EXPECT_EQ(x1, l1) << "line " << k;  // a paragraph's last line stays left
      }
    }
  }
  // A line of one word has nothing to spread.
  const auto one = Only("^XA^FO10,10^FB300,2,0,J^A0N,30,30^FDIiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii Iii^FS^XZ");
  EXPECT_LT(InkAcross(one, 0, 45).second, 300);
}

// ^CI 0 to 12 change the characters at twelve ASCII places; 13 is code
// page 850 whole. ^CI13 is needed to print a backslash; under the default
// set it prints a cent sign. A field block's \& is a line break in any set.
TEST(ZplCharacterSets, NationalSetsPutTheirCharactersAtTheTwelvePlaces) {
  const std::vector<std::pair<int, std::string>> sets = {
      {0, "#$@[¢]^`{|}~"},  {1, "#$@⅓¢⅔^`¼½¾~"},  {2, "£$@[¢]^`{|}~"},  {3, "ƒ$§[Ĳ]^`{ĳ}~"},   {4, "#$@ÆØÅ^`æøå~"},
      {5, "#¤ÉÄÖÅÜéäöåü"},  {6, "#$§ÄÖÜ^`äöüß"},  {7, "£$à[ç]^`é|ù¨"},  {8, "#$àâçêîôéùèû"},   {9, "£$§[çé^ùàòèì"},
      {10, "#$§¡Ñ¿^`{ñç~"}, {11, "£$ÉÄÖÜ^äëïöü"}, {12, "#$@[¥]^`{|}~"}, {13, "#$@[\\]^`{|}~"},
  };
  for (const auto& [ci, want] : sets) {
    SCOPED_TRACE(ci);
    // The caret is moved away so that ^ itself can be data.
    const auto job = lang::ReadJob("^XA^CC+ +CI" + std::to_string(ci) + "+FO10,10+A0N,30,30+FD#$@[\\]^`{|}~+FS+XZ",
                                   lang::Language::Zpl, 203);
    ASSERT_EQ(job.Labels.size(), 1u);
    ASSERT_EQ(job.Labels[0].Fields.size(), 1u);
    EXPECT_EQ(std::get<lang::TextField>(job.Labels[0].Fields[0]).Utf8, want);
  }
  // Remapping pairs s,d: sending d prints the character at s. The guide's
  // own example puts the euro (21) on the dollar sign (36).
  const std::vector<std::pair<std::string, std::string>> remaps = {
      {"^CI0,21,36", "€1A"}, {"^CI0,65,36", "A1A"}, {"^CI0,65,36,36,65", "A1$"}, {"^CI0", "$1A"}};
  for (const auto& [command, want] : remaps) {
    auto remapped = lang::ReadJob("^XA" + command + "^FO10,10^A0N,30,30^FD$1A^FS^XZ", lang::Language::Zpl, 203);
    ASSERT_EQ(remapped.Labels.size(), 1u);
    EXPECT_EQ(std::get<lang::TextField>(remapped.Labels[0].Fields[0]).Utf8, want) << command;
  }
  EXPECT_EQ(Lines(Only("^XA^CI0^FO10,10^FB300,3^A0N,30,30^FDAB\\&CD\\&EF^FS^XZ")).size(), 3u);
}

// The bitmap fonts at their cells: five capital Hs stand at the pitch of
// the guide's font table (width plus gap: A 6, B 9, C and D 12, E 20, F 16,
// G 48, H 19 dots), from the field's left; capitals sit on the baseline,
// and in the capitals-only fonts B and H they fill the cell, where lower
// case is printed as capitals.
TEST(ZplFonts, BitmapFontsTakeTheirCellsAndPitch) {
  struct Case {
    char Font;
    int Cell, Width, Pitch;
    bool CapitalsOnly;
  };
  const std::vector<Case> fonts = {{'A', 9, 5, 6, false},    {'B', 11, 7, 9, true},    {'C', 18, 10, 12, false},
                                   {'D', 18, 10, 12, false}, {'E', 28, 15, 20, false}, {'F', 26, 13, 16, false},
                                   {'G', 60, 40, 48, false}, {'H', 21, 13, 19, true}};
  for (const auto& f : fonts) {
    SCOPED_TRACE(f.Font);
    const auto dots = Only(std::string("^XA^FO20,10^A") + f.Font + "N^FDHHHHH^FS^XZ");
    const auto [x0, x1] = InkAcross(dots, 0, dots.Height());
    // The H's stems: the first near the field's left, the last one pitch
    // short of five.
    EXPECT_NEAR(x0, 20, 1 + f.Width / 5);
    EXPECT_NEAR(x1 + 1 - x0, 4 * f.Pitch + f.Width, 1 + f.Width / 2);
    const auto rows = Lines(dots);
    ASSERT_EQ(rows.size(), 1u);
    const int top = f.CapitalsOnly ? 10 : 10 + f.Cell - static_cast<int>(std::lround(f.Cell * 0.78)) - 1,
              bottom = 10 + (f.CapitalsOnly ? f.Cell : static_cast<int>(std::lround(f.Cell * 0.78)));
    EXPECT_EQ(rows[0].second, bottom);
    if (f.CapitalsOnly) {
      EXPECT_NEAR(rows[0].first, top, 1);
    }
  }
  const auto lower =
      lang::ReadJob("^XA^FO10,10^ABN^FDHome Delivery^FS^FO10,40^ADN^FDHome^FS^XZ", lang::Language::Zpl, 203);
  ASSERT_EQ(lower.Labels.size(), 1u);
  EXPECT_EQ(std::get<lang::TextField>(lower.Labels[0].Fields[0]).Utf8, "HOME DELIVERY");
  EXPECT_EQ(std::get<lang::TextField>(lower.Labels[0].Fields[1]).Utf8, "Home");
}

char Mod10(const std::string& digits) {
  int sum = 0, weight = 3;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it, weight = 4 - weight) sum += (*it - '0') * weight;
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::vector<std::string> Read(const core::Bitmap& dots) {
  testing::DecodedPage page;
  constexpr int margin = 20;
  page.Width = dots.Width() + 2 * margin;
  page.Height = dots.Height() + 2 * margin;
  page.Grey.assign(static_cast<size_t>(page.Width) * page.Height, 255);
  for (int y = 0; y < dots.Height(); ++y)
    for (int x = 0; x < dots.Width(); ++x)
      if (dots.Black(x, y)) page.Grey[static_cast<size_t>(y + margin) * page.Width + x + margin] = 0;
  return testing::Barcodes(page);
}

// e = Y adds the mod-10 check digit of the data to Code 128 (its own
// mod-103 check is always there), in mode N as in mode A; e = N does not.
TEST(ZplCode128, CheckDigitParameterAddsTheMod10Digit) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"^BCN,80,N,N,Y^FD1234", std::string("1234") + Mod10("1234")},
      {"^BCN,80,N,N,N^FD1234", "1234"},
      {"^BCN,80,N,N,Y,A^FD>;400000123", std::string("400000123") + Mod10("400000123")},
      {"^BCN,80,N,N^FD98765", "98765"},
      {"^BCN,80,N,N,Y^FDAB12", "AB12"},  // letters have no mod-10 digit
  };
  for (const auto& [field, want] : cases) {
    SCOPED_TRACE(field);
    const auto read = Read(Only("^XA^FO20,20^BY2" + field + "^FS^XZ"));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0], "CODE-128:" + want);
  }
}

// EAN-13, EAN-8, UPC-A and UPC-E at ^FO100,50, modules of 2 dots, bars 60
// tall: the guard bars (and UPC-A's first and last digits' bars) run 5
// modules (10 dots) below the data bars; the digits stand between the
// guards, the number system digit left of the bars and UPC's check digit
// right of them; the symbol still reads.
TEST(ZplRetailSymbols, GuardBarsRunLongerAndDigitsStandInTheirGroups) {
  struct Case {
    const char* Field;
    int Modules;
    std::vector<std::pair<int, int>> Guards;  // modules [first, end)
    bool Left, Right;                         // a digit outside the bars
    std::string Reads;
  };
  const std::vector<Case> cases = {
      {"^BEN,60,Y,N^FD590123412345", 95, {{0, 3}, {45, 50}, {92, 95}}, true, false, "EAN-13:5901234123457"},
      {"^B8N,60,Y,N^FD5512345", 67, {{0, 3}, {31, 36}, {64, 67}}, false, false, "EAN-8:55123457"},
      {"^BUN,60,Y,N^FD07000002198", 95, {{0, 10}, {45, 50}, {85, 95}}, true, true, "UPC-A:070000021985"},
      {"^B9N,60,Y,N^FD0123456", 51, {{0, 3}, {45, 51}}, true, true, "UPC-E:01234565"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Field);
    const auto dots = Only(std::string("^XA^FO100,50^BY2") + c.Field + "^FS^XZ");
    const int x0 = 100, right = x0 + 2 * c.Modules;
    EXPECT_EQ(InkAcross(dots, 50, 51).first, x0);
    EXPECT_EQ(InkAcross(dots, 50, 51).second, right - 1);
    for (int x = x0; x < right; ++x) {
      if (!dots.Black(x, 50)) continue;
      int bottom = 50;
      while (bottom < dots.Height() && dots.Black(x, bottom)) ++bottom;
      const int module = (x - x0) / 2;
      bool guard = false;
      for (const auto& [first, end] : c.Guards) guard = guard || (module >= first && module < end);
      ASSERT_EQ(bottom, guard ? 120 : 110) << "module " << module;
    }
    // Digits: under the bars, never under the centre guard; outside them
    // where the symbology puts its outer digits.
    const auto& centre = c.Guards[1];
    EXPECT_EQ(InkAcross(dots, 121, 150, x0 + 2 * centre.first, x0 + 2 * centre.second).first, -1);
    EXPECT_GE(InkAcross(dots, 111, 150, x0, right).first, 0);
    EXPECT_EQ(InkAcross(dots, 50, 150, 0, x0).first >= 0, c.Left);
    EXPECT_EQ(InkAcross(dots, 50, 150, right, INT32_MAX).first >= 0, c.Right);
    const auto read = Read(dots);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0], c.Reads);
  }
  // ^FT places the data bars' bottom left corner; the guards go below it.
  const auto placed = Only("^XA^FT100,200^BY2^BEN,60,N^FD590123412345^FS^XZ");
  EXPECT_TRUE(placed.Black(100, 199));
  EXPECT_TRUE(placed.Black(100, 209));
  EXPECT_FALSE(placed.Black(100, 210));
  EXPECT_FALSE(placed.Black(100, 139));
}

std::string Shell(const std::string& command) { return morvel::testing::ShellOutput(command); }

// ^BDm,n,t: symbol n of t. ZXing tells the structured append it reads.
TEST(ZplMaxiCode, StructuredAppendReachesTheSymbol) {
  if (Shell("command -v ZXingReader 2>/dev/null").empty()) GTEST_SKIP() << "no ZXingReader";
  const testing::TempFolder temp("morvel-maxi");
  const fs::path png = temp / "maxi.png";
  const std::string data =
      "001840152382802 [)>_1E01_1D961Z00004951_1DUPSN_1D06X610_1D159_1D1234567_1D1/1_1D_1DY_1D_1D_1DUT_1E_04";
  struct Case {
    const char* Command;
    const char* Told;  // what ZXing says of the sequence; empty: none
  };
  const std::vector<Case> cases = {
      {"^BD2,2,3", "symbol 2 of 3"}, {"^BD2,1,2", "symbol 1 of 2"}, {"^BD2", ""}, {"^BD3,4,4", "symbol 4 of 4"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Command);
    std::string job = std::string("^XA^FO20,20") + c.Command + "^FH^FD" + data + "^FS^XZ";
    if (std::string(c.Command).rfind("^BD3", 0) == 0)
      job = std::string("^XA^FO20,20") + c.Command + "^FH^FD066826B1A2C3D [)>_1E01_04^FS^XZ";
    const auto bytes = render::EncodePng(Only(job), 203);
    std::ofstream(png, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const std::string told = Shell("ZXingReader -format MaxiCode " + png.string() + " 2>/dev/null");
    EXPECT_NE(told.find("MaxiCode"), std::string::npos) << told;
    const size_t at = told.find("Structured Append");
    if (*c.Told == '\0') {
      EXPECT_EQ(at, std::string::npos) << told;
    } else {
      ASSERT_NE(at, std::string::npos) << told;
      EXPECT_NE(told.find(c.Told, at), std::string::npos) << told;
    }
  }
}

}  // namespace
}  // namespace morvel

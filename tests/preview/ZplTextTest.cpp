// The text of ZPL previews against the programming guide's own words: ^FB
// field blocks (width, lines, spacing, justification, hanging indent, word
// wrap and hyphens, \& and the other escapes, ^FO and ^FT, rotation), ^TB
// text blocks, the scalable font 0's height and width (^A0, ^CF), and the
// character sets of ^CI with ^FH. Each case is drawn by the real renderer
// and read back by its ink; a few by tesseract, one from the shared samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <unistd.h>

#include "lang/Reading.h"
#include "preview/Preview.h"
#include "support/RunCommand.h"
#include "support/SameDots.h"
#include "support/SharedSamples.h"
#include "support/TempFolder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

struct Drawn {
  core::Bitmap Dots;
  std::vector<lang::TextField> Texts;
  std::vector<std::string> Warnings;
};

// One label of 400 x 400 dots around the fields.
Drawn Draw(const std::string& fields) {
  Drawn d;
  const auto job = lang::ReadJob("^XA^PW400^LL400" + fields + "^XZ", lang::Language::Zpl, 203);
  for (const auto& w : job.Warnings) d.Warnings.push_back(w.Text);
  if (job.Labels.size() != 1) {
    ADD_FAILURE() << "not one label: " << fields;
    d.Dots = core::Bitmap(1, 1);
    return d;
  }
  for (const auto& f : job.Labels[0].Fields)
    if (auto* t = std::get_if<lang::TextField>(&f)) d.Texts.push_back(*t);
  d.Dots = preview::Paint(job.Labels[0], 203);
  return d;
}

struct Box {
  int X0 = -1, Y0 = -1, X1 = -1, Y1 = -1;  // inked [X0, X1] x [Y0, Y1]; -1: none
  int Width() const { return X0 < 0 ? 0 : X1 - X0 + 1; }
  int Height() const { return Y0 < 0 ? 0 : Y1 - Y0 + 1; }
};

Box InkIn(const core::Bitmap& dots, int x0 = 0, int y0 = 0, int x1 = INT32_MAX, int y1 = INT32_MAX) {
  Box b;
  for (int y = std::max(0, y0); y < std::min(dots.Height(), y1); ++y)
    for (int x = std::max(0, x0); x < std::min(dots.Width(), x1); ++x)
      if (dots.Black(x, y)) {
        if (b.X0 < 0) b = {x, y, x, y};
        b = {std::min(b.X0, x), std::min(b.Y0, y), std::max(b.X1, x), std::max(b.Y1, y)};
      }
  return b;
}

// Runs of inked rows (of columns when `across` is false), [first, end).
std::vector<std::pair<int, int>> Bands(const core::Bitmap& dots, bool rows = true) {
  std::vector<std::pair<int, int>> runs;
  const int n = rows ? dots.Height() : dots.Width(), m = rows ? dots.Width() : dots.Height();
  bool in = false;
  for (int i = 0; i < n; ++i) {
    bool any = false;
    for (int j = 0; j < m && !any; ++j) any = rows ? dots.Black(j, i) : dots.Black(i, j);
    if (any && !in) runs.push_back({i, i + 1});
    if (any) runs.back().second = i + 1;
    in = any;
  }
  return runs;
}

// Black dots from row y0 down.
size_t Black(const core::Bitmap& dots, int y0) {
  size_t n = 0;
  for (int y = std::max(0, y0); y < dots.Height(); ++y)
    for (int x = 0; x < dots.Width(); ++x) n += dots.Black(x, y);
  return n;
}

std::string Ocr(const core::Bitmap& dots, const std::string& name) {
  const testing::TempFolder temp("morvel-text");
  const fs::path png = temp / (name + ".png");
  const auto bytes = render::EncodePng(dots, 203);
  std::ofstream(png, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return testing::ShellOutput("tesseract " + png.string() + " - --psm 6 2>/dev/null");
}

struct Rule {
  const char* Guide;  // the guide's section and its words the case pins
  std::function<void()> Check;
};

TEST(ZplText, EachRuleOfTheGuideHoldsInTheDrawnLabel) {
  const std::vector<Rule> rules = {
      // --- ^FB ---------------------------------------------------------
      {"^FB: automatic word-wrap at the block's width; lines are the font's height apart",
       [] {
         const auto d = Draw("^FO10,10^FB200,6^A0N,30,30^FDHHH HHH HHH HHH HHH HHH HHH HHH HHH^FS");
         const auto lines = Bands(d.Dots);
         ASSERT_GE(lines.size(), 3u);
         for (size_t k = 1; k < lines.size(); ++k) EXPECT_EQ(lines[k].first - lines[k - 1].first, 30) << k;
         const Box ink = InkIn(d.Dots);
         EXPECT_GE(ink.X0, 10);
         EXPECT_LE(ink.X1, 210);
         EXPECT_GE(ink.X1, 150);  // lines are filled, not one word each
       }},
      {"^FB c: add or delete space between lines (in dots)",
       [] {
         for (int c : {0, 12, -6}) {
           const auto d = Draw("^FO10,10^FB300,3," + std::to_string(c) + R"(^A0N,30,30^FDHHH\&HHH\&HHH^FS)");
           const auto lines = Bands(d.Dots);
           ASSERT_EQ(lines.size(), 3u) << c;
           EXPECT_EQ(lines[1].first - lines[0].first, 30 + c);
           EXPECT_EQ(lines[2].first - lines[1].first, 30 + c);
         }
       }},
      {"^FB b: maximum number of lines, default 1; text exceeding it overwrites the last line",
       [] {
         const auto one = Draw(R"(^FO10,10^FB300^A0N,30,30^FDHHH\&III\&HHH^FS)");
         EXPECT_EQ(Bands(one.Dots).size(), 1u);
         const auto two = Draw(R"(^FO10,10^FB300,2^A0N,30,30^FDHHH\&II\&HHHHHH^FS)");
         const auto alone = Draw(R"(^FO10,10^FB300,2^A0N,30,30^FDHHH\&II^FS)");
         ASSERT_EQ(Bands(two.Dots).size(), 2u);
         // The last line holds the third line drawn over the second.
         const Box second = InkIn(two.Dots, 0, 40), secondAlone = InkIn(alone.Dots, 0, 40);
         EXPECT_EQ(second.Y0, secondAlone.Y0);
         EXPECT_GT(second.Width(), 2 * secondAlone.Width());
       }},
      {"^FB d: justification L, C, R within the block",
       [] {
         const auto l = InkIn(Draw("^FO10,10^FB300,1,0,L^A0N,30,30^FDHHH^FS").Dots);
         const auto c = InkIn(Draw("^FO10,10^FB300,1,0,C^A0N,30,30^FDHHH^FS").Dots);
         const auto r = InkIn(Draw("^FO10,10^FB300,1,0,R^A0N,30,30^FDHHH^FS").Dots);
         EXPECT_NEAR(l.X0, 10, 4);
         EXPECT_NEAR((c.X0 + c.X1) / 2.0, 160, 3);
         EXPECT_NEAR(r.X1, 309, 4);
         EXPECT_EQ(l.Width(), r.Width());
       }},
      {"^FB d = J: lines spread margin to margin; if J is used, the last line is left-justified",
       [] {
         const std::string text = "^A0N,30,30^FDIII II IIII III II III IIII II III II IIII III II^FS";
         const auto j = Draw("^FO10,10^FB300,4,0,J" + text).Dots, l = Draw("^FO10,10^FB300,4,0,L" + text).Dots;
         const auto lines = Bands(j);
         ASSERT_GE(lines.size(), 2u);
         for (size_t k = 0; k < lines.size(); ++k) {
           const Box a = InkIn(j, 0, lines[k].first, INT32_MAX, lines[k].second);
           const Box b = InkIn(l, 0, lines[k].first, INT32_MAX, lines[k].second);
           EXPECT_EQ(a.X0, b.X0) << k;
           if (k + 1 < lines.size())
             EXPECT_NEAR(a.X1, 309, 4) << k;
           else
             EXPECT_EQ(a.X1, b.X1) << "the last line stays left";
         }
       }},
      {"^FB e: hanging indent (in dots) of the second and remaining lines",
       [] {
         const auto d = Draw(R"(^FO10,10^FB300,3,0,L,40^A0N,30,30^FDHHH\&HHH\&HHH^FS)").Dots;
         const auto lines = Bands(d);
         ASSERT_EQ(lines.size(), 3u);
         const int first = InkIn(d, 0, lines[0].first, INT32_MAX, lines[0].second).X0;
         EXPECT_EQ(InkIn(d, 0, lines[1].first, INT32_MAX, lines[1].second).X0, first + 40);
         EXPECT_EQ(InkIn(d, 0, lines[2].first, INT32_MAX, lines[2].second).X0, first + 40);
       }},
      {"^FB a: if the value is less than the font width or not specified, the text does not print",
       [] {
         for (const char* fb : {"^FB", "^FB,3", "^FB20,3"}) {
           const auto d = Draw(std::string("^FO10,10") + fb + "^A0N,30,30^FDHHH HHH^FS");
           EXPECT_EQ(InkIn(d.Dots).X0, -1) << fb;
           ASSERT_EQ(d.Warnings.size(), 1u) << fb;
           EXPECT_NE(d.Warnings[0].find("does not print"), std::string::npos) << d.Warnings[0];
         }
         EXPECT_GE(InkIn(Draw("^FO10,10^FB30,3^A0N,30,30^FDHHH^FS").Dots).X0, 0);  // as wide as the font
       }},
      {"^FB: a word too long for a line by itself is hyphenated at the block's right edge, the rest on the next line",
       [] {
         const auto d = Draw("^FO10,10^FB120,4^A0N,30,30^FDHHHHHHHHHHHHHHHH^FS").Dots;
         const auto lines = Bands(d);
         ASSERT_GE(lines.size(), 2u);
         EXPECT_LE(InkIn(d).X1, 130);
         // The first line reaches near the edge, with its dash at mid-height.
         const Box first = InkIn(d, 0, lines[0].first, INT32_MAX, lines[0].second);
         EXPECT_GE(first.X1, 100);
         const int mid = (lines[0].first + lines[0].second) / 2;
         const Box dash = InkIn(d, first.X1 - 2, lines[0].first, first.X1 + 1, lines[0].second);
         EXPECT_LT(dash.Height(), 8) << "a dash, not a stem";
         EXPECT_NEAR((dash.Y0 + dash.Y1) / 2.0, mid + 2, 6);
       }},
      {"^FB: \\(*) soft hyphen: printed with a dash near the end of a line, ignored elsewhere",
       [] {
         const auto soft = Draw(R"(^FO10,10^FB200,3^A0N,30,30^FDHH HHHH\HHHHH^FS)").Dots;
         const auto hard = Draw(R"(^FO10,10^FB200,3^A0N,30,30^FDHH HHHHHHHHH^FS)").Dots;
         ASSERT_EQ(Bands(soft).size(), 2u);
         ASSERT_EQ(Bands(hard).size(), 2u);
         // Broken at the soft hyphen, the first line holds part of the word.
         EXPECT_GT(InkIn(soft, 0, 0, INT32_MAX, 40).Width(), InkIn(hard, 0, 0, INT32_MAX, 40).Width() + 30);
         EXPECT_TRUE(testing::SameDots(Draw(R"(^FO10,10^FB380,1^A0N,30,30^FDHHHH\HHHHH^FS)").Dots,
                                       Draw(R"(^FO10,10^FB380,1^A0N,30,30^FDHHHHHHHHH^FS)").Dots));
       }},
      {"^FB: \\& carriage return/line feed; \\\\ backslash, which only ^CI13 prints as one; data line ends dropped",
       [] {
         const std::vector<std::pair<std::string, std::string>> cases = {
             {R"(^CI13^FB300,3^FDA\\B\&C)", "A\\B\nC"},  {R"(^CI0^FB300,3^FDA\\B\&C)", "A¢B\nC"},
             {"^CI0^FB300,3^FDAB\r\nCD", "ABCD"},        {R"(^CI0^FDA\\B\&C)", "A¢¢B¢&C"},  // no block: no escapes
             {R"(^CI28^FB300,3^FH^FDA_5C_26B)", "A\nB"},
         };
         for (const auto& [field, want] : cases) {
           const auto d = Draw("^FO10,10^A0N,30,30" + field + "^FS");
           ASSERT_EQ(d.Texts.size(), 1u) << field;
           EXPECT_EQ(d.Texts[0].Utf8, want) << field;
         }
         EXPECT_EQ(Bands(Draw(R"(^FO10,10^FB300,3^A0N,30,30^FDAB\&CD\&EF^FS)").Dots).size(), 3u);
       }},
      {"^FB with ^FT: ^FT uses the baseline origin of the last possible line of text",
       [] {
         const Box ft = InkIn(Draw("^FT10,200^FB300,3,10^A0N,30,30^FDHHH^FS").Dots);
         EXPECT_NEAR(ft.Y1, 200 - 2 * 40 - 1, 1);  // H stands on the first line's baseline
         const Box fo = InkIn(Draw("^FO10,200^FB300,3,10^A0N,30,30^FDHHH^FS").Dots);
         EXPECT_GT(fo.Y0, 200);  // ^FO: the block grows from its top
       }},
      {"^FB rotated: the block turns with the font; ^FO is the upper-left corner of the field area",
       [] {
         const auto d = Draw(R"(^FO100,10^FB200,2^A0R,30,30^FDHHH\&HHH^FS)").Dots;
         const Box ink = InkIn(d);
         EXPECT_GE(ink.X0, 100);
         EXPECT_LE(ink.X1, 160);
         EXPECT_GE(ink.Y0, 10);
         EXPECT_LE(ink.Y1, 210);
         EXPECT_EQ(Bands(d, false).size(), 2u);  // two lines side by side
         const auto b = Draw(R"(^FO100,10^FB200,2^A0B,30,30^FDHHH\&HHH^FS)").Dots;
         EXPECT_EQ(Bands(b, false).size(), 2u);
         EXPECT_GE(InkIn(b).X0, 100);
         EXPECT_LE(InkIn(b).X1, 160);
       }},
      // --- ^TB -----------------------------------------------------------
      {"^TB: a text block with defined width and height; text exceeding the block height is truncated",
       [] {
         const std::string text = R"(^A0N,30,30%^FDH HHHHH HH HHHH HHH HHHHH H HH HHHH H^FS)";
         auto with = [&](const std::string& block) {
           std::string f = "^FO10,10" + text;
           f.replace(f.find('%'), 1, block);
           return Draw(f);
         };
         const auto tb = with("^TBN,120,65");
         EXPECT_EQ(Bands(tb.Dots).size(), 2u);  // two 30-dot lines in 65 dots
         EXPECT_LE(InkIn(tb.Dots).X1, 130);
         EXPECT_LE(InkIn(tb.Dots).Y1, 75);
         // ^FB prints the rest over its last line, where ^TB has cut it.
         const auto fb = with("^FB120,2");
         EXPECT_GT(Black(fb.Dots, 40), Black(tb.Dots, 40));
         EXPECT_GE(Bands(with("^TBN,120,200").Dots).size(), 4u);
         EXPECT_EQ(InkIn(with("^TBN,120,20").Dots).X0, -1);  // no whole line fits
         for (const auto& w : tb.Warnings) EXPECT_EQ(w.find("unknown"), std::string::npos) << w;
       }},
      // --- ^A0 and ^CF -----------------------------------------------------
      {"^A0 h and w: the height and width in dots of the character block; one alone gives the other",
       [] {
         const auto both = Draw("^FO10,10^A0N,60,60^FDHAMBURG^FS").Dots;
         EXPECT_TRUE(testing::SameDots(Draw("^FO10,10^A0N,60^FDHAMBURG^FS").Dots, both));
         EXPECT_TRUE(testing::SameDots(Draw("^FO10,10^A0N,,60^FDHAMBURG^FS").Dots, both));
         // Widths scale with w alone, heights with h alone.
         const Box base = InkIn(Draw("^FO10,10^A0N,40,40^FDHAMBURG^FS").Dots);
         for (int w : {20, 60, 80}) {
           const Box b = InkIn(Draw("^FO10,10^A0N,40," + std::to_string(w) + "^FDHAMBURG^FS").Dots);
           EXPECT_NEAR(b.Width(), base.Width() * w / 40.0, 3 + base.Width() * w / 40.0 * 0.03) << w;
           EXPECT_EQ(b.Height(), base.Height()) << w;
         }
         const Box tall = InkIn(Draw("^FO10,10^A0N,80,40^FDHAMBURG^FS").Dots);
         EXPECT_NEAR(tall.Height(), 2 * base.Height(), 2);
         EXPECT_NEAR(tall.Width(), base.Width(), 2);
       }},
      {"^A0 at small sizes: advances still scale with w, so a line is as long as its characters' widths",
       [] {
         for (int h : {10, 12, 16}) {
           const Box one = InkIn(Draw("^FO10,10^A0N," + std::to_string(h) + "^FDHHHHHHHHHHHHHHHHHHHH^FS").Dots);
           const Box two = InkIn(
               Draw("^FO10,10^A0N," + std::to_string(h) + "," + std::to_string(2 * h) + "^FDHHHHHHHHHHHHHHHHHHHH^FS")
                   .Dots);
           EXPECT_NEAR(two.Width(), 2 * one.Width(), 4) << h;
         }
       }},
      {"^CF f,h,w: the default font for fields without ^A; h alone gives w",
       [] {
         EXPECT_TRUE(testing::SameDots(Draw("^CF0,40^FO10,10^FDHamburg^FS").Dots,
                                       Draw("^FO10,10^A0N,40,40^FDHamburg^FS").Dots));
         EXPECT_TRUE(testing::SameDots(Draw("^CF0,40,20^FO10,10^FDHamburg^FS").Dots,
                                       Draw("^FO10,10^A0N,40,20^FDHamburg^FS").Dots));
         const auto d = Draw("^CF0,40^FO10,10^FDHamburg^FS");
         ASSERT_EQ(d.Texts.size(), 1u);
         EXPECT_EQ(d.Texts[0].Look.Font, "TeX Gyre Heros Cn");  // the stand-in of CG Triumvirate Bold Condensed
       }},
      // --- ^CI and ^FH -----------------------------------------------------
      {"^CI a: the character set of the field data; ^FH's hexadecimal characters are in it",
       [] {
         const std::vector<std::pair<std::string, std::string>> cases = {
             {"^CI0^FH^FD_80_5C", "Ç¢"},  // code page 850, USA 1's cent at the backslash
             {"^CI13^FH^FD_80_5C", "Ç\\"},
             {"^CI27^FH^FD_80_E9", "€é"},  // Zebra code page 1252
             {"^CI28^FH^FD_C3_A9_E2_82_AC", "é€"},
             {"^CI29^FH^FD_00_E9_20_AC", "é€"},
             {"^CI30^FH^FD_E9_00_AC_20", "é€"},
             {"^CI31^FH^FD_8A_B9", "Šą"},  // 1250
             {"^CI33^FH^FD_C0_FF", "Ая"},  // 1251
             {"^CI34^FH^FD_C1_F9", "Αω"},  // 1253
             {"^CI35^FH^FD_D0_FD", "Ğı"},  // 1254
             {"^CI36^FH^FD_E0_FA", "את"},  // 1255
             {"^CI0,21,36^FD$1", "€1"},    // the guide's remapping example
             {"^CI27,65,36^FD$1", "$1"},   // remapping is for sets 0 to 13 only
             {"^FH^FD_4_41", "_4A"},       // an indicator without two hexadecimal characters stays
         };
         for (const auto& [field, want] : cases) {
           const auto d = Draw("^FO10,10^A0N,30,30" + field + "^FS");
           ASSERT_EQ(d.Texts.size(), 1u) << field;
           EXPECT_EQ(d.Texts[0].Utf8, want) << field;
         }
       }},
      // --- round trips read by tesseract -----------------------------------
      {"^FB, the guide's own example: ^CF0,30,30 ^FB250,4 with \\& prints three lines",
       [] {
         const auto d = Draw(R"(^CF0,30,30^FO25,50^FB250,4,,^FDFD command that IS\& preceded by an FB \&command.^FS)");
         const auto lines = Bands(d.Dots);
         ASSERT_EQ(lines.size(), 3u);
         EXPECT_LE(InkIn(d.Dots).X1, 275);
         if (testing::ShellOutput("command -v tesseract 2>/dev/null").empty()) return;
         std::istringstream read(Ocr(d.Dots, "guide"));
         std::vector<std::string> got;
         for (std::string l; std::getline(read, l);)
           if (l.find_first_not_of(" \f") != std::string::npos) got.push_back(l);
         ASSERT_EQ(got.size(), 3u);
         EXPECT_NE(got[0].find("command that"), std::string::npos) << got[0];
         EXPECT_NE(got[1].find("preceded by an"), std::string::npos) << got[1];
         EXPECT_NE(got[2].find("command"), std::string::npos) << got[2];
       }},
      {"^FB wrap read back: a long paragraph in a narrow block keeps every word whole and in order",
       [] {
         const std::string words = "Deliver to the loading dock behind the warehouse before noon on Monday";
         const auto d = Draw("^FO10,10^FB260,6^A0N,32,28^FD" + words + "^FS");
         EXPECT_GE(Bands(d.Dots).size(), 3u);
         EXPECT_LE(InkIn(d.Dots).X1, 270);
         if (testing::ShellOutput("command -v tesseract 2>/dev/null").empty()) return;
         std::string read = Ocr(d.Dots, "wrap");
         std::replace(read.begin(), read.end(), '\n', ' ');
         std::istringstream in(read), want(words);
         std::vector<std::string> got;
         for (std::string w; in >> w;) got.push_back(w);
         std::vector<std::string> expected;
         for (std::string w; want >> w;) expected.push_back(w);
         EXPECT_EQ(got, expected) << read;
       }},
      {"^FB d = C in a real sample: text_multiline centres its two lines in an 800-dot block",
       [] {
         const fs::path dir = testing::SharedSamples("zpl-samples");
         if (dir.empty()) return;
         std::ifstream in(dir / "text_multiline.zpl", std::ios::binary);
         std::stringstream job;
         job << in.rdbuf();
         const auto parsed = lang::ReadJob(job.str(), lang::Language::Zpl, 203);
         ASSERT_EQ(parsed.Labels.size(), 1u);
         const auto dots = preview::Paint(parsed.Labels[0], 203);
         const auto lines = Bands(dots);
         ASSERT_EQ(lines.size(), 2u);
         for (const auto& [top, end] : lines) {
           const Box b = InkIn(dots, 0, top, INT32_MAX, end);
           EXPECT_NEAR((b.X0 + b.X1) / 2.0, 400, 3);
         }
         EXPECT_EQ(lines[1].first - lines[0].first, 40);
       }},
  };
  for (const auto& rule : rules) {
    SCOPED_TRACE(rule.Guide);
    rule.Check();
  }
}

}  // namespace
}  // namespace morvel

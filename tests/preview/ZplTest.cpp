// ZPL as users send it: twenty real labels (carriers, designers, stored
// formats) drawn and read back with zbar, ZXing and tesseract against their
// own ^FD data; and the geometry commands dot for dot as the programming
// guide places them, graphic data in each of its forms.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "hosts/cli/Shell.h"
#include "lang/Reading.h"
#include "lang/zpl/Graphics.h"
#include "preview/Preview.h"
#include "render/Page.h"
#include "support/Golden.h"
#include "support/PageCheck.h"
#include "support/RunCommand.h"
#include "support/SharedSamples.h"
#include "support/TempFolder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

const fs::path Samples = testing::SharedSamples("zpl-samples");

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Shell(const std::string& command) { return morvel::testing::ShellOutput(command); }

bool Have(const char* tool) { return !Shell(std::string("command -v ") + tool + " 2>/dev/null").empty(); }

// The picture on white paper: a symbol that runs to the label's edge still
// has its quiet zone beyond it.
testing::DecodedPage PageOf(const core::Bitmap& dots) {
  constexpr int margin = 20;
  testing::DecodedPage page;
  page.Width = dots.Width() + 2 * margin;
  page.Height = dots.Height() + 2 * margin;
  page.Grey.resize(static_cast<size_t>(page.Width) * page.Height, 255);
  for (int y = 0; y < dots.Height(); ++y)
    for (int x = 0; x < dots.Width(); ++x)
      if (dots.Black(x, y)) page.Grey[static_cast<size_t>(y + margin) * page.Width + x + margin] = 0;
  return page;
}

core::Bitmap Crop(const core::Bitmap& dots, int x0, int y0, int x1, int y1) {
  x0 = std::max(0, x0), y0 = std::max(0, y0), x1 = std::min(dots.Width(), x1), y1 = std::min(dots.Height(), y1);
  core::Bitmap out(std::max(1, x1 - x0), std::max(1, y1 - y0));
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (dots.Black(x, y)) out.Set(x - x0, y - y0, true);
  return out;
}

// The labels as the printer draws them before ^POI turns them: text reads
// upright for tesseract, and crops stay in the job's coordinates.
std::vector<core::Bitmap> Draw(const std::string& job, std::vector<lang::Warning>* warnings) {
  lang::Job parsed = lang::ReadJob(job, lang::Language::Zpl, 203);
  if (warnings) *warnings = parsed.Warnings;
  std::vector<core::Bitmap> out;
  for (auto& label : parsed.Labels) {
    label.Turn = 0;
    out.push_back(preview::Paint(label, 203));
  }
  return out;
}

char Mod10(const std::string& digits) {
  int sum = 0, weight = 3;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it, weight = 4 - weight) sum += (*it - '0') * weight;
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// What a reader gives without its symbology prefix and GS1 separators.
std::string Plain(std::string s) {
  if (s.rfind("]C1", 0) == 0) s = s.substr(3);
  std::string out;
  for (char c : s)
    if (c != '\x1D') out += c;
  return out;
}

// Text fields of the job as the printer prints them: the upright fields
// with a font, their ^FD after ^FH, line ends dropped, in words of two
// characters or more.
std::vector<std::string> Words(const std::string& job) {
  std::vector<std::string> words;
  size_t k = 0;
  while (k < job.size()) {
    size_t fs = job.find("^FS", k);
    std::string field = job.substr(k, fs == std::string::npos ? std::string::npos : fs - k);
    k = fs == std::string::npos ? job.size() : fs + 3;
    size_t fd = field.find("^FD");
    if (fd == std::string::npos) fd = field.find("^FV");
    if (fd == std::string::npos || field.find("^A") == std::string::npos || field.find("^B") != std::string::npos ||
        (field.find("^FW") != std::string::npos && field.find("^FWN") == std::string::npos))
      continue;
    const size_t a = field.find("^A");
    if (a + 3 < field.size() && std::string("RIB").find(field[a + 3]) != std::string::npos) continue;
    std::string data = field.substr(fd + 3), text;
    for (size_t i = 0; i < data.size(); ++i) {
      if (field.find("^FH") != std::string::npos && data[i] == '_' && i + 2 < data.size()) {
        text += static_cast<char>(std::stoi(data.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else if (data.compare(i, 2, "\\&") == 0) {
        text += ' ';
        ++i;
      } else {
        // Line ends in field data are discarded, as the guide says of
        // field blocks: "of\n1" prints "of1".
        if (data[i] != '\r' && data[i] != '\n') text += data[i];
      }
    }
    // Fonts B and H have capitals only.
    if (a + 2 < field.size() && std::string("BbHh").find(field[a + 2]) != std::string::npos)
      for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::istringstream in(text);
    for (std::string w; in >> w;) {
      while (!w.empty() && !std::isalnum(static_cast<unsigned char>(w.back()))) w.pop_back();
      while (!w.empty() && !std::isalnum(static_cast<unsigned char>(w.front()))) w.erase(0, 1);
      if (w.size() >= 2) words.push_back(w);
    }
  }
  return words;
}

struct Code {
  std::string Data;                    // as the reader gives it, after ^FH, ZPL's rules applied
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;  // a window for ZXing (2D symbols)
  const char* Format = nullptr;        // ZXing's name; null: zbar reads it
};

struct Sample {
  const char* Name;
  std::vector<std::vector<Code>> Labels;
};

std::string Ean(const std::string& twelve) { return twelve + Mod10(twelve); }

TEST(ZplSamples, BarcodesDecodeToTheirDataTextReadsAndNoCommandIsUnknown) {
  if (Samples.empty()) GTEST_SKIP() << "no zpl-samples (MORVEL_SHARED_DIR, or ../shared beside the source)";
  const bool zxing = Have("ZXingReader"), ocr = Have("tesseract");
  const std::string t128 = "9632080400200044387502171053828143";
  const std::string aztec = "Part:123;Warehouse:BYZA;Position:12-12-1";
  const std::string fedexPdf =
      "[)>\x1E"
      "01\x1D"
      "0211111\x1D"
      "840\x1D"
      "804\x1D"
      "271053820000\x1D"
      "FDEG\x1D"
      "200044387\x1D"
      "047\x1D\x1D"
      "1/1\x1D"
      "0.23LB\x1DN\x1D"
      "5000 S 160th St\x1D"
      "Des Moines\x1DWA\x1DTest Receiver\x1E"
      "06\x1D"
      "10ZGH007\x1D"
      "12Z13602284998\x1D"
      "20Z\x1C\x1D"
      "31Z9632080400200044387500271053820000\x1D"
      "9K23414445\x1D\x1E\x04";
  const std::vector<Sample> samples = {
      {"amazon", {{{"1AAAAAAA"}, {"AMZNCC00000010000000"}}}},
      {"aztec_ec", {{{aztec, 55, 60, 210, 215, "Aztec"}}}},
      {"barcode128_default_width", {{{t128, 60, 960, 813, 1175}}}},
      {"barcode128_line_above", {{{t128}}}},
      {"barcode128_mode_a", {{{t128}}}},  // automatic mode reads the subset codes too
      {"barcode128_mode_u",
       {{{"9632080400200044387"
          "4"}}}},  // 19 digits and their check
      {"barcode128_rotated", {{{t128}}}},
      {"dhlpaket", {{{"40327660015+99000942000000"}, {"222200000000000000"}}}},
      // Each symbol in a window of its own: zbar tells a repeated symbol once.
      {"ean13",
       {{{Ean("123456789012"), 40, 40, 290, 195},
         {Ean("123456789012"), 290, 40, 540, 195},
         {Ean("123456789012"), 540, 40, 800, 195},
         {Ean("590123412345"), 0, 195, 290, 440},
         {Ean("590123412345"), 250, 195, 540, 440},
         {Ean("590123412345"), 500, 195, 800, 440},
         {Ean("978020137934"), 0, 440, 290, 840},
         {Ean("978020137934"), 250, 440, 540, 840},
         {Ean("978020137934"), 500, 440, 800, 840},
         {Ean("590123412398"), 0, 840, 290, 1100},
         {Ean("590123412398"), 250, 840, 540, 1100},
         {Ean("590123412398"), 500, 840, 800, 1100}}}},
      {"encodings_013", {{}}},
      {"fedex", {{{"9632080400200044387500271053820000"}, {fedexPdf, 10, 400, 800, 600, "PDF417"}}}},
      {"gb_0_height", {{}}},
      {"gb_rounded", {{}}},
      {"qr_code_offset", {{{"MPLE CODE"}}}},  // the first three characters are the QR switches
      {"reverse", {{}}},
      {"templating", {{{"12345678", 60, 470, 760, 720}}, {{"87654321", 60, 470, 760, 720}}}},
      {"text_fo_b", {{}}},
      {"text_ft_n", {{}}},
      {"text_multiline", {{}}},
      {"ups",
       {{{"4210405000"},
         {"1Z680RA4DL08720000"},
         {"[)>\x1E"
          "01\x1D"
          "96"
          "5000  \x1D"
          "040\x1D"
          "403\x1D"
          "1Z08720000\x1DUPSN\x1D"
          "680RA4\x1D"
          "051\x1D\x1D"
          "1/1\x1D"
          "1\x1DN\x1D\x1DHALLEIN\x1D\x1E\x04",
          26, 440, 252, 658, "MaxiCode"}}}},
  };
  size_t wordsAll = 0, wordsRead = 0;
  const testing::TempFolder temp("morvel-zpl");
  const fs::path& tmp = temp.Path();
  for (const auto& sample : samples) {
    SCOPED_TRACE(sample.Name);
    const std::string job = ReadAll(Samples / (std::string(sample.Name) + ".zpl"));
    ASSERT_FALSE(job.empty());
    std::vector<lang::Warning> warnings;
    auto labels = Draw(job, &warnings);
    for (const auto& w : warnings)
      EXPECT_EQ(w.Text.find("unknown command"), std::string::npos) << w.Offset << ": " << w.Text;
    ASSERT_EQ(labels.size(), sample.Labels.size());
    for (size_t l = 0; l < labels.size(); ++l) {
      std::multiset<std::string> zbar;
      for (const auto& found : testing::Barcodes(PageOf(labels[l])))
        zbar.insert(Plain(found.substr(found.find(':') + 1)));
      // ZXing reads each linear symbol that stands alone in its picture or window.
      auto zxingReads = [&](const core::Bitmap& dots, const std::string& want) {
        const fs::path png = tmp / (std::string(sample.Name) + "-z.png");
        const auto bytes = render::EncodePng(dots, 203);
        std::ofstream(png, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        EXPECT_EQ(Plain(Shell("ZXingReader -bytes " + png.string() + " 2>/dev/null")), Plain(want)) << "read by ZXing";
      };
      if (zxing && sample.Labels[l].size() == 1 && !sample.Labels[l][0].Format && sample.Labels[l][0].X1 == 0)
        zxingReads(labels[l], sample.Labels[l][0].Data);
      for (const auto& code : sample.Labels[l]) {
        if (!code.Format && code.X1 > 0) {
          if (zxing) zxingReads(Crop(labels[l], code.X0, code.Y0, code.X1, code.Y1), code.Data);
          std::set<std::string> window;
          for (const auto& found : testing::Barcodes(PageOf(Crop(labels[l], code.X0, code.Y0, code.X1, code.Y1))))
            window.insert(Plain(found.substr(found.find(':') + 1)));
          EXPECT_EQ(window.count(code.Data), 1u) << "zbar does not read " << code.Data << " in its window";
          continue;
        }
        if (!code.Format) {
          auto at = zbar.find(code.Data);
          EXPECT_NE(at, zbar.end()) << "zbar does not read " << code.Data << " on label " << l + 1;
          if (at != zbar.end()) zbar.erase(at);
          continue;
        }
        if (!zxing) continue;
        const fs::path png = tmp / (std::string(sample.Name) + ".png");
        const auto bytes = render::EncodePng(Crop(labels[l], code.X0, code.Y0, code.X1, code.Y1), 203);
        std::ofstream(png, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::string read =
            Shell("ZXingReader -bytes " + std::string(std::string(code.Format) == "MaxiCode" ? "-ispure " : "") +
                  "-format " + code.Format + " " + png.string() + " 2>/dev/null");
        EXPECT_EQ(Plain(read), Plain(code.Data)) << code.Format << " read by ZXing";
      }
      if (!ocr || std::string(sample.Name) == "encodings_013") continue;
      const fs::path png = tmp / (std::string(sample.Name) + "-text.png");
      const auto bytes = render::EncodePng(labels[l], 203);
      std::ofstream(png, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      std::set<std::string> seen;
      std::istringstream read(Shell("tesseract " + png.string() + " - --psm 11 2>/dev/null"));
      for (std::string w; read >> w;) {
        while (!w.empty() && !std::isalnum(static_cast<unsigned char>(w.back()))) w.pop_back();
        while (!w.empty() && !std::isalnum(static_cast<unsigned char>(w.front()))) w.erase(0, 1);
        seen.insert(w);
      }
      // A stored format's labels share its words; the job's words are spread over them.
      const auto words = Words(job);
      size_t found = 0;
      std::string missed;
      for (const auto& w : words) {
        found += seen.count(w);
        if (!seen.count(w)) missed += " " + w;
      }
      if (labels.size() == 1) {
        EXPECT_GE(found * 100, words.size() * 85) << found << " of " << words.size() << " words read;" << missed;
        wordsAll += words.size();
        wordsRead += found;
        std::printf("%s: tesseract read %zu of %zu words%s%s\n", sample.Name, found, words.size(),
                    missed.empty() ? "" : "; missed:", missed.c_str());
      }
    }
  }
  if (ocr) {
    EXPECT_GE(wordsRead * 100, wordsAll * 85) << wordsRead << " of " << wordsAll << " words read";
    std::printf("tesseract read %zu of %zu words\n", wordsRead, wordsAll);
  }
}

}  // namespace
}  // namespace morvel

namespace morvel {
namespace {

struct InkBox {
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;  // [X0, X1) x [Y0, Y1); all zero: no ink
};

InkBox InkOf(const core::Bitmap& dots) {
  InkBox b{dots.Width(), dots.Height(), 0, 0};
  for (int y = 0; y < dots.Height(); ++y)
    for (int x = 0; x < dots.Width(); ++x)
      if (dots.Black(x, y)) b = {std::min(b.X0, x), std::min(b.Y0, y), std::max(b.X1, x + 1), std::max(b.Y1, y + 1)};
  return b.X1 == 0 ? InkBox{} : b;
}

core::Bitmap One(const std::string& job) {
  auto labels = lang::ReadJob(job, lang::Language::Zpl, 203).Labels;
  EXPECT_EQ(labels.size(), 1u) << job;
  return labels.empty() ? core::Bitmap(1, 1) : preview::Paint(labels[0], 203);
}

// Where the guide puts a field's dots: ^FO at its top left corner, ^FT at
// the bottom left (graphics, barcodes) or on the baseline (text), shifted
// by ^LH, ^LS and ^LT, turned about the field's corner, mirrored and turned
// with the whole label.
TEST(ZplGeometry, FieldsLandOnTheDotsTheGuideGives) {
  // Each job is a row of zpl-geometry.golden: its ink box, X0 Y0 X1 Y1.
  const char* const jobs[] = {
      "^XA^FO50,40^GB100,20,20^FS^XZ",
      "^XA^FO50,50^GB203,0,20^FS^XZ",
      "^XA^LH10,20^FO5,5^GB10,10,10^FS^XZ",
      "^XA^LS10^FO50,50^GB10,10,10^FS^XZ",
      "^XA^LT20^FO50,50^GB10,10,10^FS^XZ",
      "^XA^FT50,100^GB100,20,20^FS^XZ",
      "^XA^FO10,10^GD40,60,5,B,R^FS^XZ",
      "^XA^FO10,10^GC50,5^FS^XZ",
      "^XA^FO10,10^GE80,40,3^FS^XZ",
      "^XA^PW200^LL100^PMY^FO10,10^GB20,20,20^FS^XZ",
      "^XA^PW200^LL100^POI^FO10,10^GB20,20,20^FS^XZ",
      "^XA^FO10,10^GFA,4,4,1,F,:^FS^XZ",
      "^XA^FT10,40^GFA,4,4,1,F,:^FS^XZ",
      "^XA^FO100,50^BY2^BCN,60,N^FD>;1234^FS^XZ",
      "^XA^FO100,50^BY2^BCN,60,N^FD1234^FS^XZ",
      "^XA^FO100,50^BY2^BCN,60,N,N,N,A^FD1234^FS^XZ",
      "^XA^FT100,200^BY2^BCN,60,N^FD>;1234^FS^XZ",
      "^XA^FO100,50^BY2^BCR,60,N^FD>;1234^FS^XZ",
      "^XA^FO100,50^BY2^BCB,60,N^FD>;1234^FS^XZ",
      "^XA^FO100,50^BY2^BCI,60,N^FD>;1234^FS^XZ",
      "^XA^FWR^FO100,50^BY2^BC,60,N^FD>;1234^FS^XZ",
      "^XA^FO10,10^BY3^B3N,N,50,N^FD1^FS^XZ",
  };
  static testing::GoldenFile golden(MORVEL_SOURCE_DIR "/tests/preview/zpl-geometry.golden");
  for (const char* job : jobs) {
    SCOPED_TRACE(job);
    const InkBox ink = InkOf(One(job));
    golden.Expect(job, std::to_string(ink.X0) + " " + std::to_string(ink.Y0) + " " + std::to_string(ink.X1) + " " +
                           std::to_string(ink.Y1));
  }
  golden.ExpectEveryRowUsed("");
}

// Rows holding ink, as runs [first, end).
std::vector<std::pair<int, int>> InkRows(const core::Bitmap& dots) {
  std::vector<std::pair<int, int>> runs;
  bool in = false;
  for (int y = 0; y < dots.Height(); ++y) {
    bool any = false;
    for (int x = 0; x < dots.Width() && !any; ++x) any = dots.Black(x, y);
    if (any && !in) runs.push_back({y, y + 1});
    if (any) runs.back().second = y + 1;
    in = any;
  }
  return runs;
}

// Text by its baseline: ^FT's y is the baseline; a field block's lines
// step by the font height plus the spacing, and ^FT places a block by the
// baseline of its last possible line; ^FR reverses what is under a field.
TEST(ZplGeometry, BaselinesBlocksAndReverseFields) {
  // "H" sits on the baseline: its last row is the one above y.
  EXPECT_EQ(InkOf(One("^XA^FT20,100^A0N,50,50^FDH^FS^XZ")).Y1, 100);
  EXPECT_EQ(InkOf(One("^XA^FT20,100^A0N,30,30^FDHH^FS^FT^A0N,30,30^FDH^FS^XZ")).Y1, 100);
  // The second ^FT without a position goes on where the first ended.
  const InkBox two = InkOf(One("^XA^FT20,100^A0N,30,30^FDHH^FS^XZ"));
  const InkBox three = InkOf(One("^XA^FT20,100^A0N,30,30^FDHH^FS^FT^A0N,30,30^FDH^FS^XZ"));
  EXPECT_GT(three.X1, two.X1 + 10);
  // Three lines of a block with 10 dots between lines: baselines 30 apart.
  auto lines = InkRows(One("^XA^FO10,10^FB200,3,10^A0N,20,20^FDI\\&I\\&I^FS^XZ"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].second - lines[0].second, 30);
  EXPECT_EQ(lines[2].second - lines[1].second, 30);
  // Words wrap at the block's width; a fourth line of a three-line block
  // prints over the third.
  EXPECT_EQ(InkRows(One("^XA^FO10,10^FB30,3,10^A0N,20,20^FDII II II II II II II^FS^XZ")).size(), 3u);
  // ^FT with a block: the one line sits on the last possible line's baseline.
  EXPECT_EQ(InkOf(One("^XA^FT10,200^FB200,3,10^A0N,20,20^FDI^FS^XZ")).Y1, 140);
  // Centred and right-justified lines end near the middle and the right edge.
  const InkBox right = InkOf(One("^XA^FO0,0^FB300,1,0,R^A0N,30,30^FDII^FS^XZ"));
  EXPECT_GE(right.X1, 290);
  EXPECT_LE(right.X1, 300);
  const InkBox centre = InkOf(One("^XA^FO0,0^FB300,1,0,C^A0N,30,30^FDII^FS^XZ"));
  EXPECT_NEAR((centre.X0 + centre.X1) / 2.0, 150, 4);
  // Reverse: the second box clears what it covers of the first.
  const auto reversed = One("^XA^FO0,0^GB100,40,40^FS^FO50,0^FR^GB100,40,40^FS^XZ");
  EXPECT_TRUE(reversed.Black(10, 10));
  EXPECT_FALSE(reversed.Black(75, 20));
  EXPECT_TRUE(reversed.Black(120, 20));
  // ^LRY reverses every field; a white ^GB clears.
  EXPECT_FALSE(One("^XA^LRY^FO0,0^GB100,40,40^FS^FO0,0^GB50,40,40^FS^XZ").Black(25, 20));
  EXPECT_FALSE(One("^XA^FO0,0^GB100,40,40^FS^FO0,0^GB50,40,40,W^FS^XZ").Black(25, 20));
}

// The ASCII compression written as the guide describes it, for the round trip.
std::string CompressAscii(const std::vector<std::string>& rows) {
  std::string out, previous;
  for (const auto& row : rows) {
    if (row == previous) {
      out += ':';
      continue;
    }
    previous = row;
    size_t k = 0;
    while (k < row.size()) {
      if (row.find_first_not_of('0', k) == std::string::npos) {
        out += ',';
        break;
      }
      if (row.find_first_not_of('F', k) == std::string::npos) {
        out += '!';
        break;
      }
      size_t n = 1;
      while (k + n < row.size() && row[k + n] == row[k]) ++n;
      for (size_t left = n; left > 0;) {
        const size_t take = std::min<size_t>(left, 419);
        if (take >= 20) out += static_cast<char>('g' + take / 20 - 1);
        if (take % 20) out += static_cast<char>('G' + take % 20 - 1);
        out += row[k];
        left -= take;
      }
      k += n;
    }
  }
  return out;
}

std::string Base64(const std::string& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t k = 0; k < bytes.size(); k += 3) {
    unsigned v = static_cast<unsigned char>(bytes[k]) << 16;
    if (k + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[k + 1]) << 8;
    if (k + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[k + 2]);
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += k + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
    out += k + 2 < bytes.size() ? digits[v & 63] : '=';
  }
  return out;
}

unsigned Crc16(const std::string& text) {
  unsigned crc = 0;
  for (unsigned char c : text) {
    crc ^= c << 8;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) & 0xFFFF : (crc << 1) & 0xFFFF;
  }
  return crc;
}

// ^GF's forms against a picture generated here: ASCII hex, its compression
// (runs, ',' '!' ':'), binary, :B64: and :Z64: with the CRC checked.
TEST(ZplGraphics, EveryFormGivesTheSameDots) {
  std::mt19937 random(17);
  const int perRow = 7, rows = 40;
  std::vector<std::string> hex;
  std::string bytes;
  for (int r = 0; r < rows; ++r) {
    std::string row;
    const int kind = static_cast<int>(random() % 5);
    for (int c = 0; c < perRow; ++c) {
      unsigned char b = kind == 0            ? 0
                        : kind == 1          ? 0xFF
                        : kind == 2 && c < 3 ? 0xF0
                                             : static_cast<unsigned char>(random());
      if (kind == 3 && !hex.empty())
        b = static_cast<unsigned char>(std::stoi(hex.back().substr(2 * c, 2), nullptr, 16));
      bytes += static_cast<char>(b);
      char two[3];
      std::snprintf(two, sizeof two, "%02X", b);
      row += two;
    }
    hex.push_back(row);
  }
  std::string plain;
  for (const auto& row : hex) plain += row + "\r\n";
  std::string zipped(compressBound(bytes.size()), '\0');
  uLongf size = zipped.size();
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(zipped.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                     bytes.size()),
            Z_OK);
  zipped.resize(size);
  auto wrap = [](const char* kind, const std::string& payload, unsigned crcDelta = 0) {
    const std::string text = Base64(payload);
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", (Crc16(text) + crcDelta) & 0xFFFF);
    return std::string(":") + kind + ":" + text + ":" + crc;
  };
  const std::string total = std::to_string(perRow * rows),
                    counts = total + "," + total + "," + std::to_string(perRow) + ",";
  const std::vector<std::pair<const char*, std::string>> forms = {
      {"hex", "^GFA," + counts + plain},
      {"compressed", "^GFA," + counts + CompressAscii(hex)},
      {"binary", "^GFB," + std::to_string(bytes.size()) + "," + total + "," + std::to_string(perRow) + "," + bytes},
      {"B64", "^GFA," + counts + wrap("B64", bytes)},
      {"Z64", "^GFA," + counts + wrap("Z64", zipped)},
      // Compressed binary: b counts the deflated bytes that follow.
      {"compressed binary",
       "^GFC," + std::to_string(zipped.size()) + "," + total + "," + std::to_string(perRow) + "," + zipped},
      {"compressed binary as text", "^GFC," + std::to_string(CompressAscii(hex).size()) + "," + total + "," +
                                        std::to_string(perRow) + "," + CompressAscii(hex)},
  };
  std::string compressed = CompressAscii(hex);
  for (const char* rule : {":", ",", "!"}) EXPECT_NE(compressed.find(rule), std::string::npos) << rule;
  for (const auto& [name, field] : forms) {
    SCOPED_TRACE(name);
    const auto dots = One("^XA^FO0,0" + field + "^FS^XZ");
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < perRow * 8; ++c) {
        const bool black =
            (static_cast<unsigned char>(bytes[static_cast<size_t>(r * perRow + c / 8)]) >> (7 - c % 8)) & 1;
        if (c < dots.Width() && r < dots.Height() ? dots.Black(c, r) != black : black) {
          ADD_FAILURE() << "dot " << c << "," << r;
          r = rows;
          break;
        }
      }
  }
  // A damaged Base64 graphic is told and left out; the label still prints.
  auto job = lang::ReadJob("^XA^FO0,0^GFA," + counts + wrap("Z64", zipped, 1) + "^FS^XZ", lang::Language::Zpl, 203);
  ASSERT_EQ(job.Warnings.size(), 1u);
  EXPECT_NE(job.Warnings[0].Text.find("CRC"), std::string::npos) << job.Warnings[0].Text;
  // Compressed binary that does not inflate is told, not drawn as noise.
  std::string broken = zipped;
  broken.resize(broken.size() / 2);
  job = lang::ReadJob(
      "^XA^FO0,0^GFC," + std::to_string(broken.size()) + "," + counts.substr(counts.find(',') + 1) + broken + "^FS^XZ",
      lang::Language::Zpl, 203);
  ASSERT_EQ(job.Warnings.size(), 1u);
  EXPECT_NE(job.Warnings[0].Text.find("does not inflate"), std::string::npos) << job.Warnings[0].Text;
  // The row rules on their own: ',' ends a row with white, '!' with black, ':' repeats.
  std::string why;
  auto small = lang::DecodeGraphic('A', "F,!:3G0", 8, 2, &why);
  ASSERT_TRUE(small);
  const char* expected[] = {"1111000000000000", "1111111111111111", "1111111111111111", "0011000000000000"};
  for (int r = 0; r < 4; ++r) {
    std::string row;
    for (int c = 0; c < 16; ++c) row += small->Black(c, r) ? '1' : '0';
    EXPECT_EQ(row, expected[r]) << r;
  }
}

}  // namespace
}  // namespace morvel

namespace morvel {
namespace {

// `morvel preview` in this process, with the shell's own streams swapped for the test's.
int PreviewCommand(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  std::istringstream in;
  return cli::PreviewMain({*cli::FindCommand("preview"), std::move(args), in, out, err});
}

// `--format pdf`: one file, a page a label at its true size; `-o DIR/`
// makes the folder, and a folder that cannot be made is told once.
TEST(ZplCommand, PdfOfAllLabelsAndFoldersMadeOrToldOnce) {
  const testing::TempFolder temp("morvel-pdf");
  const fs::path& dir = temp.Path();
  const fs::path job = dir / "three.zpl";
  std::ofstream(job) << "^XA^PW812^LL1218^FO50,50^GB200,100,100^FS^XZ"
                        "^XA^FO50,50^GB100,100,10^FS^XZ^XA^FO50,50^A0N,40,40^FDThird^FS^XZ";
  std::ostringstream out, err;
  const std::string folder = (dir / "made" / "here").string() + "/";
  EXPECT_EQ(PreviewCommand({job.string(), "-o", folder, "--format", "pdf"}, out, err), 0) << err.str();
  const std::string pdf = ReadAll(folder + "three.pdf");
  ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u) << out.str();
  size_t pages = 0;
  for (size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
    pages += pdf.compare(at, 12, "/Type /Pages") != 0;
  EXPECT_EQ(pages, 3u);
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 288 432 ]"), std::string::npos);  // 4 x 6 in
  // PNGs into a folder made on the way; then one that cannot be made.
  EXPECT_EQ(PreviewCommand({job.string(), "-o", (dir / "pngs").string() + "/"}, out, err), 0);
  EXPECT_TRUE(fs::exists(dir / "pngs" / "three-3.png"));
  std::ostringstream err2;
  std::ofstream(dir / "file") << "x";
  EXPECT_EQ(PreviewCommand({job.string(), "-o", (dir / "file" / "sub").string() + "/"}, out, err2), 1);
  const std::string told = err2.str();
  EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
}

// ^GS draws the guide's graphic symbols: A registered, B copyright, C trade
// mark, D the UL mark, E the CSA mark. No font has the last two; a missing
// glyph would show as a box, which inks the corners that a circle leaves
// white. The UL ring is closed, the CSA "C" open on the right.
TEST(ZplGraphicSymbols, EveryLetterOfTheTableIsDrawnAsItsMark) {
  struct Case {
    char Letter;
    bool Round;      // a circle: its box's corners white
    bool OpenRight;  // the middle row's right end is open
  };
  const Case cases[] = {
      {'A', true, false}, {'B', true, false}, {'C', false, false}, {'D', true, false}, {'E', true, true}};
  std::vector<core::Bitmap> seen;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Letter);
    const core::Bitmap dots = One(std::string("^XA^PW300^LL200^FO10,10^GSN,80,80^FD") + c.Letter + "^FS^XZ");
    const InkBox ink = InkOf(dots);
    ASSERT_GT(ink.X1, ink.X0);
    const core::Bitmap mark = Crop(dots, ink.X0, ink.Y0, ink.X1, ink.Y1);
    auto same = [&mark](const core::Bitmap& other) {
      if (other.Width() != mark.Width() || other.Height() != mark.Height()) return false;
      for (int y = 0; y < mark.Height(); ++y)
        if (!std::equal(mark.Row(y), mark.Row(y) + mark.Width(), other.Row(y))) return false;
      return true;
    };
    EXPECT_TRUE(std::none_of(seen.begin(), seen.end(), same));
    seen.push_back(mark);
    const int w = mark.Width(), h = mark.Height();
    if (c.Round) {
      for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) EXPECT_FALSE(mark.Black(x, y));
    }
    if (c.Letter == 'D' || c.Letter == 'E') {
      // A circle as wide as the cell allows above the baseline (0.78 of
      // 80), on the baseline at 10 + 62, letters inside it.
      EXPECT_NEAR(h, 62, 2);
      EXPECT_NEAR(ink.Y1, 72, 2);
      EXPECT_EQ(w < h - 4, c.OpenRight);
      int inside = 0;
      for (int y = h / 3; y < 2 * h / 3; ++y)
        for (int x = w / 4; x < 3 * w / 4; ++x) inside += mark.Black(x, y);
      EXPECT_GT(inside, w * h / 40);
      int from = w - 1;
      while (from > 0 && !mark.Black(from, h / 2)) --from;
      EXPECT_EQ(from < h * 0.9, c.OpenRight) << from;
    }
  }
  // Turned with the field like any text: 90 degrees swaps the box's sides.
  const InkBox upright = InkOf(One("^XA^PW300^LL300^FO10,10^GSN,80,80^FDDDE^FS^XZ"));
  const InkBox turned = InkOf(One("^XA^PW300^LL300^FO10,10^GSR,80,80^FDDDE^FS^XZ"));
  EXPECT_NEAR(turned.X1 - turned.X0, upright.Y1 - upright.Y0, 2);
  EXPECT_NEAR(turned.Y1 - turned.Y0, upright.X1 - upright.X0, 2);
}

}  // namespace
}  // namespace morvel

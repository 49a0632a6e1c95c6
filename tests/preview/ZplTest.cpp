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

#include "preview/Preview.h"
#include "preview/ZplGraphics.h"
#include "support/PageCheck.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

const fs::path Samples = fs::path(MORVEL_SOURCE_DIR) / ".." / "shared" / "zpl-samples";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

bool Have(const char* tool) { return !Shell(std::string("command -v ") + tool + " 2>/dev/null").empty(); }

testing::DecodedPage PageOf(const render::Bitmap& dots) {
  testing::DecodedPage page;
  page.Width = dots.Width();
  page.Height = dots.Height();
  page.Grey.resize(static_cast<size_t>(page.Width) * page.Height, 255);
  for (int y = 0; y < page.Height; ++y)
    for (int x = 0; x < page.Width; ++x)
      if (dots.Black(x, y)) page.Grey[static_cast<size_t>(y) * page.Width + x] = 0;
  return page;
}

render::Bitmap Crop(const render::Bitmap& dots, int x0, int y0, int x1, int y1) {
  x0 = std::max(0, x0), y0 = std::max(0, y0), x1 = std::min(dots.Width(), x1), y1 = std::min(dots.Height(), y1);
  render::Bitmap out(std::max(1, x1 - x0), std::max(1, y1 - y0));
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (dots.Black(x, y)) out.Set(x - x0, y - y0, true);
  return out;
}

// The labels as the printer draws them before ^POI turns them: text reads
// upright for tesseract, and crops stay in the job's coordinates.
std::vector<render::Bitmap> Draw(const std::string& job, std::vector<preview::Warning>* warnings) {
  preview::Job parsed = preview::Parse(job, preview::Language::Zpl, 203);
  if (warnings) *warnings = parsed.Warnings;
  std::vector<render::Bitmap> out;
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

// Text fields of the job as a person reads its commands: the upright fields
// with a font, their ^FD after ^FH, in words of two characters or more.
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
        field.find("^FW") != std::string::npos && field.find("^FWN") == std::string::npos)
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
        text += data[i] == '\r' || data[i] == '\n' ? ' ' : data[i];
      }
    }
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
  std::string Data;  // as the reader gives it, after ^FH, ZPL's rules applied
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;  // a window for ZXing (2D symbols)
  const char* Format = nullptr;        // ZXing's name; null: zbar reads it
};

struct Sample {
  const char* Name;
  std::vector<std::vector<Code>> Labels;
};

std::string Ean(const std::string& twelve) { return twelve + Mod10(twelve); }

TEST(ZplSamples, BarcodesDecodeToTheirDataTextReadsAndNoCommandIsUnknown) {
  if (!fs::exists(Samples)) GTEST_SKIP() << "no samples at " << Samples;
  const bool zxing = Have("ZXingReader"), ocr = Have("tesseract");
  const std::string t128 = "9632080400200044387502171053828143";
  const std::string aztec = "Part:123;Warehouse:BYZA;Position:12-12-1";
  const std::string fedexPdf =
      "[)>\x1E" "01\x1D" "0211111\x1D" "840\x1D" "804\x1D" "271053820000\x1D" "FDEG\x1D" "200044387\x1D" "047\x1D\x1D" "1/1\x1D"
      "0.23LB\x1DN\x1D" "5000 S 160th St\x1D" "Des Moines\x1DWA\x1DTest Receiver\x1E" "06\x1D" "10ZGH007\x1D" "12Z13602284998\x1D"
      "20Z\x1C\x1D" "31Z9632080400200044387500271053820000\x1D" "9K23414445\x1D\x1E\x04";
  const std::vector<Sample> samples = {
      {"amazon", {{{"1AAAAAAA"}, {"AMZNCC00000010000000"}}}},
      {"aztec_ec", {{{aztec, 55, 60, 210, 215, "Aztec"}}}},
      {"barcode128_default_width", {{{t128}}}},
      {"barcode128_line_above", {{{t128}}}},
      {"barcode128_mode_a", {{{">;" + t128}}}},                 // automatic mode: '>' is data
      {"barcode128_mode_u", {{{"9632080400200044387" "4"}}}},   // 19 digits and their check
      {"barcode128_rotated", {{{t128}}}},
      {"dhlpaket", {{{"40327660015+99000942000000"}, {"222200000000000000"}}}},
      // Each symbol in a window of its own: zbar tells a repeated symbol once.
      {"ean13",
       {{{Ean("123456789012"), 40, 40, 290, 195}, {Ean("123456789012"), 290, 40, 540, 195},
         {Ean("123456789012"), 540, 40, 800, 195}, {Ean("590123412345"), 0, 195, 290, 440},
         {Ean("590123412345"), 250, 195, 540, 440}, {Ean("590123412345"), 500, 195, 800, 440},
         {Ean("978020137934"), 0, 440, 290, 840}, {Ean("978020137934"), 250, 440, 540, 840},
         {Ean("978020137934"), 500, 440, 800, 840}, {Ean("590123412398"), 0, 840, 290, 1100},
         {Ean("590123412398"), 250, 840, 540, 1100}, {Ean("590123412398"), 500, 840, 800, 1100}}}},
      {"encodings_013", {{}}},
      {"fedex", {{{"9632080400200044387500271053820000"}, {fedexPdf, 10, 400, 800, 600, "PDF417"}}}},
      {"gb_0_height", {{}}},
      {"gb_rounded", {{}}},
      {"qr_code_offset", {{{"MPLE CODE"}}}},  // the first three characters are the QR switches
      {"reverse", {{}}},
      {"templating", {{{"12345678"}}, {{"87654321"}}}},
      {"text_fo_b", {{}}},
      {"text_ft_n", {{}}},
      {"text_multiline", {{}}},
      {"ups",
       {{{"4210405000"},
         {"1Z680RA4DL08720000"},
         {"[)>\x1E" "01\x1D" "96" "5000  \x1D" "040\x1D" "403\x1D" "1Z08720000\x1DUPSN\x1D" "680RA4\x1D" "051\x1D\x1D" "1/1\x1D" "1\x1DN\x1D\x1DHALLEIN\x1D\x1E\x04",
          26, 440, 252, 658, "MaxiCode"}}}},
  };
  size_t wordsAll = 0, wordsRead = 0;
  const fs::path tmp = fs::temp_directory_path() / ("morvel-zpl-" + std::to_string(getpid()));
  fs::create_directories(tmp);
  for (const auto& sample : samples) {
    SCOPED_TRACE(sample.Name);
    const std::string job = ReadAll(Samples / (std::string(sample.Name) + ".zpl"));
    ASSERT_FALSE(job.empty());
    std::vector<preview::Warning> warnings;
    auto labels = Draw(job, &warnings);
    for (const auto& w : warnings) EXPECT_EQ(w.Text.find("unknown command"), std::string::npos) << w.Offset << ": " << w.Text;
    ASSERT_EQ(labels.size(), sample.Labels.size());
    for (size_t l = 0; l < labels.size(); ++l) {
      std::multiset<std::string> zbar;
      for (const auto& found : testing::Barcodes(PageOf(labels[l]))) zbar.insert(Plain(found.substr(found.find(':') + 1)));
      for (const auto& code : sample.Labels[l]) {
        if (!code.Format && code.X1 > 0) {
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
        std::ofstream(png, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::string read = Shell("ZXingReader -bytes " + std::string(std::string(code.Format) == "MaxiCode" ? "-ispure " : "") +
                               "-format " + code.Format + " " + png.string() + " 2>/dev/null");
        EXPECT_EQ(Plain(read), Plain(code.Data)) << code.Format << " read by ZXing";
      }
      if (!ocr || std::string(sample.Name) == "encodings_013") continue;
      const fs::path png = tmp / (std::string(sample.Name) + "-text.png");
      const auto bytes = render::EncodePng(labels[l], 203);
      std::ofstream(png, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
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
      for (const auto& w : words) found += seen.count(w);
      if (labels.size() == 1) {
        wordsAll += words.size();
        wordsRead += found;
        std::printf("%s: tesseract read %zu of %zu words\n", sample.Name, found, words.size());
      }
    }
  }
  fs::remove_all(tmp);
  if (ocr) {
    EXPECT_GE(wordsRead * 100, wordsAll * 85) << wordsRead << " of " << wordsAll << " words read";
    std::printf("tesseract read %zu of %zu words\n", wordsRead, wordsAll);
  }
}

}  // namespace
}  // namespace morvel

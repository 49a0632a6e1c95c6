// EPL2 end to end: whole labels written by the writer, their bytes pinned
// in a golden file; the same labels read back and drawn (text where it was
// written, Code 128 and QR decoding to their data, a GW picture dot for
// dot); the raster writer read back dot for dot; hostile jobs refused with
// their offsets; and the row's start rule against every other language's jobs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "lang/Languages.h"
#include "lang/PrinterSettings.h"
#include "lang/epl/Raster.h"
#include "lang/epl/Reader.h"
#include "lang/epl/Writer.h"
#include "preview/Preview.h"
#include "support/Golden.h"
#include "support/PageCheck.h"
#include "support/SharedSamples.h"

namespace morvel::lang {
namespace {

namespace fs = std::filesystem;
using epl::Writer;

testing::GoldenFile& Golden() {
  static testing::GoldenFile file(MORVEL_SOURCE_DIR "/tests/preview/epl-labels.golden");
  return file;
}

// 24 x 10 dots of a fixed pattern, packed for GW (0 bits black).
core::Bitmap Pattern() {
  core::Bitmap dots(24, 10);
  std::mt19937 random(7);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 24; ++x) dots.Set(x, y, (random() & 1) != 0);
  return dots;
}
std::string Packed(const core::Bitmap& dots) {
  const PackedRows rows = PackRows(dots, 0, dots.Height(), false);
  return std::string(rows.Bytes.begin(), rows.Bytes.end());
}

// A 4 x 3 inch shipping label at 203 dpi: every field the writer has.
std::string ShippingLabel() {
  Writer w;
  w.Start(812, 609, 24);
  w.Text({.X = 40, .Y = 30, .Font = '4', .Wide = 2, .High = 2}, "SHIP TO");
  w.Text({.X = 40, .Y = 100, .Font = '2', .Reverse = true}, "Say \"hi\" \\ 5");
  w.Code128({.X = 40, .Y = 180, .Narrow = 3, .Height = 100}, "MORVEL-0042");
  w.Qr({.X = 600, .Y = 180, .Scale = 5, .ErrorCorrection = 'Q'}, "https://example.com/t?42");
  w.Bar(40, 320, 700, 4);
  w.Box(20, 10, 3, 790, 590);
  const core::Bitmap dots = Pattern();
  w.Graphic(500, 400, 3, 10, Packed(dots));
  w.Print(2);
  return w.Bytes();
}

TEST(Epl, WrittenLabelsKeepTheirBytes) {
  Writer rotated;
  rotated.Start(400, 200, 0);
  rotated.Text({.X = 300, .Y = 20, .Rotation = 1, .Font = '5', .Wide = 8, .High = 9}, "R");
  rotated.Code128(
      {.X = 10, .Y = 10, .Rotation = 2, .Subset = epl::Code128Subset::C, .Narrow = 2, .Height = 40, .Readable = false},
      "123456");
  rotated.Qr({.X = 5, .Y = 5, .Model = 1, .Scale = 99, .ErrorCorrection = 'H'}, "A");
  rotated.Print(1);
  core::Bitmap wide(20, 3);
  for (int x = 0; x < 20; x += 3) wide.Set(x, 1, true);
  const struct {
    const char* Row;
    std::string Bytes;
  } labels[] = {
      {"shipping label", ShippingLabel()},
      {"rotated fields at the guide's limits", rotated.Bytes()},
      {"picture of 20 x 3 dots, 4 copies, 203 dpi", epl::LabelOfPicture(wide, 203, 4)},
      {"blank picture at 300 dpi", epl::LabelOfPicture(core::Bitmap(16, 16), 300, 1)},
  };
  for (const auto& l : labels) Golden().Expect(l.Row, l.Bytes);
  Golden().ExpectEveryRowUsed("");
}

TEST(Epl, TheWriterRefusesWhatTheGuideDoesNotAccept) {
  Writer w;
  EXPECT_THROW(w.Text({.Font = '6'}, "x"), std::invalid_argument);
  EXPECT_THROW(w.Text({.Wide = 7}, "x"), std::invalid_argument);
  EXPECT_THROW(w.Text({.High = 10}, "x"), std::invalid_argument);
  EXPECT_THROW(w.Text({.Rotation = 4}, "x"), std::invalid_argument);
  EXPECT_THROW(w.Qr({.Scale = 100}, "x"), std::invalid_argument);
  EXPECT_THROW(w.Qr({.ErrorCorrection = 'X'}, "x"), std::invalid_argument);
  EXPECT_THROW(w.Box(10, 10, 2, 10, 20), std::invalid_argument);
  EXPECT_THROW(w.Graphic(0, 0, 2, 2, "abc"), std::invalid_argument);
  EXPECT_THROW(w.Print(0), std::invalid_argument);
  EXPECT_EQ(w.Bytes(), "");
}

TEST(Epl, WrittenLabelsReadBackAndDrawWhereTheyWereWritten) {
  const std::string job = ShippingLabel();
  EXPECT_EQ(JobLanguage(job), Language::Epl);
  const Job read = ParseEpl(job, 203);
  EXPECT_TRUE(read.Warnings.empty()) << read.Warnings[0].Text;
  ASSERT_EQ(read.Labels.size(), 1u);
  EXPECT_EQ(read.Labels[0].Width, 812);
  EXPECT_EQ(read.Labels[0].Height, 609);
  EXPECT_EQ(read.Labels[0].Copies, "2");
  const auto& text = std::get<TextField>(read.Labels[0].Fields[1]);
  EXPECT_EQ(text.Utf8, "Say \"hi\" \\ 5");
  EXPECT_TRUE(text.Reverse);

  const preview::Preview seen = preview::MakePreview(job, Language::Epl, 203);
  ASSERT_EQ(seen.Pictures.size(), 1u);
  EXPECT_TRUE(seen.Problems.empty());
  const auto page = testing::DecodePage(std::string(seen.Pictures[0].Png.begin(), seen.Pictures[0].Png.end()));
  ASSERT_EQ(page.Width, 812);
  ASSERT_EQ(page.Height, 609);
  auto codes = testing::Barcodes(page);
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<std::string>{"CODE-128:MORVEL-0042", "QR-Code:https://example.com/t?42"}));
  // Font 4 doubled: 7 characters of 32 dots a pitch, 48 dots high, from (40, 30).
  EXPECT_GT(page.BlackInside(40, 30, 40 + 7 * 32, 30 + 48), 500u);
  EXPECT_EQ(page.BlackInside(40 + 7 * 32 + 8, 30, 500, 30 + 48), 0u);
  // The bar and the box's top edge, and the GW picture dot for dot.
  EXPECT_EQ(page.BlackInside(40, 320, 740, 324), 700u * 4);
  EXPECT_EQ(page.BlackInside(20, 10, 790, 13), 770u * 3);
  const core::Bitmap dots = Pattern();
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 24; ++x) ASSERT_EQ(page.Black(500 + x, 400 + y), dots.Black(x, y)) << x << "," << y;
}

TEST(Epl, ThePictureLabelReadsBackDotForDot) {
  core::Bitmap dots(203, 75);  // rows of 26 bytes, the last partly padding
  std::mt19937 random(3);
  for (int y = 0; y < 75; ++y)
    for (int x = 0; x < 203; ++x) dots.Set(x, y, (random() % 3) == 0);
  for (int y = 20; y < 40; ++y)
    for (int x = 0; x < 203; ++x) dots.Set(x, y, false);  // a white band
  const std::string job = epl::LabelOfPicture(dots, 203, 5);
  const Job read = ParseEpl(job, 203);
  ASSERT_EQ(read.Labels.size(), 1u);
  const Label& label = read.Labels[0];
  EXPECT_EQ(label.Width, 203);
  EXPECT_EQ(label.Height, 75);
  EXPECT_EQ(label.Copies, "5");
  core::Bitmap back(203, 75);
  for (const Field& f : label.Fields) {
    const auto& r = std::get<GraphicField>(f);
    for (int y = 0; y < r.Dots.Height(); ++y)
      for (int x = 0; x < r.Dots.Width(); ++x)
        if (r.Dots.Black(x, y)) back.Set(r.X + x, r.Y + y, true);
  }
  for (int y = 0; y < 75; ++y)
    for (int x = 0; x < 203; ++x) ASSERT_EQ(back.Black(x, y), dots.Black(x, y)) << x << "," << y;
}

TEST(Epl, HostileJobsAreRefusedAtTheirOffsetAndUnknownCommandsNamed) {
  const struct {
    const char* Name;
    std::string Job;
    std::string Error;    // the error holds this; empty: no error...
    size_t Offset;        // ...at this byte, or the first warning's
    std::string Warning;  // ...else the first warning holds this
  } cases[] = {
      {"GW cut short", "N\r\nGW10,10,4,4,\x01\x02", "GW announces 16 bytes of data, the job holds 2", 3, ""},
      {"GW wider than a label", "N\r\nGW0,0,99999,1,", "larger than a label", 3, ""},
      {"GW header not numbers", "N\r\nGW0,0,x,1,", "GW header fields are not numbers", 3, ""},
      {"GW header without its end", "N\r\nGW0,0,1", "GW header is cut", 3, ""},
      {"GM beyond its data", "GM\"LOGO\",5000\r\nPCX", "GM announces 5000 bytes", 0, ""},
      {"ES beyond its data", std::string("N\r\nES\"a\"\x02\x00\x10\x41\x08\x02", 14), "ES announces 32 bytes", 3, ""},
      {"FS without FE", "FS\"F1\"\r\nN\r\nA1,1,0,1,1,1,N,\"x\"\r\n", "without its FE", 0, ""},
      {"line without its end", "N\r\nLO1,2,3,4", "cut in the middle of a command", 3, ""},
      {"unknown command", "N\r\nHQ12\r\nLO1,2,3,4\r\nP1\r\n", "", 3, "unknown command HQ"},
      {"huge width", "N\r\nq999999999\r\nP1\r\n", "", 3, "q '999999999' is not a size"},
      {"font that is no resident font", "N\r\nA1,1,0,9,1,1,N,\"x\"\r\nP1\r\n", "", 3, "not a resident font"},
      {"bar code the preview does not draw", "N\r\nB1,1,0,3,2,6,50,N,\"X\"\r\nP1\r\n", "", 3, "'3' is not drawn"},
      {"fields after the last P", "N\r\nP1\r\nLO1,2,3,4\r\n", "", 7, "after the last P"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (!c.Error.empty()) {
      try {
        ParseEpl(c.Job, 203);
        ADD_FAILURE() << "no error";
      } catch (const MalformedJob& e) {
        EXPECT_NE(std::string(e.what()).find(c.Error), std::string::npos) << e.what();
        EXPECT_EQ(e.Offset(), c.Offset);
      }
      continue;
    }
    const Job job = ParseEpl(c.Job, 203);
    ASSERT_FALSE(job.Warnings.empty());
    EXPECT_NE(job.Warnings[0].Text.find(c.Warning), std::string::npos) << job.Warnings[0].Text;
    EXPECT_EQ(job.Warnings[0].Offset, c.Offset);
  }
}

// Rows are tried in order, EPL2 last; its own rule still never takes
// another language's job, the real ZPL samples among them.
TEST(Epl, ItsStartNeverClaimsAnotherLanguagesJob) {
  std::vector<std::string> others = {"^XA^FO10,10^FDx^FS^XZ",
                                     "~HS",
                                     "\x1b"
                                     "A\x1bZ",
                                     "SIZE 101.6 mm,152.4 mm\r\n",
                                     "CLS\r\n",
                                     "DENSITY 8\r\n",
                                     "PRINT 1,1\r\n",
                                     "BAR 1,2,3,4\r\n",
                                     "A quick note",
                                     "! U1 getvar \"device.languages\"\r\n",
                                     "%PDF-1.4"};
  const fs::path samples = testing::SharedSamples("zpl-samples");
  for (const auto& entry : samples.empty() ? fs::directory_iterator() : fs::directory_iterator(samples))
    if (entry.path().extension() == ".zpl") {
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      others.push_back(s.str());
    }
  const LanguageRow& epl = RowOf(Language::Epl);
  for (const std::string& job : others) {
    const size_t start = job.find_first_not_of(" \t\r\n");
    EXPECT_FALSE(epl.Starts(std::string_view(job).substr(start))) << job.substr(0, 40);
    EXPECT_NE(JobLanguage(job), Language::Epl) << job.substr(0, 40);
  }
  for (const char* job :
       {"\r\nN\r\nq812\r\n", "N\n", "q812\r\n", "GW0,0,1,1,\xff", "ZB\r\n", "B10,10,0,1,2,2,50,B,\"x\""})
    EXPECT_EQ(JobLanguage(job), Language::Epl) << job;
}

// Setting commands found command by command, never inside a field's data.
TEST(Epl, PrinterSettingsAreFoundAsCommandsOnly) {
  const struct {
    std::string Job;
    std::string Command;  // empty: none
  } cases[] = {
      {"N\r\nA1,1,0,1,1,1,N,\"Y96,N,8,1\"\r\nP1\r\n", ""},
      {"N\r\nGW0,0,2,1,Y9\r\nP1\r\n", ""},
      {"\r\nY96,N,8,1\r\nN\r\nP1\r\n", "Y96,N,8,1"},
      {"^default\r\n", "^DEFAULT"},
      {"! U1 setvar \"ip.dhcp.enable\" \"off\"\r\nN\r\n", "! U1 SETVAR \"IP."},
      {"GK\"*\"\r\nN\r\nP1\r\n", "GK\"*\""},
  };
  for (const auto& c : cases) {
    const auto found = FirstPrinterSetting(c.Job, Language::Epl);
    EXPECT_EQ(found ? found->Command : "", c.Command) << c.Job;
  }
}

}  // namespace
}  // namespace morvel::lang

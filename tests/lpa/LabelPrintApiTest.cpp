// libLabelPrintAPI.so called as a C program calls it: the order of calls it
// accepts, the arguments it refuses, what reaches the spooler, the grey
// threshold of images, and the twelve exports that are all it shows.
#include <gmock/gmock.h>

#include <cstdio>
#include <functional>
#include <set>

#include "lpa/LabelPrintAPI.h"
#include "morvel/picture.h"
#include "support/FakeEnvironment.h"
#include "support/PageCheck.h"

extern "C" int LabelFromC(const char* printerName);

namespace morvel {
namespace {

using Step = std::function<int32_t()>;

// Calls that open a printer, a job of 60 x 40 mm and its page.
int32_t Open() { return LPAOpenPrinter("Dothan T7 Label"); }
int32_t Job() { return LPAStartJob(6000, 4000, 0, 0, 1, "job"); }
int32_t Page() { return LPAStartPage(); }
int32_t Draw() { return LPADrawLine(500, 500, 3000, 500, 40); }
int32_t End() { return LPAEndPage(); }
int32_t Commit() { return LPACommitJob(); }

struct OrderCase {
  const char* Name;
  std::vector<std::pair<Step, int32_t>> Steps;  // each call and its result
  size_t Documents;                             // sent to the spooler in the end
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.Name; }

const OrderCase OrderCases[] = {
    {"WholeLabel", {{Open, 1}, {Job, 1}, {Page, 1}, {Draw, 1}, {End, 1}, {Commit, 1}}, 1},
    {"NoPrinterNoJob", {{Job, 0}, {Page, 0}, {Draw, 0}, {Commit, 0}, {LPAClosePrinter, 0}}, 0},
    {"DrawingWithoutAJob", {{Open, 1}, {Draw, 0}, {Page, 0}, {End, 0}, {Commit, 0}}, 0},
    {"DrawingWithoutAPage",
     {{Open, 1}, {Job, 1}, {Draw, 0}, {Page, 1}, {Page, 0}, {Draw, 1}, {End, 1}, {Draw, 0}, {End, 0}, {Commit, 1}},
     1},
    // A second job before the commit is refused; the first is kept whole.
    {"SecondJobBeforeCommit",
     {{Open, 1}, {Job, 1}, {Page, 1}, {Draw, 1}, {Job, 0}, {Draw, 1}, {End, 1}, {Commit, 1}, {Commit, 0}},
     1},
    // A commit prints once and only once; later mistakes lose nothing sent.
    {"CommittedStaysSent",
     {{Open, 1}, {Job, 1}, {Page, 1}, {End, 1}, {Commit, 1}, {Commit, 0}, {End, 0}, {LPAClosePrinter, 1}, {Commit, 0}},
     1},
    {"ClosingDropsAnUncommittedJob", {{Open, 1}, {Job, 1}, {Page, 1}, {LPAClosePrinter, 1}, {Commit, 0}}, 0},
    {"Copies", {{Open, 1}, {[] { return LPAStartJob(6000, 4000, 0, 0, 2, "two"); }, 1}, {Commit, 1}}, 2},
    {"RefusedArguments",
     {{[] { return LPAOpenPrinter("Office Laser"); }, 0},
      {[] { return LPAOpenPrinter(nullptr); }, 0},
      {Open, 1},
      {[] { return LPAStartJob(6000, 4000, 1, 0, 1, "unit"); }, 0},
      {[] { return LPAStartJob(6000, 4000, 0, 45, 1, "angle"); }, 0},
      {[] { return LPAStartJob(6000, 4000, 0, 0, 0, "no copies"); }, 0},
      {[] { return LPAStartJob(0, 4000, 0, 0, 1, "no width"); }, 0},
      {[] { return LPAStartJob(6000, 1000000000, 0, 0, 1, "too tall"); }, 0},
      {[] { return LPAStartJob(200000, 200000, 0, 0, 1, "2 x 2 m"); }, 0},
      {Job, 1},
      {Page, 1},
      {[] { return LPADraw1DBarcode("123", 27, 0, 0, 3000, 1000, 300); }, 0},
      {[] { return LPADraw1DBarcode("", 28, 0, 0, 3000, 1000, 300); }, 0},
      {[] { return LPADraw1DBarcode("\xC4\xFF", 28, 0, 0, 3000, 1000, 300); }, 1},  // beyond ASCII: FNC4
      {[] { return LPADraw2DQRCode("A", 0, 0, -1, 1000); }, 0},
      {[] { return LPADrawLine(0, 0, 5000, 0, -40); }, 0},
      {[] { return LPADrawText("A", 0, 0, 100, 100, "Sans", 2000000, 0); }, 0},
      {[] { return LPADrawText("A", 0, 0, 100, 100, "Sans", 900000, 0); },
       0},  // 7,193 dots: its glyphs alone take gigabytes
      {[] { return LPADrawImage("/nonexistent/logo.bmp", 0, 0, 100, 100, 192); }, 0},
      {[] { return LPADrawImage(MORVEL_SOURCE_DIR "/examples/logo.bmp", 0, 0, 100, 100, 300); }, 0},
      {[] { return LPADrawImage(MORVEL_SOURCE_DIR "/examples/printers.conf", 0, 0, 100, 100, 192); }, 0},
      {[] { return LPADrawBitmap(0, 0, 0, 0, 100, 100, 192); }, 0},
      {Commit, 1}},
     1},
};

class LabelPrintApiTest : public testing::FakeEnvironment {
 protected:
  LabelPrintApiTest() { Install({{u"Dothan T7 Label", 203}}); }
  ~LabelPrintApiTest() override { LPAClosePrinter(); }
};

class LabelPrintApiOrderTest : public LabelPrintApiTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(LabelPrintApiOrderTest, ResultsAndDocuments) {
  int step = 0;
  for (auto& [call, expected] : GetParam().Steps) EXPECT_EQ(call(), expected) << "step " << step++;
  EXPECT_EQ(Fakes.Spool->Documents.size(), GetParam().Documents);
  for (auto& d : Fakes.Spool->Documents) {
    EXPECT_EQ(d.Type, "image/png");
    EXPECT_TRUE(testing::DecodePage(d.Bytes()).Valid());
  }
  // Every refusal says why in the log.
  size_t refusals = 0;
  for (auto& [call, expected] : GetParam().Steps) refusals += expected == 0;
  EXPECT_GE(Fakes.Logger->Records.size(), refusals);
}

INSTANTIATE_TEST_SUITE_P(Lpa, LabelPrintApiOrderTest, ::testing::ValuesIn(OrderCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Grey levels 191 and 192 side by side, stretched into a 2 x 1 cm box:
// below the threshold is black, at it white; transparency is white.
TEST_F(LabelPrintApiTest, ImagesAreCutAtTheGreyThreshold) {
  PictureRef picture = Picture::Create(3, 1, {191, 191, 191, 255, 192, 192, 192, 255, 0, 0, 0, 0});
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(Job(), 1);
  ASSERT_EQ(Page(), 1);
  ASSERT_EQ(LPADrawBitmap(picture->Handle(), 0, 1000, 1000, 3000, 1000, 192), 1);
  ASSERT_EQ(End(), 1);
  ASSERT_EQ(Commit(), 1);
  auto page = testing::DecodePage(Fakes.Spool->Documents.at(0).Bytes());
  ASSERT_TRUE(page.Valid());
  // The box: 80..320 dots across, 80..160 down; each third is 80 dots wide
  // and an enlarged picture keeps its pixels whole.
  EXPECT_EQ(page.BlackInside(80, 80, 160, 160), 80u * 80);
  EXPECT_EQ(page.BlackTotal(), 80u * 80);
}

TEST_F(LabelPrintApiTest, CallableFromC) {
  EXPECT_EQ(LabelFromC("dothan t7 label"), 7) << "every call done; the name matched without regard to case";
  ASSERT_EQ(Fakes.Spool->Documents.size(), 1u);
  auto page = testing::DecodePage(Fakes.Spool->Documents[0].Bytes());
  EXPECT_EQ(page.Width, 160);  // 20 mm across once turned by 90 degrees
  EXPECT_EQ(page.Height, 240);
  EXPECT_EQ(testing::Barcodes(page), std::vector<std::string>{"QR-Code:from C"});
}

TEST_F(LabelPrintApiTest, ExportsOnlyTheTwelveFunctions) {
  std::string command = "nm -D --defined-only " MORVEL_BINARY_DIR "/lib/libLabelPrintAPI.so";
  FILE* nm = popen(command.c_str(), "r");
  ASSERT_NE(nm, nullptr);
  std::set<std::string> names;
  char address[64], kind[8], name[256];
  while (std::fscanf(nm, "%63s %7s %255s", address, kind, name) == 3)
    if (std::string(kind) != "A") names.insert(name);
  pclose(nm);
  EXPECT_EQ(names, (std::set<std::string>{"LPAClosePrinter", "LPACommitJob", "LPADraw1DBarcode", "LPADraw2DQRCode",
                                          "LPADrawBitmap", "LPADrawImage", "LPADrawLine", "LPADrawText", "LPAEndPage",
                                          "LPAOpenPrinter", "LPAStartJob", "LPAStartPage"}));
}

}  // namespace
}  // namespace morvel

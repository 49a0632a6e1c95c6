// The Dothan driver's library calls, read from libLabelPrintAPI.so's own
// trace (MORVEL_LPA_TRACE), and the driver without its library. The traces
// are rows of dothan.golden, worked by hand for a 96 ppi screen.
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "drivers/dothan/LabelPrintLibrary.h"
#include "morvel/PrintBarCode.h"
#include "morvel/clsBase64.h"
#include "support/FakeEnvironment.h"
#include "support/Golden.h"
#include "support/ScopedEnv.h"

namespace morvel {
namespace {

using testing::ErrorOf;

const std::string LogoPath = MORVEL_SOURCE_DIR "/examples/logo.bmp";

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The control's calls, with the host's variables made for each.
struct Host {
  PrintBarCode& c;
  void Select() {
    String name = u"Dothan T7 Label";
    c.SetPrint(name);
  }
  void Open() {
    String name = u"Dothan T7 Label";
    c.OpenPort(name);
  }
  void Init(String wide, String height, String direction = u"0") {
    String speed = u"4", nd = u"10", cz = u"2", sp = u"1";
    c.InitPrint(wide, height, speed, nd, cz, sp, direction);
  }
  void Font(Single x, Single y, String txt, Single height, String face = u"Arial") {
    c.PrintFont(x, y, txt, height, face);
  }
  void Bar(Single x, Single y, Single w, Single h) { c.PrintBar(x, y, w, h); }
  void Code(Single x, Single y, String code, String type, Single height, String kBar = u"200") {
    String readable = u"1", zBar = u"2";
    c.PrintCode(x, y, code, type, readable, height, zBar, kBar);
  }
  void Label(String copies = u"1") { c.PrintLabel(copies); }
};

struct TraceCase {
  const char* Name;  // its trace is the row Trace/NAME of dothan.golden
  std::function<void(Host&)> Calls;
};

void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.Name; }

const TraceCase TraceCases[] = {
    {"OpenAndClose", [](Host& h) { h.Open(), h.c.ClosePort(); }},
    {"InitPrintOpensJobAndPage", [](Host& h) { h.Init(u"60", u"40", u"1"); }},
    {"OrientationCodes",
     [](Host& h) {
       for (String d : {u"0", u"1", u"2", u"3", u"4", u"", u"03"}) h.Init(u"50.5", u"30.25", d);
     }},
    {"TextBeforeInitPrintHasNoWidth", [](Host& h) { h.Font(10, 20, u"ABC", 9); }},
    {"TextBoxIsTheLabelWidth", [](Host& h) { h.Init(u"60.5", u"40"), h.Font(100, 0, u"Grüße", 8, u"DejaVu Sans"); }},
    {"HalvesGoToEven", [](Host& h) { h.Bar(36, 60, 1, 0); }},
    {"ThinBarsAreLinesAlongThem", [](Host& h) { h.Bar(10, 20, 1, 50), h.Bar(10, 20, 50, 1); }},
    {"OtherBarsAreDiagonalsNotBoxes", [](Host& h) { h.Bar(10, 20, 2, 2), h.Bar(0, 0, 96, 48); }},
    {"Code128IsKBarWideWithA3mmLine", [](Host& h) { h.Code(10, 50, u"12345678", u"128", 50, u"200"); }},
    {"QrSideIsHeightTimes1point75Mm", [](Host& h) { h.Code(300, 10, u"ABC", u"QRCODE", 20); }},
    {"OtherCodeTypesDrawNothing",
     [](Host& h) {
       h.Code(0, 0, u"ABC", u"qrcode", 20), h.Code(0, 0, u"1", u"39", 20), h.Code(0, 0, u"1", u"128 ", 9);
     }},
    {"OneLabelWhateverTheCopies", [](Host& h) { h.Label(u"3"); }},
    {"ImageFileIsScaledIntoItsBox", [](Host& h) { h.c.DrawImageFromFile(u"/x/logo.bmp", 10, 20, 30, 40); }},
    {"PicturesGoByHandle",
     [](Host& h) {
       clsBase64 codec;
       ByteArray bytes;
       codec.LoadFile(FromUtf8(LogoPath), bytes);
       h.c.DrawImageFromBase64(codec.Base64Encode(bytes), 10, 20, 30, 40);
       PictureRef logo = platform::Current().Images->Decode(bytes.Data(), bytes.Size());
       h.c.DrawImageFromPicture(logo, 0, 0, 0, 0);
     }},
    {"CommandsAndRfidAreIgnored",
     [](Host& h) {
       String cmd = u"^XA", a = u"1";
       h.c.SendCmd(cmd);
       h.c.InitRFID(a, a, a, a, a, a);
       h.c.OpRFID(a, a, a, a, a, a);
     }},
    {"LengthsBeyond32BitsSkipTheCall",
     [](Host& h) { h.Bar(1e12f, 0, 5, 5), h.Font(0, 1e9f, u"lost", 9), h.Bar(0, 0, 96, 0); }},
};

testing::GoldenFile& Golden() {
  static testing::GoldenFile golden(MORVEL_SOURCE_DIR "/tests/drivers/dothan.golden");
  return golden;
}

class DothanTraceTest : public testing::FakeEnvironment, public ::testing::WithParamInterface<TraceCase> {
 protected:
  DothanTraceTest() {
    Install({{u"Dothan T7 Label", 203}});
    host.Select();
  }
  ~DothanTraceTest() override {
    // Leaves the library with no printer and no job for the next test.
    trace.reset();
    host.c.ClosePort();
    unlink(tracePath.c_str());
  }
  std::string Trace() { return ReadText(tracePath); }

  std::string tracePath = "/tmp/morvel-lpa-trace-" + std::to_string(getpid());
  std::unique_ptr<testing::ScopedEnv> trace = [this] {
    unlink(tracePath.c_str());
    return std::make_unique<testing::ScopedEnv>("MORVEL_LPA_TRACE", tracePath);
  }();
  PrintBarCode control;
  Host host{control};
};

TEST_P(DothanTraceTest, LibraryCalls) {
  GetParam().Calls(host);
  Golden().Expect(std::string("Trace/") + GetParam().Name, Trace());
}

INSTANTIATE_TEST_SUITE_P(Dothan, DothanTraceTest, ::testing::ValuesIn(TraceCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Each case has its row and each row its case.
TEST(DothanTraceRows, OneForEachCase) {
  for (const auto& c : TraceCases) Golden().Value(std::string("Trace/") + c.Name);
  Golden().ExpectEveryRowUsed("Trace/");
}

// Failures outside the binding routines reach the host, and nothing is drawn.
TEST_F(DothanTraceTest, BadArgumentsRaiseBeforeAnyCall) {
  EXPECT_EQ(ErrorOf([&] { host.Init(u"sixty", u"40"); }), errors::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { host.Init(u"50", u"forty"); }), errors::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { host.Code(0, 0, u"1", u"128", 9, u"wide"); }), errors::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { host.Bar(3e38f, 0, 3e38f, 0); }), errors::Overflow);
  EXPECT_EQ(ErrorOf([&] { host.c.DrawImageFromBase64(u"QUJD", 0, 0, 9, 9); }), errors::ObjectNotSet);
  EXPECT_EQ(ErrorOf([&] { host.c.DrawImageFromBase64(u"=", 0, 0, 9, 9); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { host.c.DrawImageFromPicture(nullptr, 0, 0, 9, 9); }), errors::ObjectNotSet);
  EXPECT_TRUE(Fakes.Messages->Shown.empty()) << "bytes that are no image leave no picture without a message";
  // The width was taken before the bad height stopped InitPrint.
  host.Font(0, 0, u"A", 9);
  EXPECT_EQ(Trace(), "LPADrawText\tA\t0\t0\t5000\t453\tArial\t353\t0\n");
}

TEST_F(DothanTraceTest, WithoutTheLibraryOnlyOpenPortSaysSo) {
  const std::string real = dothan::LabelPrintLibrary::FileName();
  dothan::LabelPrintLibrary::SetFileName("libLabelPrintAPI-missing.so");
  int errors = 0;
  for (int port = 0; port < 2; ++port) {
    host.Open();
    errors += ErrorOf([&] {
      host.Init(u"60", u"40");
      host.Font(10, 20, u"ABC", 9);
      host.Bar(10, 20, 1, 50);
      host.Code(10, 50, u"12345678", u"128", 50);
      host.Code(10, 50, u"12345678", u"QRCODE", 10);
      host.c.DrawImageFromFile(FromUtf8(LogoPath), 0, 0, 10, 10);
      host.Label();
      host.c.ClosePort();
    });
  }
  dothan::LabelPrintLibrary::SetFileName(real);
  EXPECT_EQ(errors, 0);
  ASSERT_EQ(Fakes.Messages->Shown.size(), 2u) << "one message per OpenPort";
  for (auto& [caption, text] : Fakes.Messages->Shown)
    EXPECT_NE(text.find("libLabelPrintAPI-missing.so"), std::string::npos) << text;
  EXPECT_EQ(Trace(), "");
}

}  // namespace
}  // namespace morvel

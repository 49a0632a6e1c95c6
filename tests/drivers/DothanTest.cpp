// The Dothan driver's library calls, read from libLabelPrintAPI.so's own
// trace (MORVEL_LPA_TRACE), and the driver without its library. Expected
// arguments are worked by hand for a 96 ppi screen: x pixels are
// x * 25.4 / 96 mm, points p are p * 25.4 / 72 mm, both in hundredths
// rounded half to even.
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "drivers/dothan/LabelPrintLibrary.h"
#include "morvel/PrintBarCode.h"
#include "morvel/clsBase64.h"
#include "support/FakeEnvironment.h"
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
  const char* Name;
  std::function<void(Host&)> Calls;
  const char* Expected;  // the trace lines, TAB between arguments
};

void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.Name; }

const TraceCase TraceCases[] = {
    {"OpenAndClose", [](Host& h) { h.Open(), h.c.ClosePort(); },
     "LPAOpenPrinter\tDothan T7 Label\n"
     "LPAClosePrinter\n"},
    {"InitPrintOpensJobAndPage", [](Host& h) { h.Init(u"60", u"40", u"1"); },
     "LPAStartJob\t6000\t4000\t0\t180\t1\tBarCodeDothan\n"
     "LPAStartPage\n"},
    {"OrientationCodes",
     [](Host& h) {
       for (String d : {u"0", u"1", u"2", u"3", u"4", u"", u"03"}) h.Init(u"50.5", u"30.25", d);
     },
     "LPAStartJob\t5050\t3025\t0\t0\t1\tBarCodeDothan\nLPAStartPage\n"
     "LPAStartJob\t5050\t3025\t0\t180\t1\tBarCodeDothan\nLPAStartPage\n"
     "LPAStartJob\t5050\t3025\t0\t90\t1\tBarCodeDothan\nLPAStartPage\n"
     "LPAStartJob\t5050\t3025\t0\t270\t1\tBarCodeDothan\nLPAStartPage\n"
     "LPAStartJob\t5050\t3025\t0\t0\t1\tBarCodeDothan\nLPAStartPage\n"
     "LPAStartJob\t5050\t3025\t0\t0\t1\tBarCodeDothan\nLPAStartPage\n"
     "LPAStartJob\t5050\t3025\t0\t0\t1\tBarCodeDothan\nLPAStartPage\n"},
    // 9 pt + 1 = 10 pt = 3.5278 mm; the box is 1 mm taller; no InitPrint
    // yet, so the box is 0 wide.
    {"TextBeforeInitPrintHasNoWidth", [](Host& h) { h.Font(10, 20, u"ABC", 9); },
     "LPADrawText\tABC\t265\t529\t0\t453\tArial\t353\t0\n"},
    {"TextBoxIsTheLabelWidth", [](Host& h) { h.Init(u"60.5", u"40"), h.Font(100, 0, u"Grüße", 8, u"DejaVu Sans"); },
     "LPAStartJob\t6050\t4000\t0\t0\t1\tBarCodeDothan\nLPAStartPage\n"
     "LPADrawText\tGr\xFC\xDF" "e\t2646\t0\t6050\t418\tDejaVu Sans\t318\t0\n"},
    // 36 px = 9.525 mm and 60 px = 15.875 mm: halves go to the even neighbour.
    {"HalvesGoToEven", [](Host& h) { h.Bar(36, 60, 1, 0); }, "LPADrawLine\t952\t1588\t952\t1588\t40\n"},
    {"ThinBarsAreLinesAlongThem", [](Host& h) { h.Bar(10, 20, 1, 50), h.Bar(10, 20, 50, 1); },
     "LPADrawLine\t265\t529\t265\t1852\t40\n"
     "LPADrawLine\t265\t529\t1588\t529\t40\n"},
    {"OtherBarsAreDiagonalsNotBoxes", [](Host& h) { h.Bar(10, 20, 2, 2), h.Bar(0, 0, 96, 48); },
     "LPADrawLine\t265\t529\t317\t582\t40\n"
     "LPADrawLine\t0\t0\t2540\t1270\t40\n"},
    {"Code128IsKBarWideWithA3mmLine", [](Host& h) { h.Code(10, 50, u"12345678", u"128", 50, u"200"); },
     "LPADraw1DBarcode\t12345678\t28\t265\t1323\t5292\t1323\t300\n"},
    {"QrSideIsHeightTimes1point75Mm", [](Host& h) { h.Code(300, 10, u"ABC", u"QRCODE", 20); },
     "LPADraw2DQRCode\tABC\t7938\t265\t3500\t3500\n"},
    {"OtherCodeTypesDrawNothing",
     [](Host& h) { h.Code(0, 0, u"ABC", u"qrcode", 20), h.Code(0, 0, u"1", u"39", 20), h.Code(0, 0, u"1", u"128 ", 9); },
     ""},
    {"OneLabelWhateverTheCopies", [](Host& h) { h.Label(u"3"); }, "LPAEndPage\nLPACommitJob\n"},
    {"ImageFileIsScaledIntoItsBox", [](Host& h) { h.c.DrawImageFromFile(u"/x/logo.bmp", 10, 20, 30, 40); },
     "LPADrawImage\t/x/logo.bmp\t265\t529\t794\t1058\t192\n"},
    {"PicturesGoByHandle",
     [](Host& h) {
       clsBase64 codec;
       ByteArray bytes;
       codec.LoadFile(FromUtf8(LogoPath), bytes);
       h.c.DrawImageFromBase64(codec.Base64Encode(bytes), 10, 20, 30, 40);
       PictureRef logo = platform::Current().Images->Decode(bytes.Data(), bytes.Size());
       h.c.DrawImageFromPicture(logo, 0, 0, 0, 0);
     },
     "LPADrawBitmap\thandle\t0\t265\t529\t794\t1058\t192\n"
     "LPADrawBitmap\thandle\t0\t0\t0\t0\t0\t192\n"},
    {"CommandsAndRfidAreIgnored",
     [](Host& h) {
       String cmd = u"^XA", a = u"1";
       h.c.SendCmd(cmd);
       h.c.InitRFID(a, a, a, a, a, a);
       h.c.OpRFID(a, a, a, a, a, a);
     },
     ""},
    // A length beyond 32 bits of hundredths skips that one call.
    {"LengthsBeyond32BitsSkipTheCall",
     [](Host& h) { h.Bar(1e12f, 0, 5, 5), h.Font(0, 1e9f, u"lost", 9), h.Bar(0, 0, 96, 0); },
     "LPADrawLine\t0\t0\t2540\t0\t40\n"},
};

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
  EXPECT_EQ(Trace(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Dothan, DothanTraceTest, ::testing::ValuesIn(TraceCases),
                         [](const auto& info) { return std::string(info.param.Name); });

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

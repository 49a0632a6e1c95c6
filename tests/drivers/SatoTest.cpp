// SBPL composed by the SATO driver, checked against the recording spooler
// and a socket listener. The label bytes are rows of sato.golden, each
// saying how it was worked out (203 dpi printer, 96 ppi screen).
#include <fstream>
#include <iterator>

#include "drivers/sato/Sato.h"
#include "morvel/PrintBarCode.h"
#include "morvel/clsBase64.h"
#include "platform/linux/adapters.h"
#include "support/CaptureListener.h"
#include "support/FakeEnvironment.h"
#include "support/Golden.h"

namespace morvel {
namespace {

using testing::ExpectError;

testing::GoldenFile& Golden() {
  static testing::GoldenFile golden(MORVEL_SOURCE_DIR "/tests/drivers/sato.golden");
  return golden;
}

// The framing texts below write the ESC byte as '~'.
std::string Sbpl(std::string_view text) {
  std::string out;
  for (char c : text) out.push_back(c == '~' ? '\x1B' : c);
  return out;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const std::string LogoPath = MORVEL_SOURCE_DIR "/examples/logo.bmp";

class SatoTest : public testing::FakeEnvironment {
 public:
  SatoTest() {
    Install({{u"SATO CL4NX 203dpi", 203}});
    String name = u"SATO CL4NX 203dpi";
    control.SetPrint(name);
  }

  void Init(String wide, String height, String speed, String nd, String cz, String sp, String direction = u"0") {
    control.InitPrint(wide, height, speed, nd, cz, sp, direction);
  }
  void Font(Single x, Single y, String txt, Single height, String face = u"") {
    control.PrintFont(x, y, txt, height, face);
  }
  void Bar(Single x, Single y, Single w, Single h) { control.PrintBar(x, y, w, h); }
  void Code(Single x, Single y, String code, String type, String readable, Single height) {
    String z = u"", k = u"";
    control.PrintCode(x, y, code, type, readable, height, z, k);
  }
  void Cmd(String cmd) { control.SendCmd(cmd); }
  void Label(String copies) { control.PrintLabel(copies); }
  void Open() {
    String name = u"SATO CL4NX 203dpi";
    control.OpenPort(name);
  }
  std::string Log() { return ToUtf8(control.CommandPrint()); }
  std::string Sent(size_t document = 0) { return Fakes.Spool->Documents.at(document).Bytes(); }

  void WorkedLabel() {
    Init(u"60", u"40", u"4", u"10", u"2", u"1");
    Font(10, 20, u"ABC", 12);
    Bar(10, 100, 200, 1);
    Code(10, 50, u"12345678", u"128", u"1", 50);
    Code(300, 10, u"ABC", u"QRCODE", u"0", 5);
  }

  PrintBarCode control;
};

TEST_F(SatoTest, WorkedLabel) {
  Open();
  WorkedLabel();
  Label(u"1");
  control.ClosePort();
  ASSERT_EQ(Fakes.Spool->Documents.size(), 1u);
  ASSERT_EQ(Fakes.Spool->Documents[0].Writes.size(), 1u) << "one write per label";
  Golden().Expect("WorkedLabel", Sent());
  EXPECT_EQ(Fakes.Spool->Documents[0].Name, u"条码打印");
  EXPECT_EQ(Sbpl("~A") + Log(), Golden().Value("WorkedLabel")) << "the log holds no job start";
}

TEST_F(SatoTest, TwoLabelsInARowAndTheLogKeepsBoth) {
  Open();
  Cmd(u"one");
  Label(u"1");
  Label(u"2");
  control.ClosePort();
  EXPECT_EQ(Sent(), Sbpl("~Aone~Q1~Z~A~Q2~Z"));
  EXPECT_EQ(Fakes.Spool->Documents[0].Writes.size(), 2u);
  EXPECT_EQ(Log(), Sbpl("one~Q1~Z~Q2~Z"));
}

TEST_F(SatoTest, Fields) {
  struct {
    const char* Row;  // of sato.golden, after "Fields/"
    std::function<void(SatoTest&)> Call;
  } cases[] = {
      {"InitPrint 60.5 mm, speed 4.5, darkness 11, home 0 and -1 mm",
       [](SatoTest& t) { t.Init(u"60.5", u"40", u"4.5", u"11", u"0", u"-1"); }},
      {"InitPrint 1 by 1 mm, speed 0, darkness -3", [](SatoTest& t) { t.Init(u"1", u"1", u"0", u"-3", u"0", u"0"); }},
      {"PrintBar 2 px high", [](SatoTest& t) { t.Bar(0, 0, 300, 2); }},
      {"PrintBar of a huge width, 3 px high", [](SatoTest& t) { t.Bar(0, 0, 1e9f, 3); }},
      {"PrintBar 1 px high", [](SatoTest& t) { t.Bar(0, 0, 300, 1); }},
      {"Code 128 without its line", [](SatoTest& t) { t.Code(0, 0, u"1", u"128", u"0", 38); }},
      {"Code 128 2.4 px high, Readable 2", [](SatoTest& t) { t.Code(0, 0, u"1", u"128", u"2", 2.4f); }},
      {"Code 128 1201 dots high", [](SatoTest& t) { t.Code(0, 0, u"1", u"128", u"0", 568); }},
      {"Code 128 0 high, Readable 1.0", [](SatoTest& t) { t.Code(0, 0, u"1", u"128", u"1.0", 0); }},
      {"QR code of Chinese text", [](SatoTest& t) { t.Code(0, 0, u"条码", u"QRCODE", u"", 2.5f); }},
      {"type qrcode in small letters", [](SatoTest& t) { t.Code(0, 0, u"x", u"qrcode", u"", 5); }},
      {"type 39", [](SatoTest& t) { t.Code(0, 0, u"x", u"39", u"", 5); }},
      {"PrintFont of Chinese text", [](SatoTest& t) { t.Font(0, 0, u"条码打印", 12); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Row);
    size_t before = Log().size();
    c.Call(*this);
    Golden().Expect(std::string("Fields/") + c.Row, Log().substr(before));
  }
  Golden().ExpectEveryRowUsed("Fields/");
}

TEST_F(SatoTest, ChineseTextGoesOutAsUtf8) {
  Open();
  Font(0, 0, u"条码", 12);
  Label(u"1");
  control.ClosePort();
  Golden().Expect("ChineseTextGoesOutAsUtf8", Sent());
}

TEST_F(SatoTest, QrCountIsTheUtf8ByteCountOfWhatIsSent) {
  Open();
  Code(0, 0, u"Aé条", u"QRCODE", u"", 3);
  Label(u"1");
  control.ClosePort();
  Golden().Expect("QrCountIsTheUtf8ByteCount", Sent());
}

TEST_F(SatoTest, Errors) {
  Cmd(u"keep");
  const std::string kept = Log();
  struct {
    int Error;
    std::function<void(SatoTest&)> Call;
  } cases[] = {
      {errors::TypeMismatch, [](SatoTest& t) { t.Init(u"x", u"40", u"4", u"10", u"0", u"0"); }},
      {errors::TypeMismatch, [](SatoTest& t) { t.Init(u"60", u"", u"4", u"10", u"0", u"0"); }},
      {errors::TypeMismatch, [](SatoTest& t) { t.Init(u"60", u"40", u"fast", u"10", u"0", u"0"); }},
      {errors::TypeMismatch, [](SatoTest& t) { t.Init(u"60", u"40", u"4", u"dark", u"0", u"0"); }},
      {errors::TypeMismatch, [](SatoTest& t) { t.Init(u"60", u"40", u"4", u"10", u"", u"0"); }},
      {errors::TypeMismatch, [](SatoTest& t) { t.Init(u"60", u"40", u"4", u"10", u"0", u"?"); }},
      {errors::Overflow, [](SatoTest& t) { t.Init(u"60", u"40", u"40000", u"10", u"0", u"0"); }},
      {errors::Overflow, [](SatoTest& t) { t.Init(u"60", u"9000", u"4", u"10", u"0", u"0"); }},
      {errors::Overflow, [](SatoTest& t) { t.Font(0, 0, u"x", 1e6f); }},
      {errors::Overflow, [](SatoTest& t) { t.Code(0, 0, u"1", u"128", u"1", 1e6f); }},
      {errors::SubscriptOutOfRange, [](SatoTest& t) { t.Cmd(u""); }},
      {errors::PathNotFound, [](SatoTest& t) { t.control.DrawImageFromFile(u"/nonexistent/dir/x.bmp", 0, 0, 0, 0); }},
      {errors::FileNotFound,
       [](SatoTest& t) { t.control.DrawImageFromFile(u"/tmp/no-such-morvel-image.bmp", 0, 0, 0, 0); }},
      {errors::InvalidUseOfNull, [](SatoTest& t) { t.control.DrawImageFromBase64(u"Q", 0, 0, 0, 0); }},
      {errors::SubscriptOutOfRange, [](SatoTest& t) { t.control.DrawImageFromBase64(u"", 0, 0, 0, 0); }},
      {errors::Overflow, [](SatoTest& t) { t.control.DrawImageFromBase64(u"QQ Q", 0, 0, 0, 0); }},
      {errors::ObjectNotSet, [](SatoTest& t) { t.control.DrawImageFromPicture(nullptr, 0, 0, 0, 0); }},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    ExpectError(cases[i].Error, [&] { cases[i].Call(*this); });
    EXPECT_EQ(Log(), kept);
  }
  Open();
  Label(u"1");
  control.ClosePort();
  EXPECT_EQ(Sent(), Sbpl("~Akeep~Q1~Z")) << "no failed call left bytes behind";
}

TEST_F(SatoTest, ReadableErrorsComeAfterTheBarcode) {
  ExpectError(errors::TypeMismatch, [&] { Code(0, 0, u"1", u"128", u"", 10); });
  Golden().Expect("ReadableErrors/Readable empty", Log());  // the barcode stays
  ExpectError(errors::TypeMismatch, [&] { Code(0, 0, u"2", u"128", u"Y", 10); });
  // y + height + 3 beyond 16 bits: the barcode stays, no readable line.
  std::string before = Log();
  ExpectError(errors::Overflow, [&] { Code(0, 15000, u"3", u"128", u"1", 600); });
  Golden().Expect("ReadableErrors/line beyond 16 bits", Log().substr(before.size()));
}

TEST_F(SatoTest, ImagesFromFileBase64AndPicture) {
  std::vector<uint8_t> bmp = ReadFile(LogoPath);
  ASSERT_EQ(bmp.size(), 126u);
  ByteArray bmpArray(bmp);
  clsBase64 codec;
  String base64 = codec.Base64Encode(bmpArray);

  Open();
  control.DrawImageFromFile(FromUtf8(LogoPath), 10, 20, 99, 99);
  Label(u"1");
  control.DrawImageFromBase64(base64, 10, 20, 0, 0);
  Label(u"1");
  control.ClosePort();
  const std::string header = Sbpl("~H21~V42~GM126,");
  const auto& writes = Fakes.Spool->Documents[0].Writes;
  ASSERT_EQ(writes.size(), 2u);
  Golden().Expect("LogoFromFile", std::string(writes[0].begin(), writes[0].end()));
  EXPECT_EQ(writes[1], writes[0]) << "file and Base64 give the same bytes";
  EXPECT_EQ(Log(), header + Sbpl("~Q1~Z") + header + Sbpl("~Q1~Z")) << "image bytes never in the log";
  EXPECT_EQ(Log().find("%0"), std::string::npos) << "images carry no rotation command";
}

TEST_F(SatoTest, PictureGivesAValidBmpOfTheSamePixels) {
  std::vector<uint8_t> bmp = ReadFile(LogoPath);
  auto pictures = platform::MakeStbPictures();
  PictureRef logo = pictures->Decode(bmp.data(), bmp.size());
  ASSERT_NE(logo, nullptr);
  Open();
  control.DrawImageFromPicture(logo, 0, 0, 0, 0);
  Label(u"1");
  control.ClosePort();
  std::string sent = Sent();
  std::string prefix = Sbpl("~A~H0~V0~GM");
  ASSERT_EQ(sent.substr(0, prefix.size()), prefix);
  size_t comma = sent.find(',', prefix.size());
  size_t count = std::stoul(sent.substr(prefix.size(), comma - prefix.size()));
  ASSERT_EQ(sent.size(), comma + 1 + count + Sbpl("~Q1~Z").size());
  std::string image = sent.substr(comma + 1, count);
  PictureRef back = pictures->Decode(reinterpret_cast<const uint8_t*>(image.data()), image.size());
  ASSERT_NE(back, nullptr) << "a valid BMP file";
  EXPECT_EQ(image.substr(0, 2), "BM");
  EXPECT_EQ(back->Width(), logo->Width());
  EXPECT_EQ(back->Height(), logo->Height());
  EXPECT_EQ(back->Rgba(), logo->Rgba());
}

TEST_F(SatoTest, EmptyImageFileRaises9AndChangesNothing) {
  std::string path = ::testing::TempDir() + "morvel-empty.bmp";
  std::ofstream(path).close();
  ExpectError(errors::SubscriptOutOfRange, [&] { control.DrawImageFromFile(FromUtf8(path), 0, 0, 0, 0); });
  EXPECT_EQ(Log(), "");
  std::remove(path.c_str());
}

TEST_F(SatoTest, PrintLabelWithoutPortResetsTheStream) {
  Cmd(u"lost");
  Label(u"1");
  Open();
  Label(u"1");
  control.ClosePort();
  EXPECT_EQ(Sent(), Sbpl("~A~Q1~Z"));
  EXPECT_EQ(Log(), Sbpl("lost~Q1~Z~Q1~Z"));
}

TEST_F(SatoTest, Epc) {
  String e, data = u"ABC";
  control.InitRFID(e, e, e, e, e, e);  // no effect
  control.OpRFID(e, data, e, e, e, e);
  String low = String(u"\x01\x0F") + u"A";  // bytes below 0x10 keep two digits
  control.OpRFID(e, low, e, e, e, e);
  control.OpRFID(e, e, e, e, e, e);
  String latin = u"é条";
  control.OpRFID(e, latin, e, e, e, e);
  Golden().Expect("Epc", Log());
}

TEST_F(SatoTest, RfidTypeAndPicBox) {
  struct {
    const char16_t* Printer;
    Integer Expected;
  } cases[] = {{u"SATO CL4NX 203dpi", 1}, {u"SATO CL4NX-RFID", 1}, {u"sato cl4nx 305dpi", 0}, {u"SATO CL4 NX", 0}};
  for (auto c : cases) {
    CurrentPrinter() = platform::InstalledPrinter{c.Printer, 203, ""};
    EXPECT_EQ(control.RFIDType(), c.Expected) << ToUtf8(c.Printer);
  }
  auto picture = Picture::Create(1, 1, {0, 0, 0, 255});
  control.CurrentDriver()->picBox(picture);
  EXPECT_EQ(control.CurrentDriver()->picBox(), picture);
}

TEST(SatoSocketTest, WorkedLabelArrivesAtTheSocketByteForByte) {
  testing::CaptureListener printer;
  ASSERT_TRUE(printer.Ready());
  platform::FakeServices fakes;
  fakes.Printers->Printers = {{u"SATO CL4NX 203dpi", 203, "socket://127.0.0.1:" + std::to_string(printer.Port())}};
  auto services = fakes.AsServices();
  services.Spool = platform::MakeLinuxSpooler();
  platform::ScopedServices scope(services);
  CurrentPrinter().reset();
  PrintBarCode control;
  String name = u"SATO CL4NX 203dpi";
  ASSERT_EQ(control.SetPrint(name), 0);
  control.OpenPort(name);
  String wide = u"60", height = u"40", speed = u"4", nd = u"10", cz = u"2", sp = u"1", direction = u"0";
  control.InitPrint(wide, height, speed, nd, cz, sp, direction);
  control.DrawImageFromFile(FromUtf8(LogoPath), 10, 20, 0, 0);
  String copies = u"1";
  control.PrintLabel(copies);
  control.ClosePort();
  ASSERT_TRUE(printer.WaitForConnections(1));
  Golden().Expect("LogoLabelAtTheSocket", printer.Connections().at(0));
  CurrentPrinter().reset();
}

}  // namespace
}  // namespace morvel

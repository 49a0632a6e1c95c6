// EPL2 composed by the EPL2 driver: whole labels pinned in epl.golden (203
// dpi printer, 96 ppi screen), what the driver refuses, and a label read
// back by the EPL2 reader, drawn and decoded.
#include <gmock/gmock.h>

#include <algorithm>

#include "drivers/epl/Epl.h"
#include "lang/Languages.h"
#include "morvel/PrintBarCode.h"
#include "preview/Preview.h"
#include "support/FakeEnvironment.h"
#include "support/Golden.h"
#include "support/PageCheck.h"

namespace morvel {
namespace {

using testing::ErrorOf;

testing::GoldenFile& Golden() {
  static testing::GoldenFile golden(MORVEL_SOURCE_DIR "/tests/drivers/epl.golden");
  return golden;
}

// 10 x 2 pixels: the even pixels of the first row black, the last one
// black but wholly transparent; the second row white.
PictureRef Stripes() {
  std::vector<uint8_t> rgba(10 * 2 * 4, 255);
  for (int x = 0; x < 10; x += 2) rgba[x * 4] = rgba[x * 4 + 1] = rgba[x * 4 + 2] = 0;
  rgba[9 * 4] = rgba[9 * 4 + 1] = rgba[9 * 4 + 2] = rgba[9 * 4 + 3] = 0;
  return Picture::Create(10, 2, std::move(rgba));
}

class EplTest : public testing::FakeEnvironment {
 public:
  EplTest() {
    Fakes.Printers->Printers.push_back({u"Shelf LP 2844", 203, "file:/tmp", "", 0, 0, "epl2"});
    String name = u"Shelf LP 2844";
    EXPECT_EQ(control.SetPrint(name), 0);
    EXPECT_STREQ(control.CurrentFamily(), "EPL2");
  }

  void Init(String wide, String height, String speed, String nd, String cz, String sp, String direction) {
    control.InitPrint(wide, height, speed, nd, cz, sp, direction);
  }
  void Font(Single x, Single y, String txt, Single height, String face) { control.PrintFont(x, y, txt, height, face); }
  void Bar(Single x, Single y, Single w, Single h) { control.PrintBar(x, y, w, h); }
  void Code(Single x, Single y, String code, String type, String readable, Single height, String z = u"1",
            String k = u"3") {
    control.PrintCode(x, y, code, type, readable, height, z, k);
  }
  void Label(String copies) { control.PrintLabel(copies); }
  void Open() {
    String name = u"Shelf LP 2844";
    control.OpenPort(name);
  }
  // The one document's bytes after ClosePort.
  std::string Sent() {
    control.ClosePort();
    EXPECT_EQ(Fakes.Spool->Documents.size(), 1u);
    return Fakes.Spool->Documents.empty() ? std::string() : Fakes.Spool->Documents[0].Bytes();
  }

  PrintBarCode control;
};

TEST_F(EplTest, WholeLabels) {
  struct {
    const char* Row;  // of epl.golden
    std::function<void(EplTest&)> Make;
  } cases[] = {{"WorkedLabel",
                [](EplTest& t) {
                  t.Init(u"60", u"40", u"4", u"10", u"2", u"1", u"0");
                  t.Bar(10, 100, 200, 2);
                  t.Bar(10, 120, 200, 1);
                  t.Code(10, 50, u"12345678", u"128", u"1", 50);
                  t.Code(300, 10, u"ABC", u"QRCODE", u"0", 5, u"", u"");
                  t.control.DrawImageFromPicture(Stripes(), 0, 0, 0, 0);
                  String raw = u"A10,10,0,1,1,1,N,\"raw\"\r\n";
                  t.control.SendCmd(raw);
                  t.Label(u"2");
                }},
               {"Two labels, the settings kept for the second",
                [](EplTest& t) {
                  t.Init(u"50.5", u"30", u"1", u"0", u"0", u"0", u"1");
                  t.Code(0, 0, u"A\"1\\", u"128", u"0", 10);
                  t.Label(u"1");
                  t.Bar(0, 0, 1, 100);
                  t.Label(u"3");
                }},
               {"No InitPrint: the printer's own size", [](EplTest& t) {
                  t.Code(96, 96, u"Wörd", u"QRCODE", u"1", 99);
                  t.Code(0, 0, u"x", u"EAN13", u"1", 10);  // a type the driver does not write: nothing
                  t.Label(u"1");
                }}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Row);
    Fakes.Spool->Documents.clear();
    String name = u"Shelf LP 2844";
    ASSERT_EQ(control.SetPrint(name), 0) << "a new driver, with no settings";
    Open();
    c.Make(*this);
    Golden().Expect(c.Row, Sent());
  }
  Golden().ExpectEveryRowUsed("");
}

// What the guide does not accept is refused with error 5 (91 for a missing
// picture), and the label under construction stays as it was.
TEST_F(EplTest, RefusalsLeaveTheLabelAsItWas) {
  Bar(0, 0, 10, 10);
  const String before = control.CommandPrint();
  const struct {
    const char* What;
    int Error;
    std::function<void(EplTest&)> Call;
  } cases[] = {
      {"speed 7", 5, [](EplTest& t) { t.Init(u"60", u"40", u"7", u"10", u"0", u"0", u"0"); }},
      {"density 16", 5, [](EplTest& t) { t.Init(u"60", u"40", u"4", u"16", u"0", u"0", u"0"); }},
      {"no width", 5, [](EplTest& t) { t.Init(u"0", u"40", u"4", u"10", u"0", u"0", u"0"); }},
      {"a bar left of the label", 5, [](EplTest& t) { t.Bar(-1, 0, 10, 10); }},
      {"a barcode above it", 5, [](EplTest& t) { t.Code(0, -5, u"1", u"128", u"1", 10); }},
      {"QR module 0", 5, [](EplTest& t) { t.Code(0, 0, u"1", u"QRCODE", u"1", 0); }},
      {"QR module 100", 5, [](EplTest& t) { t.Code(0, 0, u"1", u"QRCODE", u"1", 100); }},
      {"no picture", 91, [](EplTest& t) { t.control.DrawImageFromPicture(nullptr, 0, 0, 0, 0); }},
      {"bytes that are no picture", 91,
       [](EplTest& t) { t.control.DrawImageFromBase64(u"bm90IGEgcGljdHVyZQ==", 0, 0, 0, 0); }},
      {"no copies", 5, [](EplTest& t) { t.Label(u"0"); }},
      {"70000 copies", 5, [](EplTest& t) { t.Label(u"70000"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(ErrorOf([&] { c.Call(*this); }), c.Error);
    EXPECT_EQ(control.CommandPrint(), before);
  }
  Font(0, 0, u"", 12, u"DejaVu Sans");
  EXPECT_EQ(control.CommandPrint(), before) << "no text, nothing placed";
}

// A whole label as the printer would have it, read back by the EPL2
// reader and drawn: the barcodes decode to their data, the text and the
// picture stand where they were placed.
TEST_F(EplTest, LabelReadBackDrawsWhatWasPlaced) {
  Open();
  Init(u"60", u"40", u"4", u"10", u"0", u"0", u"0");
  Font(10, 20, u"ABC", 12, u"DejaVu Sans");
  const std::string text = ToUtf8(control.CommandPrint());
  // 12 points at 203 dpi: a cell 33.8 -> 34 dots high at (21, 42).
  EXPECT_THAT(text, ::testing::HasSubstr("GW21,42,"));
  EXPECT_THAT(text, ::testing::ContainsRegex("GW21,42,[0-9]+,34,"));
  Code(10, 50, u"12345678", u"128", u"1", 50);
  Code(150, 10, u"ABC", u"QRCODE", u"0", 5, u"", u"");
  control.DrawImageFromPicture(Stripes(), 100, 150, 0, 0);
  Label(u"1");
  const std::string job = Sent();
  ASSERT_EQ(lang::JobLanguage(job), lang::Language::Epl);

  const preview::Preview seen = preview::MakePreview(job, lang::Language::Epl, 203);
  ASSERT_EQ(seen.Pictures.size(), 1u);
  EXPECT_TRUE(seen.Problems.empty()) << seen.Problems[0];
  const auto page = testing::DecodePage(std::string(seen.Pictures[0].Png.begin(), seen.Pictures[0].Png.end()));
  ASSERT_EQ(page.Width, 480);
  ASSERT_EQ(page.Height, 320);
  auto codes = testing::Barcodes(page);
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<std::string>{"CODE-128:12345678", "QR-Code:ABC"}));
  EXPECT_GT(page.BlackInside(21, 42, 21 + 80, 42 + 34), 100u) << "the text's ink";
  EXPECT_EQ(page.BlackInside(0, 0, 21, 100), 0u) << "nothing left of the fields";
  // The picture at (211, 317) in dots: pixels 0, 2, 4, 6, 8 of its first row.
  for (int x = 0; x < 10; ++x) EXPECT_EQ(page.Black(211 + x, 317), x % 2 == 0 && x < 9) << x;
}

}  // namespace
}  // namespace morvel

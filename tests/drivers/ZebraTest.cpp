// ZPL composed by the Zebra driver, checked against the recording spooler.
// The label bytes are rows of zebra.golden, each saying how it was worked
// out (203 dpi printer, 96 ppi screen).
#include "drivers/zebra/Zebra.h"
#include "morvel/PrintBarCode.h"
#include "support/FakeEnvironment.h"
#include "support/Golden.h"

namespace morvel {
namespace {

using testing::ExpectError;

testing::GoldenFile& Golden() {
  static testing::GoldenFile golden(MORVEL_SOURCE_DIR "/tests/drivers/zebra.golden");
  return golden;
}

class ZebraTest : public testing::FakeEnvironment {
 public:
  ZebraTest() {
    Install({{u"ZDesigner GK420t", 203}, {u"ZDesigner ZT410R-300dpi ZPL", 300}});
    String name = u"ZDesigner GK420t";
    control.SetPrint(name);
  }

  void Init(String wide, String height, String speed, String nd, String cz, String sp, String direction) {
    control.InitPrint(wide, height, speed, nd, cz, sp, direction);
  }
  void Font(Single x, Single y, String txt, Single height, String face) { control.PrintFont(x, y, txt, height, face); }
  void Bar(Single x, Single y, Single w, Single h) { control.PrintBar(x, y, w, h); }
  void Code(Single x, Single y, String code, String type, String readable, Single height, String z, String k) {
    control.PrintCode(x, y, code, type, readable, height, z, k);
  }
  void Label(String copies) { control.PrintLabel(copies); }
  void Open(String name = u"ZDesigner GK420t") { control.OpenPort(name); }
  void SendCmd(String cmd) { control.SendCmd(cmd); }

  void WorkedLabel() {
    Init(u"60", u"40", u"4", u"10", u"2", u"1", u"0");
    Font(10, 20, u"ABC", 12, u"F1.TTF");
    Bar(10, 100, 200, 2);
    Code(10, 50, u"12345678", u"128", u"1", 50, u"1", u"3");
    Code(300, 10, u"ABC", u"QRCODE", u"0", 5, u"", u"");
  }

  PrintBarCode control;
};

TEST_F(ZebraTest, WorkedLabelIsOneWriteInOneDocument) {
  Open();
  WorkedLabel();
  const std::string collected = ToUtf8(control.CommandPrint());
  Label(u"1");
  EXPECT_EQ(control.CommandPrint(), u"") << "emptied by PrintLabel";
  control.ClosePort();
  ASSERT_EQ(Fakes.Spool->Documents.size(), 1u);
  const auto& doc = Fakes.Spool->Documents[0];
  EXPECT_EQ(doc.Name, u"条码打印");
  EXPECT_EQ(doc.PrinterName, u"ZDesigner GK420t");
  ASSERT_EQ(doc.Writes.size(), 1u);
  Golden().Expect("WorkedLabel", doc.Bytes());
  EXPECT_EQ("^XA" + collected + "^PQ1^XZ", Golden().Value("WorkedLabel")) << "CommandPrint is the label unframed";
  EXPECT_TRUE(doc.Ended);
  EXPECT_EQ(Fakes.Spool->Calls,
            (std::vector<std::string>{"OpenPrinter", "StartDoc", "Write", "EndDoc", "ClosePrinter"}));
}

TEST_F(ZebraTest, AppendedPieces) {
  struct {
    const char* Row;  // of zebra.golden, after "AppendedPieces/"
    std::function<void(ZebraTest&)> Call;
  } cases[] = {
      {"InitPrint 50.5 mm, speed A, darkness 15, direction 1",
       [](ZebraTest& t) { t.Init(u"50.5", u"x", u"A", u"15", u"0", u"0", u"1"); }},
      {"InitPrint 51.5 mm, no speed, darkness 0.5, home -1 and 2.5 mm, direction 00",
       [](ZebraTest& t) { t.Init(u"51.5", u"", u"", u"0.5", u"2.5", u"-1", u"00"); }},
      {"InitPrint darkness 1.5, direction with a blank",
       [](ZebraTest& t) { t.Init(u"60", u"", u"4", u"1.5", u"0", u"0", u" 0"); }},
      {"PrintFont text and face as written", [](ZebraTest& t) { t.Font(0, 0, u"^FS~x", 0, u""); }},
      {"PrintBar left of the home, 0.4 px high", [](ZebraTest& t) { t.Bar(-10, 0, 1, 0.4f); }},
      {"Code 128 wide 5 narrow 2", [](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"Y", 10, u"2", u"5"); }},
      {"Code 128 wide 1 narrow 3", [](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"", 10, u"3", u"1"); }},
      {"Code 128 without its line", [](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"0", 10, u"1", u"1"); }},
      {"QR size 2.5", [](ZebraTest& t) { t.Code(0, 0, u"x", u"QRCODE", u"", 2.5f, u"a", u"b"); }},
      {"QR size a third", [](ZebraTest& t) { t.Code(0, 0, u"x", u"QRCODE", u"", 1.0f / 3, u"", u""); }},
      {"type qrcode in small letters", [](ZebraTest& t) { t.Code(0, 0, u"x", u"qrcode", u"", 5, u"1", u"1"); }},
      {"type CODE128", [](ZebraTest& t) { t.Code(0, 0, u"x", u"CODE128", u"", 5, u"1", u"1"); }},
      {"no type", [](ZebraTest& t) { t.Code(0, 0, u"x", u"", u"", 5, u"0", u"0"); }},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Row);
    String before = control.CommandPrint();
    c.Call(*this);
    Golden().Expect(std::string("AppendedPieces/") + c.Row, ToUtf8(control.CommandPrint().substr(before.size())));
  }
  Golden().ExpectEveryRowUsed("AppendedPieces/");
}

TEST_F(ZebraTest, DecimalSeparatorOfTheUser) {
  Fakes.Numbers->Separator = u',';
  Code(0, 0, u"1", u"128", u"1", 10, u"2", u"5");
  Code(0, 0, u"x", u"QRCODE", u"", 2.5f, u"", u"");
  Init(u"50,5", u"", u"4", u"10", u"0,5", u"0", u"0");
  Golden().Expect("DecimalSeparator", ToUtf8(control.CommandPrint()));
}

TEST_F(ZebraTest, ErrorsAppendNothing) {
  Font(1, 1, u"keep", 1, u"F");
  const String kept = control.CommandPrint();
  struct {
    int Error;
    std::function<void(ZebraTest&)> Call;
  } cases[] = {
      {errors::TypeMismatch, [](ZebraTest& t) { t.Init(u"abc", u"", u"4", u"10", u"0", u"0", u"0"); }},
      {errors::TypeMismatch, [](ZebraTest& t) { t.Init(u"60", u"", u"4", u"", u"0", u"0", u"0"); }},
      {errors::TypeMismatch, [](ZebraTest& t) { t.Init(u"60", u"", u"4", u"10", u"x", u"0", u"0"); }},
      {errors::TypeMismatch, [](ZebraTest& t) { t.Init(u"60", u"", u"4", u"10", u"0", u"1,5", u"0"); }},
      {errors::Overflow, [](ZebraTest& t) { t.Init(u"40000", u"", u"4", u"10", u"0", u"0", u"0"); }},
      {errors::Overflow, [](ZebraTest& t) { t.Init(u"5000", u"", u"4", u"10", u"0", u"0", u"0"); }},   // dots
      {errors::Overflow, [](ZebraTest& t) { t.Init(u"60", u"", u"4", u"16384", u"0", u"0", u"0"); }},  // nd * 2
      {errors::Overflow, [](ZebraTest& t) { t.Init(u"60", u"", u"4", u"10", u"1e39", u"0", u"0"); }},
      {errors::Overflow, [](ZebraTest& t) { t.Font(1e6f, 0, u"t", 12, u"F"); }},
      {errors::Overflow, [](ZebraTest& t) { t.Bar(0, 0, 0, 1e7f); }},
      {errors::DivisionByZero, [](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"1", 10, u"0", u"3"); }},
      {errors::Overflow, [](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"1", 10, u"0", u"0"); }},
      {errors::TypeMismatch, [](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"1", 10, u"", u"3"); }},
      {errors::TypeMismatch, [](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"1", 10, u"1", u"wide"); }},
      {errors::Overflow, [](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"1", 10, u"1e-300", u"1e300"); }},
      {errors::Overflow, [](ZebraTest& t) { t.Code(0, 1e6f, u"1", u"QRCODE", u"1", 10, u"", u""); }},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    ExpectError(cases[i].Error, [&] { cases[i].Call(*this); });
    EXPECT_EQ(control.CommandPrint(), kept);
  }
}

TEST_F(ZebraTest, PrintLabelFramesCopiesUnchanged) {
  Open();
  Label(u"1");
  Label(u"");
  Label(u"3,2,0");  // copies go in as the host wrote them
  control.ClosePort();
  ASSERT_EQ(Fakes.Spool->Documents.size(), 1u);
  const auto& writes = Fakes.Spool->Documents[0].Writes;
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(std::string(writes[0].begin(), writes[0].end()), "^XA^PQ1^XZ");
  EXPECT_EQ(std::string(writes[1].begin(), writes[1].end()), "^XA^PQ^XZ");
  EXPECT_EQ(std::string(writes[2].begin(), writes[2].end()), "^XA^PQ3,2,0^XZ");
}

TEST_F(ZebraTest, PrintLabelWithoutOpenPortWritesNothingAndStartsANewLabel) {
  SendCmd(u"^FDlost^FS");
  Label(u"1");
  EXPECT_EQ(control.CommandPrint(), u"");
  EXPECT_TRUE(Fakes.Spool->Calls.empty());
  control.ClosePort();
  control.ClosePort();
  EXPECT_TRUE(Fakes.Spool->Calls.empty());
}

TEST_F(ZebraTest, TwoLabelsInOneDocumentInOrderAndNoReuseAfterClose) {
  Open();
  SendCmd(u"^FDone^FS");
  Label(u"1");
  SendCmd(u"^FDtwo^FS");
  Label(u"2");
  control.ClosePort();
  SendCmd(u"^FDthree^FS");
  Label(u"1");  // the handle is gone: nothing written
  control.ClosePort();
  ASSERT_EQ(Fakes.Spool->Documents.size(), 1u);
  EXPECT_EQ(Fakes.Spool->Documents[0].Bytes(), "^XA^FDone^FS^PQ1^XZ^XA^FDtwo^FS^PQ2^XZ");
  EXPECT_EQ(std::count(Fakes.Spool->Calls.begin(), Fakes.Spool->Calls.end(), "ClosePrinter"), 1);
}

TEST_F(ZebraTest, ReopeningEndsThePreviousDocumentFirst) {
  Open();
  SendCmd(u"A");
  Label(u"1");
  Open();
  SendCmd(u"B");
  Label(u"1");
  control.ClosePort();
  ASSERT_EQ(Fakes.Spool->Documents.size(), 2u);
  EXPECT_TRUE(Fakes.Spool->Documents[0].Ended);
  EXPECT_EQ(Fakes.Spool->Documents[0].Bytes(), "^XAA^PQ1^XZ");
  EXPECT_EQ(Fakes.Spool->Documents[1].Bytes(), "^XAB^PQ1^XZ");
}

TEST_F(ZebraTest, UnknownPrinterStartsNoDocument) {
  Fakes.Spool->KnownPrinters = {u"ZDesigner GK420t"};
  Open(u"ZDesigner Missing");
  SendCmd(u"x");
  Label(u"1");
  control.ClosePort();
  EXPECT_EQ(Fakes.Spool->Calls, std::vector<std::string>{"OpenPrinter"});
}

TEST_F(ZebraTest, LabelGoesOutInTheAnsiCodePageAndTheNameComesBackThroughIt) {
  Open();
  Font(0, 0, u"Café 条码", 0, u"F");
  Label(u"1");
  control.ClosePort();
  Golden().Expect("CodePage", Fakes.Spool->Documents[0].Bytes());
  String name = u"ZDesigner 条码";
  control.OpenPort(name);
  EXPECT_EQ(name, u"ZDesigner ??") << "the host variable comes back through the code page";
  String plain = u"ZDesigner GK420t";
  control.OpenPort(plain);
  EXPECT_EQ(plain, u"ZDesigner GK420t");
}

TEST_F(ZebraTest, WithoutCurrentPrinterEverythingIsAtDotZero) {
  CurrentPrinter().reset();
  Font(10, 20, u"A", 12, u"F");
  Golden().Expect("WithoutCurrentPrinter", ToUtf8(control.CommandPrint()));
}

TEST_F(ZebraTest, Rfid) {
  String labelType = u"8", backfeed = u"F0", readPower = u"16", writePower = u"16", wire = u"A1", tryNum = u"3";
  control.InitRFID(labelType, backfeed, readPower, writePower, wire, tryNum);
  String operate = u"W", data = u"ABCD", dataType = u"H", dataLen = u"2", startAddress = u"2", section = u"1";
  control.OpRFID(operate, data, dataType, dataLen, startAddress, section);
  const std::string filled = ToUtf8(control.CommandPrint());
  String e;
  control.OpRFID(e, e, e, e, e, e);
  const std::string both = ToUtf8(control.CommandPrint());

  // RFID commands travel with the next label and are then gone.
  Open();
  Label(u"1");
  control.ClosePort();
  Golden().Expect("Rfid", Fakes.Spool->Documents[0].Bytes());
  EXPECT_EQ("^XA" + both + "^PQ1^XZ", Golden().Value("Rfid"));
  EXPECT_EQ(both.substr(0, filled.size()), filled) << "the empty OpRFID comes after the first two";
  EXPECT_EQ(control.CommandPrint(), u"");
}

TEST_F(ZebraTest, TwoInitPrintsBothStayAndANewDriverStartsEmpty) {
  Init(u"60", u"", u"4", u"10", u"0", u"0", u"0");
  Init(u"60", u"", u"4", u"10", u"0", u"0", u"0");
  Golden().Expect("TwoInitPrints", ToUtf8(control.CommandPrint()));
  String name = u"ZDesigner ZT410R-300dpi ZPL";
  ASSERT_EQ(control.SetPrint(name), 0);
  EXPECT_EQ(control.CommandPrint(), u"") << "not carried over to the new driver";
}

}  // namespace
}  // namespace morvel

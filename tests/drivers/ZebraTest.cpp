// ZPL composed by the Zebra driver, checked against the recording spooler.
// The worked label's text is computed by hand: 203 dpi printer, 96 ppi
// screen (15 twips a pixel), 56.69286 twips a millimetre.
#include "drivers/zebra/Zebra.h"
#include "morvel/PrintBarCode.h"
#include "support/FakeEnvironment.h"

namespace morvel {
namespace {

using testing::ExpectError;

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

constexpr const char* WorkedLabelZpl =
    "^XA"
    "^JMA^PW480^PR4,2,A~SD20^LH8,16^PON"
    "^FO21,42,0^CI26^SEE:GB18030.DAT^A@N,34,34,E:F1.TTF^FDABC^FS"
    "^FO21,211^GB423,4,1^FS"
    "^FO21,106^BY2,3^BCN,106,Y,N^FD12345678^FS"
    "^FO634,21^BQN,2,5^FDQA,ABC^FS"
    "^PQ1^XZ";

TEST_F(ZebraTest, WorkedLabelIsOneWriteInOneDocument) {
  Open();
  WorkedLabel();
  EXPECT_EQ(ToUtf8(control.CommandPrint()), std::string(WorkedLabelZpl).substr(3, std::string(WorkedLabelZpl).size() - 10));
  Label(u"1");
  EXPECT_EQ(control.CommandPrint(), u"") << "emptied by PrintLabel";
  control.ClosePort();
  ASSERT_EQ(Fakes.Spool->Documents.size(), 1u);
  const auto& doc = Fakes.Spool->Documents[0];
  EXPECT_EQ(doc.Name, u"条码打印");
  EXPECT_EQ(doc.PrinterName, u"ZDesigner GK420t");
  ASSERT_EQ(doc.Writes.size(), 1u);
  EXPECT_EQ(doc.Bytes(), WorkedLabelZpl);
  EXPECT_TRUE(doc.Ended);
  EXPECT_EQ(Fakes.Spool->Calls,
            (std::vector<std::string>{"OpenPrinter", "StartDoc", "Write", "EndDoc", "ClosePrinter"}));
}

TEST_F(ZebraTest, AppendedPieces) {
  struct {
    std::function<void(ZebraTest&)> Call;
    const char* Zpl;
  } cases[] = {
      {[](ZebraTest& t) { t.Init(u"50.5", u"x", u"A", u"15", u"0", u"0", u"1"); }, "^JMA^PW400^PRA,2,A~SD30^LH0,0^POI"},
      {[](ZebraTest& t) { t.Init(u"51.5", u"", u"", u"0.5", u"2.5", u"-1", u"00"); }, "^JMA^PW416^PR,2,A~SD0^LH-8,20^POI"},
      {[](ZebraTest& t) { t.Init(u"60", u"", u"4", u"1.5", u"0", u"0", u" 0"); }, "^JMA^PW480^PR4,2,A~SD4^LH0,0^POI"},
      {[](ZebraTest& t) { t.Font(0, 0, u"^FS~x", 0, u""); }, "^FO0,0,0^CI26^SEE:GB18030.DAT^A@N,0,0,E:^FD^FS~x^FS"},
      {[](ZebraTest& t) { t.Bar(-10, 0, 1, 0.4f); }, "^FO-21,0^GB2,1,1^FS"},
      {[](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"Y", 10, u"2", u"5"); }, "^FO0,0^BY2,2.5^BCN,21,Y,N^FD1^FS"},
      {[](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"", 10, u"3", u"1"); }, "^FO0,0^BY2,0.333333333333333^BCN,21,Y,N^FD1^FS"},
      {[](ZebraTest& t) { t.Code(0, 0, u"1", u"128", u"0", 10, u"1", u"1"); }, "^FO0,0^BY2,1^BCN,21,N,N^FD1^FS"},
      {[](ZebraTest& t) { t.Code(0, 0, u"x", u"QRCODE", u"", 2.5f, u"a", u"b"); }, "^FO0,0^BQN,2,2.5^FDQA,x^FS"},
      {[](ZebraTest& t) { t.Code(0, 0, u"x", u"QRCODE", u"", 1.0f / 3, u"", u""); }, "^FO0,0^BQN,2,0.3333333^FDQA,x^FS"},
      {[](ZebraTest& t) { t.Code(0, 0, u"x", u"qrcode", u"", 5, u"1", u"1"); }, ""},
      {[](ZebraTest& t) { t.Code(0, 0, u"x", u"CODE128", u"", 5, u"1", u"1"); }, ""},
      {[](ZebraTest& t) { t.Code(0, 0, u"x", u"", u"", 5, u"0", u"0"); }, ""},
  };
  for (auto& c : cases) {
    String before = control.CommandPrint();
    c.Call(*this);
    EXPECT_EQ(ToUtf8(control.CommandPrint().substr(before.size())), c.Zpl);
  }
}

TEST_F(ZebraTest, DecimalSeparatorOfTheUser) {
  Fakes.Numbers->Separator = u',';
  Code(0, 0, u"1", u"128", u"1", 10, u"2", u"5");
  Code(0, 0, u"x", u"QRCODE", u"", 2.5f, u"", u"");
  Init(u"50,5", u"", u"4", u"10", u"0,5", u"0", u"0");
  EXPECT_EQ(ToUtf8(control.CommandPrint()),
            "^FO0,0^BY2,2,5^BCN,21,Y,N^FD1^FS^FO0,0^BQN,2,2,5^FDQA,x^FS^JMA^PW400^PR4,2,A~SD20^LH0,4^PON");
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
      {errors::Overflow, [](ZebraTest& t) { t.Init(u"5000", u"", u"4", u"10", u"0", u"0", u"0"); }},  // dots
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
  EXPECT_EQ(Fakes.Spool->Documents[0].Bytes(),
            "^XA^FO0,0,0^CI26^SEE:GB18030.DAT^A@N,0,0,E:F^FDCaf\xE9 ??^FS^PQ1^XZ");
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
  EXPECT_EQ(ToUtf8(control.CommandPrint()), "^FO0,0,0^CI26^SEE:GB18030.DAT^A@N,0,0,E:F^FDA^FS");
}

TEST_F(ZebraTest, Rfid) {
  String labelType = u"8", backfeed = u"F0", readPower = u"16", writePower = u"16", wire = u"A1", tryNum = u"3";
  control.InitRFID(labelType, backfeed, readPower, writePower, wire, tryNum);
  String operate = u"W", data = u"ABCD", dataType = u"H", dataLen = u"2", startAddress = u"2", section = u"1";
  control.OpRFID(operate, data, dataType, dataLen, startAddress, section);
  EXPECT_EQ(ToUtf8(control.CommandPrint()), "^RS8,F0^RW16,16,A1^RR3^RFW,H,2,2,1^FD00ABCD^FS");
  String e;
  control.OpRFID(e, e, e, e, e, e);
  EXPECT_EQ(ToUtf8(control.CommandPrint()).substr(46), "^RF,,,,^FD00^FS");

  // RFID commands travel with the next label and are then gone.
  Open();
  Label(u"1");
  control.ClosePort();
  EXPECT_EQ(Fakes.Spool->Documents[0].Bytes(), "^XA^RS8,F0^RW16,16,A1^RR3^RFW,H,2,2,1^FD00ABCD^FS^RF,,,,^FD00^FS^PQ1^XZ");
  EXPECT_EQ(control.CommandPrint(), u"");
}

TEST_F(ZebraTest, TwoInitPrintsBothStayAndANewDriverStartsEmpty) {
  Init(u"60", u"", u"4", u"10", u"0", u"0", u"0");
  Init(u"60", u"", u"4", u"10", u"0", u"0", u"0");
  EXPECT_EQ(ToUtf8(control.CommandPrint()), "^JMA^PW480^PR4,2,A~SD20^LH0,0^PON^JMA^PW480^PR4,2,A~SD20^LH0,0^PON");
  String name = u"ZDesigner ZT410R-300dpi ZPL";
  ASSERT_EQ(control.SetPrint(name), 0);
  EXPECT_EQ(control.CommandPrint(), u"") << "not carried over to the new driver";
}

}  // namespace
}  // namespace morvel

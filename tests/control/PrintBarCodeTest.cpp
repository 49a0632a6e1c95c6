// The control object: version, errors before a driver is chosen, text
// extents, and what each driver answers before its label operations exist.
#include <algorithm>

#include "drivers/IPrn.h"
#include "morvel/PrintBarCode.h"
#include "morvel/version.h"
#include "support/FakeEnvironment.h"

namespace morvel {
namespace {

using testing::ExpectError;

class PrintBarCodeTest : public testing::FakeEnvironment {
 protected:
  PrintBarCode control;
  String s = u"1";
  Single f = 1;
};

TEST_F(PrintBarCodeTest, Version) { EXPECT_EQ(control.GetVer(), u"" MORVEL_VERSION); }

TEST_F(PrintBarCodeTest, ErrorCarriesStandardHResult) {
  try {
    control.PrintLabel(s);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), 91);
    EXPECT_EQ(e.HResult(), 0x800A005Bu);
    EXPECT_EQ(e.Description(), "Object variable or With block variable not set");
  }
}

TEST_F(PrintBarCodeTest, LabelMembersWithoutDriverRaise91AndSendNothing) {
  PictureRef none;
  std::vector<std::function<void()>> calls = {
      [&] { control.OpenPort(s); },
      [&] { control.ClosePort(); },
      [&] { control.PrintLabel(s); },
      [&] { control.SendCmd(s); },
      [&] { control.InitPrint(s, s, s, s, s, s, s); },
      [&] { control.PrintFont(f, f, s, f, s); },
      [&] { control.PrintBar(f, f, f, f); },
      [&] { control.PrintCode(f, f, s, s, s, f, s, s); },
      [&] { control.CommandPrint(); },
      [&] { control.FontType(); },
      [&] { control.InitRFID(s, s, s, s, s, s); },
      [&] { control.OpRFID(s, s, s, s, s, s); },
      [&] { control.DrawImageFromFile(s, 1, 1, 1, 1); },
      [&] { control.DrawImageFromBase64(s, 1, 1, 1, 1); },
      [&] { control.DrawImageFromPicture(none, 1, 1, 1, 1); },
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectError(errors::ObjectNotSet, calls[i]);
  }
  EXPECT_TRUE(Fakes.Spool->Calls.empty());
  EXPECT_EQ(control.RFIDType(), -1) << "no CurrentPrinter: -1 without error";
}

TEST_F(PrintBarCodeTest, GetDotOnFreshControlIsZero) {
  Single px = 100;
  EXPECT_EQ(control.GetDot(px), 0);
  Install({{u"ZDesigner ZT410R-300dpi ZPL", 203}});
  String name = u"ZDesigner ZT410R-300dpi ZPL";
  ASSERT_EQ(control.SetPrint(name), 0);
  EXPECT_EQ(control.GetDot(px), 211);
}

TEST_F(PrintBarCodeTest, TextExtentsInScreenPixelsAndTheFontStaysSet) {
  String text = u"ABCD", face = u"DejaVu Sans";
  Single size = 12;
  Boolean bold = false;
  // The fake measures 0.5 em a character (1 em bold), 1.2 em a line; 12 pt at 96 ppi = 16 px.
  EXPECT_FLOAT_EQ(control.TextWidth(text, face, size, bold), 32);
  EXPECT_FLOAT_EQ(control.textHeight(text, face, size, bold), 19.2f);
  bold = true;
  EXPECT_FLOAT_EQ(control.TextWidth(text, face, size, bold), 64);
  String twoLines = u"AB\r\nABCDEF";
  EXPECT_FLOAT_EQ(control.textHeight(twoLines, face, size, bold), 38.4f);
  ASSERT_FALSE(Fakes.Text->Calls.empty());
  EXPECT_EQ(Fakes.Text->Calls.back().Font.Face, "DejaVu Sans");
  EXPECT_TRUE(Fakes.Text->Calls.back().Font.Bold);
  EXPECT_EQ(text, u"ABCD");
}

struct DriverCase {
  const char16_t* Name;
  const char* Family;
  Integer FontType;
};

// What SetPrint leaves before the host's first label operation: the brand's
// driver, its font kind, nothing collected and nothing sent.
TEST_F(PrintBarCodeTest, DriversBeforeTheirLabelOperations) {
  const DriverCase cases[] = {{u"Orx TE200", "Orx", 0},
                              {u"ZDesigner ZT410R-300dpi ZPL", "Zebra", 1},
                              {u"SATO CL4NX 305dpi", "Sato", 1},
                              {u"Dothan T7 Label", "Dothan", 0}};
  for (auto c : cases) {
    SCOPED_TRACE(ToUtf8(c.Name));
    PrintBarCode p;
    String name = c.Name;
    ASSERT_EQ(p.SetPrint(name), 0);
    EXPECT_STREQ(p.CurrentFamily(), c.Family);
    EXPECT_EQ(p.FontType(), c.FontType);
    EXPECT_EQ(p.CommandPrint(), u"");
  }
  EXPECT_TRUE(Fakes.Spool->Calls.empty());
}

// A host that ends without ClosePort still gets its document finished, so
// the labels it printed are not lost; one that closed is not closed twice.
TEST_F(PrintBarCodeTest, APortLeftOpenIsClosedWhenTheControlEnds) {
  Install({{u"ZDesigner GK420t", 203}, {u"SATO CL4NX 305dpi", 305}});
  for (const char16_t* printer : {u"ZDesigner GK420t", u"SATO CL4NX 305dpi"}) {
    for (bool hostCloses : {false, true}) {
      SCOPED_TRACE(ToUtf8(printer) + (hostCloses ? " closed by the host" : " left open"));
      Fakes.Spool->Calls.clear();
      {
        PrintBarCode p;
        String name = printer, copies = u"1";
        ASSERT_EQ(p.SetPrint(name), 0);
        p.OpenPort(name);
        p.PrintBar(f, f, f, f);
        p.PrintLabel(copies);
        if (hostCloses) p.ClosePort();
      }
      const auto& calls = Fakes.Spool->Calls;
      ASSERT_FALSE(calls.empty());
      EXPECT_EQ(calls.back(), "ClosePrinter");
      EXPECT_EQ(std::count(calls.begin(), calls.end(), "ClosePrinter"), 1);
      EXPECT_EQ(std::count(calls.begin(), calls.end(), "EndDoc"), 1);
    }
  }
}

// The collected command text is bounded: an append past the bound raises 7
// and keeps what was collected whole; the label still prints after it.
TEST_F(PrintBarCodeTest, CollectedCommandsAreBounded) {
  for (const char16_t* printer : {u"ZDesigner GK420t", u"SATO CL4NX 305dpi"}) {
    SCOPED_TRACE(ToUtf8(printer));
    PrintBarCode p;
    String name = printer;
    ASSERT_EQ(p.SetPrint(name), 0);
    String big(MaxCollectedText / 2 + 1, u'A'), small = u"^FX";
    p.SendCmd(big);
    String before = p.CommandPrint();
    ExpectError(errors::OutOfMemory, [&] { p.SendCmd(big); });
    EXPECT_EQ(p.CommandPrint(), before);
    p.SendCmd(small);
    EXPECT_EQ(p.CommandPrint().size(), before.size() + small.size());
    EXPECT_GE(p.CollectedBytes(), before.size() * sizeof(char16_t));
  }
}

TEST_F(PrintBarCodeTest, OperationsThatDoNothingOnSomeDrivers) {
  auto make = [](const char16_t* n) {
    auto p = std::make_unique<PrintBarCode>();
    String name = n;
    p->SetPrint(name);
    return p;
  };
  auto dothan = make(u"Dothan T7 Label");
  dothan->SendCmd(s);  // accepted, no effect
  for (const char16_t* n : {u"Orx TE200", u"SATO CL4NX 305dpi", u"Dothan T7 Label"}) {
    auto p = make(n);
    p->InitRFID(s, s, s, s, s, s);
  }
  auto zebra = make(u"ZDesigner ZT410R-300dpi ZPL");
  PictureRef none;
  zebra->DrawImageFromFile(u"/nonexistent.bmp", 1, 1, 1, 1);
  zebra->DrawImageFromBase64(u"@@@", 1, 1, 1, 1);
  zebra->DrawImageFromPicture(none, 1, 1, 1, 1);
  EXPECT_EQ(zebra->CommandPrint(), u"");
  zebra->ClosePort();  // never opened: nothing, no error
  make(u"SATO CL4NX 305dpi")->ClosePort();
  EXPECT_TRUE(Fakes.Spool->Calls.empty());
}

TEST_F(PrintBarCodeTest, PicBoxIsKeptOnlyBySato) {
  auto picture = Picture::Create(1, 1, {0, 0, 0, 255});
  for (auto [name, kept] :
       {std::pair{u"SATO CL4NX", true}, {u"Orx TE200", false}, {u"ZDesigner x", false}, {u"Dothan T7 Label", false}}) {
    PrintBarCode p;
    String n = name;
    ASSERT_EQ(p.SetPrint(n), 0);
    p.CurrentDriver()->picBox(picture);
    EXPECT_EQ(p.CurrentDriver()->picBox() == picture, kept) << ToUtf8(name);
  }
}

}  // namespace
}  // namespace morvel

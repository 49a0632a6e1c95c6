// The printer catalogue and the choice of driver by printer name.
#include <gmock/gmock.h>

#include <thread>

#include "drivers/Brands.h"
#include "drivers/IPrn.h"
#include "drivers/dothan/Dothan.h"
#include "drivers/epl/Epl.h"
#include "drivers/orx/Orx.h"
#include "drivers/sato/Sato.h"
#include "drivers/zebra/Zebra.h"
#include "lang/Language.h"
#include "morvel/PrintBarCode.h"
#include "platform/text_case.h"
#include "support/FakeEnvironment.h"

namespace morvel {
namespace {

using testing::ExpectError;

class CatalogueTest : public testing::FakeEnvironment {
 protected:
  Integer Set(String name) { return control.SetPrint(name); }
  static std::string DriverName(IPrn* d) {
    if (d == nullptr) return "none";
    if (dynamic_cast<Orx*>(d)) return "Orx";
    if (dynamic_cast<Zebra*>(d)) return "Zebra";
    if (dynamic_cast<Dothan*>(d)) return "Dothan";
    if (dynamic_cast<Sato*>(d)) return "Sato";
    if (dynamic_cast<Epl*>(d)) return "EPL2";
    return "other";
  }
  // SetPrint's driver for a printer name and the language status and
  // documents ask it in (its entry saying `declared`): one rule, so wherever
  // SetPrint finds a driver, the rule finds that driver's brand.
  struct Choice {
    const char16_t* Name;
    Integer Result;
    const char* Driver;
    const char* Asks;
  };
  static drivers::PrinterLanguage ExpectChoice(const Choice& c, const std::string& declared = {}) {
    PrintBarCode fresh;
    String name = c.Name;
    EXPECT_EQ(fresh.SetPrint(name), c.Result);
    EXPECT_EQ(name, c.Name) << "printerName is read, never changed";
    const std::string driver = DriverName(fresh.CurrentDriver());
    EXPECT_EQ(driver, c.Driver);
    const drivers::PrinterLanguage asks = drivers::LanguageOfPrinter(ToUtf8(c.Name), declared);
    EXPECT_EQ(asks.Speaks ? lang::NameOf(*asks.Speaks) : "none", std::string(c.Asks));
    EXPECT_EQ(asks.Brand != nullptr, c.Result == 0);
    if (asks.Brand != nullptr) {
      EXPECT_EQ(asks.Brand->Family, driver) << "SetPrint and status disagree";
    }
    return asks;
  }
  PrintBarCode control;
};

TEST_F(CatalogueTest, DefaultCatalogueInOrder) {
  const auto& c = control.Catalogue();
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[0]->PrintPP, u"orx");
  EXPECT_EQ(c[0]->PrintXH, std::vector<String>{u"orx "});
  EXPECT_EQ(c[1]->PrintPP, u"zdesigner");
  EXPECT_EQ(c[1]->PrintXH, std::vector<String>{u"zdesigner "});
  EXPECT_EQ(c[2]->PrintPP, u"dothan");
  EXPECT_EQ(c[2]->PrintXH, (std::vector<String>{u"t7 ", u"t6 "}));
  EXPECT_EQ(c[3]->PrintPP, u"sato");
  EXPECT_EQ(c[3]->PrintXH, std::vector<String>{u"sato "});
}

// The driver SetPrint chooses, and the language `morvel status` asks the
// same printer in: one rule, so wherever SetPrint finds a driver the two
// agree; where it finds none, status still knows the language's words.
TEST_F(CatalogueTest, DriverChoiceByName) {
  const Choice cases[] = {
      {u"ZDesigner ZT410R-300dpi ZPL", 0, "Zebra", "zpl"},
      {u"zdesigner gk420t (EPL)", 0, "Zebra", "zpl"},
      {u"Zebra ZT410", 1, "none", "zpl"},      // "zdesigner " does not occur
      {u"ZDesignerZT410R", 1, "none", "zpl"},  // the blank takes part in the match
      {u"Orx TE200", 0, "Orx", "tspl"},
      {u"SATO CL4NX 305dpi", 0, "Sato", "sbpl"},
      {u"Dothan T7 Label", 0, "Dothan", "none"},
      {u"Dothan T7", 1, "none", "none"},       // T7 without a blank after it
      {u"SATO T6 x", 0, "Dothan", "none"},     // dothan comes before sato
      {u"Orx ZDesigner x", 0, "Orx", "tspl"},  // catalogue order, not position
      {u"ORX  X", 0, "Orx", "tspl"},           // names are lower-cased
      {u"T7 zebra", 0, "Dothan", "none"},      // the catalogue before the words
      {u"Label TSPL", 1, "none", "tspl"},
      {u"Label SBPL", 1, "none", "sbpl"},
      {u"tspl sato-zpl", 1, "none", "zpl"},   // the languages' order, not the words' places
      {u"orx-tspl sato", 1, "none", "sbpl"},  // "orx " needs its blank; SBPL's words come before TSPL's
      {u"", 1, "none", "none"},
  };
  for (const Choice& c : cases) {
    SCOPED_TRACE(ToUtf8(c.Name));
    ExpectChoice(c);
  }
}

// A printer whose entry says the language it speaks (printers.conf's
// "language"), or whose system driver's name does (Windows), is printed by
// the brand that writes it, whatever its name; SetPrint and the language
// rule of status and documents agree.
TEST_F(CatalogueTest, APrinterSaidToSpeakALanguageGetsTheBrandThatWritesIt) {
  struct Entry {
    const char16_t* Name;
    const char* Language;
    const char* Driver;
  };
  for (const Entry& e : {Entry{u"Office label", "sbpl", ""},
                         {u"ZDesigner GK420d", "orx", ""},
                         {u"Old T7 shelf", "epl9", ""},
                         {u"ZDesigner plain", "", ""},
                         {u"Shelf LP 2844", "epl2", ""},
                         {u"ZDesigner LP 2844", "", "ZDesigner LP 2844 (EPL)"},
                         {u"ZDesigner TLP 2844", "", "ZDesigner TLP 2844 EPL2"},
                         {u"ZDesigner GK420t", "", "ZDesigner GK420t"},
                         {u"ZDesigner EPLUS", "", "ZDesigner EPLUS Writer"},
                         {u"SATO said", "sbpl", "SATO (EPL)"}})
    Fakes.Printers->Printers.push_back({e.Name, 300, "file:/tmp", "", 0, 0, e.Language, e.Driver});
  const Choice cases[] = {
      {u"office LABEL", 0, "Sato", "sbpl"},        // no keyword in the name
      {u"ZDesigner GK420d", 0, "Orx", "tspl"},     // the entry before the name's keyword
      {u"Old T7 shelf", 1, "none", "none"},        // a language no driver writes, before "t7 "
      {u"ZDesigner plain", 0, "Zebra", "zpl"},     // nothing said: the catalogue
      {u"Shelf LP 2844", 0, "EPL2", "epl2"},       // a brand no keyword of the catalogue names
      {u"ZDesigner LP 2844", 0, "EPL2", "epl2"},   // its driver's name says EPL, whole
      {u"ZDesigner TLP 2844", 0, "EPL2", "epl2"},  // or EPL2
      {u"ZDesigner GK420t", 0, "Zebra", "zpl"},    // a driver's name that says no language
      {u"ZDesigner EPLUS", 0, "Zebra", "zpl"},     // EPL inside a word says nothing
      {u"SATO said", 0, "Sato", "sbpl"},           // the entry before the driver's name
  };
  for (const Choice& c : cases) {
    SCOPED_TRACE(ToUtf8(c.Name));
    CurrentPrinter().reset();
    std::string declared;
    for (const auto& p : Fakes.Printers->Printers)
      if (text::ToLower(p.Name) == text::ToLower(c.Name)) declared = drivers::DeclaredLanguage(p);
    const drivers::PrinterLanguage asks = ExpectChoice(c, declared);
    if (c.Result == 0) {
      ASSERT_TRUE(CurrentPrinter().has_value());
      EXPECT_EQ(CurrentPrinter()->Dpi, 300) << "the installed printer is the current one";
    } else {
      EXPECT_EQ(asks.Unknown, "epl9");
    }
  }
  EXPECT_THAT(Fakes.Logger->Records,
              ::testing::Contains("SetPrint: 'Old T7 shelf' is said to speak 'epl9', which no driver writes"));
}

TEST_F(CatalogueTest, SetPrintSelectsInstalledPrinterByWholeNameIgnoringCase) {
  Install({{u"Office Laser", 600}, {u"ZDesigner ZT410R-300dpi ZPL", 300}});
  EXPECT_EQ(Set(u"zdesigner zt410r-300DPI zpl"), 0);
  ASSERT_TRUE(CurrentPrinter().has_value());
  EXPECT_EQ(CurrentPrinter()->Name, u"ZDesigner ZT410R-300dpi ZPL") << "the system's own spelling";
  EXPECT_EQ(CurrentPrinter()->Dpi, 300);

  // A name with a keyword that is no installed printer: driver yes, printer unchanged.
  EXPECT_EQ(Set(u"ZDesigner other"), 0);
  EXPECT_EQ(CurrentPrinter()->Name, u"ZDesigner ZT410R-300dpi ZPL");
}

TEST_F(CatalogueTest, FailedSetPrintChangesNothing) {
  Install({{u"ZDesigner ZT410R-300dpi ZPL", 300}});
  ASSERT_EQ(Set(u"ZDesigner ZT410R-300dpi ZPL"), 0);
  IPrn* first = control.CurrentDriver();
  EXPECT_EQ(Set(u"Office Laser"), 1);
  EXPECT_EQ(control.CurrentDriver(), first);
  EXPECT_EQ(CurrentPrinter()->Name, u"ZDesigner ZT410R-300dpi ZPL");
}

TEST_F(CatalogueTest, EverySuccessfulSetPrintMakesAFreshDriver) {
  ASSERT_EQ(Set(u"SATO CL4NX"), 0);
  IPrn* first = control.CurrentDriver();
  auto picture = Picture::Create(1, 1, {0, 0, 0, 255});
  first->picBox(picture);
  ASSERT_EQ(Set(u"SATO CL4NX"), 0);
  EXPECT_NE(control.CurrentDriver(), nullptr);
  EXPECT_EQ(control.CurrentDriver()->picBox(), nullptr) << "nothing carried over from the old driver";
}

TEST_F(CatalogueTest, GetPrintList) {
  Install({{u"SATO T6 x", 203}, {u"Office Laser", 600}, {u"ZDesigner ZT410R-300dpi ZPL", 300}, {u"Orx TE200", 203}});
  // SATO T6 x holds "t6 " (dothan) and "sato ": listed twice, in catalogue order.
  EXPECT_EQ(control.GetPrintList(), u"SATO T6 x|SATO T6 x|ZDesigner ZT410R-300dpi ZPL|Orx TE200");
  Fakes.Printers->Printers.clear();
  EXPECT_EQ(control.GetPrintList(), u"");
}

TEST_F(CatalogueTest, PrintListTableText) {
  String epson = u"epson:epson ";
  control.PrintList(epson);
  ASSERT_EQ(control.Catalogue().size(), 5u);
  Install({{u"EPSON TM-T88 Receipt", 203}});
  EXPECT_EQ(control.GetPrintList(), u"EPSON TM-T88 Receipt") << "listed by the new brand";
  EXPECT_EQ(Set(u"EPSON TM-T88 Receipt"), 1) << "but no driver for it";

  String odd = u" Acme :a,,B:ignored|empty:";
  control.PrintList(odd);
  ASSERT_EQ(control.Catalogue().size(), 7u);
  EXPECT_EQ(control.Catalogue()[5]->PrintPP, u" Acme ") << "nothing is trimmed";
  EXPECT_EQ(control.Catalogue()[5]->PrintXH, (std::vector<String>{u"a", u"", u"B"}));
  EXPECT_TRUE(control.Catalogue()[6]->PrintXH.empty());

  String empty;
  control.PrintList(empty);
  EXPECT_EQ(control.Catalogue().size(), 7u);
}

TEST_F(CatalogueTest, EmptyKeywordMatchesEveryNonEmptyNameAndCapitalsNever) {
  String table = u"caps:ZEBRA |blank:x,,y";
  control.PrintList(table);
  Install({{u"Zebra Label", 203}});
  EXPECT_EQ(control.GetPrintList(), u"Zebra Label") << "only the empty keyword matches";
}

TEST_F(CatalogueTest, PrintListErrors) {
  // An entry without ':' raises 9; the entries before it stay, the rest is not read.
  String bad = u"a:a |b|c:c ";
  ExpectError(errors::SubscriptOutOfRange, [&] { control.PrintList(bad); });
  ASSERT_EQ(control.Catalogue().size(), 5u);
  EXPECT_EQ(control.Catalogue()[4]->PrintPP, u"a");

  // A duplicate key (case-insensitive) raises 457 at that entry.
  String dup = u"d:d |ZDESIGNER:z |e:e ";
  ExpectError(errors::DuplicateKey, [&] { control.PrintList(dup); });
  ASSERT_EQ(control.Catalogue().size(), 6u);
  EXPECT_EQ(control.Catalogue()[5]->PrintPP, u"d");

  // The default catalogue, made from the brands' rows, is the text hosts
  // have always read back from it.
  String defaults = PrintBarCode::DefaultBrandTable;
  EXPECT_EQ(defaults, u"orx:orx |zdesigner:zdesigner |dothan:t7 ,t6 |sato:sato ");
  ExpectError(errors::DuplicateKey, [&] { control.PrintList(defaults); });
  EXPECT_EQ(control.Catalogue().size(), 6u);

  String trailing = u"f:f |";
  ExpectError(errors::SubscriptOutOfRange, [&] { control.PrintList(trailing); });
  EXPECT_EQ(control.Catalogue().size(), 7u);
}

TEST_F(CatalogueTest, ListingErrorsReachTheHost) {
  struct Failing : platform::PrinterList {
    std::vector<platform::InstalledPrinter> List() override { throw AutomationError(errors::FileNotFound); }
  };
  auto services = Fakes.AsServices();
  services.Printers = std::make_shared<Failing>();
  platform::ScopedServices scope(services);
  ExpectError(errors::FileNotFound, [&] { control.GetPrintList(); });
  ExpectError(errors::FileNotFound, [&] { Set(u"ZDesigner x"); });
}

TEST_F(CatalogueTest, CurrentPrinterIsPerThreadAndSharedByControls) {
  Install({{u"ZDesigner ZT410R-300dpi ZPL", 300}});
  PrintBarCode other;
  ASSERT_EQ(Set(u"ZDesigner ZT410R-300dpi ZPL"), 0);
  Single px = 96;
  EXPECT_EQ(other.GetDot(px), 300) << "the other control on this thread sees the printer";
  // It has a printer but no driver.
  ExpectError(errors::ObjectNotSet, [&] { other.RFIDType(); });

  Integer onOtherThread = -2;
  std::thread t([&] {
    PrintBarCode there;
    Single p = 96;
    onOtherThread = there.GetDot(p);
  });
  t.join();
  EXPECT_EQ(onOtherThread, 0);
}

TEST_F(CatalogueTest, RFIDType) {
  Install({{u"ZDesigner ZT410R-300dpi ZPL", 300},
           {u"ZDesigner GK420t", 203},
           {u"SATO CL4NX 305dpi", 305},
           {u"Orx TE200", 203}});
  EXPECT_EQ(control.RFIDType(), -1) << "no CurrentPrinter: the driver is not asked";
  struct {
    const char16_t* Name;
    Integer Expected;
  } cases[] = {
      {u"ZDesigner ZT410R-300dpi ZPL", 1}, {u"ZDesigner GK420t", 0}, {u"SATO CL4NX 305dpi", 1}, {u"Orx TE200", 0}};
  for (auto c : cases) {
    ASSERT_EQ(Set(c.Name), 0);
    EXPECT_EQ(control.RFIDType(), c.Expected) << ToUtf8(c.Name);
  }
}

TEST_F(CatalogueTest, DriverRFIDTypeIsZeroWithoutCurrentPrinter) {
  Orx orx;
  Zebra zebra;
  Sato sato;
  Dothan dothan;
  for (IPrn* d : std::initializer_list<IPrn*>{&orx, &zebra, &sato, &dothan}) EXPECT_EQ(d->RFIDType(), 0);
  CurrentPrinter() = platform::InstalledPrinter{u"x nhj055hhjkklngfdsi55kuh", 203, ""};
  EXPECT_EQ(orx.RFIDType(), 1);
  EXPECT_EQ(dothan.RFIDType(), 1);
  EXPECT_EQ(zebra.RFIDType(), 0);
}

}  // namespace
}  // namespace morvel

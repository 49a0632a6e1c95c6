// The automation table of the control and Invoke with argument coercion.
#include "morvel/automation.h"
#include "morvel/morvel.h"
#include "morvel/version.h"
#include "support/FakeEnvironment.h"

namespace morvel {
namespace {

using automation::Invoke;
using automation::MemberKind;
using automation::Variant;
using automation::VarType;
using testing::ExpectError;

class AutomationTest : public testing::FakeEnvironment {
 protected:
  PrintBarCode control;
};

TEST_F(AutomationTest, PrintBarCodeTableInInterfaceOrder) {
  const auto& cls = automation::PrintBarCodeClass();
  EXPECT_EQ(cls.Name, "PrintBarCode");
  EXPECT_EQ(cls.Interface, "_PrintBarCode");
  EXPECT_TRUE(cls.Creatable);
  // The first interface's members, ids and order are published and never
  // change; later members come after them, in an interface of their own.
  const struct {
    const char* Name;
    int32_t DispId;
    int Since;
  } expected[] = {
      {"GetVer", 0x60030002, 1},
      {"GetDot", 0x60030003, 1},
      {"textHeight", 0x60030004, 1},
      {"TextWidth", 0x60030005, 1},
      {"GetPrintList", 0x60030006, 1},
      {"SetPrint", 0x60030007, 1},
      {"OpenPort", 0x60030008, 1},
      {"ClosePort", 0x60030009, 1},
      {"PrintLabel", 0x6003000A, 1},
      {"SendCmd", 0x6003000B, 1},
      {"InitPrint", 0x6003000C, 1},
      {"PrintFont", 0x6003000D, 1},
      {"PrintBar", 0x6003000E, 1},
      {"PrintCode", 0x6003000F, 1},
      {"CommandPrint", 0x68030001, 1},
      {"FontType", 0x68030000, 1},
      {"RFIDType", 0x68030010, 1},
      {"InitRFID", 0x60030011, 1},
      {"OpRFID", 0x60030012, 1},
      {"PrintList", 0x60030014, 1},
      {"DrawImageFromFile", 0x60030016, 1},
      {"DrawImageFromBase64", 0x60030017, 1},
      {"DrawImageFromPicture", 0x60030018, 1},
      {"TagResults", 0x60040000, 2},
      {"EpcEncode", 0x60040001, 2},
      {"EpcDecode", 0x60040002, 2},
  };
  ASSERT_EQ(cls.Members.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(cls.Members[i].Name, expected[i].Name);
    EXPECT_EQ(cls.Members[i].DispId, expected[i].DispId) << expected[i].Name;
    EXPECT_EQ(cls.Members[i].Since, expected[i].Since) << expected[i].Name;
  }
  EXPECT_EQ(automation::InterfaceCount(cls), 2);
  EXPECT_EQ(automation::InterfaceName(cls, 1), "_PrintBarCode");
  EXPECT_EQ(automation::InterfaceName(cls, 2), "_PrintBarCode2");
  EXPECT_EQ(automation::InterfaceCount(automation::PrintInfoClass()), 1);
  EXPECT_EQ(automation::InterfaceCount(automation::clsBase64Class()), 1);
  const auto* code = automation::FindMember(cls, "printcode");
  ASSERT_NE(code, nullptr);
  ASSERT_EQ(code->Params.size(), 8u);
  EXPECT_EQ(code->Params[4].Name, "Readable");
  EXPECT_EQ(code->Params[5].Type, VarType::Single);
  EXPECT_TRUE(code->Params[7].ByRef);
  const auto* image = automation::FindMember(cls, 0x60030018);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Params[0].Type, VarType::Object);
  EXPECT_FALSE(image->Params[0].ByRef);
  EXPECT_EQ(automation::FindMember(cls, "CommandPrint")->Kind, MemberKind::PropertyGet);
}

TEST_F(AutomationTest, InvokeByNameIgnoresCaseAndByDispId) {
  std::vector<Variant> none;
  EXPECT_EQ(Invoke(control, "getver", none).Get<String>(), u"" MORVEL_VERSION);
  EXPECT_EQ(Invoke(control, "GETVER", none).Get<String>(), u"" MORVEL_VERSION);
  EXPECT_EQ(Invoke(control, 0x60030002, none).Get<String>(), u"" MORVEL_VERSION);
  ExpectError(errors::NoSuchMember, [&] { Invoke(control, "NoSuchThing", none); });
  ExpectError(errors::NoSuchMember, [&] { Invoke(control, 0x12345, none); });
}

TEST_F(AutomationTest, WrongArgumentCount) {
  std::vector<Variant> one{Variant(u"x")};
  ExpectError(errors::WrongArgumentCount, [&] { Invoke(control, "GetVer", one); });
  std::vector<Variant> none;
  ExpectError(errors::WrongArgumentCount, [&] { Invoke(control, "SetPrint", none); });
}

TEST_F(AutomationTest, TextArgumentsAreCoercedWithTheUserSeparator) {
  Install({{u"ZDesigner ZT410R-300dpi ZPL", 203}});
  std::vector<Variant> name{Variant(u"ZDesigner ZT410R-300dpi ZPL")};
  EXPECT_EQ(Invoke(control, "SetPrint", name).Get<Integer>(), 0);
  struct {
    Variant Arg;
    int Error;
    Integer Dots;
  } cases[] = {
      {Variant(u"100"), 0, 211},
      {Variant(u" 100 "), 0, 211},
      {Variant(u"47.5"), 0, 100},
      {Variant(Integer(100)), 0, 211},
      {Variant(100.0), 0, 211},
      {Variant(true), 0, -2},
      {Variant(u"abc"), errors::TypeMismatch, 0},
      {Variant(u""), errors::TypeMismatch, 0},
      {Variant(u"1e39"), errors::Overflow, 0},
      {Variant(u"1e400"), errors::Overflow, 0},
      {Variant(u"1e5"), errors::Overflow, 0},  // a Single, but too many dots
      {Variant(ByteArray()), errors::TypeMismatch, 0},
  };
  for (auto& c : cases) {
    std::vector<Variant> args{c.Arg};
    if (c.Error) {
      ExpectError(c.Error, [&] { Invoke(control, "GetDot", args); });
    } else {
      EXPECT_EQ(Invoke(control, "GetDot", args).Get<Integer>(), c.Dots);
    }
  }
  Fakes.Numbers->Separator = u',';
  std::vector<Variant> comma{Variant(u"47,5")};
  EXPECT_EQ(Invoke(control, "GetDot", comma).Get<Integer>(), 100);
  std::vector<Variant> point{Variant(u"47.5")};
  ExpectError(errors::TypeMismatch, [&] { Invoke(control, "GetDot", point); });
}

TEST_F(AutomationTest, ResultsInTheirTextForm) {
  struct {
    Variant Value;
    const char16_t* Text;
  } cases[] = {
      {Variant(Single(5.5f)), u"5.5"},
      {Variant(Single(1.0f / 3)), u"0.3333333"},
      {Variant(2.0 / 3), u"0.666666666666667"},
      {Variant(Integer(-7)), u"-7"},
      {Variant(true), u"True"},
      {Variant(Currency::FromScaled(12345)), u"1.2345"},
      {Variant(Currency::FromScaled(-10000)), u"-1"},
      {Variant(), u""},
  };
  for (auto& c : cases) EXPECT_EQ(automation::ToText(c.Value), c.Text);
  Fakes.Numbers->Separator = u',';
  EXPECT_EQ(automation::ToText(Variant(Single(5.5f))), u"5,5");
  ExpectError(errors::TypeMismatch, [] { automation::ToText(Variant(ByteArray())); });
}

TEST_F(AutomationTest, BooleanAndIntegerCoercions) {
  EXPECT_EQ(automation::Coerce(Variant(u"True"), VarType::Boolean).Get<Boolean>(), true);
  EXPECT_EQ(automation::Coerce(Variant(u"false"), VarType::Boolean).Get<Boolean>(), false);
  EXPECT_EQ(automation::Coerce(Variant(u"0"), VarType::Boolean).Get<Boolean>(), false);
  EXPECT_EQ(automation::Coerce(Variant(u"2"), VarType::Boolean).Get<Boolean>(), true);
  EXPECT_EQ(automation::Coerce(Variant(true), VarType::Integer).Get<Integer>(), -1);
  EXPECT_EQ(automation::Coerce(Variant(u"2.5"), VarType::Integer).Get<Integer>(), 2);
  EXPECT_EQ(automation::Coerce(Variant(u"3.5"), VarType::Integer).Get<Integer>(), 4);
  ExpectError(errors::Overflow, [] { automation::Coerce(Variant(u"32768"), VarType::Integer); });
  ExpectError(errors::TypeMismatch, [] { automation::Coerce(Variant(u"yes"), VarType::Boolean); });
  EXPECT_EQ(automation::Coerce(Variant(u"1.23456"), VarType::Currency).Get<Currency>().Scaled, 12346);
}

TEST_F(AutomationTest, ByRefArgumentsOfTheParameterTypeGetTheWrittenBackValue) {
  // SetPrint reads its name and writes nothing back; the host variable
  // must come back intact, and a variable of another type is never touched.
  std::vector<Variant> args{Variant(u"Orx TE200")};
  Invoke(control, "SetPrint", args);
  EXPECT_EQ(args[0].Get<String>(), u"Orx TE200");
  std::vector<Variant> number{Variant(Integer(5))};
  Invoke(control, "SetPrint", number);
  EXPECT_EQ(number[0].Type(), VarType::Integer);
}

TEST_F(AutomationTest, PrintInfoProperties) {
  PrintInfo info;
  std::vector<Variant> set{Variant(u"acme")};
  Invoke(info, "PrintPP", set, MemberKind::PropertyPut);
  std::vector<Variant> none;
  EXPECT_EQ(Invoke(info, "printpp", none).Get<String>(), u"acme");
  std::vector<Variant> keywords{Variant(std::vector<String>{u"a ", u"b "})};
  Invoke(info, "PrintXH", keywords, MemberKind::PropertyPut);
  EXPECT_EQ(info.PrintXH.size(), 2u);
  EXPECT_FALSE(automation::PrintInfoClass().Creatable);
  EXPECT_EQ(automation::FindMember(automation::PrintInfoClass(), "PrintXH")->DispId, 0x40030001);
}

TEST_F(AutomationTest, EpcMembers) {
  // EpcEncode and EpcDecode as every host calls them, with the codec's
  // refusals as error 5 and its rule as the description.
  const String decoded =
      u"urn:epc:tag:sgtin-96:3.0614141.812345.6789\r\nurn:epc:id:sgtin:0614141.812345.6789\r\n"
      u"(01)80614141123458(21)6789";
  const struct {
    const char* Member;
    std::vector<Variant> Args;
    String Result;
    int Error = 0;
    const char* Rule = "";  // in the error's description
  } cases[] = {
      {"EpcEncode",
       {Variant(u"urn:epc:tag:sgtin-96:3.0614141.812345.6789"), Variant(u""), Variant(Integer(0)), Variant(Integer(0))},
       u"3074257BF7194E4000001A85"},
      // Without a scheme Filter and PrefixLength are not read.
      {"EpcEncode",
       {Variant(u"urn:epc:tag:sgtin-96:3.0614141.812345.6789"), Variant(u""), Variant(Integer(9)),
        Variant(Integer(-1))},
       u"3074257BF7194E4000001A85"},
      {"EpcEncode",
       {Variant(u"(01)80614141123458(21)6789"), Variant(u"sgtin-96"), Variant(u"3"), Variant(u"7")},
       u"3074257BF7194E4000001A85"},
      {"EpcEncode",
       {Variant(u"urn:epc:id:sgtin:0614141.812345.6789"), Variant(u"SGTIN-96"), Variant(Integer(3)),
        Variant(Integer(0))},
       u"3074257BF7194E4000001A85"},
      {"EpcDecode", {Variant(u"3074257BF7194E4000001A85")}, decoded},
      {"EpcDecode", {Variant(u"3074257bf7194e4000001a85")}, decoded},
      {"EpcEncode",
       {Variant(u"urn:epc:tag:sgtin-96:3.0614141.812345.274877906944"), Variant(u""), Variant(Integer(0)),
        Variant(Integer(0))},
       u"",
       errors::InvalidProcedureCall,
       "SGTIN-96: serial 274877906944 is over 2^38-1 (274877906943)"},
      {"EpcEncode",
       {Variant(u"(01)80614141123458(21)6789"), Variant(u"SGTIN-96"), Variant(Integer(8)), Variant(Integer(7))},
       u"",
       errors::InvalidProcedureCall,
       "filter 8 is not 0-7"},
      {"EpcEncode",
       {Variant(u"(01)80614141123458(21)6789"), Variant(u"SGTIN-96"), Variant(u"three"), Variant(Integer(7))},
       u"",
       errors::TypeMismatch,
       "Type mismatch"},
      {"EpcDecode", {Variant(u"XYZ")}, u"", errors::InvalidProcedureCall, "'X' is not a hexadecimal digit"},
      {"EpcDecode", {Variant(u"")}, u"", errors::InvalidProcedureCall, ""},
  };
  for (const auto& c : cases) {
    std::vector<Variant> args = c.Args;
    try {
      const Variant result = Invoke(control, c.Member, args);
      EXPECT_EQ(c.Error, 0) << c.Member << " gave a result where error " << c.Error << " was due";
      EXPECT_EQ(ToUtf8(result.Get<String>()), ToUtf8(c.Result)) << c.Member;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.Number(), c.Error) << c.Member << ": " << e.Description();
      EXPECT_NE(e.Description().find(c.Rule), std::string::npos) << c.Member << ": " << e.Description();
    }
  }
}

TEST_F(AutomationTest, TagResultsAreTheLabelsSinceTheLastCall) {
  // A Zebra RFID printer behind a way that carries nothing back (the fake
  // spooler, as a file: or a CUPS queue): each label that writes a tag is
  // unknown, and says why after a tab.
  Install({{u"ZDesigner ZT410R-203dpi ZPL", 203}});
  auto call = [&](const char* member, std::vector<Variant> args = {}) { return Invoke(control, member, args); };
  auto label = [&](bool rfid, const char16_t* copies) {
    call("InitPrint",
         {Variant(u"50"), Variant(u"30"), Variant(u"4"), Variant(u"15"), Variant(u"0"), Variant(u"0"), Variant(u"0")});
    if (rfid)
      call("OpRFID", {Variant(u"W"), Variant(u"3074257BF7194E4000001A85"), Variant(u"H"), Variant(u"12"), Variant(u"2"),
                      Variant(u"1")});
    call("PrintLabel", {Variant(copies)});
  };
  auto results = [&] { return ToUtf8(call("TagResults").Get<String>()); };
  const std::string unknown =
      "unknown\tthe way to this printer carries no answer back (a file:, a CUPS queue, a spooler)";

  EXPECT_EQ(results(), "") << "nothing printed yet";
  call("SetPrint", {Variant(u"ZDesigner ZT410R-203dpi ZPL")});
  call("OpenPort", {Variant(u"ZDesigner ZT410R-203dpi ZPL")});
  label(true, u"1");
  EXPECT_EQ(results(), "label 1 " + unknown);
  EXPECT_EQ(results(), "") << "taken by the call before";
  label(false, u"1");
  EXPECT_EQ(results(), "") << "a label that writes no tag has no result";
  label(true, u"2");
  label(true, u"1");
  EXPECT_EQ(results(), "label 2 " + unknown + "\r\nlabel 3 " + unknown + "\r\nlabel 4 " + unknown)
      << "each copy a line, counted on from the labels before, joined by CR LF";
  call("ClosePort");
}

TEST_F(AutomationTest, NothingButAutomationErrorsEscape) {
  // Every member with every argument shape: either a result or an AutomationError.
  const auto& cls = automation::PrintBarCodeClass();
  const Variant shapes[] = {Variant(),         Variant(u""),         Variant(u"x"),       Variant(String(100000, u'9')),
                            Variant(u"1e308"), Variant(Integer(-1)), Variant(ByteArray())};
  for (const char16_t* printer : {u"", u"ZDesigner ZT410R", u"SATO CL4NX", u"Orx TE200", u"Dothan T7 Label"}) {
    PrintBarCode p;
    String n = printer;
    if (!n.empty()) p.SetPrint(n);
    for (const auto& m : cls.Members) {
      for (const auto& shape : shapes) {
        std::vector<Variant> args(m.Params.size(), shape);
        try {
          Invoke(p, m.DispId, args);
        } catch (const AutomationError&) {
        }
      }
    }
  }
}

}  // namespace
}  // namespace morvel

// The call script language: parsing, escapes, value display, running.
#include <fstream>
#include <sstream>

#include "control/Idl.h"
#include "hosts/cli/Script.h"
#include "morvel/version.h"
#include "support/FakeEnvironment.h"

namespace morvel::cli {
namespace {

class ScriptTest : public testing::FakeEnvironment {};

TEST_F(ScriptTest, QuotedStringsAndEscapes) {
  struct {
    const char* Line;
    String Arg;
  } cases[] = {
      {R"(SendCmd "plain")", u"plain"},
      {R"(SendCmd "a b  c")", u"a b  c"},
      {R"(SendCmd "\\ \" \n \r \t")", u"\\ \" \n \r \t"},
      {R"(SendCmd "\x1BA\x7f")",
       u"\x1B"
       u"A\x7F"},
      {R"(SendCmd "\u{6761}\u{7801}")", u"条码"},
      {R"(SendCmd "\u{1F600}")", u"\U0001F600"},
      {R"(SendCmd "")", u""},
      {"SendCmd \"条码打印\"", u"条码打印"},
      {"SendCmd bare", u"bare"},
      {"SendCmd 12.5", u"12.5"},
      {"SendCmd @", u"@"},
  };
  for (auto c : cases) {
    ParsedScript s = ParseScript(c.Line);
    ASSERT_TRUE(s.Errors.empty()) << c.Line << ": " << (s.Errors.empty() ? "" : s.Errors[0].Message);
    ASSERT_EQ(s.Statements.size(), 1u);
    ASSERT_EQ(s.Statements[0].Args.size(), 1u) << c.Line;
    EXPECT_EQ(s.Statements[0].Args[0].Text, c.Arg) << c.Line;
  }
}

TEST_F(ScriptTest, LinesThatCannotBeParsed) {
  const char* bad[] = {
      R"(SendCmd "unterminated)",
      R"(SendCmd "bad \q escape")",
      R"(SendCmd "\x4")",
      R"(SendCmd "\xZZ")",
      R"(SendCmd "\u{}")",
      R"(SendCmd "\u{110000}")",
      R"(SendCmd "\u1234")",
      R"(SendCmd "\u{1234567}")",
      R"(SendCmd "a"b)",
      R"(SendCmd a"b")",
      "NoSuchMember 1",
      "\"GetVer\"",
      "SendCmd \"ends in backslash\\",
  };
  for (const char* line : bad) {
    std::string script = std::string("GetVer\n") + line + "\nGetVer\n";
    ParsedScript s = ParseScript(script);
    ASSERT_EQ(s.Errors.size(), 1u) << line;
    EXPECT_EQ(s.Errors[0].Line, 2) << line;
  }
}

TEST_F(ScriptTest, CommentsBlankLinesPicturesAndLineNumbers) {
  ParsedScript s =
      ParseScript("# comment\n\n   \n\tgetver\r\n  # indented comment\nDrawImageFromPicture @logo.bmp 1 2 3 4\n");
  ASSERT_TRUE(s.Errors.empty());
  ASSERT_EQ(s.Statements.size(), 2u);
  EXPECT_EQ(s.Statements[0].Line, 4);
  EXPECT_EQ(s.Statements[0].Member->Name, "GetVer");
  EXPECT_EQ(s.Statements[1].Line, 6);
  EXPECT_EQ(s.Statements[1].Args[0].Type, Argument::Kind::Picture);
  EXPECT_EQ(s.Statements[1].Args[0].Text, u"logo.bmp");
  EXPECT_EQ(s.Statements[1].Args.size(), 5u);
}

TEST_F(ScriptTest, ShowValueEscapesControlCharactersAndBackslash) {
  using automation::Variant;
  EXPECT_EQ(ShowValue(Variant(u"a\\b")), "a\\\\b");
  EXPECT_EQ(ShowValue(Variant(u"\x1B"
                              u"A\n\x7F")),
            "\\x1BA\\x0A\\x7F");
  EXPECT_EQ(ShowValue(Variant(u"条码")), "条码");
  EXPECT_EQ(ShowValue(Variant(Integer(-1))), "-1");
  EXPECT_EQ(ShowValue(Variant(Single(2.5f))), "2.5");
}

TEST_F(ScriptTest, RunPrintsResultsAndErrorsAndGoesOn) {
  Install({{u"ZDesigner ZT410R-300dpi ZPL", 203}});
  ParsedScript s = ParseScript(
      "GetVer\nPrintLabel 1\nSetPrint \"ZDesigner ZT410R-300dpi ZPL\"\nGetDot 100\nGetDot abc\nPrintList \"x\"\n"
      "ClosePort\nGetDot 1 2\n");
  ASSERT_TRUE(s.Errors.empty());
  std::ostringstream out;
  EXPECT_FALSE(RunScript(s.Statements, ".", out));
  EXPECT_EQ(out.str(),
            "GetVer: " MORVEL_VERSION
            "\n"
            "PrintLabel: error 91: Object variable or With block variable not set (line 2)\n"
            "SetPrint: 0\n"
            "GetDot: 211\n"
            "GetDot: error 13: Type mismatch (line 5: argument 1 (pixels) 'abc' is not a Single)\n"
            "PrintList: error 9: Subscript out of range (line 6)\n"
            "GetDot: error 450: Wrong number of arguments or invalid property assignment (line 8: GetDot takes 1 "
            "argument: ByRef pixels As Single, 2 given)\n");
}

TEST_F(ScriptTest, ErrorsNameTheArgumentAndWhatWasExpected) {
  Install({{u"ZDesigner ZT410R-300dpi ZPL", 203}});
  struct {
    const char* Line;
    const char* Said;
  } cases[] = {
      {"InitPrint 1 2 3",
       "(line 2: InitPrint takes 7 arguments: ByRef wide As String, ByRef height As String, "
       "ByRef speed As String, ByRef nd As String, ByRef cz As String, ByRef sp As String, "
       "ByRef direction As String, 3 given)"},
      {"GetVer 1", "(line 2: GetVer takes 0 arguments, 1 given)"},
      {"PrintFont 1 x ABC 12 F1", "error 13: Type mismatch (line 2: argument 2 (y) 'x' is not a Single)"},
      {"GetDot 1e39", "error 6: Overflow (line 2: argument 1 (pixels) '1e39' is out of the range of a Single)"},
      {"DrawImageFromPicture logo.bmp 0 0 0 0",
       "(line 2: argument 1 (pic) is a picture: write @PATH to an image file)"},
      {"DrawImageFromBase64 @logo.bmp 0 0 0 0", "(line 2: argument 1 (imageBase64) is a String, not a picture)"},
      {"DrawImageFromPicture @/dev/zero 0 0 0 0",
       "error 75: Path/File access error: '/dev/zero' is not a regular file"},
      {"DrawImageFromPicture @hello.mvs 0 0 0 0", "hello.mvs' is no BMP, PNG, JPEG or GIF image (line 2)"},
      {"InitPrint wide 40 4 10 2 1 0",
       "error 13: Type mismatch (line 2: a text argument of InitPrint must hold a number)"},
  };
  for (auto c : cases) {
    ParsedScript s = ParseScript(std::string("SetPrint \"ZDesigner ZT410R-300dpi ZPL\"\n") + c.Line + "\n");
    ASSERT_TRUE(s.Errors.empty()) << c.Line;
    std::ostringstream out;
    RunScript(s.Statements, MORVEL_SOURCE_DIR "/examples", out);
    EXPECT_NE(out.str().find(c.Said), std::string::npos) << c.Line << "\n" << out.str();
  }
}

TEST_F(ScriptTest, MisspelledMembersGetTheNearestNames) {
  struct {
    const char* Name;
    std::vector<std::string_view> Near;
  } cases[] = {
      {"PrintBox", {"PrintBar", "PrintFont", "PrintCode"}},
      {"setprnt", {"SetPrint"}},
      {"PrintText", {"PrintFont", "PrintList"}},
      {"Frobnicate", {}},
  };
  for (auto c : cases) EXPECT_EQ(NearestMembers(c.Name), c.Near) << c.Name;
  ParsedScript s = ParseScript("PrintBox 1 2 3 4\n");
  ASSERT_EQ(s.Errors.size(), 1u);
  EXPECT_EQ(s.Errors[0].Message.rfind("no member named PrintBox; did you mean PrintBar (A box (Zebra)", 0), 0u)
      << s.Errors[0].Message;
}

TEST_F(ScriptTest, MemberReferencePageIsTheTable) {
  // docs/members.md is written by `morvel members --markdown`; write it again
  // when this fails after a change to a member table.
  std::ifstream page(MORVEL_SOURCE_DIR "/docs/members.md", std::ios::binary);
  std::stringstream text;
  text << page.rdbuf();
  EXPECT_EQ(text.str(), automation::ReferenceMarkdown());
  for (const auto* cls : automation::Classes())
    for (const auto& m : cls->Members) EXPECT_FALSE(m.Description.empty()) << cls->Name << "." << m.Name;
}

TEST_F(ScriptTest, TypeLibraryIdlIsTheTable) {
  // hosts/com/Morvel.idl, from which the Windows build makes the control's
  // type library, is written by `morvel members --idl`; write it again when
  // this fails after a change to a member table.
  std::ifstream idl(MORVEL_SOURCE_DIR "/hosts/com/Morvel.idl", std::ios::binary);
  std::stringstream text;
  text << idl.rdbuf();
  EXPECT_EQ(text.str(), automation::TypeLibraryIdl());
}

TEST_F(ScriptTest, MissingOrBadPictureFileIsTheCallsError) {
  ParsedScript s = ParseScript("SetPrint \"ZDesigner x\"\nDrawImageFromPicture @/nonexistent.png 0 0 0 0\n");
  std::ostringstream out;
  EXPECT_FALSE(RunScript(s.Statements, ".", out));
  EXPECT_NE(out.str().find("DrawImageFromPicture: error 53: File not found"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace morvel::cli

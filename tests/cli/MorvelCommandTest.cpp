// The morvel command as a process: exit statuses, and that it survives
// malformed scripts and arguments.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "morvel/version.h"
#include "support/RunCommand.h"
#include "support/TempFolder.h"
#include "support/TestPrinters.h"

namespace {

namespace fs = std::filesystem;

using Outcome = morvel::testing::CommandOutcome;
using morvel::testing::SocketUri;

class MorvelCommandTest : public ::testing::Test {
 protected:
  // Nothing listens on port 9 (discard): the SATO printer refuses.
  void SetUp() override {
    morvel::testing::WritePrinters(dir_, {{"ZDesigner ZT410R-300dpi ZPL"}, {"SATO CL4NX 305dpi", SocketUri(9)}});
  }

  // The script is both the standard input and the file script.mvs.
  Outcome Run(const std::string& args, const std::string& script = "", const std::string& env = "") {
    std::ofstream(dir_ / "script.mvs", std::ios::binary) << script;
    return morvel::testing::RunCommandIn(dir_,
                                         "MORVEL_PRINTERS='" + (dir_ / "printers.conf").string() + "' MORVEL_CUPS=0 " +
                                             env + " '" MORVEL_BINARY_DIR "/bin/morvel' " + args,
                                         script);
  }

  const morvel::testing::TempFolder temp_{"morvel-cli"};
  const fs::path& dir_ = temp_.Path();
};

TEST_F(MorvelCommandTest, PrintersInSystemOrder) {
  Outcome o = Run("printers");
  ASSERT_TRUE(o.Exited);
  EXPECT_EQ(o.Status, 0) << o.Err;
  EXPECT_EQ(o.Out, "ZDesigner ZT410R-300dpi ZPL\t300\tfile:" + (dir_ / "jobs").string() +
                       "\nSATO CL4NX 305dpi\t305\tsocket://127.0.0.1:9\n");
}

TEST_F(MorvelCommandTest, ExitStatuses) {
  struct {
    const char* Args;
    std::string Script;
    int Status;
  } cases[] = {
      {"run", "GetVer\n", 0},
      {"run -", "GetVer\nSetPrint \"ZDesigner ZT410R-300dpi ZPL\"\n", 0},
      {"run script.mvs", "GetVer\n", 0},
      {"run", "GetVer\nPrintLabel 1\nGetVer\n", 1},  // a call raised, the script went on
      {"run", "GetVer\nBogus\n", 2},                 // names no member
      {"run", "SendCmd \"open\n", 2},                // cannot be parsed
      {"run missing.mvs", "", 2},
      {"frobnicate", "", 2},
      {"run", "", 0},
  };
  for (auto& c : cases) {
    Outcome o = Run(c.Args, c.Script);
    ASSERT_TRUE(o.Exited) << c.Args << " / " << c.Script;
    EXPECT_EQ(o.Status, c.Status) << c.Args << " / " << c.Script << "\n" << o.Out << o.Err;
  }
  Outcome parsed = Run("run", "GetVer\n\nSendCmd \"\\q\"\n");
  EXPECT_NE(parsed.Err.find("<stdin>:3:"), std::string::npos) << parsed.Err;
  EXPECT_EQ(parsed.Out, "") << "nothing runs when a line cannot be parsed";
}

TEST_F(MorvelCommandTest, HelpMembersAndUnknownCommands) {
  struct {
    const char* Args;
    int Status;
    const char* Out;
    const char* Err;
  } cases[] = {
      {"--help", 0, "MORVEL_PRINTERS", ""},
      {"--help", 0, "scripts: one statement per line", ""},
      {"help", 0, "morvel members [CLASS]", ""},
      {"help run", 0, "3 a label may not have reached its printer", ""},
      {"members", 0,
       "  method PrintBar(ByRef x As Single, ByRef y As Single, ByRef width As Single, ByRef height As Single)", ""},
      {"members printinfo", 0, "  property put PrintXH = ByVal value As String()", ""},
      {"members clsBase64", 0, "  event EncodeJD(ByRef Percentage As Currency)", ""},
      {"members Nothing", 2, "", "no class named Nothing"},
      {"frobnicate", 2, "", "unknown command 'frobnicate'"},
      {"printers extra", 2, "", "too many arguments for 'printers'"},
  };
  for (auto c : cases) {
    Outcome o = Run(c.Args);
    EXPECT_EQ(o.Status, c.Status) << c.Args;
    EXPECT_NE(o.Out.find(c.Out), std::string::npos) << c.Args << "\n" << o.Out;
    EXPECT_NE(o.Err.find(c.Err), std::string::npos) << c.Args << "\n" << o.Err;
  }
}

TEST_F(MorvelCommandTest, LabelsThatDidNotArriveExitWith3) {
  const std::string zebra = "SetPrint \"ZDesigner ZT410R-300dpi ZPL\"\nOpenPort \"ZDesigner ZT410R-300dpi ZPL\"\n";
  const std::string label = "InitPrint 60 40 4 10 2 1 0\nPrintFont 10 20 TEXT 12 F1.TTF\nPrintLabel 1\nClosePort\n";
  auto with = [&](std::string text) {
    return zebra + label.substr(0, label.find("TEXT")) + text + label.substr(label.find("TEXT") + 4);
  };
  struct {
    const char* Name;
    bool MakeFolder;
    std::string Script;
    int Status;
    const char* Summary;  // the one line on standard error
    const char* Log;      // what the log says of the cause and the remedy
  } cases[] = {
      {"arrives", true, with("ABC"), 0, "", ""},
      {"folder missing", false, with("ABC"), 3, "1 delivery failure", "(create it: file: printers write into"},
      {"unknown name", true, "SetPrint \"ZDesigner X\"\nOpenPort \"ZDesigner X\"\n" + label, 3,
       "1 unknown printer name", "printer 'ZDesigner X': no installed printer has this name ('morvel printers'"},
      {"refused", true, "SetPrint \"SATO CL4NX 305dpi\"\nOpenPort \"SATO CL4NX 305dpi\"\n" + label, 3,
       "1 delivery failure", "Connection refused"},
      {"code page lacks", true, with("\"\\u{4E2D}\\u{6587}\""), 3, "1 text with characters printed as '?'",
       "cannot hold were sent as '?': \u4E2D\u6587; set MORVEL_CODEPAGE"},
      {"and a call raised", false, with("ABC") + "PrintLabel x\n", 3, "1 delivery failure", ""},
  };
  for (auto& c : cases) {
    fs::remove_all(dir_ / "jobs");
    if (c.MakeFolder) fs::create_directory(dir_ / "jobs");
    Outcome o = Run("run", c.Script, "LANG=C.UTF-8 LC_ALL= MORVEL_CODEPAGE=");
    EXPECT_EQ(o.Status, c.Status) << c.Name << "\n" << o.Out << o.Err;
    if (c.Status == 3) {
      EXPECT_NE(o.Err.find("morvel: labels may not have reached their printer: " + std::string(c.Summary)),
                std::string::npos)
          << c.Name << "\n"
          << o.Err;
      EXPECT_NE(o.Err.find(c.Log), std::string::npos) << c.Name << "\n" << o.Err;
    }
  }
  // The label that arrived is one whole job under its .prn name.
  fs::remove_all(dir_ / "jobs");
  fs::create_directory(dir_ / "jobs");
  ASSERT_EQ(Run("run", with("ABC")).Status, 0);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_ / "jobs")) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"000001.prn"});
}

TEST_F(MorvelCommandTest, SurvivesMalformedLinesAndArguments) {
  std::string huge(100000, 'x');
  std::string script =
      "SetPrint \"ZDesigner ZT410R-300dpi ZPL\"\n"
      "GetDot 1e999999\n"
      "GetDot -1e38\n"
      "GetDot 340282356779733661637539395458142568448\n"
      "GetDot \"\"\n"
      "SetPrint \"" +
      huge +
      "\"\n"
      "PrintList \"" +
      huge +
      "\"\n"
      "PrintList \"k:" +
      huge +
      "\"\n"
      "TextWidth \"" +
      huge +
      "\" \"\" 1e30 True\n"
      "textHeight \"\" \"\\u{0}\" -5 maybe\n"
      "GetDot \"\\u{D800}\"\n"
      "SendCmd \"\\x00\\xFF\"\n"
      "DrawImageFromPicture @nothing-here.png 0 0 0 0\n"
      "DrawImageFromPicture \"not a picture\" 0 0 0 0\n"
      "InitPrint 1 2 3\n"
      "GetVer\n";
  Outcome o = Run("run", script);
  ASSERT_TRUE(o.Exited) << "the process died: " << o.Err;
  EXPECT_EQ(o.Status, 1);
  EXPECT_NE(o.Out.find("GetDot: error 6: Overflow"), std::string::npos) << o.Out;
  EXPECT_NE(o.Out.find("GetDot: error 13: Type mismatch"), std::string::npos);
  EXPECT_NE(o.Out.find("InitPrint: error 450"), std::string::npos);
  const std::string last = "GetVer: " MORVEL_VERSION "\n";
  EXPECT_EQ(o.Out.substr(o.Out.size() - std::min(last.size(), o.Out.size())), last) << "the script ran to its end";
}

}  // namespace

// A script that ends without ClosePort still delivers its labels: the
// document is finished and published, not left behind as a partial file.
TEST(MorvelRunEndTest, APortLeftOpenIsClosedAndLogged) {
  const morvel::testing::TempFolder temp("morvel-cli-end");
  const fs::path& dir = temp.Path();
  morvel::testing::WritePrinters(dir, {{"ZDesigner GK420t"}});
  std::ofstream(dir / "label.mvs") << "SetPrint \"ZDesigner GK420t\"\nOpenPort \"ZDesigner GK420t\"\n"
                                      "PrintBar 1 1 10 10\nPrintLabel 1\n";
  std::string cmd = "cd '" + dir.string() +
                    "' && MORVEL_PRINTERS=printers.conf MORVEL_CUPS=0 MORVEL_LOG=log.txt '" MORVEL_BINARY_DIR
                    "/bin/morvel' run label.mvs > /dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir / "jobs")) names.push_back(e.path().filename().string());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], "000001.prn");
  std::stringstream job, log;
  job << std::ifstream(dir / "jobs" / names[0]).rdbuf();
  log << std::ifstream(dir / "log.txt").rdbuf();
  EXPECT_EQ(job.str(), "^XA^FO2,2^GB21,21,1^FS^PQ1^XZ");  // 1 and 10 px at 96 ppi on 203 dpi
  EXPECT_NE(log.str().find("closed the port of 'ZDesigner GK420t' that the host left open"), std::string::npos)
      << log.str();
}

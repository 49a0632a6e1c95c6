// Tests of the printers.conf source, the printer list and the default sources.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/linux/adapters.h"
#include "tests/platform/PlatformSupport.h"

namespace morvel::platform {

// Failures show the entry, not its bytes.
void PrintTo(const InstalledPrinter& p, std::ostream* os) {
  *os << "{" << ToUtf8(p.Name) << ", " << p.Dpi << ", " << p.Uri << (p.Preview.empty() ? "" : ", preview " + p.Preview)
      << ", " << p.WidthMm << " x " << p.HeightMm << " mm" << (p.Language.empty() ? "" : ", " + p.Language) << "}";
}

namespace {

using morvel::testing::ScopedEnv;
using morvel::testing::TempFolder;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class PrintersConfTest : public morvel::testing::WithFakeServices {
 protected:
  std::vector<InstalledPrinter> Read(const std::string& content) {
    path_ = Scratch.Write("conf/printers.conf", content);
    return PrintersConfSource(path_, true).List();
  }
  std::string Folder() const { return (Scratch.Path() / "conf").string(); }
  std::string Path() const { return path_; }

  TempFolder Scratch{"morvel-platform"};

 private:
  std::string path_;
};

TEST_F(PrintersConfTest, ReadsEveryPrinterWithItsExactName) {
  auto printers = Read(
      "\xEF\xBB\xBF# the label printers of the packing line\r\n"
      "[ZDesigner ZT410R-300dpi ZPL]\r\n"
      "uri = socket://192.168.1.50:9100\r\n"
      "dpi = 300\r\n"
      "\r\n"
      "; a queue of the local CUPS\n"
      "[  SATO  cl4nx 305dpi ]\n"
      "  URI=cups:SATO_CL4NX\n"
      "\tDpi\t=\t305  \n"
      "[Étiquettes 中文]\n"
      "uri = file:jobs\n"
      "[Archive]\n"
      "uri = file:/var/spool/morvel\n"
      "[Parent]\n"
      "uri = file:../out/./today\n");
  EXPECT_THAT(Logged(), ::testing::IsEmpty());
  EXPECT_THAT(printers,
              ElementsAre(InstalledPrinter{u"ZDesigner ZT410R-300dpi ZPL", 300, "socket://192.168.1.50:9100"},
                          InstalledPrinter{u"  SATO  cl4nx 305dpi ", 305, "cups:SATO_CL4NX"},
                          InstalledPrinter{u"Étiquettes 中文", 203, "file:" + Folder() + "/jobs"},
                          InstalledPrinter{u"Archive", 203, "file:/var/spool/morvel"},
                          InstalledPrinter{u"Parent", 203, "file:" + Scratch.Path().string() + "/out/today"}));
}

TEST_F(PrintersConfTest, CommentsMayFollowAValueOrATitleAfterABlank) {
  auto printers = Read(
      "[A] # the first\n"
      "uri = file:/a    # one NNNNNN.prn per document\n"
      "dpi = 300 ; three hundred\n"
      "width = 80 # mm\n"
      "HEIGHT = 0.5e\n"
      "height = 49.5\n"
      "[Printer #2]\n"
      "uri = socket://h:9100\t#tab\n"
      "Language = SBPL ; told, whatever the name\n"
      "[B;C]\n"
      "uri = file:/x#y;z\n");
  EXPECT_THAT(Logged(), ElementsAre(HasSubstr(":5: height '0.5e' is not a length in millimetres")));
  EXPECT_THAT(printers, ElementsAre(InstalledPrinter{u"A", 300, "file:/a", "", 80, 49.5},
                                    InstalledPrinter{u"Printer #2", 203, "socket://h:9100", "", 0, 0, "sbpl"},
                                    InstalledPrinter{u"B;C", 203, "file:/x#y;z"}));
}

TEST_F(PrintersConfTest, TheReadmeSampleReadsAsShown) {
  // The block of the README that shows printers.conf, read as a user who
  // copies it would: every printer, nothing in the log.
  std::ifstream readme(MORVEL_SOURCE_DIR "/README.md");
  std::string line, block;
  bool inBlock = false, found = false;
  while (!found && std::getline(readme, line)) {
    if (line.starts_with("```")) {
      if (inBlock && block.find("\nuri = ") != std::string::npos)
        found = true;
      else
        block.clear();
      inBlock = !inBlock;
      continue;
    }
    if (inBlock) block += line + "\n";
  }
  ASSERT_TRUE(found) << "no printers.conf block in the README";
  auto printers = Read(block);
  EXPECT_THAT(Logged(), ::testing::IsEmpty());
  EXPECT_THAT(
      printers,
      ElementsAre(InstalledPrinter{u"ZDesigner ZT410R-300dpi ZPL", 300, "socket://192.168.1.50:9100", "", 101.6, 152.4},
                  InstalledPrinter{u"SATO CL4NX 305dpi", 305, "cups:SATO_CL4NX"},
                  InstalledPrinter{u"ZDesigner GK420t", 203, "file:" + Folder() + "/jobs", "png"},
                  InstalledPrinter{u"Packing line 2", 203, "socket://192.168.1.51:9100", "", 0, 0, "zpl"},
                  InstalledPrinter{u"Shelf LP 2844", 203, "socket://192.168.1.52:9100", "", 0, 0, "epl2"}));
}

TEST_F(PrintersConfTest, RelativeConfPathGivesAbsoluteFileUris) {
  Scratch.Write("printers.conf", "[Here]\nuri = file:jobs\n");
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(Scratch.Path());
  auto printers = PrintersConfSource("printers.conf", true).List();
  std::filesystem::current_path(previous);
  EXPECT_THAT(printers, ElementsAre(InstalledPrinter{u"Here", 203, "file:" + Scratch.Path().string() + "/jobs"}));
}

// Each faulty file: which printers survive, and the line the log names.
struct FaultCase {
  const char* Title;
  const char* Content;
  std::vector<String> Kept;
  int Line;
  const char* Says;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.Title; }

class PrintersConfFaultTest : public PrintersConfTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(PrintersConfFaultTest, LogsTheLineAndSkipsIt) {
  const auto& c = GetParam();
  auto printers = Read(c.Content);
  std::vector<String> names;
  for (const auto& p : printers) names.push_back(p.Name);
  EXPECT_EQ(names, c.Kept);
  ASSERT_EQ(Logged().size(), 1u) << ::testing::PrintToString(Logged());
  EXPECT_THAT(Logged()[0], HasSubstr(Path() + ":" + std::to_string(c.Line) + ":"));
  EXPECT_THAT(Logged()[0], HasSubstr(c.Says));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PrintersConfFaultTest,
    ::testing::Values(
        FaultCase{"UnknownKey", "[A]\nuri = file:/a\ncolour = red\n", {u"A"}, 3, "unknown key 'colour'"},
        FaultCase{"KeyOutsideSection", "uri = file:/x\n[A]\nuri = file:/a\n", {u"A"}, 1, "outside"},
        FaultCase{
            "NoKeyNoSection", "[A]\nuri = file:/a\njust words\n[B]\nuri = file:/b\n", {u"A", u"B"}, 3, "just words"},
        FaultCase{"DpiZero", "[A]\nuri = file:/a\ndpi = 0\n[B]\nuri = file:/b\n", {u"B"}, 3, "dpi '0'"},
        FaultCase{"DpiNegative", "[A]\ndpi = -300\nuri = file:/a\n[B]\nuri = file:/b\n", {u"B"}, 2, "dpi '-300'"},
        FaultCase{"DpiWithUnit", "[A]\nuri = file:/a\ndpi = 300dpi\n", {}, 3, "dpi '300dpi'"},
        FaultCase{"DpiFraction", "[A]\nuri = file:/a\ndpi = 203.2\n", {}, 3, "dpi '203.2'"},
        FaultCase{"DpiEmpty", "[A]\nuri = file:/a\ndpi =\n", {}, 3, "dpi ''"},
        FaultCase{"DpiHuge", "[A]\nuri = file:/a\ndpi = 99999999999\n", {}, 3, "dpi '99999999999'"},
        FaultCase{"LanguageTwoWords", "[A]\nuri = file:/a\nlanguage = z pl\n", {u"A"}, 3, "language 'z pl'"},
        FaultCase{"LanguageTooLong",
                  "[A]\nuri = file:/a\nlanguage = zplzplzplzplzplzpl\n",
                  {u"A"},
                  3,
                  "language 'zplzplzplzplzplzpl' is not a language's word"},
        FaultCase{"WidthTooSmall", "[A]\nuri = file:/a\nwidth = 0.9\n", {u"A"}, 3, "width '0.9'"},
        FaultCase{"HeightTooLarge", "[A]\nuri = file:/a\nheight = 2000.1\n", {u"A"}, 3, "height '2000.1'"},
        FaultCase{"WidthTwoPoints", "[A]\nuri = file:/a\nwidth = 1.0.1\n", {u"A"}, 3, "width '1.0.1'"},
        FaultCase{"NoUri", "[A]\ndpi = 300\n[B]\nuri = file:/b\n", {u"B"}, 1, "no uri"},
        FaultCase{"PortPastTheLast",
                  "[A]\nuri = socket://127.0.0.1:99999\n[B]\nuri = socket://[::1]:9100/x\n",
                  {u"B"},
                  2,
                  "uri 'socket://127.0.0.1:99999': the port must be 1..65535; printer 'A' left out"},
        FaultCase{"PortZero", "[A]\nuri = socket://h:0\n[B]\nuri = SOCKET://h\n", {u"B"}, 2, "port must be 1..65535"},
        FaultCase{"PortOfSixDigits", "[A]\nuri = socket://[::1]:009100\n", {}, 2, "port must be 1..65535"},
        FaultCase{"EmptyUri", "[A]\nuri =\n", {}, 1, "no uri"},
        FaultCase{"SameNameTwice", "[Zebra]\nuri = file:/a\n[ZEBRA]\nuri = file:/b\n", {u"Zebra"}, 3, "twice"},
        FaultCase{"UnclosedTitle", "[A\nuri = file:/a\ndpi = x\n[B]\nuri = file:/b\n", {u"B"}, 1, "title"},
        FaultCase{"EmptyTitle", "[ ]\nuri = file:/a\n", {}, 1, "title"},
        FaultCase{"TitleNotUtf8", "[Etiqu\xE9tte]\nuri = file:/a\n", {}, 1, "UTF-8"}),
    [](const auto& info) { return std::string(info.param.Title); });

TEST_F(PrintersConfTest, MissingFileRaisesFileNotFoundOnlyWhenRequired) {
  std::string missing = (Scratch.Path() / "none.conf").string();
  try {
    PrintersConfSource(missing, true).List();
    ADD_FAILURE() << "a required file that is missing must raise";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), errors::FileNotFound);
  }
  EXPECT_TRUE(PrintersConfSource(missing, false).List().empty());
}

TEST_F(PrintersConfTest, ListJoinsTheSourcesInOrder) {
  auto first = Scratch.Write("a.conf", "[One]\nuri = file:/1\n[Two]\nuri = file:/2\n");
  auto second = Scratch.Write("b.conf", "[Three]\nuri = file:/3\n");
  SystemPrinterList list({std::make_shared<PrintersConfSource>(first, true),
                          std::make_shared<PrintersConfSource>((Scratch.Path() / "none").string(), false),
                          std::make_shared<PrintersConfSource>(second, true)});
  std::vector<String> names;
  for (const auto& p : list.List()) names.push_back(p.Name);
  EXPECT_EQ(names, (std::vector<String>{u"One", u"Two", u"Three"}));

  // A name in two sources stays listed twice (only the first is reached)
  // and is warned about once, with both origins.
  auto third = Scratch.Write("c.conf", "[TWO]\nuri = cups:two\n");
  SystemPrinterList twice(
      {std::make_shared<PrintersConfSource>(first, true), std::make_shared<PrintersConfSource>(third, true)});
  EXPECT_EQ(twice.List().size(), 3u);
  EXPECT_EQ(twice.List().size(), 3u);
  EXPECT_THAT(Logged(), ElementsAre("printer 'TWO' is defined twice: in " + first + " (file:/2) and in " + third +
                                    " (cups:two); only the first can be reached, rename one of them"));
}

std::vector<String> NamesFromDefaultSources() {
  std::vector<String> names;
  for (const auto& p : SystemPrinterList(DefaultPrinterSources()).List()) names.push_back(p.Name);
  return names;
}

TEST_F(PrintersConfTest, DefaultSourcesFollowTheEnvironment) {
  ScopedEnv noCups{{"MORVEL_CUPS", "0"}};  // only the sources under test
  Scratch.Write("named.conf", "[Named]\nuri = file:/n\n");
  Scratch.Write("xdg/morvel/printers.conf", "[Xdg]\nuri = file:/x\n");
  Scratch.Write("home/.config/morvel/printers.conf", "[Home]\nuri = file:/h\n");
  auto at = [&](const char* relative) { return std::optional<std::string>((Scratch.Path() / relative).string()); };
  {
    ScopedEnv env{{"MORVEL_PRINTERS", at("named.conf")}, {"XDG_CONFIG_HOME", at("xdg")}, {"HOME", at("home")}};
    EXPECT_EQ(NamesFromDefaultSources(), std::vector<String>{u"Named"});
  }
  {
    ScopedEnv env{{"MORVEL_PRINTERS", std::nullopt}, {"XDG_CONFIG_HOME", at("xdg")}, {"HOME", at("home")}};
    EXPECT_EQ(NamesFromDefaultSources(), std::vector<String>{u"Xdg"});
  }
  {
    ScopedEnv env{{"MORVEL_PRINTERS", ""}, {"XDG_CONFIG_HOME", std::nullopt}, {"HOME", at("home")}};
    EXPECT_EQ(NamesFromDefaultSources(), std::vector<String>{u"Home"});
  }
  {
    // Named explicitly, so its absence is an error rather than no printers.
    ScopedEnv env{{"MORVEL_PRINTERS", at("gone.conf")}};
    EXPECT_THROW(NamesFromDefaultSources(), AutomationError);
  }
}

TEST_F(PrintersConfTest, DefaultSourcesReadTheUserFileWrittenAfterStart) {
  ScopedEnv noCups{{"MORVEL_CUPS", "0"}};  // only the sources under test
  ScopedEnv env{{"MORVEL_PRINTERS", std::nullopt}, {"XDG_CONFIG_HOME", (Scratch.Path() / "late").string()}};
  SystemPrinterList list(DefaultPrinterSources());
  if (std::filesystem::exists("/etc/morvel/printers.conf")) GTEST_SKIP() << "this machine has its own printers.conf";
  EXPECT_TRUE(list.List().empty());
  Scratch.Write("late/morvel/printers.conf", "[Late]\nuri = file:/l\n");
  ASSERT_EQ(list.List().size(), 1u);
  EXPECT_EQ(list.List()[0].Name, u"Late");
}

class ListedSource : public PrinterSource {
 public:
  std::vector<InstalledPrinter> List() override { return {InstalledPrinter{u"Registered", 600, "cups:R"}}; }
};

// The registry lives for the process, so the factory only answers while this
// test runs.
bool registeredSourceOn = false;

TEST_F(PrintersConfTest, RegisteredFactoriesFollowPrintersConf) {
  ScopedEnv noCups{{"MORVEL_CUPS", "0"}};  // only the sources under test
  static const bool registered = [] {
    AddPrinterSourceFactory([]() -> std::shared_ptr<PrinterSource> { return nullptr; });
    AddPrinterSourceFactory([]() -> std::shared_ptr<PrinterSource> {
      return registeredSourceOn ? std::make_shared<ListedSource>() : nullptr;
    });
    return true;
  }();
  (void)registered;
  ScopedEnv env{{"MORVEL_PRINTERS", Scratch.Write("named.conf", "[Named]\nuri = file:/n\n")}};
  registeredSourceOn = true;
  auto names = NamesFromDefaultSources();
  registeredSourceOn = false;
  EXPECT_EQ(names, (std::vector<String>{u"Named", u"Registered"}));
  EXPECT_EQ(NamesFromDefaultSources(), std::vector<String>{u"Named"});
}

}  // namespace
}  // namespace morvel::platform

// The shell and its one option parser, in this process: how arguments are
// read, and that every command's faults and help take the same shape (one
// line naming the fault, the usage, exit status 2; --help on standard
// output, 0). Faults are found before a command does anything, so even the
// serving commands return here at once.
#include <gtest/gtest.h>

#include <sstream>

#include "hosts/cli/Options.h"
#include "hosts/cli/Shell.h"

namespace morvel::cli {
namespace {

struct Outcome {
  int Status;
  std::string Out, Err;
};

Outcome Shell(std::vector<std::string> args) {
  std::istringstream in;
  std::ostringstream out, err;
  int status = RunShell(args, in, out, err);
  return {status, out.str(), err.str()};
}

TEST(ShellTest, EveryCommandHasHelpAndRefusesAnUnknownOptionAlike) {
  size_t seen = 0;
  for (const Command& c : AllCommands()) {
    if (!(c.In & ThisBuild)) continue;
    ++seen;
    const std::string name(c.Name);
    SCOPED_TRACE(name);
    for (const char* help : {"--help", "-h"}) {
      Outcome o = Shell({name, help});
      EXPECT_EQ(o.Status, 0);
      EXPECT_EQ(o.Out, UsageLines(c) + std::string(c.Help));
      EXPECT_EQ(o.Err, "");
    }
    Outcome o = Shell({name, "--no-such-option"});
    EXPECT_EQ(o.Status, UsageError);
    EXPECT_EQ(o.Out, "");
    EXPECT_EQ(o.Err, "morvel " + name + ": unknown option '--no-such-option'\n" + UsageLines(c) + "('morvel " + name +
                         " --help' tells more)\n");
    EXPECT_EQ(Shell({"help", name}).Out, UsageLines(c) + std::string(c.Help));
  }
  EXPECT_EQ(seen, 12u);
}

TEST(ShellTest, EachCommandsFaultsAreNamed) {
  const struct {
    std::vector<std::string> Args;
    const char* Fault;  // the first line of standard error, after "morvel COMMAND: "
  } cases[] = {
      {{"printers", "extra"}, "too many arguments for 'printers': 'extra'"},
      {{"run", "a.mvs", "b.mvs"}, "too many arguments for 'run': 'b.mvs'"},
      {{"members", "--markdown", "PrintInfo"}, "--markdown, --idl and CLASS go alone"},
      {{"members", "--idl", "--markdown"}, "--markdown, --idl and CLASS go alone"},
      {{"version", "now"}, "too many arguments for 'version': 'now'"},
      {{"help", "run", "more"}, "too many arguments for 'help': 'more'"},
      {{"preview"}, "missing JOB (a job file, or - for standard input)"},
      {{"preview", "job.zpl", "--dpi", "7"},
       "bad value for --dpi: 7 (a whole number of dots per inch from 50 to 2400)"},
      {{"preview", "job.zpl", "--dpi"}, "--dpi needs a value"},
      {{"preview", "job.zpl", "--format=gif"}, "bad value for --format: gif (png or pdf)"},
      {{"preview", "job.zpl", "--language", "tspl"}, "bad value for --language: tspl (zpl, sbpl, orx or epl2)"},
      {{"preview", "job.zpl", "-x"}, "unknown option '-x'"},
      {{"preview", "a.zpl", "b.zpl"}, "too many arguments for 'preview': 'b.zpl'"},
      {{"serve", "--port", "70000"}, "bad value for --port: 70000 (a whole number from 0 to 65535)"},
      {{"serve", "--lease-wait", "-1"}, "bad value for --lease-wait: -1 (a whole number of seconds from 0 to 3600)"},
      {{"serve", "--ipv4-only=yes"}, "--ipv4-only takes no value"},
      {{"serve", "--max-message", "1023"},
       "bad value for --max-message: 1023 (a whole number of bytes from 1024 to 1073741824)"},
      {{"serve", "--allow-origin"}, "--allow-origin needs a value"},
      {{"status", "--timeout", "0"}, "bad value for --timeout: 0 (a whole number of milliseconds from 1 to 600000)"},
      {{"status", "--json=1"}, "--json takes no value"},
      {{"emulate", "--zpl", "x"}, "bad value for --zpl: x (a port from 0 to 65535, or off)"},
      {{"emulate", "--web", "65536"}, "bad value for --web: 65536 (a port from 0 to 65535, or off)"},
      {{"emulate", "--limit", "0"}, "bad value for --limit: 0 (a whole number of bytes from 1 to 1099511627776)"},
      {{"emulate", "--zpl", "off", "--sbpl", "off", "--tspl", "off", "--epl2", "off"},
       "every language is off: nothing to listen for"},
      {{"emulate", "--paused", "now"}, "too many arguments for 'emulate': 'now'"},
      {{"emulate", "--media", "pcl:100x150"},
       "bad value for --media: pcl:100x150 ([zpl:|sbpl:|tspl:]WIDTHxHEIGHT in millimetres from 1 to 2000)"},
      {{"epc", "encode"}, "missing ACTION and its operand (encode TAG-URI, encode --scheme SCHEME INPUT, decode HEX)"},
      {{"epc", "--filter", "8", "encode", "x"}, "bad value for --filter: 8 (a whole number from 0 to 7)"},
      {{"emulate", "--media", "100"},
       "bad value for --media: 100 ([zpl:|sbpl:|tspl:]WIDTHxHEIGHT in millimetres from 1 to 2000)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args[0] + " " + (c.Args.size() > 1 ? c.Args[1] : ""));
    Outcome o = Shell(c.Args);
    EXPECT_EQ(o.Status, UsageError);
    EXPECT_EQ(o.Out, "");
    const std::string first = "morvel " + c.Args[0] + ": " + c.Fault + "\n";
    EXPECT_EQ(o.Err.substr(0, first.size()), first) << o.Err;
    EXPECT_EQ(o.Err.substr(first.size()),
              UsageLines(*FindCommand(c.Args[0])) + "('morvel " + c.Args[0] + " --help' tells more)\n");
  }
}

TEST(ShellTest, CommandsTheLineDoesNotName) {
  const struct {
    std::vector<std::string> Args;
    int Status;
    const char* Err;
  } cases[] = {
      {{}, 2, "morvel: which command?\n"},
      {{"frobnicate"}, 2, "morvel: unknown command 'frobnicate'\n"},
      {{"help", "frobnicate"}, 2, "morvel help: no command named 'frobnicate'\n"},
  };
  for (const auto& c : cases) {
    Outcome o = Shell(c.Args);
    EXPECT_EQ(o.Status, c.Status);
    EXPECT_EQ(o.Err.substr(0, std::string(c.Err).size()), c.Err) << o.Err;
    EXPECT_NE(o.Err.find("usage: morvel printers"), std::string::npos) << "the list of commands follows";
  }
  for (const char* help : {"--help", "-h", "help"}) EXPECT_EQ(Shell({help}).Out, Overview()) << help;
}

// A command of its own, to see how the parser reads what it declares.
const Command Sample = {"sample", "[-a] [-b] [-o OUT] [--name TEXT] [--tag TEXT]... [--count N] [ITEM...]", "", "",
                        nullptr};

struct Read {
  bool A = false, B = false;
  std::string Out, Name;
  std::vector<std::string> Tags, Items;
  int Count = 0;
};

std::optional<int> ReadSample(std::vector<std::string> args, Read& r, std::string& err) {
  std::istringstream in;
  std::ostringstream out, errors;
  Invocation call{Sample, std::move(args), in, out, errors};
  OptionParser options(call);
  options.Flag("-a", r.A);
  options.Flag("-b, --bee", r.B);
  options.Text("-o, --output", r.Out);
  options.Text("--name", r.Name);
  options.Texts("--tag", r.Tags);
  options.Number("--count", r.Count, 1, 9);
  options.Operands(r.Items, 0, 3, "ITEM");
  std::optional<int> status = options.Parse();
  err = errors.str();
  return status;
}

TEST(OptionParserTest, ReadsTheWaysAnOptionIsWritten) {
  const struct {
    std::vector<std::string> Args;
    bool A, B;
    const char* Out;
    const char* Name;
    std::vector<std::string> Tags, Items;
    int Count;
  } cases[] = {
      {{"-a", "-b"}, true, true, "", "", {}, {}, 0},
      {{"-ab"}, true, true, "", "", {}, {}, 0},
      {{"-bo", "x.png"}, false, true, "x.png", "", {}, {}, 0},
      {{"-box.png"}, false, true, "x.png", "", {}, {}, 0},
      {{"--output=x.png", "--bee"}, false, true, "x.png", "", {}, {}, 0},
      {{"--name", "--tag"}, false, false, "", "--tag", {}, {}, 0},            // a value may start with a dash
      {{"--name", "one", "--name=two"}, false, false, "", "two", {}, {}, 0},  // the last counts
      {{"--tag", "x", "--tag=y", "--tag", ""}, false, false, "", "", {"x", "y", ""}, {}, 0},
      {{"--count", "9", "-", "item"}, false, false, "", "", {}, {"-", "item"}, 9},
      {{"item", "-a", "--", "-b", "--"}, true, false, "", "", {}, {"item", "-b", "--"}, 0},
      {{"--name="}, false, false, "", "", {}, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    Read r;
    std::string err;
    EXPECT_EQ(ReadSample(c.Args, r, err), std::nullopt) << err;
    EXPECT_EQ(r.A, c.A);
    EXPECT_EQ(r.B, c.B);
    EXPECT_EQ(r.Out, c.Out);
    EXPECT_EQ(r.Name, c.Name);
    EXPECT_EQ(r.Tags, c.Tags);
    EXPECT_EQ(r.Items, c.Items);
    EXPECT_EQ(r.Count, c.Count);
  }
}

TEST(OptionParserTest, RefusesWhatItCannotRead) {
  const struct {
    std::vector<std::string> Args;
    const char* Fault;
  } cases[] = {
      {{"-ax"}, "unknown option '-x'"},
      {{"-o"}, "-o needs a value"},
      {{"--count", "10"}, "bad value for --count: 10 (a whole number from 1 to 9)"},
      {{"--count", "+3"}, "bad value for --count: +3 (a whole number from 1 to 9)"},
      {{"--count", " 3"}, "bad value for --count:  3 (a whole number from 1 to 9)"},
      {{"--count=99999999999999999999"}, "bad value for --count: 99999999999999999999 (a whole number from 1 to 9)"},
      {{"--bee=1"}, "--bee takes no value"},
      {{"--be"}, "unknown option '--be'"},
      {{"a", "b", "c", "d"}, "too many arguments for 'sample': 'd'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    Read r;
    std::string err;
    EXPECT_EQ(ReadSample(c.Args, r, err), UsageError);
    EXPECT_EQ(err.substr(0, err.find('\n')), "morvel sample: " + std::string(c.Fault));
  }
  // Help wins over what follows it, not over a fault before it.
  Read r;
  std::string err;
  EXPECT_EQ(ReadSample({"--help", "--count", "10"}, r, err), 0);
  EXPECT_EQ(ReadSample({"--count", "10", "--help"}, r, err), UsageError);
  EXPECT_EQ(ReadSample({"--", "--help"}, r, err), std::nullopt);
  EXPECT_EQ(r.Items, std::vector<std::string>{"--help"});
}

TEST(OptionParserTest, WholeNumbers) {
  EXPECT_EQ(WholeNumber("0", 0, 10), 0);
  EXPECT_EQ(WholeNumber("010", 0, 10), 10);
  EXPECT_EQ(WholeNumber("1099511627776", 1, 1LL << 40), 1LL << 40);
  EXPECT_EQ(WholeNumber("1099511627777", 1, 1LL << 40), std::nullopt);
  EXPECT_EQ(WholeNumber("9223372036854775807", 0, INT64_MAX), INT64_MAX);
  EXPECT_EQ(WholeNumber("9999999999999999999", 0, INT64_MAX), std::nullopt);
  EXPECT_EQ(WholeNumber("18446744073709551621", 1, 9), std::nullopt);  // 2^64 + 5: no wrapping round to 5
  for (const char* bad : {"", "-1", "1.5", "1e3", "0x10", "12a"})
    EXPECT_EQ(WholeNumber(bad, -5, 100), std::nullopt) << bad;
}

// Usage lines break between bracketed groups at 100 columns, each going on
// under the first.
TEST(ShellTest, UsageLinesBreakBetweenGroups) {
  EXPECT_EQ(UsageLines(*FindCommand("serve")),
            "usage: morvel serve [--port N] [--allow-origin ORIGIN]... [--allow-folder DIR]...\n"
            "                    [--max-connections N] [--max-objects N] [--max-message BYTES]\n"
            "                    [--lease-wait SECONDS] [--max-left-running N] [--refuse-printer-settings]\n"
            "                    [--ipv4-only]\n");
  EXPECT_EQ(UsageLines(*FindCommand("emulate")),
            "usage: morvel emulate [--zpl PORT] [--sbpl PORT] [--tspl PORT] [--epl2 PORT] [--web PORT]\n"
            "                      [--jobs DIR] [--dpi N] [--listen ADDR] [--limit BYTES] [--idle SECONDS]\n"
            "                      [--media [LANG:]WxH]... [--paused] [--paper-out] [--head-open] [--ribbon-out]\n"
            "                      [--paper-out-after N]\n"
            "                      [--rfid [--rfid-seed N] [--rfid-fail PLACES] [--rfid-fail-rate PERCENT]]\n");
  EXPECT_EQ(UsageLines(*FindCommand("preview")),
            "usage: morvel preview JOB [-o OUT] [--format png|pdf] [--language zpl|sbpl|orx|epl2] [--dpi N]\n"
            "                      [--width MM] [--height MM]\n");
  EXPECT_EQ(UsageLines(*FindCommand("members")), "usage: morvel members [CLASS] [--markdown | --idl]\n");
  EXPECT_EQ(UsageLines(*FindCommand("version")), "usage: morvel version\n");
}

}  // namespace
}  // namespace morvel::cli

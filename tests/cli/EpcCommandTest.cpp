// `morvel epc` through the shell, in this process: what each action prints,
// and that input the codec refuses, or arguments that do not fit together,
// end with the rule on standard error and exit status 2.
#include <gtest/gtest.h>

#include <sstream>

#include "hosts/cli/Shell.h"

namespace morvel::cli {
namespace {

struct Outcome {
  int Status;
  std::string Out, Err;
};

Outcome Epc(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "epc");
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunShell(args, in, out, err);
  return {status, out.str(), err.str()};
}

TEST(EpcCommandTest, EncodesAndDecodes) {
  const struct {
    std::vector<std::string> Args;
    const char* Out;
  } cases[] = {
      {{"encode", "urn:epc:tag:sgtin-96:3.0614141.812345.6789"}, "3074257BF7194E4000001A85\n"},
      {{"encode", "--scheme", "SGTIN-96", "--filter", "3", "--prefix-length", "7", "(01)80614141123458(21)6789"},
       "3074257BF7194E4000001A85\n"},
      {{"encode", "--scheme=sscc-96", "urn:epc:id:sscc:0614141.1234567890"}, "3114257BF4499602D2000000\n"},  // filter 0
      {{"decode", "3074257BF7194E4000001A85"},
       "urn:epc:tag:sgtin-96:3.0614141.812345.6789\nurn:epc:id:sgtin:0614141.812345.6789\n"
       "(01)80614141123458(21)6789\n"},
      {{"decode", "350007AB70425D4000000586"},
       "urn:epc:tag:gid-96:31415.271828.1414\nurn:epc:id:gid:31415.271828.1414\n"},
      // A "+" scheme (TDS Annex E.3's SGTIN+) needs no prefix length, and decodes to its element string alone.
      {{"encode", "--scheme", "SGTIN+", "--filter", "3", "(01)79521141123453(21)32a/b"},
       "F73795211411234538566CB0AFC4\n"},
      {{"encode", "--scheme", "sgtin+", "--filter", "3", "--prefix-length", "0", "(01)79521141123453(21)32a/b"},
       "F73795211411234538566CB0AFC4\n"},
      {{"decode", "F73795211411234538566CB0AFC4"}, "(01)79521141123453(21)32a/b\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args.back());
    const Outcome o = Epc(c.Args);
    EXPECT_EQ(o.Status, 0) << o.Err;
    EXPECT_EQ(o.Out, c.Out);
    EXPECT_EQ(o.Err, "");
  }
}

TEST(EpcCommandTest, RefusalsAreUsageErrors) {
  const struct {
    std::vector<std::string> Args;
    const char* Err;  // the first line of standard error
  } cases[] = {
      {{"encode", "--scheme", "SGTIN-96", "--prefix-length", "7", "(01)80614141123457(21)6789"},
       "morvel epc: GTIN check digit 7 does not match (8)"},
      {{"decode", "3074257BF7194E4000001A"}, "morvel epc: SGTIN-96 takes 24 hexadecimal digits (96 bits), not 22"},
      {{"encode", "--scheme", "SGTIN-96", "(01)80614141123458(21)6789"},
       "morvel epc: an element string needs --prefix-length (its company prefix's digits)"},
      {{"encode", "--filter", "1", "urn:epc:tag:sgtin-96:3.0614141.812345.6789"},
       "morvel epc: --filter and --prefix-length go with --scheme; a tag URI holds its own"},
      {{"decode", "--scheme", "SGTIN-96", "3074257BF7194E4000001A85"},
       "morvel epc: decode takes the hexadecimal EPC alone; it tells its scheme, filter and prefix"},
      {{"print", "3074257BF7194E4000001A85"}, "morvel epc: unknown action 'print' (encode or decode)"},
      {{"encode", "--prefix-length", "5", "x"},
       "morvel epc: bad value for --prefix-length: 5 (a whole number of digits from 6 to 12, or 0 for none)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args.back());
    const Outcome o = Epc(c.Args);
    EXPECT_EQ(o.Status, UsageError);
    EXPECT_EQ(o.Out, "");
    EXPECT_EQ(o.Err.substr(0, o.Err.find('\n')), c.Err);
  }
}

// With - the operands come a line each from standard input, a line out each;
// a refused line stops the list after the lines before it, its number told.
TEST(EpcCommandTest, ListsFromStandardInput) {
  const struct {
    std::vector<std::string> Args;
    std::string In, Out, Err;
    int Status;
  } cases[] = {
      {{"encode", "-"},
       "urn:epc:tag:sgtin-96:3.0614141.812345.6789\r\nurn:epc:tag:gid-96:31415.271828.1414\n",
       "3074257BF7194E4000001A85\n350007AB70425D4000000586\n",
       "",
       0},
      {{"encode", "--scheme", "SSCC-96", "-"},
       "urn:epc:id:sscc:0614141.1234567890\n",
       "3114257BF4499602D2000000\n",
       "",
       0},
      {{"decode", "-"},
       "3074257BF7194E4000001A85\n350007AB70425D4000000586",
       "urn:epc:tag:sgtin-96:3.0614141.812345.6789\turn:epc:id:sgtin:0614141.812345.6789\t"
       "(01)80614141123458(21)6789\n"
       "urn:epc:tag:gid-96:31415.271828.1414\turn:epc:id:gid:31415.271828.1414\t\n",
       "",
       0},
      {{"encode", "-"},
       "urn:epc:tag:sgtin-96:3.0614141.812345.6789\nurn:epc:tag:sgtin-96:3.0614141.812345.274877906944\n",
       "3074257BF7194E4000001A85\n",
       "morvel epc: line 2: SGTIN-96: serial 274877906944 is over 2^38-1 (274877906943)\n",
       UsageError},
      {{"encode", "-"}, "", "", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.In);
    const Outcome o = Epc(c.Args, c.In);
    EXPECT_EQ(o.Status, c.Status);
    EXPECT_EQ(o.Out, c.Out);
    EXPECT_EQ(o.Err, c.Err);
  }
}

}  // namespace
}  // namespace morvel::cli

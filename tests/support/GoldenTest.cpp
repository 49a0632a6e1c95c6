// The golden files themselves: reading rows and their escapes, the failures
// a mismatch, a missing source or a malformed line give, and generate mode
// rewriting only what changed, merging what two processes write.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "support/Golden.h"
#include "support/TempFolder.h"

namespace morvel::testing {
namespace {

namespace fs = std::filesystem;

// The failures F reports, as "LINE: message" (LINE -1 when it names none).
std::vector<std::string> Failures(const std::function<void()>& f) {
  ::testing::TestPartResultArray results;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
    f();
  }
  std::vector<std::string> out;
  for (int i = 0; i < results.size(); ++i)
    out.push_back(std::to_string(results.GetTestPartResult(i).line_number()) + ": " +
                  results.GetTestPartResult(i).message());
  return out;
}

class GoldenTest : public ::testing::Test {
 protected:
  GoldenTest() { std::ofstream(dir_ / "logo.bin", std::ios::binary) << std::string("BM\x00\x01\xFF", 5); }
  std::string Write(const std::string& text) {
    std::ofstream(file_, std::ios::binary) << text;
    return file_;
  }
  std::string Read() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  GoldenFile Open(bool generate) { return GoldenFile(file_, dir_, generate); }

  const TempFolder temp_{"golden-test"};
  const fs::path dir_ = temp_.Path();
  std::string file_ = (dir_ / "t.golden").string();
};

const char* const Sample =
    "# a comment\n"
    "@break-before \"^FO\"\n"
    "\n"
    "[one]\n"
    "from: hand: 1 + 1\n"
    "  and more working\n"
    "\"^XA\" \"^FO1\"\n"
    "\"^XZ\"\n"
    "\n"
    "[two]\n"
    "from: guide: a section\n"
    "\"\"\n";

TEST_F(GoldenTest, RowsJoinTheirStringsAndCompare) {
  Write(Sample);
  GoldenFile golden = Open(false);
  EXPECT_EQ(golden.Value("one"), "^XA^FO1^XZ");
  EXPECT_EQ(golden.Value("two"), "");
  EXPECT_TRUE(Failures([&] { golden.Expect("one", "^XA^FO1^XZ"); }).empty());
  auto failed = Failures([&] { golden.Expect("one", "^XA^FO2^XZ"); });
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].substr(0, 3), "7: ") << "at the row's first value line";
  EXPECT_NE(failed[0].find("[one] (from: hand: 1 + 1 and more working)"), std::string::npos) << failed[0];
  EXPECT_NE(failed[0].find("first difference at byte 6"), std::string::npos) << failed[0];
  EXPECT_NE(failed[0].find("MORVEL_GENERATE=1"), std::string::npos);
  failed = Failures([&] { golden.Expect("three", "x"); });
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find("no row [three]"), std::string::npos) << failed[0];
  EXPECT_EQ(Read(), Sample) << "comparing writes nothing";
}

TEST_F(GoldenTest, EscapesAndFilesGiveTheirBytes) {
  const struct {
    const char* Line;
    std::string Bytes;
  } cases[] = {
      {"\"a\\\\b\\\"c\"", "a\\b\"c"},
      {"\"\\r\\n\\t\"", "\r\n\t"},
      {"\"\\x1B\\x00\\xff\\xFE1\"", std::string("\x1B\x00\xFF\xFE"
                                                "1",
                                                5)},
      {"\"条码 é\"", "条码 é"},
      {"\"A\" <logo.bin> \"Z\"", std::string("ABM\x00\x01\xFFZ", 7)},
      {"\"\" \"\"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Line);
    Write(std::string("[r]\nfrom: hand: x\n") + c.Line + "\n");
    std::vector<std::string> failed;
    std::string value;
    failed = Failures([&] { value = Open(false).Value("r"); });
    EXPECT_TRUE(failed.empty()) << failed.front();
    EXPECT_EQ(value, c.Bytes);
  }
}

TEST_F(GoldenTest, MalformedLinesAreToldWithTheirLine) {
  const struct {
    const char* Text;
    const char* Failure;
  } cases[] = {
      {"[r]\nfrom: hand: x\n\"\\q\"\n", "3: unknown escape \\q"},
      {"[r]\nfrom: hand: x\n\"\\x4\"\n", "3: \\x takes two hexadecimal digits"},
      {"[r]\nfrom: hand: x\n\"open\n", "3: a string without its closing quote"},
      {"[r]\nfrom: hand: x\n\"a\" b\n", "3: a value line holds"},
      {"[r]\nfrom: hand: x\n<missing.bin>\n", "3: <missing.bin> cannot be read"},
      {"[r]\nfrom: hand: x\n\n\"a\"\n", "1: [r] has no value lines"},
      {"[r]\nfrom: hand: x\n\"a\"\n[r]\nfrom: hand: y\n\"b\"\n", "4: [r] is there twice"},
      {"value outside a row\n", "1: not a line of a golden file"},
      {"[r]\n\"a\"\nfrom: hand: late\n", "3: not a line of a golden file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    Write(c.Text);
    auto failed = Failures([&] { Open(false); });
    ASSERT_FALSE(failed.empty());
    EXPECT_NE(failed[0].find(std::string(":") + c.Failure), std::string::npos) << failed[0];
  }
}

TEST_F(GoldenTest, EveryRowSaysWhereItsValueComesFrom) {
  const struct {
    const char* From;
    bool Said;
  } cases[] = {
      {"from: guide: ZPL II Programming Guide, ^BC", true},
      {"from: hand: 10 px = 21 dots", true},
      {"from: decoder: zbarimg", true},
      {"from: printer: a GK420t's answer", true},
      {"from: hand:", false},
      {"from: the code", false},
      {"from: Hand: capitals", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.From);
    Write(std::string("[r]\n") + c.From + "\n\"v\"\n");
    GoldenFile golden = Open(false);
    auto failed = Failures([&] { golden.Expect("r", "v"); });
    EXPECT_EQ(failed.size(), c.Said ? 0u : 1u);
    if (!c.Said && !failed.empty()) {
      EXPECT_NE(failed[0].find("does not say where"), std::string::npos) << failed[0];
    }
  }
  Write("[r]\n\"v\"\n");
  EXPECT_EQ(Failures([&] { Open(false).Expect("r", "v"); }).size(), 1u) << "no from: at all";
}

TEST_F(GoldenTest, GenerateRewritesOnlyTheValueLinesOfChangedRows) {
  Write(Sample);
  GoldenFile golden = Open(true);
  EXPECT_TRUE(Failures([&] {
                golden.Expect("one", "^XA^FO1^XZ");
                golden.Expect("two", "^XA^FO5,5^GB1,1^FS^FO6,6^FS\x1B\r\n条码\xC3");
              }).empty());
  EXPECT_EQ(Read(),
            "# a comment\n"
            "@break-before \"^FO\"\n"
            "\n"
            "[one]\n"
            "from: hand: 1 + 1\n"
            "  and more working\n"
            "\"^XA\" \"^FO1\"\n"
            "\"^XZ\"\n"
            "\n"
            "[two]\n"
            "from: guide: a section\n"
            "\"^XA\"\n"
            "\"^FO5,5^GB1,1^FS\"\n"
            "\"^FO6,6^FS\\x1B\\r\\n\"\n"
            "\"条码\\xC3\"\n");
  EXPECT_EQ(golden.Value("two"), "^XA^FO5,5^GB1,1^FS^FO6,6^FS\x1B\r\n条码\xC3") << "and it reads what it wrote";
  EXPECT_EQ(Open(false).Value("two"), "^XA^FO5,5^GB1,1^FS^FO6,6^FS\x1B\r\n条码\xC3");
}

TEST_F(GoldenTest, GenerateWritesTheFilesOfTheGoldenFileAsTheirNames) {
  Write("[image]\nfrom: hand: x\n\"DOWNLOAD \" <logo.bin> \"\\r\\n\"\n");
  GoldenFile golden = Open(true);
  golden.Expect("image", std::string("PUT BM\x00\x01\xFF,BM\x00\x01\xFF\r\nBM", 19));
  EXPECT_EQ(Read(), "[image]\nfrom: hand: x\n\"PUT \"\n<logo.bin>\n\",\"\n<logo.bin>\n\"\\r\\n\"\n\"BM\"\n");
}

TEST_F(GoldenTest, GenerateAppendsAMissingRowThatStillFailsUntilItSaysItsSource) {
  Write(Sample);
  GoldenFile golden = Open(true);
  auto failed = Failures([&] { golden.Expect("three", "new"); });
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].substr(0, 4), "14: ") << failed[0];
  EXPECT_NE(failed[0].find("does not say where"), std::string::npos);
  EXPECT_EQ(Read(),
            std::string(Sample) +
                "\n[three]\nfrom: (say where this value comes from: guide, hand, decoder or printer)\n\"new\"\n");
  EXPECT_EQ(Failures([&] { Open(false).Expect("three", "new"); }).size(), 1u);
}

TEST_F(GoldenTest, TwoWritersOfOneFileMergeTheirRows) {
  Write(Sample);
  GoldenFile first = Open(true), second = Open(true);
  first.Expect("one", "1");
  second.Expect("two", "2");  // read before the first wrote
  GoldenFile after = Open(false);
  EXPECT_EQ(after.Value("one"), "1");
  EXPECT_EQ(after.Value("two"), "2");
}

TEST_F(GoldenTest, RowsNoCaseAskedForAreTold) {
  Write(Sample);
  GoldenFile golden = Open(false);
  golden.Expect("one", "^XA^FO1^XZ");
  auto failed = Failures([&] { golden.ExpectEveryRowUsed(""); });
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].substr(0, 4), "10: ") << failed[0];
  EXPECT_NE(failed[0].find("[two]"), std::string::npos);
  EXPECT_TRUE(Failures([&] { golden.ExpectEveryRowUsed("on"); }).empty());
}

TEST(GoldenMode, IsMorvelGenerateSetToAnythingButZero) {
  const char* before = std::getenv("MORVEL_GENERATE");
  const std::string kept = before ? before : "";
  for (auto [value, generate] : {std::pair{"1", true}, {"yes", true}, {"0", false}, {"", false}}) {
    setenv("MORVEL_GENERATE", value, 1);
    EXPECT_EQ(GoldenFile::GenerateMode(), generate) << value;
  }
  unsetenv("MORVEL_GENERATE");
  EXPECT_FALSE(GoldenFile::GenerateMode());
  if (before) setenv("MORVEL_GENERATE", kept.c_str(), 1);
}

}  // namespace
}  // namespace morvel::testing

// The shared test printers as a test writes them, read back by the
// printers.conf reader the programs use: the demo brands' own resolutions,
// the test's places for their jobs, its additions and its own odd entries.
#include "support/TestPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fakes/fakes.h"
#include "platform/linux/adapters.h"
#include "support/TempFolder.h"

namespace morvel::platform {

void PrintTo(const InstalledPrinter& p, std::ostream* os) {
  *os << "{" << ToUtf8(p.Name) << ", " << p.Dpi << ", " << p.Uri << ", " << p.Preview << ", " << p.WidthMm << " x "
      << p.HeightMm << "}";
}

namespace {

namespace fs = std::filesystem;
using morvel::testing::SocketUri;
using morvel::testing::TempFolder;
using morvel::testing::WritePrinters;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TestPrintersTest : public ::testing::Test {
 protected:
  std::vector<InstalledPrinter> Read(const std::string& path) { return PrintersConfSource(path, true).List(); }

  FakeServices Fakes;
  ScopedServices Scope{Fakes.AsServices()};
  TempFolder Folder{"morvel-test-printers"};
};

TEST_F(TestPrintersTest, TheTestsPlacesAndAdditionsReachTheReader) {
  const std::string file = "file:" + (Folder / "zebra").string();
  const auto conf =
      WritePrinters(Folder.Path(),
                    {{"SATO CL4NX 305dpi", SocketUri(9100)},
                     {"ZDesigner GK420t", "file:zebra", {{"preview", "png"}, {"width", "101.6"}, {"height", "152.4"}}},
                     {"Orx TE200", "file:orx", {{"dpi", "300"}}},
                     {"Dothan T7 Label", "file:/nowhere/at/all", {{"dpi", ""}}},
                     {"Orx TE200", "file:orx", {}, "Orx documents"}},
                    "[ZDesigner Gone]\nuri = file:no-such-folder\n");
  EXPECT_THAT(Read(conf),
              ElementsAre(InstalledPrinter{u"SATO CL4NX 305dpi", 305, "socket://127.0.0.1:9100"},
                          InstalledPrinter{u"ZDesigner GK420t", 203, file, "png", 101.6, 152.4},
                          InstalledPrinter{u"Orx TE200", 300, "file:" + (Folder / "orx").string()},
                          InstalledPrinter{u"Dothan T7 Label", 203, "file:/nowhere/at/all"},
                          InstalledPrinter{u"Orx documents", 203, "file:" + (Folder / "orx").string()},
                          InstalledPrinter{u"ZDesigner Gone", 203, "file:" + (Folder / "no-such-folder").string()}));
  EXPECT_THAT(Fakes.Logger->Records, IsEmpty());
  // The printers' own relative folders are made; a test's odd entry's are not.
  EXPECT_TRUE(fs::is_directory(Folder / "zebra"));
  EXPECT_TRUE(fs::is_directory(Folder / "orx"));
  EXPECT_FALSE(fs::exists(Folder / "no-such-folder"));
}

// Each shared printer is the demo's own, at the demo's resolution.
TEST_F(TestPrintersTest, TheSharedPrintersAreTheDemos) {
  const auto demo = Read(MORVEL_SOURCE_DIR "/examples/printers.conf");
  std::vector<morvel::testing::TestPrinter> all;
  for (const auto& p : demo) all.push_back({ToUtf8(p.Name)});
  const auto shared = Read(WritePrinters(Folder.Path(), all));
  ASSERT_EQ(shared.size(), demo.size());
  for (size_t i = 0; i < demo.size(); ++i) {
    EXPECT_EQ(shared[i].Name, demo[i].Name);
    EXPECT_EQ(shared[i].Dpi, demo[i].Dpi) << ToUtf8(demo[i].Name);
  }
}

TEST(TestPrinters, ANameTheSharedFileLacksIsRefused) {
  EXPECT_THROW(morvel::testing::PrintersConf({{"ZDesigner GK420"}}), std::invalid_argument);
  EXPECT_EQ(morvel::testing::PrintersConf({}, "[Mine]\n"), "[Mine]\n");
}

TEST(TempFolder, IsFreshAndGoesWithEverythingInIt) {
  fs::path kept;
  {
    TempFolder a("morvel-test-folder"), b("morvel-test-folder");
    EXPECT_NE(a.Path(), b.Path());
    EXPECT_TRUE(fs::is_empty(a.Path()));
    a.Write("deep/er/file.txt", "text");
    EXPECT_EQ(a.Read("deep/er/file.txt"), "text");
    // Folders a test locked go too.
    fs::permissions(a / "deep/er", fs::perms::owner_read);
    fs::permissions(a / "deep", fs::perms::owner_exec);
    EXPECT_EQ(a.Path().parent_path(), fs::temp_directory_path());
    kept = a.Path();
  }
  EXPECT_FALSE(fs::exists(kept));
}

}  // namespace
}  // namespace morvel::platform

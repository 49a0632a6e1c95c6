// Descriptors' reads and writes, the unnamed and appended files, and the
// own folder held by a descriptor, on a scratch folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file_io.h"
#include "platform/own_folder.h"
#include "support/TempFolder.h"
#include "tests/platform/PlatformSupport.h"

namespace {

namespace fs = std::filesystem;
using morvel::platform::OwnFolder;
using morvel::testing::TempFolder;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(FileIo, UnnamedFileLeavesNoNameAndReadsBackAtAnyOffset) {
  TempFolder scratch;
  morvel::platform::FileDescriptor file = morvel::platform::UnnamedFile(scratch.Path().string());
  ASSERT_TRUE(file.IsOpen());
  EXPECT_TRUE(fs::is_empty(scratch.Path()));
  uint64_t written = 5;  // counts on from what it holds
  ASSERT_TRUE(morvel::platform::WriteAll(file.Get(), "0123456789", &written));
  EXPECT_EQ(written, 15u);
  const struct {
    uint64_t From;
    size_t Size;
    long Got;
    std::string Read;
  } reads[] = {{0, 4, 4, "0123"}, {7, 10, 3, "789"}, {10, 4, 0, ""}};
  for (const auto& r : reads) {
    std::string out(r.Size, '\0');
    EXPECT_EQ(morvel::platform::ReadAt(file.Get(), out.data(), r.Size, r.From), r.Got) << r.From;
    EXPECT_EQ(out.substr(0, r.Got > 0 ? r.Got : 0), r.Read) << r.From;
  }
}

TEST(FileIo, NoUnnamedFileInAFolderThatIsNotThere) {
  TempFolder scratch;
  errno = 0;
  EXPECT_FALSE(morvel::platform::UnnamedFile((scratch.Path() / "missing").string()).IsOpen());
  EXPECT_EQ(errno, ENOENT);
}

TEST(FileIo, WriteAllTellsTheSystemsReason) {
  errno = 0;
  EXPECT_FALSE(morvel::platform::WriteAll(-1, "x"));
  EXPECT_EQ(errno, EBADF);
}

TEST(FileIo, AppendInOneWriteAddsToWhatIsThereAndMakesAMissingFile) {
  TempFolder scratch;
  const fs::path trace = scratch.Path() / "trace";
  EXPECT_TRUE(morvel::platform::AppendInOneWrite(trace.string(), "one\n"));
  EXPECT_TRUE(morvel::platform::AppendInOneWrite(trace.string(), "two\n"));
  EXPECT_EQ(Contents(trace), "one\ntwo\n");
  EXPECT_FALSE(morvel::platform::AppendInOneWrite(scratch.Path().string(), "a folder\n"));
  EXPECT_FALSE(morvel::platform::AppendInOneWrite((scratch.Path() / "no" / "trace").string(), "x\n"));
}

TEST(OwnFolder, OpenMakesAMissingFolderForItsUserAlone) {
  TempFolder scratch;
  const fs::path path = scratch.Path() / "a" / "jobs";
  OwnFolder folder;
  EXPECT_EQ(folder.Open(path.string()).Refused, OwnFolder::Refusal::None);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(OwnFolder, OpenRefusesWhatIsNoFolderOfItsOwn) {
  TempFolder scratch;
  const std::string file = scratch.Write("file", "x");
  fs::create_directory(scratch.Path() / "shared");
  fs::permissions(scratch.Path() / "shared", fs::perms(0770));
  const struct {
    std::string Path;
    OwnFolder::Refusal Refused;
    int Error;
    unsigned Mode;
  } cases[] = {
      {file, OwnFolder::Refusal::CannotOpen, ENOTDIR, 0},
      {file + "/jobs", OwnFolder::Refusal::CannotMake, ENOTDIR, 0},
      {(scratch.Path() / "shared").string(), OwnFolder::Refusal::OthersMayWrite, 0, 0770},
  };
  for (const auto& c : cases) {
    OwnFolder folder;
    const OwnFolder::Opening opening = folder.Open(c.Path);
    EXPECT_EQ(opening.Refused, c.Refused) << c.Path;
    EXPECT_EQ(opening.Error, c.Error) << c.Path;
    EXPECT_EQ(opening.Mode, c.Mode) << c.Path;
  }
  if (geteuid() == 0) {
    fs::create_directory(scratch.Path() / "others");
    ASSERT_EQ(chown((scratch.Path() / "others").c_str(), 65534, 65534), 0);
    OwnFolder folder;
    const OwnFolder::Opening opening = folder.Open((scratch.Path() / "others").string());
    EXPECT_EQ(opening.Refused, OwnFolder::Refusal::OtherOwner);
    EXPECT_EQ(opening.Owner.Text(), "uid 65534");
  }
}

TEST(OwnFolder, FilesAreMadeNewReplacedWholeAndNeverReachedThroughALink) {
  TempFolder scratch;
  const std::string outside = scratch.Write("outside", "secret");
  const fs::path path = scratch.Path() / "jobs";
  OwnFolder folder;
  ASSERT_EQ(folder.Open(path.string()).Refused, OwnFolder::Refusal::None);
  fs::create_symlink(outside, path / "link");

  morvel::platform::FileDescriptor made = folder.Create("000001.zpl");
  ASSERT_TRUE(made.IsOpen());
  ASSERT_TRUE(morvel::platform::WriteAll(made.Get(), "^XA^XZ"));
  errno = 0;
  EXPECT_FALSE(folder.Create("000001.zpl").IsOpen());
  EXPECT_EQ(errno, EEXIST);
  EXPECT_FALSE(folder.Create("link").IsOpen());
  EXPECT_EQ(Contents(outside), "secret");

  EXPECT_EQ(folder.Read("000001.zpl", SIZE_MAX), "^XA^XZ");
  EXPECT_EQ(folder.Read("000001.zpl", 3), "^XA");
  EXPECT_EQ(folder.Read("link", SIZE_MAX), std::nullopt);
  EXPECT_EQ(folder.Read("missing", SIZE_MAX), std::nullopt);

  // Replaced, the link is gone and what it led to is as it was.
  EXPECT_TRUE(folder.Replace("link", "record"));
  EXPECT_FALSE(fs::is_symlink(path / "link"));
  EXPECT_EQ(folder.Read("link", SIZE_MAX), "record");
  EXPECT_EQ(Contents(outside), "secret");

  std::vector<std::string> names = folder.Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "000001.zpl", "link"}));
}

}  // namespace

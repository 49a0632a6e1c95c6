// clsBase64's file routines, and the whole-file reader the drivers use for
// pictures, with host paths confined to one folder, on a real file system:
// what leads outside (by "..", by a link, by a second hard link) is refused,
// also while another thread swaps the name between a file and a link, and
// what stays inside is read and written as without confinement. Every case
// runs both with the kernel resolving beneath the folder (openat2) and with
// the component walk that kernels without openat2 get.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <thread>

#include "morvel/clsBase64.h"
#include "platform/fakes/fakes.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "support/FakeEnvironment.h"
#include "support/TempFolder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;
using morvel::testing::ErrorOf;
using platform::BeneathResolution;

const std::string Secret = "OUTSIDE-SECRET";

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, std::string_view content) { std::ofstream(path, std::ios::binary) << content; }

struct stat StatOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

class Folders {
 public:
  Folders() {
    fs::create_directories(Allowed() / "sub");
    fs::create_directories(root_ / "outside");
    fs::create_directories(root_ / "allowed-not");
    Write(Outside(), Secret);
  }

  const fs::path& Root() const { return root_.Path(); }
  fs::path Allowed() const { return root_ / "allowed"; }
  fs::path Outside() const { return root_ / "outside" / "secret.txt"; }

 private:
  morvel::testing::TempFolder root_{"morvel-confined"};
};

class Confined : public ::testing::TestWithParam<BeneathResolution> {
 protected:
  void SetUp() override {
    platform::ResolveBeneathBy(GetParam());
    platform::ConfineHostPaths({folders_.Allowed().string()});
  }
  void TearDown() override {
    platform::LiftHostPathConfinement();
    platform::ResolveBeneathBy(BeneathResolution::Kernel);
  }

  fs::path Allowed(std::string_view name) const { return folders_.Allowed() / std::string(name); }
  String HostPath(std::string_view below) const { return FromUtf8((folders_.Root() / std::string(below)).string()); }

  platform::FakeServices fakes_;
  platform::ScopedServices scope_{fakes_.AsServices()};
  Folders folders_;
  clsBase64 codec_;
};

const ByteArray Untouched(std::vector<uint8_t>{7, 7, 7});

TEST_P(Confined, WhatLeadsOutsideIsRefusedAndWhatStaysInsideWorksAsBefore) {
  const fs::path outsideFolder = folders_.Outside().parent_path();
  Write(Allowed("abc.bin"), "ABC");
  Write(Allowed("sub/deep.bin"), "DEEP");
  Write(Allowed("old.bin"), "0123456789");
  fs::permissions(Allowed("old.bin"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  Write(Allowed("older.bin"), "0123456789");
  Write(Allowed("twin-a"), "twins");
  Write(folders_.Root() / "allowed-not" / "x.bin", "x");
  fs::create_symlink(folders_.Outside(), Allowed("link.txt"));
  fs::create_symlink(outsideFolder / "new.txt", Allowed("dangling"));
  fs::create_symlink(outsideFolder, Allowed("dirlink"));
  fs::create_symlink(Allowed("sub"), Allowed("innerlink"));
  fs::create_hard_link(folders_.Outside(), Allowed("hard.txt"));
  fs::create_hard_link(Allowed("twin-a"), Allowed("twin-b"));
  ASSERT_EQ(mkfifo(Allowed("pipe").c_str(), 0600), 0);
  const ino_t oldInode = StatOf(Allowed("old.bin")).st_ino;

  enum Op { Load, Save, Save2, Picture, Check };
  struct Case {
    Op Kind;
    const char* Path;  // below the folder that holds the allowed one
    int Error;
    const char* Content;  // read, or found in the file afterwards
  };
  const Case cases[] = {
      // The bridge's check before a member runs: what is refused now.
      {Check, "allowed/abc.bin", 0, nullptr},
      {Check, "allowed/missing.bin", 0, nullptr},
      {Check, "allowed/link.txt", errors::PermissionDenied, nullptr},
      {Check, "allowed/dirlink/secret.txt", errors::PermissionDenied, nullptr},
      {Check, "allowed/hard.txt", errors::PermissionDenied, nullptr},
      {Check, "allowed/sub/../abc.bin", errors::PermissionDenied, nullptr},
      {Check, "outside/secret.txt", errors::PermissionDenied, nullptr},
      {Load, "allowed/abc.bin", 0, "ABC"},
      {Load, "allowed/sub/deep.bin", 0, "DEEP"},
      {Load, "allowed/./sub//deep.bin", 0, "DEEP"},
      {Picture, "allowed/sub/deep.bin", 0, "DEEP"},
      {Load, "allowed/sub/../abc.bin", errors::PermissionDenied, nullptr},
      {Load, "allowed/../outside/secret.txt", errors::PermissionDenied, nullptr},
      {Load, "outside/secret.txt", errors::PermissionDenied, nullptr},
      {Load, "allowed-not/x.bin", errors::PermissionDenied, nullptr},
      {Load, "allowed/link.txt", errors::PermissionDenied, nullptr},
      {Picture, "allowed/link.txt", errors::PermissionDenied, nullptr},
      {Load, "allowed/dirlink/secret.txt", errors::PermissionDenied, nullptr},
      {Picture, "allowed/dirlink/secret.txt", errors::PermissionDenied, nullptr},
      {Load, "allowed/innerlink/deep.bin", errors::PermissionDenied, nullptr},
      {Load, "allowed/hard.txt", errors::PermissionDenied, nullptr},
      {Picture, "allowed/hard.txt", errors::PermissionDenied, nullptr},
      {Load, "allowed/twin-a", errors::PermissionDenied, nullptr},
      {Load, "allowed/missing.bin", errors::FileNotFound, nullptr},
      {Load, "allowed/no-such-folder/x.bin", errors::PathNotFound, nullptr},
      {Load, "allowed/abc.bin/below", errors::PathNotFound, nullptr},
      {Load, "allowed/abc.bin/", errors::PathNotFound, nullptr},
      {Load, "allowed/sub/", errors::PathFileAccessError, nullptr},
      {Load, "allowed/sub", errors::PathFileAccessError, nullptr},
      {Load, "allowed", errors::PathFileAccessError, nullptr},
      {Load, "allowed/pipe", errors::SubscriptOutOfRange, nullptr},
      {Save, "allowed/link.txt", errors::PermissionDenied, nullptr},
      {Save2, "allowed/dangling", errors::PermissionDenied, nullptr},
      {Save, "allowed/dirlink/new.txt", errors::PermissionDenied, nullptr},
      {Save2, "allowed/hard.txt", errors::PermissionDenied, nullptr},
      {Save, "allowed/twin-b", errors::PermissionDenied, nullptr},
      {Save2, "allowed/sub/../new.txt", errors::PermissionDenied, nullptr},
      {Save, "allowed/sub", errors::PathFileAccessError, nullptr},
      {Save, "allowed", errors::PathFileAccessError, nullptr},
      {Save2, "allowed/no-such-folder/x.bin", errors::PathNotFound, nullptr},
      {Save, "allowed/pipe", errors::PathFileAccessError, nullptr},  // no file: refused, not waited on
      {Save, "allowed/new.bin", 0, "page"},
      {Save2, "allowed/sub/new.txt", 0, "page"},
      {Save, "allowed/old.bin", 0, "page"},
      {Save2, "allowed/older.bin", 0, "page"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Path);
    String path = HostPath(c.Path);
    if (c.Kind == Check) {
      EXPECT_EQ(ErrorOf([&] { platform::FileSystemPath(path); }), c.Error);
    } else if (c.Kind == Load || c.Kind == Picture) {
      ByteArray bytes = Untouched;
      int error = c.Kind == Load ? ErrorOf([&] { codec_.LoadFile(path, bytes); })
                                 : ErrorOf([&] { bytes = ByteArray(platform::ReadWholeFile(ToUtf8(path))); });
      EXPECT_EQ(error, c.Error);
      EXPECT_EQ(bytes,
                c.Content ? ByteArray(std::vector<uint8_t>(c.Content, c.Content + strlen(c.Content))) : Untouched);
    } else {
      ByteArray page(std::vector<uint8_t>{'p', 'a', 'g', 'e'});
      String text = u"page";
      EXPECT_EQ(c.Kind == Save ? ErrorOf([&] { codec_.SaveFile(path, page); })
                               : ErrorOf([&] { codec_.SaveFile2(path, text); }),
                c.Error);
      if (c.Content) {
        EXPECT_EQ(Read(folders_.Root() / c.Path), c.Content);
      }
    }
  }
  // Replaced by a new file that took the name, with the old one's mode.
  EXPECT_NE(StatOf(Allowed("old.bin")).st_ino, oldInode);
  EXPECT_EQ(StatOf(Allowed("old.bin")).st_mode & 0777, 0640);
  for (const auto& e : fs::directory_iterator(folders_.Allowed()))
    EXPECT_EQ(e.path().filename().string().rfind(".morvel-", 0), std::string::npos) << "a write left " << e.path();
  EXPECT_EQ(
      StatOf(Allowed("new.bin")).st_mode & 0777, 0666 & ~[] {
        mode_t mask = umask(0);
        umask(mask);
        return mask;
      }());
  EXPECT_EQ(Read(folders_.Outside()), Secret);
  EXPECT_EQ(Read(Allowed("twin-b")), "twins");
  EXPECT_FALSE(fs::exists(outsideFolder / "new.txt"));
  EXPECT_FALSE(fs::exists(folders_.Allowed() / "new.txt"));
  EXPECT_TRUE(fs::is_symlink(Allowed("link.txt")));
}

// However the allowed folder is spelt (relative to the current folder, or
// through a link above it), it is the same folder.
TEST_P(Confined, TheAllowedFolderIsRecognisedHoweverItIsReached) {
  Write(Allowed("abc.bin"), "ABC");
  fs::create_symlink(folders_.Allowed(), folders_.Root() / "alias");
  fs::path before = fs::current_path();
  fs::current_path(folders_.Allowed() / "sub");
  ByteArray fromHere, viaAlias;
  int relative = ErrorOf([&] { codec_.LoadFile(u"../abc.bin", fromHere); });
  fs::current_path(folders_.Allowed());
  EXPECT_EQ(ErrorOf([&] { codec_.LoadFile(u"abc.bin", fromHere); }), 0);
  String text = u"here";
  EXPECT_EQ(ErrorOf([&] { codec_.SaveFile2(u"sub/made.txt", text); }), 0);
  fs::current_path(before);
  EXPECT_EQ(relative, errors::PermissionDenied);
  EXPECT_EQ(fromHere, ByteArray(std::vector<uint8_t>{'A', 'B', 'C'}));
  EXPECT_EQ(Read(Allowed("sub/made.txt")), "here");
  EXPECT_EQ(ErrorOf([&] { codec_.LoadFile(HostPath("alias/abc.bin"), viaAlias); }), 0);
  EXPECT_EQ(viaAlias, fromHere);
}

// The moment the race below can only hit now and then, every time: the name
// was a second link to the outside file when it was opened, and is gone, or
// another file, by the time the open file is looked at.
fs::path hookName, hookOutside;
bool hookReplaces = false;

TEST_P(Confined, ASecondLinkGoneBeforeTheCheckIsStillRefused) {
  hookName = Allowed("hard.txt");
  hookOutside = folders_.Outside();
  const struct stat outsideBefore = StatOf(folders_.Outside());
  for (bool replaces : {false, true}) {
    SCOPED_TRACE(replaces ? "replaced by a file" : "removed");
    hookReplaces = replaces;
    platform::AfterConfinedOpenForTesting([] {
      fs::remove(hookName);
      if (hookReplaces) Write(hookName, "inside");
    });
    struct Unhook {
      ~Unhook() { platform::AfterConfinedOpenForTesting(nullptr); }
    } unhook;
    // Straight to the open: the check before it would see the second link.
    std::vector<uint8_t> bytes;
    fs::create_hard_link(folders_.Outside(), hookName);
    EXPECT_EQ(ErrorOf([&] { bytes = platform::ReadWholeFile(hookName.string()); }), errors::PermissionDenied);
    EXPECT_TRUE(bytes.empty());
    fs::remove(hookName);
    fs::create_hard_link(folders_.Outside(), hookName);
    const uint8_t page[] = {'p', 'a', 'g', 'e'};
    EXPECT_EQ(ErrorOf([&] { platform::WriteWholeFile(hookName.string(), page, sizeof page, true); }),
              errors::PermissionDenied);
    fs::remove(hookName);
  }
  EXPECT_EQ(Read(folders_.Outside()), Secret);
  EXPECT_EQ(StatOf(folders_.Outside()).st_mtim.tv_nsec, outsideBefore.st_mtim.tv_nsec);
}

// The swap that once let a check pass on a file and the open follow a link:
// a second thread turns the name into a file, a link to the outside file,
// nothing and a hard link to it, over and over, while LoadFile and SaveFile2
// take the name. Not one byte of the outside file may come back or change.
TEST_P(Confined, NoSwapOfTheNameReachesTheOutsideFile) {
  const fs::path name = Allowed("swapped.bin");
  const fs::path file = Allowed(".file"), link = Allowed(".link");
  const struct stat outsideBefore = StatOf(folders_.Outside());
  std::atomic<bool> stop{false};
  std::atomic<long> swaps{0};
  std::thread racer([&] {
    while (!stop.load()) {
      int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd >= 0) {
        (void)!::write(fd, "inside", 6);
        ::close(fd);
      }
      ::rename(file.c_str(), name.c_str());
      (void)!::symlink(folders_.Outside().c_str(), link.c_str());
      ::rename(link.c_str(), name.c_str());
      ::unlink(name.c_str());
      // A second link that is gone again by the time the file is looked at
      // is the narrowest window: it gets the most turns.
      for (int i = 0; i < 8; ++i) {
        (void)!::link(folders_.Outside().c_str(), name.c_str());
        ::unlink(name.c_str());
      }
      swaps.fetch_add(1);
    }
  });

  const String path = FromUtf8(name.string());
  const String text = u"page";
  long tries = 0, loaded = 0, saved = 0;
  std::map<int, long> refusals;
  std::map<std::string, long> contents;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    ++tries;
    ByteArray bytes;
    int error = ErrorOf([&] { codec_.LoadFile(path, bytes); });
    if (error == 0) {
      ++loaded;
      ++contents[std::string(bytes.Data(), bytes.Data() + bytes.Size())];
    } else {
      ++refusals[error];
    }
    String input = text;
    error = ErrorOf([&] { codec_.SaveFile2(path, input); });
    if (error == 0)
      ++saved;
    else
      ++refusals[error];
  }
  stop = true;
  racer.join();

  std::string summary = std::to_string(tries) + " tries, " + std::to_string(swaps.load()) + " rounds of swaps, " +
                        std::to_string(loaded) + " loads, " + std::to_string(saved) + " saves; refusals:";
  for (auto [number, count] : refusals) summary += " " + std::to_string(number) + "x" + std::to_string(count);
  SCOPED_TRACE(summary);
  std::cout << summary << "\n";
  for (const auto& [content, count] : contents)
    EXPECT_TRUE(content == "inside" || content == "page") << count << " loads gave '" << content << "'";
  EXPECT_EQ(Read(folders_.Outside()), Secret);
  const struct stat outsideAfter = StatOf(folders_.Outside());
  EXPECT_EQ(outsideAfter.st_size, outsideBefore.st_size);
  EXPECT_EQ(outsideAfter.st_mtim.tv_sec, outsideBefore.st_mtim.tv_sec);
  EXPECT_EQ(outsideAfter.st_mtim.tv_nsec, outsideBefore.st_mtim.tv_nsec);
  // The race was run, both ways: many tries, some that got the file inside,
  // some that met a link.
  EXPECT_GT(tries, 1000);
  EXPECT_GT(swaps.load(), 1000);
  EXPECT_GT(loaded, 0);
  EXPECT_GT(saved, 0);
  EXPECT_GT(refusals[errors::PermissionDenied], 0);
}

INSTANTIATE_TEST_SUITE_P(Resolution, Confined,
                         ::testing::Values(BeneathResolution::Kernel, BeneathResolution::ComponentWalk),
                         [](const auto& info) {
                           return info.param == BeneathResolution::Kernel ? "Openat2" : "ComponentWalk";
                         });

// Without confinement (the script host, C++ hosts) links are followed and
// hard-linked files read and written, as the user's own programs may.
TEST(Unconfined, LinksAreFollowedAsTheSystemDoes) {
  platform::FakeServices fakes;
  platform::ScopedServices scope(fakes.AsServices());
  Folders folders;
  fs::create_symlink(folders.Outside(), folders.Allowed() / "link.txt");
  fs::create_hard_link(folders.Outside(), folders.Allowed() / "hard.txt");
  fs::create_symlink(folders.Outside().parent_path(), folders.Allowed() / "dirlink");
  clsBase64 codec;
  for (const char* name : {"link.txt", "hard.txt", "dirlink/secret.txt", "sub/../link.txt"}) {
    ByteArray bytes;
    codec.LoadFile(FromUtf8((folders.Allowed() / name).string()), bytes);
    EXPECT_EQ(std::string(bytes.Data(), bytes.Data() + bytes.Size()), Secret) << name;
  }
  String text = u"written through";
  codec.SaveFile2(FromUtf8((folders.Allowed() / "hard.txt").string()), text);
  EXPECT_EQ(Read(folders.Outside()), "written through");
  codec.SaveFile2(FromUtf8((folders.Allowed() / "dirlink" / "made.txt").string()), text);
  EXPECT_EQ(Read(folders.Outside().parent_path() / "made.txt"), "written through");
}

}  // namespace
}  // namespace morvel

// Host path confinement as the platform gives it to every caller: the path
// each spelling comes back as, and the error number and the whole message
// of each refusal, which hosts show as they are. Every case runs with the
// kernel resolving beneath the allowed folder and with the component walk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "support/TempFolder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;
using platform::BeneathResolution;

enum class Call { Path, Read, Write, Replace };

struct Case {
  const char* Name;
  Call Do;
  std::string Below;  // below the test's folder
  int Error;          // 0: allowed
  std::string Says;   // after "<standard description>: '<path>' ", or the path given back
};

class HostPaths : public ::testing::TestWithParam<BeneathResolution> {
 protected:
  void SetUp() override {
    root_.Write("allowed/abc.bin", "ABC");
    root_.Write("outside/secret.txt", "secret");
    fs::create_directories(root_ / "allowed/sub");
    fs::create_symlink("../outside/secret.txt", root_ / "allowed/link.txt");
    fs::create_symlink("../outside", root_ / "allowed/dirlink");
    fs::create_hard_link(root_ / "outside/secret.txt", root_ / "allowed/hard.txt");
    fs::create_directory_symlink("allowed", root_ / "alias");
    platform::ResolveBeneathBy(GetParam());
    platform::ConfineHostPaths({(root_ / "allowed").string()});
  }
  void TearDown() override {
    platform::LiftHostPathConfinement();
    platform::ResolveBeneathBy(BeneathResolution::Kernel);
  }

  std::string In(const std::string& below) const { return (root_.Path() / below).string(); }

  // The path given back, or the error's number and message.
  std::pair<int, std::string> Run(Call call, const std::string& path) {
    try {
      switch (call) {
        case Call::Path: return {0, platform::ConfinedPath(path)};
        case Call::Read: platform::OpenConfinedHostFile(path, platform::HostFileUse::Read); break;
        case Call::Write: platform::OpenConfinedHostFile(path, platform::HostFileUse::Write); break;
        case Call::Replace: platform::WriteConfinedHostFile(path, reinterpret_cast<const uint8_t*>("new"), 3); break;
      }
      return {0, path};
    } catch (const AutomationError& e) {
      return {e.Number(), e.Description()};
    }
  }

  morvel::testing::TempFolder root_{"morvel-host-paths"};
};

TEST_P(HostPaths, EachSpellingComesBackAsItsPathOrRefusedWithItsOwnMessage) {
  const std::string denied = AutomationError::StandardDescription(errors::PermissionDenied);
  const Case cases[] = {
      {"a file inside", Call::Path, "allowed/abc.bin", 0, "allowed/abc.bin"},
      {"dots and doubled slashes are spelling", Call::Path, "allowed/./sub//x.bin", 0, "allowed/sub/x.bin"},
      {"a trailing slash names a folder", Call::Path, "allowed/sub/", 0, "allowed/sub/."},
      {"the folder reached through a link is the folder", Call::Path, "alias/abc.bin", 0, "alias/abc.bin"},
      {"a missing file passes, for its open to tell", Call::Path, "allowed/none.bin", 0, "allowed/none.bin"},
      {"a parent folder is refused", Call::Path, "allowed/../allowed/abc.bin", errors::PermissionDenied,
       "names a parent folder (..)"},
      {"a link to a file outside", Call::Path, "allowed/link.txt", errors::PermissionDenied,
       "leads through a symbolic link"},
      {"a link to a folder outside", Call::Path, "allowed/dirlink/secret.txt", errors::PermissionDenied,
       "leads through a symbolic link"},
      {"a second hard link", Call::Path, "allowed/hard.txt", errors::PermissionDenied, "has more than one hard link"},
      {"reading a link", Call::Read, "allowed/link.txt", errors::PermissionDenied, "leads through a symbolic link"},
      {"reading a second hard link", Call::Read, "allowed/hard.txt", errors::PermissionDenied,
       "has more than one hard link"},
      {"writing through a folder link", Call::Write, "allowed/dirlink/new.txt", errors::PermissionDenied,
       "leads through a symbolic link"},
      {"replacing a second hard link", Call::Replace, "allowed/hard.txt", errors::PermissionDenied,
       "has more than one hard link"},
      {"replacing a link", Call::Replace, "allowed/link.txt", errors::PermissionDenied,
       "leads through a symbolic link"},
      {"replacing a folder", Call::Replace, "allowed/sub", errors::PathFileAccessError, "is not a regular file"},
      {"replacing in a missing folder", Call::Replace, "allowed/none/new.txt", errors::PathNotFound, ""},
      {"reading a missing file", Call::Read, "allowed/none.bin", errors::FileNotFound, ""},
      {"replacing a file inside", Call::Replace, "allowed/abc.bin", 0, "allowed/abc.bin"},
  };
  for (const Case& c : cases) {
    const std::string path = In(c.Below);
    auto [error, says] = Run(c.Do, path);
    EXPECT_EQ(error, c.Error) << c.Name << ": " << says;
    if (c.Error == 0)
      EXPECT_EQ(says, In(c.Says)) << c.Name;
    else if (c.Says.empty())
      EXPECT_EQ(says, AutomationError::StandardDescription(c.Error)) << c.Name;
    else
      EXPECT_EQ(says, AutomationError::StandardDescription(c.Error) + ": '" + path + "' " + c.Says) << c.Name;
  }
  EXPECT_EQ(Run(Call::Path, In("outside/secret.txt")), std::make_pair(errors::PermissionDenied, denied));
  EXPECT_EQ(Run(Call::Path, ""), std::make_pair(errors::PermissionDenied, denied));
  std::ifstream replaced(root_ / "allowed/abc.bin");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(replaced), {}), "new");
}

TEST_P(HostPaths, AMissingFolderIsNotConfinedToAndOwnFilesPassWhileAdmitted) {
  const std::string missing = In("none");
  try {
    platform::ConfineHostPaths({missing});
    ADD_FAILURE() << "confined to a missing folder";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), errors::PathNotFound);
    EXPECT_EQ(e.Description(), "Path not found: " + missing);
  }
  // The confinement before stays.
  EXPECT_EQ(platform::ConfinedFolders(), std::vector<std::string>{fs::canonical(root_ / "allowed").string()});

  const std::string secret = In("outside/secret.txt");
  int fd = ::open(secret.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  platform::AdmitOwnFile(secret, fd);
  EXPECT_EQ(platform::ConfinedPath(secret), secret);
  EXPECT_TRUE(platform::OwnFile(secret).IsOpen());
  platform::WithdrawOwnFile(secret);
  ::close(fd);
  EXPECT_FALSE(platform::OwnFile(secret).IsOpen());
  EXPECT_EQ(Run(Call::Path, secret).first, errors::PermissionDenied);
}

INSTANTIATE_TEST_SUITE_P(Resolution, HostPaths,
                         ::testing::Values(BeneathResolution::Kernel, BeneathResolution::ComponentWalk),
                         [](const auto& info) {
                           return info.param == BeneathResolution::Kernel ? "Openat2" : "ComponentWalk";
                         });

}  // namespace
}  // namespace morvel

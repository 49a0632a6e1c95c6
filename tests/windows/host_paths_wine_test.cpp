// Host path confinement on Windows, run under Wine against a folder made
// from Linux (scripts/windows/checks-paths.sh): Unix symbolic links to a
// file outside, to a folder outside, inside the folder and dangling, a hard
// link, "..", a sibling folder whose name starts with the allowed one's.
// Each path goes the way the web bridge's calls take it: LoadFile,
// SaveFile, DrawImageFromFile.
//
//   host_paths_wine_test DIR
//
// DIR is the fixture's Windows path. Prints one line per check and
// "N passed, M failed"; exits 1 on a failure.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/temp_file.h"
#include "tests/windows/wine_checks.h"

using namespace morvel;
namespace platform = morvel::platform;

namespace {

using wine_checks::Check;
using wine_checks::ErrorOf;
using wine_checks::Wide;

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// What a file holds, read past any confinement; "(missing)" when it does not open.
std::string Content(const std::string& path) {
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(missing)";
  char buffer[256];
  DWORD got = 0;
  ReadFile(h, buffer, sizeof buffer, &got, nullptr);
  CloseHandle(h);
  return std::string(buffer, got);
}

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// The calls as the bridge's methods make them.
std::string Load(const std::string& path) {
  std::string name = platform::FileSystemPath(FromUtf8(path));
  platform::FileDescriptor file = platform::OpenHostFile(name, platform::HostFileUse::Read);
  if (platform::FileLength(file) == 0) throw AutomationError(errors::SubscriptOutOfRange);
  return Text(platform::ReadWholeFile(file, name));
}
void Save(const std::string& path, const std::string& bytes, bool truncate = true) {
  platform::WriteWholeFile(platform::FileSystemPath(FromUtf8(path)), reinterpret_cast<const uint8_t*>(bytes.data()),
                           bytes.size(), truncate);
}
std::string Draw(const std::string& path) {
  return Text(platform::ReadWholeFile(platform::FileSystemPath(FromUtf8(path))));
}

enum class Op { Load, Save, SaveInPlace, Draw };

struct Case {
  const char* Name;
  Op Call;
  std::string Path;  // below DIR, with "\" (forward slashes are spelt out)
  int Error;
  std::string Content;  // read back after a Save; what a Load gives
};

std::string dir;
std::string In(const std::string& below) { return dir + "\\" + below; }

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::string got;
    int error = ErrorOf([&] {
      switch (c.Call) {
        case Op::Load: got = Load(c.Path); break;
        case Op::Draw: got = Draw(c.Path); break;
        case Op::Save: Save(c.Path, c.Content); break;
        case Op::SaveInPlace: Save(c.Path, c.Content, false); break;
      }
    });
    if (error == 0 && (c.Call == Op::Save || c.Call == Op::SaveInPlace)) got = Content(c.Path);
    bool ok = error == c.Error && (c.Error != 0 || got == c.Content);
    Check(ok, c.Name, "error " + std::to_string(error) + ", content '" + got + "'");
  }
}

// The swaps between the open and the checks of what it opened.
std::wstring hookName, hookSource;
std::string hookSource_, hookTarget;  // their names in the folder
bool hookWrites = false;
void RemoveName() {
  DeleteFileW(hookName.c_str());
  if (hookWrites) {
    HANDLE h = CreateFileW(hookName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD wrote = 0;
    WriteFile(h, "inside", 6, &wrote, nullptr);
    CloseHandle(h);
  }
}
// Windows lets no program replace the name of an open file, but under Wine
// a Linux program does: mv, which Wine starts as it is. Waited for by its
// effect too, the link's own name gone (for at most 30 s).
std::string unixDir;
void SwapInLink() {
  std::wstring from = Wide(unixDir + "/allowed/" + hookSource_), to = Wide(unixDir + "/allowed/" + hookTarget);
  std::wstring command = L"Z:\\bin\\mv -f " + from + L" " + to;
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"Z:\\bin\\mv", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process))
    return;
  // For a Linux program 32-bit Wine gives no process handle and a thread
  // handle that is not one (closing it would close another).
  if (process.hProcess != nullptr) {
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  for (int i = 0; i < 300 && GetFileAttributesW(hookSource.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
}

struct Unhook {
  ~Unhook() { platform::AfterConfinedOpenForTesting(nullptr); }
};

void CheckSwaps() {
  const std::string secret = In("secret.txt");
  {
    // The name was a second link to the outside file when it was opened,
    // and is gone, or another file, when the open file is looked at.
    Unhook unhook;
    for (bool writes : {false, true}) {
      hookWrites = writes;
      std::string name = In("allowed\\hook.txt");
      hookName = Wide(name);
      std::string label = writes ? " (replaced by a file)" : " (removed)";
      platform::AfterConfinedOpenForTesting(RemoveName);
      DeleteFileW(hookName.c_str());
      CreateHardLinkW(hookName.c_str(), Wide(secret).c_str(), nullptr);
      std::string got;
      int error = ErrorOf([&] { got = Text(platform::ReadWholeFile(name)); });
      Check(error == errors::PermissionDenied && got.empty(),
            "a read of a second link gone before the check is refused" + label, std::to_string(error) + " " + got);
      DeleteFileW(hookName.c_str());
      CreateHardLinkW(hookName.c_str(), Wide(secret).c_str(), nullptr);
      for (bool truncate : {true, false}) {
        error = ErrorOf([&] { platform::WriteWholeFile(name, reinterpret_cast<const uint8_t*>("page"), 4, truncate); });
        Check(error == errors::PermissionDenied,
              std::string(truncate ? "a save" : "a save in place") +
                  " to a second link gone before the check is refused" + label,
              std::to_string(error));
        DeleteFileW(hookName.c_str());
        CreateHardLinkW(hookName.c_str(), Wide(secret).c_str(), nullptr);
      }
      DeleteFileW(hookName.c_str());
    }
  }
  {
    // A file inside when opened, a link to the outside file (made from
    // Linux: swap-N) by the time it is looked at.
    Unhook unhook;
    platform::AfterConfinedOpenForTesting(SwapInLink);
    // A name of its own each time: Wine removes the file a link leads to
    // when the link is deleted.
    std::string name;
    struct Step {
      const char* What;
      std::function<void()> Call;
    };
    std::vector<Step> steps = {
        {"read", [&] { platform::ReadWholeFile(name); }},
        {"save", [&] { platform::WriteWholeFile(name, reinterpret_cast<const uint8_t*>("page"), 4, true); }},
        {"save in place", [&] { platform::WriteWholeFile(name, reinterpret_cast<const uint8_t*>("page"), 4, false); }},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
      hookTarget = "swapped-" + std::to_string(i + 1) + ".bin";
      name = In("allowed\\" + hookTarget);
      hookName = Wide(name);
      HANDLE h = CreateFileW(hookName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
      DWORD wrote = 0;
      WriteFile(h, "ABC", 3, &wrote, nullptr);
      CloseHandle(h);
      hookSource_ = "swap-" + std::to_string(i + 1);
      hookSource = Wide(In("allowed\\" + hookSource_));
      int error = ErrorOf(steps[i].Call);
      Check(error == errors::PermissionDenied,
            std::string("a ") + steps[i].What + " of a name swapped for a link after the open is refused",
            std::to_string(error));
    }
  }
  Check(Content(secret) == "secret", "no swap reached the outside file", Content(secret));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: host_paths_wine_test DIR\n");
    return 2;
  }
  dir = argv[1];
  unixDir = dir.substr(2);
  for (char& c : unixDir)
    if (c == '\\') c = '/';
  std::string slashed = dir;
  for (char& c : slashed)
    if (c == '\\') c = '/';
  std::string upper = dir.substr(0, dir.size()) + "\\ALLOWED";

  Check(ErrorOf([] { platform::ConfineHostPaths({In("no-such-folder")}); }) == errors::PathNotFound,
        "a missing allowed folder raises 76");
  Check(ErrorOf([] { platform::ConfineHostPaths({In("secret.txt")}); }) == errors::PathNotFound,
        "a file as the allowed folder raises 76");
  Check(!platform::HostPathsConfined(), "a failed confinement leaves none");

  // Allowed as spelt differently: case and forward slashes.
  int error = ErrorOf([&] { platform::ConfineHostPaths({slashed + "/Allowed/"}); });
  Check(error == 0 && platform::HostPathsConfined(), "confined to the allowed folder", std::to_string(error));
  std::vector<std::string> folders = platform::ConfinedFolders();
  Check(folders.size() == 1 && folders[0] == In("allowed"), "the allowed folder is named as resolved",
        folders.empty() ? "" : folders[0]);

  RunCases({
      {"LoadFile of a file inside reads it", Op::Load, In("allowed\\abc.bin"), 0, "ABC"},
      {"LoadFile through .. inside is refused", Op::Load, In("allowed\\sub\\..\\abc.bin"), 70, ""},
      {"LoadFile of a file outside is refused", Op::Load, In("secret.txt"), 70, ""},
      {"LoadFile out of the folder by .. is refused", Op::Load, In("allowed\\..\\secret.txt"), 70, ""},
      {"LoadFile of a link to a file outside is refused", Op::Load, In("allowed\\link.txt"), 70, ""},
      {"LoadFile of a link to a file inside is refused", Op::Load, In("allowed\\inner.txt"), 70, ""},
      {"LoadFile of a dangling link is refused", Op::Load, In("allowed\\dangling.txt"), 70, ""},
      {"LoadFile of a second hard link is refused", Op::Load, In("allowed\\hard.txt"), 70, ""},
      {"LoadFile through a link to a folder outside is refused", Op::Load, In("allowed\\dirlink\\x.bin"), 70, ""},
      {"LoadFile in a sibling whose name starts alike is refused", Op::Load, In("allowed-not\\x.bin"), 70, ""},
      {"LoadFile of the folder itself raises 75", Op::Load, In("allowed"), 75, ""},
      {"LoadFile of a missing file raises 53", Op::Load, In("allowed\\missing.bin"), 53, ""},
      {"LoadFile in a missing folder raises 76", Op::Load, In("allowed\\nowhere\\x.bin"), 76, ""},
      {"LoadFile with the folder spelt in other case", Op::Load, upper + "\\ABC.BIN", 0, "ABC"},
      {"LoadFile with forward slashes", Op::Load, slashed + "/allowed/sub/../../allowed/abc.bin", 70, ""},
      {"LoadFile with forward slashes reads", Op::Load, slashed + "/allowed//abc.bin", 0, "ABC"},
      {"LoadFile through a link to the allowed folder reads", Op::Load, In("alias\\abc.bin"), 0, "ABC"},
      {"DrawImageFromFile of a file outside is refused", Op::Draw, In("secret.txt"), 70, ""},
      {"DrawImageFromFile of a file inside reads it", Op::Draw, In("allowed\\abc.bin"), 0, "ABC"},
      {"SaveFile to a dangling link is refused", Op::Save, In("allowed\\dangling.txt"), 70, "abc"},
      {"SaveFile to a link to a file outside is refused", Op::Save, In("allowed\\link.txt"), 70, "abc"},
      {"SaveFile to a second hard link is refused", Op::Save, In("allowed\\hard.txt"), 70, "abc"},
      {"SaveFile2 outside is refused", Op::Save, In("written.txt"), 70, "abc"},
      {"SaveFile2 into a folder inside writes", Op::Save, In("allowed\\sub\\new.txt"), 0, "abc"},
      {"SaveFile replaces a file inside", Op::Save, In("allowed\\sub\\new.txt"), 0, "replaced"},
      {"SaveFile to the folder raises 75", Op::Save, In("allowed\\sub"), 75, "abc"},
      {"SaveFile in a missing folder raises 76", Op::Save, In("allowed\\nowhere\\x.bin"), 76, "abc"},
      {"a save in place creates a missing file", Op::SaveInPlace, In("allowed\\sub\\inplace.txt"), 0, "long tail"},
      {"a save in place keeps the tail", Op::SaveInPlace, In("allowed\\sub\\inplace.txt"), 0, "LONG tail"},
      {"a save in place to a dangling link is refused", Op::SaveInPlace, In("allowed\\dangling.txt"), 70, "x"},
      {"a save in place to a link outside is refused", Op::SaveInPlace, In("allowed\\link.txt"), 70, "x"},
  });
  Check(!Exists(In("nowhere.txt")), "no save through the dangling link made its target");
  Check(!Exists(In("written.txt")), "no save outside made the file");
  Check(Content(In("secret.txt")) == "secret", "the file outside is unchanged", Content(In("secret.txt")));
  // A save into the folder leaves no file of its own behind.
  WIN32_FIND_DATAW found{};
  HANDLE listing = FindFirstFileW(Wide(In("allowed\\sub\\.morvel-*")).c_str(), &found);
  Check(listing == INVALID_HANDLE_VALUE, "no temporary file is left");
  if (listing != INVALID_HANDLE_VALUE) FindClose(listing);

  // A relative path is made absolute before it is judged.
  SetCurrentDirectoryW(Wide(In("allowed")).c_str());
  std::string confined;
  error = ErrorOf([&] { confined = platform::ConfinedPath("sub/new.txt"); });
  Check(error == 0 && confined == In("allowed\\sub\\new.txt"), "a relative path is confined as an absolute one",
        std::to_string(error) + " " + confined);
  uint64_t length = 0;
  error = ErrorOf([&] { length = platform::FileLength(confined); });
  Check(error == 0 && length == 8, "FileLength of a confined path", std::to_string(error));
  Check(ErrorOf([] { platform::ConfinedPath("..\\secret.txt"); }) == 70, "a relative path out by .. is refused");
  SetCurrentDirectoryW(Wide(dir).c_str());
  Check(ErrorOf([] { platform::ConfinedPath(""); }) == 70, "an empty path is refused");

  // The program's own temporary file passes, wherever it lies.
  {
    const uint8_t bytes[] = {'o', 'w', 'n'};
    std::string got;
    error = ErrorOf([&] {
      platform::OwnTempFile own(dir + "\\", "OWN", ".BMP", bytes, sizeof bytes);
      got = Text(platform::ReadWholeFile(platform::FileSystemPath(FromUtf8(own.Path()))));
      got += Text(platform::ReadWholeFile(platform::OpenHostFile(own.Path(), platform::HostFileUse::Read), own.Path()));
    });
    Check(error == 0 && got == "ownown", "an own temporary file is read through its descriptor, twice",
          std::to_string(error) + " " + got);
  }

  CheckSwaps();

  platform::ConfineHostPaths({});
  Check(ErrorOf([] { Load(In("allowed\\abc.bin")); }) == 70, "confined to no folder, every path is refused");
  platform::LiftHostPathConfinement();
  std::string got;
  error = ErrorOf([&] { got = Load(In("secret.txt")); });
  Check(!platform::HostPathsConfined() && error == 0 && got == "secret", "lifted, a file outside reads again",
        std::to_string(error) + " " + got);
  return wine_checks::Summary();
}

// What host path confinement (host_paths.h) asks of each system, and the
// steps of the policy (host_paths.cpp) that a system's replace of a file
// takes in its own order. Only platform/ includes this.
//
// The policy decides what is refused and in what order; a system tells who
// a file is (device and inode on Linux, volume serial and file index on
// Windows), opens a path beneath an allowed folder and never through a link
// (linux/host_paths.cpp, windows/host_paths.cpp), says what an open file is
// and whether its name still holds it alone, and replaces a file whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace morvel::platform::host_paths {

#ifdef _WIN32
using Name = std::wstring;    // a path as the system's calls take it
using Error = unsigned long;  // GetLastError()

// A HANDLE, closed when it goes.
class SystemFile {
 public:
  SystemFile() = default;
  explicit SystemFile(void* handle) noexcept : handle_(handle) {}
  ~SystemFile() { Reset(); }
  SystemFile(SystemFile&& other) noexcept : handle_(other.Release()) {}
  SystemFile& operator=(SystemFile&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = other.Release();
    }
    return *this;
  }
  SystemFile(const SystemFile&) = delete;
  SystemFile& operator=(const SystemFile&) = delete;

  void* Get() const noexcept { return handle_; }
  bool IsOpen() const noexcept { return handle_ != nullptr && handle_ != None(); }
  void* Release() noexcept {
    void* handle = handle_;
    handle_ = None();
    return handle;
  }
  void Reset() noexcept;

 private:
  static void* None() noexcept { return reinterpret_cast<void*>(static_cast<intptr_t>(-1)); }
  void* handle_ = None();
};
#else
using Name = std::string;
using Error = int;  // errno
using SystemFile = FileDescriptor;
#endif

// Who a file is, whatever names lead to it.
struct FileIdentity {
  uint64_t Device = 0;  // device (Linux), volume serial number (Windows)
  uint64_t Index = 0;   // inode (Linux), file index (Windows)
  bool operator==(const FileIdentity& other) const { return Device == other.Device && Index == other.Index; }
};

// An allowed folder, kept open while it is allowed.
struct Folder {
  std::string Name;  // resolved, for messages
  SystemFile Handle;
  FileIdentity Id;
};

// A path taken apart beneath the allowed folder it leads into.
struct Beneath {
  const Folder* Root = nullptr;
  std::vector<Name> Parts;  // below Root; none for Root itself
  Name Absolute;            // the whole path, for messages and error numbers
};

// Where the file of a path beneath its folder is, to open it and to look at
// its name again after the open.
#ifdef _WIN32
struct Place {
  Name Expected;  // the name the file must have: the folder's final path and the parts below it
};
#else
struct Place {
  FileDescriptor Held;  // the holding folder, unless that is the allowed folder
  int At = -1;          // the holding folder
  Name Leaf;            // the last part, "." for the allowed folder itself
};
#endif

// What an open file is.
struct Facts {
  FileIdentity Id;
  bool Link = false;  // a symbolic link (or another reparse point) itself
  bool Folder = false;
  bool Regular = false;   // a file of bytes on a disk, the one kind written
  bool Linkable = false;  // what a second hard link is looked for on: a regular file (Linux), all but folders (Windows)
  uint64_t Links = 1;     // hard links
  uint32_t Keep = 0;      // what a file replacing it keeps: its mode (Linux), its attributes (Windows)
  int64_t ChangedSeconds = 0, ChangedNanoseconds = 0;  // its status last changed (Linux)
};

enum class Access {
  Attributes,  // only to look at it, whatever it is; a link at the end as itself
  Read,
  Write,   // an existing file
  Create,  // a new file, never one that exists
};

// --- Each system's.

// Opens an allowed folder as the user names it; false when it does not
// exist or is no folder.
bool HoldFolder(const std::string& folder, Folder& out);
// A host path (UTF-8, not empty) in the system's characters, made absolute
// where that is spelling alone (Linux); empty when it cannot be.
Name Spelt(const std::string& path);
bool IsSeparator(Name::value_type c);
// `spelt` as a root (ending in a separator) and the parts below it, and
// the absolute path given back for it; false when it has no root.
bool TakeApart(const Name& spelt, Name& root, std::vector<Name>& parts, Name& absolute);
Name::value_type Separator();
// Who the folder at `path` is; false when it is none, or no folder.
bool FolderIdentity(const Name& path, FileIdentity& id);
std::string Utf8(const Name& name);

// Where `b` is to be opened; false when its folder gives no name (Windows).
bool Aim(const Beneath& b, Place& place);
// Opens `b` beneath its folder for `how`, never through a link; false with
// the system's error.
bool OpenBeneath(const Beneath& b, Access how, Place& place, SystemFile& file, Error& error);
// False with LastError().
bool Examine(const SystemFile& file, Facts& facts);
// Whether the open file is the file of its expected name and not one reached
// through a link: true by the way it was opened (Linux), or by its final path.
bool OpenedAsNamed(const Place& place, const SystemFile& file);
// Whether the file's name still leads to it, its only link, once changes
// under way have ended.
bool StillAlone(const Place& place, const SystemFile& file, const Facts& facts);
Error LastError();
bool Missing(Error error);
bool Exists(Error error);
// An open that failed on a link: the open says so (Linux), or the name is
// held by a link the system hides (Wine's dangling Unix links).
bool SaysLink(Error error);
bool HiddenLink(Error error, const Place& place);
// A folder refused an open for writing (Windows, where Linux says EISDIR).
bool RefusedAsFolder(Error error, const Place& place);
int ErrorNumber(Error error, const std::string& absolute);
bool Truncate(const SystemFile& file);
// The descriptor a host path's open gives.
FileDescriptor Descriptor(SystemFile file, HostFileUse use, const std::string& path);
// Writes a whole file beneath its folder: the bytes go into a new file of the
// holding folder, which then takes the name.
void ReplaceWhole(const Beneath& b, const std::string& path, const uint8_t* data, size_t size);

// --- The policy's, for ReplaceWhole.

[[noreturn]] void Refuse();
[[noreturn]] void Refuse(const std::string& path, const std::string& why);
[[noreturn]] void NotAFile(const std::string& path);
[[noreturn]] void RaiseFileError(Error error, const Beneath& b);
// A failed open: refused for a link or a folder, or its error number.
[[noreturn]] void RaiseOpen(Error error, const Beneath& b, const Place& place, const std::string& path);
// What an open file is, refused when it is a link, reached through one, or
// a file with a second hard link.
Facts Judge(const Beneath& b, const Place& place, const SystemFile& file, const std::string& path);
// The testing hook (AfterConfinedOpenForTesting).
void AfterOpen();

}  // namespace morvel::platform::host_paths

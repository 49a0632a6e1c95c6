// Host path confinement. A path is first matched to the allowed folder it
// leads into; from there the kernel follows it beneath that folder's kept
// descriptor (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS), or, where
// the kernel has no openat2, this file walks it one component at a time with
// O_NOFOLLOW. Either way the file that is opened is the file that was
// checked, and everything after the open goes through its descriptor.
#include "platform/host_paths.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "morvel/types.h"

namespace morvel::platform {
namespace {

struct Folder {
  std::string Name;  // resolved, for messages
  int Fd = -1;       // O_PATH | O_DIRECTORY
  dev_t Device = 0;
  ino_t Inode = 0;
};

// Closed with the last snapshot, so an open in flight keeps its folder
// while the confinement is replaced.
struct Folders {
  std::vector<Folder> List;
  Folders() = default;
  Folders(const Folders&) = delete;
  Folders& operator=(const Folders&) = delete;
  ~Folders() {
    for (const Folder& f : List) ::close(f.Fd);
  }
};

struct Confinement {
  std::mutex Lock;
  std::shared_ptr<const Folders> Allowed;  // null: not confined
  std::map<std::string, int> OwnFiles;
};

Confinement& State() {
  static auto* state = new Confinement;  // outlives every thread that may ask
  return *state;
}

std::atomic<bool> forceWalk{false};
std::atomic<bool> kernelLacksOpenat2{false};

std::shared_ptr<const Folders> Snapshot() {
  std::lock_guard<std::mutex> lock(State().Lock);
  return State().Allowed;
}

bool IsOwnFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(State().Lock);
  return State().OwnFiles.count(path) != 0;
}

std::string Resolved(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string out(real);
  std::free(real);
  return out;
}

[[noreturn]] void Refuse() { throw AutomationError(errors::PermissionDenied); }

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
  throw AutomationError(errors::PermissionDenied,
                        AutomationError::StandardDescription(errors::PermissionDenied) + ": '" + path + "' " + why);
}

// A path taken apart beneath the allowed folder it leads into.
struct Beneath {
  const Folder* Root = nullptr;
  std::vector<std::string> Parts;  // below Root; none for Root itself
  std::string Relative;            // Parts joined, "." for none
  std::string Absolute;            // the whole path, for messages and error numbers
};

Beneath Locate(const std::string& path, const Folders& allowed) {
  if (path.empty()) Refuse();
  std::string absolute = path;
  if (path[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) Refuse();
    absolute = std::string(cwd) + "/" + path;
  }
  // "." and doubled slashes are spelling; ".." would be resolution, which
  // is what a link swapped in at the right moment turns against the check.
  std::vector<std::string> parts;
  for (size_t start = 0; start <= absolute.size();) {
    size_t slash = absolute.find('/', start);
    if (slash == std::string::npos) slash = absolute.size();
    std::string part = absolute.substr(start, slash - start);
    if (part == "..") Refuse(path, "names a parent folder (..)");
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = slash + 1;
  }
  // The allowed folder is the first leading folder that is one, whatever
  // links led to it: only what follows it is taken beneath its descriptor.
  std::string prefix;
  for (size_t i = 0; i <= parts.size(); ++i) {
    if (i > 0) prefix += "/" + parts[i - 1];
    struct stat st {};
    if (::stat(prefix.empty() ? "/" : prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) break;
    for (const Folder& folder : allowed.List) {
      if (folder.Device != st.st_dev || folder.Inode != st.st_ino) continue;
      Beneath b;
      b.Root = &folder;
      b.Parts.assign(parts.begin() + static_cast<std::ptrdiff_t>(i), parts.end());
      for (const std::string& p : b.Parts) b.Relative += (b.Relative.empty() ? "" : "/") + p;
      if (b.Relative.empty()) b.Relative = ".";
      b.Absolute = "/";
      for (size_t k = 0; k < parts.size(); ++k) b.Absolute += (k ? "/" : "") + parts[k];
      return b;
    }
  }
  Refuse();
}

int WalkBeneath(const Beneath& b, int flags, mode_t mode) {
  int at = b.Root->Fd;
  FileDescriptor held;
  for (size_t i = 0; i + 1 < b.Parts.size(); ++i) {
    FileDescriptor next(::openat(at, b.Parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.IsOpen()) {
      int error = errno;
      struct stat st {};
      // A link where a folder should be is refused as one, not as a missing folder.
      if (::fstatat(at, b.Parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) error = ELOOP;
      errno = error;
      return -1;
    }
    held = std::move(next);
    at = held.Get();
  }
  int fd = ::openat(at, b.Parts.empty() ? "." : b.Parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
  int error = errno;
  held.Close();
  errno = error;
  return fd;
}

// An open descriptor, or -1 with errno; ELOOP and EXDEV mean a link or an
// escape, which the callers refuse.
int OpenBeneath(const Beneath& b, int flags, mode_t mode) {
  if (!forceWalk.load() && !kernelLacksOpenat2.load()) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_NOFOLLOW | O_CLOEXEC);
    how.mode = (flags & O_CREAT) != 0 ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    do fd = ::syscall(SYS_openat2, b.Root->Fd, b.Relative.c_str(), &how, sizeof how);
    while (fd < 0 && errno == EINTR);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
    // Some container runtimes answer a system call they do not know with
    // EPERM: the walk then tells a real refusal from that, this time.
    if (errno == ENOSYS) kernelLacksOpenat2.store(true);
  }
  int fd;
  do fd = WalkBeneath(b, flags, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

[[noreturn]] void RaiseFor(int error, const Beneath& b, const std::string& path) {
  if (error == ELOOP || error == EXDEV) Refuse(path, "leads through a symbolic link");
  throw AutomationError(FileErrorNumber(error, b.Absolute));
}

void RefuseHardLinked(const struct stat& st, const std::string& path) {
  if (S_ISREG(st.st_mode) && st.st_nlink > 1) Refuse(path, "has more than one hard link");
}

}  // namespace

void ConfineHostPaths(const std::vector<std::string>& folders) {
  auto allowed = std::make_shared<Folders>();
  for (const std::string& folder : folders) {
    Folder f;
    f.Name = Resolved(folder);
    f.Fd = f.Name.empty() ? -1 : ::open(f.Name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (f.Fd < 0 || ::fstat(f.Fd, &st) != 0) {
      if (f.Fd >= 0) ::close(f.Fd);
      throw AutomationError(errors::PathNotFound, "Path not found: " + folder);
    }
    f.Device = st.st_dev;
    f.Inode = st.st_ino;
    allowed->List.push_back(std::move(f));
  }
  std::lock_guard<std::mutex> lock(State().Lock);
  State().Allowed = std::move(allowed);
}

void LiftHostPathConfinement() {
  std::lock_guard<std::mutex> lock(State().Lock);
  State().Allowed.reset();
}

bool HostPathsConfined() { return Snapshot() != nullptr; }

std::vector<std::string> ConfinedFolders() {
  std::vector<std::string> names;
  if (auto allowed = Snapshot())
    for (const Folder& f : allowed->List) names.push_back(f.Name);
  return names;
}

std::string ConfinedPath(const std::string& path) {
  auto allowed = Snapshot();
  if (!allowed || IsOwnFile(path)) return path;
  Beneath b = Locate(path, *allowed);
  FileDescriptor named(OpenBeneath(b, O_PATH, 0));
  if (!named.IsOpen()) {
    if (errno == ELOOP || errno == EXDEV) RaiseFor(errno, b, path);
    return b.Absolute;  // missing or unreachable: the open gives the number
  }
  struct stat st {};
  if (::fstat(named.Get(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) Refuse(path, "leads through a symbolic link");
    RefuseHardLinked(st, path);
  }
  return b.Absolute;
}

std::optional<FileDescriptor> OpenConfinedHostFile(const std::string& path, HostFileUse use) {
  auto allowed = Snapshot();
  if (!allowed) return std::nullopt;
  Beneath b = Locate(path, *allowed);
  FileDescriptor file;
  if (use == HostFileUse::Read) {
    file = FileDescriptor(OpenBeneath(b, O_RDONLY | O_NONBLOCK, 0));
  } else {
    // An existing file is written in place, never through a link; a missing
    // one is created exclusively, and one made meanwhile is opened instead.
    for (int attempt = 0; attempt < 8; ++attempt) {
      file = FileDescriptor(OpenBeneath(b, O_WRONLY | O_NONBLOCK, 0));
      if (file.IsOpen() || errno != ENOENT) break;
      file = FileDescriptor(OpenBeneath(b, O_WRONLY | O_NONBLOCK | O_CREAT | O_EXCL, 0666));
      if (file.IsOpen() || errno != EEXIST) break;
    }
  }
  if (!file.IsOpen()) RaiseFor(errno, b, path);
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) RaiseFor(errno, b, path);
  RefuseHardLinked(st, path);
  if (use != HostFileUse::Read) {
    // Only files are written: a page has no business feeding a pipe or a device.
    if (!S_ISREG(st.st_mode))
      throw AutomationError(errors::PathFileAccessError,
                            AutomationError::StandardDescription(errors::PathFileAccessError) + ": '" + path +
                                "' is not a regular file");
    if (use == HostFileUse::Replace && ::ftruncate(file.Get(), 0) != 0) RaiseFor(errno, b, path);
  }
  return file;
}

void ResolveBeneathBy(BeneathResolution how) { forceWalk.store(how == BeneathResolution::ComponentWalk); }

void AdmitOwnFile(const std::string& path, int fd) {
  std::lock_guard<std::mutex> lock(State().Lock);
  State().OwnFiles[path] = fd;
}

void WithdrawOwnFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(State().Lock);
  State().OwnFiles.erase(path);
}

FileDescriptor OwnFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(State().Lock);
  auto found = State().OwnFiles.find(path);
  return FileDescriptor(found == State().OwnFiles.end() ? -1 : ::fcntl(found->second, F_DUPFD_CLOEXEC, 0));
}

}  // namespace morvel::platform

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
};

Confinement& State() {
  static auto* state = new Confinement;  // outlives every thread that may ask
  return *state;
}

std::atomic<bool> forceWalk{false};
std::atomic<void (*)()> afterOpen{nullptr};
std::atomic<bool> kernelLacksOpenat2{false};

std::shared_ptr<const Folders> Snapshot() {
  std::lock_guard<std::mutex> lock(State().Lock);
  return State().Allowed;
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
    // A trailing slash says "a folder", as it does to open(2).
    else if (slash == absolute.size() && !parts.empty())
      parts.push_back(".");
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

// openat2 beneath `at` with no link of any kind on the way, a trailing one
// included (ELOOP, unless O_PATH | O_NOFOLLOW asks for the link itself);
// -1 with errno.
int KernelOpen(int at, const std::string& path, int flags, mode_t mode) {
  open_how how{};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.mode = (flags & O_CREAT) != 0 ? mode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  long fd;
  do fd = ::syscall(SYS_openat2, at, path.c_str(), &how, sizeof how);
  while (fd < 0 && errno == EINTR);
  return static_cast<int>(fd);
}

// Whether a failed openat2 means the kernel cannot do it here: ENOSYS, or
// EPERM, which some container runtimes answer a call they do not know with
// (the walk then tells a real refusal from that, this time).
bool KernelCannot(int error) {
  if (error == ENOSYS) kernelLacksOpenat2.store(true);
  return error == ENOSYS || error == EPERM;
}

// One folder after another from the root, none of them a link: the last
// one, or none with errno.
FileDescriptor WalkFolders(const Beneath& b, size_t count) {
  int at = b.Root->Fd;
  FileDescriptor held;
  for (size_t i = 0; i < count; ++i) {
    FileDescriptor next(::openat(at, b.Parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.IsOpen()) {
      int error = errno;
      struct stat st {};
      // A link where a folder should be is refused as one, not as a missing folder.
      if (::fstatat(at, b.Parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) error = ELOOP;
      held.Close();
      errno = error;
      return FileDescriptor();
    }
    held = std::move(next);
    at = held.Get();
  }
  return held;
}

// A file opened beneath its allowed folder, with the folder that holds it,
// in which its name is looked at again after the open.
struct Opened {
  FileDescriptor Held;  // the holding folder, unless that is the root
  int Folder = -1;      // the holding folder
  std::string Name;     // the last component, "." for the root itself
  FileDescriptor File;
};

// False with errno on failure; ELOOP and EXDEV mean a link or an escape,
// which the callers refuse.
bool OpenBeneath(const Beneath& b, int flags, mode_t mode, Opened& out) {
  bool kernel = !forceWalk.load() && !kernelLacksOpenat2.load();
  out.Folder = b.Root->Fd;
  out.Name = b.Parts.empty() ? "." : b.Parts.back();
  if (b.Parts.size() > 1) {
    if (kernel) {
      std::string holder = b.Relative.substr(0, b.Relative.size() - out.Name.size() - 1);
      out.Held = FileDescriptor(KernelOpen(b.Root->Fd, holder, O_PATH | O_DIRECTORY, 0));
      if (!out.Held.IsOpen() && KernelCannot(errno)) kernel = false;
    }
    if (!kernel) out.Held = WalkFolders(b, b.Parts.size() - 1);
    if (!out.Held.IsOpen()) return false;
    out.Folder = out.Held.Get();
  }
  int fd = -1;
  if (kernel) {
    fd = KernelOpen(out.Folder, out.Name, flags | O_NOFOLLOW, mode);
    if (fd < 0 && KernelCannot(errno)) kernel = false;
  }
  if (!kernel) {
    do fd = ::openat(out.Folder, out.Name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
  }
  if (fd < 0) return false;
  out.File = FileDescriptor(fd);
  return true;
}

[[noreturn]] void RaiseFor(int error, const Beneath& b, const std::string& path) {
  if (error == ELOOP || error == EXDEV) Refuse(path, "leads through a symbolic link");
  throw AutomationError(FileErrorNumber(error, b.Absolute));
}

std::atomic<uint64_t> temporaryCounter{0};

// Waits until no link, unlink or rename is under way in the folder: reading
// a folder takes the lock those hold for their whole change, while looking a
// name up does not, and can still find a name that is being removed.
void WaitForFolderChanges(int folder) {
  int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  alignas(8) char entries[256];
  (void)!::syscall(SYS_getdents64, fd, entries, sizeof entries);
  ::close(fd);
}

bool SameChange(const struct stat& a, const struct stat& b) {
  return a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// A regular file with a second hard link may be a file outside under a
// name inside, and so may one whose second link went away between the open
// and the fstat: its name must still be its one link once every change of
// the folder under way then has ended, and the file's links must not have
// changed meanwhile (a link or an unlink sets its change time, which a file
// looked at since gets finer than a clock tick).
void RefuseHardLinked(int file, const Opened& opened, const struct stat& st, const std::string& path) {
  if (!S_ISREG(st.st_mode)) return;
  if (st.st_nlink > 1) Refuse(path, "has more than one hard link");
  WaitForFolderChanges(opened.Folder);
  struct stat named {
  }, again{};
  if (::fstatat(opened.Folder, opened.Name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != st.st_dev ||
      named.st_ino != st.st_ino || named.st_nlink > 1 || !SameChange(named, st) || ::fstat(file, &again) != 0 ||
      again.st_nlink > 1 || !SameChange(again, st))
    Refuse(path, "has more than one hard link, or had while it was opened");
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
  Opened named;
  if (!OpenBeneath(b, O_PATH, 0, named)) {
    if (errno == ELOOP || errno == EXDEV) RaiseFor(errno, b, path);
    return b.Absolute;  // missing or unreachable: the open gives the number
  }
  struct stat st {};
  if (::fstat(named.File.Get(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) Refuse(path, "leads through a symbolic link");
    RefuseHardLinked(named.File.Get(), named, st, path);
  }
  return b.Absolute;
}

std::optional<FileDescriptor> OpenConfinedHostFile(const std::string& path, HostFileUse use) {
  auto allowed = Snapshot();
  if (!allowed) return std::nullopt;
  Beneath b = Locate(path, *allowed);
  Opened opened;
  bool open = false;
  if (use == HostFileUse::Read) {
    open = OpenBeneath(b, O_RDONLY | O_NONBLOCK, 0, opened);
  } else {
    // An existing file is written in place, never through a link; a missing
    // one is created exclusively, and one made meanwhile is opened instead.
    for (int attempt = 0; attempt < 8 && !open; ++attempt) {
      open = OpenBeneath(b, O_WRONLY | O_NONBLOCK, 0, opened);
      if (open || errno != ENOENT) break;
      open = OpenBeneath(b, O_WRONLY | O_NONBLOCK | O_CREAT | O_EXCL, 0666, opened);
      if (!open && errno != EEXIST) break;
    }
  }
  if (!open) RaiseFor(errno, b, path);
  if (auto hook = afterOpen.load()) hook();
  FileDescriptor file = std::move(opened.File);
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) RaiseFor(errno, b, path);
  RefuseHardLinked(file.Get(), opened, st, path);
  if (use != HostFileUse::Read) {
    // Only files are written: a page has no business feeding a pipe or a device.
    if (!S_ISREG(st.st_mode))
      throw AutomationError(
          errors::PathFileAccessError,
          AutomationError::StandardDescription(errors::PathFileAccessError) + ": '" + path + "' is not a regular file");
    if (use == HostFileUse::Replace && ::ftruncate(file.Get(), 0) != 0) RaiseFor(errno, b, path);
  }
  return file;
}

bool WriteConfinedHostFile(const std::string& path, const uint8_t* data, size_t size) {
  auto allowed = Snapshot();
  if (!allowed) return false;
  Beneath b = Locate(path, *allowed);
  Opened opened;
  mode_t mode = 0666;
  bool replace = OpenBeneath(b, O_PATH, 0, opened);
  if (replace) {
    if (auto hook = afterOpen.load()) hook();
    struct stat st {};
    if (::fstat(opened.File.Get(), &st) != 0) RaiseFor(errno, b, path);
    if (S_ISLNK(st.st_mode)) Refuse(path, "leads through a symbolic link");
    if (!S_ISREG(st.st_mode))
      throw AutomationError(
          errors::PathFileAccessError,
          AutomationError::StandardDescription(errors::PathFileAccessError) + ": '" + path + "' is not a regular file");
    RefuseHardLinked(opened.File.Get(), opened, st, path);
    mode = st.st_mode & 07777;
  } else {
    bool holderOpen = b.Parts.size() <= 1 || opened.Held.IsOpen();
    if (!holderOpen || errno != ENOENT) RaiseFor(errno, b, path);
  }

  // A name of our own beside the file, never one that exists.
  std::string temporary;
  FileDescriptor file(-1);
  for (int attempt = 0; attempt < 100 && !file.IsOpen(); ++attempt) {
    temporary = ".morvel-" + std::to_string(::getpid()) + "-" + std::to_string(++temporaryCounter) + ".part";
    file = FileDescriptor(::openat(opened.Folder, temporary.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, replace ? 0600 : mode));
    if (!file.IsOpen() && errno != EEXIST) RaiseFor(errno, b, path);
  }
  if (!file.IsOpen()) RaiseFor(EEXIST, b, path);
  auto fail = [&](int error) {
    ::unlinkat(opened.Folder, temporary.c_str(), 0);
    RaiseFor(error, b, path);
  };
  if (replace && ::fchmod(file.Get(), mode) != 0) fail(errno);
  for (size_t done = 0; done < size;) {
    ssize_t put = ::write(file.Get(), data + done, size - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    done += static_cast<size_t>(put);
  }
  if (file.Close() != 0 && errno != EINTR) fail(errno);
  if (::renameat(opened.Folder, temporary.c_str(), opened.Folder, opened.Name.c_str()) != 0) {
    int error = errno;
    fail(error == EISDIR ? EISDIR : error);
  }
  return true;
}

void ResolveBeneathBy(BeneathResolution how) { forceWalk.store(how == BeneathResolution::ComponentWalk); }

void AfterConfinedOpenForTesting(void (*hook)()) { afterOpen.store(hook); }

}  // namespace morvel::platform

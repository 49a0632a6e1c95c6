// Host path confinement over the Linux file calls (host_paths_port.h). A
// file is who its device and inode say. A path is followed beneath its
// allowed folder's kept descriptor by the kernel (openat2 with
// RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS), or, where the kernel has no
// openat2, one component at a time with O_NOFOLLOW.
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/host_paths.h"
#include "platform/host_paths_port.h"

namespace morvel::platform {
namespace host_paths {
namespace {

std::atomic<bool> forceWalk{false};
std::atomic<bool> kernelLacksOpenat2{false};
std::atomic<uint64_t> temporaryCounter{0};

std::string Resolved(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string out(real);
  std::free(real);
  return out;
}

Facts FactsOf(const struct stat& st) {
  Facts facts;
  facts.Id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  facts.Link = S_ISLNK(st.st_mode);
  facts.Folder = S_ISDIR(st.st_mode);
  facts.Regular = facts.Linkable = S_ISREG(st.st_mode);
  facts.Links = st.st_nlink;
  facts.Keep = st.st_mode & 07777;
  facts.ChangedSeconds = st.st_ctim.tv_sec;
  facts.ChangedNanoseconds = st.st_ctim.tv_nsec;
  return facts;
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
  int at = b.Root->Handle.Get();
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

// A link or an unlink sets the file's change time, which a file looked at
// since gets finer than a clock tick.
bool SameChange(const Facts& a, const Facts& b) {
  return a.ChangedSeconds == b.ChangedSeconds && a.ChangedNanoseconds == b.ChangedNanoseconds;
}

}  // namespace

bool HoldFolder(const std::string& folder, Folder& out) {
  out.Name = Resolved(folder);
  out.Handle = FileDescriptor(out.Name.empty() ? -1 : ::open(out.Name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (!out.Handle.IsOpen() || ::fstat(out.Handle.Get(), &st) != 0) return false;
  out.Id = FactsOf(st).Id;
  return true;
}

Name Spelt(const std::string& path) {
  if (path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return {};
  return std::string(cwd) + "/" + path;
}

bool IsSeparator(char c) { return c == '/'; }
char Separator() { return '/'; }

bool TakeApart(const Name& spelt, Name& root, std::vector<Name>& parts, Name& absolute) {
  // "." and doubled slashes are spelling.
  for (size_t start = 0; start <= spelt.size();) {
    size_t slash = spelt.find('/', start);
    if (slash == std::string::npos) slash = spelt.size();
    std::string part = spelt.substr(start, slash - start);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    // A trailing slash says "a folder", as it does to open(2).
    else if (slash == spelt.size() && !parts.empty())
      parts.push_back(".");
    start = slash + 1;
  }
  root = "/";
  absolute = "/";
  for (size_t k = 0; k < parts.size(); ++k) absolute += (k ? "/" : "") + parts[k];
  return true;
}

bool FolderIdentity(const Name& path, FileIdentity& id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  id = FactsOf(st).Id;
  return true;
}

std::string Utf8(const Name& name) { return name; }

// Each open takes the path apart anew.
bool Aim(const Beneath&, Place&) { return true; }

bool OpenBeneath(const Beneath& b, Access how, Place& place, SystemFile& file, Error& error) {
  static constexpr int flagsFor[] = {O_PATH, O_RDONLY | O_NONBLOCK, O_WRONLY | O_NONBLOCK,
                                     O_WRONLY | O_NONBLOCK | O_CREAT | O_EXCL};
  const int flags = flagsFor[static_cast<int>(how)];
  const mode_t mode = how == Access::Create ? 0666 : 0;
  bool kernel = !forceWalk.load() && !kernelLacksOpenat2.load();
  place.At = b.Root->Handle.Get();
  place.Leaf = b.Parts.empty() ? "." : b.Parts.back();
  if (b.Parts.size() > 1) {
    if (kernel) {
      std::string holder;
      for (size_t i = 0; i + 1 < b.Parts.size(); ++i) holder += (i ? "/" : "") + b.Parts[i];
      place.Held = FileDescriptor(KernelOpen(place.At, holder, O_PATH | O_DIRECTORY, 0));
      if (!place.Held.IsOpen() && KernelCannot(errno)) kernel = false;
    }
    if (!kernel) place.Held = WalkFolders(b, b.Parts.size() - 1);
    if (!place.Held.IsOpen()) {
      error = errno;
      return false;
    }
    place.At = place.Held.Get();
  }
  int fd = -1;
  if (kernel) {
    fd = KernelOpen(place.At, place.Leaf, flags | O_NOFOLLOW, mode);
    if (fd < 0 && KernelCannot(errno)) kernel = false;
  }
  if (!kernel) {
    do fd = ::openat(place.At, place.Leaf.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
  }
  if (fd < 0) {
    error = errno;
    return false;
  }
  file = FileDescriptor(fd);
  return true;
}

bool Examine(const SystemFile& file, Facts& facts) {
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) return false;
  facts = FactsOf(st);
  return true;
}

bool OpenedAsNamed(const Place&, const SystemFile&) { return true; }

// The name must still be the file's one link once every change of the
// folder under way then has ended, and the file's links must not have
// changed meanwhile.
bool StillAlone(const Place& place, const SystemFile& file, const Facts& facts) {
  WaitForFolderChanges(place.At);
  struct stat named {
  }, again{};
  if (::fstatat(place.At, place.Leaf.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) return false;
  Facts now = FactsOf(named);
  if (!(now.Id == facts.Id) || now.Links > 1 || !SameChange(now, facts) || ::fstat(file.Get(), &again) != 0)
    return false;
  now = FactsOf(again);
  return now.Links <= 1 && SameChange(now, facts);
}

Error LastError() { return errno; }
bool Missing(Error error) { return error == ENOENT; }
bool Exists(Error error) { return error == EEXIST; }
bool SaysLink(Error error) { return error == ELOOP || error == EXDEV; }
bool HiddenLink(Error, const Place&) { return false; }
bool RefusedAsFolder(Error, const Place&) { return false; }
int ErrorNumber(Error error, const std::string& absolute) { return FileErrorNumber(error, absolute); }
bool Truncate(const SystemFile& file) { return ::ftruncate(file.Get(), 0) == 0; }
FileDescriptor Descriptor(SystemFile file, HostFileUse, const std::string&) { return file; }

void ReplaceWhole(const Beneath& b, const std::string& path, const uint8_t* data, size_t size) {
  Place place;
  SystemFile existing;
  Error error = 0;
  mode_t mode = 0666;
  bool replace = OpenBeneath(b, Access::Attributes, place, existing, error);
  if (replace) {
    AfterOpen();
    Facts facts = Judge(b, place, existing, path);
    if (!facts.Regular) NotAFile(path);
    mode = facts.Keep;
  } else {
    bool holderOpen = b.Parts.size() <= 1 || place.Held.IsOpen();
    if (!holderOpen || error != ENOENT) RaiseOpen(error, b, place, path);
  }

  // A name of our own beside the file, never one that exists.
  std::string temporary;
  FileDescriptor file(-1);
  for (int attempt = 0; attempt < 100 && !file.IsOpen(); ++attempt) {
    temporary = ".morvel-" + std::to_string(::getpid()) + "-" + std::to_string(++temporaryCounter) + ".part";
    file = FileDescriptor(::openat(place.At, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                   replace ? 0600 : mode));
    if (!file.IsOpen() && errno != EEXIST) RaiseOpen(errno, b, place, path);
  }
  if (!file.IsOpen()) RaiseOpen(EEXIST, b, place, path);
  auto fail = [&](int failure) {
    ::unlinkat(place.At, temporary.c_str(), 0);
    RaiseOpen(failure, b, place, path);
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
  if (::renameat(place.At, temporary.c_str(), place.At, place.Leaf.c_str()) != 0) fail(errno);
}

}  // namespace host_paths

void ResolveBeneathBy(BeneathResolution how) { host_paths::forceWalk.store(how == BeneathResolution::ComponentWalk); }

}  // namespace morvel::platform

// Whole-file reading and writing with POSIX calls, so that every failure keeps
// its errno until it is turned into an automation error number.
#include "platform/files.h"

#include "platform/host_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace morvel::platform {
namespace {

[[noreturn]] void RaiseFor(int errnoValue, const std::string& path) {
  throw AutomationError(FileErrorNumber(errnoValue, path));
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int FileDescriptor::Close() noexcept {
  if (fd_ < 0) return 0;
  int rc = ::close(fd_);
  fd_ = -1;
  return rc;
}

FileDescriptor FileDescriptor::Duplicate(int fd) noexcept {
  return FileDescriptor(fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1);
}

int FileErrorNumber(int errnoValue, const std::string& path) {
  switch (errnoValue) {
    case ENOENT: {
      size_t slash = path.find_last_of('/');
      std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
      return IsFolder(folder) ? errors::FileNotFound : errors::PathNotFound;
    }
    case ENOTDIR: return errors::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
    case EAGAIN: return errors::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return errors::DiskFull;
    case EIO: return errors::DeviceIoError;
    case EMFILE:
    case ENFILE: return 67;  // too many files
    case ENOMEM: return errors::OutOfMemory;
    case ENXIO:
    case ENODEV: return 68;  // device unavailable
    default:                 // EISDIR, ELOOP, ENAMETOOLONG, EINVAL, ...
      return errors::PathFileAccessError;
  }
}

std::string NativePath(std::u16string_view path) {
  if (path.find(u'\0') != std::u16string_view::npos) throw AutomationError(errors::BadFileNameOrNumber);
  return ToUtf8(path);
}

std::string FileSystemPath(std::u16string_view path) { return ConfinedPath(NativePath(path)); }

FileDescriptor OpenHostFile(const std::string& path, HostFileUse use) {
  if (use == HostFileUse::Read) {
    FileDescriptor own = OwnFile(path);
    if (own.IsOpen()) return own;
  }
  if (std::optional<FileDescriptor> confined = OpenConfinedHostFile(path, use)) return std::move(*confined);
  // Non-blocking, so that opening a pipe without a writer does not wait.
  int flags = use == HostFileUse::Read ? O_RDONLY | O_NONBLOCK
                                       : O_WRONLY | O_CREAT | (use == HostFileUse::Replace ? O_TRUNC : 0);
  FileDescriptor file(::open(path.c_str(), flags | O_CLOEXEC, 0666));
  if (!file.IsOpen()) RaiseFor(errno, path);
  return file;
}

uint64_t FileLength(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) RaiseFor(errno, path);
  if (S_ISDIR(st.st_mode)) throw AutomationError(errors::PathFileAccessError);
  return static_cast<uint64_t>(st.st_size);
}

uint64_t FileLength(const FileDescriptor& file) {
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) throw AutomationError(FileErrorNumber(errno, "/"));
  if (S_ISDIR(st.st_mode)) throw AutomationError(errors::PathFileAccessError);
  return static_cast<uint64_t>(st.st_size);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  return ReadWholeFile(OpenHostFile(path, HostFileUse::Read), path);
}

std::vector<uint8_t> ReadWholeFile(const FileDescriptor& file, const std::string& path) {
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) RaiseFor(errno, path);
  // Opening a folder read-only succeeds on Linux; hosts expect it refused.
  if (S_ISDIR(st.st_mode)) throw AutomationError(errors::PathFileAccessError);
  if (!S_ISREG(st.st_mode))
    throw AutomationError(
        errors::PathFileAccessError,
        AutomationError::StandardDescription(errors::PathFileAccessError) + ": '" + path + "' is not a regular file");
  auto tooLarge = [&] {
    return AutomationError(errors::OutOfMemory, AutomationError::StandardDescription(errors::OutOfMemory) + ": '" +
                                                    path + "' is larger than the limit of " +
                                                    std::to_string(MaxWholeFileBytes >> 20) +
                                                    " MiB for files read whole");
  };
  if (static_cast<uint64_t>(st.st_size) > MaxWholeFileBytes) throw tooLarge();

  std::vector<uint8_t> bytes;
  // One byte beyond the reported length, so a file that grew since is noticed
  // without a second pass.
  bytes.resize(static_cast<size_t>(st.st_size) + 1);
  size_t filled = 0;
  for (;;) {
    if (filled > MaxWholeFileBytes) throw tooLarge();
    if (filled == bytes.size()) bytes.resize(std::min<size_t>(bytes.size() * 2, MaxWholeFileBytes + 1));
    // At its own offsets: the descriptor may be shared (an own file's duplicate).
    ssize_t got = ::pread(file.Get(), bytes.data() + filled, bytes.size() - filled, static_cast<off_t>(filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      RaiseFor(errno, path);
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size, bool truncate) {
  if (truncate && WriteConfinedHostFile(path, data, size)) return;
  FileDescriptor file = OpenHostFile(path, truncate ? HostFileUse::Replace : HostFileUse::Write);
  size_t done = 0;
  while (done < size) {
    ssize_t put = ::write(file.Get(), data + done, size - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      RaiseFor(errno, path);
    }
    done += static_cast<size_t>(put);
  }
  if (file.Close() != 0 && errno != EINTR) RaiseFor(errno, path);
}

}  // namespace morvel::platform

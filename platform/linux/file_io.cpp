// Reading and writing through descriptors with the POSIX calls.
#include "platform/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace morvel::platform {

bool WriteAll(int fd, std::string_view bytes, uint64_t* written) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    if (written != nullptr) *written += static_cast<uint64_t>(n);
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

long ReadAt(int fd, char* into, size_t size, uint64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

FileDescriptor UnnamedFile(const std::string& folder) {
#ifdef O_TMPFILE
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return FileDescriptor(fd);
#endif
  std::string pattern = folder + "/morvel-job-XXXXXX";
  const int named = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (named >= 0) ::unlink(pattern.c_str());
  return FileDescriptor(named);
}

bool AppendInOneWrite(const std::string& path, std::string_view bytes) noexcept {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool whole = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  return whole;
}

}  // namespace morvel::platform

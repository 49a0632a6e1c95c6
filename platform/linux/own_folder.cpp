// The own folder through one descriptor, with openat and its kin.
#include "platform/own_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>

#include "platform/file_io.h"

namespace morvel::platform {

OwnFolder::Opening OwnFolder::Open(const std::string& path) {
  Opening opening;
  folder_ = FileDescriptor();
  std::error_code made;
  if (!std::filesystem::exists(path, made)) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), made);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
      opening.Refused = Refusal::CannotMake;
      opening.Error = errno;
      return opening;
    }
  }
  folder_ = FileDescriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat s {};
  if (!folder_.IsOpen() || ::fstat(folder_.Get(), &s) != 0) {
    opening.Refused = Refusal::CannotOpen;
    opening.Error = errno;
  } else if (s.st_uid != ::geteuid()) {
    opening.Refused = Refusal::OtherOwner;
    opening.Owner = UserId{std::to_string(s.st_uid)};
  } else if ((s.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    opening.Refused = Refusal::OthersMayWrite;
    opening.Mode = s.st_mode & 0777;
  }
  return opening;
}

std::vector<std::string> OwnFolder::Names() const {
  std::vector<std::string> names;
  const int listing = ::openat(folder_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
  if (dir == nullptr) {
    if (listing >= 0) ::close(listing);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

FileDescriptor OwnFolder::Create(const std::string& name) const {
  int fd;
  do fd = ::openat(folder_.Get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  while (fd < 0 && errno == EINTR);
  return FileDescriptor(fd);
}

bool OwnFolder::Replace(const std::string& name, std::string_view bytes) const {
  static std::atomic<unsigned> serial{0};
  const std::string temporary = "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(serial++);
  const int fd = ::openat(folder_.Get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  const bool closed = ::close(fd) == 0;
  // A rename replaces a link that stands at the name; it never follows it.
  if (!written || !closed || ::renameat(folder_.Get(), temporary.c_str(), folder_.Get(), name.c_str()) != 0) {
    ::unlinkat(folder_.Get(), temporary.c_str(), 0);
    return false;
  }
  return true;
}

std::optional<std::string> OwnFolder::Read(const std::string& name, size_t limit) const {
  const int fd = ::openat(folder_.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat s {};
  std::optional<std::string> out;
  if (::fstat(fd, &s) == 0 && S_ISREG(s.st_mode)) {
    out.emplace();
    char buffer[65536];
    ssize_t n;
    while (out->size() < limit && (n = ::read(fd, buffer, sizeof buffer)) != 0) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        out.reset();
        break;
      }
      out->append(buffer, std::min(static_cast<size_t>(n), limit - out->size()));
    }
  }
  ::close(fd);
  return out;
}

}  // namespace morvel::platform

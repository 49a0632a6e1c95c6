// The jobs folder through one descriptor (JobsFolder.h).
#include "hosts/emulate/JobsFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace morvel::emulate {
bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool PlainName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
  return true;
}

JobsFolder::~JobsFolder() {
  if (fd_ >= 0) ::close(fd_);
}

bool JobsFolder::Open(const std::string& path, std::string& error) {
  path_ = path;
  std::error_code made;
  if (!std::filesystem::exists(path, made)) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), made);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot make the jobs folder " + path + ": " + std::strerror(errno);
      return false;
    }
  }
  fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat s {};
  if (fd_ < 0 || ::fstat(fd_, &s) != 0) {
    error = "cannot open the jobs folder " + path + ": " + std::strerror(errno);
    return false;
  }
  if (s.st_uid != ::geteuid()) {
    error = "the jobs folder " + path + " belongs to uid " + std::to_string(s.st_uid) +
            ", not to this user: choose a folder of your own with --jobs";
    return false;
  }
  if ((s.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    error = "the jobs folder " + path + " may be written by its group or by others (mode " +
            std::to_string((s.st_mode >> 6) & 7) + std::to_string((s.st_mode >> 3) & 7) +
            std::to_string(s.st_mode & 7) + "): make it yours alone (chmod go-w) or choose another with --jobs";
    return false;
  }
  return true;
}

long JobsFolder::LargestNumber() const {
  long largest = 0;
  const int listing = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
  if (dir == nullptr) {
    if (listing >= 0) ::close(listing);
    return largest;
  }
  while (const dirent* entry = ::readdir(dir)) {
    // Numbers of up to nine digits: any more is no job of ours, and no name
    // of ours can meet it.
    long number = 0;
    size_t digits = 0;
    for (const char* c = entry->d_name; *c >= '0' && *c <= '9' && digits < 10; ++c, ++digits)
      number = number * 10 + (*c - '0');
    if (digits >= 6 && digits <= 9) largest = std::max(largest, number);
  }
  ::closedir(dir);
  return largest;
}

int JobsFolder::Create(const std::string& name) const {
  if (!PlainName(name)) {
    errno = EINVAL;
    return -1;
  }
  int fd;
  do fd = ::openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  while (fd < 0 && errno == EINTR);
  return fd;
}

bool JobsFolder::Replace(const std::string& name, std::string_view bytes) const {
  if (!PlainName(name)) return false;
  static std::atomic<unsigned> serial{0};
  const std::string temporary = "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(serial++);
  const int fd = ::openat(fd_, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  const bool closed = ::close(fd) == 0;
  // A rename replaces a link that stands at the name; it never follows it.
  if (!written || !closed || ::renameat(fd_, temporary.c_str(), fd_, name.c_str()) != 0) {
    ::unlinkat(fd_, temporary.c_str(), 0);
    return false;
  }
  return true;
}

std::optional<std::string> JobsFolder::Read(const std::string& name, size_t limit) const {
  if (!PlainName(name)) return std::nullopt;
  const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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

}  // namespace morvel::emulate

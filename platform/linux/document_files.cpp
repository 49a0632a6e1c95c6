// Documents read from files, FIFOs and devices, and output files replaced
// whole, through the POSIX calls.
#include "platform/document_files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

namespace morvel::platform {
namespace {

// Reads `fd` to its end, waiting at most `waitMs` for each byte that does
// not come at once (not for a regular file); the reason when it cannot.
std::string ReadAll(int fd, bool regular, size_t most, int waitMs, std::string& bytes) {
  char chunk[65536];
  for (;;) {
    if (!regular) {
      pollfd p{fd, POLLIN, 0};
      const int ready = poll(&p, 1, waitMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0)
        return "no byte came for " + std::to_string(waitMs) + " ms (a pipe or device that nothing writes to)";
    }
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) return {};
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return std::string("cannot be read (") + std::strerror(errno) + ")";
    }
    if (bytes.size() + static_cast<size_t>(n) > most)
      return "larger than " + std::to_string(most >> 20) + " MiB, no label document is";
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

}  // namespace

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

std::string ReadDocumentFile(const std::string& path, size_t most, int waitMs, std::string& bytes) {
  // Not blocking, so that opening a FIFO with no writer returns.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat facts {};
  std::string why;
  if (fd < 0 || fstat(fd, &facts) != 0)
    why = "cannot be read";
  else if (S_ISDIR(facts.st_mode))
    why = "cannot be read (a folder)";
  else
    why = ReadAll(fd, S_ISREG(facts.st_mode), most, waitMs, bytes);
  if (fd >= 0) close(fd);
  return why;
}

std::string ReplacingFile::Open(const std::string& path) {
  path_ = path;
  struct stat facts {};
  if (stat(path.c_str(), &facts) == 0 && !S_ISREG(facts.st_mode)) {
    if (S_ISDIR(facts.st_mode)) return "it is a folder";
    // Not blocking while opening: a FIFO nobody reads refuses at once.
    fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return errno == ENXIO ? "nothing reads from it" : std::strerror(errno);
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    // A reader that goes away is a failed write to tell, not the end.
    signal(SIGPIPE, SIG_IGN);
    return {};
  }
  std::error_code error;
  final_ = std::filesystem::exists(path, error) ? std::filesystem::canonical(path, error).string() : path;
  if (error) final_ = path;
  const std::filesystem::path beside = std::filesystem::path(final_).parent_path();
  temp_ = (beside.empty() ? std::string(".") : beside.string()) + "/." +
          std::filesystem::path(final_).filename().string() + ".XXXXXX";
  fd_ = mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    temp_.clear();
    return std::string("no file can be made beside it (") + std::strerror(errno) + ")";
  }
  // The mode the file has, or a new file's.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, stat(final_.c_str(), &facts) == 0 ? facts.st_mode & 07777 : 0666 & ~mask);
  return {};
}

std::string ReplacingFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::strerror(n < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

std::string ReplacingFile::Commit() {
  std::string why;
  if (fd_ >= 0 && fsync(fd_) != 0 && errno != EINVAL) why = std::strerror(errno);
  if (fd_ >= 0 && close(fd_) != 0 && why.empty()) why = std::strerror(errno);
  fd_ = -1;
  if (why.empty() && Replaces() && rename(temp_.c_str(), final_.c_str()) != 0) why = std::strerror(errno);
  if (why.empty()) temp_.clear();
  Discard();
  return why;
}

void ReplacingFile::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

}  // namespace morvel::platform

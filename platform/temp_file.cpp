// mkstemps makes the name and opens the file with O_EXCL in one step.
#include "platform/temp_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "platform/services.h"

namespace morvel::platform {

std::string WriteNewTempFile(const std::string& folder, const std::string& prefix, const std::string& suffix,
                             const uint8_t* data, size_t size) {
  std::string pattern = folder + prefix + "XXXXXX" + suffix;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemps(name.data(), static_cast<int>(suffix.size()));
  if (fd < 0) throw AutomationError(FileErrorNumber(errno, pattern));
  std::string path(name.data());
  size_t done = 0;
  int failure = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure != 0) {
    ::unlink(path.c_str());
    throw AutomationError(FileErrorNumber(failure, path));
  }
  return path;
}

void RemoveFile(const std::string& path) noexcept {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return;
  try {
    Logger().Record("cannot remove " + path + ": " + std::strerror(errno));
  } catch (...) {
  }
}

}  // namespace morvel::platform

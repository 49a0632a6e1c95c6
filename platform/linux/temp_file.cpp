// mkstemps makes the name and opens the file with O_EXCL in one step.
#include "platform/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/host_paths.h"
#include "platform/services.h"

namespace morvel::platform {

OwnTempFile::OwnTempFile(const std::string& folder, const std::string& prefix, const std::string& suffix,
                         const uint8_t* data, size_t size) {
  std::string pattern = folder + prefix + "XXXXXX" + suffix;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  file_ = FileDescriptor(::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC));
  if (!file_.IsOpen()) throw AutomationError(FileErrorNumber(errno, pattern));
  path_ = name.data();
  size_t done = 0;
  int failure = 0;
  while (done < size) {
    ssize_t n = ::write(file_.Get(), data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (failure != 0) {
    ::unlink(path_.c_str());
    throw AutomationError(FileErrorNumber(failure, path_));
  }
  AdmitOwnFile(path_, file_.Get());
}

OwnTempFile::~OwnTempFile() {
  WithdrawOwnFile(path_);
  RemoveFile(path_);
}

void RemoveFile(const std::string& path) noexcept {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return;
  try {
    Logger().Record("cannot remove " + path + ": " + std::strerror(errno));
  } catch (...) {
  }
}

}  // namespace morvel::platform

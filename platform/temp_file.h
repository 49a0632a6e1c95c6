// Private temporary files: each one new, created exclusively in the
// temporary folder, so that two programs never share one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace morvel::platform {

// A new file in `folder` (with its trailing '/') named PREFIX + six random
// characters + SUFFIX, holding the bytes, and removed when this goes. For a
// file this program writes only to hand its name to code that opens files
// by name (liborxlib's downloadpcx): while it lives, opening its path for
// reading (OpenHostFile) gives the descriptor it was written through, so
// nothing put under that name meanwhile is read, and host path confinement
// lets it pass, the program's own file being no host's path. Raises the file
// error number when it cannot be created or written (nothing is left behind
// then).
class OwnTempFile {
 public:
  OwnTempFile(const std::string& folder, const std::string& prefix, const std::string& suffix, const uint8_t* data,
              size_t size);
  ~OwnTempFile();
  OwnTempFile(const OwnTempFile&) = delete;
  OwnTempFile& operator=(const OwnTempFile&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  FileDescriptor file_;
};

// Removes a file; a failure is recorded in the log.
void RemoveFile(const std::string& path) noexcept;

}  // namespace morvel::platform

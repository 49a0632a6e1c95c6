// Private temporary files: each one new, created exclusively in the
// temporary folder, so that two programs never share one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morvel::platform {

// Writes the bytes to a new file in `folder` (with its trailing '/') named
// PREFIX + six random characters + SUFFIX, and returns its path. Raises the
// file error number when it cannot be created or written (nothing is left
// behind then).
std::string WriteNewTempFile(const std::string& folder, const std::string& prefix, const std::string& suffix,
                             const uint8_t* data, size_t size);

// Removes a file; a failure is recorded in the log.
void RemoveFile(const std::string& path) noexcept;

}  // namespace morvel::platform

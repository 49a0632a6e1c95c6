// Whole-file reading and writing for the control and the drivers, with every
// file system failure raised as the automation error number a host expects
// for it (53 file not found, 76 path not found, 70 permission denied, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "morvel/types.h"

namespace morvel::platform {

// The automation error number for an errno value of a file operation on
// `path` (UTF-8). ENOENT becomes 53 when the folder of `path` exists and 76
// when it does not, as hosts tell a missing file from a missing folder.
int FileErrorNumber(int errnoValue, const std::string& path);

// A host path as the Linux file system takes it: UTF-8. Error 52 (bad file
// name) when it holds a NUL, which would silently name another file; error
// 70 when host paths are confined (host_paths.h) and it leads outside. Every
// path a host names goes through here.
std::string FileSystemPath(std::u16string_view path);

// The length of a regular file from the file system, without opening it.
// A folder raises 75; anything else that fails raises its mapped number.
uint64_t FileLength(const std::string& path);

// The most a file read whole may hold: pictures and LoadFile inputs. A
// device, pipe or runaway file would otherwise be read until memory ran out.
constexpr uint64_t MaxWholeFileBytes = 64ull << 20;

// Every byte of a regular file, read from its start. Anything but a regular
// file (a device, a pipe) raises 75, a file beyond MaxWholeFileBytes raises 7,
// both with a description naming the file and the reason.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Writes `size` bytes at the start of the file, creating it (mode 0666 less
// the umask) when missing. With `truncate` the file ends after those bytes;
// without it a longer file keeps its old tail.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size, bool truncate);

}  // namespace morvel::platform

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

// An open file, closed when it goes, so a failed read or write never leaks it.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const noexcept { return fd_; }
  bool IsOpen() const noexcept { return fd_ >= 0; }
  // Closes now and gives close's result: a failing close can lose written
  // data, so a writer checks it.
  int Close() noexcept;
  // A new descriptor of the file `fd` is open on, not inherited by child
  // processes; not open when `fd` is not.
  static FileDescriptor Duplicate(int fd) noexcept;

 private:
  int fd_ = -1;
};

// The automation error number for an errno value of a file operation on
// `path` (UTF-8). ENOENT becomes 53 when the folder of `path` exists and 76
// when it does not, as hosts tell a missing file from a missing folder.
int FileErrorNumber(int errnoValue, const std::string& path);

// A path as the Linux file system takes it: UTF-8, error 52 (bad file name)
// when it holds a NUL, which would silently name another file. For the
// program's own files (its temporary folder); what a host names goes
// through FileSystemPath.
std::string NativePath(std::u16string_view path);

// A host path as the Linux file system takes it (NativePath), with error 70
// when host paths are confined (host_paths.h) and it is refused already by
// its spelling or by what it names now. Every path a host names goes through
// here; the open (OpenHostFile) checks again, on what it opens.
std::string FileSystemPath(std::u16string_view path);

enum class HostFileUse {
  Read,     // from the start; never waits on a pipe
  Write,    // from the start, created (0666 less the umask) when missing; a longer file keeps its tail
  Replace,  // as Write, the file emptied first
};

// Opens a host path (from FileSystemPath) for one use, or raises its error
// number. Without confinement the path is opened as open(2) takes it. With
// it, the path is opened beneath the descriptor of the allowed folder it
// leads into, with neither "..", nor a symbolic link, nor a magic link from
// that folder on, and a regular file with a second hard link refused (70);
// a missing file is created exclusively and an existing one is opened in
// place, so what is read or written is what was checked. A temporary file
// of this process's own (temp_file.h) is given through the descriptor kept
// for it, confined or not. Read and write through the result only.
FileDescriptor OpenHostFile(const std::string& path, HostFileUse use);

// The length of a regular file from the file system, without opening it.
// A folder raises 75; anything else that fails raises its mapped number.
uint64_t FileLength(const std::string& path);
// The same, of an open file.
uint64_t FileLength(const FileDescriptor& file);

// The most a file read whole may hold: pictures and LoadFile inputs. A
// device, pipe or runaway file would otherwise be read until memory ran out.
constexpr uint64_t MaxWholeFileBytes = 64ull << 20;

// Every byte of a regular file, read from its start. Anything but a regular
// file (a device, a pipe) raises 75, a file beyond MaxWholeFileBytes raises 7,
// both with a description naming the file and the reason. The first form
// opens `path` with OpenHostFile; the second reads an open file, `path`
// naming it in messages.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
std::vector<uint8_t> ReadWholeFile(const FileDescriptor& file, const std::string& path);

// Writes `size` bytes at the start of the host file (OpenHostFile), creating
// it when missing. With `truncate` the file ends after those bytes; without
// it a longer file keeps its old tail.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size, bool truncate);

}  // namespace morvel::platform

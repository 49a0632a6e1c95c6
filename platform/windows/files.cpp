// Whole-file reading and writing with the kernel32 file calls, each failure
// raised as the automation error number a host expects for it. Paths are
// UTF-8 inside the platform layer and reach Windows as UTF-16, so a name
// the ANSI code page cannot spell still opens.
#include "platform/files.h"
#include "platform/host_paths.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

using FileHandle = win::Handle;

std::wstring WidePath(const std::string& path) { return win::Wide(FromUtf8(path)); }

}  // namespace

int win::FileErrorNumber(DWORD error, const std::string& path) {
  (void)path;
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return errors::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return errors::PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return errors::PermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return errors::DiskFull;
    case ERROR_TOO_MANY_OPEN_FILES: return 67;  // too many files
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return errors::OutOfMemory;
    case ERROR_NOT_READY: return 71;  // disk not ready
    case ERROR_INVALID_NAME: return errors::BadFileNameOrNumber;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT: return errors::DeviceIoError;
    default: return errors::PathFileAccessError;
  }
}

namespace {

[[noreturn]] void Raise(DWORD error, const std::string& path) {
  throw AutomationError(win::FileErrorNumber(error, path));
}

}  // namespace

int FileErrorNumber(int errnoValue, const std::string& path) {
  switch (errnoValue) {
    case ENOENT: {
      DWORD attributes = GetFileAttributesW(
          WidePath(path.substr(0, path.find_last_of("\\/") == std::string::npos ? 0 : path.find_last_of("\\/")))
              .c_str());
      bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      return folder || path.find_last_of("\\/") == std::string::npos ? errors::FileNotFound : errors::PathNotFound;
    }
    case EACCES:
    case EPERM: return errors::PermissionDenied;
    case ENOSPC: return errors::DiskFull;
    case EIO: return errors::DeviceIoError;
    case ENOMEM: return errors::OutOfMemory;
    default: return errors::PathFileAccessError;
  }
}

int FileDescriptor::Close() noexcept {
  int rc = fd_ >= 0 ? ::_close(fd_) : 0;
  fd_ = -1;
  return rc;
}

// The CRT's duplicates are not inherited: its descriptors pass to a child
// only through spawn's own table, which this library never fills.
FileDescriptor FileDescriptor::Duplicate(int fd) noexcept { return FileDescriptor(fd >= 0 ? ::_dup(fd) : -1); }

std::string NativePath(std::u16string_view path) {
  if (path.find(u'\0') != std::u16string_view::npos) throw AutomationError(errors::BadFileNameOrNumber);
  return ToUtf8(path);
}

FileDescriptor OpenHostFile(const std::string& path, HostFileUse use) {
  if (use == HostFileUse::Read) {
    FileDescriptor own = OwnFile(path);
    if (own.IsOpen()) return own;
  }
  if (std::optional<FileDescriptor> confined = OpenConfinedHostFile(path, use)) return std::move(*confined);
  int flags = _O_BINARY | _O_NOINHERIT;
  if (use == HostFileUse::Read)
    flags |= _O_RDONLY;
  else
    flags |= _O_WRONLY | _O_CREAT | (use == HostFileUse::Replace ? _O_TRUNC : 0);
  FileDescriptor file(::_wopen(WidePath(path).c_str(), flags, _S_IREAD | _S_IWRITE));
  if (!file.IsOpen()) throw AutomationError(FileErrorNumber(errno, path));
  return file;
}

uint64_t FileLength(const FileDescriptor& file) {
  intptr_t handle = ::_get_osfhandle(file.Get());
  if (handle == -1) throw AutomationError(errors::BadFileNameOrNumber);
  // From the handle: the C runtime's stat tells no folder opened as a file.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle), &info)) {
    if (GetFileType(reinterpret_cast<HANDLE>(handle)) != FILE_TYPE_DISK) return 0;  // a pipe or device has none
    Raise(GetLastError(), "/");
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) throw AutomationError(errors::PathFileAccessError);
  return (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

std::string FileSystemPath(std::u16string_view path) { return ConfinedPath(NativePath(path)); }

uint64_t FileLength(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) Raise(GetLastError(), path);
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) throw AutomationError(errors::PathFileAccessError);
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

namespace {

std::vector<uint8_t> ReadAll(HANDLE handle, const std::string& path) {
  struct Borrowed {
    HANDLE Handle;
    HANDLE Get() const { return Handle; }
  } file{handle};
  BY_HANDLE_FILE_INFORMATION info{};
  // A folder opens where host paths are confined; hosts expect it refused.
  if (GetFileInformationByHandle(file.Get(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    throw AutomationError(errors::PathFileAccessError);
  if (GetFileType(file.Get()) != FILE_TYPE_DISK)
    throw AutomationError(errors::PathFileAccessError, "Path/File access error: '" + path + "' is not a regular file");
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) Raise(GetLastError(), path);
  if (static_cast<uint64_t>(size.QuadPart) > MaxWholeFileBytes)
    throw AutomationError(errors::OutOfMemory, "Out of memory: '" + path + "' has more than " +
                                                   std::to_string(MaxWholeFileBytes) + " bytes");
  std::vector<uint8_t> content(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < content.size()) {
    DWORD got = 0;
    // At its own offsets: the handle may be shared (an own file's duplicate).
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(done);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(done) >> 32);
    if (!ReadFile(file.Get(), content.data() + done, static_cast<DWORD>(content.size() - done), &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      throw AutomationError(errors::DeviceIoError);
    }
    if (got == 0) break;  // the file shrank while it was read
    done += got;
  }
  content.resize(done);
  return content;
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  FileDescriptor own = OwnFile(path);
  if (own.IsOpen()) return ReadWholeFile(own, path);
  if (std::optional<FileDescriptor> confined = OpenConfinedHostFile(path, HostFileUse::Read))
    return ReadWholeFile(*confined, path);
  FileHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) Raise(GetLastError(), path);
  return ReadAll(file.Get(), path);
}

std::vector<uint8_t> ReadWholeFile(const FileDescriptor& file, const std::string& path) {
  intptr_t handle = ::_get_osfhandle(file.Get());
  if (handle == -1) throw AutomationError(errors::BadFileNameOrNumber);
  return ReadAll(reinterpret_cast<HANDLE>(handle), path);
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size, bool truncate) {
  if (truncate && WriteConfinedHostFile(path, data, size)) return;
  if (HostPathsConfined()) {
    FileDescriptor confined = OpenHostFile(path, HostFileUse::Write);
    HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(confined.Get()));
    for (size_t done = 0; done < size;) {
      DWORD wrote = 0;
      if (!WriteFile(handle, data + done, static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30)), &wrote, nullptr))
        Raise(GetLastError(), path);
      done += wrote;
    }
    if (confined.Close() != 0) throw AutomationError(errors::DeviceIoError);
    return;
  }
  FileHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, truncate ? CREATE_ALWAYS : OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) Raise(GetLastError(), path);
  size_t done = 0;
  while (done < size) {
    DWORD wrote = 0;
    if (!WriteFile(file.Get(), data + done, static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30)), &wrote,
                   nullptr))
      Raise(GetLastError(), path);
    done += wrote;
  }
  if (!file.Close()) Raise(GetLastError(), path);
}

}  // namespace morvel::platform

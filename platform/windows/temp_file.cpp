// Private temporary files on Windows: created with CREATE_NEW, so two
// programs never share one, and kept open for reading through the handle
// they were written with.
#include "platform/temp_file.h"

#include <algorithm>

#include <fcntl.h>
#include <io.h>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/windows/windows_adapters.h"

namespace morvel::platform {

OwnTempFile::OwnTempFile(const std::string& folder, const std::string& prefix, const std::string& suffix,
                         const uint8_t* data, size_t size) {
  static const char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  LARGE_INTEGER seed{};
  QueryPerformanceCounter(&seed);
  uint64_t state = static_cast<uint64_t>(seed.QuadPart) ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      name.push_back(Letters[(state >> 33) % 36]);
    }
    std::string path = folder + name + suffix;
    std::wstring wide = win::Wide(FromUtf8(path));
    // Others may read it by name, and it may be removed while open.
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      throw AutomationError(errors::PathFileAccessError,
                            "Path/File access error: cannot create '" + path + "': " + win::ErrorText(GetLastError()));
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < size) {
      DWORD wrote = 0;
      ok = WriteFile(file, data + done, static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30)), &wrote, nullptr) &&
           wrote > 0;
      done += wrote;
    }
    int fd = ok ? ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY) : -1;
    if (fd < 0) {
      CloseHandle(file);
      DeleteFileW(wide.c_str());
      throw AutomationError(errors::DeviceIoError);
    }
    file_ = FileDescriptor(fd);
    path_ = path;
    AdmitOwnFile(path_, file_.Get());
    return;
  }
  throw AutomationError(errors::PathFileAccessError, "Path/File access error: no free temporary name in " + folder);
}

OwnTempFile::~OwnTempFile() {
  WithdrawOwnFile(path_);
  file_.Close();
  RemoveFile(path_);
}

void RemoveFile(const std::string& path) noexcept {
  try {
    std::wstring wide = win::Wide(FromUtf8(path));
    if (!DeleteFileW(wide.c_str())) Logger().Record("cannot remove '" + path + "': " + win::ErrorText(GetLastError()));
  } catch (...) {
  }
}

}  // namespace morvel::platform

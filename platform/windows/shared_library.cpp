// Companion DLLs: LoadLibraryA by name from the folder of the asking module
// first (so the control finds the orxlib.dll installed beside it), then
// through the system's DLL search, as the Windows design loads them.
#include "platform/shared_library.h"

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {

void* LoadSharedLibrary(const void* anchor, const std::string& fileName, std::string& error) {
  error.clear();
  HMODULE self = nullptr;
  if (anchor != nullptr &&
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCWSTR>(anchor), &self)) {
    wchar_t path[MAX_PATH];
    DWORD size = GetModuleFileNameW(self, path, MAX_PATH);
    String folder = win::FromWide(path, size);
    size_t slash = folder.find_last_of(u"\\/");
    if (size > 0 && size < MAX_PATH && slash != String::npos) {
      std::wstring beside = win::Wide(folder.substr(0, slash + 1) + FromUtf8(fileName));
      if (HMODULE h = LoadLibraryW(beside.c_str())) return h;
    }
  }
  std::string ansi = win::Ansi(FromUtf8(fileName));
  HMODULE found = LoadLibraryA(ansi.c_str());
  if (found == nullptr) error = fileName + ": " + win::ErrorText(GetLastError());
  return found;
}

void* FindEntryPoint(void* library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string LibraryFileName(std::string_view name) { return std::string(name) + ".dll"; }

}  // namespace morvel::platform

// dlopen beside the asking library first, then by plain name.
#include "platform/shared_library.h"

#include <dlfcn.h>

namespace morvel::platform {

void* LoadSharedLibrary(const void* anchor, const std::string& fileName, std::string& error) {
  error.clear();
  Dl_info info{};
  if (anchor != nullptr && dladdr(anchor, &info) != 0 && info.dli_fname != nullptr) {
    std::string self = info.dli_fname;
    size_t slash = self.find_last_of('/');
    if (slash != std::string::npos) {
      if (void* beside = dlopen((self.substr(0, slash + 1) + fileName).c_str(), RTLD_NOW | RTLD_LOCAL)) return beside;
    }
  }
  void* found = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (found == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : fileName + ": cannot be loaded";
  }
  return found;
}

void* FindEntryPoint(void* library, const char* name) {
  if (library == nullptr) return nullptr;
  return dlsym(library, name);
}

std::string LibraryFileName(std::string_view name) { return "lib" + std::string(name) + ".so"; }

}  // namespace morvel::platform

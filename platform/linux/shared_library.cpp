// dlopen beside the asking library first, then beside this platform
// library, then by plain name.
#include "platform/shared_library.h"

#include <dlfcn.h>

namespace morvel::platform {

namespace {

// `fileName` in the folder of the object that holds `anchor`; null when it
// is not there.
void* OpenBeside(const void* anchor, const std::string& fileName) {
  Dl_info info{};
  if (anchor == nullptr || dladdr(anchor, &info) == 0 || info.dli_fname == nullptr) return nullptr;
  const std::string self = info.dli_fname;
  const size_t slash = self.find_last_of('/');
  if (slash == std::string::npos) return nullptr;
  return dlopen((self.substr(0, slash + 1) + fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

void* LoadSharedLibrary(const void* anchor, const std::string& fileName, std::string& error) {
  error.clear();
  // The companions are installed beside the platform library, while a
  // program that carries the asking code lives elsewhere (bin/), and a
  // sanitizer's dlopen does not search the runpath of the object that asks.
  if (void* beside = OpenBeside(anchor, fileName)) return beside;
  if (void* beside = OpenBeside(reinterpret_cast<const void*>(&LoadSharedLibrary), fileName)) return beside;
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

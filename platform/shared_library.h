// Loading a companion library at run time: from the folder of the library
// that asks first (so an installed or built tree finds its own copy), then
// from the platform library's folder (where the companions are installed),
// then through the usual search (LD_LIBRARY_PATH, the cache, the system
// folders).
#pragma once

#include <string>
#include <string_view>

namespace morvel::platform {

// The handle of `fileName` (loaded once and kept for the process), or null
// with `error` saying why. `anchor` is the address of any function of the
// asking library; its folder is searched first.
void* LoadSharedLibrary(const void* anchor, const std::string& fileName, std::string& error);

// The entry point `name` of a loaded library, or null.
void* FindEntryPoint(void* library, const char* name);

// The file of the companion library `name` on this system: libNAME.so on
// Linux, NAME.dll on Windows.
std::string LibraryFileName(std::string_view name);

}  // namespace morvel::platform

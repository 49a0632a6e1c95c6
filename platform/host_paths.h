// Confinement of the file paths a host names (DrawImageFromFile, LoadFile,
// SaveFile, SaveFile2). Off by default, so the script host and C++ hosts
// reach any file the user can; a host that serves callers it does not trust
// (the web bridge) confines them to the folders the user allowed.
//
// Confined, a path must lead into an allowed folder (however that folder is
// spelt: the folder is recognised by identity, not by name) and from there
// on hold no symbolic link; ".." is refused wherever it stands, and so is a
// regular file with a second hard link, which may be a file outside under
// another name. The file is opened beneath a descriptor of the allowed
// folder taken when the confinement was installed, so a name swapped for a
// link between a check and the open leads nowhere.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace morvel::platform {

// From now on every host path must lead into one of `folders`. Each folder
// is resolved and opened now, and kept open until the confinement is lifted
// or replaced; one that does not exist or is no folder raises
// AutomationError 76. An empty list confines to nothing: every path is
// refused.
void ConfineHostPaths(const std::vector<std::string>& folders);
// Back to no confinement.
void LiftHostPathConfinement();
bool HostPathsConfined();
// The allowed folders as resolved, for messages.
std::vector<std::string> ConfinedFolders();

// The path to open for a host path (UTF-8): unchanged without confinement;
// with it, the path made absolute, or AutomationError 70 (permission denied)
// when its spelling or what it names now is refused. Nothing is read or
// written here, and a file that is missing passes (its open tells).
std::string ConfinedPath(const std::string& path);

// OpenHostFile for a confined path, or nothing when host paths are not
// confined.
std::optional<FileDescriptor> OpenConfinedHostFile(const std::string& path, HostFileUse use);

// Writes a whole confined file: the bytes go into a new file of the holding
// folder, which then takes the name, so no name swapped meanwhile for a link
// or a hard link can lead the bytes into a file outside. The mode of a file
// replaced is kept. False when host paths are not confined.
bool WriteConfinedHostFile(const std::string& path, const uint8_t* data, size_t size);

// How a confined path is followed beneath its folder: by the kernel
// (openat2 with RESOLVE_BENEATH and RESOLVE_NO_SYMLINKS) where it offers
// that, otherwise one component at a time with O_NOFOLLOW. Tests force the
// walk to cover what kernels before 5.6 get. Windows has one way (the file
// opened under its folder's final path, then judged on its handle), and
// this does nothing there.
enum class BeneathResolution { Kernel, ComponentWalk };
void ResolveBeneathBy(BeneathResolution how);
// For tests: called between a confined open and the checks of what it
// opened, to stand for a process that changes the name just then. Null: none.
void AfterConfinedOpenForTesting(void (*hook)());

// Files of this process's own, by path, each with a descriptor the caller
// keeps open until it withdraws the path: opening such a path for reading
// gives a duplicate of that descriptor, and confinement lets it pass. On
// Windows a descriptor is a C runtime one (_open_osfhandle).
void AdmitOwnFile(const std::string& path, int fd);
void WithdrawOwnFile(const std::string& path);
// A duplicate of the descriptor admitted for `path`; not open when none is.
FileDescriptor OwnFile(const std::string& path);
bool IsOwnFile(const std::string& path);

}  // namespace morvel::platform

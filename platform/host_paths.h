// Confinement of the file paths a host names (DrawImageFromFile, LoadFile,
// SaveFile, SaveFile2). Off by default, so the script host and C++ hosts
// reach any file the user can; a host that serves callers it does not trust
// (the web bridge) confines them to the folders the user allowed.
#pragma once

#include <string>
#include <vector>

namespace morvel::platform {

// From now on every host path must resolve, after "..", "." and symbolic
// links, to a place inside one of `folders`. Each folder is resolved now;
// one that does not exist or is no folder raises AutomationError 76. An
// empty list confines to nothing: every path is refused.
void ConfineHostPaths(const std::vector<std::string>& folders);
// Back to no confinement.
void LiftHostPathConfinement();
bool HostPathsConfined();
// The allowed folders as resolved, for messages.
std::vector<std::string> ConfinedFolders();

// The path to open for a host path (UTF-8): unchanged without confinement;
// with it, the resolved absolute path, or AutomationError 70 (permission
// denied) when it lies outside every allowed folder, names a dangling
// symbolic link, or cannot be resolved. Nothing is read or written here.
std::string ConfinedPath(const std::string& path);

}  // namespace morvel::platform

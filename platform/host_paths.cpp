// Host path confinement: resolves a path as the kernel would (realpath) and
// compares whole path components against the allowed folders, so neither
// "..", nor a symbolic link, nor a folder whose name merely starts like an
// allowed one leads outside.
#include "platform/host_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "morvel/types.h"

namespace morvel::platform {
namespace {

struct Confinement {
  std::mutex Lock;
  std::shared_ptr<const std::vector<std::string>> Folders;  // null: not confined
};

Confinement& State() {
  static auto* state = new Confinement;  // outlives every thread that may ask
  return *state;
}

std::shared_ptr<const std::vector<std::string>> Snapshot() {
  std::lock_guard<std::mutex> lock(State().Lock);
  return State().Folders;
}

// The path with every symbolic link, "." and ".." resolved; empty when some
// component is missing or unreadable.
std::string Resolved(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string out(real);
  std::free(real);
  return out;
}

bool Inside(const std::string& path, const std::string& folder) {
  if (folder == "/") return true;
  return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

[[noreturn]] void Refuse() { throw AutomationError(errors::PermissionDenied); }

}  // namespace

void ConfineHostPaths(const std::vector<std::string>& folders) {
  auto resolved = std::make_shared<std::vector<std::string>>();
  for (const std::string& folder : folders) {
    std::string real = Resolved(folder);
    struct stat st {};
    if (real.empty() || ::stat(real.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw AutomationError(errors::PathNotFound, "Path not found: " + folder);
    resolved->push_back(std::move(real));
  }
  std::lock_guard<std::mutex> lock(State().Lock);
  State().Folders = std::move(resolved);
}

void LiftHostPathConfinement() {
  std::lock_guard<std::mutex> lock(State().Lock);
  State().Folders.reset();
}

bool HostPathsConfined() { return Snapshot() != nullptr; }

std::vector<std::string> ConfinedFolders() {
  auto folders = Snapshot();
  return folders ? *folders : std::vector<std::string>{};
}

std::string ConfinedPath(const std::string& path) {
  auto folders = Snapshot();
  if (!folders) return path;
  if (path.empty()) Refuse();
  std::string absolute = path;
  if (path[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) Refuse();
    absolute = std::string(cwd) + "/" + path;
  }
  std::string resolved = Resolved(absolute);
  if (resolved.empty()) {
    // A file about to be created: its folder must resolve inside, and its
    // own name must be a plain name that is not already a link pointing
    // nowhere (which the open would follow to wherever it points).
    size_t slash = absolute.find_last_of('/');
    std::string name = absolute.substr(slash + 1);
    struct stat st {};
    if (name.empty() || name == "." || name == ".." || ::lstat(absolute.c_str(), &st) == 0) Refuse();
    std::string folder = Resolved(slash == 0 ? "/" : absolute.substr(0, slash));
    if (folder.empty()) Refuse();
    resolved = folder == "/" ? "/" + name : folder + "/" + name;
  }
  for (const std::string& folder : *folders)
    if (Inside(resolved, folder)) return resolved;
  Refuse();
}

}  // namespace morvel::platform

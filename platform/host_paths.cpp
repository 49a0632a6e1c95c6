// Host path confinement, the same on both systems: the allowed folders and
// their snapshot, how a path is matched to the folder it leads into, what
// is refused and in what order, the errors raised, and the files of this
// process's own that pass. Each system (host_paths_port.h) opens a path
// beneath its folder, never through a link, and tells what it opened; so the
// file that is opened is the file that was checked, and everything after the
// open goes through it.
#include "platform/host_paths.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "morvel/types.h"
#include "platform/host_paths_port.h"

namespace morvel::platform {
namespace host_paths {
namespace {

// Closed with the last snapshot, so an open in flight keeps its folder
// while the confinement is replaced.
struct Folders {
  std::vector<Folder> List;
};

struct Confinement {
  std::mutex Lock;
  std::shared_ptr<const Folders> Allowed;  // null: not confined
};

Confinement& State() {
  static auto* state = new Confinement;  // outlives every thread that may ask
  return *state;
}

std::atomic<void (*)()> afterOpen{nullptr};

std::shared_ptr<const Folders> Snapshot() {
  std::lock_guard<std::mutex> lock(State().Lock);
  return State().Allowed;
}

// ".." would be resolution, which is what a link swapped in at the right
// moment turns against the check (and which Windows does by spelling alone).
void RefuseParents(const Name& spelt, const std::string& path) {
  for (size_t start = 0; start <= spelt.size();) {
    size_t end = start;
    while (end < spelt.size() && !IsSeparator(spelt[end])) ++end;
    if (end - start == 2 && spelt[start] == '.' && spelt[start + 1] == '.') Refuse(path, "names a parent folder (..)");
    start = end + 1;
  }
}

Beneath Locate(const std::string& path, const Folders& allowed) {
  if (path.empty()) Refuse();
  Name spelt = Spelt(path);
  if (spelt.empty()) Refuse();
  RefuseParents(spelt, path);
  Name root, absolute;
  std::vector<Name> parts;
  if (!TakeApart(spelt, root, parts, absolute)) Refuse();
  // The allowed folder is the first leading folder that is one, whatever
  // links led to it: only what follows it is opened beneath it.
  Name prefix = root;
  for (size_t i = 0; i <= parts.size(); ++i) {
    if (i > 0) prefix += (i > 1 ? Name(1, Separator()) : Name()) + parts[i - 1];
    FileIdentity id;
    if (!FolderIdentity(prefix, id)) break;
    for (const Folder& folder : allowed.List) {
      if (!(folder.Id == id)) continue;
      Beneath b;
      b.Root = &folder;
      b.Parts.assign(parts.begin() + static_cast<std::ptrdiff_t>(i), parts.end());
      b.Absolute = absolute;
      return b;
    }
  }
  Refuse();
}

Place Aimed(const Beneath& b) {
  Place place;
  if (!Aim(b, place)) Refuse();
  return place;
}

}  // namespace

void Refuse() { throw AutomationError(errors::PermissionDenied); }

void Refuse(const std::string& path, const std::string& why) {
  throw AutomationError(errors::PermissionDenied,
                        AutomationError::StandardDescription(errors::PermissionDenied) + ": '" + path + "' " + why);
}

void NotAFile(const std::string& path) {
  throw AutomationError(errors::PathFileAccessError, AutomationError::StandardDescription(errors::PathFileAccessError) +
                                                         ": '" + path + "' is not a regular file");
}

void RaiseFileError(Error error, const Beneath& b) { throw AutomationError(ErrorNumber(error, Utf8(b.Absolute))); }

void RaiseOpen(Error error, const Beneath& b, const Place& place, const std::string& path) {
  if (SaysLink(error) || HiddenLink(error, place)) Refuse(path, "leads through a symbolic link");
  if (RefusedAsFolder(error, place)) NotAFile(path);
  RaiseFileError(error, b);
}

// A regular file with a second hard link may be a file outside under a
// name inside, and so may one whose second link went away between the open
// and the look at it: its name must still be its one link.
Facts Judge(const Beneath& b, const Place& place, const SystemFile& file, const std::string& path) {
  Facts facts;
  if (!Examine(file, facts)) RaiseFileError(LastError(), b);
  if (facts.Link) Refuse(path, "leads through a symbolic link");
  if (!OpenedAsNamed(place, file)) Refuse(path, "leads through a symbolic link or names another file");
  if (!facts.Linkable) return facts;
  if (facts.Links > 1) Refuse(path, "has more than one hard link");
  if (!StillAlone(place, file, facts)) Refuse(path, "has more than one hard link, or had while it was opened");
  return facts;
}

void AfterOpen() {
  if (auto hook = afterOpen.load()) hook();
}

}  // namespace host_paths

using namespace host_paths;

void ConfineHostPaths(const std::vector<std::string>& folders) {
  auto allowed = std::make_shared<Folders>();
  for (const std::string& folder : folders) {
    Folder f;
    if (!HoldFolder(folder, f)) throw AutomationError(errors::PathNotFound, "Path not found: " + folder);
    allowed->List.push_back(std::move(f));
  }
  std::lock_guard<std::mutex> lock(State().Lock);
  State().Allowed = std::move(allowed);
}

void LiftHostPathConfinement() {
  std::lock_guard<std::mutex> lock(State().Lock);
  State().Allowed.reset();
}

bool HostPathsConfined() { return Snapshot() != nullptr; }

std::vector<std::string> ConfinedFolders() {
  std::vector<std::string> names;
  if (auto allowed = Snapshot())
    for (const Folder& f : allowed->List) names.push_back(f.Name);
  return names;
}

std::string ConfinedPath(const std::string& path) {
  auto allowed = Snapshot();
  if (!allowed || IsOwnFile(path)) return path;
  Beneath b = Locate(path, *allowed);
  Place place = Aimed(b);
  SystemFile named;
  Error error = 0;
  if (!OpenBeneath(b, Access::Attributes, place, named, error)) {
    if (SaysLink(error)) Refuse(path, "leads through a symbolic link");
    return Utf8(b.Absolute);  // missing or unreachable: the open gives the number
  }
  Judge(b, place, named, path);
  return Utf8(b.Absolute);
}

std::optional<FileDescriptor> OpenConfinedHostFile(const std::string& path, HostFileUse use) {
  auto allowed = Snapshot();
  if (!allowed) return std::nullopt;
  Beneath b = Locate(path, *allowed);
  Place place = Aimed(b);
  SystemFile file;
  Error error = 0;
  bool open = false;
  if (use == HostFileUse::Read) {
    open = OpenBeneath(b, Access::Read, place, file, error);
  } else {
    // An existing file is written in place, never through a link; a missing
    // one is created exclusively, and one made meanwhile is opened instead.
    for (int attempt = 0; attempt < 8 && !open; ++attempt) {
      open = OpenBeneath(b, Access::Write, place, file, error);
      if (open || !Missing(error)) break;
      open = OpenBeneath(b, Access::Create, place, file, error);
      if (!open && !Exists(error)) break;
    }
  }
  if (!open) RaiseOpen(error, b, place, path);
  AfterOpen();
  Facts facts = Judge(b, place, file, path);
  if (use != HostFileUse::Read) {
    // Only files are written: a page has no business feeding a pipe or a device.
    if (!facts.Regular) NotAFile(path);
    if (use == HostFileUse::Replace && !Truncate(file)) RaiseFileError(LastError(), b);
  }
  return Descriptor(std::move(file), use, path);
}

bool WriteConfinedHostFile(const std::string& path, const uint8_t* data, size_t size) {
  auto allowed = Snapshot();
  if (!allowed) return false;
  ReplaceWhole(Locate(path, *allowed), path, data, size);
  return true;
}

void AfterConfinedOpenForTesting(void (*hook)()) { afterOpen.store(hook); }

// Files of this process's own: a path and the descriptor kept for it.
namespace {

struct OwnFiles {
  std::mutex Lock;
  std::map<std::string, int> Descriptors;
};

OwnFiles& Registry() {
  static auto* files = new OwnFiles;  // outlives every thread that may ask
  return *files;
}

}  // namespace

void AdmitOwnFile(const std::string& path, int fd) {
  std::lock_guard<std::mutex> lock(Registry().Lock);
  Registry().Descriptors[path] = fd;
}

void WithdrawOwnFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(Registry().Lock);
  Registry().Descriptors.erase(path);
}

bool IsOwnFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(Registry().Lock);
  return Registry().Descriptors.count(path) != 0;
}

FileDescriptor OwnFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(Registry().Lock);
  auto found = Registry().Descriptors.find(path);
  return FileDescriptor::Duplicate(found == Registry().Descriptors.end() ? -1 : found->second);
}

}  // namespace morvel::platform

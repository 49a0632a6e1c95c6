// Host path confinement over the Windows file calls. A path is matched to
// the allowed folder it leads into by identity (volume serial and file
// index of each leading folder), then opened under the folder's final path
// as its kept handle tells it now, with FILE_FLAG_OPEN_REPARSE_POINT so a
// link at the end is opened as itself. What was opened is then judged on its
// handle: its final path must be the path asked for, letter for letter but
// for case, so a symbolic link or junction anywhere from the folder on
// (Windows resolves them in that name, and so does Wine for Unix links,
// which it shows as plain files) or a name swapped meanwhile is refused;
// and so is a reparse point itself or a file with a second hard link.
//
// Wine hides a dangling Unix link: opening it says "not found", a listing
// leaves it out, only an exclusive create says "exists". A name that is
// missing yet cannot be created is therefore refused as a link.
#include "platform/host_paths.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "morvel/types.h"
#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

struct Identity {
  DWORD Volume = 0;
  uint64_t Index = 0;
  bool operator==(const Identity& o) const { return Volume == o.Volume && Index == o.Index; }
};

struct Folder {
  std::string Name;  // resolved, for messages
  HANDLE Handle = INVALID_HANDLE_VALUE;
  Identity Id;
};

// Closed with the last snapshot, so an open in flight keeps its folder
// while the confinement is replaced.
struct Folders {
  std::vector<Folder> List;
  Folders() = default;
  Folders(const Folders&) = delete;
  Folders& operator=(const Folders&) = delete;
  ~Folders() {
    for (const Folder& f : List) CloseHandle(f.Handle);
  }
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
std::atomic<uint64_t> temporaryCounter{0};

std::shared_ptr<const Folders> Snapshot() {
  std::lock_guard<std::mutex> lock(State().Lock);
  return State().Allowed;
}

using win::Handle;

std::wstring Wide(const std::string& utf8) { return win::Wide(FromUtf8(utf8)); }
std::string Utf8(const std::wstring& wide) { return ToUtf8(win::FromWide(wide.c_str(), wide.size())); }

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// A name without the "\\?\" a final path carries.
std::wstring Plain(const std::wstring& name) {
  if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + name.substr(7);
  if (name.rfind(L"\\\\?\\", 0) == 0) return name.substr(4);
  return name;
}

// The name the file system gives an open file now, links resolved; empty
// when it gives none.
std::wstring FinalPath(HANDLE h) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return Plain(name);
    }
    name.resize(n + 1);
  }
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return {};
    if (n < full.size()) {
      full.resize(n);
      return full;
    }
    full.resize(n + 1);
  }
}

// Opened for its attributes only, whatever it is; a link at the end as itself.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD NoFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

HANDLE OpenForAttributes(const std::wstring& path, DWORD flags) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
}

bool InfoOf(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) { return GetFileInformationByHandle(h, &info) != 0; }

Identity IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

[[noreturn]] void Refuse() { throw AutomationError(errors::PermissionDenied); }

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
  throw AutomationError(errors::PermissionDenied,
                        AutomationError::StandardDescription(errors::PermissionDenied) + ": '" + path + "' " + why);
}

[[noreturn]] void NotAFile(const std::string& path) {
  throw AutomationError(errors::PathFileAccessError, AutomationError::StandardDescription(errors::PathFileAccessError) +
                                                         ": '" + path + "' is not a regular file");
}

// A path taken apart beneath the allowed folder it leads into.
struct Beneath {
  const Folder* Root = nullptr;
  std::vector<std::wstring> Parts;  // below Root; none for Root itself
  std::wstring Absolute;            // the whole path, for messages and error numbers
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

Beneath Locate(const std::string& path, const Folders& allowed) {
  if (path.empty()) Refuse();
  std::wstring wide = Wide(path);
  // ".." would be resolution, which GetFullPathNameW does by spelling alone
  // and a link in the right place turns against the check.
  for (size_t start = 0; start <= wide.size();) {
    size_t end = start;
    while (end < wide.size() && !IsSeparator(wide[end])) ++end;
    if (wide.compare(start, end - start, L"..") == 0) Refuse(path, "names a parent folder (..)");
    start = end + 1;
  }
  std::wstring full = FullPath(wide);
  if (full.empty()) Refuse();
  // The root: "X:\", "\\server\share\" or a device path's first two parts.
  size_t root = 0;
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') {
    root = 3;
  } else if (full.rfind(L"\\\\", 0) == 0) {
    int seen = 0;
    for (root = 2; root < full.size() && seen < 2; ++root)
      if (full[root] == L'\\') ++seen;
    if (seen < 2) Refuse();
  } else {
    Refuse();
  }
  std::vector<std::wstring> parts;
  for (size_t start = root; start < full.size();) {
    size_t end = full.find(L'\\', start);
    if (end == std::wstring::npos) end = full.size();
    if (end > start) parts.push_back(full.substr(start, end - start));
    start = end + 1;
  }
  // The allowed folder is the first leading folder that is one, whatever
  // links led to it: only what follows it is opened under its own name.
  std::wstring prefix = full.substr(0, root);
  for (size_t i = 0; i <= parts.size(); ++i) {
    if (i > 0) prefix += (i > 1 ? L"\\" : L"") + parts[i - 1];
    Handle h(OpenForAttributes(prefix, FILE_FLAG_BACKUP_SEMANTICS));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.IsOpen() || !InfoOf(h.Get(), info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) break;
    for (const Folder& folder : allowed.List) {
      if (!(folder.Id == IdOf(info))) continue;
      Beneath b;
      b.Root = &folder;
      b.Parts.assign(parts.begin() + static_cast<std::ptrdiff_t>(i), parts.end());
      b.Absolute = full;
      return b;
    }
  }
  Refuse();
}

// The path of the file beneath the folder, from the folder's name as its
// handle tells it now; `count` parts of it (all by default).
std::wstring Expected(const Beneath& b, size_t count = SIZE_MAX) {
  std::wstring name = FinalPath(b.Root->Handle);
  if (name.empty()) Refuse();
  for (size_t i = 0; i < b.Parts.size() && i < count; ++i) name += L"\\" + b.Parts[i];
  return name;
}

// Long paths pass as they are.
std::wstring ForOpen(const std::wstring& name) {
  if (name.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + name.substr(2);
  return L"\\\\?\\" + name;
}

// What an open handle holds must be the file of the expected name and no
// other: not a link, not reached through one, not linked a second time.
void Judge(HANDLE h, const std::wstring& expected, const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  if (!InfoOf(h, info)) throw AutomationError(win::FileErrorNumber(GetLastError(), path));
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) Refuse(path, "leads through a symbolic link");
  if (!SameName(FinalPath(h), expected)) Refuse(path, "leads through a symbolic link or names another file");
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
  if (info.nNumberOfLinks > 1) Refuse(path, "has more than one hard link");
  // A second link removed between the open and the look at the handle may
  // have left the file outside: the name must still be the file's, alone.
  Handle again(OpenForAttributes(ForOpen(expected), NoFollow));
  BY_HANDLE_FILE_INFORMATION named{};
  if (!again.IsOpen() || !InfoOf(again.Get(), named) || !(IdOf(named) == IdOf(info)) || named.nNumberOfLinks > 1)
    Refuse(path, "has more than one hard link, or had while it was opened");
}

// Whether a name that does not open is held by something this process does
// not see (a dangling link under Wine): an exclusive create then fails as
// if it existed. The file made to find out goes when it is closed.
bool HiddenEntry(const std::wstring& name) {
  Handle probe(CreateFileW(ForOpen(name).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (probe.IsOpen()) return false;
  DWORD error = GetLastError();
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

[[noreturn]] void RaiseOpen(DWORD error, const std::wstring& expected, const Beneath& b, const std::string& path) {
  if (error == ERROR_FILE_NOT_FOUND && HiddenEntry(expected)) Refuse(path, "leads through a symbolic link");
  if (error == ERROR_ACCESS_DENIED) {
    // A folder opened for writing is refused as a folder, as it is on Linux.
    DWORD attributes = GetFileAttributesW(ForOpen(expected).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) NotAFile(path);
  }
  throw AutomationError(win::FileErrorNumber(error, Utf8(b.Absolute)));
}

int ToDescriptor(Handle& h, int flags, const std::string& path) {
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h.Get()), flags | _O_BINARY);
  if (fd < 0) throw AutomationError(67, "Too many files: '" + path + "'");
  h.Release();
  return fd;
}

// NtSetInformationFile, which takes a rename's new name relative to a
// folder handle (SetFileInformationByHandle does not pass that on under
// Wine); FILE_RENAME_INFO and FILE_DISPOSITION_INFO have its layouts.
constexpr int FileRenameInformation = 10, FileDispositionInformation = 13;
bool SetInformation(HANDLE file, void* info, ULONG size, int kind) {
  struct IoStatus {
    union {
      LONG Status;
      void* Pointer;
    };
    ULONG_PTR Information;
  };
  using Set = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
  using ToError = ULONG(WINAPI*)(LONG);
  static const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  static const auto set =
      reinterpret_cast<Set>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtSetInformationFile")));
  static const auto toError =
      reinterpret_cast<ToError>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (set == nullptr || toError == nullptr) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  IoStatus status{};
  LONG result = set(file, &status, info, size, kind);
  if (result >= 0) return true;
  SetLastError(toError(result));
  return false;
}

// Removes a file of our own through its handle (opened with DELETE): never
// by name, which under Wine removes what a link swapped in leads to.
void Discard(Handle& file) {
  if (!file.IsOpen()) return;
  FILE_DISPOSITION_INFO dispose{TRUE};
  SetInformation(file.Get(), &dispose, sizeof dispose, FileDispositionInformation);
  file.Reset();
}

void RunHook() {
  if (auto hook = afterOpen.load()) hook();
}

}  // namespace

void ConfineHostPaths(const std::vector<std::string>& folders) {
  auto allowed = std::make_shared<Folders>();
  for (const std::string& folder : folders) {
    std::wstring full = FullPath(Wide(folder));
    // Kept open without FILE_SHARE_DELETE, so Windows lets no one rename
    // the folder while it is allowed.
    Handle h(full.empty() ? INVALID_HANDLE_VALUE
                          : CreateFileW(full.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    std::wstring name = h.IsOpen() ? FinalPath(h.Get()) : std::wstring();
    if (name.empty() || !InfoOf(h.Get(), info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      throw AutomationError(errors::PathNotFound, "Path not found: " + folder);
    Folder f;
    f.Name = Utf8(name);
    f.Id = IdOf(info);
    f.Handle = h.Release();
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
  std::wstring expected = Expected(b);
  Handle named(OpenForAttributes(ForOpen(expected), NoFollow));
  // Missing or unreachable: the open gives the number.
  if (named.IsOpen()) {
    BY_HANDLE_FILE_INFORMATION info{};
    Judge(named.Get(), expected, path, info);
  }
  return Utf8(b.Absolute);
}

std::optional<FileDescriptor> OpenConfinedHostFile(const std::string& path, HostFileUse use) {
  auto allowed = Snapshot();
  if (!allowed) return std::nullopt;
  Beneath b = Locate(path, *allowed);
  std::wstring expected = Expected(b);
  std::wstring name = ForOpen(expected);
  Handle file;
  if (use == HostFileUse::Read) {
    file = Handle(CreateFileW(name.c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING, NoFollow, nullptr));
    if (!file.IsOpen()) RaiseOpen(GetLastError(), expected, b, path);
  } else {
    // An existing file is written in place, never created through a link;
    // a missing one is created exclusively, and one made meanwhile is
    // opened instead.
    DWORD error = ERROR_FILE_NOT_FOUND;
    for (int attempt = 0; attempt < 8 && !file.IsOpen(); ++attempt) {
      file = Handle(CreateFileW(name.c_str(), GENERIC_WRITE, ShareAll, nullptr, OPEN_EXISTING, NoFollow, nullptr));
      if (file.IsOpen()) break;
      error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND) break;
      file = Handle(CreateFileW(name.c_str(), GENERIC_WRITE, ShareAll, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (file.IsOpen()) break;
      error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    if (!file.IsOpen()) {
      // Existing to a create, missing to an open, every time: a hidden link.
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) Refuse(path, "leads through a symbolic link");
      RaiseOpen(error, expected, b, path);
    }
  }
  RunHook();
  BY_HANDLE_FILE_INFORMATION info{};
  Judge(file.Get(), expected, path, info);
  if (use != HostFileUse::Read) {
    // Only files are written: a page has no business feeding a pipe or a device.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || GetFileType(file.Get()) != FILE_TYPE_DISK)
      NotAFile(path);
    if (use == HostFileUse::Replace && !SetEndOfFile(file.Get()))
      throw AutomationError(win::FileErrorNumber(GetLastError(), path));
  }
  return FileDescriptor(ToDescriptor(file, use == HostFileUse::Read ? _O_RDONLY : _O_WRONLY, path));
}

namespace {

// The holding folder, held open so that on Windows it cannot be renamed
// until the new file has taken its name in it.
void OpenHolder(Handle& holder, const std::wstring& holderName, const Beneath& b, const std::string& path) {
  holder = Handle(CreateFileW(ForOpen(holderName).c_str(), FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, NoFollow, nullptr));
  if (!holder.IsOpen()) {
    DWORD error = GetLastError();
    // Its holding folder missing is a missing path, whatever names it last.
    if (error == ERROR_FILE_NOT_FOUND && !HiddenEntry(holderName)) error = ERROR_PATH_NOT_FOUND;
    RaiseOpen(error, holderName, b, path);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  Judge(holder.Get(), holderName, path, info);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    throw AutomationError(errors::PathNotFound, "Path not found: " + path);
}

struct ClaimedName {
  bool Claimed = false;                      // an empty file made here to hold the name
  Identity Id;                               // of the file that holds the name
  DWORD Attributes = FILE_ATTRIBUTE_NORMAL;  // for the file that replaces it
};

// The file's name: the file that has it judged, or, when none has, taken by
// an empty file of our own.
ClaimedName ClaimName(const std::wstring& expected, const Beneath& b, const std::string& path) {
  ClaimedName out;
  BY_HANDLE_FILE_INFORMATION info{};
  Handle existing(OpenForAttributes(ForOpen(expected), NoFollow));
  if (!existing.IsOpen()) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) RaiseOpen(error, expected, b, path);
    // The name is taken first: an exclusive create is what tells a hidden
    // link, which the rename below would replace without a word.
    existing = Handle(CreateFileW(ForOpen(expected).c_str(), GENERIC_WRITE | DELETE, ShareAll, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (existing.IsOpen()) {
      out.Claimed = true;
    } else {
      error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) RaiseOpen(error, expected, b, path);
      existing = Handle(OpenForAttributes(ForOpen(expected), NoFollow));
      if (!existing.IsOpen()) Refuse(path, "leads through a symbolic link");
    }
  }
  RunHook();
  try {
    Judge(existing.Get(), expected, path, info);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) NotAFile(path);
  } catch (...) {
    if (out.Claimed) Discard(existing);
    throw;
  }
  out.Id = IdOf(info);
  // The attributes of a file replaced are kept, but for read-only, which
  // Windows would not let it be replaced under.
  if (!out.Claimed)
    out.Attributes = info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (out.Attributes == 0) out.Attributes = FILE_ATTRIBUTE_NORMAL;
  return out;
}

}  // namespace

bool WriteConfinedHostFile(const std::string& path, const uint8_t* data, size_t size) {
  auto allowed = Snapshot();
  if (!allowed) return false;
  Beneath b = Locate(path, *allowed);
  if (b.Parts.empty()) NotAFile(path);
  std::wstring expected = Expected(b);
  std::wstring holderName = Expected(b, b.Parts.size() - 1);
  const std::wstring& leaf = b.Parts.back();

  Handle holder;
  OpenHolder(holder, holderName, b, path);
  const ClaimedName name = ClaimName(expected, b, path);
  const bool claimed = name.Claimed;
  const Identity& claimedId = name.Id;
  const DWORD attributes = name.Attributes;
  // The name given back when nothing took it: only if it still holds the
  // empty file made for it.
  auto unclaim = [&] {
    if (!claimed) return;
    Handle again(CreateFileW(ForOpen(expected).c_str(), DELETE | FILE_READ_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING,
                             NoFollow, nullptr));
    BY_HANDLE_FILE_INFORMATION now{};
    if (again.IsOpen() && InfoOf(again.Get(), now) && IdOf(now) == claimedId && now.nFileSizeLow == 0 &&
        now.nFileSizeHigh == 0)
      Discard(again);
  };

  // A name of our own beside the file, never one that exists.
  std::wstring temporary;
  Handle file;
  for (int attempt = 0; attempt < 100 && !file.IsOpen(); ++attempt) {
    temporary = holderName + L"\\.morvel-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++temporaryCounter) + L".part";
    file = Handle(CreateFileW(ForOpen(temporary).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsOpen() && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
      DWORD error = GetLastError();
      unclaim();
      throw AutomationError(win::FileErrorNumber(error, path));
    }
  }
  auto fail = [&](DWORD error) {
    Discard(file);
    unclaim();
    throw AutomationError(win::FileErrorNumber(error, path));
  };
  if (!file.IsOpen()) fail(ERROR_FILE_EXISTS);
  // The new file must be in the folder checked, or its bytes go nowhere.
  if (!SameName(FinalPath(file.Get()), temporary)) {
    Discard(file);
    unclaim();
    Refuse(path, "leads through a symbolic link or names another file");
  }
  for (size_t done = 0; done < size;) {
    DWORD wrote = 0;
    if (!WriteFile(file.Get(), data + done, static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30)), &wrote,
                   nullptr))
      fail(GetLastError());
    done += wrote;
  }
  // Renamed through its handle, within the folder held open: whatever the
  // name holds now (a link put there meanwhile too) is replaced, never
  // followed.
  std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + leaf.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = holder.Get();
  rename->FileNameLength = static_cast<DWORD>(leaf.size() * sizeof(wchar_t));
  std::copy(leaf.begin(), leaf.end(), rename->FileName);
  if (!SetInformation(file.Get(), rename, static_cast<ULONG>(buffer.size()), FileRenameInformation)) {
    DWORD error = GetLastError();
    // Renaming over a folder is the folder's refusal, as on Linux.
    DWORD target = GetFileAttributesW(ForOpen(expected).c_str());
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      Discard(file);
      NotAFile(path);
    }
    fail(error);
  }
  if (!file.Close()) throw AutomationError(win::FileErrorNumber(GetLastError(), path));
  return true;
}

// Windows has one way of following a path beneath its folder.
void ResolveBeneathBy(BeneathResolution) {}

void AfterConfinedOpenForTesting(void (*hook)()) { afterOpen.store(hook); }

}  // namespace morvel::platform

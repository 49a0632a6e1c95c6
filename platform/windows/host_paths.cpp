// Host path confinement over the Windows file calls (host_paths_port.h). A
// file is who its volume serial and file index say. A path is opened under
// its allowed folder's final path as the folder's kept handle tells it now,
// with FILE_FLAG_OPEN_REPARSE_POINT so a link at the end is opened as
// itself; the final path of what was opened must then be the path asked
// for, letter for letter but for case, so a symbolic link or junction
// anywhere from the folder on (Windows resolves them in that name, and so
// does Wine for Unix links, which it shows as plain files) or a name
// swapped meanwhile is refused.
//
// Wine hides a dangling Unix link: opening it says "not found", a listing
// leaves it out, only an exclusive create says "exists". A name that is
// missing yet cannot be created is therefore refused as a link.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>

#include "morvel/types.h"
#include "platform/host_paths.h"
#include "platform/host_paths_port.h"
#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace host_paths {

void SystemFile::Reset() noexcept {
  if (IsOpen()) CloseHandle(handle_);
  handle_ = None();
}

namespace {

using win::Handle;

std::atomic<uint64_t> temporaryCounter{0};

std::wstring Wide(const std::string& utf8) { return win::Wide(FromUtf8(utf8)); }

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

FileIdentity IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// Long paths pass as they are.
std::wstring ForOpen(const std::wstring& name) {
  if (name.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + name.substr(2);
  return L"\\\\?\\" + name;
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

HANDLE Of(const SystemFile& file) { return static_cast<HANDLE>(file.Get()); }

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

// The holding folder, held open so that on Windows it cannot be renamed
// until the new file has taken its name in it.
Handle OpenHolder(const Place& holder, const Beneath& b, const std::string& path) {
  SystemFile folder(CreateFileW(ForOpen(holder.Expected).c_str(),
                                FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, NoFollow, nullptr));
  if (!folder.IsOpen()) {
    DWORD error = GetLastError();
    // Its holding folder missing is a missing path, whatever names it last.
    if (error == ERROR_FILE_NOT_FOUND && !HiddenEntry(holder.Expected)) error = ERROR_PATH_NOT_FOUND;
    RaiseOpen(error, b, holder, path);
  }
  if (!Judge(b, holder, folder, path).Folder) throw AutomationError(errors::PathNotFound, "Path not found: " + path);
  return Handle(static_cast<HANDLE>(folder.Release()));
}

struct ClaimedName {
  bool Claimed = false;                      // an empty file made here to hold the name
  FileIdentity Id;                           // of the file that holds the name
  DWORD Attributes = FILE_ATTRIBUTE_NORMAL;  // for the file that replaces it
};

// The file's name: the file that has it judged, or, when none has, taken by
// an empty file of our own.
ClaimedName ClaimName(const Place& place, const Beneath& b, const std::string& path) {
  ClaimedName out;
  const std::wstring name = ForOpen(place.Expected);
  SystemFile existing(OpenForAttributes(name, NoFollow));
  if (!existing.IsOpen()) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) RaiseOpen(error, b, place, path);
    // The name is taken first: an exclusive create is what tells a hidden
    // link, which the rename below would replace without a word.
    existing = SystemFile(CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, ShareAll, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (existing.IsOpen()) {
      out.Claimed = true;
    } else {
      error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) RaiseOpen(error, b, place, path);
      existing = SystemFile(OpenForAttributes(name, NoFollow));
      if (!existing.IsOpen()) Refuse(path, "leads through a symbolic link");
    }
  }
  AfterOpen();
  Facts facts;
  try {
    facts = Judge(b, place, existing, path);
    if (facts.Folder) NotAFile(path);
  } catch (...) {
    if (out.Claimed) {
      Handle claimed(static_cast<HANDLE>(existing.Release()));
      Discard(claimed);
    }
    throw;
  }
  out.Id = facts.Id;
  // The attributes of a file replaced are kept, but for read-only, which
  // Windows would not let it be replaced under.
  if (!out.Claimed)
    out.Attributes = facts.Keep & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (out.Attributes == 0) out.Attributes = FILE_ATTRIBUTE_NORMAL;
  return out;
}

}  // namespace

bool HoldFolder(const std::string& folder, Folder& out) {
  std::wstring full = FullPath(Wide(folder));
  // Kept open without FILE_SHARE_DELETE, so Windows lets no one rename
  // the folder while it is allowed.
  Handle h(full.empty() ? INVALID_HANDLE_VALUE
                        : CreateFileW(full.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  std::wstring name = h.IsOpen() ? FinalPath(h.Get()) : std::wstring();
  if (name.empty() || !InfoOf(h.Get(), info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  out.Name = Utf8(name);
  out.Id = IdOf(info);
  out.Handle = SystemFile(h.Release());
  return true;
}

Name Spelt(const std::string& path) { return Wide(path); }

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
wchar_t Separator() { return '\\'; }

bool TakeApart(const Name& spelt, Name& root, std::vector<Name>& parts, Name& absolute) {
  std::wstring full = FullPath(spelt);
  if (full.empty()) return false;
  // The root: "X:\", "\\server\share\" or a device path's first two parts.
  size_t end = 0;
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') {
    end = 3;
  } else if (full.rfind(L"\\\\", 0) == 0) {
    int seen = 0;
    for (end = 2; end < full.size() && seen < 2; ++end)
      if (full[end] == L'\\') ++seen;
    if (seen < 2) return false;
  } else {
    return false;
  }
  for (size_t start = end; start < full.size();) {
    size_t stop = full.find(L'\\', start);
    if (stop == std::wstring::npos) stop = full.size();
    if (stop > start) parts.push_back(full.substr(start, stop - start));
    start = stop + 1;
  }
  root = full.substr(0, end);
  absolute = full;
  return true;
}

bool FolderIdentity(const Name& path, FileIdentity& id) {
  Handle h(OpenForAttributes(path, FILE_FLAG_BACKUP_SEMANTICS));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!h.IsOpen() || !InfoOf(h.Get(), info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  id = IdOf(info);
  return true;
}

std::string Utf8(const Name& name) { return ToUtf8(win::FromWide(name.c_str(), name.size())); }

// The path of the file beneath the folder, from the folder's name as its
// handle tells it now.
bool Aim(const Beneath& b, Place& place) {
  place.Expected = FinalPath(Of(b.Root->Handle));
  if (place.Expected.empty()) return false;
  for (const std::wstring& part : b.Parts) place.Expected += L"\\" + part;
  return true;
}

bool OpenBeneath(const Beneath&, Access how, Place& place, SystemFile& file, Error& error) {
  const std::wstring name = ForOpen(place.Expected);
  switch (how) {
    case Access::Attributes: file = SystemFile(OpenForAttributes(name, NoFollow)); break;
    case Access::Read:
      file = SystemFile(CreateFileW(name.c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING, NoFollow, nullptr));
      break;
    case Access::Write:
      file = SystemFile(CreateFileW(name.c_str(), GENERIC_WRITE, ShareAll, nullptr, OPEN_EXISTING, NoFollow, nullptr));
      break;
    case Access::Create:
      file = SystemFile(CreateFileW(name.c_str(), GENERIC_WRITE, ShareAll, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      break;
  }
  if (file.IsOpen()) return true;
  error = GetLastError();
  return false;
}

bool Examine(const SystemFile& file, Facts& facts) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!InfoOf(Of(file), info)) return false;
  facts.Id = IdOf(info);
  facts.Link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  facts.Folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.Linkable = !facts.Folder;
  facts.Regular = !facts.Folder && GetFileType(Of(file)) == FILE_TYPE_DISK;
  facts.Links = info.nNumberOfLinks;
  facts.Keep = info.dwFileAttributes;
  return true;
}

bool OpenedAsNamed(const Place& place, const SystemFile& file) { return SameName(FinalPath(Of(file)), place.Expected); }

// A second link removed between the open and the look at the handle may
// have left the file outside: the name must still be the file's, alone.
bool StillAlone(const Place& place, const SystemFile&, const Facts& facts) {
  Handle again(OpenForAttributes(ForOpen(place.Expected), NoFollow));
  BY_HANDLE_FILE_INFORMATION named{};
  return again.IsOpen() && InfoOf(again.Get(), named) && IdOf(named) == facts.Id && named.nNumberOfLinks <= 1;
}

Error LastError() { return GetLastError(); }
bool Missing(Error error) { return error == ERROR_FILE_NOT_FOUND; }
bool Exists(Error error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }
bool SaysLink(Error) { return false; }

// Existing to a create yet missing to an open, or missing to an open yet
// existing to a create.
bool HiddenLink(Error error, const Place& place) {
  return Exists(error) || (error == ERROR_FILE_NOT_FOUND && HiddenEntry(place.Expected));
}

// A folder opened for writing is refused as a folder, as it is on Linux.
bool RefusedAsFolder(Error error, const Place& place) {
  if (error != ERROR_ACCESS_DENIED) return false;
  DWORD attributes = GetFileAttributesW(ForOpen(place.Expected).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int ErrorNumber(Error error, const std::string& absolute) { return win::FileErrorNumber(error, absolute); }
bool Truncate(const SystemFile& file) { return SetEndOfFile(Of(file)) != 0; }

FileDescriptor Descriptor(SystemFile file, HostFileUse use, const std::string& path) {
  int flags = use == HostFileUse::Read ? _O_RDONLY : _O_WRONLY;
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), flags | _O_BINARY);
  if (fd < 0) throw AutomationError(67, "Too many files: '" + path + "'");
  file.Release();
  return FileDescriptor(fd);
}

void ReplaceWhole(const Beneath& b, const std::string& path, const uint8_t* data, size_t size) {
  if (b.Parts.empty()) NotAFile(path);
  Place place;
  if (!Aim(b, place)) Refuse();
  const std::wstring& expected = place.Expected;
  const std::wstring& leaf = b.Parts.back();
  Place holderPlace{expected.substr(0, expected.size() - leaf.size() - 1)};
  const std::wstring& holderName = holderPlace.Expected;

  Handle holder = OpenHolder(holderPlace, b, path);
  const ClaimedName name = ClaimName(place, b, path);
  // The name given back when nothing took it: only if it still holds the
  // empty file made for it.
  auto unclaim = [&] {
    if (!name.Claimed) return;
    Handle again(CreateFileW(ForOpen(expected).c_str(), DELETE | FILE_READ_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING,
                             NoFollow, nullptr));
    BY_HANDLE_FILE_INFORMATION now{};
    if (again.IsOpen() && InfoOf(again.Get(), now) && IdOf(now) == name.Id && now.nFileSizeLow == 0 &&
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
                              name.Attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsOpen() && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
      DWORD error = GetLastError();
      unclaim();
      RaiseFileError(error, b);
    }
  }
  auto fail = [&](DWORD error) {
    Discard(file);
    unclaim();
    RaiseFileError(error, b);
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
  if (!file.Close()) RaiseFileError(GetLastError(), b);
}

}  // namespace host_paths

// Windows has one way of following a path beneath its folder.
void ResolveBeneathBy(BeneathResolution) {}

}  // namespace morvel::platform

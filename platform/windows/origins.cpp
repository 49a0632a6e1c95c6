// Where the allowed origins live on Windows: the user's file under
// %APPDATA%, the machine's in the registry, where an administrator, a group
// policy or the installer (its ALLOWEDORIGINS property) writes them.
#include <algorithm>

#include "platform/origins.h"
#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

constexpr wchar_t MachineKey[] = L"Software\\Morvel";
constexpr wchar_t MachineValue[] = L"AllowedOrigins";

// The value in one registry view; text and multi-text alike, as one text.
std::string MachineValueIn(REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MachineKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return {};
  DWORD type = 0, bytes = 0;
  std::wstring text;
  if (RegQueryValueExW(key, MachineValue, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) && bytes > 0 && bytes < (1u << 20)) {
    text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, MachineValue, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
        ERROR_SUCCESS)
      text.clear();
    text.resize(std::min<size_t>(text.size(), bytes / sizeof(wchar_t)));
    for (wchar_t& c : text)
      if (c == L'\0') c = L'\n';  // the separators of multi-text
  }
  RegCloseKey(key);
  return ToUtf8(win::FromWide(text.data(), text.size()));
}

}  // namespace

std::string UserOriginFile() {
  std::string appData = win::Environment("APPDATA");
  return (appData.empty() ? std::string(".") : appData) + "\\Morvel\\allowed-origins";
}

std::string MachineOriginsPlace() {
  std::string file = win::Environment("MORVEL_MACHINE_ORIGINS");
  return file.empty() ? "HKLM\\Software\\Morvel, value AllowedOrigins" : file;
}

std::vector<std::string> MachineOrigins() {
  std::string file = win::Environment("MORVEL_MACHINE_ORIGINS");
  if (!file.empty()) return ReadOriginFile(file);
  // Both views: a 32-bit installer writes under WOW6432Node, a 64-bit one
  // (and an administrator's regedit) in the 64-bit view; either counts for
  // the control of either architecture and for the bridge.
  std::vector<std::string> all = SplitOrigins(MachineValueIn(KEY_WOW64_64KEY));
  for (std::string& o : SplitOrigins(MachineValueIn(KEY_WOW64_32KEY))) all.push_back(std::move(o));
  return all;
}

}  // namespace morvel::platform

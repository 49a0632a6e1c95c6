// The Windows adapter of peer_user.h: the TCP table with each connection's
// owning process (GetExtendedTcpTable), and that process's token user, a
// SID. Under Wine every prefix runs as one made-up account
// (S-1-5-21-0-0-0-1000) whatever the Unix user, and Wine's table names no
// owning process, so there the account that tells users apart is the
// host's: the Unix uid, read from the host's own socket tables through
// Wine's view of the host's files.
#include "platform/peer_user.h"

#include <iphlpapi.h>
#include <sddl.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <vector>

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

bool UnderWine() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// A host file of Wine's, whole. Files of /proc report no size, so it is
// read to its end.
std::string ReadHostFile(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  std::string text;
  char buffer[16384];
  DWORD got = 0;
  while (text.size() < (64u << 20) && ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0)
    text.append(buffer, got);
  CloseHandle(file);
  return text;
}

std::string HostSocketTable(bool v6) {
  return ReadHostFile(v6 ? L"\\\\?\\unix\\proc\\net\\tcp6" : L"\\\\?\\unix\\proc\\net\\tcp");
}

// The effective uid of the host processes this prefix runs as. /proc/self
// is the opener's, Wine's server process, which runs as the same user as
// every process of the prefix (it refuses a prefix of another user).
std::optional<UserId> HostUser() {
  std::string status = ReadHostFile(L"\\\\?\\unix\\proc\\self\\status");
  size_t at = status.find("\nUid:");
  if (at == std::string::npos) return std::nullopt;
  unsigned long real = 0, effective = 0;
  if (sscanf(status.c_str() + at + 5, "%lu %lu", &real, &effective) != 2) return std::nullopt;
  return UserId{std::to_string(effective)};
}

using win::Handle;

std::optional<UserId> TokenUser(HANDLE process) {
  Handle token;
  if (!OpenProcessToken(process, TOKEN_QUERY, token.Out())) return std::nullopt;
  DWORD size = 0;
  GetTokenInformation(token.Get(), ::TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size != 0 ? size : 1);
  if (!GetTokenInformation(token.Get(), ::TokenUser, buffer.data(), size, &size)) return std::nullopt;
  char* text = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return std::nullopt;
  UserId user{text};
  LocalFree(text);
  return user;
}

std::optional<UserId> ProcessUser(DWORD pid) {
  if (pid == 0 || pid == 4) return std::nullopt;  // the idle and system processes own no user's socket
  Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process.IsOpen()) return std::nullopt;  // another user's, or gone
  return TokenUser(process.Get());
}

std::string ProcessName(DWORD pid) {
  Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process.IsOpen()) return "";
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!QueryFullProcessImageNameW(process.Get(), 0, path, &size)) return "";
  std::wstring full(path, size);
  std::wstring base = full.substr(full.find_last_of(L"\\/") == std::wstring::npos ? 0 : full.find_last_of(L"\\/") + 1);
  int n = WideCharToMultiByte(CP_UTF8, 0, base.data(), static_cast<int>(base.size()), nullptr, 0, nullptr, nullptr);
  std::string name(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, base.data(), static_cast<int>(base.size()), name.data(), n, nullptr, nullptr);
  return name;
}

uint16_t PortOf(DWORD networkOrder) { return ntohs(static_cast<u_short>(networkOrder)); }

// Each row of the table of one family, as (local, remote, listening, pid).
template <typename Visit>
void ForEachConnection(bool v6, TCP_TABLE_CLASS kind, Visit visit) {
  ULONG size = 0;
  std::vector<unsigned char> buffer;
  DWORD rc = ERROR_INSUFFICIENT_BUFFER;
  for (int tries = 0; rc == ERROR_INSUFFICIENT_BUFFER && tries < 4; ++tries) {
    buffer.resize(size + 4096);  // the table may grow between the two calls
    size = static_cast<ULONG>(buffer.size());
    rc = GetExtendedTcpTable(buffer.data(), &size, FALSE, v6 ? AF_INET6 : AF_INET, kind, 0);
  }
  if (rc != NO_ERROR) return;
  if (v6) {
    const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      const MIB_TCP6ROW_OWNER_PID& row = table->table[i];
      std::array<uint8_t, 16> local{}, remote{};
      std::memcpy(local.data(), row.ucLocalAddr, 16);
      std::memcpy(remote.data(), row.ucRemoteAddr, 16);
      if (visit(TcpEndpoint::V6Address(local, PortOf(row.dwLocalPort)),
                TcpEndpoint::V6Address(remote, PortOf(row.dwRemotePort)), row.dwState == MIB_TCP_STATE_LISTEN,
                row.dwOwningPid))
        return;
    }
  } else {
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      const MIB_TCPROW_OWNER_PID& row = table->table[i];
      std::array<uint8_t, 4> local{}, remote{};
      std::memcpy(local.data(), &row.dwLocalAddr, 4);  // network order, as the bytes of the address
      std::memcpy(remote.data(), &row.dwRemoteAddr, 4);
      if (visit(TcpEndpoint::V4(local, PortOf(row.dwLocalPort)), TcpEndpoint::V4(remote, PortOf(row.dwRemotePort)),
                row.dwState == MIB_TCP_STATE_LISTEN, row.dwOwningPid))
        return;
    }
  }
}

}  // namespace

UserId CurrentUser() {
  if (UnderWine())
    if (std::optional<UserId> host = HostUser()) return *host;
  if (std::optional<UserId> user = TokenUser(GetCurrentProcess())) return *user;
  return UserId{"S-0-0"};  // no token to read: a SID no connection's owner has
}

std::optional<UserId> UserNamed(const std::string& name) {
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use{};
  LookupAccountNameA(nullptr, name.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
  if (sidSize == 0) return std::nullopt;
  std::vector<unsigned char> sid(sidSize);
  std::vector<char> domain(domainSize != 0 ? domainSize : 1);
  if (!LookupAccountNameA(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use))
    return std::nullopt;
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid.data(), &text)) return std::nullopt;
  UserId user{text};
  LocalFree(text);
  return user;
}

std::optional<UserId> LoopbackPeerUser(const TcpEndpoint& server, const TcpEndpoint& client) {
  if (UnderWine()) return detail::PeerUserInSocketTables(HostSocketTable, server, client);
  if (server.V6 != client.V6) return std::nullopt;
  std::optional<DWORD> owner;
  ForEachConnection(client.V6, TCP_TABLE_OWNER_PID_CONNECTIONS,
                    [&](const TcpEndpoint& local, const TcpEndpoint& remote, bool, DWORD pid) {
                      if (local == client && remote == server) owner = pid;
                      return owner.has_value();
                    });
  if (!owner) return std::nullopt;
  return ProcessUser(*owner);
}

std::string ListenerHolder(const TcpEndpoint& local) {
  if (UnderWine()) {
    std::optional<detail::SocketRow> row = detail::ListenerInSocketTables(HostSocketTable, local);
    return row ? "a process of uid " + row->Uid : "";
  }
  std::optional<DWORD> holder;
  ForEachConnection(local.V6, TCP_TABLE_OWNER_PID_LISTENER,
                    [&](const TcpEndpoint& at, const TcpEndpoint&, bool listening, DWORD pid) {
                      if (listening && at.Port == local.Port && (at == local || at.Wildcard())) holder = pid;
                      return holder.has_value();
                    });
  if (!holder) return "";
  std::optional<UserId> user = ProcessUser(*holder);
  std::string name = ProcessName(*holder);
  std::string who = user ? user->Text() : "another user";
  return "process " + std::to_string(*holder) + " (" + (name.empty() ? "" : name + ", ") + who + ")";
}

}  // namespace morvel::platform

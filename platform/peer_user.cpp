// What both systems share of peer_user.h: endpoints and users as messages
// name them, and the socket tables in the text Linux writes them in
// (/proc/net/tcp and tcp6), which Linux reads directly and Windows programs
// under Wine read through Wine's view of the host's files.
#include "platform/peer_user.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <sys/socket.h>
#endif

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace morvel::platform {

TcpEndpoint TcpEndpoint::V4(const std::array<uint8_t, 4>& address, uint16_t port) {
  TcpEndpoint e;
  std::memcpy(e.Address.data(), address.data(), 4);
  e.Port = port;
  return e;
}

TcpEndpoint TcpEndpoint::V6Address(const std::array<uint8_t, 16>& address, uint16_t port) {
  TcpEndpoint e;
  e.V6 = true;
  e.Address = address;
  e.Port = port;
  return e;
}

std::string TcpEndpoint::Text() const {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(V6 ? AF_INET6 : AF_INET, Address.data(), text, sizeof text);
  return V6 ? "[" + std::string(text) + "]:" + std::to_string(Port) : std::string(text) + ":" + std::to_string(Port);
}

bool TcpEndpoint::Wildcard() const {
  for (size_t i = 0; i < (V6 ? 16u : 4u); ++i)
    if (Address[i] != 0) return false;
  return true;
}

// A Windows account is a SID ("S-1-5-21-..."), a Unix one a number.
std::string UserId::Text() const { return (Value.rfind("S-", 0) == 0 ? "user " : "uid ") + Value; }

namespace detail {
namespace {

// "0100007F:1F90": the address as the kernel's 32-bit words in the host's
// byte order (little-endian on every machine this runs on), the port in hex.
bool ParseProcEndpoint(const std::string& text, bool v6, TcpEndpoint& out) {
  size_t colon = text.find(':');
  size_t words = v6 ? 4 : 1;
  if (colon != words * 8) return false;
  out = TcpEndpoint{};
  out.V6 = v6;
  for (size_t i = 0; i < words; ++i) {
    char* end = nullptr;
    std::string word = text.substr(i * 8, 8);
    uint32_t v = static_cast<uint32_t>(std::strtoul(word.c_str(), &end, 16));
    if (*end != '\0') return false;
    std::memcpy(out.Address.data() + i * 4, &v, 4);
  }
  char* end = nullptr;
  out.Port = static_cast<uint16_t>(std::strtoul(text.c_str() + colon + 1, &end, 16));
  return *end == '\0';
}

// An IPv4 endpoint as an IPv6 socket that reached it sees it: ::ffff:a.b.c.d.
TcpEndpoint Mapped(const TcpEndpoint& e) {
  TcpEndpoint m;
  m.V6 = true;
  m.Address[10] = m.Address[11] = 0xff;
  std::memcpy(m.Address.data() + 12, e.Address.data(), 4);
  m.Port = e.Port;
  return m;
}

constexpr int TcpListen = 10;  // TCP_LISTEN in the kernel's numbering

}  // namespace

std::vector<SocketRow> ParseSocketTable(std::string_view table, bool v6) {
  std::vector<SocketRow> rows;
  std::istringstream in{std::string(table)};
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode))
      continue;
    SocketRow row;
    if (!ParseProcEndpoint(local, v6, row.Local) || !ParseProcEndpoint(remote, v6, row.Remote)) continue;
    row.Listening = std::strtol(state.c_str(), nullptr, 16) == TcpListen;
    row.Uid = uid;
    row.Inode = inode;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<UserId> PeerUserInSocketTables(const SocketTableReader& read, const TcpEndpoint& server,
                                             const TcpEndpoint& client) {
  if (server.V6 != client.V6) return std::nullopt;
  auto find = [&](bool v6, const TcpEndpoint& local, const TcpEndpoint& remote) -> std::optional<UserId> {
    for (const SocketRow& row : ParseSocketTable(read(v6), v6))
      if (row.Local == local && row.Remote == remote && !row.Listening) return UserId{row.Uid};
    return std::nullopt;
  };
  if (auto user = find(client.V6, client, server)) return user;
  if (!client.V6) return find(true, Mapped(client), Mapped(server));
  return std::nullopt;
}

std::optional<SocketRow> ListenerInSocketTables(const SocketTableReader& read, const TcpEndpoint& local) {
  auto look = [&](bool v6, const TcpEndpoint& want) -> std::optional<SocketRow> {
    for (SocketRow& row : ParseSocketTable(read(v6), v6))
      if (row.Listening && row.Local.Port == want.Port && (row.Local == want || row.Local.Wildcard())) return row;
    return std::nullopt;
  };
  if (auto row = look(local.V6, local)) return row;
  if (!local.V6) return look(true, Mapped(local));  // [::]:P without v6only holds 127.0.0.1:P too
  return std::nullopt;
}

}  // namespace detail
}  // namespace morvel::platform

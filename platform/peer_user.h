// Who is on the other end of a loopback TCP connection. Loopback is shared
// by every account on the machine, so a service that acts with its user's
// rights (the web bridge) must tell its own user's clients from everyone
// else's before it answers them. The lookup is the operating system's: the
// socket table on Linux; on Windows the owning process of the connection
// and its token's user (under Wine, whose accounts are one made-up SID for
// every Unix user, the host's socket table and uid).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvel::platform {

// One end of a TCP connection: an IPv4 address in the first four bytes, or
// an IPv6 address in all sixteen.
struct TcpEndpoint {
  bool V6 = false;
  std::array<uint8_t, 16> Address{};
  uint16_t Port = 0;

  static TcpEndpoint V4(const std::array<uint8_t, 4>& address, uint16_t port);
  static TcpEndpoint V6Address(const std::array<uint8_t, 16>& address, uint16_t port);
  bool operator==(const TcpEndpoint&) const = default;
  // 0.0.0.0 or ::, which a listener binds for every address of its family.
  bool Wildcard() const;
  // 127.0.0.1:8632, [::1]:8632
  std::string Text() const;
};

// A user account as the system names it: a uid on Linux, a SID on Windows.
struct UserId {
  std::string Value;
  bool operator==(const UserId&) const = default;
  // For messages: "uid 1000".
  std::string Text() const;
};

// The account this process runs as.
UserId CurrentUser();
// The account of a user name ("lp"); none when the system has no such user.
std::optional<UserId> UserNamed(const std::string& name);

// The account that owns the socket at `client` whose connection runs to
// `server` on this machine (the client end as the server sees it: the
// accepted socket's remote and local endpoints). None when no such
// connection is found, which a caller serving only its own user treats as
// "someone else".
std::optional<UserId> LoopbackPeerUser(const TcpEndpoint& server, const TcpEndpoint& client);

// Who holds a listening TCP socket on `local` or on the wildcard address of
// its family and port, for an error message: "process 1234 (python3, uid
// 1000)", "a process of uid 1000" when the process cannot be seen, or "" when
// nothing is found.
std::string ListenerHolder(const TcpEndpoint& local);

namespace detail {
// One row of a socket table as Linux writes it (/proc/net/tcp, tcp6).
struct SocketRow {
  TcpEndpoint Local, Remote;
  bool Listening = false;
  std::string Uid;
  std::string Inode;
};
std::vector<SocketRow> ParseSocketTable(std::string_view table, bool v6);
// The text of the tcp6 table when asked for true, of tcp otherwise.
using SocketTableReader = std::function<std::string(bool v6)>;
// The uid of the client's socket of the connection, looked up in the
// tables (an IPv4 client also as the IPv4-mapped address of tcp6).
std::optional<UserId> PeerUserInSocketTables(const SocketTableReader& read, const TcpEndpoint& server,
                                             const TcpEndpoint& client);
// The listening socket on `local` or its family's wildcard address.
std::optional<SocketRow> ListenerInSocketTables(const SocketTableReader& read, const TcpEndpoint& local);

// The two ways the Linux adapter looks: the kernel's socket diagnostics
// (netlink), and /proc/net/tcp and tcp6 where netlink is not available.
std::optional<UserId> PeerUserFromSockDiag(const TcpEndpoint& server, const TcpEndpoint& client);
std::optional<UserId> PeerUserFromProcNet(const TcpEndpoint& server, const TcpEndpoint& client);
}  // namespace detail

}  // namespace morvel::platform

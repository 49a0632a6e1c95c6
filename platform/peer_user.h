// Who is on the other end of a loopback TCP connection. Loopback is shared
// by every account on the machine, so a service that acts with its user's
// rights (the web bridge) must tell its own user's clients from everyone
// else's before it answers them. The lookup is the operating system's: the
// socket table on Linux; on Windows the owning process of the connection.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

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
// The two ways the Linux adapter looks: the kernel's socket diagnostics
// (netlink), and /proc/net/tcp and tcp6 where netlink is not available.
std::optional<UserId> PeerUserFromSockDiag(const TcpEndpoint& server, const TcpEndpoint& client);
std::optional<UserId> PeerUserFromProcNet(const TcpEndpoint& server, const TcpEndpoint& client);
}  // namespace detail

}  // namespace morvel::platform

// The owner of a loopback connection's client end, over real sockets: both
// lookups, IPv4 and IPv6, and the holder of a listening port. (That the
// client's end is the one found, not the server's, takes two users: the
// bridge's test does it as root.)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/peer_user.h"

namespace {

using morvel::platform::TcpEndpoint;
using morvel::platform::UserId;

TcpEndpoint EndpointOf(const sockaddr_storage& s) {
  if (s.ss_family == AF_INET6) {
    auto& a = reinterpret_cast<const sockaddr_in6&>(s);
    std::array<uint8_t, 16> bytes;
    std::memcpy(bytes.data(), &a.sin6_addr, 16);
    return TcpEndpoint::V6Address(bytes, ntohs(a.sin6_port));
  }
  auto& a = reinterpret_cast<const sockaddr_in&>(s);
  std::array<uint8_t, 4> bytes;
  std::memcpy(bytes.data(), &a.sin_addr, 4);
  return TcpEndpoint::V4(bytes, ntohs(a.sin_port));
}

// A listener, a client connected to it and the accepted socket.
struct Connection {
  int Listener = -1, Client = -1, Accepted = -1;
  TcpEndpoint ServerEnd, ClientEnd, ListenEnd;

  explicit Connection(bool v6) {
    int family = v6 ? AF_INET6 : AF_INET;
    sockaddr_storage address{};
    socklen_t size;
    if (v6) {
      auto& a = reinterpret_cast<sockaddr_in6&>(address);
      a.sin6_family = AF_INET6;
      a.sin6_addr = in6addr_loopback;
      size = sizeof a;
    } else {
      auto& a = reinterpret_cast<sockaddr_in&>(address);
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      size = sizeof a;
    }
    Listener = socket(family, SOCK_STREAM, 0);
    if (Listener < 0 || bind(Listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(Listener, 4) != 0)
      return;
    socklen_t got = sizeof address;
    getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &got);
    ListenEnd = EndpointOf(address);
    Client = socket(family, SOCK_STREAM, 0);
    if (connect(Client, reinterpret_cast<sockaddr*>(&address), got) != 0) return;
    Accepted = accept(Listener, nullptr, nullptr);
    sockaddr_storage local{}, remote{};
    socklen_t n = sizeof local;
    getsockname(Accepted, reinterpret_cast<sockaddr*>(&local), &n);
    n = sizeof remote;
    getpeername(Accepted, reinterpret_cast<sockaddr*>(&remote), &n);
    ServerEnd = EndpointOf(local);
    ClientEnd = EndpointOf(remote);
  }
  ~Connection() {
    for (int fd : {Listener, Client, Accepted})
      if (fd >= 0) close(fd);
  }
  bool Ready() const { return Accepted >= 0; }
};

TEST(PeerUser, OwnerOfTheClientEnd) {
  using Lookup = std::function<std::optional<UserId>(const TcpEndpoint&, const TcpEndpoint&)>;
  struct {
    const char* Name;
    Lookup Find;
  } lookups[] = {
      {"sock_diag", morvel::platform::detail::PeerUserFromSockDiag},
      {"/proc/net", morvel::platform::detail::PeerUserFromProcNet},
      {"either", morvel::platform::LoopbackPeerUser},
  };
  UserId me{std::to_string(geteuid())};
  EXPECT_EQ(morvel::platform::CurrentUser(), me);
  for (bool v6 : {false, true}) {
    Connection c(v6);
    if (!c.Ready()) {
      EXPECT_TRUE(v6) << "no IPv4 loopback connection";
      continue;
    }
    EXPECT_EQ(c.ServerEnd.Text(), (v6 ? "[::1]:" : "127.0.0.1:") + std::to_string(c.ListenEnd.Port));
    TcpEndpoint nobody = c.ClientEnd;
    nobody.Port = static_cast<uint16_t>(nobody.Port == 1 ? 2 : 1);
    for (auto& l : lookups) {
      EXPECT_EQ(l.Find(c.ServerEnd, c.ClientEnd), me) << l.Name << (v6 ? " v6" : " v4");
      EXPECT_EQ(l.Find(c.ServerEnd, nobody), std::nullopt) << l.Name << (v6 ? " v6" : " v4");
    }
  }
}

TEST(PeerUser, HolderOfAListeningPort) {
  Connection c(false);
  ASSERT_TRUE(c.Ready());
  std::string comm;
  {
    char name[64] = {};
    FILE* f = fopen("/proc/self/comm", "r");
    ASSERT_NE(f, nullptr);
    if (fgets(name, sizeof name, f) != nullptr) comm = name;
    fclose(f);
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
  }
  EXPECT_EQ(morvel::platform::ListenerHolder(c.ListenEnd),
            "process " + std::to_string(getpid()) + " (" + comm + ", uid " + std::to_string(geteuid()) + ")");
  TcpEndpoint free = c.ListenEnd;
  close(c.Listener);
  c.Listener = -1;
  EXPECT_EQ(morvel::platform::ListenerHolder(free), "");
}

// Accounts by name, as the system's user database has them.
TEST(PeerUser, AccountsByName) {
  const struct {
    const char* Name;
    std::optional<UserId> Account;
  } cases[] = {
      {"root", UserId{"0"}},
      {"no-such-user-of-morvel", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(morvel::platform::UserNamed(c.Name), c.Account) << c.Name;
}

}  // namespace

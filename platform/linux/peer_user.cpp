// The Linux adapter of peer_user.h: the kernel's socket diagnostics over
// netlink (an exact lookup by the connection's two endpoints), with
// /proc/net/tcp and tcp6 where netlink is not there (some containers). A
// Windows adapter would ask GetExtendedTcpTable for the owning process.
#include "platform/peer_user.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

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

std::string UserId::Text() const { return "uid " + Value; }

UserId CurrentUser() { return {std::to_string(geteuid())}; }

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

size_t AddressBytes(const TcpEndpoint& e) { return e.V6 ? 16 : 4; }

// One row of /proc/net/tcp or tcp6.
struct ProcRow {
  TcpEndpoint Local, Remote;
  int State = 0;
  std::string Uid;
  std::string Inode;
};

// "0100007F:1F90": the address as the kernel's 32-bit words in this
// machine's byte order, the port in hex.
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

std::vector<ProcRow> ReadProcNet(bool v6) {
  std::vector<ProcRow> rows;
  std::ifstream in(v6 ? "/proc/net/tcp6" : "/proc/net/tcp");
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode))
      continue;
    ProcRow row;
    if (!ParseProcEndpoint(local, v6, row.Local) || !ParseProcEndpoint(remote, v6, row.Remote)) continue;
    row.State = static_cast<int>(std::strtol(state.c_str(), nullptr, 16));
    row.Uid = uid;
    row.Inode = inode;
    rows.push_back(std::move(row));
  }
  return rows;
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

bool Wildcard(const TcpEndpoint& e) {
  for (size_t i = 0; i < AddressBytes(e); ++i)
    if (e.Address[i] != 0) return false;
  return true;
}

constexpr int TcpListen = 10;  // TCP_LISTEN in the kernel's numbering

}  // namespace

namespace detail {

std::optional<UserId> PeerUserFromSockDiag(const TcpEndpoint& server, const TcpEndpoint& client) {
  if (server.V6 != client.V6) return std::nullopt;
  Fd fd(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (fd.Get() < 0) return std::nullopt;
  timeval wait{1, 0};  // the kernel answers at once; this only bounds a broken one
  setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

  struct {
    nlmsghdr Header;
    inet_diag_req_v2 Request;
  } message{};
  message.Header.nlmsg_len = sizeof message;
  message.Header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.Header.nlmsg_flags = NLM_F_REQUEST;
  message.Header.nlmsg_seq = 1;
  message.Request.sdiag_family = client.V6 ? AF_INET6 : AF_INET;
  message.Request.sdiag_protocol = IPPROTO_TCP;
  message.Request.idiag_states = ~0u;
  // The client's socket: its own end is the source, the server's the destination.
  inet_diag_sockid& id = message.Request.id;
  id.idiag_sport = htons(client.Port);
  id.idiag_dport = htons(server.Port);
  std::memcpy(id.idiag_src, client.Address.data(), AddressBytes(client));
  std::memcpy(id.idiag_dst, server.Address.data(), AddressBytes(server));
  id.idiag_cookie[0] = id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (sendto(fd.Get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
    return std::nullopt;
  alignas(nlmsghdr) char reply[8192];
  ssize_t n = recv(fd.Get(), reply, sizeof reply, 0);
  if (n <= 0) return std::nullopt;
  int left = static_cast<int>(n);
  for (auto* h = reinterpret_cast<nlmsghdr*>(reply); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
    if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) continue;
    auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
    const inet_diag_sockid& got = found->id;
    if (got.idiag_sport != id.idiag_sport || got.idiag_dport != id.idiag_dport ||
        std::memcmp(got.idiag_src, id.idiag_src, AddressBytes(client)) != 0 ||
        std::memcmp(got.idiag_dst, id.idiag_dst, AddressBytes(server)) != 0)
      continue;
    return UserId{std::to_string(found->idiag_uid)};
  }
  return std::nullopt;  // NLMSG_ERROR: no such connection
}

std::optional<UserId> PeerUserFromProcNet(const TcpEndpoint& server, const TcpEndpoint& client) {
  if (server.V6 != client.V6) return std::nullopt;
  auto find = [](bool v6, const TcpEndpoint& local, const TcpEndpoint& remote) -> std::optional<UserId> {
    for (const ProcRow& row : ReadProcNet(v6))
      if (row.Local == local && row.Remote == remote && row.State != TcpListen) return UserId{row.Uid};
    return std::nullopt;
  };
  if (auto user = find(client.V6, client, server)) return user;
  if (!client.V6) return find(true, Mapped(client), Mapped(server));
  return std::nullopt;
}

}  // namespace detail

std::optional<UserId> LoopbackPeerUser(const TcpEndpoint& server, const TcpEndpoint& client) {
  if (auto user = detail::PeerUserFromSockDiag(server, client)) return user;
  return detail::PeerUserFromProcNet(server, client);
}

std::string ListenerHolder(const TcpEndpoint& local) {
  std::string inode, uid;
  auto look = [&](bool v6, const TcpEndpoint& want) {
    for (const ProcRow& row : ReadProcNet(v6)) {
      if (!inode.empty()) return;
      if (row.State == TcpListen && row.Local.Port == want.Port && (row.Local == want || Wildcard(row.Local))) {
        inode = row.Inode;
        uid = row.Uid;
      }
    }
  };
  look(local.V6, local);
  if (inode.empty() && !local.V6) look(true, Mapped(local));  // [::]:P without v6only holds 127.0.0.1:P too
  if (inode.empty()) return "";

  std::string wanted = "socket:[" + inode + "]";
  if (DIR* proc = opendir("/proc")) {
    std::string pid;
    while (dirent* entry = readdir(proc)) {
      if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
      std::string fds = std::string("/proc/") + entry->d_name + "/fd";
      DIR* dir = opendir(fds.c_str());
      if (dir == nullptr) continue;  // another user's process
      while (dirent* fd = readdir(dir)) {
        char target[64] = {};
        std::string link = fds + "/" + fd->d_name;
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && wanted == std::string(target, static_cast<size_t>(n))) {
          pid = entry->d_name;
          break;
        }
      }
      closedir(dir);
      if (!pid.empty()) break;
    }
    closedir(proc);
    if (!pid.empty()) {
      std::string name;
      std::ifstream comm("/proc/" + pid + "/comm");
      std::getline(comm, name);
      return "process " + pid + " (" + (name.empty() ? "" : name + ", ") + "uid " + uid + ")";
    }
  }
  return "a process of uid " + uid;
}

}  // namespace morvel::platform

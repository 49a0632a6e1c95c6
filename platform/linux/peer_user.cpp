// The Linux adapter of peer_user.h: the kernel's socket diagnostics over
// netlink (an exact lookup by the connection's two endpoints), with
// /proc/net/tcp and tcp6 where netlink is not there (some containers).
#include "platform/peer_user.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace morvel::platform {

UserId CurrentUser() { return {std::to_string(geteuid())}; }

std::optional<UserId> UserNamed(const std::string& name) {
  const passwd* account = getpwnam(name.c_str());
  if (account == nullptr) return std::nullopt;
  return UserId{std::to_string(account->pw_uid)};
}

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

std::string ReadProcNet(bool v6) {
  std::ifstream in(v6 ? "/proc/net/tcp6" : "/proc/net/tcp");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

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
  return PeerUserInSocketTables(ReadProcNet, server, client);
}

}  // namespace detail

std::optional<UserId> LoopbackPeerUser(const TcpEndpoint& server, const TcpEndpoint& client) {
  if (auto user = detail::PeerUserFromSockDiag(server, client)) return user;
  return detail::PeerUserFromProcNet(server, client);
}

std::string ListenerHolder(const TcpEndpoint& local) {
  std::optional<detail::SocketRow> listener = detail::ListenerInSocketTables(ReadProcNet, local);
  if (!listener) return "";
  const std::string& inode = listener->Inode;
  const std::string& uid = listener->Uid;

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

// The capture listener: one poll loop over the listening socket and every
// open connection, so a connection left unread never blocks the others.
#include "support/CaptureListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace morvel::testing {

CaptureListener::CaptureListener(Mode mode, size_t limit, bool ipv6) : mode_(mode), limit_(limit) {
  int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_storage addr{};
  socklen_t len;
  if (ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&addr);
    a->sin6_family = AF_INET6;
    a->sin6_addr = in6addr_loopback;
    len = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&addr);
    a->sin_family = AF_INET;
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof *a;
  }
  if (mode_ == Mode::NeverRead) {
    // A small window fills at once, so the sender stalls after a few bytes.
    int size = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(fd);
    return;
  }
  port_ =
      ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  fd_ = fd;
  if (mode_ == Mode::Refuse) return;  // bound, so the port stays ours, but never listening
  if (listen(fd_, 16) != 0 || pipe2(wake_, O_CLOEXEC) != 0) {
    close(fd_);
    fd_ = -1;
    return;
  }
  thread_ = std::thread([this] { Run(); });
}

CaptureListener::~CaptureListener() {
  if (thread_.joinable()) {
    char c = 0;
    (void)!write(wake_[1], &c, 1);
    thread_.join();
  }
  for (int fd : {fd_, wake_[0], wake_[1]})
    if (fd >= 0) close(fd);
}

void CaptureListener::Run() {
  struct Connection {
    std::string Bytes;
  };
  std::map<int, Connection> open;
  auto finish = [&](int fd) {
    std::lock_guard<std::mutex> lock(lock_);
    finished_.push_back(std::move(open[fd].Bytes));
    open.erase(fd);
    close(fd);
    changed_.notify_all();
  };
  for (;;) {
    std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
    for (auto& [fd, c] : open) fds.push_back({fd, static_cast<short>(mode_ == Mode::NeverRead ? 0 : POLLIN), 0});
    if (poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[0].revents != 0) break;
    if (fds[1].revents & POLLIN) {
      int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c >= 0) {
        open[c] = {};
        std::lock_guard<std::mutex> lock(lock_);
        ++accepted_;
        changed_.notify_all();
      }
    }
    for (size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      int fd = fds[i].fd;
      if (mode_ == Mode::NeverRead) {
        finish(fd);  // the sender went away
        continue;
      }
      char buffer[65536];
      size_t want = sizeof buffer;
      if (mode_ == Mode::CloseAfter) want = std::min(want, limit_ - open[fd].Bytes.size());
      ssize_t n = want == 0 ? 0 : read(fd, buffer, want);
      if (n > 0) open[fd].Bytes.append(buffer, static_cast<size_t>(n));
      bool full = mode_ == Mode::CloseAfter && open[fd].Bytes.size() >= limit_;
      if (n <= 0 || full) finish(fd);
    }
  }
  for (auto& [fd, c] : open) close(fd);
}

std::vector<std::string> CaptureListener::Connections() {
  std::lock_guard<std::mutex> lock(lock_);
  return finished_;
}

size_t CaptureListener::Accepted() {
  std::lock_guard<std::mutex> lock(lock_);
  return accepted_;
}

bool CaptureListener::WaitForConnections(size_t count, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(lock_);
  return changed_.wait_for(lock, limit, [&] { return finished_.size() >= count; });
}

}  // namespace morvel::testing

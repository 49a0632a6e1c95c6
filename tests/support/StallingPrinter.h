// A printer on loopback that takes a window of bytes and then nothing, for
// the bridge's tests of calls that a printer keeps waiting.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace morvel::testing {

// A printer that takes a window of bytes and then nothing: a label larger
// than that keeps the call that sends it waiting. Closing the connection
// (with bytes unread, so a reset) ends that call.
class StallingPrinter {
 public:
  StallingPrinter() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Room for a few segments, so the first bytes arrive and show that the
    // label is on its way; then the window closes.
    int size = 256 * 1024;
    setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), len);
    listen(listener_, 4);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &len);
    port_ = ntohs(address.sin_port);
  }
  ~StallingPrinter() {
    Release();
    close(listener_);
  }
  uint16_t Port() const { return port_; }

  // Waits until `senders` connections are sending (bytes have arrived on
  // each); false after `limit`.
  bool WaitForBytes(std::chrono::seconds limit = std::chrono::seconds(20), size_t senders = 1) {
    for (auto deadline = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < deadline;) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) accepted_.push_back(accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
      size_t sending = 0;
      for (int fd : accepted_) {
        int queued = 0;
        sending += ioctl(fd, FIONREAD, &queued) == 0 && queued > 0;
      }
      if (sending >= senders) return true;
    }
    return false;
  }
  void Release() {
    for (int fd : accepted_) close(fd);
    accepted_.clear();
  }

 private:
  int listener_ = -1;
  std::vector<int> accepted_;
  uint16_t port_ = 0;
};

}  // namespace morvel::testing

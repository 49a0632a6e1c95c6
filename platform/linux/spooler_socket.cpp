// socket://HOST:PORT: raw TCP to the printer (AppSocket, port 9100 unless
// given), one connection per document. Connect and every stall while sending
// are bounded, so a printer that is off or jammed never holds the caller.
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/spooler_channels.h"

namespace morvel::platform::spool {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on `fd` until the deadline; false on timeout.
bool WaitFor(int fd, short events, Clock::time_point deadline, short& revents) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, MsLeft(deadline));
    if (n > 0) {
      revents = p.revents;
      return true;
    }
    if (n == 0) return false;
    if (errno != EINTR) {
      revents = POLLERR;
      return true;
    }
  }
}

class SocketChannel : public Channel {
 public:
  SocketChannel(std::string printer, std::string host, std::string port)
      : printer_(std::move(printer)), host_(std::move(host)), port_(std::move(port)) {}
  ~SocketChannel() override { Drop(); }

  bool Start(const std::string&) override {
    Drop();
    sent_ = 0;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found);
    if (rc != 0) {
      Report(printer_, "cannot resolve " + Where() + ": " + gai_strerror(rc));
      return false;
    }
    const int timeoutMs = ConnectTimeoutMs();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string lastError = "no address";
    for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
      int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) {
        lastError = std::strerror(errno);
        continue;
      }
      if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
        fd_ = fd;
        break;
      }
      if (errno != EINPROGRESS) {
        lastError = std::strerror(errno);
        close(fd);
        continue;
      }
      short revents = 0;
      if (!WaitFor(fd, POLLOUT, deadline, revents)) {
        lastError = "timed out after " + std::to_string(timeoutMs) + " ms";
        close(fd);
        break;  // the time is used up for every other address too
      }
      int error = 0;
      socklen_t len = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
      if (error != 0) {
        lastError = std::strerror(error);
        close(fd);
        continue;
      }
      fd_ = fd;
    }
    freeaddrinfo(found);
    if (fd_ < 0) {
      Report(printer_, "cannot connect to " + Where() + ": " + lastError);
      return false;
    }
    return true;
  }

  bool Write(const uint8_t* data, size_t size, size_t& written) override {
    written = 0;
    if (fd_ < 0) return false;
    const int timeoutMs = WriteTimeoutMs();
    // The bound is on a stall, not on the whole write: a slow printer taking
    // a large graphic keeps going as long as it keeps taking bytes.
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (written < size) {
      ssize_t n = send(fd_, data + written, size - written, MSG_NOSIGNAL);
      if (n > 0) {
        written += static_cast<size_t>(n);
        sent_ += static_cast<uint64_t>(n);
        deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        short revents = 0;
        if (!WaitFor(fd_, POLLOUT, deadline, revents)) {
          Fail("took no data for " + std::to_string(timeoutMs) + " ms", size - written);
          return false;
        }
        continue;  // a pending error shows up in the next send
      }
      Fail(std::strerror(n < 0 ? errno : EPIPE), size - written);
      return false;
    }
    return true;
  }

  bool CanRead() const override { return true; }
  Spooler::Heard Read(std::string& into, std::chrono::steady_clock::time_point deadline) override {
    if (fd_ < 0) return Spooler::Heard::Closed;
    for (;;) {
      char buffer[4096];
      const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        into.append(buffer, static_cast<size_t>(n));
        return Spooler::Heard::Bytes;
      }
      if (n == 0) return Spooler::Heard::Closed;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        Report(printer_, "reading from " + Where() + " failed: " + std::strerror(errno));
        return Spooler::Heard::Closed;
      }
      short revents = 0;
      if (!WaitFor(fd_, POLLIN, deadline, revents)) return Spooler::Heard::Nothing;
    }
  }

  bool End() override {
    if (fd_ < 0) return false;
    const int timeoutMs = WriteTimeoutMs();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    shutdown(fd_, SHUT_WR);
    // Done when the printer has acknowledged every byte; a reset on the way
    // means it threw bytes away. What it says back is read and ignored.
    bool peerClosed = false;
    for (;;) {
      int unacked = 0;
      if (ioctl(fd_, SIOCOUTQ, &unacked) != 0) unacked = 0;
      int error = 0;
      socklen_t len = sizeof error;
      getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len);
      if (error != 0) {
        Fail(std::string("connection lost at the end of the document: ") + std::strerror(error),
             static_cast<size_t>(unacked));
        return false;
      }
      if (unacked == 0) break;
      if (MsLeft(deadline) == 0) {
        Fail("did not take the last bytes within " + std::to_string(timeoutMs) + " ms", static_cast<size_t>(unacked));
        return false;
      }
      const auto slice = std::min(deadline, Clock::now() + std::chrono::milliseconds(10));
      short revents = 0;
      if (peerClosed) {
        poll(nullptr, 0, std::max(1, MsLeft(slice)));  // only acks or a reset can come now
        continue;
      }
      if (!WaitFor(fd_, POLLIN, slice, revents)) continue;
      char sink[4096];
      ssize_t n = recv(fd_, sink, sizeof sink, MSG_DONTWAIT);
      if (n == 0) peerClosed = true;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        Fail(std::string("connection lost at the end of the document: ") + std::strerror(errno),
             static_cast<size_t>(unacked));
        return false;
      }
    }
    Drop();
    return true;
  }

 private:
  std::string Where() const { return (host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_) + ":" + port_; }

  void Fail(const std::string& why, size_t lost) {
    Report(printer_, "sending to " + Where() + " failed after " + std::to_string(sent_) + " bytes (" +
                         std::to_string(lost) + " bytes not delivered): " + why);
    Drop();
  }

  void Drop() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  std::string printer_;
  std::string host_;
  std::string port_;
  int fd_ = -1;
  uint64_t sent_ = 0;
};

}  // namespace

std::unique_ptr<Channel> MakeSocketChannel(const std::string& printer, std::string_view address) {
  // Anything after the authority (a path or ?options) is for other spoolers.
  std::string_view authority = address.substr(0, address.find_first_of("/?"));
  std::string host;
  std::string_view rest;
  if (authority.starts_with("[")) {
    size_t close = authority.find(']');
    if (close == std::string_view::npos) {
      Report(printer, "bad socket:// address '" + std::string(address) + "': unclosed '['");
      return nullptr;
    }
    host = std::string(authority.substr(1, close - 1));
    rest = authority.substr(close + 1);
  } else {
    size_t colon = authority.find(':');
    host = std::string(authority.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
  }
  std::string port = "9100";
  if (!rest.empty()) {
    bool digits = rest.size() > 1 && rest[0] == ':' && rest.size() <= 6;
    for (size_t i = 1; digits && i < rest.size(); ++i) digits = rest[i] >= '0' && rest[i] <= '9';
    if (!digits || std::stoi(std::string(rest.substr(1))) > 65535 || std::stoi(std::string(rest.substr(1))) == 0) {
      Report(printer, "bad socket:// address '" + std::string(address) + "': the port must be 1..65535");
      return nullptr;
    }
    port = std::string(rest.substr(1));
  }
  if (host.empty()) {
    Report(printer, "bad socket:// address '" + std::string(address) + "': no host");
    return nullptr;
  }
  return std::make_unique<SocketChannel>(printer, std::move(host), std::move(port));
}

}  // namespace morvel::platform::spool

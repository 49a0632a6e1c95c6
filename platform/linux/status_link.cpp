// Status exchanges over raw TCP, a device node and IPP, with poll and the
// descriptors' own calls under the shared conversation.
#include "platform/status_link.h"

#include "platform/status_channel.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace morvel::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Waits for `events`; false when the deadline passed first.
bool Wait(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, MillisecondsLeft(deadline));
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return true;  // the read or write that follows tells the error
  }
}

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  void Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  int Get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// An open non-blocking descriptor: a socket, or a device node.
class DescriptorChannel : public StatusChannel {
 public:
  DescriptorChannel(int fd, bool isSocket) : fd_(fd), isSocket_(isSocket) {}
  bool WaitWritable(Clock::time_point deadline) override { return Wait(fd_, POLLOUT, deadline); }
  bool WaitReadable(Clock::time_point deadline) override { return Wait(fd_, POLLIN, deadline); }
  Io Send(const char* data, size_t size) override {
    return Result(isSocket_ ? send(fd_, data, size, MSG_NOSIGNAL) : write(fd_, data, size));
  }
  Io Receive(char* buffer, size_t size) override { return Result(read(fd_, buffer, size)); }

 private:
  static Io Result(ssize_t n) {
    Io io;
    if (n > 0)
      io.Bytes = static_cast<size_t>(n);
    else if (n < 0 && (errno == EAGAIN || errno == EINTR))
      io.Again = true;
    else if (n < 0)
      io.Error = std::strerror(errno);
    return io;
  }
  int fd_;
  bool isSocket_;
};

int GiveUp(http_t*, void*) { return 0; }

// A failed connect in the words of status answers where it says the
// printer is not there; the system's words otherwise.
std::string Refusal(int error, LinkResult& result) {
  const char* word = error == ECONNREFUSED ? ConnectionRefused
                     : error == EHOSTUNREACH || error == ENETUNREACH || error == EHOSTDOWN || error == ENETDOWN
                         ? HostUnreachable
                         : nullptr;
  if (word) result.Unreachable = word;
  return word ? word : std::strerror(error);
}

}  // namespace

LinkResult AskSocket(const std::string& host, const std::string& port, const std::vector<Exchange>& exchanges,
                     Clock::time_point deadline) {
  LinkResult result;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
    if (rc == EAI_NONAME || rc == EAI_NODATA || rc == EAI_FAIL || rc == EAI_AGAIN) result.Unreachable = NameNotFound;
    result.Error = "cannot resolve " + host + ": " + (result.Unreachable ? result.Unreachable : gai_strerror(rc));
    return result;
  }
  Descriptor fd;
  std::string lastError = "no address";
  for (addrinfo* a = found; a != nullptr && fd.Get() < 0; a = a->ai_next) {
    Descriptor attempt(socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
    if (attempt.Get() < 0) continue;
    if (connect(attempt.Get(), a->ai_addr, a->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) {
        lastError = Refusal(errno, result);
        continue;
      }
      if (!Wait(attempt.Get(), POLLOUT, deadline)) {
        result.TimedOut = true;
        lastError = "no connection before the deadline";
        break;
      }
      int error = 0;
      socklen_t len = sizeof error;
      getsockopt(attempt.Get(), SOL_SOCKET, SO_ERROR, &error, &len);
      if (error != 0) {
        lastError = Refusal(error, result);
        continue;
      }
    }
    fd.Reset(attempt.Release());
  }
  freeaddrinfo(found);
  if (fd.Get() < 0) {
    result.Error = "cannot connect to " + host + ":" + port + ": " + lastError;
    return result;
  }
  result.Connected = true;
  // Queries are a few bytes each, the next sent only after an answer: none waits to be gathered.
  int one = 1;
  setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  DescriptorChannel channel(fd.Get(), true);
  Converse(channel, exchanges, deadline, result);
  return result;
}

LinkResult AskDevice(const std::string& node, const std::vector<Exchange>& exchanges, Clock::time_point deadline) {
  LinkResult result;
  Descriptor fd(open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.Get() < 0) {
    result.Error = "cannot open " + node + ": " + std::strerror(errno);
    return result;
  }
  result.Connected = true;
  DescriptorChannel channel(fd.Get(), false);
  Converse(channel, exchanges, deadline, result);
  return result;
}

QueueState AskCupsQueue(const std::string& queue, Clock::time_point deadline) {
  QueueState state;
  const int timeoutMs = std::max(MillisecondsLeft(deadline), 1);
  http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, timeoutMs, nullptr);
  if (http == nullptr) {
    state.Error = std::string("cannot reach the CUPS server ") + cupsServer();
    return state;
  }
  httpSetTimeout(http, timeoutMs / 1000.0, GiveUp, nullptr);
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s", queue.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  static const char* const wanted[] = {"printer-state", "printer-state-reasons", "printer-state-message", "device-uri"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
  ipp_t* response = cupsDoRequest(http, request, "/");
  if (response == nullptr || ippGetStatusCode(response) > IPP_STATUS_OK_CONFLICTING) {
    state.Error = std::string("CUPS: ") + cupsLastErrorString();
  } else {
    state.Answered = true;
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM))
      state.State = ippGetInteger(a, 0);
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD))
      for (int k = 0; k < ippGetCount(a); ++k) state.Reasons.emplace_back(ippGetString(a, k, nullptr));
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT))
      state.Message = ippGetString(a, 0, nullptr);
    if (ipp_attribute_t* a = ippFindAttribute(response, "device-uri", IPP_TAG_URI))
      state.DeviceUri = ippGetString(a, 0, nullptr);
  }
  ippDelete(response);
  httpClose(http);
  return state;
}

StatusTarget StatusTargetOf(const std::string& listedUri) {
  StatusTarget target;
  target.Uri = listedUri;
  return target;
}

SpoolerState AskSpooler(const std::string&) {
  SpoolerState state;
  state.Error = "there is no Windows spooler on this system";
  return state;
}

}  // namespace morvel::platform

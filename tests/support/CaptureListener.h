// A loopback TCP listener on an ephemeral port that stands in for a printer's
// raw port: it records every connection's bytes, or misbehaves on purpose
// (closes after N bytes, never reads, refuses) so failures can be provoked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace morvel::testing {

class CaptureListener {
 public:
  enum class Mode {
    Capture,     // read every connection to its end
    CloseAfter,  // read `limit` bytes of a connection, then close it
    NeverRead,   // accept and hold connections without reading
    Refuse,      // the port is bound but nobody listens: connects are refused
  };

  explicit CaptureListener(Mode mode = Mode::Capture, size_t limit = 0, bool ipv6 = false);
  ~CaptureListener();
  CaptureListener(const CaptureListener&) = delete;
  CaptureListener& operator=(const CaptureListener&) = delete;

  // False when the socket could not be set up (no IPv6 loopback, say).
  bool Ready() const { return fd_ >= 0; }
  int Port() const { return port_; }

  // The bytes of each finished connection, in the order they were accepted.
  std::vector<std::string> Connections();
  // Connections accepted so far, finished or not.
  size_t Accepted();
  // Waits until `count` connections have finished; false after `limit`.
  bool WaitForConnections(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  void Run();

  Mode mode_;
  size_t limit_;
  int fd_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  size_t accepted_ = 0;
  std::vector<std::string> finished_;
};

}  // namespace morvel::testing

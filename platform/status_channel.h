// The status exchanges over one open connection or device, shared by the
// systems' adapters of status_link.h: each system only waits, sends and
// receives in its own calls, so that a printer's answer is framed, and the
// deadline kept, the same way on both.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/status_link.h"

namespace morvel::platform {

class StatusChannel {
 public:
  struct Io {
    size_t Bytes = 0;    // moved; 0 with neither flag set: the other end closed
    bool Again = false;  // nothing could move now
    std::string Error;   // the system's word on a failed call
  };
  virtual ~StatusChannel() = default;
  // Until the channel takes bytes (or has bytes for us); false when the
  // deadline passed first. A failure returns true: the call that follows tells it.
  virtual bool WaitWritable(std::chrono::steady_clock::time_point deadline) = 0;
  virtual bool WaitReadable(std::chrono::steady_clock::time_point deadline) = 0;
  virtual Io Send(const char* data, size_t size) = 0;
  virtual Io Receive(char* buffer, size_t size) = 0;
};

// Runs the exchanges in order, stopping at the first not answered whole
// before the deadline; fills Answers, Partial, TimedOut and Error.
void Converse(StatusChannel& channel, const std::vector<Exchange>& exchanges,
              std::chrono::steady_clock::time_point deadline, LinkResult& result);

// Milliseconds until the deadline, 0 once it passed.
int MillisecondsLeft(std::chrono::steady_clock::time_point deadline);

}  // namespace morvel::platform

// The printer's answer is read until its framer says it is whole: a printer
// may split an answer across packets or hold it back, and guessing a quiet
// time would either cut an answer or wait for nothing.
#include "platform/status_channel.h"

namespace morvel::platform {

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void Converse(StatusChannel& channel, const std::vector<Exchange>& exchanges,
              std::chrono::steady_clock::time_point deadline, LinkResult& result) {
  std::string pending;  // bytes after the last whole answer
  for (const Exchange& exchange : exchanges) {
    size_t sent = 0;
    while (sent < exchange.Query.size()) {
      if (!channel.WaitWritable(deadline)) {
        result.TimedOut = true;
        return;
      }
      StatusChannel::Io io = channel.Send(exchange.Query.data() + sent, exchange.Query.size() - sent);
      if (!io.Error.empty()) {
        result.Error = "cannot send the query: " + io.Error;
        return;
      }
      sent += io.Bytes;
    }
    for (;;) {
      if (size_t whole = exchange.Framer(pending); whole > 0 && whole <= pending.size()) {
        result.Answers.push_back(pending.substr(0, whole));
        pending.erase(0, whole);
        break;
      }
      if (!channel.WaitReadable(deadline)) {
        result.TimedOut = true;
        result.Partial = pending;
        return;
      }
      char buffer[4096];
      StatusChannel::Io io = channel.Receive(buffer, sizeof buffer);
      if (io.Bytes > 0) {
        pending.append(buffer, io.Bytes);
        if (pending.size() > (1u << 20)) {
          result.Error = "the answer does not end (over 1 MiB)";
          result.Partial = pending.substr(0, 256);
          return;
        }
      } else if (!io.Error.empty()) {
        result.Error = "cannot read the answer: " + io.Error;
        result.Partial = pending;
        return;
      } else if (!io.Again) {
        result.Error = "the printer closed the connection before its answer was whole";
        result.Partial = pending;
        return;
      }
    }
  }
}

}  // namespace morvel::platform

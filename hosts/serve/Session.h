// One bridge connection's objects and its JSON protocol, apart from the
// network so the protocol is the same whatever carries it. A connection calls
// Handle from its one thread, so the control's per-thread CurrentPrinter
// belongs to that connection alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace morvel::serve {

struct Limits {
  size_t MaxMessageBytes = 8u << 20;  // one WebSocket message
  size_t MaxObjects = 64;             // living objects per connection
  size_t MaxConnections = 16;         // open connections, HTTP and WebSocket
  int LeaseWaitSeconds = 30;          // how long an OpenPort waits for a library another page holds
  size_t MaxHeldBytes = 96u << 20;    // label commands all objects of a connection may collect
  // Calls that run on after their page left (one that cannot be stopped
  // sooner: a page poppler takes long to draw): while this many run, calls
  // that draw, print or wait are refused.
  size_t MaxLeftRunning = 4;
  // Pages may not pass printer-configuration commands through to a printer
  // (factory defaults, network, firmware, files); see PrinterSettings.h.
  bool RefusePrinterSettings = false;
};

class Session {
 public:
  // `send` takes event messages (EncodeJD, message boxes) raised during a
  // call; they go out before the call's answer.
  using Sender = std::function<void(std::string message)>;
  Session(Limits limits, Sender send);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Answers one message: a call, a create or a release. Never throws; every
  // failure is an error answer.
  std::string Handle(std::string_view message);
  size_t ObjectCount() const noexcept { return objects_.size(); }
  // Documents of this session's calls that did not reach their printer; each
  // was told to the page as a "delivery" event.
  uint64_t DeliveryFailures() const noexcept { return deliveryFailures_; }

  // Tells whether the page has gone (its peer closed the connection); a call
  // that waits, for a library another page holds, gives up once it has.
  // A print or a preview checks it between its pages and gives up (cancelled)
  // once it holds.
  void SetPeerGone(std::function<bool()> gone) { peerGone_ = std::move(gone); }
  // How many calls of pages that left still run, across the bridge.
  void SetLeftRunning(std::function<size_t()> count) { leftRunning_ = std::move(count); }
  // Told what each message asks for, in words for the log (never the
  // message's own bytes), as soon as it is read.
  void SetDoing(std::function<void(std::string)> doing) { doing_ = std::move(doing); }
  // Wakes every call that waits in any session now and makes it fail at once,
  // so that a stopping bridge is not held up by them. For the server's Stop.
  static void CancelWaits();

  // Sends message boxes shown on a thread that is inside Handle to that
  // session's page; other threads keep the sink that was installed before.
  // Idempotent.
  static void ForwardMessageBoxes();

 private:
  struct Object;
  class Impl;
  class DeliveryWatch;
  void Emit(std::string message);
  bool Gone() const { return peerGone_ && peerGone_(); }
  void ShowMessage(std::string_view caption, std::string_view text);

  Limits limits_;
  Sender send_;
  std::function<bool()> peerGone_;
  std::function<size_t()> leftRunning_;
  std::function<void(std::string)> doing_;
  std::map<int64_t, std::unique_ptr<Object>> objects_;
  int64_t nextObject_ = 1;
  int64_t currentObject_ = 0;  // the object whose call is running, for events
  uint64_t deliveryFailures_ = 0;

  friend class Impl;
  friend class ForwardingSink;
};

}  // namespace morvel::serve

// The virtual printer's web page on loopback: the labels as they come
// (server-sent events tell the page to look again), switches for the state,
// and the same as JSON: GET /api/jobs, GET /api/state, POST /api/state.
#pragma once

#include <memory>
#include <string>

#include "hosts/emulate/Emulator.h"

namespace morvel::emulate {

class WebPage {
 public:
  explicit WebPage(Emulator& emulator);
  ~WebPage();
  WebPage(const WebPage&) = delete;
  WebPage& operator=(const WebPage&) = delete;

  // Listens on 127.0.0.1:PORT (0: a free port) whatever --listen says: the
  // switches have no password, so only this computer reaches them.
  bool Start(const std::string& listenAddress, int port, std::string& error);
  void Stop();
  int Port() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// POST /api/state's body applied to `state`; false with `error` for a body
// that is not an object of known fields of the right types.
bool ApplyStateJson(const std::string& body, PrinterState& state, std::string& error);
std::string StateJson(const PrinterState& state);
std::string JobsJson(const std::vector<JobRecord>& jobs);

}  // namespace morvel::emulate

// A private CUPS scheduler for tests: its own cupsd on a free loopback port,
// configured in a temporary folder, with CUPS_SERVER pointed at it for the
// life of the object. Raw queues send to a CaptureListener's socket://.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace morvel::testing {

class CupsServer {
 public:
  CupsServer();
  // Stops cupsd and removes its folder, whatever state the tests left.
  ~CupsServer();
  CupsServer(const CupsServer&) = delete;
  CupsServer& operator=(const CupsServer&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Error() const { return error_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

  // A raw queue sending to socket://127.0.0.1:PORT; `description` is its
  // printer-info (lpadmin -D). False with Error() set when lpadmin fails.
  bool AddRawQueue(const std::string& name, int listenerPort, const std::string& description = "");
  // Kills cupsd at once, as a crash or a reboot of the server would.
  void Kill();
  bool Stop(const std::string& queue);   // cupsdisable: jobs wait
  bool Start(const std::string& queue);  // cupsenable

  struct Job {
    int Id = 0;
    std::string Title;
    int State = 0;       // ipp_jstate_t
    std::string Format;  // document-format, for example application/vnd.cups-raw
  };
  std::vector<Job> Jobs(const std::string& queue);
  // Waits until the queue has no pending or processing job.
  bool WaitUntilIdle(const std::string& queue, std::chrono::milliseconds limit = std::chrono::seconds(20));

 private:
  bool Run(const std::vector<std::string>& args);

  std::optional<TempFolder> temp_;  // made once cupsd is known to be there
  std::string folder_;
  std::string oldServer_;
  bool hadServer_ = false;
  int port_ = 0;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string error_;
};

}  // namespace morvel::testing

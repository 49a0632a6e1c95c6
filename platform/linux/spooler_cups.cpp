// cups:QUEUE: one streamed raw job per document through libcups, on the
// server libcups names (CUPS_SERVER, client.conf, else the local scheduler).
// The job title is the document name; a typed document (image/png) goes to
// the queue's own filters, an untyped one is raw.
#include <cups/cups.h>

#include <cerrno>
#include <cstring>

#include "platform/spooler_channels.h"

namespace morvel::platform::spool {
namespace {

// libcups calls this when the server stalls past the timeout set on the
// connection; answering 0 gives up rather than waiting on.
int GiveUp(http_t*, void*) { return 0; }

class CupsChannel : public Channel {
 public:
  CupsChannel(std::string printer, std::string queue) : printer_(std::move(printer)), queue_(std::move(queue)) {}
  ~CupsChannel() override { Drop(); }

  bool Start(const std::string& documentName) override { return Begin(documentName, CUPS_FORMAT_RAW); }
  bool StartTyped(const std::string& documentName, std::string_view mimeType) override {
    return Begin(documentName, std::string(mimeType).c_str());
  }

 private:
  bool Begin(const std::string& documentName, const char* format) {
    Drop();
    const char* server = cupsServer();
    server_ = server != nullptr ? server : "";
    http_ = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, ConnectTimeoutMs(), nullptr);
    if (http_ == nullptr) {
      Report(printer_, "cannot reach the CUPS server " + Server() + ": " +
                           ConnectFailure(server_, ippPort(), ConnectTimeoutMs()));
      return false;
    }
    httpSetTimeout(http_, WriteTimeoutMs() / 1000.0, GiveUp, nullptr);
    const char* title = documentName.empty() ? nullptr : documentName.c_str();
    jobId_ = cupsCreateJob(http_, queue_.c_str(), title, 0, nullptr);
    if (jobId_ <= 0) {
      Report(printer_, "CUPS queue '" + queue_ + "' on " + Server() + " refused the job: " + cupsLastErrorString());
      Drop();
      return false;
    }
    if (cupsStartDocument(http_, queue_.c_str(), jobId_, title, format, 1) != HTTP_STATUS_CONTINUE) {
      Report(printer_,
             "CUPS job " + std::to_string(jobId_) + " on '" + queue_ + "' did not start: " + cupsLastErrorString());
      Cancel();
      return false;
    }
    sent_ = 0;
    return true;
  }

 public:
  bool Write(const uint8_t* data, size_t size, size_t& written) override {
    written = 0;
    if (http_ == nullptr) return false;
    if (cupsWriteRequestData(http_, reinterpret_cast<const char*>(data), size) != HTTP_STATUS_CONTINUE) {
      Report(printer_, "sending CUPS job " + std::to_string(jobId_) + " on '" + queue_ + "' failed after " +
                           std::to_string(sent_) + " bytes (" + std::to_string(size) + " bytes not sent): " + Lost());
      Cancel();
      return false;
    }
    written = size;
    sent_ += size;
    return true;
  }

  bool End() override {
    if (http_ == nullptr) return false;
    ipp_status_t status = cupsFinishDocument(http_, queue_.c_str());
    bool ok = status <= IPP_STATUS_OK_CONFLICTING;
    if (!ok)
      Report(printer_, "CUPS job " + std::to_string(jobId_) + " on '" + queue_ + "' was not accepted after " +
                           std::to_string(sent_) +
                           " bytes: " + (httpError(http_) != 0 ? Lost() : std::string(cupsLastErrorString())));
    Drop();
    return ok;
  }

 private:
  std::string Server() const { return server_ + (server_.starts_with("/") ? "" : ":" + std::to_string(ippPort())); }

  // What broke a job in the middle. libcups leaves its last status as it
  // was (often successful-ok from the job's creation) when the server just
  // goes away, so the connection's own error speaks first.
  std::string Lost() {
    int error = http_ != nullptr ? httpError(http_) : 0;
    if (error == EPIPE || error == ECONNRESET || error == 0)
      return std::string("the CUPS server went away or closed the connection") +
             (error != 0 ? std::string(" (") + std::strerror(error) + ")" : std::string());
    if (error == ETIMEDOUT || error == EAGAIN)
      return "the CUPS server took no data for " + std::to_string(WriteTimeoutMs()) + " ms";
    return std::strerror(error);
  }

  // A job left half-sent would sit in the queue forever (or print half a
  // label); it is cancelled on a fresh connection, the old one being broken.
  void Cancel() {
    Drop();
    if (jobId_ <= 0) return;
    if (http_t* http = httpConnect2(server_.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                    ConnectTimeoutMs(), nullptr)) {
      httpSetTimeout(http, 5.0, GiveUp, nullptr);
      cupsCancelJob2(http, queue_.c_str(), jobId_, 0);
      httpClose(http);
    }
  }

  void Drop() {
    if (http_ != nullptr) httpClose(http_);
    http_ = nullptr;
  }

  std::string printer_;
  std::string queue_;
  std::string server_;
  http_t* http_ = nullptr;
  int jobId_ = 0;
  uint64_t sent_ = 0;
};

}  // namespace

std::unique_ptr<Channel> MakeCupsChannel(const std::string& printer, std::string_view queue) {
  if (queue.empty()) {
    Report(printer, "cups: uri without a queue name");
    return nullptr;
  }
  return std::make_unique<CupsChannel>(printer, std::string(queue));
}

}  // namespace morvel::platform::spool

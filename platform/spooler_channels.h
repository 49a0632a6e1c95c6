// The byte channels behind the Linux spooler, one kind per printer uri
// scheme (socket://, cups:, file:). Internal to platform/.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/spooler.h"

namespace morvel::platform::spool {

// One printer's way out. The spooler front keeps the handle table and the
// document state; a channel moves the bytes of one document at a time and
// records in the log, with the printer's name, every failure it meets.
class Channel {
 public:
  virtual ~Channel() = default;
  // Begins a document; false after recording why.
  virtual bool Start(const std::string& documentName) = 0;
  // Begins a document of a MIME type; channels that carry bytes only
  // (socket://) begin a raw one.
  virtual bool StartTyped(const std::string& documentName, std::string_view mimeType) { return Start(documentName); }
  // Hands all `size` bytes on or fails; `written` is what went before a failure.
  // After a failure the document is over (the channel has let go of it).
  virtual bool Write(const uint8_t* data, size_t size, size_t& written) = 0;
  // What the destination said back on the open document (see Spooler::Read).
  virtual bool CanRead() const { return false; }
  virtual Spooler::Heard Read(std::string& into, std::chrono::steady_clock::time_point deadline) {
    return Spooler::Heard::Unsupported;
  }
  // Completes the document: true when the destination has taken every byte.
  virtual bool End() = 0;
};

// nullptr (after a log record) when the part after the scheme is unusable.
std::unique_ptr<Channel> MakeSocketChannel(const std::string& printer, std::string_view address);
std::unique_ptr<Channel> MakeCupsChannel(const std::string& printer, std::string_view queue);
// `dpi`, `preview` and the labels' size (the printer's settings) go to the
// finished-document hooks with each whole file.
std::unique_ptr<Channel> MakeFileChannel(const std::string& printer, std::string_view folder, int dpi = 203,
                                         std::string preview = {}, double widthMm = 0, double heightMm = 0);

// A timeout in milliseconds from the environment: a positive whole number,
// else `fallback`.
int TimeoutFromEnv(const char* name, int fallback);
inline int ConnectTimeoutMs() { return TimeoutFromEnv("MORVEL_CONNECT_TIMEOUT_MS", 5000); }
inline int WriteTimeoutMs() { return TimeoutFromEnv("MORVEL_WRITE_TIMEOUT_MS", 30000); }

// Why a libcups connect to the server failed, in words, found by trying
// once more (cups_printers.cpp).
std::string ConnectFailure(const std::string& server, int port, int timeoutMs);

// Writes one record "printer 'NAME': TEXT" to the platform log.
void Report(const std::string& printer, std::string_view text);
// Counts a document or open of `printer` that failed, with the reason last
// reported on this thread.
void CountDeliveryFailure(const std::string& printer);

}  // namespace morvel::platform::spool

// Spooler port: the raw print job channel (open printer, start document,
// start page, write, end page, end document, close printer). The adapter is
// chosen by the printer's uri: socket://HOST:PORT, cups:QUEUE or file:DIR.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "morvel/types.h"

namespace morvel::platform {

class Spooler {
 public:
  using Handle = uint64_t;
  static constexpr Handle NullHandle = 0;

  virtual ~Spooler() = default;
  // Opens the installed printer of that name (compared without regard to
  // case); NullHandle when there is none. Failures are recorded in the log.
  virtual Handle OpenPrinter(std::u16string_view printerName) = 0;
  // Starts a raw document; false (and a log record) when it cannot start.
  virtual bool StartDoc(Handle printer, std::u16string_view documentName) = 0;
  // Starts a document of a MIME type ("image/png"): a cups: queue is told
  // the type so its own filters print it, a file: printer names the file by
  // it. An empty type is a raw document. Adapters that know no types start
  // a raw one.
  virtual bool StartDocOfType(Handle printer, std::u16string_view documentName, std::string_view mimeType) {
    return StartDoc(printer, documentName);
  }
  virtual bool StartPage(Handle printer) = 0;
  // Writes the bytes into the document; `written` receives how many went.
  virtual bool Write(Handle printer, const uint8_t* data, size_t size, size_t& written) = 0;
  virtual bool EndPage(Handle printer) = 0;
  // What the printer says back on an open raw document: a printer reached
  // over one connection of its own (socket://) answers on it, as it answers
  // its host's queries. Appends what came to `into`, waiting for the first
  // byte at most until `deadline`. Unsupported where the way to the printer
  // carries bytes one way only (a file:, a CUPS queue, the Windows spooler):
  // whatever the printer says is lost there.
  enum class Heard { Bytes, Nothing, Closed, Unsupported };
  virtual bool CanRead(Handle printer) { return false; }
  virtual Heard Read(Handle printer, std::string& into, std::chrono::steady_clock::time_point deadline) {
    return Heard::Unsupported;
  }
  virtual bool EndDoc(Handle printer) = 0;
  virtual bool ClosePrinter(Handle printer) = 0;
};

}  // namespace morvel::platform

// The raw spooler channel the Zebra and SATO drivers write through: one
// spool document per opened port, each label written in one piece.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "morvel/types.h"
#include "platform/spooler.h"

namespace morvel {

class RawChannel {
 public:
  // The document name the drivers give every job.
  static constexpr const char16_t* DocumentName = u"条码打印";

  RawChannel() = default;
  RawChannel(const RawChannel&) = delete;
  RawChannel& operator=(const RawChannel&) = delete;

  // Opens the printer and, when that worked, starts the document. The name
  // passes through the ANSI code page and comes back into the host's
  // variable the same way. A port that is still open is ended and closed
  // first, so its labels are not held back.
  void Open(String& printerName);
  // Writes all bytes with one write; nothing while no printer is open.
  void Write(const uint8_t* data, size_t size);
  void Write(std::string_view bytes) { Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); }
  // Whether the printer's answers come back this way (a socket:// printer
  // does; a file:, a CUPS queue or the Windows spooler do not), and what
  // they are, waiting at most until the deadline for the first byte.
  bool CanRead() const;
  platform::Spooler::Heard Read(std::string& into, std::chrono::steady_clock::time_point deadline);
  // Ends the document and closes the printer, if one was opened.
  void Close();
  bool IsOpen() const noexcept { return PrinterHandle != platform::Spooler::NullHandle; }

  platform::Spooler::Handle PrinterHandle = platform::Spooler::NullHandle;
};

}  // namespace morvel

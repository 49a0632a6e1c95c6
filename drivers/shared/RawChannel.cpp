// The raw spooler channel shared by the Zebra and SATO drivers.
#include "drivers/shared/RawChannel.h"

#include "platform/services.h"

namespace morvel {

void RawChannel::Open(String& printerName) {
  if (IsOpen()) Close();
  auto& ansi = platform::Ansi();
  printerName = ansi.ToUnicode(ansi.FromUnicode(printerName));
  auto& spooler = *platform::Current().Spool;
  PrinterHandle = spooler.OpenPrinter(printerName);
  if (IsOpen()) spooler.StartDoc(PrinterHandle, DocumentName);
}

void RawChannel::Write(const uint8_t* data, size_t size) {
  if (!IsOpen()) return;
  size_t written = 0;
  platform::Current().Spool->Write(PrinterHandle, data, size, written);
}

bool RawChannel::CanRead() const { return IsOpen() && platform::Current().Spool->CanRead(PrinterHandle); }

platform::Spooler::Heard RawChannel::Read(std::string& into, std::chrono::steady_clock::time_point deadline) {
  if (!IsOpen()) return platform::Spooler::Heard::Closed;
  return platform::Current().Spool->Read(PrinterHandle, into, deadline);
}

void RawChannel::Close() {
  if (!IsOpen()) return;
  auto& spooler = *platform::Current().Spool;
  spooler.EndDoc(PrinterHandle);
  spooler.ClosePrinter(PrinterHandle);
  PrinterHandle = platform::Spooler::NullHandle;
}

}  // namespace morvel

// Reading printers' status answers into IPP terms, and knowing where each
// answer ends. ZPL ~HQES and ~HS, SBPL ENQ (Status 4), TSPL ESC !? and
// ESC !S, as the languages' programming guides lay them out; CUPS's own
// printer-state and reasons; the Windows spooler's status bits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "morvel/status.h"

namespace morvel::status {

enum class Brand { Zebra, Sato, Orx, Other };
// From the printer's name, as the control picks its driver.
MORVEL_STATUS_API Brand BrandOf(std::string_view printerName);

struct Reading {
  bool Understood = false;  // the answer had the documented shape
  std::string State = "unknown";
  std::vector<std::string> Reasons;
};

// Bytes of `received` that make one whole answer, 0 while incomplete. An
// answer that cannot be of the documented shape counts as whole where it
// shows that, so a babbling device never holds the caller to its deadline.
MORVEL_STATUS_API size_t ZplHostQueryFrame(std::string_view received);   // one STX..ETX CR LF
MORVEL_STATUS_API size_t ZplHostStatusFrame(std::string_view received);  // three of them
MORVEL_STATUS_API size_t SbplStatus4Frame(std::string_view received);    // LAN length + ENQ + STX..ETX, or STX..ETX
MORVEL_STATUS_API size_t TsplStatusByteFrame(std::string_view received);  // one byte
MORVEL_STATUS_API size_t TsplExtendedFrame(std::string_view received);    // STX 4 bytes ETX CR LF

MORVEL_STATUS_API Reading ReadZplHostQuery(std::string_view answer);
MORVEL_STATUS_API Reading ReadZplHostStatus(std::string_view answer);
MORVEL_STATUS_API Reading ReadSbplStatus4(std::string_view answer);
MORVEL_STATUS_API Reading ReadTsplStatusByte(std::string_view answer);
MORVEL_STATUS_API Reading ReadTsplExtended(std::string_view answer);
// CUPS: printer-state 3/4/5 and its reasons (the -error, -warning, -report
// suffixes dropped; keywords outside the list above read as other).
MORVEL_STATUS_API Reading ReadCups(int printerState, const std::vector<std::string>& reasons);
// The Windows spooler (PRINTER_INFO_2): its Status bits through
// SpoolerStatusTable, working offline as offline, and documents in its
// queue as processing.
MORVEL_STATUS_API Reading ReadSpooler(uint32_t status, uint32_t attributes, uint32_t jobs);

// Both readings together: the reasons of both, the graver state.
MORVEL_STATUS_API Reading Combine(const Reading& first, const Reading& second);
// The state that the reasons leave: stopped for any fault or pause, else `fallback`.
MORVEL_STATUS_API std::string StateFor(const std::vector<std::string>& reasons, const std::string& fallback);

}  // namespace morvel::status

// Reading the spoolers' printer states into IPP terms: CUPS's own
// printer-state and reasons; the Windows spooler's status bits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lang/Status.h"
#include "morvel/status.h"

namespace morvel::status {

// The printers' own answers are read by their languages' tables (lang/Status.h).
using lang::Reading;
using lang::StateFor;

// CUPS: printer-state 3/4/5 and its reasons (the -error, -warning, -report
// suffixes dropped; keywords outside the list above read as other).
MORVEL_STATUS_API Reading ReadCups(int printerState, const std::vector<std::string>& reasons);
// The Windows spooler (PRINTER_INFO_2): its Status bits through
// SpoolerStatusTable, working offline as offline, and documents in
// its queue as processing.
MORVEL_STATUS_API Reading ReadSpooler(uint32_t status, uint32_t attributes, uint32_t jobs);

// Both readings together: the reasons of both, the graver state.
MORVEL_STATUS_API Reading Combine(const Reading& first, const Reading& second);

}  // namespace morvel::status

// The Windows spooler's printer status in IPP terms: what each
// PRINTER_STATUS_* bit of PRINTER_INFO_2 (platform/spooler_table.h, whose
// numbers the Windows build checks against winspool.h) says as a
// printer-state reason (lang/Reason.h: RFC 8011's, or offline as the rest
// of this toolkit says it) and what it says of the printer-state. One row a
// bit, named as the platform's table names it.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

#include "lang/Reason.h"
#include "platform/spooler_table.h"

namespace morvel::status {

using lang::Reason;

struct SpoolerBit {
  std::string_view Name;       // the winspool.h constant after PRINTER_STATUS_
  std::optional<Reason> Says;  // none: no reason of its own
  std::string_view State;      // processing or unknown; empty: no say
  // Only says that something is wrong: other, unless another reason tells what.
  bool Vague = false;
  constexpr uint32_t Bit() const { return platform::SpoolerBitNamed(Name); }
};

inline constexpr SpoolerBit SpoolerStatusTable[] = {
    {"PAUSED", Reason::Paused, ""},
    {"ERROR", Reason::Other, "", true},
    {"PENDING_DELETION", Reason::Shutdown, ""},  // the queue goes when its last job has
    {"PAPER_JAM", Reason::MediaJam, ""},
    {"PAPER_OUT", Reason::MediaEmpty, ""},
    // Waits for a sheet fed by hand: CUPS's media-needed, read as media-empty.
    {"MANUAL_FEED", Reason::MediaEmpty, ""},
    {"PAPER_PROBLEM", Reason::Other, ""},
    {"OFFLINE", Reason::Offline, ""},
    {"IO_ACTIVE", {}, "processing"},
    {"BUSY", {}, "processing"},
    {"PRINTING", {}, "processing"},
    {"OUTPUT_BIN_FULL", Reason::OutputAreaFull, ""},
    {"NOT_AVAILABLE", Reason::Offline, ""},
    {"WAITING", {}, ""},  // for data: says nothing of the printer
    {"PROCESSING", {}, "processing"},
    {"INITIALIZING", {}, "processing"},
    {"WARMING_UP", {}, "processing"},
    {"TONER_LOW", Reason::MarkerSupplyLow, ""},
    {"NO_TONER", Reason::MarkerSupplyEmpty, ""},
    {"PAGE_PUNT", Reason::Other, ""},  // cannot print the current page
    {"USER_INTERVENTION", Reason::Other, "", true},
    {"OUT_OF_MEMORY", Reason::Other, ""},
    {"DOOR_OPEN", Reason::DoorOpen, ""},
    {"SERVER_UNKNOWN", Reason::Other, "unknown"},
    {"POWER_SAVE", {}, ""},  // wakes for the next job
};

// A row for every bit of the platform's table, each of a name it has.
static_assert(std::size(SpoolerStatusTable) == std::size(platform::SpoolerStatusBits));
static_assert([] {
  for (const SpoolerBit& row : SpoolerStatusTable)
    if (row.Bit() == 0) return false;
  return true;
}());

}  // namespace morvel::status

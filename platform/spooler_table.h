// The Windows spooler's printer status in IPP terms: what each
// PRINTER_STATUS_* bit of PRINTER_INFO_2 says as a printer-state-reasons
// keyword (RFC 8011's, or offline as the rest of this toolkit says it) and
// what it says of the printer-state. One row a bit that the Win32
// documentation names. Plain numbers, so that the Linux build reads and
// tests the same table; the Windows build checks every row against
// winspool.h (windows/spooler_table_check.cpp).
#pragma once

#include <cstdint>
#include <string_view>

namespace morvel::platform {

struct SpoolerBit {
  uint32_t Bit;
  std::string_view Name;    // the winspool.h constant after PRINTER_STATUS_
  std::string_view Reason;  // empty: no reason of its own
  std::string_view State;   // processing or unknown; empty: no say
  // Only says that something is wrong: other, unless another reason tells what.
  bool Vague = false;
};

inline constexpr SpoolerBit SpoolerStatusTable[] = {
    {0x00000001, "PAUSED", "paused", ""},
    {0x00000002, "ERROR", "other", "", true},
    {0x00000004, "PENDING_DELETION", "shutdown", ""},  // the queue goes when its last job has
    {0x00000008, "PAPER_JAM", "media-jam", ""},
    {0x00000010, "PAPER_OUT", "media-empty", ""},
    // Waits for a sheet fed by hand: CUPS's media-needed, read as media-empty.
    {0x00000020, "MANUAL_FEED", "media-empty", ""},
    {0x00000040, "PAPER_PROBLEM", "other", ""},
    {0x00000080, "OFFLINE", "offline", ""},
    {0x00000100, "IO_ACTIVE", "", "processing"},
    {0x00000200, "BUSY", "", "processing"},
    {0x00000400, "PRINTING", "", "processing"},
    {0x00000800, "OUTPUT_BIN_FULL", "output-area-full", ""},
    {0x00001000, "NOT_AVAILABLE", "offline", ""},
    {0x00002000, "WAITING", "", ""},  // for data: says nothing of the printer
    {0x00004000, "PROCESSING", "", "processing"},
    {0x00008000, "INITIALIZING", "", "processing"},
    {0x00010000, "WARMING_UP", "", "processing"},
    {0x00020000, "TONER_LOW", "marker-supply-low", ""},
    {0x00040000, "NO_TONER", "marker-supply-empty", ""},
    {0x00080000, "PAGE_PUNT", "other", ""},  // cannot print the current page
    {0x00100000, "USER_INTERVENTION", "other", "", true},
    {0x00200000, "OUT_OF_MEMORY", "other", ""},
    {0x00400000, "DOOR_OPEN", "door-open", ""},
    {0x00800000, "SERVER_UNKNOWN", "other", "unknown"},
    {0x01000000, "POWER_SAVE", "", ""},  // wakes for the next job
};

// PRINTER_ATTRIBUTE_WORK_OFFLINE: the user set the printer to work offline,
// and jobs stay in the queue.
inline constexpr uint32_t SpoolerWorkOffline = 0x00000400;

}  // namespace morvel::platform

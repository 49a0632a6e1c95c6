// The Windows spooler's PRINTER_STATUS_* bits of PRINTER_INFO_2, one row a
// bit that the Win32 documentation names, and the work-offline attribute.
// Plain numbers, so that the Linux build reads and tests the same table;
// the Windows build checks every row against winspool.h
// (windows/spooler_table_check.cpp). What each bit says of a printer is the
// status reader's (control/status/SpoolerTable.h).
#pragma once

#include <cstdint>
#include <string_view>

namespace morvel::platform {

struct SpoolerStatusBit {
  uint32_t Bit;
  std::string_view Name;  // the winspool.h constant after PRINTER_STATUS_
};

inline constexpr SpoolerStatusBit SpoolerStatusBits[] = {
    {0x00000001, "PAUSED"},        {0x00000002, "ERROR"},      {0x00000004, "PENDING_DELETION"},
    {0x00000008, "PAPER_JAM"},     {0x00000010, "PAPER_OUT"},  {0x00000020, "MANUAL_FEED"},
    {0x00000040, "PAPER_PROBLEM"}, {0x00000080, "OFFLINE"},    {0x00000100, "IO_ACTIVE"},
    {0x00000200, "BUSY"},          {0x00000400, "PRINTING"},   {0x00000800, "OUTPUT_BIN_FULL"},
    {0x00001000, "NOT_AVAILABLE"}, {0x00002000, "WAITING"},    {0x00004000, "PROCESSING"},
    {0x00008000, "INITIALIZING"},  {0x00010000, "WARMING_UP"}, {0x00020000, "TONER_LOW"},
    {0x00040000, "NO_TONER"},      {0x00080000, "PAGE_PUNT"},  {0x00100000, "USER_INTERVENTION"},
    {0x00200000, "OUT_OF_MEMORY"}, {0x00400000, "DOOR_OPEN"},  {0x00800000, "SERVER_UNKNOWN"},
    {0x01000000, "POWER_SAVE"},
};

// The bit of a name (after PRINTER_STATUS_); 0 for a name of no row.
constexpr uint32_t SpoolerBitNamed(std::string_view name) {
  for (const SpoolerStatusBit& row : SpoolerStatusBits)
    if (row.Name == name) return row.Bit;
  return 0;
}

// PRINTER_ATTRIBUTE_WORK_OFFLINE: the user set the printer to work offline,
// and jobs stay in the queue.
inline constexpr uint32_t SpoolerWorkOffline = 0x00000400;

}  // namespace morvel::platform

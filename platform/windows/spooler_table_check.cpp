// The spooler table's numbers are winspool.h's: a row whose bit is not the
// header's constant of its name stops the Windows build. Compiled only,
// into the Windows platform library; it defines nothing.
#include <windows.h>
#include <winspool.h>

#include <iterator>

#include "platform/spooler_table.h"

namespace morvel::platform {
namespace {

#define MORVEL_SAME_BIT(name) static_assert(SpoolerBitNamed(#name) == PRINTER_STATUS_##name, "PRINTER_STATUS_" #name)
MORVEL_SAME_BIT(PAUSED);
MORVEL_SAME_BIT(ERROR);
MORVEL_SAME_BIT(PENDING_DELETION);
MORVEL_SAME_BIT(PAPER_JAM);
MORVEL_SAME_BIT(PAPER_OUT);
MORVEL_SAME_BIT(MANUAL_FEED);
MORVEL_SAME_BIT(PAPER_PROBLEM);
MORVEL_SAME_BIT(OFFLINE);
MORVEL_SAME_BIT(IO_ACTIVE);
MORVEL_SAME_BIT(BUSY);
MORVEL_SAME_BIT(PRINTING);
MORVEL_SAME_BIT(OUTPUT_BIN_FULL);
MORVEL_SAME_BIT(NOT_AVAILABLE);
MORVEL_SAME_BIT(WAITING);
MORVEL_SAME_BIT(PROCESSING);
MORVEL_SAME_BIT(INITIALIZING);
MORVEL_SAME_BIT(WARMING_UP);
MORVEL_SAME_BIT(TONER_LOW);
MORVEL_SAME_BIT(NO_TONER);
MORVEL_SAME_BIT(PAGE_PUNT);
MORVEL_SAME_BIT(USER_INTERVENTION);
MORVEL_SAME_BIT(OUT_OF_MEMORY);
MORVEL_SAME_BIT(DOOR_OPEN);
MORVEL_SAME_BIT(SERVER_UNKNOWN);
MORVEL_SAME_BIT(POWER_SAVE);
#undef MORVEL_SAME_BIT
static_assert(std::size(SpoolerStatusBits) == 25, "a row without its check above");
static_assert(SpoolerWorkOffline == PRINTER_ATTRIBUTE_WORK_OFFLINE);

}  // namespace
}  // namespace morvel::platform

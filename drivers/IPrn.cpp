// Behaviour shared by every driver.
#include "drivers/IPrn.h"

#include "drivers/Units.h"

namespace morvel {

void CheckCollectedRoom(size_t held, size_t more, size_t limit, const char* what) {
  if (more <= limit && held <= limit - more) return;
  throw AutomationError(errors::OutOfMemory, AutomationError::StandardDescription(errors::OutOfMemory) + ": " + what +
                                                 " would pass its limit of " + std::to_string(limit) +
                                                 "; what was collected so far is kept");
}

Integer PrnBase::RFIDType() {
  auto& printer = CurrentPrinter();
  if (!printer) return 0;
  String name = printer->Name;
  return Module1::ContainsAnyKeyword(RFIDPrinters, name);
}

}  // namespace morvel

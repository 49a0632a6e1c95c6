// Behaviour shared by every driver.
#include "control/IPrn.h"

#include "control/Units.h"

namespace morvel {

Integer PrnBase::RFIDType() {
  auto& printer = CurrentPrinter();
  if (!printer) return 0;
  String name = printer->Name;
  return Module1::ContainsAnyKeyword(RFIDPrinters, name);
}

}  // namespace morvel

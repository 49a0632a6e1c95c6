// The driver for Dothan printers, drawn through the LabelPrintAPI library.
#pragma once

#include "control/IPrn.h"

namespace morvel {

class Dothan : public PrnBase {
 public:
  Dothan();
  Integer FontType() override { return 0; }
  void SendCmd(String&) override {}
};

}  // namespace morvel

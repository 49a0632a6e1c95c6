// The driver for Orx printers, driven through the orxlib printer command library.
#pragma once

#include "control/IPrn.h"

namespace morvel {

class Orx : public PrnBase {
 public:
  Orx();
  Integer FontType() override { return 0; }
};

}  // namespace morvel

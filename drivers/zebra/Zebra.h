// The driver for Zebra printers, written in ZPL to the raw spooler channel.
#pragma once

#include "control/IPrn.h"

namespace morvel {

class Zebra : public PrnBase {
 public:
  Zebra();
  Integer FontType() override { return 1; }
  void ClosePort() override {}
  void DrawImageFromFile(String, Single, Single, Single, Single) override {}
  void DrawImageFromBase64(String, Single, Single, Single, Single) override {}
  void DrawImageFromPicture(PictureRef, Single, Single, Single, Single) override {}
  void InitRFID(String&, String&, String&, String&, String&, String&) override { Unsupported(); }
  void OpRFID(String&, String&, String&, String&, String&, String&) override { Unsupported(); }
};

}  // namespace morvel

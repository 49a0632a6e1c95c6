// The driver for SATO printers, written in SBPL to the raw spooler channel.
#pragma once

#include "control/IPrn.h"

namespace morvel {

class Sato : public PrnBase {
 public:
  Sato();
  Integer FontType() override { return 1; }
  PictureRef picBox() override { return picture_; }
  void picBox(PictureRef value) override { picture_ = std::move(value); }
  void ClosePort() override {}
  void OpRFID(String&, String&, String&, String&, String&, String&) override { Unsupported(); }

 private:
  PictureRef picture_;
};

}  // namespace morvel

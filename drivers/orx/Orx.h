// The driver for Orx printers: every label call becomes a call of
// liborxlib.so (loaded on first use) or one Orx command line sent through
// it; the library holds the connection and the print job.
#pragma once

#include <string>

#include "drivers/IPrn.h"

namespace morvel {

class Orx : public PrnBase {
 public:
  Orx();

  MORVEL_DRIVER_LABEL_CALLS(, override)
  void SendCmd(String& cmd) override;
  void DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) override;
  void DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) override;
  void DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) override;
  Integer FontType() override { return 0; }

 private:
  // Stores the file in the printer as TEST.BMP and places it; nothing is
  // placed when the file did not reach the printer.
  void SendImageFile(const std::string& ansiPath, Single x, Single y);
  // Writes the image bytes to a private temporary file, sends it, removes it.
  void SendImageBytes(const ByteArray& bytes, Single x, Single y);
};

}  // namespace morvel

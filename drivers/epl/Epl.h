// The driver for printers that speak Zebra's EPL2: the label is made with
// the EPL2 writer (lang/epl/Writer.h) and written in one piece to the raw
// spooler channel at PrintLabel. Text is drawn from a system font into a
// picture (GW), as the Orx printers get theirs; Code 128 is the printer's
// own B command and QR its b command; bars and boxes are LO and X; pictures
// go as GW at their own size, a dot a pixel.
#pragma once

#include <string>

#include "drivers/IPrn.h"
#include "drivers/shared/RawChannel.h"

namespace morvel {

class Epl : public PrnBase {
 public:
  Epl();

  MORVEL_DRIVER_LABEL_CALLS(, override)
  void SendCmd(String& cmd) override;
  void DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) override;
  void DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) override;
  void DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) override;
  Integer FontType() override { return 0; }
  // The label's commands so far (the settings of InitPrint, then the
  // fields), as text through the code page.
  String CommandPrint() override;
  size_t CollectedBytes() const noexcept override { return setup_.size() + fields_.size(); }

 private:
  // Appends a field's bytes, within the collection's limit.
  void Collect(const std::string& bytes);
  void PlacePicture(const Picture& picture, Single x, Single y);

  std::string setup_;   // q, Q, R, S, D, ZT/ZB of the last InitPrint; kept for every label after it
  std::string fields_;  // the fields of the label under construction
  RawChannel channel_;
};

}  // namespace morvel

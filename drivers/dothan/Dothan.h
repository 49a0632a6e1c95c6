// The driver for Dothan printers: every label operation becomes a drawing
// call of libLabelPrintAPI.so in hundredths of a millimetre; the library
// holds the printer, the job and its page, and prints the page itself.
#pragma once

#include <string>

#include "drivers/IPrn.h"

namespace morvel {

class Dothan : public PrnBase {
 public:
  Dothan();

  MORVEL_DRIVER_LABEL_CALLS(, override)
  void SendCmd(String&) override {}
  void DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) override;
  void DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) override;
  void DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) override;
  Integer FontType() override { return 0; }

  // Label width in millimetres from the last InitPrint: the width of every
  // text box.
  Double LabelWidth = 0;

 private:
  // The binding routines, one per library function. Each absorbs every
  // failure (library or function missing, a length beyond 32 bits): the
  // call then has no effect, and the log says why.
  void OpenLabelPrinter(const String& name);
  void CloseLabelPrinter();
  void BeginJob(Double width, Double height, int orientation, const String& jobName);
  void BeginPage();
  void DrawTextBox(const String& text, Double x, Double y, Double width, Double height, const String& fontName,
                   Double fontHeight, int style);
  void DrawBarcode1D(const String& data, int type, Double x, Double y, Double width, Double height, Double textHeight);
  void DrawQRCode(const String& data, Double x, Double y, Double width, Double height);
  void DrawLineMm(Double x1, Double y1, Double x2, Double y2, Double lineWidth);
  void DrawImageFile(const String& path, Double x, Double y, Double width, Double height, int mode);
  void DrawBitmapHandle(uint32_t bitmap, Double x, Double y, Double width, Double height, int mode);
  void FinishPage();
  void CommitLabelJob();
};

}  // namespace morvel

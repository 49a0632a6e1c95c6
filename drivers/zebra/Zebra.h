// The driver for Zebra printers: every drawing call appends ZPL to the label
// under construction; PrintLabel frames it, converts it to the ANSI code page
// and writes it in one piece to the raw spooler channel. RFID encoding rides
// along in the same label.
#pragma once

#include "control/IPrn.h"
#include "drivers/shared/RawChannel.h"

namespace morvel {

class Zebra : public PrnBase {
 public:
  Zebra();

  void OpenPort(String& printerName) override;
  void ClosePort() override;
  void PrintLabel(String& copies) override;
  void SendCmd(String& cmd) override;
  void InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,
                 String& direction) override;
  void PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) override;
  void PrintBar(Single& x, Single& y, Single width, Single height) override;
  void PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height, String& zBar,
                 String& kBar) override;
  // Images are not supported on ZPL printers here: accepted, nothing placed.
  void DrawImageFromFile(String, Single, Single, Single, Single) override {}
  void DrawImageFromBase64(String, Single, Single, Single, Single) override {}
  void DrawImageFromPicture(PictureRef, Single, Single, Single, Single) override {}
  Integer FontType() override { return 1; }
  String CommandPrint() override { return CmdPrint; }
  void InitRFID(String& labelType, String& backfeed, String& readPower, String& writePower, String& wire,
                String& tryNum) override;
  void OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress,
              String& section) override;
  const char* Family() const noexcept override { return "Zebra"; }
  size_t CollectedBytes() const noexcept override { return CmdPrint.size() * sizeof(char16_t); }

  // ZPL of the label under construction, without ^XA / ^XZ.
  String CmdPrint;

 private:
  void Collect(std::u16string_view piece);
  void SendRaw(const String& text);
  RawChannel channel_;
};

}  // namespace morvel

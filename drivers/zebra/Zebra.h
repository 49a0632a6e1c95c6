// The driver for Zebra printers: every drawing call appends ZPL to the label
// under construction; PrintLabel frames it, converts it to the ANSI code page
// and writes it in one piece to the raw spooler channel. RFID encoding rides
// along in the same label; where the printer can answer, the label asks it
// to echo the tag it wrote, and PrintLabel waits for each label's echo.
#pragma once

#include <optional>

#include "drivers/IPrn.h"
#include "drivers/shared/RawChannel.h"
#include "drivers/shared/TagWatch.h"

namespace morvel {

class Zebra : public PrnBase {
 public:
  Zebra();

  MORVEL_DRIVER_LABEL_CALLS(, override)
  void SendCmd(String& cmd) override;
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
  size_t CollectedBytes() const noexcept override { return CmdPrint.size() * sizeof(char16_t); }
  std::vector<TagResult> TakeTagResults() override;

  // ZPL of the label under construction, without ^XA / ^XZ.
  String CmdPrint;

 private:
  void Collect(std::u16string_view piece);
  void SendRaw(const String& text);
  // The label's first tag write, as OpRFID gave it: read back the same way.
  struct TagWrite {
    String Format, Start, Length, Bank, Data;
  };
  void AwaitTags(const String& copies, const std::string& unasked, const std::optional<lang::TagCounts>& before);
  drivers::TagLink TagLink();  // how the driver hears its printer of its tags
  RawChannel channel_;
  std::optional<TagWrite> tagWrite_;
  drivers::TagWatch watch_;
  uint64_t echoes_ = 0;  // labels sent with an echo
  std::vector<TagResult> results_;
};

}  // namespace morvel

// The driver for SATO printers: every drawing call appends SBPL to a UTF-8
// byte stream that starts with the job start ESC A; PrintLabel adds the
// quantity and the job end and writes the stream in one piece to the raw
// spooler channel. A text log of the same commands serves CommandPrint.
// BMP images go out whole; the EPC of RFID tags is written in the label.
#pragma once

#include "drivers/IPrn.h"
#include "drivers/shared/RawChannel.h"

namespace morvel {

class Sato : public PrnBase {
 public:
  Sato();

  PictureRef picBox() override { return picture_; }
  void picBox(PictureRef value) override { picture_ = std::move(value); }

  MORVEL_DRIVER_LABEL_CALLS(, override)
  void SendCmd(String& cmd) override;
  void DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) override;
  void DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) override;
  void DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) override;
  Integer FontType() override { return 1; }
  String CommandPrint() override { return CmdPrint; }
  void InitRFID(String&, String&, String&, String&, String&, String&) override {}
  void OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress,
              String& section) override;
  size_t CollectedBytes() const noexcept override { return CmdPrint.size() * sizeof(char16_t) + CmdBytes.Size(); }

  // Every command appended since the driver was created; never cleared.
  // Holds neither the ESC A job starts nor image data.
  String CmdPrint;
  // The label under construction as it will be sent.
  ByteArray CmdBytes;

 private:
  void Append(const String& text);
  void DrawBmpBytes(ByteArray& bytes, Single x, Single y);
  void SendRawBytes(const ByteArray& bytes);
  static String ToHexString(const String& text);

  RawChannel channel_;
  PictureRef picture_;
};

}  // namespace morvel

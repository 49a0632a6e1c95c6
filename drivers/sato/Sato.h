// The driver for SATO printers: every drawing call appends SBPL to a UTF-8
// byte stream that starts with the job start ESC A; PrintLabel adds the
// quantity and the job end and writes the stream in one piece to the raw
// spooler channel. A text log of the same commands serves CommandPrint.
// BMP images go out whole; the EPC of RFID tags is written in the label.
// Where the printer can answer (a socket:// one), a label that writes a tag
// asks the printer to keep the write's status (ESC RU), and PrintLabel
// waits until it has printed the label to ask for it (SOH RU).
#pragma once

#include <optional>

#include "drivers/IPrn.h"
#include "drivers/shared/RawChannel.h"
#include "drivers/shared/TagInquiry.h"

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
  std::vector<TagResult> TakeTagResults() override;

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
  void AwaitTag(const String& copies, const std::string& unasked, const std::optional<lang::TagCounts>& before);
  drivers::TagInquiryLink TagLink();  // how the driver asks its printer of its tags

  RawChannel channel_;
  PictureRef picture_;
  // The label's tag writes: where its first ESC IP0 starts in CmdBytes, and
  // the EPC of its last (the write the printer keeps the status of).
  std::optional<size_t> tagAt_;
  std::string tagEpc_;
  drivers::TagInquiry inquiry_;
  std::vector<TagResult> results_;
};

}  // namespace morvel

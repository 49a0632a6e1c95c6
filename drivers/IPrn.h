// IPrn: the one interface through which the control talks to a printer
// driver. Arguments are the host's own (by reference) or copies (by value),
// in host units; each driver converts them for its printer.
#pragma once

#include <vector>

#include "drivers/Brands.h"
#include "morvel/picture.h"
#include "morvel/tag_result.h"
#include "morvel/types.h"

// The calls that make a label, which every driver writes in its own way:
// IPrn declares them pure, each driver's class with
// MORVEL_DRIVER_LABEL_CALLS(, override).
#define MORVEL_DRIVER_LABEL_CALLS(PREFIX, SUFFIX)                                                               \
  PREFIX void OpenPort(String& printerName) SUFFIX;                                                             \
  PREFIX void ClosePort() SUFFIX;                                                                               \
  PREFIX void PrintLabel(String& copies) SUFFIX;                                                                \
  PREFIX void InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,        \
                        String& direction) SUFFIX;                                                              \
  PREFIX void PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) SUFFIX;            \
  PREFIX void PrintBar(Single& x, Single& y, Single width, Single height) SUFFIX;                               \
  PREFIX void PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height, \
                        String& zBar, String& kBar) SUFFIX;

namespace morvel {

class IPrn {
 public:
  virtual ~IPrn() = default;

  // An object the control never uses; only the Sato driver keeps it.
  virtual PictureRef picBox() = 0;
  virtual void picBox(PictureRef value) = 0;

  MORVEL_DRIVER_LABEL_CALLS(virtual, = 0)
  virtual void SendCmd(String& cmd) = 0;
  virtual void DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) = 0;
  virtual void DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) = 0;
  virtual void DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) = 0;
  virtual Integer FontType() = 0;
  virtual Integer RFIDType() = 0;
  virtual String CommandPrint() = 0;
  virtual void InitRFID(String& labelType, String& backfeed, String& readPower, String& writePower, String& wire,
                        String& tryNum) = 0;
  virtual void OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress,
                      String& section) = 0;

  // Not members of the printer interface but questions a host asks: the
  // printer family ("Orx", "Zebra", "Sato", "Dothan"), and the memory the
  // driver holds in collected command text and bytes.
  virtual const char* Family() const noexcept = 0;
  virtual size_t CollectedBytes() const noexcept { return 0; }
  // What the printer said of the RFID tags of the labels printed since the
  // last call, a result a label that writes a tag (tag_result.h).
  virtual std::vector<TagResult> TakeTagResults() { return {}; }
};

// The most command text a driver collects, in UTF-16 units (32 MiB), and the
// most label bytes: far beyond any label, and a bound on what one object can
// make a process hold. An append past it raises 7 and changes nothing.
constexpr size_t MaxCollectedText = size_t{16} << 20;
constexpr size_t MaxCollectedBytes = size_t{64} << 20;
// Raises 7 "Out of memory" when `held` + `more` passes `limit`; `what` names
// the collection and its unit for the description.
void CheckCollectedRoom(size_t held, size_t more, size_t limit, const char* what);

// What every driver shares: its brand's row (drivers/Brands.h), which
// gives its family and the RFID model behind RFIDType, and operations that
// raise 445 until the driver provides them.
class PrnBase : public IPrn {
 public:
  explicit PrnBase(const drivers::BrandRow& brand) : RFIDPrinters{String(brand.RfidModel)}, brand_(brand) {}

  const char* Family() const noexcept override { return brand_.Family; }

  PictureRef picBox() override { return nullptr; }
  void picBox(PictureRef) override {}

  void OpenPort(String&) override { Unsupported(); }
  void ClosePort() override { Unsupported(); }
  void PrintLabel(String&) override { Unsupported(); }
  void SendCmd(String&) override { Unsupported(); }
  void InitPrint(String&, String&, String&, String&, String&, String&, String&) override { Unsupported(); }
  void PrintFont(Single&, Single&, String&, Single&, String&) override { Unsupported(); }
  void PrintBar(Single&, Single&, Single, Single) override { Unsupported(); }
  void PrintCode(Single&, Single&, String&, String&, String&, Single&, String&, String&) override { Unsupported(); }
  void DrawImageFromFile(String, Single, Single, Single, Single) override { Unsupported(); }
  void DrawImageFromBase64(String, Single, Single, Single, Single) override { Unsupported(); }
  void DrawImageFromPicture(PictureRef, Single, Single, Single, Single) override { Unsupported(); }
  String CommandPrint() override { return String(); }
  // 0 without a CurrentPrinter, else whether its name holds an RFID model.
  Integer RFIDType() override;
  void InitRFID(String&, String&, String&, String&, String&, String&) override {}
  void OpRFID(String&, String&, String&, String&, String&, String&) override {}

  // The printer-model keywords for which RFIDType reports 1.
  std::vector<String> RFIDPrinters;

 protected:
  [[noreturn]] static void Unsupported() { throw AutomationError(errors::ActionNotSupported); }

 private:
  const drivers::BrandRow& brand_;
};

}  // namespace morvel

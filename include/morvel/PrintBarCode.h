// PrintBarCode: the one object a host sees. It keeps the printer catalogue,
// answers a few questions itself (version, units, text extents, installed
// label printers) and hands every label operation to the driver that
// SetPrint chose.
#pragma once

#include <memory>
#include <vector>

#include "morvel/PrintInfo.h"
#include "morvel/picture.h"
#include "morvel/types.h"

namespace morvel {

class IPrn;

class PrintBarCode {
 public:
  PrintBarCode();
  ~PrintBarCode();
  PrintBarCode(const PrintBarCode&) = delete;
  PrintBarCode& operator=(const PrintBarCode&) = delete;

  String GetVer();
  Integer GetDot(Single& pixels);
  Single textHeight(String& strbuf, String& fontName, Single& FontSize, Boolean& FontBold);
  Single TextWidth(String& strbuf, String& fontName, Single& FontSize, Boolean& FontBold);
  String GetPrintList();
  Integer SetPrint(String& printerName);
  void OpenPort(String& printerName);
  void ClosePort();
  void PrintLabel(String& copies);
  void SendCmd(String& cmd);
  void InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp, String& direction);
  void PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName);
  void PrintBar(Single& x, Single& y, Single& width, Single& height);
  void PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height, String& zBar,
                 String& kBar);
  String CommandPrint();
  Integer FontType();
  Integer RFIDType();
  void InitRFID(String& labelType, String& backfeed, String& readPower, String& writePower, String& wire,
                String& tryNum);
  void OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress,
              String& section);
  void PrintList(String& vNewValue);
  void DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height);
  void DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height);
  void DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height);

  // The brand table every new control starts with.
  static const char16_t* const DefaultBrandTable;

  // For hosts and tests that look inside: the catalogue in order, and the
  // current driver (none until SetPrint chose one).
  const std::vector<std::shared_ptr<PrintInfo>>& Catalogue() const noexcept { return catalogue_; }
  IPrn* CurrentDriver() const noexcept { return currentDriver_.get(); }

 private:
  IPrn& Driver();
  Single MeasureText(bool height, String& strbuf, String& fontName, Single& fontSize, Boolean& fontBold);
  void SelectCurrentPrinter(const String& name);

  std::vector<std::shared_ptr<PrintInfo>> catalogue_;
  std::unique_ptr<IPrn> currentDriver_;
  // The control's own font, as the last text measurement left it.
  std::string fontName_ = "MS Sans Serif";
  Single fontSize_ = 8.25f;
  Boolean fontBold_ = false;
};

}  // namespace morvel

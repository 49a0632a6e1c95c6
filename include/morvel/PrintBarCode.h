// PrintBarCode: the one object a host sees. It keeps the printer catalogue,
// answers a few questions itself (version, units, text extents, installed
// label printers) and hands every label operation to the driver that
// SetPrint chose.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "morvel/PrintInfo.h"
#include "morvel/picture.h"
#include "morvel/tag_result.h"
#include "morvel/types.h"

namespace morvel {

class IPrn;

// Text that a C++ host passes by value: UTF-16 (u"..."), UTF-8 ("..." or
// std::string_view), or a number written as text with the user's decimal
// separator, as a call script's bare token would be.
class Text {
 public:
  Text(String text) : value_(std::move(text)) {}
  Text(const char16_t* text) : value_(text) {}
  Text(std::string_view utf8) : value_(FromUtf8(utf8)) {}
  Text(const char* utf8) : value_(FromUtf8(utf8)) {}
  Text(const std::string& utf8) : value_(FromUtf8(utf8)) {}
  Text(int number);
  Text(double number);
  String& Value() noexcept { return value_; }

 private:
  String value_;
};

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
  void OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress, String& section);
  void PrintList(String& vNewValue);
  void DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height);
  void DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height);
  void DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height);
  // The members of the second interface (_PrintBarCode2 on Windows).
  // TagResults: TakeTagResults as text, a DescribeWithReason line a label,
  // joined by CR LF; empty when there are none. EpcEncode: an RFID tag's EPC
  // in hexadecimal (codec/epc/Epc.h), from a tag URI when scheme is empty
  // (filter and prefixLength are not read then), else from an element
  // string or pure-identity URI in that scheme. EpcDecode: the tag URI, the
  // pure-identity URI and the GS1 element string, joined by CR LF. Input the
  // standard refuses raises error 5 with the rule it breaks.
  String TagResults();
  String EpcEncode(Text input, Text scheme, Integer filter, Integer prefixLength);
  String EpcDecode(Text hex);

  // Value forms for C++ hosts, so that a program reads like a call script:
  //   pb.SetPrint("ZDesigner GK420t"); pb.PrintFont(10, 20, "ABC", 12, "F1.TTF");
  // Each copies its arguments and calls the member above (with variables
  // of the exact types, the by-reference member is chosen and writes back).
  Integer GetDot(const Single& pixels);
  Single textHeight(Text strbuf, Text fontName, const Single& FontSize, const Boolean& FontBold);
  Single TextWidth(Text strbuf, Text fontName, const Single& FontSize, const Boolean& FontBold);
  Integer SetPrint(Text printerName);
  void OpenPort(Text printerName);
  void PrintLabel(Text copies);
  void SendCmd(Text cmd);
  void InitPrint(Text wide, Text height, Text speed, Text nd, Text cz, Text sp, Text direction);
  void PrintFont(const Single& x, const Single& y, Text txt, const Single& height, Text fontName);
  void PrintBar(const Single& x, const Single& y, const Single& width, const Single& height);
  void PrintCode(const Single& x, const Single& y, Text code, Text codeType, Text Readable, const Single& height,
                 Text zBar, Text kBar);
  void InitRFID(Text labelType, Text backfeed, Text readPower, Text writePower, Text wire, Text tryNum);
  void OpRFID(Text operate, Text data, Text dataType, Text dataLen, Text startAddress, Text section);
  void PrintList(Text vNewValue);
  void DrawImageFromFile(std::string_view imageFileUtf8, Single x, Single y, Single width, Single height);
  void DrawImageFromBase64(std::string_view imageBase64, Single x, Single y, Single width, Single height);

  // The brand table every new control starts with.
  static const char16_t* const DefaultBrandTable;

  // For hosts and tests that look inside: the catalogue in order, and the
  // current driver (none until SetPrint chose one).
  const std::vector<std::shared_ptr<PrintInfo>>& Catalogue() const noexcept { return catalogue_; }
  IPrn* CurrentDriver() const noexcept { return currentDriver_.get(); }
  // The current driver's printer family ("Orx", "Zebra", "Sato", "Dothan"),
  // empty before SetPrint; and the memory its collected commands hold.
  const char* CurrentFamily() const noexcept;
  size_t CollectedBytes() const noexcept;
  // What the printer said of the RFID tag of each label printed since the
  // last call that writes one, in order (tag_result.h). PrintLabel waits
  // for the printer's word, within its bounds, before it returns.
  std::vector<TagResult> TakeTagResults();
  const std::vector<TagResult>& PendingTagResults() const noexcept { return tagResults_; }

 private:
  IPrn& Driver();
  Single MeasureText(bool height, String& strbuf, String& fontName, Single& fontSize, Boolean& fontBold);
  void SelectCurrentPrinter(const String& name);

  std::vector<std::shared_ptr<PrintInfo>> catalogue_;
  std::unique_ptr<IPrn> currentDriver_;
  // The printer the current driver opened and has not closed: closed by the
  // destructor when the host forgot to.
  std::optional<String> openPort_;
  std::vector<TagResult> tagResults_;
  uint32_t tagLabels_ = 0;
  // The control's own font, as the last text measurement left it.
  std::string fontName_ = "MS Sans Serif";
  Single fontSize_ = 8.25f;
  Boolean fontBold_ = false;
};

}  // namespace morvel

// The value forms of PrintBarCode's members for C++ hosts: each copies its
// arguments into variables and calls the by-reference member.
#include "drivers/Numbers.h"
#include "morvel/PrintBarCode.h"

namespace morvel {

Text::Text(int number) : value_(numbers::FormatInteger(number)) {}
Text::Text(double number) : value_(numbers::FormatDouble(number)) {}

Integer PrintBarCode::GetDot(const Single& pixels) {
  Single p = pixels;
  return GetDot(p);
}

Single PrintBarCode::textHeight(Text strbuf, Text fontName, const Single& FontSize, const Boolean& FontBold) {
  Single size = FontSize;
  Boolean bold = FontBold;
  return textHeight(strbuf.Value(), fontName.Value(), size, bold);
}

Single PrintBarCode::TextWidth(Text strbuf, Text fontName, const Single& FontSize, const Boolean& FontBold) {
  Single size = FontSize;
  Boolean bold = FontBold;
  return TextWidth(strbuf.Value(), fontName.Value(), size, bold);
}

Integer PrintBarCode::SetPrint(Text printerName) { return SetPrint(printerName.Value()); }
void PrintBarCode::OpenPort(Text printerName) { OpenPort(printerName.Value()); }
void PrintBarCode::PrintLabel(Text copies) { PrintLabel(copies.Value()); }
void PrintBarCode::SendCmd(Text cmd) { SendCmd(cmd.Value()); }
void PrintBarCode::PrintList(Text vNewValue) { PrintList(vNewValue.Value()); }

void PrintBarCode::InitPrint(Text wide, Text height, Text speed, Text nd, Text cz, Text sp, Text direction) {
  InitPrint(wide.Value(), height.Value(), speed.Value(), nd.Value(), cz.Value(), sp.Value(), direction.Value());
}

void PrintBarCode::PrintFont(const Single& x, const Single& y, Text txt, const Single& height, Text fontName) {
  Single px = x, py = y, h = height;
  PrintFont(px, py, txt.Value(), h, fontName.Value());
}

void PrintBarCode::PrintBar(const Single& x, const Single& y, const Single& width, const Single& height) {
  Single px = x, py = y, w = width, h = height;
  PrintBar(px, py, w, h);
}

void PrintBarCode::PrintCode(const Single& x, const Single& y, Text code, Text codeType, Text Readable,
                             const Single& height, Text zBar, Text kBar) {
  Single px = x, py = y, h = height;
  PrintCode(px, py, code.Value(), codeType.Value(), Readable.Value(), h, zBar.Value(), kBar.Value());
}

void PrintBarCode::InitRFID(Text labelType, Text backfeed, Text readPower, Text writePower, Text wire, Text tryNum) {
  InitRFID(labelType.Value(), backfeed.Value(), readPower.Value(), writePower.Value(), wire.Value(), tryNum.Value());
}

void PrintBarCode::OpRFID(Text operate, Text data, Text dataType, Text dataLen, Text startAddress, Text section) {
  OpRFID(operate.Value(), data.Value(), dataType.Value(), dataLen.Value(), startAddress.Value(), section.Value());
}

void PrintBarCode::DrawImageFromFile(std::string_view imageFileUtf8, Single x, Single y, Single width, Single height) {
  DrawImageFromFile(FromUtf8(imageFileUtf8), x, y, width, height);
}

void PrintBarCode::DrawImageFromBase64(std::string_view imageBase64, Single x, Single y, Single width, Single height) {
  DrawImageFromBase64(FromUtf8(imageBase64), x, y, width, height);
}

}  // namespace morvel

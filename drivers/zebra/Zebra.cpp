// ZPL label commands and ZPL RFID encoding.
#include "drivers/zebra/Zebra.h"

#include <cmath>

#include "control/Units.h"
#include "control/Numbers.h"
#include "platform/services.h"

namespace morvel {
namespace {

constexpr auto Px = Module1::PixelDotsText;
constexpr auto Pt = Module1::PointDotsText;
constexpr auto Mm = Module1::MillimetreDotsText;

// kBar / zBar as a double division: 0/0 overflows, x/0 divides by zero.
double BarRatio(const String& kBar, const String& zBar) {
  double wide = numbers::TextToDouble(kBar);
  double narrow = numbers::TextToDouble(zBar);
  if (narrow == 0) throw AutomationError(wide == 0 ? errors::Overflow : errors::DivisionByZero);
  double ratio = wide / narrow;
  if (!std::isfinite(ratio)) throw AutomationError(errors::Overflow);
  return ratio;
}

}  // namespace

Zebra::Zebra() : PrnBase(u"ZDesigner ZT410R") {}

void Zebra::Collect(std::u16string_view piece) {
  CheckCollectedRoom(CmdPrint.size(), piece.size(), MaxCollectedText, "the label's command text (UTF-16 units)");
  CmdPrint += piece;
}

void Zebra::OpenPort(String& printerName) { channel_.Open(printerName); }

void Zebra::ClosePort() { channel_.Close(); }

void Zebra::PrintLabel(String& copies) {
  String label;
  label.reserve(CmdPrint.size() + copies.size() + 10);
  label += u"^XA";
  label += CmdPrint;
  label += u"^PQ";
  label += copies;
  label += u"^XZ";
  SendRaw(label);
  CmdPrint.clear();
}

void Zebra::SendRaw(const String& text) {
  if (!channel_.IsOpen()) return;
  channel_.Write(platform::Ansi().FromUnicode(text));
}

void Zebra::SendCmd(String& cmd) { Collect(cmd); }

void Zebra::InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,
                      String& direction) {
  String piece;
  piece.reserve(64);
  piece += u"^JMA^PW";
  piece += Mm(numbers::TextToInteger(wide));
  piece += u"^PR";
  piece += speed;
  piece += u",2,A~SD";
  piece += numbers::FormatInteger(numbers::ToInteger(numbers::TextToInteger(nd) * 2.0));
  piece += u"^LH";
  piece += Mm(numbers::TextToSingle(sp));
  piece += u",";
  piece += Mm(numbers::TextToSingle(cz));
  piece += u"^PO";
  piece += direction == u"0" ? u"N" : u"I";
  Collect(piece);
}

void Zebra::PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) {
  String piece;
  piece.reserve(64 + txt.size() + fontName.size());
  piece += u"^FO";
  piece += Px(x);
  piece += u",";
  piece += Px(y);
  piece += u",0^CI26^SEE:GB18030.DAT^A@N,";
  String h = Pt(height);
  piece += h;
  piece += u",";
  piece += h;
  piece += u",E:";
  piece += fontName;
  piece += u"^FD";
  piece += txt;
  piece += u"^FS";
  Collect(piece);
}

void Zebra::PrintBar(Single& x, Single& y, Single width, Single height) {
  String piece;
  piece.reserve(48);
  piece += u"^FO";
  piece += Px(x);
  piece += u",";
  piece += Px(y);
  piece += u"^GB";
  piece += Px(width);
  piece += u",";
  piece += Px(height);
  piece += u",1^FS";
  Collect(piece);
}

void Zebra::PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height,
                      String& zBar, String& kBar) {
  String piece;
  piece.reserve(64 + code.size());
  if (codeType == u"128") {
    piece += u"^FO";
    piece += Px(x);
    piece += u",";
    piece += Px(y);
    piece += u"^BY2,";
    piece += numbers::FormatDouble(BarRatio(kBar, zBar));
    piece += u"^BCN,";
    piece += Px(height);
    piece += u",";
    piece += Readable == u"0" ? u"N" : u"Y";
    piece += u",N^FD";
    piece += code;
    piece += u"^FS";
  } else if (codeType == u"QRCODE") {
    piece += u"^FO";
    piece += Px(x);
    piece += u",";
    piece += Px(y);
    piece += u"^BQN,2,";
    piece += numbers::FormatSingle(height);
    piece += u"^FDQA,";
    piece += code;
    piece += u"^FS";
  } else {
    return;
  }
  Collect(piece);
}

void Zebra::InitRFID(String& labelType, String& backfeed, String& readPower, String& writePower, String& wire,
                     String& tryNum) {
  Collect(u"^RS" + labelType + u"," + backfeed + u"^RW" + readPower + u"," + writePower + u"," + wire + u"^RR" +
              tryNum);
}

void Zebra::OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress,
                   String& section) {
  Collect(u"^RF" + operate + u"," + dataType + u"," + startAddress + u"," + dataLen + u"," + section + u"^FD00" +
              data + u"^FS");
}

}  // namespace morvel

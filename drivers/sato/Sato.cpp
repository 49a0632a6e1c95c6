// SBPL label commands, BMP images and EPC writing for SATO printers.
#include "drivers/sato/Sato.h"

#include "control/Units.h"
#include "control/Conversions.h"
#include "control/Numbers.h"
#include "morvel/clsBase64.h"
#include "platform/files.h"
#include "platform/services.h"

namespace morvel {
namespace {

constexpr char16_t Esc = u'\x1B';

const String JobStart = String(1, Esc) + u"A";

Integer PxDots(Single value) {
  Integer unit = Module1::UnitPixels;
  return Module1::ConvertToDots(value, unit);
}
constexpr auto Px = Module1::PixelDotsText;
constexpr auto Pt = Module1::PointDotsText;
constexpr auto Mm = Module1::MillimetreDotsText;

String E(const char16_t* command) { return String(1, Esc) + command; }

// ESC %0 ESC H x ESC V y: the start of every placed field.
String Place(Single x, Single y) {
  String s = E(u"%0") + E(u"H");
  s += Px(x);
  s += E(u"V");
  s += Px(y);
  return s;
}

}  // namespace

Sato::Sato() : PrnBase(u"SATO CL4NX"), CmdBytes(Module2::StringToUtf8Bytes(JobStart)) {}

void Sato::Append(const String& text) {
  ByteArray bytes = Module2::StringToUtf8Bytes(text);
  // Both limits before either collection changes, so a refused append keeps
  // the log and the label as they were.
  CheckCollectedRoom(CmdPrint.size(), text.size(), MaxCollectedText, "the printer's command log (UTF-16 units)");
  CheckCollectedRoom(CmdBytes.Size(), bytes.Size(), MaxCollectedBytes,
                     "the label's bytes");
  // The bytes first: when they cannot be appended (empty text) nothing changes.
  Module2::AppendBytes(CmdBytes, bytes);
  CmdPrint += text;
}

void Sato::OpenPort(String& printerName) { channel_.Open(printerName); }

void Sato::ClosePort() { channel_.Close(); }

void Sato::PrintLabel(String& copies) {
  String end = E(u"Q");
  end += copies;
  end += E(u"Z");
  Append(end);
  SendRawBytes(CmdBytes);
  CmdBytes = Module2::StringToUtf8Bytes(JobStart);
}

void Sato::SendRawBytes(const ByteArray& bytes) {
  if (!channel_.IsOpen()) return;
  channel_.Write(bytes.Data(), bytes.Size());
}

void Sato::SendCmd(String& cmd) { Append(cmd); }

void Sato::InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,
                     String& direction) {
  String t = E(u"A3V+");
  t += Mm(numbers::TextToSingle(cz));
  t += u"H+";
  t += Mm(numbers::TextToSingle(sp));
  t += E(u"CS");
  t += numbers::FormatInteger(numbers::TextToInteger(speed));
  t += E(u"#F");
  t += numbers::FormatInteger(numbers::TextToInteger(nd) / 2);  // integer division, remainder dropped
  t += E(u"A1V");
  t += Mm(numbers::TextToInteger(height));
  t += u"H";
  t += Mm(numbers::TextToInteger(wide));
  Append(t);
}

void Sato::PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) {
  String t = Place(x, y);
  t += E(u"P02") + E(u"RG0,6,2,");
  String h = Pt(height);
  t += h;
  t += u",";
  t += h;
  t += u",";
  t += txt;
  Append(t);
}

void Sato::PrintBar(Single& x, Single& y, Single width, Single height) {
  String t = Place(x, y);
  if (height == 1) {
    t += E(u"FW02H");
    t += Px(width);
  } else {
    t += E(u"FW02V");
    t += Px(height);
  }
  Append(t);
}

void Sato::PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height,
                     String& zBar, String& kBar) {
  if (codeType == u"128") {
    Integer top = PxDots(y);
    Integer tall = PxDots(height);
    String digits = u"0" + numbers::FormatInteger(tall);
    String t = Place(x, y);
    t += E(u"BG02");
    t += digits.substr(digits.size() >= 3 ? digits.size() - 3 : 0);
    t += u">H";
    t += code;
    Append(t);
    // The human-readable line comes after the bars are in: a bad Readable or
    // an overflowing position raises with the barcode kept.
    if (numbers::TextToDouble(Readable) != 1) return;
    Integer below = numbers::ToInteger(numbers::ToInteger(static_cast<double>(top) + tall) + 3.0);
    String line = E(u"%0") + E(u"H");
    line += Px(x);
    line += E(u"V");
    line += numbers::FormatInteger(below);
    line += E(u"P02") + E(u"RDB@0,025,025,");
    line += code;
    Append(line);
  } else if (codeType == u"QRCODE") {
    String t = Place(x, y);
    t += E(u"2D30,L,");
    t += numbers::FormatSingle(height);
    t += u",1,0";
    t += E(u"DN");
    // The count of the bytes that follow, as they go out (UTF-8), so the
    // printer neither cuts nor pads text beyond ASCII.
    t += numbers::FormatInteger(static_cast<long long>(ToUtf8(code).size()));
    t += u",";
    t += code;
    Append(t);
  }
}

void Sato::DrawBmpBytes(ByteArray& bytes, Single x, Single y) {
  long count = bytes.UBound() - bytes.LBound() + 1;
  if (count <= 0) throw AutomationError(errors::SubscriptOutOfRange);
  String header = E(u"H");
  header += Px(x);
  header += E(u"V");
  header += Px(y);
  header += E(u"GM");
  header += numbers::FormatInteger(count);
  header += u",";
  // Room is checked and reserved first, so that appending the image cannot
  // fail half-way.
  CheckCollectedRoom(CmdBytes.Size(), header.size() * 3 + static_cast<size_t>(count), MaxCollectedBytes,
                     "the label's bytes");
  CmdBytes.Bytes().reserve(CmdBytes.Size() + header.size() + static_cast<size_t>(count));
  Append(header);
  Module2::AppendBytes(CmdBytes, bytes);
}

void Sato::DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) {
  std::vector<uint8_t> content = platform::ReadWholeFile(platform::FileSystemPath(imageFile));
  if (content.empty()) throw AutomationError(errors::SubscriptOutOfRange);
  ByteArray bytes(std::move(content));
  DrawBmpBytes(bytes, x, y);
}

void Sato::DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) {
  clsBase64 decoder;
  ByteArray bytes = decoder.Base64Decode(std::move(imageBase64));
  DrawBmpBytes(bytes, x, y);
}

void Sato::DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) {
  ByteArray bytes = Module2::PictureToBytes(pic);
  DrawBmpBytes(bytes, x, y);
}

String Sato::ToHexString(const String& text) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  std::string bytes = platform::Ansi().FromUnicode(text);
  String hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    // Always two digits: a single digit for a byte below 0x10 would shift
    // every digit after it and write a wrong EPC.
    hex.push_back(digits[b >> 4]);
    hex.push_back(digits[b & 15]);
  }
  return hex;
}

void Sato::OpRFID(String& operate, String& data, String& dataType, String& dataLen, String& startAddress,
                  String& section) {
  Append(E(u"IP0e:h,epc:") + ToHexString(data) + u";");
}

}  // namespace morvel

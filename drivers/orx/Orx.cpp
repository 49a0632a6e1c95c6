// The Orx driver over liborxlib.so. Host strings cross into the library in
// the ANSI code page and come back into the host's variable the same way.
#include "drivers/orx/Orx.h"

#include <cstdint>
#include <string>

#include "drivers/Conversions.h"
#include "drivers/Numbers.h"
#include "drivers/Units.h"
#include "lang/tspl/Writer.h"
#include "morvel/clsBase64.h"
#include "orxlib/orxlib.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/services.h"
#include "platform/shared_library.h"
#include "platform/temp_file.h"

namespace morvel {
namespace {

namespace tspl = lang::tspl;

constexpr int EntryPointNotFound = 453;
// liborxlib.so on Linux, orxlib.dll on Windows.
const std::string& LibraryFile() {
  static const std::string file = platform::LibraryFileName("orxlib");
  return file;
}

void* Library() {
  static void* handle = nullptr;  // loaded once per process, kept
  if (handle == nullptr) {
    std::string error;
    handle = platform::LoadSharedLibrary(reinterpret_cast<const void*>(&Library), LibraryFile(), error);
    if (handle == nullptr) {
      platform::Logger().Record("Orx driver: " + error);
      throw AutomationError(errors::FileNotFound, std::string("File not found: ") + LibraryFile());
    }
  }
  return handle;
}

// The library's calling convention: the Windows standard one in orxlib.dll.
using Fn0 = int32_t(ORXLIB_CALL*)();
using Fn1 = int32_t(ORXLIB_CALL*)(const char*);
using Fn2 = int32_t(ORXLIB_CALL*)(const char*, const char*);
using Fn7 = int32_t(ORXLIB_CALL*)(const char*, const char*, const char*, const char*, const char*, const char*,
                                  const char*);
using Fn9 = int32_t(ORXLIB_CALL*)(const char*, const char*, const char*, const char*, const char*, const char*,
                                  const char*, const char*, const char*);
using FontFn = int32_t(ORXLIB_CALL*)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*);

// Each entry point is looked up on its own first call and kept; the tag
// gives every entry point its own slot.
template <int Tag, class Fn>
Fn Bound(const char* name) {
  static Fn function = nullptr;
  if (function == nullptr) {
    function = reinterpret_cast<Fn>(platform::FindEntryPoint(Library(), name));
    if (function == nullptr)
      throw AutomationError(EntryPointNotFound,
                            std::string("Can't find DLL entry point ") + name + " in " + LibraryFile());
  }
  return function;
}

// A host string as the library gets it; WriteBack stores the text as it
// comes back through the code page into the host's variable.
class AnsiArg {
 public:
  explicit AnsiArg(String& host) : host_(&host), bytes_(platform::Ansi().FromUnicode(host)) {}
  explicit AnsiArg(const String& value) : bytes_(platform::Ansi().FromUnicode(value)) {}
  const char* c_str() const { return bytes_.c_str(); }
  void WriteBack() {
    if (host_ != nullptr) *host_ = platform::Ansi().ToUnicode(bytes_);
  }

 private:
  String* host_ = nullptr;
  std::string bytes_;
};

constexpr auto Px = Module1::PixelDotsText;

Integer Dots(Single value, Integer unit) { return Module1::ConvertToDots(value, unit); }

void SendCommand(const String& line) {
  AnsiArg text(line);
  Bound<1, Fn1>("sendcommand")(text.c_str());
}

void ClearBuffer() { Bound<2, Fn0>("clearbuffer")(); }

}  // namespace

Orx::Orx() : PrnBase(drivers::OrxBrand) {}

void Orx::OpenPort(String& printerName) {
  AnsiArg name(printerName);
  Bound<3, Fn1>("openport")(name.c_str());
  name.WriteBack();
}

void Orx::ClosePort() { Bound<4, Fn0>("closeport")(); }

void Orx::InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,
                    String& direction) {
  AnsiArg w(wide), h(height), s(speed), d(nd), c(cz), p(sp);
  Bound<5, Fn7>("setup")(w.c_str(), h.c_str(), s.c_str(), d.c_str(), "0", c.c_str(), p.c_str());
  for (AnsiArg* arg : {&w, &h, &s, &d, &c, &p}) arg->WriteBack();
  SendCommand(tspl::Line<char16_t>(tspl::Direction, {direction == u"0" ? u"1" : u"0", u"0"}));
  ClearBuffer();
}

void Orx::PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) {
  Integer px = Module1::UnitPixels, pt = Module1::UnitPoints;
  int32_t dx = Dots(x, px), dy = Dots(y, px), dh = Dots(height, pt);
  AnsiArg face(fontName), text(txt);
  Bound<6, FontFn>("windowsfont")(dx, dy, dh, 0, 2, 0, face.c_str(), text.c_str());
  face.WriteBack();
  text.WriteBack();
}

void Orx::PrintBar(Single& x, Single& y, Single width, Single height) {
  SendCommand(tspl::Line<char16_t>(tspl::Bar, {Px(x), Px(y), Px(width), Px(height)}));
}

void Orx::PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height,
                    String& zBar, String& kBar) {
  if (codeType == u"128") {
    String dx = Px(x), dy = Px(y), dh = Px(height);
    AnsiArg ax(dx), ay(dy), type(codeType), ah(dh), readable(Readable), narrow(zBar), wide(kBar), content(code);
    Bound<7, Fn9>("barcode")(ax.c_str(), ay.c_str(), type.c_str(), ah.c_str(), readable.c_str(), "0", narrow.c_str(),
                             wide.c_str(), content.c_str());
    for (AnsiArg* arg : {&content, &type, &readable, &narrow, &wide}) arg->WriteBack();
  } else if (codeType == u"QRCODE") {
    SendCommand(tspl::Line<char16_t>(tspl::QrCode, {Px(x), Px(y), u"H", numbers::FormatSingle(height), u"A", u"0",
                                                    u"M2", u"S7", u"\"" + code + u"\""}));
  }
}

void Orx::PrintLabel(String& copies) {
  AnsiArg count(copies);
  Bound<8, Fn2>("printlabel")("1", count.c_str());
  count.WriteBack();
  ClearBuffer();
}

void Orx::SendCmd(String& cmd) {
  AnsiArg text(cmd);
  Bound<1, Fn1>("sendcommand")(text.c_str());
  text.WriteBack();
}

void Orx::SendImageFile(const std::string& ansiPath, Single x, Single y) {
  // The placement line first, so an overflowing position raises before
  // anything reaches the printer.
  String place = tspl::Line<char16_t>(tspl::PutBmp, {Px(x), Px(y), u"\"TEST.BMP\""});
  if (Bound<9, Fn2>("downloadpcx")(ansiPath.c_str(), "TEST.BMP") == 0) return;
  SendCommand(place);
}

void Orx::SendImageBytes(const ByteArray& bytes, Single x, Single y) {
  // The driver's own file, not a host's path: not confined to the folders a
  // host may name, and read by liborxlib through the descriptor it was
  // written with.
  platform::OwnTempFile file(platform::NativePath(Module1::GetTempFolder()), "ORXTEST", ".BMP",
                             bytes.IsAllocated() ? bytes.Data() : nullptr, bytes.IsAllocated() ? bytes.Size() : 0);
  SendImageFile(platform::Ansi().FromUnicode(FromUtf8(file.Path())), x, y);
}

void Orx::DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) {
  if (!platform::HostPathsConfined()) {
    SendImageFile(platform::Ansi().FromUnicode(imageFile), x, y);
    return;
  }
  // Confined, the file is read here, beneath its allowed folder, and orxlib
  // gets a copy of the driver's own: on Windows orxlib.dll opens paths
  // through its own copy of the platform layer, which knows nothing of the
  // folders the host allowed.
  std::vector<uint8_t> bytes;
  try {
    bytes = platform::ReadWholeFile(platform::FileSystemPath(imageFile));
  } catch (const AutomationError& e) {
    // What downloadpcx says of a file it cannot read, and sends nothing.
    platform::Logger().Record("downloadpcx: " + ToUtf8(imageFile) + ": " + e.Description());
    platform::MessageSink& messages = *platform::Current().Messages;
    if (e.Number() == errors::DeviceIoError)
      messages.Show("Read File Message", "File read unsuccessfully");
    else
      messages.Show("Error Message", e.Number() == errors::OutOfMemory ? "Out of memory" : "Could not open file");
    return;
  }
  SendImageBytes(ByteArray(std::move(bytes)), x, y);
}

void Orx::DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) {
  clsBase64 decoder;
  ByteArray bytes = decoder.Base64Decode(std::move(imageBase64));
  SendImageBytes(bytes, x, y);
}

void Orx::DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) {
  ByteArray bytes = Module2::PictureToBytes(pic);
  SendImageBytes(bytes, x, y);
}

}  // namespace morvel

// Dothan labels as drawing calls: host units to millimetres (pixels at the
// screen's resolution, points at 72 an inch), millimetres to the library's
// hundredths.
#include "drivers/dothan/Dothan.h"

#include <cmath>
#include <cstdint>

#include "drivers/Conversions.h"
#include "drivers/Numbers.h"
#include "drivers/Units.h"
#include "drivers/dothan/LabelPrintLibrary.h"
#include "morvel/clsBase64.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/services.h"
#include "platform/temp_file.h"

namespace morvel {
namespace {

using dothan::BindingFailure;

Double MmPx(Single value) {
  Integer unit = Module1::UnitPixels;
  return Module1::ConvertToMillimetres(value, unit);
}

Double MmPt(Single value) {
  Integer unit = Module1::UnitPoints;
  return Module1::ConvertToMillimetres(value, unit);
}

// A sum in single precision, as the host's arithmetic does it; past the
// range of a Single it is the overflow error.
Single SingleSum(Single a, Single b) {
  Single sum = a + b;
  if (!std::isfinite(sum) && std::isfinite(a) && std::isfinite(b)) throw AutomationError(errors::Overflow);
  return sum;
}

// Millimetres in the library's hundredths, halves to even.
int32_t ApiUnits(Double mm) {
  const double v = numbers::RoundHalfEven(mm * 100);
  if (!(v >= INT32_MIN && v <= INT32_MAX))
    throw BindingFailure("a length of " + std::to_string(mm) + " mm does not fit the library's 32-bit hundredths");
  return static_cast<int32_t>(v);
}

std::string Ansi(const String& text) { return platform::Ansi().FromUnicode(text); }

// Runs one binding routine; every failure ends it. The caller hears nothing
// (the library's own results are never looked at either), the log does.
template <class F>
bool Bound(const char* function, F&& call) {
  try {
    call();
    return true;
  } catch (const std::exception& e) {
    platform::Logger().Record(std::string("Dothan: ") + function + " was not called: " + e.what());
  } catch (...) {
    platform::Logger().Record(std::string("Dothan: ") + function + " was not called");
  }
  return false;
}

int Orientation(const String& direction) {
  if (direction == u"1") return 180;
  if (direction == u"2") return 90;
  if (direction == u"3") return 270;
  return 0;
}

constexpr int Code128Type = 28;
constexpr int ImageThreshold = 192;

}  // namespace

Dothan::Dothan() : PrnBase(drivers::DothanBrand) {}

void Dothan::OpenPort(String& printerName) { OpenLabelPrinter(printerName); }

void Dothan::ClosePort() { CloseLabelPrinter(); }

void Dothan::InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,
                       String& direction) {
  LabelWidth = numbers::TextToDouble(wide);
  const int orientation = Orientation(direction);
  BeginJob(LabelWidth, numbers::TextToDouble(height), orientation, u"BarCodeDothan");
  BeginPage();
}

void Dothan::PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) {
  // One point larger than asked, and a box 1 mm taller than the font.
  const Double h = MmPt(SingleSum(height, 1));
  DrawTextBox(txt, MmPx(x), MmPx(y), LabelWidth, h + 1, fontName, h, 0);
}

void Dothan::PrintBar(Single& x, Single& y, Single width, Single height) {
  // A bar one pixel thin is a line along its length; any other bar is its
  // diagonal.
  if (width == 1) width = 0;
  if (height == 1) height = 0;
  const Single right = SingleSum(x, width), bottom = SingleSum(y, height);
  DrawLineMm(MmPx(x), MmPx(y), MmPx(right), MmPx(bottom), 0.4);
}

void Dothan::PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height,
                       String& zBar, String& kBar) {
  if (codeType == u"128") {
    const Single wide = numbers::TextToSingle(kBar);
    DrawBarcode1D(code, Code128Type, MmPx(x), MmPx(y), MmPx(wide), MmPx(height), 3.0);
  } else if (codeType == u"QRCODE") {
    // The height times 1.75 is taken as millimetres as it stands.
    const Double side = static_cast<Double>(height) * 1.75;
    DrawQRCode(code, MmPx(x), MmPx(y), side, side);
  }
}

void Dothan::DrawImageFromFile(String imageFile, Single x, Single y, Single width, Single height) {
  if (!platform::HostPathsConfined()) {
    DrawImageFile(imageFile, MmPx(x), MmPx(y), MmPx(width), MmPx(height), ImageThreshold);
    return;
  }
  // Confined, the file is read here, beneath its allowed folder, and the
  // vendor's library, which opens what it is given on its own, gets a copy
  // of the driver's own under the same extension.
  std::vector<uint8_t> bytes;
  try {
    bytes = platform::ReadWholeFile(platform::FileSystemPath(imageFile));
  } catch (const AutomationError& e) {
    // As the library draws nothing for a file it cannot open.
    platform::Logger().Record("LPADrawImage: " + ToUtf8(imageFile) + ": " + e.Description());
    return;
  }
  const size_t dot = imageFile.find_last_of(u'.');
  const size_t slash = imageFile.find_last_of(u"\\/");
  const std::string suffix =
      dot != String::npos && (slash == String::npos || dot > slash) ? ToUtf8(imageFile.substr(dot)) : ".BMP";
  platform::OwnTempFile copy(platform::NativePath(Module1::GetTempFolder()), "LPAIMAGE", suffix, bytes.data(),
                             bytes.size());
  DrawImageFile(FromUtf8(copy.Path()), MmPx(x), MmPx(y), MmPx(width), MmPx(height), ImageThreshold);
}

void Dothan::DrawImageFromBase64(String imageBase64, Single x, Single y, Single width, Single height) {
  ByteArray bytes;
  {
    clsBase64 decoder;
    bytes = decoder.Base64Decode(std::move(imageBase64));
  }
  PictureRef picture = Module2::PictureFromBytes(bytes);
  // Bytes that hold no picture leave none, whose handle cannot be read.
  if (!picture) throw AutomationError(errors::ObjectNotSet);
  DrawBitmapHandle(picture->Handle(), MmPx(x), MmPx(y), MmPx(width), MmPx(height), ImageThreshold);
}

void Dothan::DrawImageFromPicture(PictureRef pic, Single x, Single y, Single width, Single height) {
  if (!pic) throw AutomationError(errors::ObjectNotSet);
  const uint32_t handle = pic->Handle();
  DrawBitmapHandle(handle, MmPx(x), MmPx(y), MmPx(width), MmPx(height), ImageThreshold);
}

void Dothan::PrintLabel(String& copies) {
  // One label per call whatever the copies: the next needs a new InitPrint.
  FinishPage();
  CommitLabelJob();
}

void Dothan::OpenLabelPrinter(const String& name) {
  try {
    dothan::Call("LPAOpenPrinter", Ansi(name).c_str());
  } catch (const std::exception& e) {
    // The one failure a host is told of: the library cannot be reached.
    platform::Logger().Record(std::string("Dothan: LPAOpenPrinter was not called: ") + e.what());
    platform::ShowMessage(e.what());
  }
}

void Dothan::CloseLabelPrinter() {
  Bound("LPAClosePrinter", [] { dothan::Call("LPAClosePrinter"); });
}

void Dothan::BeginJob(Double width, Double height, int orientation, const String& jobName) {
  Bound("LPAStartJob", [&] {
    dothan::Call("LPAStartJob", ApiUnits(width), ApiUnits(height), int32_t{0}, int32_t{orientation}, int32_t{1},
                 Ansi(jobName).c_str());
  });
}

void Dothan::BeginPage() {
  Bound("LPAStartPage", [] { dothan::Call("LPAStartPage"); });
}

void Dothan::DrawTextBox(const String& text, Double x, Double y, Double width, Double height, const String& fontName,
                         Double fontHeight, int style) {
  Bound("LPADrawText", [&] {
    dothan::Call("LPADrawText", Ansi(text).c_str(), ApiUnits(x), ApiUnits(y), ApiUnits(width), ApiUnits(height),
                 Ansi(fontName).c_str(), ApiUnits(fontHeight), int32_t{style});
  });
}

void Dothan::DrawBarcode1D(const String& data, int type, Double x, Double y, Double width, Double height,
                           Double textHeight) {
  Bound("LPADraw1DBarcode", [&] {
    dothan::Call("LPADraw1DBarcode", Ansi(data).c_str(), int32_t{type}, ApiUnits(x), ApiUnits(y), ApiUnits(width),
                 ApiUnits(height), ApiUnits(textHeight));
  });
}

void Dothan::DrawQRCode(const String& data, Double x, Double y, Double width, Double height) {
  Bound("LPADraw2DQRCode", [&] {
    dothan::Call("LPADraw2DQRCode", Ansi(data).c_str(), ApiUnits(x), ApiUnits(y), ApiUnits(width), ApiUnits(height));
  });
}

void Dothan::DrawLineMm(Double x1, Double y1, Double x2, Double y2, Double lineWidth) {
  Bound("LPADrawLine", [&] {
    dothan::Call("LPADrawLine", ApiUnits(x1), ApiUnits(y1), ApiUnits(x2), ApiUnits(y2), ApiUnits(lineWidth));
  });
}

void Dothan::DrawImageFile(const String& path, Double x, Double y, Double width, Double height, int mode) {
  Bound("LPADrawImage", [&] {
    dothan::Call("LPADrawImage", Ansi(path).c_str(), ApiUnits(x), ApiUnits(y), ApiUnits(width), ApiUnits(height),
                 int32_t{mode});
  });
}

void Dothan::DrawBitmapHandle(uint32_t bitmap, Double x, Double y, Double width, Double height, int mode) {
  Bound("LPADrawBitmap", [&] {
    dothan::Call("LPADrawBitmap", bitmap, int32_t{0}, ApiUnits(x), ApiUnits(y), ApiUnits(width), ApiUnits(height),
                 int32_t{mode});
  });
}

void Dothan::FinishPage() {
  Bound("LPAEndPage", [] { dothan::Call("LPAEndPage"); });
}

void Dothan::CommitLabelJob() {
  Bound("LPACommitJob", [] { dothan::Call("LPACommitJob"); });
}

}  // namespace morvel

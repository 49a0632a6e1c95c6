// libLabelPrintAPI.so: the twelve LPA functions over the page renderer and
// the platform spooler. The library holds one open printer and one job, as
// the callers expect of it; calls out of order answer 0 and leave what is
// there alone. Every refusal and failure is recorded in the platform log,
// since callers do not look at the results.
#include "lpa/LabelPrintAPI.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>

#include "morvel/picture.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "platform/text_case.h"
#include "render/Page.h"

namespace morvel::lpa {
namespace {

// A bitmap handle in the trace: its value changes from run to run.
struct BitmapHandle {
  uint32_t Value;
};

void AppendArgument(std::string& line, int32_t v) { line += std::to_string(v); }
void AppendArgument(std::string& line, const char* v) {
  if (v != nullptr) line += v;
}
void AppendArgument(std::string& line, BitmapHandle) { line += "handle"; }

// MORVEL_LPA_TRACE=FILE: one line per call, appended in one write so lines
// of several processes do not interleave.
template <class... Args>
void Trace(const char* function, Args... args) noexcept {
  const char* path = std::getenv("MORVEL_LPA_TRACE");
  if (path == nullptr || *path == '\0') return;
  try {
    std::string line = function;
    ((line += '\t', AppendArgument(line, args)), ...);
    line += '\n';
    platform::AppendInOneWrite(path, line);
  } catch (...) {
    // A trace line that cannot be made is left out; the call goes on.
  }
}

void Record(const std::string& text) { platform::Logger().Record("LabelPrintAPI: " + text); }

// A refusal: recorded, answered with 0.
int32_t Refuse(const char* function, const std::string& why) {
  Record(std::string(function) + " refused: " + why);
  return 0;
}

std::string Utf8OfAnsi(const char* text) {
  if (text == nullptr) return std::string();
  return ToUtf8(platform::Ansi().ToUnicode(text));
}

enum class PageState { None, Open, Ended };

struct Job {
  int32_t Orientation = 0;
  int32_t Copies = 1;
  String Name;
  std::unique_ptr<render::Page> Drawing;
  PageState Page = PageState::None;
};

struct Printer {
  String Name;
  int Dpi = 203;
  std::shared_ptr<platform::Spooler> Spool;  // the spooler that gave the handle
  platform::Spooler::Handle Handle = platform::Spooler::NullHandle;
};

struct State {
  std::mutex Lock;
  std::optional<Printer> Open;
  std::optional<Job> Current;
};

State& Library() {
  static auto* state = new State;  // outlives every caller's static destructors
  return *state;
}

// Lengths beyond ten metres are taken as mistakes rather than drawn.
constexpr int32_t MaxLength = 1000000;
bool IsLength(int32_t v) { return v >= 0 && v <= MaxLength; }
bool IsPosition(int32_t v) { return v >= -MaxLength && v <= MaxLength; }

double Dots(int32_t hundredths, const Printer& printer) { return hundredths / 2540.0 * printer.Dpi; }

void CloseOpenPrinter(State& s, const char* why) {
  if (s.Current) {
    Record("the uncommitted job '" + ToUtf8(s.Current->Name) + "' was dropped: " + why);
    s.Current.reset();
  }
  if (s.Open) {
    s.Open->Spool->ClosePrinter(s.Open->Handle);
    s.Open.reset();
  }
}

// The page to draw on, or a refusal.
render::Page* DrawingPage(State& s, const char* function) {
  if (!s.Current) {
    Refuse(function, "no job (LPAStartJob first)");
    return nullptr;
  }
  if (s.Current->Page != PageState::Open) {
    Refuse(function, "no open page (LPAStartPage first)");
    return nullptr;
  }
  return s.Current->Drawing.get();
}

// Runs one export under the library's lock; nothing escapes to a C caller.
template <class F>
int32_t Call(const char* function, F&& body) {
  try {
    State& s = Library();
    std::lock_guard<std::mutex> lock(s.Lock);
    return body(s);
  } catch (const AutomationError& e) {
    return Refuse(function, e.Description());
  } catch (const std::exception& e) {
    return Refuse(function, e.what());
  } catch (...) {
    return Refuse(function, "unknown failure");
  }
}

int32_t DrawPicture(const char* function, State& s, const Picture& picture, int32_t x, int32_t y, int32_t width,
                    int32_t height, int32_t threshold) {
  render::Page* page = DrawingPage(s, function);
  if (page == nullptr) return 0;
  const Printer& p = *s.Open;
  double w = Dots(width, p), h = Dots(height, p);
  // A side of 0 follows the picture: its own size, or its proportions to
  // the side that is given.
  if (width == 0 && height == 0) {
    w = picture.Width();
    h = picture.Height();
  } else if (width == 0) {
    w = h * picture.Width() / picture.Height();
  } else if (height == 0) {
    h = w * picture.Height() / picture.Width();
  }
  page->Image(Dots(x, p), Dots(y, p), w, h, picture.Width(), picture.Height(), picture.Rgba().data(), threshold);
  return 1;
}

bool ImageArguments(const char* function, int32_t x, int32_t y, int32_t width, int32_t height, int32_t threshold) {
  if (!IsPosition(x) || !IsPosition(y) || !IsLength(width) || !IsLength(height))
    return Refuse(function, "position or size out of range"), false;
  if (threshold < 0 || threshold > 256) return Refuse(function, "threshold outside 0..256"), false;
  return true;
}

}  // namespace
}  // namespace morvel::lpa

using namespace morvel;
using namespace morvel::lpa;

extern "C" int32_t LPAOpenPrinter(const char* printerName) {
  Trace("LPAOpenPrinter", printerName);
  return Call("LPAOpenPrinter", [&](State& s) -> int32_t {
    CloseOpenPrinter(s, "another printer was opened");
    if (printerName == nullptr) return Refuse("LPAOpenPrinter", "no printer name");
    String name = platform::Ansi().ToUnicode(printerName);
    std::optional<platform::InstalledPrinter> found;
    for (auto& installed : platform::Current().Printers->List()) {
      if (text::EqualsIgnoreCase(installed.Name, name)) {
        found = installed;
        break;
      }
    }
    if (!found) return Refuse("LPAOpenPrinter", "no installed printer is named '" + ToUtf8(name) + "'");
    if (found->Dpi < 50 || found->Dpi > 2400)
      return Refuse("LPAOpenPrinter", "printer '" + ToUtf8(found->Name) + "' has no usable resolution (" +
                                          std::to_string(found->Dpi) + " dpi)");
    Printer printer{found->Name, found->Dpi, platform::Current().Spool, platform::Spooler::NullHandle};
    printer.Handle = printer.Spool->OpenPrinter(found->Name);
    if (printer.Handle == platform::Spooler::NullHandle)
      return Refuse("LPAOpenPrinter", "the spooler cannot open '" + ToUtf8(found->Name) + "'");
    s.Open = std::move(printer);
    return 1;
  });
}

extern "C" int32_t LPAClosePrinter(void) {
  Trace("LPAClosePrinter");
  return Call("LPAClosePrinter", [&](State& s) -> int32_t {
    if (!s.Open) return Refuse("LPAClosePrinter", "no printer is open");
    CloseOpenPrinter(s, "the printer was closed");
    return 1;
  });
}

extern "C" int32_t LPAStartJob(int32_t width, int32_t height, int32_t unitCode, int32_t orientation, int32_t copies,
                               const char* jobName) {
  Trace("LPAStartJob", width, height, unitCode, orientation, copies, jobName);
  return Call("LPAStartJob", [&](State& s) -> int32_t {
    if (!s.Open) return Refuse("LPAStartJob", "no printer is open (LPAOpenPrinter first)");
    if (s.Current)
      return Refuse("LPAStartJob", "job '" + ToUtf8(s.Current->Name) + "' is not committed yet (LPACommitJob first)");
    if (unitCode != 0) return Refuse("LPAStartJob", "unit code " + std::to_string(unitCode) + " (only 0 is known)");
    if (orientation != 0 && orientation != 90 && orientation != 180 && orientation != 270)
      return Refuse("LPAStartJob", "orientation " + std::to_string(orientation) + " is not 0, 90, 180 or 270");
    if (copies < 1 || copies > 999) return Refuse("LPAStartJob", "copies outside 1..999");
    const int w = render::DotsOfHundredths(width, s.Open->Dpi), h = render::DotsOfHundredths(height, s.Open->Dpi);
    if (w < 1 || h < 1 || w > render::Page::MaxSide || h > render::Page::MaxSide ||
        static_cast<long long>(w) * h > render::Page::MaxDots)
      return Refuse("LPAStartJob", "page of " + std::to_string(width) + " x " + std::to_string(height) +
                                       " hundredths of a millimetre is " + std::to_string(w) + " x " +
                                       std::to_string(h) + " dots, beyond what a label page may be (" +
                                       std::to_string(render::Page::MaxSide) + " dots a side, " +
                                       std::to_string(render::Page::MaxDots) + " in all)");
    Job job;
    job.Orientation = orientation;
    job.Copies = copies;
    job.Name = jobName != nullptr ? platform::Ansi().ToUnicode(jobName) : String();
    job.Drawing = std::make_unique<render::Page>(w, h, s.Open->Dpi);
    s.Current = std::move(job);
    return 1;
  });
}

extern "C" int32_t LPAStartPage(void) {
  Trace("LPAStartPage");
  return Call("LPAStartPage", [&](State& s) -> int32_t {
    if (!s.Current) return Refuse("LPAStartPage", "no job (LPAStartJob first)");
    if (s.Current->Page != PageState::None) return Refuse("LPAStartPage", "a job holds one page, already started");
    s.Current->Page = PageState::Open;
    return 1;
  });
}

extern "C" int32_t LPADrawText(const char* text, int32_t x, int32_t y, int32_t width, int32_t height,
                               const char* fontName, int32_t fontHeight, int32_t style) {
  Trace("LPADrawText", text, x, y, width, height, fontName, fontHeight, style);
  return Call("LPADrawText", [&](State& s) -> int32_t {
    render::Page* page = DrawingPage(s, "LPADrawText");
    if (page == nullptr) return 0;
    if (!IsPosition(x) || !IsPosition(y) || !IsLength(width) || !IsLength(height) || !IsLength(fontHeight))
      return Refuse("LPADrawText", "position or size out of range");
    const Printer& p = *s.Open;
    if (Dots(fontHeight, p) > render::Page::MaxTextHeight)
      return Refuse("LPADrawText", "font height of " + std::to_string(fontHeight) + " is beyond " +
                                       std::to_string(static_cast<int>(render::Page::MaxTextHeight)) + " dots");
    render::TextStyle font;
    font.Font = Utf8OfAnsi(fontName);
    font.Height = Dots(fontHeight, p);
    font.Bold = (style & 1) != 0;
    font.Italic = (style & 2) != 0;
    page->Text(Dots(x, p), Dots(y, p), Dots(width, p), Dots(height, p), Utf8OfAnsi(text), font);
    return 1;
  });
}

extern "C" int32_t LPADraw1DBarcode(const char* data, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height,
                                    int32_t textHeight) {
  Trace("LPADraw1DBarcode", data, type, x, y, width, height, textHeight);
  return Call("LPADraw1DBarcode", [&](State& s) -> int32_t {
    render::Page* page = DrawingPage(s, "LPADraw1DBarcode");
    if (page == nullptr) return 0;
    if (type != 28) return Refuse("LPADraw1DBarcode", "barcode type " + std::to_string(type) + " (28 is Code 128)");
    if (!IsPosition(x) || !IsPosition(y) || !IsLength(width) || !IsLength(height) || !IsLength(textHeight))
      return Refuse("LPADraw1DBarcode", "position or size out of range");
    const Printer& p = *s.Open;
    std::string error;
    if (!page->Code128(Dots(x, p), Dots(y, p), Dots(width, p), Dots(height, p), Utf8OfAnsi(data), Dots(textHeight, p),
                       &error))
      return Refuse("LPADraw1DBarcode", "Code 128 of '" + Utf8OfAnsi(data) + "': " + error);
    return 1;
  });
}

extern "C" int32_t LPADraw2DQRCode(const char* data, int32_t x, int32_t y, int32_t width, int32_t height) {
  Trace("LPADraw2DQRCode", data, x, y, width, height);
  return Call("LPADraw2DQRCode", [&](State& s) -> int32_t {
    render::Page* page = DrawingPage(s, "LPADraw2DQRCode");
    if (page == nullptr) return 0;
    if (!IsPosition(x) || !IsPosition(y) || !IsLength(width) || !IsLength(height))
      return Refuse("LPADraw2DQRCode", "position or size out of range");
    const Printer& p = *s.Open;
    std::string error;
    // UTF-8 in the symbol: what phones and scanners read by default.
    if (!page->QrCode(Dots(x, p), Dots(y, p), Dots(width, p), Dots(height, p), Utf8OfAnsi(data), &error))
      return Refuse("LPADraw2DQRCode", "QR code: " + error);
    return 1;
  });
}

extern "C" int32_t LPADrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t lineWidth) {
  Trace("LPADrawLine", x1, y1, x2, y2, lineWidth);
  return Call("LPADrawLine", [&](State& s) -> int32_t {
    render::Page* page = DrawingPage(s, "LPADrawLine");
    if (page == nullptr) return 0;
    if (!IsPosition(x1) || !IsPosition(y1) || !IsPosition(x2) || !IsPosition(y2) || !IsLength(lineWidth))
      return Refuse("LPADrawLine", "position or width out of range");
    const Printer& p = *s.Open;
    page->Line(Dots(x1, p), Dots(y1, p), Dots(x2, p), Dots(y2, p), Dots(lineWidth, p));
    return 1;
  });
}

extern "C" int32_t LPADrawImage(const char* imageFile, int32_t x, int32_t y, int32_t width, int32_t height,
                                int32_t threshold) {
  Trace("LPADrawImage", imageFile, x, y, width, height, threshold);
  return Call("LPADrawImage", [&](State& s) -> int32_t {
    if (DrawingPage(s, "LPADrawImage") == nullptr) return 0;
    if (!ImageArguments("LPADrawImage", x, y, width, height, threshold)) return 0;
    if (imageFile == nullptr) return Refuse("LPADrawImage", "no file name");
    std::string path = platform::FileSystemPath(platform::Ansi().ToUnicode(imageFile));
    std::vector<uint8_t> bytes;
    try {
      bytes = platform::ReadWholeFile(path);
    } catch (const AutomationError& e) {
      return Refuse("LPADrawImage", "cannot read '" + path + "': " + e.Description());
    }
    PictureRef picture = platform::Current().Images->Decode(bytes.data(), bytes.size());
    if (!picture) return Refuse("LPADrawImage", "'" + path + "' holds no image (BMP, PNG, JPEG or GIF)");
    return DrawPicture("LPADrawImage", s, *picture, x, y, width, height, threshold);
  });
}

extern "C" int32_t LPADrawBitmap(uint32_t bitmap, int32_t reserved, int32_t x, int32_t y, int32_t width, int32_t height,
                                 int32_t threshold) {
  Trace("LPADrawBitmap", BitmapHandle{bitmap}, reserved, x, y, width, height, threshold);
  return Call("LPADrawBitmap", [&](State& s) -> int32_t {
    if (DrawingPage(s, "LPADrawBitmap") == nullptr) return 0;
    if (!ImageArguments("LPADrawBitmap", x, y, width, height, threshold)) return 0;
    // The caller may release the picture once the call returns: it is used
    // only within.
    PictureRef picture = Picture::FromHandle(bitmap);
    if (!picture) return Refuse("LPADrawBitmap", "no picture has handle " + std::to_string(bitmap));
    return DrawPicture("LPADrawBitmap", s, *picture, x, y, width, height, threshold);
  });
}

extern "C" int32_t LPAEndPage(void) {
  Trace("LPAEndPage");
  return Call("LPAEndPage", [&](State& s) -> int32_t {
    if (!s.Current) return Refuse("LPAEndPage", "no job");
    if (s.Current->Page != PageState::Open) return Refuse("LPAEndPage", "no open page");
    s.Current->Page = PageState::Ended;
    return 1;
  });
}

extern "C" int32_t LPACommitJob(void) {
  Trace("LPACommitJob");
  return Call("LPACommitJob", [&](State& s) -> int32_t {
    if (!s.Current) return Refuse("LPACommitJob", "no job (LPAStartJob first)");
    // The job leaves the library whatever becomes of its sending: a failed
    // send is in the log, and a retry would print it twice.
    Job job = std::move(*s.Current);
    s.Current.reset();
    const Printer& p = *s.Open;
    std::vector<uint8_t> png = render::EncodePng(render::Rotate(job.Drawing->ToBitmap(), job.Orientation), p.Dpi);
    bool ok = true;
    for (int32_t copy = 0; copy < job.Copies && ok; ++copy) {
      size_t written = 0;
      ok = p.Spool->StartDocOfType(p.Handle, job.Name, "image/png");
      if (ok) {
        p.Spool->StartPage(p.Handle);
        ok = p.Spool->Write(p.Handle, png.data(), png.size(), written) && written == png.size();
        p.Spool->EndPage(p.Handle);
        ok = p.Spool->EndDoc(p.Handle) && ok;
      }
    }
    if (!ok) Record("job '" + ToUtf8(job.Name) + "' for '" + ToUtf8(p.Name) + "' was not printed (see above)");
    return ok ? 1 : 0;
  });
}

// EPL2 labels: host units to dots at the printer's resolution, then the
// EPL2 writer. What the writer refuses (a speed or density outside the
// guide's range, no copies) raises 5 naming it, and nothing is collected.
#include "drivers/epl/Epl.h"

#include <algorithm>
#include <stdexcept>

#include "drivers/Conversions.h"
#include "drivers/Numbers.h"
#include "drivers/Units.h"
#include "lang/epl/Writer.h"
#include "morvel/clsBase64.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/text_raster.h"

namespace morvel {
namespace {

namespace epl = lang::epl;

// The largest text or picture placed, in dots a side: far beyond a label,
// and a bound on the memory one field takes.
constexpr int MaxFieldDots = 16384;

int Dots(Single value, Integer unit) { return Module1::ConvertToDots(value, unit); }
int PxDots(Single value) { return Dots(value, Module1::UnitPixels); }
int MmDots(Single value) { return Dots(value, Module1::UnitMillimetres); }

// Runs the writer; its refusal is the host's error 5, with the reason.
template <class Write>
std::string Written(Write&& write) {
  epl::Writer w;
  try {
    write(w);
  } catch (const std::invalid_argument& e) {
    throw AutomationError(errors::InvalidProcedureCall, e.what());
  }
  return w.Bytes();
}

void RequirePlace(int x, int y) {
  if (x < 0 || y < 0)
    throw AutomationError(errors::InvalidProcedureCall, "EPL2: a field starts at a negative position (" +
                                                            std::to_string(x) + ", " + std::to_string(y) + ")");
}

// A picture as GW rows: a dot is black where the picture, over white, is
// darker than mid-grey; 0 bits print.
struct GraphicRows {
  size_t RowBytes = 0;
  int Rows = 0;
  std::string Packed;
};

GraphicRows RowsOf(const Picture& picture) {
  GraphicRows g{static_cast<size_t>(picture.Width() + 7) / 8, picture.Height(), {}};
  g.Packed.assign(g.RowBytes * static_cast<size_t>(g.Rows), '\xFF');
  const uint8_t* rgba = picture.Rgba().data();
  for (int row = 0; row < picture.Height(); ++row) {
    for (int col = 0; col < picture.Width(); ++col, rgba += 4) {
      const unsigned alpha = rgba[3];
      const unsigned grey = (rgba[0] * 299u + rgba[1] * 587u + rgba[2] * 114u) / 1000u;
      const unsigned over = (grey * alpha + 255u * (255u - alpha)) / 255u;
      if (over < 128) g.Packed[row * g.RowBytes + col / 8] &= static_cast<char>(~(0x80u >> (col % 8)));
    }
  }
  return g;
}

}  // namespace

Epl::Epl() : PrnBase(drivers::EplBrand) {}

void Epl::Collect(const std::string& bytes) {
  CheckCollectedRoom(CollectedBytes(), bytes.size(), MaxCollectedBytes, "the label's bytes");
  fields_ += bytes;
}

void Epl::OpenPort(String& printerName) { channel_.Open(printerName); }

void Epl::ClosePort() { channel_.Close(); }

void Epl::InitPrint(String& wide, String& height, String& speed, String& nd, String& cz, String& sp,
                    String& direction) {
  const int width = MmDots(numbers::TextToInteger(wide)), length = MmDots(numbers::TextToInteger(height));
  const int down = MmDots(numbers::TextToSingle(cz)), across = MmDots(numbers::TextToSingle(sp));
  const int gap = epl::DefaultGapDots(CurrentPrinter() ? CurrentPrinter()->Dpi : 203);
  const int printSpeed = numbers::TextToInteger(speed), darkness = numbers::TextToInteger(nd);
  setup_ = Written([&](epl::Writer& w) {
    w.Size(width, length, gap);
    w.Reference(across, down);
    w.Speed(printSpeed);
    w.Density(darkness);
    w.TopFirst(direction == u"0");
  });
}

// Text drawn from a system font, as GDI draws it into a one-bit picture:
// the face by name, the height in points as the cell's height in dots.
void Epl::PrintFont(Single& x, Single& y, String& txt, Single& height, String& fontName) {
  const int left = PxDots(x), top = PxDots(y);
  platform::RasterFont font;
  font.Face = ToUtf8(fontName);
  font.Height = Dots(height, Module1::UnitPoints);
  font.Bold = true;
  if (txt.empty()) return;
  RequirePlace(left, top);
  auto cell = platform::TextRaster::Layout(font, txt, MaxFieldDots, MaxFieldDots);
  if (cell == nullptr)
    throw AutomationError(errors::InvalidProcedureCall, "EPL2: no font can draw the text in '" + font.Face + "'");
  if (!cell->Fits())
    throw AutomationError(errors::InvalidProcedureCall,
                          "EPL2: the text is larger than " + std::to_string(MaxFieldDots) + " dots a side");
  if (cell->Width() <= 0 || cell->Height() <= 0) return;
  const size_t rowBytes = static_cast<size_t>(cell->Width() + 7) / 8;
  std::string packed(rowBytes * static_cast<size_t>(cell->Height()), '\xFF');
  cell->Draw(0, 0, 0, reinterpret_cast<uint8_t*>(packed.data()), rowBytes, static_cast<size_t>(cell->Height()));
  Collect(Written([&](epl::Writer& w) { w.Graphic(left, top, rowBytes, cell->Height(), packed); }));
}

// A bar as the Zebra driver draws it, a box with a one-dot border: a
// rectangle that is all border is drawn filled (LO), any other as X.
void Epl::PrintBar(Single& x, Single& y, Single width, Single height) {
  const int left = PxDots(x), top = PxDots(y);
  const int w = std::max(PxDots(width), 1), h = std::max(PxDots(height), 1);
  RequirePlace(left, top);
  Collect(Written([&](epl::Writer& out) {
    if (w <= 2 || h <= 2)
      out.Bar(left, top, w, h);
    else
      out.Box(left, top, 1, left + w - 1, top + h - 1);
  }));
}

void Epl::PrintCode(Single& x, Single& y, String& code, String& codeType, String& Readable, Single& height,
                    String& zBar, String& kBar) {
  const bool code128 = codeType == u"128", qr = codeType == u"QRCODE";
  if (!code128 && !qr) return;
  const int left = PxDots(x), top = PxDots(y);
  RequirePlace(left, top);
  const std::string data = platform::Ansi().FromUnicode(code);
  if (code128) {
    // The module of the Zebra driver's ^BY2; Code 128 has no wide bars.
    epl::Code128Options o{.X = left, .Y = top, .Narrow = 2, .Height = PxDots(height), .Readable = Readable != u"0"};
    Collect(Written([&](epl::Writer& w) { w.Code128(o, data); }));
  } else {
    // The module size is the height, as the Zebra driver's magnification;
    // error correction Q, as its ^FDQA.
    epl::QrOptions o{.X = left, .Y = top, .Model = 2, .Scale = numbers::ToInteger(height), .ErrorCorrection = 'Q'};
    Collect(Written([&](epl::Writer& w) { w.Qr(o, data); }));
  }
}

void Epl::SendCmd(String& cmd) { Collect(platform::Ansi().FromUnicode(cmd)); }

void Epl::PlacePicture(const Picture& picture, Single x, Single y) {
  const int left = PxDots(x), top = PxDots(y);
  RequirePlace(left, top);
  if (picture.Width() > MaxFieldDots || picture.Height() > MaxFieldDots)
    throw AutomationError(errors::InvalidProcedureCall,
                          "EPL2: the picture is larger than " + std::to_string(MaxFieldDots) + " dots a side");
  if (picture.Width() <= 0 || picture.Height() <= 0) return;
  const GraphicRows g = RowsOf(picture);
  Collect(Written([&](epl::Writer& w) { w.Graphic(left, top, g.RowBytes, g.Rows, g.Packed); }));
}

void Epl::DrawImageFromFile(String imageFile, Single x, Single y, Single, Single) {
  ByteArray bytes(platform::ReadWholeFile(platform::FileSystemPath(imageFile)));
  PictureRef picture = Module2::PictureFromBytes(bytes);
  if (!picture) throw AutomationError(errors::ObjectNotSet);
  PlacePicture(*picture, x, y);
}

void Epl::DrawImageFromBase64(String imageBase64, Single x, Single y, Single, Single) {
  clsBase64 decoder;
  ByteArray bytes = decoder.Base64Decode(std::move(imageBase64));
  PictureRef picture = Module2::PictureFromBytes(bytes);
  if (!picture) throw AutomationError(errors::ObjectNotSet);
  PlacePicture(*picture, x, y);
}

void Epl::DrawImageFromPicture(PictureRef pic, Single x, Single y, Single, Single) {
  if (!pic) throw AutomationError(errors::ObjectNotSet);
  PlacePicture(*pic, x, y);
}

void Epl::PrintLabel(String& copies) {
  const long count = numbers::TextToLong(copies);
  std::string label = Written([&](epl::Writer& w) { w.Clear(); });
  label += setup_;
  label += fields_;
  label += Written([&](epl::Writer& w) { w.Print(static_cast<int>(std::clamp(count, 0L, 65536L))); });
  if (channel_.IsOpen()) channel_.Write(label);
  fields_.clear();
}

String Epl::CommandPrint() { return platform::Ansi().ToUnicode(setup_ + fields_); }

}  // namespace morvel

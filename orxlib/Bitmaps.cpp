// Text in a system font sent as a BITMAP, and whole files stored in the
// printer with DOWNLOAD. The raster is only as large as the text's rotated
// cell, within the limits of the Windows design's 1,200 × 12,000 work
// raster; header, rows and CR LF go out in one write, so a refused or
// failed call leaves no half image in the printer.
#include <climits>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "lang/tspl/Writer.h"
#include "orxlib/Port.h"
#include "orxlib/orxlib.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/text_raster.h"

using namespace morvel;
using namespace morvel::orx;

namespace {

namespace tspl = morvel::lang::tspl;

constexpr int MaxRowBytes = 150;
constexpr int MaxRows = 12000;
constexpr size_t MaxFaceLength = 31;
constexpr size_t MaxBitmapHeader = 49;
constexpr size_t MaxDownloadHeader = 99;

// Where a text cell of w x h dots turned by `rotation` goes: the BITMAP's
// row bytes and rows, the cell's origin in it, and the printer position of
// its first dot, for a text whose start is x, y.
struct CellPlace {
  long long RowBytes, Rows, OriginX, OriginY, PrinterX, PrinterY;
};

CellPlace PlaceCell(int32_t rotation, long long w, long long h, int32_t x, int32_t y) {
  CellPlace p;
  auto& [rowBytes, rows, originX, originY, printerX, printerY] = p;
  switch (rotation) {
    case 0:
      rowBytes = (w + 7) / 8;
      rows = h;
      originX = 0;
      originY = 0;
      printerX = x;
      printerY = y;
      break;
    case 90:
      rowBytes = (h + 7) / 8;
      rows = w;
      originX = 0;
      originY = w;
      printerX = x;
      printerY = y - w;
      break;
    case 180:
      rowBytes = (w + 7) / 8;
      rows = h;
      originX = w;
      originY = h;
      printerX = x - w;
      printerY = y - h;
      break;
    case 270:
      rowBytes = (h + 7) / 8;
      rows = w;
      originX = h;
      originY = 0;
      printerX = x - h;
      printerY = y;
      break;
    default:
      rowBytes = (h + 7) / 8;
      rows = h;
      originX = h;
      originY = h;
      printerX = x - h;
      printerY = y - h;
      break;
  }
  return p;
}

int32_t SendText(int32_t x, int32_t y, int32_t fontHeight, int32_t rotation, int32_t style, int32_t underline,
                 std::string_view face, std::u16string_view text) {
  if (face.size() > MaxFaceLength) {
    Refuse("The face name has " + std::to_string(face.size()) + " characters, more than " +
           std::to_string(MaxFaceLength) + "; nothing was sent.");
    return 0;
  }
  platform::RasterFont font;
  font.Face = ToUtf8(platform::Ansi().ToUnicode(face));
  font.Height = fontHeight;
  font.Bold = style >= 2;
  font.Italic = (style & 1) != 0;
  font.Underline = (underline & 0xFF) != 0;

  // Which side of the cell becomes the rows and which the row bytes.
  bool upright = rotation == 0 || rotation == 180;
  bool sideways = rotation == 90 || rotation == 270;
  int maxWidth = upright ? MaxRowBytes * 8 : sideways ? MaxRows : INT_MAX / 2;
  int maxHeight = upright ? MaxRows : MaxRowBytes * 8;
  auto cell = platform::TextRaster::Layout(font, text, maxWidth, maxHeight);
  if (cell == nullptr) {
    Refuse("No font can draw the text in '" + font.Face + "'; nothing was sent.");
    return 0;
  }
  if (!cell->Fits()) {
    Refuse("The text cell is too large for the printer's raster (at most " + std::to_string(MaxRowBytes * 8) +
           " pixels across and " + std::to_string(MaxRows) + " rows); nothing was sent.");
    return 0;
  }
  long long w = cell->Width(), h = cell->Height();
  const auto [rowBytes, rows, originX, originY, printerX, printerY] = PlaceCell(rotation, w, h, x, y);
  if (rowBytes > MaxRowBytes || rows > MaxRows) {
    Refuse("The text cell is too large for the printer's raster; nothing was sent.");
    return 0;
  }
  if (printerX < INT32_MIN || printerY < INT32_MIN) {
    Refuse("The text would start before the printer's first dot; nothing was sent.");
    return 0;
  }
  std::string header = tspl::Header(tspl::Bitmap, {std::to_string(printerX), std::to_string(printerY),
                                                   std::to_string(rowBytes), std::to_string(rows), "1"});
  if (header.size() > MaxBitmapHeader) {
    Refuse("The BITMAP header does not fit; nothing was sent.");
    return 0;
  }
  // Header, rows (background 1 bits, glyphs 0) and CR LF in one piece.
  size_t rasterSize = static_cast<size_t>(rowBytes * rows);
  std::string out;
  out.reserve(header.size() + rasterSize + 2);
  out += header;
  out.append(rasterSize, '\xFF');
  cell->Draw(rotation, static_cast<int>(originX), static_cast<int>(originY),
             reinterpret_cast<uint8_t*>(out.data() + header.size()), static_cast<size_t>(rowBytes),
             static_cast<size_t>(rows));
  out += "\r\n";
  return RawWrite(out) ? 1 : 0;
}

}  // namespace

extern "C" {

int32_t windowsfont(int32_t x, int32_t y, int32_t fontHeight, int32_t rotation, int32_t style, int32_t underline,
                    const char* faceName, const char* text) {
  return Guarded("windowsfont", 0, [&] {
    if (!IsOpen() || text == nullptr || *text == '\0' || faceName == nullptr || *faceName == '\0') return 0;
    return SendText(x, y, fontHeight, rotation, style, underline, faceName, platform::Ansi().ToUnicode(text));
  });
}

int32_t windowsfontU(int32_t x, int32_t y, int32_t fontHeight, int32_t rotation, int32_t style, int32_t underline,
                     const char* faceName, const orx_char16* text) {
  return Guarded("windowsfontU", 0, [&] {
    if (!IsOpen() || text == nullptr || *text == 0 || faceName == nullptr || *faceName == '\0') return 0;
    return SendText(x, y, fontHeight, rotation, style, underline, faceName, std::u16string_view(text));
  });
}

int32_t downloadpcx(const char* fileName, const char* printerName) {
  return Guarded("downloadpcx", 0, [&] {
    if (!IsOpen()) return 0;
    std::string_view name = Arg(printerName, "the name in the printer");
    std::vector<uint8_t> content;
    try {
      std::string path = platform::FileSystemPath(platform::Ansi().ToUnicode(Arg(fileName, "the file name")));
      platform::FileDescriptor file = platform::OpenHostFile(path, platform::HostFileUse::Read);
      // The header writes the size as a signed 32-bit number.
      if (platform::FileLength(file) > static_cast<uint64_t>(INT32_MAX)) {
        Refuse("The file has more than " + std::to_string(INT32_MAX) + " bytes; nothing was sent.");
        return 0;
      }
      content = platform::ReadWholeFile(file, path);
    } catch (const std::bad_alloc&) {
      Show(ErrorCaption, "Out of memory");
      return 0;
    } catch (const AutomationError& e) {
      Record("downloadpcx: " + e.Description());
      switch (e.Number()) {
        case errors::OutOfMemory: Show(ErrorCaption, "Out of memory"); break;
        case errors::DeviceIoError: Show("Read File Message", "File read unsuccessfully"); break;
        default: Show(ErrorCaption, "Could not open file"); break;
      }
      return 0;
    }
    std::string header =
        tspl::Header(tspl::Download, {"\"" + std::string(name) + "\"", std::to_string(content.size())});
    if (header.size() > MaxDownloadHeader) {
      Refuse("The DOWNLOAD header has " + std::to_string(header.size()) + " characters, more than " +
             std::to_string(MaxDownloadHeader) + "; nothing was sent.");
      return 0;
    }
    std::string out;
    out.reserve(header.size() + content.size() + 2);
    out += header;
    out.append(content.begin(), content.end());
    out += "\r\n";
    return RawWrite(out) ? 1 : 0;
  });
}

}  // extern "C"

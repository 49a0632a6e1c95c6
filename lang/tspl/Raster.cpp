// BITMAP x,y,width in bytes,height in dots,mode,data: mode 0 overwrites the
// buffer; each band is one command, bands without ink are not sent. The
// label's size is given in millimetres to a tenth, from its dots.
#include "lang/tspl/Raster.h"

#include <algorithm>
#include <cstdio>

#include "lang/Reading.h"
#include "lang/tspl/Writer.h"

namespace morvel::lang::tspl {
namespace {

std::string Millimetres(int dots, int dpi) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f mm", dots * 25.4 / dpi);
  return text;
}

}  // namespace

std::string LabelOfPicture(const core::Bitmap& dots, int dpi, int copies) {
  const std::string width = Millimetres(dots.Width(), dpi), height = Millimetres(dots.Height(), dpi);
  std::string out = Line<char>(Size, {width, height}) + "\r\n" + Line<char>(Clear) + "\r\n";
  const size_t rowBytes = static_cast<size_t>(dots.Width() + 7) / 8;
  const int band = RowsPerBand(rowBytes, BitmapBandBytes);
  for (int top = 0; top < dots.Height(); top += band) {
    const PackedRows rows = PackRows(dots, top, band, false);
    if (std::all_of(rows.Bytes.begin(), rows.Bytes.end(), [](uint8_t b) { return b == 0xFF; })) continue;
    const std::string y = std::to_string(top), bytes = std::to_string(rows.RowBytes), n = std::to_string(rows.Rows);
    out += Header(Bitmap, {"0", y, bytes, n, "0"});
    out.append(rows.Bytes.begin(), rows.Bytes.end());
    out += "\r\n";
  }
  out += Line<char>(Print, {"1", std::to_string(copies)}) + "\r\n";
  return out;
}

const ReadingRow ReadingHalf{Language::Tspl, ParseOrx, [](const core::Bitmap& dots, const RasterHow& how) {
                               return LabelOfPicture(dots, how.Dpi, how.Copies);
                             }};

}  // namespace morvel::lang::tspl

// GW takes any width in bytes and length in dots; the picture goes in bands
// of at most GraphicBandBytes so that a printer with a small receive buffer
// takes them one at a time, and bands without ink are not sent. Q's gap is
// 3 mm, the usual gap of die-cut labels (Q: "p2 = gap length").
#include "lang/epl/Raster.h"

#include <algorithm>
#include <cmath>

#include "lang/Reading.h"
#include "lang/epl/Reader.h"
#include "lang/epl/Writer.h"

namespace morvel::lang::epl {

std::string LabelOfPicture(const core::Bitmap& dots, int dpi, int copies) {
  Writer w;
  w.Start(std::max(1, dots.Width()), std::max(1, dots.Height()), DefaultGapDots(dpi));
  const size_t rowBytes = static_cast<size_t>(dots.Width() + 7) / 8;
  const int band = RowsPerBand(rowBytes, GraphicBandBytes);
  for (int top = 0; top < dots.Height(); top += band) {
    const PackedRows rows = PackRows(dots, top, band, false);
    if (std::all_of(rows.Bytes.begin(), rows.Bytes.end(), [](uint8_t b) { return b == 0xFF; })) continue;
    w.Graphic(0, top, rows.RowBytes, rows.Rows,
              std::string_view(reinterpret_cast<const char*>(rows.Bytes.data()), rows.Bytes.size()));
  }
  w.Print(std::max(1, copies));
  return w.Bytes();
}

const ReadingRow ReadingHalf{Language::Epl, ParseEpl, [](const core::Bitmap& dots, const RasterHow& how) {
                               return LabelOfPicture(dots, how.Dpi, how.Copies);
                             }};

}  // namespace morvel::lang::epl

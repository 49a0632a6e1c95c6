// Packing a picture's rows, shared by the languages' raster commands.
#include "lang/Raster.h"

#include <algorithm>

namespace morvel::lang {

PackedRows PackRows(const core::Bitmap& dots, int top, int rows, bool blackIsOne) {
  PackedRows out;
  out.RowBytes = static_cast<size_t>(dots.Width() + 7) / 8;
  top = std::clamp(top, 0, dots.Height());
  out.Rows = std::clamp(rows, 0, dots.Height() - top);
  out.Bytes.assign(out.RowBytes * static_cast<size_t>(out.Rows), blackIsOne ? 0x00 : 0xFF);
  for (int r = 0; r < out.Rows; ++r) {
    const uint8_t* row = dots.Row(top + r);
    uint8_t* packed = out.Bytes.data() + out.RowBytes * static_cast<size_t>(r);
    for (int x = 0; x < dots.Width(); ++x)
      if (row[x] != 0) packed[x >> 3] ^= static_cast<uint8_t>(0x80 >> (x & 7));
  }
  return out;
}

int RowsPerBand(size_t rowBytes, size_t bandBytes) {
  if (rowBytes == 0) return 1;
  return static_cast<int>(std::max<size_t>(1, std::min<size_t>(bandBytes / rowBytes, 1 << 20)));
}

}  // namespace morvel::lang

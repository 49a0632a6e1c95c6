// A label's picture as printer languages send graphics: rows packed one bit
// a dot, most significant bit first, cut into bands that a printer with a
// small buffer takes one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/drawing.h"

namespace morvel::lang {

struct PackedRows {
  size_t RowBytes = 0;  // (width + 7) / 8
  int Rows = 0;
  std::vector<uint8_t> Bytes;  // RowBytes * Rows
};

// Rows [top, top + rows) of `dots`. A black dot is a 1 bit when `blackIsOne`
// (ZPL), a 0 bit otherwise (TSPL, PCX); the bits that pad a row to whole
// bytes are white either way.
PackedRows PackRows(const core::Bitmap& dots, int top, int rows, bool blackIsOne);

// The rows of a band whose packed bytes stay within `bandBytes` (at least one).
int RowsPerBand(size_t rowBytes, size_t bandBytes);

}  // namespace morvel::lang

// Laying a drawn text cell into a one-bit raster at any rotation. Apart from
// the rasteriser that draws the cell, so that every system's rasteriser
// places its cells the same way.
#include <algorithm>
#include <cmath>

#include "platform/text_raster.h"

namespace morvel::platform {

void TextRaster::Draw(int degrees, int originX, int originY, uint8_t* raster, size_t stride, size_t rows) const {
  const long long columns = static_cast<long long>(stride) * 8;
  auto clear = [&](long long x, long long y) {
    if (x < 0 || y < 0 || x >= columns || y >= static_cast<long long>(rows)) return;
    raster[static_cast<size_t>(y) * stride + static_cast<size_t>(x >> 3)] &= static_cast<uint8_t>(~(0x80 >> (x & 7)));
  };
  auto ink = [&](long long u, long long v) {
    return (ink_[static_cast<size_t>(v) * stride_ + static_cast<size_t>(u >> 3)] & (0x80 >> (u & 7))) != 0;
  };
  int turn = ((degrees % 360) + 360) % 360;
  if (turn == 0 && originX % 8 == 0 && originX >= 0) {
    // Upright on a byte boundary: whole bytes of the cell clear whole bytes
    // of the raster (the cell's bits beyond its width are 0).
    size_t firstByte = static_cast<size_t>(originX) / 8;
    for (int v = 0; v < height_; ++v) {
      long long y = static_cast<long long>(originY) + v;
      if (y < 0 || y >= static_cast<long long>(rows)) continue;
      uint8_t* to = raster + static_cast<size_t>(y) * stride;
      const uint8_t* from = ink_.data() + static_cast<size_t>(v) * stride_;
      for (size_t k = 0; k + 1 < stride_ && firstByte + k < stride; ++k)
        to[firstByte + k] &= static_cast<uint8_t>(~from[k]);
    }
    return;
  }
  if (turn % 90 == 0) {
    // Right angles map every cell pixel to exactly one raster pixel: the
    // baseline runs along (cos, -sin) and "down" along (sin, cos), y downwards.
    int c = turn == 0 ? 1 : turn == 180 ? -1 : 0;
    int s = turn == 90 ? 1 : turn == 270 ? -1 : 0;
    for (int v = 0; v < height_; ++v) {
      const uint8_t* row = ink_.data() + static_cast<size_t>(v) * stride_;
      for (int u = 0; u < width_; ++u) {
        if (row[u >> 3] == 0) {  // most of a text cell is background
          u |= 7;
          continue;
        }
        if ((row[u >> 3] & (0x80 >> (u & 7))) == 0) continue;
        // The raster pixel under the cell pixel's centre.
        long long x =
            originX + static_cast<long long>(u) * c + static_cast<long long>(v) * s - (c < 0 || s < 0 ? 1 : 0);
        long long y =
            originY - static_cast<long long>(u) * s + static_cast<long long>(v) * c - (s > 0 || c < 0 ? 1 : 0);
        clear(x, y);
      }
    }
    return;
  }
  // Any other angle: each raster pixel near the rotated cell takes the cell
  // pixel under its centre.
  double radians = degrees * 3.14159265358979323846 / 180.0;
  double c = std::cos(radians), s = std::sin(radians);
  double corners[4][2] = {{0, 0}, {double(width_), 0}, {0, double(height_)}, {double(width_), double(height_)}};
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  for (auto& p : corners) {
    double x = originX + p[0] * c + p[1] * s, y = originY - p[0] * s + p[1] * c;
    minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  long long x0 = std::max(0LL, static_cast<long long>(std::floor(minX)));
  long long x1 = std::min(columns, static_cast<long long>(std::ceil(maxX)));
  long long y0 = std::max(0LL, static_cast<long long>(std::floor(minY)));
  long long y1 = std::min(static_cast<long long>(rows), static_cast<long long>(std::ceil(maxY)));
  for (long long y = y0; y < y1; ++y) {
    for (long long x = x0; x < x1; ++x) {
      double dx = x + 0.5 - originX, dy = y + 0.5 - originY;
      double u = std::floor(dx * c - dy * s), v = std::floor(dx * s + dy * c);
      if (u < 0 || v < 0 || u >= width_ || v >= height_) continue;
      if (ink(static_cast<long long>(u), static_cast<long long>(v))) clear(x, y);
    }
  }
}

}  // namespace morvel::platform

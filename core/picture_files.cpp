// Pictures as BMP files, as the drivers send them and the control saves
// them: 1 bit per pixel when the picture is black and white only, as thermal
// printers take it, else 24 bits; the same bytes on every system.
#include "core/picture_files.h"

#include <algorithm>

namespace morvel::core {
namespace {

constexpr uint32_t FileHeaderSize = 14;
constexpr uint32_t InfoHeaderSize = 40;
constexpr int32_t PixelsPerMeter = 3780;  // 96 pixels per inch, the screen's

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

bool PictureSizeAllowed(long width, long height) {
  return width > 0 && height > 0 && width <= MaxPictureSide && height <= MaxPictureSide &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 <= MaxPictureBytes;
}

// An empty or inconsistent picture has no BMP form and gives no bytes.
std::vector<uint8_t> EncodeBmpFile(const Picture& picture) {
  int width = picture.Width(), height = picture.Height();
  const auto& rgba = picture.Rgba();
  if (!PictureSizeAllowed(width, height) || rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4)
    return {};

  // Thermal printers have no transparency: the label underneath is white.
  size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> rgb(count * 3);
  bool blackAndWhite = true;
  for (size_t i = 0; i < count; ++i) {
    unsigned alpha = rgba[i * 4 + 3];
    for (int c = 0; c < 3; ++c) {
      unsigned v = rgba[i * 4 + c];
      rgb[i * 3 + c] = static_cast<uint8_t>((v * alpha + 255 * (255 - alpha) + 127) / 255);
    }
    uint8_t r = rgb[i * 3], g = rgb[i * 3 + 1], b = rgb[i * 3 + 2];
    if (!((r == 0 && g == 0 && b == 0) || (r == 255 && g == 255 && b == 255))) blackAndWhite = false;
  }

  int bitsPerPixel = blackAndWhite ? 1 : 24;
  uint32_t paletteSize = blackAndWhite ? 2 * 4 : 0;
  uint32_t stride = ((static_cast<uint32_t>(width) * bitsPerPixel + 31) / 32) * 4;
  uint32_t imageSize = stride * static_cast<uint32_t>(height);
  uint32_t offset = FileHeaderSize + InfoHeaderSize + paletteSize;

  std::vector<uint8_t> out;
  out.reserve(offset + imageSize);
  out.push_back('B');
  out.push_back('M');
  Put32(out, offset + imageSize);
  Put32(out, 0);  // reserved
  Put32(out, offset);
  Put32(out, InfoHeaderSize);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));  // positive: rows bottom-up
  Put16(out, 1);                              // planes
  Put16(out, static_cast<uint16_t>(bitsPerPixel));
  Put32(out, 0);  // BI_RGB
  Put32(out, imageSize);
  Put32(out, static_cast<uint32_t>(PixelsPerMeter));
  Put32(out, static_cast<uint32_t>(PixelsPerMeter));
  Put32(out, blackAndWhite ? 2 : 0);  // colours used
  Put32(out, 0);                      // colours important
  if (blackAndWhite) {
    Put32(out, 0x00000000);  // index 0: black
    Put32(out, 0x00FFFFFF);  // index 1: white
  }

  std::vector<uint8_t> row(stride);
  for (int y = height - 1; y >= 0; --y) {
    std::fill(row.begin(), row.end(), 0);
    const uint8_t* source = rgb.data() + static_cast<size_t>(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      const uint8_t* px = source + static_cast<size_t>(x) * 3;
      if (blackAndWhite) {
        if (px[0] != 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      } else {
        row[x * 3] = px[2];
        row[x * 3 + 1] = px[1];
        row[x * 3 + 2] = px[0];
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace morvel::core

// The one-bit PNG of a page through libpng, with its resolution recorded so
// viewers and print filters give it its true size.
#include <png.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "render/Page.h"

namespace morvel::render {
namespace {

void Append(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

void Flush(png_structp) {}

// Encodes into `out`; false when libpng gave up. Nothing with a destructor
// lives in this frame, so libpng's longjmp skips no clean-up.
bool Write(const core::Bitmap& page, double dotsPerInch, std::vector<uint8_t>* out, std::vector<uint8_t>* row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, Append, Flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(page.Width()), static_cast<png_uint_32>(page.Height()), 1,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (dotsPerInch > 0) {
    auto perMetre = static_cast<png_uint_32>(std::lround(dotsPerInch / 0.0254));
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
  }
  // Bi-level rows compress best unfiltered.
  png_set_filter(png, 0, PNG_FILTER_NONE);
  // Long runs of one colour: fast levels lose little on labels.
  png_set_compression_level(png, 2);
  png_write_info(png, info);
  for (int y = 0; y < page.Height(); ++y) {
    const uint8_t* dots = page.Row(y);
    const int w = page.Width();
    int b = 0;
    for (; std::endian::native == std::endian::little && (b + 1) * 8 <= w; ++b) {
      // Eight dots of one byte each into one byte, the first the highest bit.
      uint64_t eight;
      std::memcpy(&eight, dots + b * 8, 8);
      const auto byte = static_cast<uint8_t>(((eight & 0x0101010101010101ULL) * 0x8040201008040201ULL) >> 56);
      (*row)[static_cast<size_t>(b)] = static_cast<uint8_t>(~byte);
    }
    if (b * 8 < w) {
      unsigned byte = 0;
      for (int k = 0; b * 8 + k < w; ++k) byte |= static_cast<unsigned>(dots[b * 8 + k] & 1) << (7 - k);
      (*row)[static_cast<size_t>(b)] = static_cast<uint8_t>(~byte);
    }
    png_write_row(png, row->data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::vector<uint8_t> EncodePng(const core::Bitmap& page, double dotsPerInch) {
  if (page.Width() < 1 || page.Height() < 1) throw std::invalid_argument("empty page");
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(page.Width()) * page.Height() / 32 + 256);
  std::vector<uint8_t> row((static_cast<size_t>(page.Width()) + 7) / 8);
  if (!Write(page, dotsPerInch, &out, &row)) throw std::runtime_error("PNG encoding failed");
  return out;
}

}  // namespace morvel::render

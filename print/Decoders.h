// Picture files decoded row by row into a picture's ink: libpng, libjpeg
// and giflib read PNG, JPEG and GIF, and a small reader BMP. Each decoder
// reads its own header and the size it declares is checked before any
// pixel is decoded; memory is then the ink (one byte a pixel) and a row or
// two of colour, never the whole picture in colour, and data past the
// declared size is refused rather than decoded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "print/Sources.h"

namespace morvel::print::detail {

// At most this many scans of a JPEG are read: a progressive picture takes
// about ten, and every scan is a pass over the whole picture.
inline constexpr int MaxJpegScans = 500;
// What libjpeg may hold besides the ink: a progressive or multi-scan JPEG
// keeps its coefficients (2 bytes a sample) until the last scan.
inline constexpr long MaxJpegMemory = 192L << 20;
// The widest and tallest picture drawn (cairo's own bound on a surface).
inline constexpr long MaxPictureSide = 32767;

// Decodes a picture file into `ink` (255 - its grey over white: the grey
// of a colour is (299 R + 587 G + 114 B) / 1000, 16-bit samples take their
// high byte) and returns the resolution the file records in dots an inch
// (PNG pHYs, JPEG JFIF, BMP), 0 when it records none. Throws DocumentError
// with the cause for a picture past the bounds, damaged or cut short.
double DecodePicture(std::string_view bytes, Format kind, InkPicture& ink);

// The ink of a picture as its decoder hands it on, one row at a time.
class InkRows {
 public:
  InkRows(InkPicture& ink, Format kind) : ink_(ink), kind_(kind) {}
  // The size the decoder read from the header: refused past the bounds,
  // else the picture's ink is made, with no ink yet.
  void Start(long long width, long long height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Row y's ink, Width() bytes.
  uint8_t* Row(int y) { return data_ + static_cast<size_t>(stride_) * y; }
  // `count` pixels of row y from RGBA (or RGB, or grey: `channels` 4, 3
  // or 1), placed at x, x + step, ...
  void Put(int y, const uint8_t* pixels, int channels, int count, int x = 0, int step = 1);
  // Ends the picture: its ink is ready to draw.
  void Finish();
  // The refusal of a picture that cannot be read, naming its kind.
  [[noreturn]] void Refuse(const std::string& why) const;

 private:
  InkPicture& ink_;
  Format kind_;
  int width_ = 0, height_ = 0, stride_ = 0;
  uint8_t* data_ = nullptr;
};

// The ink of one colour over white.
inline uint8_t InkOf(unsigned r, unsigned g, unsigned b, unsigned alpha = 255) {
  const unsigned level = (r * 299 + g * 587 + b * 114) / 1000;
  return static_cast<uint8_t>((255 - level) * alpha / 255);
}

void DecodePng(std::string_view bytes, InkRows& rows, double& dpi);
void DecodeJpeg(std::string_view bytes, InkRows& rows, double& dpi);
void DecodeGif(std::string_view bytes, InkRows& rows);
void DecodeBmp(std::string_view bytes, InkRows& rows, double& dpi);

}  // namespace morvel::print::detail

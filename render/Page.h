// The one page renderer of the house: a label page of W x H dots at a
// resolution, drawn with text in fontconfig fonts, Code 128 and QR codes
// (encoded by zint, drawn module by module at whole dots), lines, boxes and
// thresholded images, then turned and written as a one-bit PNG. It knows no
// printer and no printer language; the callers translate their calls into it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/drawing.h"

namespace morvel::render {

// Turns a page clockwise by 0, 90, 180 or 270 degrees (anything else: 0).
core::Bitmap Rotate(const core::Bitmap& page, int degrees);

// A one-bit greyscale PNG (black 0, white 1) that records the resolution.
std::vector<uint8_t> EncodePng(const core::Bitmap& page, double dotsPerInch);

// How later drawing meets the page: black ink, white (clearing what is
// there), or reversing every dot it covers (black on white, white on black).
enum class Ink { Black, White, Reverse };

// A PDF file of label pages, each at its true size; pages are written as
// they are added, so a long job is never held whole.
class PdfWriter {
 public:
  explicit PdfWriter(const std::string& path);
  ~PdfWriter();
  PdfWriter(const PdfWriter&) = delete;
  PdfWriter& operator=(const PdfWriter&) = delete;
  bool Ok() const;  // false once the file cannot be written
  bool Add(const core::Bitmap& dots, double dotsPerInch);
  bool Finish();  // closes the file; false when it was not written whole

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct TextStyle {
  std::string Font = "Sans";  // fontconfig family name, UTF-8
  double Height = 0;          // em height in dots
  bool Bold = false;
  bool Italic = false;
};

// The size of a page in dots, the nearest whole dots of a length in
// hundredths of a millimetre at a resolution.
int DotsOfHundredths(double hundredthsOfMm, double dotsPerInch);

class Page {
 public:
  // A white page; widths and heights of 1..MaxSide dots, at most MaxDots
  // in all (about 1 m of a 5-inch label at 600 dpi).
  Page(int widthDots, int heightDots, double dotsPerInch);
  ~Page();
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  static constexpr int MaxSide = 20000;
  static constexpr long long MaxDots = 64LL * 1000 * 1000;
  // Text taller than this is not drawn: its glyphs alone would take
  // hundreds of megabytes.
  static constexpr double MaxTextHeight = 2000;

  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  double Dpi() const noexcept { return dpi_; }

  // All positions and sizes are in dots from the top left corner.

  // UTF-8 text in the box, wrapped at the box's width (at words, within
  // words when a word is wider) and clipped to the box; nothing for an em
  // above MaxTextHeight.
  void Text(double x, double y, double width, double height, std::string_view utf8, const TextStyle& style);
  // Code 128 of the data (UTF-8; Latin-1 characters), bars of whole dots as
  // wide as fit the width (at least one dot a module), `textHeight` dots of
  // human-readable line below them (0: none). False when the data cannot be
  // encoded; nothing is drawn then.
  bool Code128(double x, double y, double width, double height, std::string_view utf8, double textHeight,
               std::string* error = nullptr);
  // The QR code of the UTF-8 text (marked as UTF-8 when it goes beyond
  // ASCII), with modules of whole dots as
  // large as fit the smaller side of the box, centred in it.
  bool QrCode(double x, double y, double width, double height, std::string_view data, std::string* error = nullptr);
  // A straight line with butt ends; widths below one dot are one dot.
  void Line(double x1, double y1, double x2, double y2, double width);
  // A filled rectangle, and a rectangle outline `thickness` dots wide inside it.
  void Fill(double x, double y, double width, double height);
  void Box(double x, double y, double width, double height, double thickness);
  // A box outline with corners rounded to `radius` dots (0: square).
  void RoundedBox(double x, double y, double width, double height, double thickness, double radius);
  // An ellipse inside the box, as an outline `thickness` dots wide (filled
  // when that reaches the middle).
  void Ellipse(double x, double y, double width, double height, double thickness);
  // A filled polygon through the points (x0, y0, x1, y1, ...).
  void Polygon(const std::vector<double>& points);
  // The ink of everything drawn after, until told otherwise.
  void SetInk(Ink ink);
  // The black dots of `dots` in the current ink, its top left corner at
  // (x, y) in page dots (Turned does not apply); dots off the page are dropped.
  void Dots(int x, int y, const core::Bitmap& dots);
  // An RGBA picture scaled into the box; dots whose grey level (over white)
  // is below `threshold` become black.
  void Image(double x, double y, double width, double height, int pictureWidth, int pictureHeight, const uint8_t* rgba,
             int threshold = 192);

  // What `draw` draws, turned clockwise by 0, 90, 180 or 270 degrees
  // (anything else: 0) about (x, y): a field keeps its origin and turns
  // around it, as printer languages turn fields.
  void Turned(double x, double y, int degrees, const std::function<void()>& draw);

  // The page in one bit a dot: ink of half coverage or more is black;
  // mirrored left to right, then turned 180 degrees, when asked (as a label
  // leaves the printer), in the same pass.
  core::Bitmap ToBitmap(bool mirrored = false, bool turned180 = false) const;

 private:
  struct Surface;
  std::unique_ptr<Surface> surface_;
  int width_;
  int height_;
  double dpi_;
};

}  // namespace morvel::render

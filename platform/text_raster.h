// One-bit text rasters the way GDI draws text into a monochrome bitmap: a
// face found by name with fontconfig, sized by a GDI font height, drawn
// unsmoothed by FreeType, and laid into a raster at any rotation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvel::platform {

struct RasterFont {
  std::string Face;  // UTF-8 family name
  // As GDI reads a font height: positive is the cell height (ascent plus
  // descent), negative the character (em) height, 0 a default 16-pixel cell.
  int Height = 0;
  bool Bold = false;    // weight 700 rather than 400; synthesised when the face has none
  bool Italic = false;  // synthesised by slanting when the face has no italic
  bool Underline = false;
};

// A text laid out and drawn in a font, not yet placed.
class TextRaster {
 public:
  // Lays the text out: its cell is Width() (the sum of the advances) by
  // Height() pixels, as GetTextExtentPoint32 measures it. So that an
  // oversized request costs no more than the limits, layout stops (and
  // draws nothing) once the cell is taller than `maxHeight` or wider than
  // `maxWidth`; Fits() then says false. Null (after a log record) when no
  // font can be used.
  static std::unique_ptr<TextRaster> Layout(const RasterFont& font, std::u16string_view text, int maxWidth,
                                            int maxHeight);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Fits() const { return fits_; }

  // Clears to 0 every raster bit that a glyph or the underline covers, with
  // the cell rotated `degrees` counter-clockwise about its top-left corner,
  // which lands on (originX, originY). The raster is `rows` rows of `stride`
  // bytes, the leftmost pixel in the most significant bit; nothing outside
  // it is touched.
  void Draw(int degrees, int originX, int originY, uint8_t* raster, size_t stride, size_t rows) const;

 private:
  int width_ = 0;
  int height_ = 0;
  bool fits_ = true;
  size_t stride_ = 0;         // bytes per row of ink_: the cell's, and one spare
  std::vector<uint8_t> ink_;  // height_ rows, 1 bits where the text is black, leftmost first
  friend class TextRasterBuilder;
};

}  // namespace morvel::platform

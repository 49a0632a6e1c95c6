// Where a page lands on the label, the label part of a sheet, and the page
// drawn and made one bit a dot.
#pragma once

#include <cairo.h>

#include "print/Sources.h"

namespace morvel::print::detail {

// A part of a page, in points from its top left corner.
struct Region {
  double X = 0, Y = 0, Width = 0, Height = 0;
};

struct Placement {
  int Width = 0, Height = 0;  // the label in dots
  int Rotate = 0;             // clockwise degrees the page is turned
  cairo_matrix_t ToDots{};    // page points to label dots
};

// The label and the page's place on it. DocumentError for a label larger
// than a printer prints (told with the page's size, from 1).
Placement Place(const Region& region, const Target& target, const Options& options, int pageNumber);

// Whether the page is a sheet (letter, A4 and the like, or twice the
// label's area) that a label fills only part of.
bool IsSheet(const PageSize& page, const Target& target);
// The label part of a sheet: the half of the page that holds its largest
// barcode (the whole page when it has none), cut to its ink.
Region LabelPart(Source& source, int index, const PageSize& page);

// The page drawn at the placement and made one bit a dot (Halftone).
core::Bitmap DrawPage(Source& source, int index, const Placement& placement);

// Grey levels (0 black) of w x h dots to one bit a dot: line art
// thresholded at half, continuous tone dithered (Floyd and Steinberg, its
// error kept within the tone). A tile of TileSide dots is continuous tone
// when a quarter of its dots are smooth grey: from 64 to 192 (ink drawn dark
// grey is line art too), and
// within 16 levels of their neighbours right and below. Line art has grey
// only along its edges, where neighbours differ sharply.
inline constexpr int TileSide = 16;
core::Bitmap Halftone(const std::vector<uint8_t>& grey, int w, int h);
std::vector<uint8_t> ToneTiles(const std::vector<uint8_t>& grey, int w, int h);

}  // namespace morvel::print::detail

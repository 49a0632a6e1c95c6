// The page on the label. Fitting keeps the aspect and centres; 100% keeps
// the size and centres; the page's offset on the label is rounded to whole
// dots so that at the printer's own scale each dot of a picture is a dot of
// the label. A sheet's label part is found on a rough drawing of the page
// (a dot every two points) by cutting it along white bands that cross it.
#include "print/Layout.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include <zbar.h>

namespace morvel::print::detail {
namespace {

constexpr double PointsPerInch = 72;
constexpr int MaxLabelSide = 20000;  // dots, as the renderer's pages
constexpr long long MaxLabelDots = 64LL * 1000 * 1000;
constexpr double CutScale = 150.0 / 72;  // rough drawing: 150 dots an inch

std::string Millimetres(double points) { return std::to_string(std::lround(points / PointsPerInch * 25.4)); }

// A rough drawing of the page, one grey byte a dot at `scale` dots a point.
struct Rough {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Grey;
  bool Ink(int x, int y) const { return Grey[static_cast<size_t>(y) * Width + x] < 160; }
};

// A white RGB24 page of w x h dots and its drawing context, each freed
// however the drawing ends (a source may throw part way).
struct WhitePage {
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> Surface;
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> Cr;
  WhitePage(int w, int h)
      : Surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h), cairo_surface_destroy),
        Cr(cairo_create(Surface.get()), cairo_destroy) {
    cairo_set_source_rgb(Cr.get(), 1, 1, 1);
    cairo_paint(Cr.get());
  }
  // The drawing done: the pixels, `Stride` bytes a row.
  const uint8_t* Pixels() {
    Cr.reset();
    cairo_surface_flush(Surface.get());
    return cairo_image_surface_get_data(Surface.get());
  }
  size_t Stride() const { return static_cast<size_t>(cairo_image_surface_get_stride(Surface.get())); }
};

Rough DrawRough(Source& source, int index, const PageSize& page, double scale) {
  Rough r;
  r.Width = std::max(1, static_cast<int>(std::ceil(page.Width * scale)));
  r.Height = std::max(1, static_cast<int>(std::ceil(page.Height * scale)));
  WhitePage white(r.Width, r.Height);
  cairo_scale(white.Cr.get(), scale, scale);
  source.Draw(index, white.Cr.get());
  const uint8_t* data = white.Pixels();
  const size_t stride = white.Stride();
  r.Grey.resize(static_cast<size_t>(r.Width) * r.Height);
  for (int y = 0; y < r.Height; ++y)
    for (int x = 0; x < r.Width; ++x) {
      const uint8_t* px = data + stride * y + x * 4;
      r.Grey[static_cast<size_t>(y) * r.Width + x] = static_cast<uint8_t>((px[0] + px[1] + px[2]) / 3);
    }
  return r;
}

struct Box {
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;  // [X0, X1) x [Y0, Y1)
  long long Area() const { return static_cast<long long>(X1 - X0) * (Y1 - Y0); }
};

// The box of the largest barcode zbar finds on the drawing; empty when none.
Box LargestBarcode(Rough& rough) {
  using namespace zbar;
  Box best;
  zbar_image_scanner_t* scanner = zbar_image_scanner_create();
  // The symbologies of shipping labels; the others only cost time.
  zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
  for (zbar_symbol_type_t type : {ZBAR_CODE128, ZBAR_CODE39, ZBAR_I25, ZBAR_QRCODE, ZBAR_EAN13})
    zbar_image_scanner_set_config(scanner, type, ZBAR_CFG_ENABLE, 1);
  zbar_image_t* image = zbar_image_create();
  zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(image, static_cast<unsigned>(rough.Width), static_cast<unsigned>(rough.Height));
  zbar_image_set_data(image, rough.Grey.data(), rough.Grey.size(), nullptr);
  zbar_scan_image(scanner, image);
  for (const zbar_symbol_t* s = zbar_image_first_symbol(image); s != nullptr; s = zbar_symbol_next(s)) {
    Box b{rough.Width, rough.Height, 0, 0};
    for (unsigned k = 0; k < zbar_symbol_get_loc_size(s); ++k) {
      const int x = zbar_symbol_get_loc_x(s, k), y = zbar_symbol_get_loc_y(s, k);
      b.X0 = std::min(b.X0, x), b.Y0 = std::min(b.Y0, y), b.X1 = std::max(b.X1, x + 1), b.Y1 = std::max(b.Y1, y + 1);
    }
    if (b.X1 > b.X0 && b.Y1 > b.Y0 && b.Area() > best.Area()) best = b;
  }
  zbar_image_destroy(image);
  zbar_image_scanner_destroy(scanner);
  return best;
}

// The box shrunk to its ink; empty when it has none.
Box InkBox(const Rough& rough, const Box& within) {
  Box t{within.X1, within.Y1, within.X0, within.Y0};
  for (int y = within.Y0; y < within.Y1; ++y)
    for (int x = within.X0; x < within.X1; ++x)
      if (rough.Ink(x, y))
        t.X0 = std::min(t.X0, x), t.Y0 = std::min(t.Y0, y), t.X1 = std::max(t.X1, x + 1), t.Y1 = std::max(t.Y1, y + 1);
  return t.X1 > t.X0 ? t : Box{};
}

}  // namespace

Placement Place(const Region& region, const Target& target, const Options& options, int pageNumber) {
  Placement p;
  const bool labelKnown = target.WidthMm > 0 && target.HeightMm > 0;
  const double dotsPerPoint = target.Dpi / PointsPerInch;
  if (labelKnown) {
    p.Width = static_cast<int>(std::lround(target.WidthMm / 25.4 * target.Dpi));
    p.Height = static_cast<int>(std::lround(target.HeightMm / 25.4 * target.Dpi));
  }
  p.Rotate = options.Rotate;
  if (p.Rotate < 0) {
    const bool pageWide = region.Width > region.Height, labelWide = p.Width > p.Height;
    p.Rotate = labelKnown && region.Width != region.Height && p.Width != p.Height && pageWide != labelWide ? 90 : 0;
  }
  const bool quarter = p.Rotate == 90 || p.Rotate == 270;
  const double w = quarter ? region.Height : region.Width, h = quarter ? region.Width : region.Height;
  if (!labelKnown) {
    const double dotsWide = std::round(w * dotsPerPoint), dotsHigh = std::round(h * dotsPerPoint);
    if (!(dotsWide >= 1 && dotsHigh >= 1 && dotsWide <= MaxLabelSide && dotsHigh <= MaxLabelSide &&
          dotsWide * dotsHigh <= static_cast<double>(MaxLabelDots)))
      throw DocumentError("page " + std::to_string(pageNumber) + " is " + Millimetres(region.Width) + " x " +
                          Millimetres(region.Height) + " mm, no label at " + std::to_string(target.Dpi) +
                          " dpi is that size (give the label's width and height)");
    p.Width = static_cast<int>(dotsWide), p.Height = static_cast<int>(dotsHigh);
  }
  if (p.Width < 1 || p.Height < 1 || p.Width > MaxLabelSide || p.Height > MaxLabelSide ||
      static_cast<long long>(p.Width) * p.Height > MaxLabelDots)
    throw DocumentError("a label of " + std::to_string(p.Width) + " x " + std::to_string(p.Height) +
                        " dots is beyond what is printed (at most " + std::to_string(MaxLabelSide) +
                        " dots a side and " + std::to_string(MaxLabelDots / 1000000) + " million dots in all)");
  const double scale = options.Scale == Scaling::Fit ? std::min(p.Width / w, p.Height / h) : dotsPerPoint;
  // The page's top left corner on whole dots, then turned about it.
  const double left = std::round((p.Width - w * scale) / 2), top = std::round((p.Height - h * scale) / 2);
  cairo_matrix_init_translate(&p.ToDots, left, top);
  switch (p.Rotate) {
    case 90: cairo_matrix_translate(&p.ToDots, w * scale, 0); break;
    case 180: cairo_matrix_translate(&p.ToDots, w * scale, h * scale); break;
    case 270: cairo_matrix_translate(&p.ToDots, 0, h * scale); break;
    default: break;
  }
  cairo_matrix_rotate(&p.ToDots, p.Rotate * M_PI / 180);
  cairo_matrix_scale(&p.ToDots, scale, scale);
  cairo_matrix_translate(&p.ToDots, -region.X, -region.Y);
  return p;
}

bool IsSheet(const PageSize& page, const Target& target) {
  const double shortSide = std::min(page.Width, page.Height), longSide = std::max(page.Width, page.Height);
  if (shortSide >= 5.5 * PointsPerInch && longSide >= 8 * PointsPerInch) return true;
  if (target.WidthMm <= 0 || target.HeightMm <= 0) return false;
  const double labelArea = target.WidthMm * target.HeightMm / (25.4 * 25.4) * PointsPerInch * PointsPerInch;
  return page.Width * page.Height >= 2 * labelArea;
}

Region LabelPart(Source& source, int index, const PageSize& page) {
  const Region whole{0, 0, page.Width, page.Height};
  if (page.Width * CutScale * page.Height * CutScale > static_cast<double>(MaxLabelDots)) return whole;
  Rough rough = DrawRough(source, index, page, CutScale);
  // Carriers put the label in one half of the sheet (the rest holds
  // instructions, receipts, a stub): the half that holds the largest
  // barcode, else the whole page, cut to its ink.
  Box part{0, 0, rough.Width, rough.Height};
  const Box code = LargestBarcode(rough);
  if (code.Area() > 0) {
    const bool tall = rough.Height >= rough.Width;
    const int middle = (tall ? rough.Height : rough.Width) / 2,
              centre = tall ? (code.Y0 + code.Y1) / 2 : (code.X0 + code.X1) / 2;
    int& edge = centre < middle ? (tall ? part.Y1 : part.X1) : (tall ? part.Y0 : part.X0);
    edge = middle;
  }
  const Box ink = InkBox(rough, part);
  if (ink.Area() == 0) return whole;
  const double margin = 4;  // points
  const double x0 = std::max(0.0, ink.X0 / CutScale - margin), y0 = std::max(0.0, ink.Y0 / CutScale - margin);
  const double x1 = std::min(page.Width, ink.X1 / CutScale + margin),
               y1 = std::min(page.Height, ink.Y1 / CutScale + margin);
  return {x0, y0, x1 - x0, y1 - y0};
}

core::Bitmap DrawPage(Source& source, int index, const Placement& placement) {
  const int w = placement.Width, h = placement.Height;
  WhitePage page(w, h);
  if (cairo_surface_status(page.Surface.get()) != CAIRO_STATUS_SUCCESS)
    throw DocumentError("out of memory for a label of " + std::to_string(w) + " x " + std::to_string(h) + " dots");
  cairo_set_matrix(page.Cr.get(), &placement.ToDots);
  source.Draw(index, page.Cr.get());
  const uint8_t* pixels = page.Pixels();
  const size_t stride = page.Stride();
  std::vector<uint8_t> grey(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* px = pixels + stride * y + x * 4;  // B, G, R, unused
      grey[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>((px[2] * 299 + px[1] * 587 + px[0] * 114) / 1000);
    }
  return Halftone(grey, w, h);
}

core::Bitmap Halftone(const std::vector<uint8_t>& grey, int w, int h) {
  const std::vector<uint8_t> tone = ToneTiles(grey, w, h);
  const int tilesX = (w + TileSide - 1) / TileSide;
  core::Bitmap dots(w, h);
  // Error of the dithered dots, carried to the right and to the next row.
  std::vector<int> here(static_cast<size_t>(w) + 2, 0), next(static_cast<size_t>(w) + 2, 0);
  for (int y = 0; y < h; ++y) {
    std::fill(next.begin(), next.end(), 0);
    const uint8_t* row = grey.data() + static_cast<size_t>(y) * w;
    const uint8_t* toneRow = tone.data() + static_cast<size_t>(y / TileSide) * tilesX;
    uint8_t* out = dots.Row(y);
    for (int x = 0; x < w; ++x) {
      if (!toneRow[x / TileSide]) {
        out[x] = row[x] < 128;
        continue;
      }
      const int wanted = row[x] + here[static_cast<size_t>(x) + 1];
      out[x] = wanted < 128;
      const int error = wanted - (out[x] ? 0 : 255);
      here[static_cast<size_t>(x) + 2] += error * 7 / 16;
      next[static_cast<size_t>(x)] += error * 3 / 16;
      next[static_cast<size_t>(x) + 1] += error * 5 / 16;
      next[static_cast<size_t>(x) + 2] += error / 16;
    }
    here.swap(next);
  }
  return dots;
}

std::vector<uint8_t> ToneTiles(const std::vector<uint8_t>& grey, int w, int h) {
  const int tilesX = (w + TileSide - 1) / TileSide, tilesY = (h + TileSide - 1) / TileSide;
  std::vector<int> smooth(static_cast<size_t>(tilesX) * tilesY, 0);
  for (int y = 0; y + 1 < h; ++y) {
    const uint8_t* row = grey.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x + 1 < w; ++x) {
      const int v = row[x];
      if (v < 64 || v > 192 || std::abs(row[x + 1] - v) >= 16 || std::abs(row[x + w] - v) >= 16) continue;
      ++smooth[static_cast<size_t>(y / TileSide) * tilesX + x / TileSide];
    }
  }
  std::vector<uint8_t> tone(smooth.size());
  for (size_t i = 0; i < smooth.size(); ++i) tone[i] = smooth[i] * 4 >= TileSide * TileSide;
  return tone;
}

}  // namespace morvel::print::detail

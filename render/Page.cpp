// Drawing a page: cairo holds the ink of the page as coverage (an A8
// surface), pango lays text out in fontconfig fonts, zint encodes the
// barcodes. Geometry is drawn without antialiasing so bars, modules and
// lines land on whole dots; text is antialiased and cut at half coverage,
// which keeps small glyphs legible at 203 dpi.
#include "render/Page.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "render/Shared.h"

namespace morvel::render {
namespace {

// The text laid out in the style (invalid UTF-8 shown as U+FFFD); the
// caller holds the context's lock and releases the layout.
PangoLayout* Layout(PangoContext* context, std::string_view utf8, const TextStyle& style) {
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, style.Font.empty() ? "Sans" : style.Font.c_str());
  pango_font_description_set_absolute_size(font, style.Height * PANGO_SCALE);
  pango_font_description_set_weight(font, style.Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(font, style.Italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  char* valid = g_utf8_make_valid(utf8.data(), static_cast<gssize>(utf8.size()));
  pango_layout_set_text(layout, valid, -1);
  g_free(valid);
  return layout;
}

long Whole(double v) { return std::lround(std::clamp(v, -1e7, 1e7)); }

// Whole pages pass through these loops once or twice a label; eight dots
// at a time, in a 64-bit word, they take a fraction of the byte-wise time.
constexpr uint64_t Lows = 0x0101010101010101ULL;

uint64_t Load(const uint8_t* at) {
  uint64_t v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

void Store(uint8_t* at, uint64_t v) { std::memcpy(at, &v, sizeof v); }

// Dots from coverage: black (1) where the coverage is half or more.
void Threshold(const uint8_t* coverage, uint8_t* dots, long n) {
  long x = 0;
  for (; x + 8 <= n; x += 8) Store(dots + x, (Load(coverage + x) >> 7) & Lows);
  for (; x < n; ++x) dots[x] = coverage[x] >> 7;
}

// The same, the row reversed: dots[n - 1 - x] from coverage[x]. A word's
// bytes reversed by a byte swap land in the right order whatever the
// machine's byte order.
void ThresholdReversed(const uint8_t* coverage, uint8_t* dots, long n) {
  long x = 0;
  for (; x + 8 <= n; x += 8) Store(dots + n - 8 - x, __builtin_bswap64((Load(coverage + x) >> 7) & Lows));
  for (; x < n; ++x) dots[n - 1 - x] = coverage[x] >> 7;
}

// Full coverage wherever a dot is black (any byte but 0), kept elsewhere.
void Cover(uint8_t* coverage, const uint8_t* dots, long n) {
  constexpr uint64_t Highs = Lows << 7, Rest = ~Highs;
  long x = 0;
  for (; x + 8 <= n; x += 8) {
    const uint64_t d = Load(dots + x);
    const uint64_t black = (((d & Rest) + Rest) | d) & Highs;  // the top bit of each byte that is not 0
    Store(coverage + x, Load(coverage + x) | ((black >> 7) * 0xFF));
  }
  for (; x < n; ++x)
    if (dots[x]) coverage[x] = 255;
}

}  // namespace

struct Page::Surface {
  render::Ink Mode = render::Ink::Black;
  cairo_surface_t* Ink = nullptr;
  cairo_t* Cr = nullptr;
  ~Surface() {
    if (Cr) cairo_destroy(Cr);
    if (Ink) cairo_surface_destroy(Ink);
  }
};

int DotsOfHundredths(double hundredthsOfMm, double dotsPerInch) {
  return static_cast<int>(std::lround(std::clamp(hundredthsOfMm / 2540.0 * dotsPerInch, -1e9, 1e9)));
}

Page::Page(int widthDots, int heightDots, double dotsPerInch)
    : surface_(std::make_unique<Surface>()), width_(widthDots), height_(heightDots), dpi_(dotsPerInch) {
  if (widthDots < 1 || heightDots < 1 || widthDots > MaxSide || heightDots > MaxSide ||
      static_cast<long long>(widthDots) * heightDots > MaxDots)
    throw std::invalid_argument("page size out of range");
  surface_->Ink = cairo_image_surface_create(CAIRO_FORMAT_A8, widthDots, heightDots);
  surface_->Cr = cairo_create(surface_->Ink);
  if (cairo_status(surface_->Cr) != CAIRO_STATUS_SUCCESS) throw std::bad_alloc();
  cairo_set_source_rgba(surface_->Cr, 0, 0, 0, 1);
  cairo_set_antialias(surface_->Cr, CAIRO_ANTIALIAS_NONE);
}

Page::~Page() = default;

void Page::Text(double x, double y, double width, double height, std::string_view utf8, const TextStyle& style) {
  if (!(width > 0) || !(height > 0) || utf8.empty() || !(style.Height > 0) || style.Height > MaxTextHeight) return;
  cairo_t* cr = surface_->Cr;
  TextContext& fonts = Fonts();
  std::lock_guard<std::mutex> lock(fonts.Lock);
  cairo_save(cr);
  cairo_rectangle(cr, x, y, width, height);
  cairo_clip(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_update_context(cr, fonts.Context);
  PangoLayout* layout = Layout(fonts.Context, utf8, style);
  pango_layout_set_width(layout, static_cast<int>(std::min(width, 1e6) * PANGO_SCALE));
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  cairo_restore(cr);
}

bool Page::Code128(double x, double y, double width, double height, std::string_view utf8, double textHeight,
                   std::string* error) {
  Symbol symbol;
  if (!Encode(symbol, BARCODE_CODE128, UNICODE_MODE, 0, utf8, error)) return false;
  const int modules = symbol.S->width;
  const long module = std::max(1L, static_cast<long>(std::floor(std::max(width, 0.0) / modules)));
  const long left = Whole(x), top = Whole(y);
  const long text = textHeight > 0 ? Whole(std::min(textHeight, MaxTextHeight)) : 0;
  const long bars = std::max(1L, Whole(height) - text);
  cairo_t* cr = surface_->Cr;
  symbol.DarkRuns(0, [&](int c, int run) {
    cairo_rectangle(cr, static_cast<double>(left + c * module), static_cast<double>(top),
                    static_cast<double>(run * module), static_cast<double>(bars));
  });
  cairo_fill(cr);
  if (text > 0) {
    // The line's em is 0.8 of its height, less when the font's line would
    // still be taller; it is centred under the bars in a box as wide as
    // itself, so nothing wraps.
    TextStyle style;
    style.Height = static_cast<double>(text) * 0.8;
    int w = 0, h = 0;
    {
      TextContext& fonts = Fonts();
      std::lock_guard<std::mutex> lock(fonts.Lock);
      PangoLayout* layout = Layout(fonts.Context, utf8, style);
      pango_layout_get_pixel_size(layout, &w, &h);
      g_object_unref(layout);
    }
    const double fit = h > text ? static_cast<double>(text) / h : 1.0;
    style.Height *= fit;
    const double lineWidth = w * fit + 2;
    const double span = static_cast<double>(modules * module);
    const double start = static_cast<double>(left) + (span - lineWidth) / 2;
    Text(start, static_cast<double>(top + bars), lineWidth, static_cast<double>(text), utf8, style);
  }
  return true;
}

bool Page::QrCode(double x, double y, double width, double height, std::string_view data, std::string* error) {
  Symbol symbol;
  // Text beyond ASCII carries the UTF-8 designator (ECI 26): without it
  // readers guess the encoding, and many guess Shift JIS.
  const bool ascii = std::all_of(data.begin(), data.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (symbol.S != nullptr && !ascii) symbol.S->eci = 26;
  if (!Encode(symbol, BARCODE_QRCODE, ascii ? DATA_MODE : UNICODE_MODE, 0, data, error)) return false;
  const int n = symbol.S->width;
  const double side = std::max(0.0, std::min(width, height));
  const long module = std::max(1L, static_cast<long>(std::floor(side / n)));
  const long left = Whole(x + (width - static_cast<double>(n * module)) / 2);
  const long top = Whole(y + (height - static_cast<double>(n * module)) / 2);
  cairo_t* cr = surface_->Cr;
  for (int r = 0; r < symbol.S->rows; ++r) {
    symbol.DarkRuns(r, [&](int c, int run) {
      cairo_rectangle(cr, static_cast<double>(left + c * module), static_cast<double>(top + r * module),
                      static_cast<double>(run * module), static_cast<double>(module));
    });
  }
  cairo_fill(cr);
  return true;
}

void Page::Line(double x1, double y1, double x2, double y2, double width) {
  cairo_t* cr = surface_->Cr;
  cairo_save(cr);
  cairo_set_line_width(cr, std::max(1.0, std::min(width, 1e6)));
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_move_to(cr, x1, y1);
  cairo_line_to(cr, x2, y2);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void Page::Fill(double x, double y, double width, double height) {
  if (!(width > 0) || !(height > 0)) return;
  cairo_rectangle(surface_->Cr, x, y, width, height);
  cairo_fill(surface_->Cr);
}

void Page::Box(double x, double y, double width, double height, double thickness) {
  if (!(width > 0) || !(height > 0)) return;
  const double t = std::min({std::max(1.0, thickness), width / 2, height / 2});
  cairo_t* cr = surface_->Cr;
  cairo_save(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_rectangle(cr, x, y, width, height);
  cairo_rectangle(cr, x + t, y + t, width - 2 * t, height - 2 * t);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Page::RoundedBox(double x, double y, double width, double height, double thickness, double radius) {
  if (!(width > 0) || !(height > 0)) return;
  const double t = std::min({std::max(1.0, thickness), width / 2, height / 2});
  const double r = std::clamp(radius, 0.0, std::min(width, height) / 2);
  if (r < 0.5) return Box(x, y, width, height, thickness);
  cairo_t* cr = surface_->Cr;
  auto path = [cr](double x0, double y0, double w, double h, double rr) {
    const double pi = std::numbers::pi;
    cairo_new_sub_path(cr);
    if (rr <= 0) {
      cairo_rectangle(cr, x0, y0, w, h);
      return;
    }
    cairo_arc(cr, x0 + w - rr, y0 + rr, rr, -pi / 2, 0);
    cairo_arc(cr, x0 + w - rr, y0 + h - rr, rr, 0, pi / 2);
    cairo_arc(cr, x0 + rr, y0 + h - rr, rr, pi / 2, pi);
    cairo_arc(cr, x0 + rr, y0 + rr, rr, pi, 3 * pi / 2);
    cairo_close_path(cr);
  };
  cairo_save(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  path(x, y, width, height, r);
  if (width - 2 * t > 0 && height - 2 * t > 0) path(x + t, y + t, width - 2 * t, height - 2 * t, std::max(0.0, r - t));
  cairo_fill(cr);
  cairo_restore(cr);
}

void Page::Ellipse(double x, double y, double width, double height, double thickness) {
  if (!(width > 0) || !(height > 0)) return;
  const double t = std::min({std::max(1.0, thickness), width / 2, height / 2});
  cairo_t* cr = surface_->Cr;
  auto oval = [cr](double cx, double cy, double rx, double ry) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
    cairo_restore(cr);
  };
  cairo_save(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  oval(x + width / 2, y + height / 2, width / 2, height / 2);
  if (width / 2 - t > 0 && height / 2 - t > 0) oval(x + width / 2, y + height / 2, width / 2 - t, height / 2 - t);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Page::Polygon(const std::vector<double>& points) {
  if (points.size() < 6) return;
  cairo_t* cr = surface_->Cr;
  cairo_move_to(cr, points[0], points[1]);
  for (size_t k = 2; k + 1 < points.size(); k += 2) cairo_line_to(cr, points[k], points[k + 1]);
  cairo_close_path(cr);
  cairo_fill(cr);
}

void Page::SetInk(Ink ink) {
  surface_->Mode = ink;
  // On a coverage surface XOR of two whole coverages is exactly "reverse".
  cairo_set_operator(surface_->Cr, ink == Ink::White     ? CAIRO_OPERATOR_CLEAR
                                   : ink == Ink::Reverse ? CAIRO_OPERATOR_XOR
                                                         : CAIRO_OPERATOR_OVER);
}

void Page::Dots(int x, int y, const core::Bitmap& dots) {
  // Straight into the coverage bytes: a logo or a line of text is thousands
  // of runs, each of which would be a path of its own through cairo.
  const long x0 = std::max(0L, -static_cast<long>(x)), x1 = std::min<long>(dots.Width(), static_cast<long>(width_) - x);
  const long y0 = std::max(0L, -static_cast<long>(y)),
             y1 = std::min<long>(dots.Height(), static_cast<long>(height_) - y);
  if (x1 <= x0 || y1 <= y0) return;
  cairo_surface_flush(surface_->Ink);
  unsigned char* data = cairo_image_surface_get_data(surface_->Ink);
  const int stride = cairo_image_surface_get_stride(surface_->Ink);
  const Ink mode = surface_->Mode;
  for (long r = y0; r < y1; ++r) {
    unsigned char* row = data + static_cast<size_t>(y + r) * stride + x;
    const uint8_t* from = dots.Row(static_cast<int>(r));
    if (mode == Ink::Black) {
      Cover(row + x0, from + x0, x1 - x0);
      continue;
    }
    for (long c = x0; c < x1; ++c) {
      if (!from[c]) continue;
      unsigned char& d = row[c];
      d = mode == Ink::White ? 0 : static_cast<unsigned char>(d >= 128 ? 0 : 255);
    }
  }
  cairo_surface_mark_dirty(surface_->Ink);
}

void Page::Turned(double x, double y, int degrees, const std::function<void()>& draw) {
  cairo_t* cr = surface_->Cr;
  cairo_save(cr);
  if (degrees == 90 || degrees == 180 || degrees == 270) {
    cairo_translate(cr, x, y);
    cairo_rotate(cr, degrees * std::numbers::pi / 180);
    // Exact quarter turns, so that whole dots stay whole dots.
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    m.xx = std::round(m.xx), m.xy = std::round(m.xy), m.yx = std::round(m.yx), m.yy = std::round(m.yy);
    cairo_set_matrix(cr, &m);
    cairo_translate(cr, -x, -y);
  }
  try {
    draw();
  } catch (...) {
    cairo_restore(cr);
    throw;
  }
  cairo_restore(cr);
}

void Page::Image(double x, double y, double width, double height, int pictureWidth, int pictureHeight,
                 const uint8_t* rgba, int threshold) {
  const long left = Whole(x), top = Whole(y), w = Whole(width), h = Whole(height);
  if (w <= 0 || h <= 0 || pictureWidth <= 0 || pictureHeight <= 0 || rgba == nullptr) return;
  // Only the part of the box on the page is scaled: the page's corners in
  // the drawing's own (perhaps turned) coordinates bound it.
  double px[4] = {0, static_cast<double>(width_), 0, static_cast<double>(width_)};
  double py[4] = {0, 0, static_cast<double>(height_), static_cast<double>(height_)};
  for (int i = 0; i < 4; ++i) cairo_device_to_user(surface_->Cr, &px[i], &py[i]);
  const long ux0 = std::lround(*std::min_element(px, px + 4)), ux1 = std::lround(*std::max_element(px, px + 4));
  const long uy0 = std::lround(*std::min_element(py, py + 4)), uy1 = std::lround(*std::max_element(py, py + 4));
  const long vx0 = std::max(left, ux0), vy0 = std::max(top, uy0);
  const long vx1 = std::min(left + w, ux1), vy1 = std::min(top + h, uy1);
  if (vx1 <= vx0 || vy1 <= vy0) return;
  const int vw = static_cast<int>(vx1 - vx0), vh = static_cast<int>(vy1 - vy0);

  // The picture over white, as cairo's RGB24.
  cairo_surface_t* source = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pictureWidth, pictureHeight);
  cairo_surface_t* scaled = cairo_image_surface_create(CAIRO_FORMAT_RGB24, vw, vh);
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, vw, vh);
  if (cairo_surface_status(source) == CAIRO_STATUS_SUCCESS && cairo_surface_status(scaled) == CAIRO_STATUS_SUCCESS &&
      cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(source);
    unsigned char* s = cairo_image_surface_get_data(source);
    const int sstride = cairo_image_surface_get_stride(source);
    for (int row = 0; row < pictureHeight; ++row) {
      auto* out = reinterpret_cast<uint32_t*>(s + static_cast<size_t>(row) * sstride);
      const uint8_t* in = rgba + static_cast<size_t>(row) * pictureWidth * 4;
      for (int col = 0; col < pictureWidth; ++col, in += 4) {
        const uint32_t a = in[3];
        auto over = [a](uint32_t c) { return (c * a + 255 * (255 - a) + 127) / 255; };
        out[col] = (over(in[0]) << 16) | (over(in[1]) << 8) | over(in[2]);
      }
    }
    cairo_surface_mark_dirty(source);

    cairo_t* scr = cairo_create(scaled);
    cairo_set_source_rgb(scr, 1, 1, 1);
    cairo_paint(scr);
    cairo_translate(scr, static_cast<double>(left - vx0), static_cast<double>(top - vy0));
    cairo_scale(scr, static_cast<double>(w) / pictureWidth, static_cast<double>(h) / pictureHeight);
    cairo_set_source_surface(scr, source, 0, 0);
    // Enlarged pictures keep their pixels whole, as a printer would, so the
    // threshold sees each pixel's own grey; reduced ones are averaged, so
    // thin strokes survive as grey rather than vanish between samples.
    const bool enlarged = w >= pictureWidth && h >= pictureHeight;
    cairo_pattern_set_filter(cairo_get_source(scr), enlarged ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(scr), CAIRO_EXTEND_PAD);
    cairo_paint(scr);
    cairo_destroy(scr);
    cairo_surface_flush(scaled);

    cairo_surface_flush(mask);
    unsigned char* d = cairo_image_surface_get_data(scaled);
    unsigned char* m = cairo_image_surface_get_data(mask);
    const int dstride = cairo_image_surface_get_stride(scaled), mstride = cairo_image_surface_get_stride(mask);
    for (int row = 0; row < vh; ++row) {
      auto* in = reinterpret_cast<const uint32_t*>(d + static_cast<size_t>(row) * dstride);
      unsigned char* out = m + static_cast<size_t>(row) * mstride;
      for (int col = 0; col < vw; ++col) {
        const uint32_t p = in[col];
        const uint32_t grey = (299 * ((p >> 16) & 255) + 587 * ((p >> 8) & 255) + 114 * (p & 255) + 500) / 1000;
        out[col] = static_cast<int>(grey) < threshold ? 255 : 0;
      }
    }
    cairo_surface_mark_dirty(mask);
    cairo_mask_surface(surface_->Cr, mask, static_cast<double>(vx0), static_cast<double>(vy0));
  }
  cairo_surface_destroy(mask);
  cairo_surface_destroy(scaled);
  cairo_surface_destroy(source);
}

core::Bitmap Page::ToBitmap(bool mirrored, bool turned180) const {
  cairo_surface_flush(surface_->Ink);
  const unsigned char* data = cairo_image_surface_get_data(surface_->Ink);
  const int stride = cairo_image_surface_get_stride(surface_->Ink);
  core::Bitmap out(width_, height_);
  // Mirrored and turned, a row keeps its order and the rows swap ends.
  const bool reversed = mirrored != turned180;
  for (int y = 0; y < height_; ++y) {
    const unsigned char* row = data + static_cast<size_t>(y) * stride;
    uint8_t* to = out.Row(turned180 ? height_ - 1 - y : y);
    if (reversed)
      ThresholdReversed(row, to, width_);
    else
      Threshold(row, to, width_);
  }
  return out;
}

core::Bitmap Rotate(const core::Bitmap& page, int degrees) {
  const int w = page.Width(), h = page.Height();
  switch (degrees) {
    case 90: {
      core::Bitmap out(h, w);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          if (page.Black(x, y)) out.Set(h - 1 - y, x, true);
      return out;
    }
    case 180: {
      core::Bitmap out = page;
      out.Turn180();
      return out;
    }
    case 270: {
      core::Bitmap out(h, w);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          if (page.Black(x, y)) out.Set(y, w - 1 - x, true);
      return out;
    }
    default: return page;
  }
}

}  // namespace morvel::render

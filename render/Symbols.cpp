// Exact-size drawing for printer-language previews. Bars and modules are
// whole-dot rectangles filled through Page (no antialiasing there), rasters
// are copied dot for dot, and text is laid out by pango on a surface of its
// own so it can be stretched and turned before it joins the page.
#include "render/Symbols.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "render/Shared.h"

namespace morvel::render {
namespace {

int EccLevel(char level) {
  switch (level) {
    case 'L': return 1;
    case 'M': return 2;
    case 'Q': return 3;
    case 'H': return 4;
    default: return 2;
  }
}

}  // namespace

void Blit(Page& page, int x, int y, const Bitmap& dots) {
  // Runs of black along each row become one rectangle each.
  for (int r = 0; r < dots.Height(); ++r) {
    const long row = static_cast<long>(y) + r;
    if (row < 0 || row >= page.Height()) continue;
    for (int c = 0; c < dots.Width();) {
      if (!dots.Black(c, r)) {
        ++c;
        continue;
      }
      int end = c;
      while (end < dots.Width() && dots.Black(end, r)) ++end;
      page.Fill(static_cast<double>(x) + c, static_cast<double>(row), end - c, 1);
      c = end;
    }
  }
}

bool Code128At(Page& page, int x, int y, int module, int barHeight, std::string_view data, int textHeight,
               std::string* error) {
  Symbol symbol;
  if (!Encode(symbol, BARCODE_CODE128, DATA_MODE, 0, data, error)) return false;
  module = std::clamp(module, 1, 100);
  barHeight = std::clamp(barHeight, 1, Page::MaxSide);
  const int modules = symbol.S->width;
  symbol.DarkRuns(0, [&](int c, int run) {
    page.Fill(static_cast<double>(x) + static_cast<double>(c) * module, y, static_cast<double>(run) * module,
              barHeight);
  });
  if (textHeight > 0) {
    // Latin-1 bytes as UTF-8 for the human-readable line.
    std::string utf8;
    for (unsigned char b : data) {
      if (b < 0x80) {
        utf8 += static_cast<char>(b);
      } else {
        utf8 += static_cast<char>(0xC0 | (b >> 6));
        utf8 += static_cast<char>(0x80 | (b & 0x3F));
      }
    }
    TextLook look;
    look.Font = "DejaVu Sans Mono";
    look.Height = textHeight * 0.8;
    Bitmap line = TextDots(utf8, look, 0);
    const int span = modules * module;
    Blit(page, x + (span - line.Width()) / 2, y + barHeight + std::max(1, textHeight / 10), line);
  }
  return true;
}

int Code128Modules(std::string_view data) {
  Symbol symbol;
  return Encode(symbol, BARCODE_CODE128, DATA_MODE, 0, data, nullptr) ? symbol.S->width : 0;
}

bool QrAt(Page& page, int x, int y, int module, char errorCorrection, std::string_view data, std::string* error) {
  Symbol symbol;
  if (!Encode(symbol, BARCODE_QRCODE, DATA_MODE, EccLevel(errorCorrection), data, error)) return false;
  module = std::clamp(module, 1, 100);
  for (int r = 0; r < symbol.S->rows; ++r) {
    symbol.DarkRuns(r, [&](int c, int run) {
      page.Fill(static_cast<double>(x) + static_cast<double>(c) * module,
                static_cast<double>(y) + static_cast<double>(r) * module, static_cast<double>(run) * module, module);
    });
  }
  return true;
}

int QrModules(char errorCorrection, std::string_view data) {
  Symbol symbol;
  return Encode(symbol, BARCODE_QRCODE, DATA_MODE, EccLevel(errorCorrection), data, nullptr) ? symbol.S->width : 0;
}

Bitmap TextDots(std::string_view utf8, const TextLook& look, int rotation) {
  if (utf8.empty() || !(look.Height >= 1)) return Bitmap();
  const double height = std::min(look.Height, 2000.0);
  const double stretch = look.Width > 0 ? std::clamp(look.Width / look.Height, 0.05, 20.0) : 1.0;
  char* valid = g_utf8_make_valid(utf8.data(), static_cast<gssize>(std::min<size_t>(utf8.size(), 1 << 16)));
  TextContext& text = Fonts();
  Bitmap out;
  {
    std::lock_guard<std::mutex> lock(text.Lock);
    PangoLayout* layout = pango_layout_new(text.Context);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, look.Font.empty() ? "Sans" : look.Font.c_str());
    pango_font_description_set_absolute_size(font, height * PANGO_SCALE);
    pango_font_description_set_weight(font, look.Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_text(layout, valid, -1);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    const int width = std::clamp(static_cast<int>(std::ceil(logical.width * stretch)), 1, Page::MaxSide);
    const int rows = std::clamp(logical.height, 1, Page::MaxSide);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, rows);
    cairo_t* cr = cairo_create(surface);
    if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) {
      cairo_set_source_rgba(cr, 0, 0, 0, 1);
      cairo_scale(cr, stretch, 1);
      pango_cairo_update_context(cr, text.Context);
      pango_cairo_show_layout(cr, layout);
      cairo_surface_flush(surface);
      const unsigned char* data = cairo_image_surface_get_data(surface);
      const int stride = cairo_image_surface_get_stride(surface);
      out = Bitmap(width, rows);
      for (int r = 0; r < rows; ++r)
        for (int c = 0; c < width; ++c)
          if (data[static_cast<size_t>(r) * stride + c] >= 128) out.Set(c, r, true);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    pango_font_description_free(font);
    g_object_unref(layout);
  }
  g_free(valid);
  return Rotate(out, rotation);
}

}  // namespace morvel::render

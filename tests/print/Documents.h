// Label documents of known content for the printing tests: PDFs drawn with
// cairo (vector barcodes from zint's modules, text, a grey ramp as a photo)
// and PNG pictures at a resolution they record.
#pragma once

#include <cairo-pdf.h>
#include <cairo.h>
#include <zlib.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "render/Symbols.h"

namespace morvel::testing {

// The symbologies the documents carry.
inline constexpr core::Symbology Code128 = core::Symbology::Code128, Code39 = core::Symbology::Code39,
                                 QrCode = core::Symbology::QrCode;

inline cairo_status_t AppendTo(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// A one-page PDF of `width` x `height` points.
inline std::string PdfOf(double width, double height, const std::function<void(cairo_t*)>& draw) {
  std::string out;
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(AppendTo, &out, width, height);
  cairo_t* cr = cairo_create(surface);
  draw(cr);
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  return out;
}

// A PNG of width x height pixels drawn in points at `dpi`, with a pHYs
// chunk saying so.
inline std::string PngOf(int width, int height, double dpi, const std::function<void(cairo_t*)>& draw) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_scale(cr, dpi / 72, dpi / 72);
  draw(cr);
  cairo_destroy(cr);
  std::string png;
  cairo_surface_write_to_png_stream(surface, AppendTo, &png);
  cairo_surface_destroy(surface);
  // pHYs after IHDR (8 bytes of signature, 25 of IHDR): pixels a metre, unit 1.
  const uint32_t perMetre = static_cast<uint32_t>(dpi / 0.0254 + 0.5);
  std::string chunk = "pHYs";
  for (int k = 0; k < 2; ++k)
    for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>((perMetre >> shift) & 0xFF);
  chunk += '\x01';
  const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()));
  std::string whole = std::string("\0\0\0\x09", 4) + chunk;
  for (int shift = 24; shift >= 0; shift -= 8) whole += static_cast<char>((crc >> shift) & 0xFF);
  return png.insert(33, whole);
}

// The symbol drawn as filled modules `module` points wide from (x, y);
// a linear symbol's bars `height` points tall.
inline void SymbolAt(cairo_t* cr, core::Symbology symbology, const std::string& data, double x, double y, double module,
                     double height) {
  core::SymbolOptions options;
  options.Symbology = symbology;
  options.Module = 1;
  options.BarHeight = 1;
  const core::Bitmap modules = render::SymbolDots(options, data);
  const double rowHeight = modules.Height() == 1 ? height : module;
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (int r = 0; r < modules.Height(); ++r)
    for (int c = 0; c < modules.Width(); ++c)
      if (modules.Black(c, r)) cairo_rectangle(cr, x + c * module, y + r * rowHeight, module, rowHeight);
  cairo_fill(cr);
}

// A grey ramp from white to black, as a photo's shades are.
inline void RampAt(cairo_t* cr, double x, double y, double width, double height) {
  cairo_pattern_t* ramp = cairo_pattern_create_linear(x, 0, x + width, 0);
  cairo_pattern_add_color_stop_rgb(ramp, 0, 1, 1, 1);
  cairo_pattern_add_color_stop_rgb(ramp, 1, 0, 0, 0);
  cairo_rectangle(cr, x, y, width, height);
  cairo_set_source(cr, ramp);
  cairo_fill(cr);
  cairo_pattern_destroy(ramp);
}

inline void TextAt(cairo_t* cr, double x, double y, double size, const char* text) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, size);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text);
}

// A PDF of pages `sizes` (points), each with its number on it and what
// `draw` adds.
inline std::string PdfOfPages(const std::vector<std::pair<double, double>>& sizes,
                              const std::function<void(cairo_t*)>& draw = {}) {
  std::string out;
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(AppendTo, &out, sizes[0].first, sizes[0].second);
  cairo_t* cr = cairo_create(surface);
  for (size_t k = 0; k < sizes.size(); ++k) {
    cairo_pdf_surface_set_size(surface, sizes[k].first, sizes[k].second);
    TextAt(cr, 20, 40, 14, ("page " + std::to_string(k + 1)).c_str());
    if (draw) draw(cr);
    cairo_show_page(cr);
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  return out;
}

}  // namespace morvel::testing

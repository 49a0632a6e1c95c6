// One PDF of many labels through cairo's PDF surface: each page the size of
// its label at the printer's resolution, the label's dots painted as a
// one-bit image scaled to it without smoothing, so every dot stays a dot.
#include <cairo-pdf.h>

#include "render/Page.h"

namespace morvel::render {

struct PdfWriter::State {
  cairo_surface_t* Surface = nullptr;
  cairo_t* Cr = nullptr;
  bool First = true;
};

PdfWriter::PdfWriter(const std::string& path) : state_(std::make_unique<State>()) {
  state_->Surface = cairo_pdf_surface_create(path.c_str(), 72, 72);
  if (cairo_surface_status(state_->Surface) == CAIRO_STATUS_SUCCESS) state_->Cr = cairo_create(state_->Surface);
}

PdfWriter::~PdfWriter() { Finish(); }

bool PdfWriter::Ok() const {
  return state_->Surface && cairo_surface_status(state_->Surface) == CAIRO_STATUS_SUCCESS && state_->Cr &&
         cairo_status(state_->Cr) == CAIRO_STATUS_SUCCESS;
}

bool PdfWriter::Add(const core::Bitmap& dots, double dotsPerInch) {
  if (!Ok() || dots.Width() < 1 || dots.Height() < 1 || !(dotsPerInch > 0)) return false;
  const double scale = 72.0 / dotsPerInch;
  if (!state_->First) cairo_show_page(state_->Cr);
  state_->First = false;
  cairo_pdf_surface_set_size(state_->Surface, dots.Width() * scale, dots.Height() * scale);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_A1, dots.Width(), dots.Height());
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return false;
  }
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int y = 0; y < dots.Height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < dots.Width(); ++x)
      if (dots.Black(x, y)) {
        // A1 bits run from the least significant bit on little-endian machines.
        const uint32_t bit = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? (1u << (x & 31)) : (0x80000000u >> (x & 31));
        row[x >> 5] |= bit;
      }
  }
  cairo_surface_mark_dirty(image);
  cairo_t* cr = state_->Cr;
  cairo_save(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_scale(cr, scale, scale);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_pattern_t* mask = cairo_pattern_create_for_surface(image);
  cairo_pattern_set_filter(mask, CAIRO_FILTER_NEAREST);
  cairo_mask(cr, mask);
  cairo_pattern_destroy(mask);
  cairo_restore(cr);
  cairo_surface_destroy(image);
  return Ok();
}

bool PdfWriter::Finish() {
  if (!state_->Surface) return false;
  bool ok = Ok();
  if (state_->Cr) cairo_destroy(state_->Cr);
  cairo_surface_finish(state_->Surface);
  ok = ok && cairo_surface_status(state_->Surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(state_->Surface);
  state_->Cr = nullptr;
  state_->Surface = nullptr;
  return ok;
}

}  // namespace morvel::render

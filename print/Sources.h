// The pages of a document as the printing draws them: each source knows its
// pages' sizes and draws a page through a transform from its points to the
// label's dots, on a white page.
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "print/Print.h"
#include "render/Page.h"

namespace morvel::print::detail {

// A page's size in points (1/72 inch).
struct PageSize {
  double Width = 0, Height = 0;
};

class Source {
 public:
  virtual ~Source() = default;
  virtual int Count() = 0;
  virtual PageSize Size(int index) = 0;
  // Draws page `index` (from 0) on `page` (white, RGB) under its current transform.
  virtual void Draw(int index, cairo_t* page) = 0;
  // How many times the page is printed for one copy of the document.
  virtual int CopiesOf(int index) { return 1; }
  // What reading the document found worth telling.
  virtual std::vector<std::string> Notes() { return {}; }
};

// A PDF's pages drawn by a process of their own, each within a page's
// bounds (PdfPages.h); `abandoned`, asked while a page is drawn, stops it
// when true. InProcessPdfSource (morvel_pdf_here, which links poppler)
// draws them here, unbounded: for that process, and for the fuzzing of the
// reader.
std::unique_ptr<Source> PdfSource(std::string_view bytes, const std::function<bool()>& abandoned = {});
std::unique_ptr<Source> InProcessPdfSource(std::string_view bytes);
// From now on PdfSource draws in this process, by `open` (the reader's
// fuzzing passes InProcessPdfSource).
using PdfOpener = std::unique_ptr<Source> (*)(std::string_view bytes);
void DrawPdfInThisProcess(PdfOpener open);
std::unique_ptr<Source> PictureSource(std::string_view bytes, Format kind, int sourceDpi);
// A job in another language, its labels that give no size on the target's
// labels (as the job's printer would be loaded).
std::unique_ptr<Source> JobSource(std::string_view bytes, lang::Language language, int sourceDpi, const Target& target);

// A picture's ink (255 - grey over white), one byte a pixel, as an A8
// surface that owns its pixels.
struct InkPicture {
  cairo_surface_t* Ink = nullptr;
  InkPicture() = default;
  InkPicture(const InkPicture&) = delete;
  InkPicture& operator=(const InkPicture&) = delete;
  ~InkPicture();
};
// Grey levels (0 black) of width x height pixels, `stride` bytes a row.
void MakeInk(InkPicture& out, const uint8_t* grey, int width, int height, size_t stride);
// Draws the picture black into the box of `width` x `height` points at (x, y).
void DrawInk(const InkPicture& picture, double x, double y, double width, double height, cairo_t* page);

// The pictures a document may hold: at most this many pixels are decoded.
inline constexpr long long MaxPicturePixels = 36LL * 1000 * 1000;

// Draws each page chosen for the printer and hands its dots on, with the
// labels it prints (copies counted); refuses more labels than a request
// prints before drawing the page that passes the bound.
Report DrawPages(std::string_view document, const Target& target, const Options& options,
                 const std::function<void(const core::Bitmap&, int copies)>& page, const Progress& progress);

}  // namespace morvel::print::detail

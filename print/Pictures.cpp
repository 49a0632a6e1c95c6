// The sources of pictures and of jobs in another printer language, and the
// ink pictures both are drawn from. A picture's size comes from the
// resolution its file records (PNG pHYs, JPEG JFIF, BMP), else from the
// resolution the caller gives; its decoders are Decoders.h's. A job's
// labels are the house preview's pictures of them at the job's resolution.
#include <algorithm>
#include <cstdlib>

#include "lang/Reading.h"
#include "preview/Preview.h"
#include "print/Decoders.h"
#include "print/Sources.h"

namespace morvel::print::detail {
namespace {

// A picture file's page: its ink decoded row by row, the size its
// resolution gives it.
class PictureDocument : public Source {
 public:
  PictureDocument(std::string_view bytes, Format kind, int sourceDpi) {
    const double dpi = DecodePicture(bytes, kind, picture_);
    dpi_ = dpi > 0 ? dpi : sourceDpi;
    width_ = cairo_image_surface_get_width(picture_.Ink), height_ = cairo_image_surface_get_height(picture_.Ink);
  }
  int Count() override { return 1; }
  PageSize Size(int) override { return {width_ * 72.0 / dpi_, height_ * 72.0 / dpi_}; }
  void Draw(int, cairo_t* page) override {
    const PageSize s = Size(0);
    DrawInk(picture_, 0, 0, s.Width, s.Height, page);
  }

 private:
  InkPicture picture_;
  double dpi_ = 0;
  int width_ = 0, height_ = 0;
};

class JobDocument : public Source {
 public:
  JobDocument(lang::Job job, int dpi, preview::Media media) : job_(std::move(job)), dpi_(dpi), media_(media) {}
  int Count() override { return static_cast<int>(job_.Labels.size()); }
  PageSize Size(int index) override {
    const core::Bitmap& dots = Dots(index);
    return {dots.Width() * 72.0 / dpi_, dots.Height() * 72.0 / dpi_};
  }
  void Draw(int index, cairo_t* page) override {
    const core::Bitmap& dots = Dots(index);
    std::vector<uint8_t> grey(static_cast<size_t>(dots.Width()) * dots.Height());
    for (int y = 0; y < dots.Height(); ++y)
      for (int x = 0; x < dots.Width(); ++x)
        grey[static_cast<size_t>(y) * dots.Width() + x] = dots.Black(x, y) ? 0 : 255;
    InkPicture ink;
    MakeInk(ink, grey.data(), dots.Width(), dots.Height(), static_cast<size_t>(dots.Width()));
    const PageSize s = Size(index);
    DrawInk(ink, 0, 0, s.Width, s.Height, page);
  }
  int CopiesOf(int index) override {
    const std::string& copies = job_.Labels[static_cast<size_t>(index)].Copies;
    const bool digits = !copies.empty() && copies.size() <= 5 &&
                        std::all_of(copies.begin(), copies.end(), [](char c) { return c >= '0' && c <= '9'; });
    return digits ? std::max(1, std::atoi(copies.c_str())) : 1;
  }
  std::vector<std::string> Notes() override {
    std::vector<std::string> notes;
    for (const auto& w : job_.Warnings) notes.push_back("offset " + std::to_string(w.Offset) + ": " + w.Text);
    return notes;
  }

 private:
  // The picture of one label, drawn once and kept while the next pages
  // are not yet asked for.
  const core::Bitmap& Dots(int index) {
    if (index != drawn_) {
      std::vector<std::string> problems;
      dots_ = preview::Paint(job_.Labels[static_cast<size_t>(index)], dpi_, &problems, media_);
      for (auto& p : problems) job_.Warnings.push_back({0, "label " + std::to_string(index + 1) + ": " + p});
      drawn_ = index;
    }
    return dots_;
  }

  lang::Job job_;
  int dpi_;
  preview::Media media_;
  int drawn_ = -1;
  core::Bitmap dots_;
};

}  // namespace

InkPicture::~InkPicture() {
  if (Ink) cairo_surface_destroy(Ink);
}

void MakeInk(InkPicture& out, const uint8_t* grey, int width, int height, size_t stride) {
  out.Ink = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
  if (cairo_surface_status(out.Ink) != CAIRO_STATUS_SUCCESS) throw DocumentError("out of memory for a picture");
  cairo_surface_flush(out.Ink);
  uint8_t* ink = cairo_image_surface_get_data(out.Ink);
  const int inkStride = cairo_image_surface_get_stride(out.Ink);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      ink[static_cast<size_t>(inkStride) * y + x] = static_cast<uint8_t>(255 - grey[stride * y + x]);
  cairo_surface_mark_dirty(out.Ink);
}

void DrawInk(const InkPicture& picture, double x, double y, double width, double height, cairo_t* page) {
  const double w = cairo_image_surface_get_width(picture.Ink), h = cairo_image_surface_get_height(picture.Ink);
  cairo_save(page);
  cairo_translate(page, x, y);
  cairo_scale(page, width / w, height / h);
  // Bilinear up, box-filtered down: an edge lands where half its ink
  // falls, so thresholding keeps bars their width to the dot.
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(picture.Ink);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
  cairo_set_source_rgb(page, 0, 0, 0);
  cairo_mask(page, pattern);
  cairo_pattern_destroy(pattern);
  cairo_restore(page);
}

std::unique_ptr<Source> PictureSource(std::string_view bytes, Format kind, int sourceDpi) {
  return std::make_unique<PictureDocument>(bytes, kind, sourceDpi);
}

std::unique_ptr<Source> JobSource(std::string_view bytes, lang::Language language, int sourceDpi,
                                  const Target& target) {
  try {
    return std::make_unique<JobDocument>(lang::ReadJob(bytes, language, sourceDpi), sourceDpi,
                                         preview::MediaOf(target.WidthMm, target.HeightMm, sourceDpi));
  } catch (const std::exception& e) {
    throw DocumentError(std::string("the ") + lang::TitleOf(language) + " job cannot be read: " + e.what());
  }
}

}  // namespace morvel::print::detail

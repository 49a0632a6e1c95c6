// The sources of pictures and of jobs in another printer language, and the
// ink pictures both are drawn from. A picture's size comes from the
// resolution its file records (PNG pHYs, JPEG JFIF, BMP), else from the
// resolution the caller gives; a job's labels are the house preview's
// pictures of them at the job's resolution.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "hosts/print/Sources.h"
#include "platform/services.h"
#include "preview/Preview.h"

namespace morvel::print::detail {
namespace {

uint32_t Big32(std::string_view b, size_t at) {
  return (uint32_t{static_cast<uint8_t>(b[at])} << 24) | (uint32_t{static_cast<uint8_t>(b[at + 1])} << 16) |
         (uint32_t{static_cast<uint8_t>(b[at + 2])} << 8) | uint32_t{static_cast<uint8_t>(b[at + 3])};
}
uint32_t Little32(std::string_view b, size_t at) {
  return uint32_t{static_cast<uint8_t>(b[at])} | (uint32_t{static_cast<uint8_t>(b[at + 1])} << 8) |
         (uint32_t{static_cast<uint8_t>(b[at + 2])} << 16) | (uint32_t{static_cast<uint8_t>(b[at + 3])} << 24);
}
unsigned Big16(std::string_view b, size_t at) {
  return (unsigned{static_cast<uint8_t>(b[at])} << 8) | static_cast<uint8_t>(b[at + 1]);
}

struct Facts {
  long Width = 0, Height = 0;
  double Dpi = 0;  // 0: the file records none
};

// Width, height and resolution from the file's header, read before any
// pixel is decoded so an oversized picture costs nothing.
Facts FactsOf(std::string_view b, Kind kind) {
  Facts f;
  if (kind == Kind::Png && b.size() >= 24) {
    f.Width = Big32(b, 16), f.Height = Big32(b, 20);
    for (size_t at = 8; at + 12 <= b.size();) {
      const uint32_t length = Big32(b, at);
      const std::string_view type = b.substr(at + 4, 4);
      if (type == "pHYs" && length == 9 && at + 17 <= b.size() && b[at + 16] == 1) f.Dpi = Big32(b, at + 8) * 0.0254;
      if (type == "IDAT" || length > b.size()) break;
      at += 12 + static_cast<size_t>(length);
    }
  } else if (kind == Kind::Gif && b.size() >= 10) {
    f.Width = static_cast<uint8_t>(b[6]) | (static_cast<uint8_t>(b[7]) << 8);
    f.Height = static_cast<uint8_t>(b[8]) | (static_cast<uint8_t>(b[9]) << 8);
  } else if (kind == Kind::Bmp && b.size() >= 42) {
    f.Width = static_cast<int32_t>(Little32(b, 18));
    f.Height = std::labs(static_cast<int32_t>(Little32(b, 22)));
    if (b.size() >= 42 && Little32(b, 38) > 0) f.Dpi = Little32(b, 38) * 0.0254;
  } else if (kind == Kind::Jpeg) {
    for (size_t at = 2; at + 9 < b.size();) {
      if (static_cast<uint8_t>(b[at]) != 0xFF) break;
      const unsigned marker = static_cast<uint8_t>(b[at + 1]), length = Big16(b, at + 2);
      if (marker == 0xE0 && b.substr(at + 4, 5) == std::string_view("JFIF\0", 5) && at + 16 <= b.size()) {
        const unsigned units = static_cast<uint8_t>(b[at + 11]), x = Big16(b, at + 12);
        if (units == 1 && x > 0) f.Dpi = x;
        if (units == 2 && x > 0) f.Dpi = x * 2.54;
      }
      if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
        f.Height = Big16(b, at + 5), f.Width = Big16(b, at + 7);
        break;
      }
      at += 2 + length;
    }
  }
  if (f.Dpi < 10 || f.Dpi > 10000) f.Dpi = 0;  // a resolution no label picture has: not told
  return f;
}

class PictureDocument : public Source {
 public:
  PictureDocument(int width, int height, double dpi, const uint8_t* rgba) : dpi_(dpi) {
    std::vector<uint8_t> grey(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < grey.size(); ++i) {
      const uint8_t* p = rgba + i * 4;
      const int level = (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
      grey[i] = static_cast<uint8_t>(255 - (255 - level) * p[3] / 255);  // over white: labels are white
    }
    MakeInk(picture_, grey.data(), width, height, static_cast<size_t>(width));
    width_ = width, height_ = height;
  }
  int Count() override { return 1; }
  PageSize Size(int) override { return {width_ * 72.0 / dpi_, height_ * 72.0 / dpi_}; }
  void Draw(int, cairo_t* page) override {
    const PageSize s = Size(0);
    DrawInk(picture_, 0, 0, s.Width, s.Height, page);
  }

 private:
  InkPicture picture_;
  double dpi_;
  int width_ = 0, height_ = 0;
};

class JobDocument : public Source {
 public:
  JobDocument(lang::Job job, int dpi, preview::Media media) : job_(std::move(job)), dpi_(dpi), media_(media) {}
  int Count() override { return static_cast<int>(job_.Labels.size()); }
  PageSize Size(int index) override {
    const render::Bitmap& dots = Dots(index);
    return {dots.Width() * 72.0 / dpi_, dots.Height() * 72.0 / dpi_};
  }
  void Draw(int index, cairo_t* page) override {
    const render::Bitmap& dots = Dots(index);
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
  const render::Bitmap& Dots(int index) {
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
  render::Bitmap dots_;
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

std::unique_ptr<Source> PictureSource(std::string_view bytes, Kind kind, int sourceDpi) {
  const Facts facts = FactsOf(bytes, kind);
  if (facts.Width > 0 && facts.Height > 0 && facts.Width * facts.Height > MaxPicturePixels)
    throw DocumentError("the picture is " + std::to_string(facts.Width) + " x " + std::to_string(facts.Height) +
                        " pixels; at most " + std::to_string(MaxPicturePixels / 1000000) + " million are printed");
  auto picture = platform::Current().Images->Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (!picture) throw DocumentError(std::string("not a ") + NameOf(kind) + " picture that can be read (damaged?)");
  if (static_cast<long long>(picture->Width()) * picture->Height() > MaxPicturePixels)
    throw DocumentError("the picture is " + std::to_string(picture->Width()) + " x " +
                        std::to_string(picture->Height()) + " pixels; at most " +
                        std::to_string(MaxPicturePixels / 1000000) + " million are printed");
  return std::make_unique<PictureDocument>(picture->Width(), picture->Height(), facts.Dpi > 0 ? facts.Dpi : sourceDpi,
                                           picture->Rgba().data());
}

std::unique_ptr<Source> JobSource(std::string_view bytes, lang::Language language, int sourceDpi,
                                  const Target& target) {
  try {
    return std::make_unique<JobDocument>(preview::Parse(bytes, language, sourceDpi), sourceDpi,
                                         preview::MediaOf(target.WidthMm, target.HeightMm, sourceDpi));
  } catch (const std::exception& e) {
    throw DocumentError(std::string("the ") + lang::TitleOf(language) + " job cannot be read: " + e.what());
  }
}

}  // namespace morvel::print::detail

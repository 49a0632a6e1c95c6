// Drawing a read label onto a render::Page. Turned barcodes are drawn
// upright on a page of their own and turned whole, so their modules stay
// exact; text comes from the renderer already turned.
#include <algorithm>
#include <climits>
#include <cmath>

#include "preview/Preview.h"
#include "render/Symbols.h"

namespace morvel::preview {
namespace {

constexpr long long MaxDots = 1LL << 26;  // a label of 8,000 x 8,000 dots

struct Extent {
  long Right = 0, Bottom = 0, Left = LONG_MAX, Top = LONG_MAX;
  struct Box {
    const char* What;
    long X, Y, W, H;
  };
  std::vector<Box> Boxes;
  void Add(const char* what, long x, long y, long w, long h) {
    Boxes.push_back({what, x, y, w, h});
    Right = std::max(Right, x + w);
    Bottom = std::max(Bottom, y + h);
    Left = std::min(Left, x);
    Top = std::min(Top, y);
  }
};

// Fields far off the label are drawn nowhere; keeping their coordinates
// moderate keeps cairo's fixed-point numbers exact.
int Near(long v) { return static_cast<int>(std::clamp(v, -100000L, 100000L)); }

int TextGap(int textHeight) { return std::max(1, textHeight / 10); }

// Width and height of a barcode as drawn upright; 0 x 0 when not encodable.
std::pair<int, int> SizeOf(const Code128Field& c) {
  const int modules = render::Code128Modules(c.Data);
  if (modules == 0) return {0, 0};
  const int text = c.TextHeight > 0 ? c.TextHeight + TextGap(c.TextHeight) : 0;
  return {modules * std::clamp(c.Module, 1, 100), std::clamp(c.BarHeight, 1, render::Page::MaxSide) + text};
}
std::pair<int, int> SizeOf(const QrField& q) {
  const int side = render::QrModules(q.ErrorCorrection, q.Data) * std::clamp(q.Module, 1, 100);
  return {side, side};
}

template <class F>
void DrawTurned(render::Page& page, int x, int y, int rotation, std::pair<int, int> size, F draw) {
  if (rotation == 0) return draw(page, x, y);
  if (size.first < 1 || size.second < 1 || size.first > render::Page::MaxSide || size.second > render::Page::MaxSide) return;
  render::Page upright(size.first, size.second, page.Dpi());
  draw(upright, 0, 0);
  render::Blit(page, x, y, render::Rotate(upright.ToBitmap(), rotation));
}

}  // namespace

render::Bitmap Paint(const Label& label, int dpi, std::vector<std::string>* problems) {
  auto problem = [&](std::string text) {
    if (problems) problems->push_back(std::move(text));
  };
  // Text first: its dots tell how much room it takes.
  std::vector<render::Bitmap> texts;
  Extent extent;
  for (const Field& field : label.Fields) {
    if (auto* t = std::get_if<TextField>(&field)) {
      render::TextLook look;
      look.Font = t->Font;
      look.Height = t->Height;
      look.Width = t->Width;
      look.Bold = t->Bold;
      texts.push_back(render::TextDots(t->Utf8, look, t->Rotation));
      extent.Add("text", t->X, t->Y, texts.back().Width(), texts.back().Height());
    } else if (auto* b = std::get_if<FilledBox>(&field)) {
      extent.Add("box", std::min<long>(b->X, static_cast<long>(b->X) + b->Width),
                 std::min<long>(b->Y, static_cast<long>(b->Y) + b->Height), std::labs(static_cast<long>(b->Width)),
                 std::labs(static_cast<long>(b->Height)));
    } else if (auto* c = std::get_if<Code128Field>(&field)) {
      auto [w, h] = SizeOf(*c);
      if (c->Rotation == 90 || c->Rotation == 270) std::swap(w, h);
      extent.Add("Code 128", c->X, c->Y, w, h);
    } else if (auto* q = std::get_if<QrField>(&field)) {
      auto [w, h] = SizeOf(*q);
      extent.Add("QR code", q->X, q->Y, w, h);
    } else if (auto* r = std::get_if<Raster>(&field)) {
      extent.Add("image", r->X, r->Y, r->Dots.Width(), r->Dots.Height());
    }
  }
  // A size the job does not give is fitted to the fields, with the margin
  // they keep on the other side.
  auto fit = [](long far, long near) {
    long margin = near == LONG_MAX ? 0 : std::clamp(near, 0L, 1000L);
    return static_cast<int>(std::clamp(far + margin, 1L, static_cast<long>(render::Page::MaxSide)));
  };
  int width = label.Width > 0 ? label.Width : fit(extent.Right, extent.Left);
  int height = label.Height > 0 ? label.Height : fit(extent.Bottom, extent.Top);
  if (static_cast<long long>(width) * height > MaxDots) {
    problem("label of " + std::to_string(width) + " x " + std::to_string(height) + " dots is too large to draw; cut to fit " +
            std::to_string(MaxDots) + " dots");
    height = static_cast<int>(std::max(1LL, MaxDots / width));
  }
  // What the printer cannot print is worth telling: the picture shows
  // only the label.
  for (const auto& box : extent.Boxes) {
    if (box.W <= 0 || box.H <= 0) continue;
    if (box.X < 0 || box.Y < 0 || box.X + box.W > width || box.Y + box.H > height)
      problem(std::string(box.What) + " at " + std::to_string(box.X) + "," + std::to_string(box.Y) + " (" +
              std::to_string(box.W) + " x " + std::to_string(box.H) + " dots) reaches beyond the label of " +
              std::to_string(width) + " x " + std::to_string(height) + " dots; that part is not printed");
  }
  render::Page page(width, height, dpi);
  size_t text = 0;
  for (const Field& field : label.Fields) {
    if (std::get_if<TextField>(&field)) {
      const auto& t = std::get<TextField>(field);
      render::Blit(page, Near(t.X), Near(t.Y), texts[text++]);
    } else if (auto* b = std::get_if<FilledBox>(&field)) {
      const long x0 = std::min<long>(b->X, static_cast<long>(b->X) + b->Width);
      const long y0 = std::min<long>(b->Y, static_cast<long>(b->Y) + b->Height);
      const double x = Near(x0), y = Near(y0);
      const double w = Near(std::labs(static_cast<long>(b->Width))), h = Near(std::labs(static_cast<long>(b->Height)));
      if (2.0 * b->Thickness >= std::min(w, h)) page.Fill(x, y, w, h);
      else page.Box(x, y, w, h, b->Thickness);
    } else if (auto* c = std::get_if<Code128Field>(&field)) {
      std::string why;
      bool ok = true;
      DrawTurned(page, Near(c->X), Near(c->Y), c->Rotation, SizeOf(*c), [&](render::Page& p, int x, int y) {
        ok = render::Code128At(p, x, y, c->Module, c->BarHeight, c->Data, c->TextHeight, &why);
      });
      if (!ok) problem("Code 128 of '" + c->Data + "' left out: " + why);
    } else if (auto* q = std::get_if<QrField>(&field)) {
      std::string why;
      bool ok = true;
      DrawTurned(page, Near(q->X), Near(q->Y), q->Rotation, SizeOf(*q), [&](render::Page& p, int x, int y) {
        ok = render::QrAt(p, x, y, q->Module, q->ErrorCorrection, q->Data, &why);
      });
      if (!ok) problem("QR code of '" + q->Data + "' left out: " + why);
    } else if (auto* r = std::get_if<Raster>(&field)) {
      render::Blit(page, Near(r->X), Near(r->Y), r->Dots);
    }
  }
  render::Bitmap dots = page.ToBitmap();
  return label.Turn == 180 ? render::Rotate(dots, 180) : dots;
}

}  // namespace morvel::preview

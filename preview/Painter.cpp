// Drawing a read label onto a render::Page. Barcodes and text are drawn
// upright as pictures of their own and turned whole, so their modules stay
// exact.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <numbers>
#include <optional>
#include <string_view>
#include <tuple>

#include "preview/Lines.h"
#include "preview/Preview.h"
#include "render/Symbols.h"

namespace morvel::preview {
namespace {

using lang::BarcodeField;
using lang::Field;
using lang::FilledBox;
using lang::GraphicField;
using lang::Label;
using lang::Shape;
using lang::TextField;
static_assert(lang::MaxLabelSide == render::Page::MaxSide, "the model's largest label is the renderer's largest page");

// The renderer's own bound: a label cut to fit it can always be drawn.
constexpr long long MaxDots = render::Page::MaxDots;

struct Extent {
  long Right = 0, Bottom = 0, Left = LONG_MAX, Top = LONG_MAX;
  struct Box {
    std::string What;
    long X, Y, W, H;
    long InkW = -1;  // an image's width up to its last black column (the rest of its bytes is padding)
  };
  std::vector<Box> Boxes;
  void Add(std::string what, long x, long y, long w, long h, long inkW = -1) {
    Boxes.push_back({std::move(what), x, y, w, h, inkW});
    Right = std::max(Right, x + w);
    Bottom = std::max(Bottom, y + h);
    Left = std::min(Left, x);
    Top = std::min(Top, y);
  }
};

// The columns up to an image's last black one: graphic data comes in whole
// bytes, whose white padding reaching past the label prints nothing.
long InkWidth(const core::Bitmap& dots) {
  long width = 0;
  for (int y = 0; y < dots.Height() && width < dots.Width(); ++y) {
    const uint8_t* row = dots.Row(y);
    for (long x = dots.Width() - 1; x >= width; --x)
      if (row[x] != 0) {
        width = x + 1;
        break;
      }
  }
  return width;
}

// Fields far off the label are drawn nowhere; keeping their coordinates
// moderate keeps cairo's fixed-point numbers exact.
int Near(long v) { return static_cast<int>(std::clamp(v, -100000L, 100000L)); }

// Where a point of an upright w x h picture lands once the picture is
// turned clockwise (continuous coordinates, so corners map to corners).
std::pair<double, double> Turn(double x, double y, int w, int h, int rotation) {
  switch (rotation) {
    case 90: return {h - y, x};
    case 180: return {w - x, h - y};
    case 270: return {y, w - x};
    default: return {x, y};
  }
}

// A picture ready to join the page: turned, its top left corner at (X, Y).
struct Placed {
  int X = 0, Y = 0;
  core::Bitmap Dots;
  render::Ink Ink = render::Ink::Black;
};

// Turns the upright picture and puts it so that its point (ax, ay) lands
// at (x, y); with `box` (cell or symbol, upright) the turned box's top left
// corner lands there instead.
Placed Place(core::Bitmap upright, int rotation, long x, long y, double ax, double ay, bool corner, double bx = 0,
             double by = 0, double bw = 0, double bh = 0) {
  const int w = upright.Width(), h = upright.Height();
  double px, py;
  if (corner) {
    auto a = Turn(bx, by, w, h, rotation), b = Turn(bx + bw, by + bh, w, h, rotation);
    px = std::min(a.first, b.first);
    py = std::min(a.second, b.second);
  } else {
    std::tie(px, py) = Turn(ax, ay, w, h, rotation);
  }
  Placed p;
  p.Dots = render::Rotate(upright, rotation);
  p.X = Near(x - std::lround(px));
  p.Y = Near(y - std::lround(py));
  // Only the inked part is kept: the white around glyphs is no part of
  // the field, and no reason to tell that it reaches off the label.
  const core::Bitmap& d = p.Dots;
  int top = d.Height(), bottom = -1, left = d.Width(), right = -1;
  for (int r = 0; r < d.Height(); ++r) {
    const uint8_t* row = d.Row(r);
    const uint8_t* first = std::find(row, row + d.Width(), 1);
    if (first == row + d.Width()) continue;
    const int last =
        d.Width() - 1 -
        static_cast<int>(std::find(std::make_reverse_iterator(row + d.Width()), std::make_reverse_iterator(row), 1) -
                         std::make_reverse_iterator(row + d.Width()));
    top = std::min(top, r);
    bottom = r;
    left = std::min(left, static_cast<int>(first - row));
    right = std::max(right, last);
  }
  if (bottom < 0) {
    p.Dots = core::Bitmap(1, 1);
    return p;
  }
  if (top > 0 || left > 0 || bottom < d.Height() - 1 || right < d.Width() - 1) {
    core::Bitmap cut(right - left + 1, bottom - top + 1);
    for (int r = top; r <= bottom; ++r) std::copy(d.Row(r) + left, d.Row(r) + right + 1, cut.Row(r - top));
    p.X += left;
    p.Y += top;
    p.Dots = std::move(cut);
  }
  return p;
}

// Copies `from` into `to` with from's (0, 0) at (x, y), dots off `to` dropped.
void Paste(core::Bitmap& to, const core::Bitmap& from, int x, int y) {
  const int c0 = std::max(0, -x), c1 = std::min(from.Width(), to.Width() - x);
  for (int r = 0; r < from.Height(); ++r) {
    const int ty = y + r;
    if (ty < 0 || ty >= to.Height() || c1 <= c0) continue;
    const uint8_t* src = from.Row(r);
    uint8_t* dst = to.Row(ty) + x;
    // Eight dots at a time: every text line and symbol passes through here.
    int c = c0;
    for (; c + 8 <= c1; c += 8) {
      uint64_t a, b;
      std::memcpy(&a, dst + c, 8);
      std::memcpy(&b, src + c, 8);
      a |= b;
      std::memcpy(dst + c, &a, 8);
    }
    for (; c < c1; ++c) dst[c] |= src[c];
  }
}

struct Line {
  core::Bitmap Dots;
  int Baseline = 0;  // row of the baseline in Dots
  int Width = 0;
};

// Lines side by side on one baseline, `gap` dots apart.
Line Joined(const std::vector<Line>& parts, int gap) {
  Line line;
  int width = 0, base = 0, below = 0;
  for (const auto& part : parts) {
    width += part.Dots.Width() + gap;
    base = std::max(base, part.Baseline);
    below = std::max(below, part.Dots.Height() - part.Baseline);
  }
  line.Dots = core::Bitmap(std::max(1, width), std::max(1, base + below));
  line.Baseline = base;
  int x = 0;
  for (const auto& part : parts) {
    Paste(line.Dots, part.Dots, x, base - part.Baseline);
    x += part.Dots.Width() + gap;
  }
  line.Width = std::max(0, width - gap);
  return line;
}

// One line of text: the renderer's, or character by character when the
// field asks for extra room between characters.
Line LineOf(const std::string& utf8, const core::TextLook& look, int gap) {
  Line line;
  if (gap <= 0) {
    line.Dots = render::TextDots(utf8, look, 0, &line.Baseline);
    line.Width = line.Dots.Width();
    return line;
  }
  std::vector<Line> parts;
  for (const auto& ch : Characters(utf8)) {
    Line part;
    part.Dots = render::TextDots(ch, look, 0, &part.Baseline);
    parts.push_back(std::move(part));
  }
  return Joined(parts, gap);
}

// The approval marks among the graphic symbols, which no font has: the UL
// mark, "UL" in a ring, and the CSA mark, "SA" in a "C" open to the right.
// Each is a circle as wide as the character cell (no wider than the cell
// is tall above the baseline) standing on the baseline.
Line MarkOf(bool ul, const TextField& t) {
  const double above = t.Baseline > 0 ? t.Baseline : t.Look.Height * 0.78;
  const int d =
      static_cast<int>(std::clamp(std::lround(std::min(t.Look.Width > 0 ? t.Look.Width : t.Look.Height, above)), 4L,
                                  static_cast<long>(render::Page::MaxTextHeight)));
  render::Page page(d, d, 203);
  const double ring = std::max(1.0, d / 12.0), r = d / 2.0;
  if (ul) {
    page.Ellipse(0, 0, d, d, ring);
  } else {
    // The C: the ring's band from 45 degrees above the right-hand axis
    // round to 45 degrees below it.
    std::vector<double> band;
    constexpr int steps = 48;
    for (int k = 0; k <= steps; ++k) {
      const double a = std::numbers::pi / 4 + k * (3 * std::numbers::pi / 2) / steps;
      band.push_back(r + r * std::cos(a));
      band.push_back(r - r * std::sin(a));
    }
    for (int k = steps; k >= 0; --k) {
      const double a = std::numbers::pi / 4 + k * (3 * std::numbers::pi / 2) / steps;
      band.push_back(r + (r - ring) * std::cos(a));
      band.push_back(r - (r - ring) * std::sin(a));
    }
    page.Polygon(band);
  }
  Line mark;
  mark.Dots = page.ToBitmap();
  // The letters in bold, their capitals half the circle tall and no wider
  // than the space inside it allows.
  core::TextLook letters;
  letters.Font = "DejaVu Sans";
  letters.Bold = true;
  letters.Height = d * 0.5 / 0.73;
  const std::string_view name = ul ? "UL" : "SA";
  const double room = (d - 2 * ring) * 0.72;
  if (const int wide = render::TextWidth(name, letters); wide > room) letters.Height *= room / wide;
  int base = 0;
  core::Bitmap inside = render::TextDots(name, letters, 0, &base);
  const int capital = static_cast<int>(std::lround(letters.Height * 0.73));
  Paste(mark.Dots, inside, (d - inside.Width()) / 2, static_cast<int>(std::lround(r + capital / 2.0)) - base);
  mark.Baseline = d;
  mark.Width = d;
  return mark;
}

// A line of graphic symbols: the marks drawn, the others from the font.
Line SymbolsLine(const std::string& utf8, const core::TextLook& look, const TextField& t) {
  std::vector<Line> parts;
  for (const auto& ch : Characters(utf8))
    parts.push_back(ch == lang::UlMark || ch == lang::CsaMark ? MarkOf(ch == lang::UlMark, t) : LineOf(ch, look, 0));
  return Joined(parts, std::max(0, t.Gap));
}

// A line of words spread to `room` dots, the space between words shared
// out evenly (the first gaps take the odd dots); one word stays as it is.
Line Spread(const std::string& utf8, const core::TextLook& look, int gap, int room) {
  std::vector<Line> words;
  for (size_t k = 0; k <= utf8.size();) {
    size_t sp = utf8.find(' ', k);
    if (sp == std::string::npos) sp = utf8.size();
    if (sp > k) words.push_back(LineOf(utf8.substr(k, sp - k), look, gap));
    k = sp + 1;
  }
  int inked = 0, base = 0, below = 0;
  for (const auto& w : words) {
    inked += w.Width;
    base = std::max(base, w.Baseline);
    below = std::max(below, w.Dots.Height() - w.Baseline);
  }
  if (words.size() < 2 || inked >= room) return LineOf(utf8, look, gap);
  const int gaps = static_cast<int>(words.size()) - 1, share = (room - inked) / gaps, odd = (room - inked) % gaps;
  Line line;
  line.Dots =
      core::Bitmap(std::max(1, room + words.back().Dots.Width() - words.back().Width), std::max(1, base + below));
  line.Baseline = base;
  line.Width = room;
  int x = 0;
  for (size_t k = 0; k < words.size(); ++k) {
    if (k + 1 == words.size()) x = room - words[k].Width;  // the last word ends at the block's edge
    Paste(line.Dots, words[k].Dots, x, base - words[k].Baseline);
    x += words[k].Width + share + (static_cast<int>(k) < odd ? 1 : 0);
  }
  return line;
}

// A text field drawn upright: its picture, the cell's top left corner and
// the first baseline in it, and where the last line's baseline ends.
struct TextPicture {
  core::Bitmap Dots;
  double CellX = 0, CellY = 0, CellW = 0, CellH = 0;
  double BaseX = 0, BaseY = 0;  // start of the baseline the field is placed by
  double EndX = 0, EndY = 0;    // end of the last baseline
};

// The font, size and weight a text field is drawn in.
core::TextLook LookOf(const TextField& t) {
  core::TextLook look = t.Look;
  if (t.Em > 0) look.Height = t.Em;
  return look;
}

// The field's text in the order it is drawn: backwards text reversed.
std::string InDrawingOrder(const TextField& t) {
  if (!t.Backwards) return t.Utf8;
  auto chars = Characters(t.Utf8);
  std::reverse(chars.begin(), chars.end());
  std::string text;
  for (const auto& c : chars) text += c;
  return text;
}

TextPicture DrawText(const TextField& t) {
  const core::TextLook look = LookOf(t);
  const std::string text = InDrawingOrder(t);
  const double base = t.Baseline > 0 ? t.Baseline : std::round(t.Look.Height * 0.78);
  // Lines: a block wraps at its width and breaks at \&; vertical text
  // stands one character a line.
  std::vector<std::string> lines;
  // Lines a paragraph goes on after: a justified block spreads these to
  // its full width; a paragraph's last line stays left.
  std::vector<bool> wrapped;
  if (t.Vertical) {
    for (auto& c : Characters(WithoutSoftHyphens(text)))
      if (c != "\n") lines.push_back(c);
  } else if (t.BlockWidth > 0) {
    WrapBlock(text, look, t, lines, wrapped);
    // ^FB: "Text exceeding the maximum number of lines overwrites the last
    // line"; ^TB: "If the text exceeds the block height, the text is truncated."
    if (t.Clip && static_cast<int>(lines.size()) > std::max(1, t.BlockLines)) {
      lines.resize(static_cast<size_t>(std::max(1, t.BlockLines)));
      wrapped.resize(lines.size());
    }
  } else {
    lines.push_back(text);
  }
  if (lines.empty()) lines.push_back("");
  const int maxLines = t.BlockWidth > 0 ? std::max(1, t.BlockLines) : static_cast<int>(lines.size());
  const double step = t.Look.Height + t.LineSpacing;
  const int width = t.BlockWidth > 0 ? t.BlockWidth : 0;
  struct Piece {
    Line L;
    double X, Top;
  };
  std::vector<Piece> pieces;
  double left = 0, top = 0, right = width, bottom = t.Look.Height;
  double endX = 0, endY = base;
  for (size_t k = 0; k < lines.size(); ++k) {
    const int row = std::min<int>(static_cast<int>(k), maxLines - 1);
    const int indent = (t.BlockWidth > 0 && k > 0) ? t.HangingIndent : 0;
    const bool spread = t.BlockWidth > 0 && t.Justify == 'J' && k < wrapped.size() && wrapped[k];
    Line l = t.Marks  ? SymbolsLine(lines[k], look, t)
             : spread ? Spread(lines[k], look, t.Gap, t.BlockWidth - indent)
                      : LineOf(lines[k], look, t.Gap);
    double x = indent;
    if (t.BlockWidth > 0) {
      const int room = t.BlockWidth - indent;
      if (t.Justify == 'C')
        x = indent + (room - l.Width) / 2.0;
      else if (t.Justify == 'R')
        x = indent + room - l.Width;
    }
    const double lineBase = row * step + base;
    const double lineTop = lineBase - l.Baseline;
    left = std::min(left, x);
    top = std::min(top, lineTop);
    right = std::max(right, x + l.Dots.Width());
    bottom = std::max(bottom, lineTop + l.Dots.Height());
    endX = x + l.Width;
    endY = lineBase;
    pieces.push_back({std::move(l), x, lineTop});
  }
  const int lastRow = std::min<int>(static_cast<int>(lines.size()), maxLines) - 1;
  bottom = std::max(bottom, (t.BlockWidth > 0 ? (maxLines - 1) : std::max(0, lastRow)) * step + t.Look.Height);
  TextPicture p;
  const int w = std::max(1, static_cast<int>(std::ceil(right - left)));
  const int h = std::max(1, static_cast<int>(std::ceil(bottom - top)));
  p.Dots = core::Bitmap(std::min(w, render::Page::MaxSide), std::min(h, render::Page::MaxSide));
  for (const auto& piece : pieces)
    Paste(p.Dots, piece.L.Dots, static_cast<int>(std::lround(piece.X - left)),
          static_cast<int>(std::lround(piece.Top - top)));
  p.CellX = -left;
  p.CellY = -top;
  p.CellW = t.BlockWidth > 0 ? t.BlockWidth : std::max(1, pieces.empty() ? 1 : pieces[0].L.Width);
  p.CellH = t.BlockWidth > 0 ? (maxLines - 1) * step + t.Look.Height
                             : std::max<double>(t.Look.Height, (lines.size() - 1) * step + t.Look.Height);
  // ^FT places a block by the baseline of its last possible line.
  p.BaseX = -left;
  p.BaseY = -top + (t.BlockWidth > 0 ? (maxLines - 1) * step : 0) + base;
  p.EndX = endX - left;
  p.EndY = endY - top;
  return p;
}

// A barcode drawn upright with its human-readable line; the bars' bottom
// left corner is where ^FT places it.
struct SymbolPicture {
  core::Bitmap Dots;
  double BarsLeft = 0, BarsBottom = 0;
  double BoxX = 0, BoxW = 0;  // what ^FO places, across; BoxW 0: the whole picture
  double BoxH = 0;            // the box's height; 0: the whole picture's
  std::string Why;
};

// EAN and UPC as they are printed: the guard bars run longer than the
// data bars, and the digits stand in groups between them, the number
// system digit (and UPC's check digit) outside the bars. Modules of the
// guards and of each group of digits, [first, end), by the symbol's width.
struct RetailLayout {
  std::vector<std::pair<int, int>> Guards;
  std::vector<std::pair<int, int>> Groups;  // {-1, 0}: left of the bars; {w, w + 1}: right of them
  std::vector<size_t> Digits;               // digits in each group
};

std::optional<RetailLayout> RetailOf(core::Symbology symbology, int modules) {
  using core::Symbology;
  if (symbology == Symbology::Ean && modules == 95)
    return RetailLayout{{{0, 3}, {45, 50}, {92, 95}}, {{-1, 0}, {3, 45}, {50, 92}}, {1, 6, 6}};
  if (symbology == Symbology::UpcA && modules == 95)
    return RetailLayout{{{0, 10}, {45, 50}, {85, 95}}, {{-1, 0}, {10, 45}, {50, 85}, {95, 96}}, {1, 5, 5, 1}};
  if (symbology == Symbology::Ean && modules == 67)
    return RetailLayout{{{0, 3}, {31, 36}, {64, 67}}, {{3, 31}, {36, 64}}, {4, 4}};
  if (symbology == Symbology::UpcE && modules == 51)
    return RetailLayout{{{0, 3}, {45, 51}}, {{-1, 0}, {3, 45}, {51, 52}}, {1, 6, 1}};
  return std::nullopt;
}

SymbolPicture DrawRetail(const BarcodeField& s, const core::Bitmap& bars, const std::string& readable,
                         const RetailLayout& layout) {
  SymbolPicture p;
  const int module = std::clamp(s.Symbol.Module, 1, 100), h = bars.Height();
  const int descent = 5 * module;  // the guards' length below the data bars
  const int gap = std::max(1, s.TextHeight / 10);
  core::TextLook look;
  look.Font = "DejaVu Sans Mono";
  look.Height = s.TextHeight * 0.8;
  const bool text = s.Readable != 'N' && s.TextHeight > 0 && !readable.empty();
  std::vector<core::Bitmap> groups;
  core::Bitmap above;
  int left = 0, right = 0, lineHeight = 0;
  if (text && s.Readable == 'B') {
    size_t at = 0;
    for (size_t g = 0; g < layout.Groups.size(); ++g) {
      groups.push_back(render::TextDots(readable.substr(at, layout.Digits[g]), look, 0));
      at += layout.Digits[g];
      lineHeight = std::max(lineHeight, groups.back().Height());
      if (layout.Groups[g].first < 0) left = groups.back().Width() + gap;
      if (layout.Groups[g].first * module >= bars.Width()) right = groups.back().Width() + gap;
    }
  } else if (text) {
    above = render::TextDots(readable, look, 0);
    lineHeight = above.Height();
  }
  const int top = s.Readable == 'A' && text ? lineHeight + gap : 0;
  const int width = left + std::max(bars.Width(), above.Width()) + right;
  const int height = top + std::max(h + descent, s.Readable == 'B' && text ? h + gap + lineHeight : 0);
  core::Bitmap all(width, height);
  Paste(all, bars, left, top);
  for (const auto& [first, end] : layout.Guards)
    for (int y = top + h; y < top + h + descent; ++y)
      for (int x = first * module; x < end * module; ++x)
        if (bars.Black(x, h - 1)) all.Set(left + x, y, true);
  for (size_t g = 0; g < groups.size(); ++g) {
    const auto [first, end] = layout.Groups[g];
    int x;
    if (first < 0)
      x = left - gap - groups[g].Width();
    else if (first * module >= bars.Width())
      x = left + bars.Width() + gap;
    else
      x = left + (first + end) * module / 2 - groups[g].Width() / 2;
    Paste(all, groups[g], x, top + h + gap);
  }
  if (above.Width() > 0) Paste(all, above, left + (bars.Width() - above.Width()) / 2, 0);
  p.BarsLeft = left;
  p.BarsBottom = top + h;
  p.BoxX = left;
  p.BoxW = bars.Width();
  p.Dots = std::move(all);
  return p;
}

SymbolPicture DrawSymbol(const BarcodeField& s) {
  SymbolPicture p;
  std::string readable;
  core::Bitmap bars = render::SymbolDots(s.Symbol, s.Data, &p.Why, &readable);
  if (bars.Width() == 0) return p;
  if (!s.ReadableText.empty()) readable = s.ReadableText;
  if (auto layout = RetailOf(s.Symbol.Symbology, bars.Width() / std::clamp(s.Symbol.Module, 1, 100))) {
    size_t digits = 0;
    for (size_t n : layout->Digits) digits += n;
    if (readable.size() == digits && readable.find_first_not_of("0123456789") == std::string::npos)
      return DrawRetail(s, bars, readable, *layout);
  }
  if (s.Readable == 'N' || readable.empty() || s.TextHeight <= 0) {
    p.BarsBottom = bars.Height();
    p.Dots = std::move(bars);
    return p;
  }
  core::TextLook look;
  look.Font = "DejaVu Sans Mono";
  look.Height = s.TextHeight * 0.8;
  int baseline = 0;
  core::Bitmap line = render::TextDots(readable, look, 0, &baseline);
  const int gap = std::max(1, s.TextHeight / 10);
  const int w = std::max(bars.Width(), line.Width());
  const int h = bars.Height() + gap + line.Height();
  core::Bitmap all(w, h);
  const int barsTop = s.Readable == 'A' ? line.Height() + gap : 0;
  Paste(all, bars, (w - bars.Width()) / 2, barsTop);
  Paste(all, line, (w - line.Width()) / 2, s.Readable == 'A' ? 0 : bars.Height() + gap);
  p.BarsBottom = barsTop + bars.Height();
  if (s.TextCell && s.Readable == 'B') {
    // The field is the bars with a cell of the line's height below them.
    p.BoxX = (w - bars.Width()) / 2;
    p.BoxW = bars.Width();
    p.BoxH = bars.Height() + gap + s.TextHeight;
  }
  p.Dots = std::move(all);
  return p;
}

render::Ink InkOf(bool reverse, bool white = false) {
  return reverse ? render::Ink::Reverse : white ? render::Ink::White : render::Ink::Black;
}

void DrawShape(render::Page& page, const Shape& g) {
  page.SetInk(InkOf(g.Reverse, g.White));
  const double x = Near(g.X), y = Near(g.FromBaseline ? static_cast<long>(g.Y) - g.Height : g.Y);
  const double w = g.Width, h = g.Height, th = g.Thickness;
  if (g.What == Shape::Ellipse) {
    page.Ellipse(x, y, w, h, th);
  } else if (g.What == Shape::Diagonal) {
    if (g.LeansRight)
      page.Polygon({x, y + h, x + th, y + h, x + w, y, x + w - th, y});
    else
      page.Polygon({x, y, x + th, y, x + w, y + h, x + w - th, y + h});
  } else if (g.Rounding > 0) {
    page.RoundedBox(x, y, w, h, th, g.Rounding / 8.0 * std::min(w, h) / 2);
  } else if (2.0 * th >= std::min(w, h)) {
    page.Fill(x, y, w, h);
  } else {
    page.Box(x, y, w, h, th);
  }
  page.SetInk(render::Ink::Black);
}

// The fields drawn apart, before the page: text first, as its dots tell
// how much room it takes.
struct Prepared {
  std::vector<core::Bitmap> Texts;  // the plain texts, in field order
  std::vector<Placed> Pictures;     // ZPL's text, barcodes and graphics, in field order
  std::vector<int> PictureOf;       // each field's index in Pictures, or -1
  Extent Room;                      // where the fields reach
};

// A text field past Bounds::TextBytes, or past what is left of the
// label's text area (each byte counted as a character cell, a block at
// least one line of its width), is cut where a character starts, or left
// out when none is left, and told: no label shows more, and laying out
// more costs time and memory without end.
const Field& Bounded(const Field& field, Field& cut, long long& area, const std::function<void(std::string)>& problem) {
  const auto* t = std::get_if<TextField>(&field);
  if (t == nullptr) return field;
  const double height = std::clamp(t->Look.Height, 1.0, 1e6);
  const double cell = height * std::clamp(t->Look.Width > 0 ? t->Look.Width : t->Look.Height, 1.0, 1e6);
  const double block = std::clamp(t->BlockWidth, 0, render::Page::MaxSide) * height;
  const auto left = static_cast<double>(area);
  const size_t limit = std::min(lang::Bounds::TextBytes, block > left ? 0 : static_cast<size_t>(left / cell));
  area -= static_cast<long long>(std::max(block, static_cast<double>(std::min(t->Utf8.size(), limit)) * cell));
  if (t->Utf8.size() <= limit) return field;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(t->Utf8[end]) & 0xC0) == 0x80) --end;
  const std::string why =
      limit == lang::Bounds::TextBytes
          ? " (a field holds at most " + std::to_string(lang::Bounds::TextBytes) + ")"
          : " (a label's text covers at most " + std::to_string(lang::Bounds::LabelTextDots) + " dots)";
  if (end == 0) {
    problem("text at " + std::to_string(t->X) + "," + std::to_string(t->Y) + " left out" + why);
    TextField none;  // drawn as no text at all, in its place
    none.X = t->X;
    none.Y = t->Y;
    cut = std::move(none);
    return cut;
  }
  problem("text of " + std::to_string(t->Utf8.size()) + " bytes cut to its first " + std::to_string(end) + why);
  TextField shorter = *t;
  shorter.Utf8.resize(end);
  cut = std::move(shorter);
  return cut;
}

Prepared Prepare(const Label& label, const std::function<void(std::string)>& problem) {
  Prepared out;
  auto& [texts, placed, placedOf, extent] = out;
  placedOf.assign(label.Fields.size(), -1);
  double nextX = 0, nextY = 0;  // where the last ^FT text ended
  long long textArea = lang::Bounds::LabelTextDots;
  for (size_t k = 0; k < label.Fields.size(); ++k) {
    Field cut;
    const Field& field = Bounded(label.Fields[k], cut, textArea, problem);
    const int slot = static_cast<int>(placed.size());
    if (auto* t = std::get_if<TextField>(&field);
        t && (t->FromBaseline || t->Reverse || t->BlockWidth > 0 || t->Baseline > 0)) {
      TextPicture p = DrawText(*t);
      const long x = t->X == INT32_MIN ? std::lround(nextX) : t->X;
      const long y = t->Y == INT32_MIN ? std::lround(nextY) : t->Y;
      const int w = p.Dots.Width(), h = p.Dots.Height();
      Placed q = t->FromBaseline
                     ? Place(std::move(p.Dots), t->Rotation, x, y, p.BaseX, p.BaseY, false)
                     : Place(std::move(p.Dots), t->Rotation, x, y, 0, 0, true, p.CellX, p.CellY, p.CellW, p.CellH);
      // The next ^FT without a position starts where this text ended.
      auto [bx, by] = Turn(t->FromBaseline ? p.BaseX : p.CellX, t->FromBaseline ? p.BaseY : p.CellY, w, h, t->Rotation);
      auto [ex, ey] = Turn(p.EndX, p.EndY, w, h, t->Rotation);
      nextX = x + (ex - bx);
      nextY = y + (ey - by) + (t->FromBaseline ? 0 : 0);
      q.Ink = InkOf(t->Reverse);
      extent.Add("text", q.X, q.Y, q.Dots.Width(), q.Dots.Height());
      placed.push_back(std::move(q));
      placedOf[k] = slot;
      texts.emplace_back();
    } else if (auto* s = std::get_if<BarcodeField>(&field)) {
      SymbolPicture p = DrawSymbol(*s);
      if (p.Dots.Width() == 0) {
        problem(s->Name + " of " + lang::detail::Quoted(s->Data) + " left out: " + p.Why);
        continue;
      }
      const double w = p.Dots.Width(), h = p.Dots.Height();
      const double boxW = p.BoxW > 0 ? p.BoxW : w, boxH = p.BoxH > 0 ? p.BoxH : h;
      Placed q = s->FromBaseline ? Place(std::move(p.Dots), s->Rotation, s->X, s->Y, p.BarsLeft, p.BarsBottom, false)
                                 : Place(std::move(p.Dots), s->Rotation, s->X, s->Y, 0, 0, true, p.BoxX, 0, boxW, boxH);
      q.Ink = InkOf(s->Reverse);
      if (s->TextCell) {
        // What the field takes is its box, the line's cell and all.
        const bool across = s->Rotation == 90 || s->Rotation == 270;
        extent.Add(s->Name, s->X, s->Y, std::lround(across ? boxH : boxW), std::lround(across ? boxW : boxH));
      } else {
        extent.Add(s->Name, q.X, q.Y, q.Dots.Width(), q.Dots.Height());
      }
      placed.push_back(std::move(q));
      placedOf[k] = slot;
    } else if (auto* g = std::get_if<Shape>(&field)) {
      extent.Add("box", g->X, g->FromBaseline ? g->Y - g->Height : g->Y, g->Width, g->Height);
    } else if (auto* r = std::get_if<GraphicField>(&field); r && (r->Reverse || r->FromBaseline)) {
      Placed q;
      q.X = r->X;
      q.Y = r->FromBaseline ? r->Y - r->Dots.Height() : r->Y;
      q.Dots = r->Dots;
      q.Ink = InkOf(r->Reverse);
      extent.Add("image", q.X, q.Y, q.Dots.Width(), q.Dots.Height());
      placed.push_back(std::move(q));
      placedOf[k] = slot;
    } else if (auto* t = std::get_if<TextField>(&field)) {
      texts.push_back(render::TextDots(t->Utf8, LookOf(*t), t->Rotation));
      extent.Add("text", t->X, t->Y, texts.back().Width(), texts.back().Height());
    } else if (auto* b = std::get_if<FilledBox>(&field)) {
      extent.Add("box", std::min<long>(b->X, static_cast<long>(b->X) + b->Width),
                 std::min<long>(b->Y, static_cast<long>(b->Y) + b->Height), std::labs(static_cast<long>(b->Width)),
                 std::labs(static_cast<long>(b->Height)));
    } else if (auto* r = std::get_if<GraphicField>(&field)) {
      extent.Add("image", r->X, r->Y, r->Dots.Width(), r->Dots.Height(), InkWidth(r->Dots));
    }
  }
  return out;
}

// The label's size in dots: the job's, else the media's (as long as the
// fields reach where that is longer); what reaches beyond it is told.
std::pair<int, int> LabelSize(const Label& label, const Extent& extent, const Media& media,
                              const std::function<void(std::string)>& problem) {
  // A size the job does not give is fitted to the fields, with the margin
  // they keep on the other side.
  auto fit = [](long far, long near) {
    long margin = near == LONG_MAX ? 0 : std::clamp(near, 0L, 1000L);
    return static_cast<int>(std::clamp(far + margin, 1L, static_cast<long>(render::Page::MaxSide)));
  };
  int width = label.Width > 0 ? label.Width : media.Width > 0 ? media.Width : fit(extent.Right, extent.Left);
  // Media give the width; the length too, unless the fields reach further
  // (the length is a guess at the media, and a long label is not cut).
  int height = label.Height > 0 ? label.Height : std::max(media.Height, fit(extent.Bottom, extent.Top));
  if (static_cast<long long>(width) * height > MaxDots) {
    problem("label of " + std::to_string(width) + " x " + std::to_string(height) +
            " dots is too large to draw; cut to fit " + std::to_string(MaxDots) + " dots");
    height = static_cast<int>(std::max(1LL, MaxDots / width));
  }
  // What the printer cannot print is worth telling: the picture shows
  // only the label.
  for (const auto& box : extent.Boxes) {
    if (box.W <= 0 || box.H <= 0) continue;
    if (box.X < 0 || box.Y < 0 || box.X + (box.InkW >= 0 ? box.InkW : box.W) > width || box.Y + box.H > height)
      problem(std::string(box.What) + " at " + std::to_string(box.X) + "," + std::to_string(box.Y) + " (" +
              std::to_string(box.W) + " x " + std::to_string(box.H) + " dots) reaches beyond the label of " +
              std::to_string(width) + " x " + std::to_string(height) + " dots; that part is not printed");
  }
  return {width, height};
}

// Every field onto the page, in field order.
void DrawFields(render::Page& page, const Label& label, const Prepared& prepared,
                const std::function<void(std::string)>& problem) {
  const auto& texts = prepared.Texts;
  const auto& placed = prepared.Pictures;
  const auto& placedOf = prepared.PictureOf;
  size_t text = 0;
  auto put = [&](const Placed& q) {
    page.SetInk(q.Ink);
    page.Dots(q.X, q.Y, q.Dots);
    page.SetInk(render::Ink::Black);
  };
  for (size_t k = 0; k < label.Fields.size(); ++k) {
    const Field& field = label.Fields[k];
    if (placedOf[k] >= 0) {
      put(placed[static_cast<size_t>(placedOf[k])]);
      if (std::get_if<TextField>(&field)) ++text;
    } else if (std::get_if<BarcodeField>(&field)) {
      // Left out above: it could not be encoded.
    } else if (auto* g = std::get_if<Shape>(&field)) {
      DrawShape(page, *g);
    } else if (std::get_if<TextField>(&field)) {
      const auto& t = std::get<TextField>(field);
      page.Dots(Near(t.X), Near(t.Y), texts[text++]);
    } else if (auto* b = std::get_if<FilledBox>(&field)) {
      const long x0 = std::min<long>(b->X, static_cast<long>(b->X) + b->Width);
      const long y0 = std::min<long>(b->Y, static_cast<long>(b->Y) + b->Height);
      const double x = Near(x0), y = Near(y0);
      const double w = Near(std::labs(static_cast<long>(b->Width))), h = Near(std::labs(static_cast<long>(b->Height)));
      if (2.0 * b->Thickness >= std::min(w, h))
        page.Fill(x, y, w, h);
      else
        page.Box(x, y, w, h, b->Thickness);
    } else if (auto* r = std::get_if<GraphicField>(&field)) {
      page.Dots(Near(r->X), Near(r->Y), r->Dots);
    }
  }
}

}  // namespace

Media DefaultMedia(int dpi) {
  return {static_cast<int>(std::lround(4.0 * dpi)), static_cast<int>(std::lround(6.0 * dpi))};
}

core::Bitmap Paint(const Label& label, int dpi, std::vector<std::string>* problems, const Media& loaded) {
  auto problem = [&](std::string text) {
    if (problems) problems->push_back(lang::detail::Shortened(std::move(text)));
  };
  const Media fallback = DefaultMedia(dpi);
  const Media media{loaded.Width > 0 ? loaded.Width : fallback.Width,
                    loaded.Height > 0 ? loaded.Height : fallback.Height};
  Prepared prepared = Prepare(label, problem);
  const auto [width, height] = LabelSize(label, prepared.Room, media, problem);
  render::Page page(width, height, dpi);
  DrawFields(page, label, prepared, problem);
  return page.ToBitmap(label.Mirror, label.Turn == 180);
}

}  // namespace morvel::preview

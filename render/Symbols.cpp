// Exact-size drawing for printer-language previews. Bars and modules are
// whole-dot rectangles filled through Page (no antialiasing there), rasters
// are copied dot for dot, and text is laid out by pango on a surface of its
// own so it can be stretched and turned before it joins the page. Text and
// symbol pictures are kept, as labels of one job repeat most of them.
#include "render/Symbols.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/Shared.h"

namespace morvel::render {
namespace {

using core::Symbology;

// zint's number for each symbology of the house.
int ZintOf(Symbology symbology) {
  switch (symbology) {
    case Symbology::Code128: return BARCODE_CODE128;
    case Symbology::Code39: return BARCODE_CODE39;
    case Symbology::Code93: return BARCODE_CODE93;
    case Symbology::Code11: return BARCODE_CODE11;
    case Symbology::Code49: return BARCODE_CODE49;
    case Symbology::Codabar: return BARCODE_CODABAR;
    case Symbology::Interleaved2of5: return BARCODE_C25INTER;
    case Symbology::Standard2of5: return BARCODE_C25STANDARD;
    case Symbology::Industrial2of5: return BARCODE_C25IND;
    case Symbology::Logmars: return BARCODE_LOGMARS;
    case Symbology::Msi: return BARCODE_MSI_PLESSEY;
    case Symbology::Plessey: return BARCODE_PLESSEY;
    case Symbology::Ean: return BARCODE_EANX;
    case Symbology::UpcA: return BARCODE_UPCA;
    case Symbology::UpcE: return BARCODE_UPCE;
    case Symbology::Postnet: return BARCODE_POSTNET;
    case Symbology::Planet: return BARCODE_PLANET;
    case Symbology::DataBarOmni: return BARCODE_DBAR_OMN;
    case Symbology::DataBarLimited: return BARCODE_DBAR_LTD;
    case Symbology::DataBarExpanded: return BARCODE_DBAR_EXP;
    case Symbology::DataBarStacked: return BARCODE_DBAR_STK;
    case Symbology::DataBarStackedOmni: return BARCODE_DBAR_OMNSTK;
    case Symbology::DataBarExpandedStacked: return BARCODE_DBAR_EXPSTK;
    case Symbology::Gs1_128: return BARCODE_GS1_128;
    case Symbology::Gs1_128Composite: return BARCODE_GS1_128_CC;
    case Symbology::Codablock: return BARCODE_CODABLOCKF;
    case Symbology::Pdf417: return BARCODE_PDF417;
    case Symbology::Pdf417Truncated: return BARCODE_PDF417COMP;
    case Symbology::MicroPdf417: return BARCODE_MICROPDF417;
    case Symbology::DataMatrix: return BARCODE_DATAMATRIX;
    case Symbology::QrCode: return BARCODE_QRCODE;
    case Symbology::MaxiCode: return BARCODE_MAXICODE;
    case Symbology::Aztec: return BARCODE_AZTEC;
  }
  return BARCODE_CODE128;
}

int ZintInputOf(core::SymbolInput input) {
  switch (input) {
    case core::SymbolInput::Bytes: return DATA_MODE;
    case core::SymbolInput::Utf8: return UNICODE_MODE;
    case core::SymbolInput::Gs1Unchecked: return UNICODE_MODE | GS1NOCHECK_MODE;
    case core::SymbolInput::Escaped: return DATA_MODE | ESCAPE_MODE;
  }
  return DATA_MODE;
}

}  // namespace

namespace {

bool TwoWidths(int symbology) {
  switch (symbology) {
    case BARCODE_CODE11:
    case BARCODE_C25STANDARD:
    case BARCODE_C25INTER:
    case BARCODE_C25IATA:
    case BARCODE_C25LOGIC:
    case BARCODE_C25IND:
    case BARCODE_CODE39:
    case BARCODE_EXCODE39:
    case BARCODE_LOGMARS:
    case BARCODE_CODABAR:
    case BARCODE_PLESSEY:
    case BARCODE_MSI_PLESSEY: return true;
    default: return false;
  }
}

bool Stacked(int symbology) {
  return symbology == BARCODE_PDF417 || symbology == BARCODE_PDF417COMP || symbology == BARCODE_MICROPDF417 ||
         symbology == BARCODE_CODABLOCKF || symbology == BARCODE_CODE49 || symbology == BARCODE_DBAR_STK ||
         symbology == BARCODE_DBAR_OMNSTK || symbology == BARCODE_DBAR_EXPSTK;
}

core::Bitmap MaxiCodeDots(Symbol& symbol, double dpi) {
  // MaxiCode has one size, about 28 mm across its 30 columns; printers
  // keep the column pitch at whole dots, so the symbol comes out a little
  // smaller (210 dots at 203 dpi).
  if (ZBarcode_Buffer_Vector(symbol.S, 0) >= ZINT_ERROR || symbol.S->vector == nullptr) return core::Bitmap();
  const zint_vector* v = symbol.S->vector;
  const double across = std::max(1.0, std::floor(28.14 / 25.4 * dpi / 30)) * 30;
  const double scale = across / std::max(1.0f, v->width);
  const int w = std::max(1, static_cast<int>(std::ceil(v->width * scale)));
  const int h = std::max(1, static_cast<int>(std::ceil(v->height * scale)));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  for (const zint_vector_hexagon* x = v->hexagons; x; x = x->next) {
    const double r = x->diameter / 2;
    for (int k = 0; k < 6; ++k) {
      // Pointy-topped hexagons, as MaxiCode's rows are offset half a module.
      const double a = std::numbers::pi / 3 * k + std::numbers::pi / 6 + x->rotation * std::numbers::pi / 180;
      const double px = x->x + r * std::cos(a), py = x->y + r * std::sin(a);
      if (k == 0)
        cairo_move_to(cr, px, py);
      else
        cairo_line_to(cr, px, py);
    }
    cairo_close_path(cr);
  }
  cairo_fill(cr);
  for (const zint_vector_circle* c = v->circles; c; c = c->next) {
    cairo_set_operator(cr, c->colour ? CAIRO_OPERATOR_CLEAR : CAIRO_OPERATOR_OVER);
    cairo_new_path(cr);
    if (c->width > 0) {
      cairo_set_line_width(cr, c->width);
      cairo_arc(cr, c->x, c->y, c->diameter / 2 + c->width / 2, 0, 2 * std::numbers::pi);
      cairo_stroke(cr);
    } else {
      cairo_arc(cr, c->x, c->y, c->diameter / 2, 0, 2 * std::numbers::pi);
      cairo_fill(cr);
    }
  }
  cairo_surface_flush(surface);
  core::Bitmap out(w, h);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c)
      if (data[static_cast<size_t>(r) * stride + c] >= 128) out.Set(c, r, true);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return out;
}

}  // namespace

namespace {

// Everything a drawing depends on, as one string: the key of the caches.
class Key {
 public:
  template <class T>
  Key& Add(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    const auto* bytes = reinterpret_cast<const char*>(&value);
    text_.append(bytes, sizeof value);
    return *this;
  }
  Key& Add(std::string_view bytes) {
    Add(bytes.size());
    text_.append(bytes);
    return *this;
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

// What a drawing gave: its picture, a number (a baseline, a width) and a
// text (a symbol's human-readable line).
struct Kept {
  core::Bitmap Dots;
  int Number = 0;
  std::string Text;
};

// Pictures already drawn, by everything they were drawn from: a job's
// labels repeat most of their fields (the sender, the captions, the same
// symbol on every label), and laying out text or drawing a MaxiCode again
// costs more than the rest of the label. Drawing is deterministic for the
// process's fonts, so a picture found here is the one that would be drawn.
// Bounded: past Budget bytes it starts again empty (a 4 x 6 inch shipping
// label's texts and MaxiCode take about 200 KB at 203 dpi; kept larger, a
// job whose every field differs pays in page faults for memory it never
// reads again). What is kept lives in
// large blocks of its own: kept among the label's page-sized buffers, it
// would split the holes they leave, and each label's page would take fresh
// memory (page faults and zeroing) instead of the last label's.
class Drawn {
 public:
  static constexpr size_t Budget = 1u << 20;
  // Pictures beyond this are drawn each time: rarely repeated, and they
  // would crowd out the rest.
  static constexpr size_t Largest = Budget / 4;

  // False when the key is not here; `kept` is left alone then.
  bool Find(std::string_view key, Kept& kept) {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = state_->Values.find(key);
    if (it == state_->Values.end()) return false;
    const Stored& s = it->second;
    kept.Dots = core::Bitmap(s.Width, s.Height);
    if (s.Width > 0 && s.Height > 0) std::memcpy(kept.Dots.Row(0), s.Dots, BytesOf(s.Width, s.Height));
    kept.Number = s.Number;
    kept.Text.assign(s.Text, s.TextSize);
    return true;
  }
  void Keep(std::string_view key, const Kept& kept) {
    const size_t dots = BytesOf(kept.Dots.Width(), kept.Dots.Height());
    const size_t bytes = dots + kept.Text.size() + key.size() + sizeof(Stored) + 64;
    if (bytes > Largest) return;
    std::lock_guard<std::mutex> lock(lock_);
    if (state_->Used + bytes > Budget) state_ = std::make_unique<State>();
    State& state = *state_;
    Stored s;
    s.Width = kept.Dots.Width();
    s.Height = kept.Dots.Height();
    s.Number = kept.Number;
    if (dots > 0) {
      auto* to = static_cast<uint8_t*>(state.Pool.allocate(dots, 1));
      std::memcpy(to, kept.Dots.Row(0), dots);
      s.Dots = to;
    }
    if (!kept.Text.empty()) {
      auto* to = static_cast<char*>(state.Pool.allocate(kept.Text.size(), 1));
      std::memcpy(to, kept.Text.data(), kept.Text.size());
      s.Text = to;
      s.TextSize = kept.Text.size();
    }
    if (state.Values.try_emplace(std::pmr::string(key, &state.Pool), s).second) state.Used += bytes;
  }

 private:
  static size_t BytesOf(int width, int height) {
    return static_cast<size_t>(std::max(0, width)) * static_cast<size_t>(std::max(0, height));
  }
  // Its bytes are in the pool of the state that holds it.
  struct Stored {
    const uint8_t* Dots = nullptr;
    int Width = 0, Height = 0, Number = 0;
    const char* Text = "";
    size_t TextSize = 0;
  };
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  struct State {
    std::pmr::monotonic_buffer_resource Pool{256u << 10};
    std::pmr::unordered_map<std::pmr::string, Stored, Hash, std::equal_to<>> Values{&Pool};
    size_t Used = 0;
  };

  std::mutex lock_;
  std::unique_ptr<State> state_ = std::make_unique<State>();
};

// Each lives for the process, as the fonts do.
Drawn& Symbols() {
  static auto* drawn = new Drawn;
  return *drawn;
}
Drawn& Texts() {
  static auto* drawn = new Drawn;
  return *drawn;
}

core::Bitmap DrawSymbolDots(const core::SymbolOptions& options, std::string_view data, std::string* error,
                            std::string* readable);

}  // namespace

core::Bitmap SymbolDots(const core::SymbolOptions& options, std::string_view data, std::string* error,
                        std::string* readable) {
  // Only MaxiCode's hexagons cost more to draw again than to keep: the
  // other symbols are rows of whole-dot modules, copied down.
  if (options.Symbology != Symbology::MaxiCode) return DrawSymbolDots(options, data, error, readable);
  Key key;
  key.Add(static_cast<int>(options.Symbology))
      .Add(static_cast<int>(options.Input))
      .Add(options.Option1)
      .Add(options.Option2)
      .Add(options.Option3);
  key.Add(options.Eci).Add(std::string_view(options.Primary)).Add(options.AppendIndex).Add(options.AppendCount);
  key.Add(options.Module).Add(options.Ratio).Add(options.BarHeight).Add(options.Dpi).Add(data);
  const std::string name = key.Take();
  Kept drawn;
  if (!Symbols().Find(name, drawn)) {
    // Failures are not kept: they cost little, and may not last (memory).
    drawn.Dots = DrawSymbolDots(options, data, error, &drawn.Text);
    if (drawn.Dots.Width() == 0) return core::Bitmap();
    Symbols().Keep(name, drawn);
  }
  if (readable) *readable = std::move(drawn.Text);
  return std::move(drawn.Dots);
}

namespace {

core::Bitmap DrawSymbolDots(const core::SymbolOptions& options, std::string_view data, std::string* error,
                            std::string* readable) {
  Symbol symbol;
  if (symbol.S == nullptr) {
    if (error) *error = "out of memory";
    return core::Bitmap();
  }
  if (options.Option2) symbol.S->option_2 = options.Option2;
  if (options.Option3) symbol.S->option_3 = options.Option3;
  if (options.Eci) symbol.S->eci = options.Eci;
  if (!options.Primary.empty()) {
    const size_t n = std::min(options.Primary.size(), sizeof(symbol.S->primary) - 1);
    options.Primary.copy(symbol.S->primary, n);
    symbol.S->primary[n] = '\0';
  }
  if (options.Option1 >= 0) symbol.S->option_1 = options.Option1;
  if (options.AppendCount > 1) {
    symbol.S->structapp.count = options.AppendCount;
    symbol.S->structapp.index = std::clamp(options.AppendIndex, 1, options.AppendCount);
  }
  const int symbology = ZintOf(options.Symbology);
  if (!Encode(symbol, symbology, ZintInputOf(options.Input), 0, data, error)) return core::Bitmap();
  if (readable) *readable = reinterpret_cast<const char*>(symbol.S->text);
  if (symbology == BARCODE_MAXICODE) return MaxiCodeDots(symbol, options.Dpi);
  const int module = std::clamp(options.Module, 1, 100);
  const int rows = std::max(1, symbol.S->rows);
  const bool linear = rows == 1;
  const int rowHeight = linear               ? std::clamp(options.BarHeight, 1, Page::MaxSide)
                        : Stacked(symbology) ? std::clamp(options.BarHeight, 1, 1000)
                                             : module;
  // Element widths along each row: one module is narrow; in two-width
  // symbologies anything wider is the wide element, at the ratio asked.
  const bool two = TwoWidths(symbology);
  const int wide = std::max(module + 1, static_cast<int>(std::lround(options.Ratio * module)));
  std::vector<int> left(static_cast<size_t>(symbol.S->width) + 1, 0);
  int x = 0;
  for (int c = 0; c < symbol.S->width;) {
    int end = c;
    const bool dark = symbol.Module(0, c);
    while (end < symbol.S->width && symbol.Module(0, end) == dark) ++end;
    const int run = end - c;
    const int span = two ? (run == 1 ? module : wide) : run * module;
    for (int k = c; k < end; ++k) left[static_cast<size_t>(k)] = x + (k - c) * span / run;
    x += span;
    c = end;
  }
  left[static_cast<size_t>(symbol.S->width)] = x;
  const int lines = linear ? 1 : rows;
  const long height = static_cast<long>(rowHeight) * lines;
  if (x < 1 || x > Page::MaxSide || height > Page::MaxSide) {
    if (error) *error = "symbol larger than a label";
    return core::Bitmap();
  }
  core::Bitmap out(x, static_cast<int>(height));
  for (int r = 0; r < lines; ++r) {
    // A row of modules is one row of dots, repeated down its height.
    uint8_t* first = out.Row(r * rowHeight);
    symbol.DarkRuns(r, [&](int c, int run) {
      std::fill(first + left[static_cast<size_t>(c)], first + left[static_cast<size_t>(c + run)], uint8_t{1});
    });
    for (int yy = r * rowHeight + 1; yy < (r + 1) * rowHeight; ++yy)
      std::memcpy(out.Row(yy), first, static_cast<size_t>(x));
  }
  return out;
}

// Lays the text out as one line in the look's face and height, upright in
// the shared context, and hands the layout and the look's horizontal
// stretch to `use` while the context is held.
template <class Use>
void WithLayout(std::string_view utf8, const core::TextLook& look, Use&& use) {
  const double height = std::min(look.Height, 2000.0);
  const double stretch = look.Width > 0 ? std::clamp(look.Width / look.Height, 0.05, 20.0) : 1.0;
  char* valid = g_utf8_make_valid(utf8.data(), static_cast<gssize>(std::min<size_t>(utf8.size(), 1 << 16)));
  TextContext& text = Fonts();
  {
    std::lock_guard<std::mutex> lock(text.Lock);
    // A page's turned text leaves its matrix in the shared context.
    pango_context_set_matrix(text.Context, nullptr);
    PangoLayout* layout = pango_layout_new(text.Context);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, look.Font.empty() ? "Sans" : look.Font.c_str());
    pango_font_description_set_absolute_size(font, height * PANGO_SCALE);
    pango_font_description_set_weight(font, look.Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_text(layout, valid, -1);
    use(text, layout, stretch);
    pango_font_description_free(font);
    g_object_unref(layout);
  }
  g_free(valid);
}

// `what`: 'D' dots drawn, 'W' a width measured.
std::string KeyOf(char what, std::string_view utf8, const core::TextLook& look, int rotation) {
  Key key;
  key.Add(what)
      .Add(std::string_view(look.Font))
      .Add(look.Height)
      .Add(look.Width)
      .Add(look.Bold)
      .Add(rotation)
      .Add(utf8);
  return key.Take();
}

core::Bitmap DrawTextDots(std::string_view utf8, const core::TextLook& look, int rotation, int* baseline);
int MeasureText(std::string_view utf8, const core::TextLook& look);

}  // namespace

int TextWidth(std::string_view utf8, const core::TextLook& look) {
  if (utf8.empty() || !(look.Height >= 1)) return 0;
  const std::string key = KeyOf('W', utf8, look, 0);
  Kept measured;
  if (!Texts().Find(key, measured)) {
    measured.Number = MeasureText(utf8, look);
    Texts().Keep(key, measured);
  }
  return measured.Number;
}

core::Bitmap TextDots(std::string_view utf8, const core::TextLook& look, int rotation, int* baseline) {
  if (utf8.empty() || !(look.Height >= 1)) return core::Bitmap();
  const std::string key = KeyOf('D', utf8, look, rotation);
  Kept drawn;
  if (!Texts().Find(key, drawn)) {
    drawn.Dots = DrawTextDots(utf8, look, rotation, &drawn.Number);
    Texts().Keep(key, drawn);
  }
  if (baseline) *baseline = drawn.Number;
  return std::move(drawn.Dots);
}

namespace {

int MeasureText(std::string_view utf8, const core::TextLook& look) {
  int width = 0;
  WithLayout(utf8, look, [&](TextContext&, PangoLayout* layout, double stretch) {
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    width = static_cast<int>(std::ceil(logical.width * stretch));
  });
  return width;
}

core::Bitmap DrawTextDots(std::string_view utf8, const core::TextLook& look, int rotation, int* baseline) {
  core::Bitmap out;
  WithLayout(utf8, look, [&](TextContext& text, PangoLayout* layout, double stretch) {
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    const int width = std::clamp(static_cast<int>(std::ceil(logical.width * stretch)), 1, Page::MaxSide);
    const int rows = std::clamp(logical.height, 1, Page::MaxSide);
    // Rounded: a glyph whose foot covers half of a row inks it.
    if (baseline) *baseline = PANGO_PIXELS(pango_layout_get_baseline(layout));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, rows);
    cairo_t* cr = cairo_create(surface);
    if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) {
      cairo_set_source_rgba(cr, 0, 0, 0, 1);
      // The stretch turns the glyphs as they are drawn; laid out, they keep
      // the context's plain matrix, so the width measured is the width drawn.
      pango_cairo_update_context(cr, text.Context);
      pango_layout_context_changed(layout);
      cairo_scale(cr, stretch, 1);
      pango_cairo_show_layout(cr, layout);
      cairo_surface_flush(surface);
      const unsigned char* data = cairo_image_surface_get_data(surface);
      const int stride = cairo_image_surface_get_stride(surface);
      out = core::Bitmap(width, rows);
      for (int r = 0; r < rows; ++r) {
        const unsigned char* from = data + static_cast<size_t>(r) * stride;
        uint8_t* to = out.Row(r);
        for (int c = 0; c < width; ++c) to[c] = from[c] >> 7;
      }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  });
  return Rotate(out, rotation);
}

}  // namespace

}  // namespace morvel::render

// The renderer's shared pango context and zint encoding.
#include "render/Shared.h"

#include <algorithm>

namespace morvel::render {

TextContext::TextContext() {
  PangoFontMap* map = pango_cairo_font_map_new();
  Context = pango_font_map_create_context(map);
  g_object_unref(map);  // the context keeps it
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(Context, options);
  cairo_font_options_destroy(options);
}

TextContext& Fonts() {
  static auto* text = new TextContext;
  return *text;
}

bool Encode(Symbol& symbol, int symbology, int inputMode, int option1, std::string_view data, std::string* error) {
  if (symbol.S == nullptr) {
    if (error) *error = "out of memory";
    return false;
  }
  if (data.empty()) {
    if (error) *error = "no data to encode";
    return false;
  }
  symbol.S->symbology = symbology;
  symbol.S->input_mode = inputMode;
  if (option1 > 0) symbol.S->option_1 = option1;
  int result = ZBarcode_Encode(symbol.S, reinterpret_cast<const unsigned char*>(data.data()),
                               static_cast<int>(std::min<size_t>(data.size(), 1 << 16)));
  if (result >= ZINT_ERROR) {
    if (error) *error = symbol.S->errtxt;
    return false;
  }
  return true;
}

}  // namespace morvel::render

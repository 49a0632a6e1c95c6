// Drawing at the exact sizes a printer command gives: barcode symbols of
// every symbology at a module width and bar height (encoded by zint, the one
// place that knows its numbers), and text at a point with its own width and
// height and a quarter-turn rotation. Printer-language previews use these;
// Page's box-fitting calls serve page layouts.
#pragma once

#include <string>
#include <string_view>

#include "core/drawing.h"
#include "render/Page.h"

namespace morvel::render {

// The symbol's black dots, upright, without quiet zones; an empty bitmap
// and zint's reason in `error` when the data cannot be encoded. `readable`
// receives the human-readable text zint gives (check digits and all) when
// the symbol is drawn. A symbol drawn before with the same options and data
// is not drawn again: its picture is kept (as TextDots keeps text).
core::Bitmap SymbolDots(const core::SymbolOptions& options, std::string_view data, std::string* error = nullptr,
                        std::string* readable = nullptr);

// UTF-8 text drawn on one line, its cell's top left corner before turning
// at (0, 0), turned clockwise by 0, 90, 180 or 270 degrees; the result's
// top left corner is the turned cell's.
// `baseline` receives the baseline's row in the upright cell. Text drawn
// before in the same look and turn is not laid out again: the process keeps
// the pictures it drew, up to a bound.
core::Bitmap TextDots(std::string_view utf8, const core::TextLook& look, int rotation, int* baseline = nullptr);
// Width in dots of the text drawn upright on one line in the look.
int TextWidth(std::string_view utf8, const core::TextLook& look);

}  // namespace morvel::render

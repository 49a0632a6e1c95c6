// Drawing at the exact sizes a printer command gives, on top of Page:
// Code 128 at a module width and bar height, QR codes at a module size and
// error-correction level, one-bit rasters dot for dot, and text at a point
// with its own width and height and a quarter-turn rotation. Printer-language
// previews use these; Page's box-fitting calls serve page layouts.
#pragma once

#include <string>
#include <string_view>

#include "render/Page.h"

namespace morvel::render {

// Puts every black dot of `dots` onto the page with its top left corner at
// (x, y); dots off the page are dropped.
void Blit(Page& page, int x, int y, const Bitmap& dots);

// Code 128 of the data (bytes taken as Latin-1), left edge at x, bars
// `barHeight` dots tall, each module `module` dots wide; with `textHeight`
// above 0 the data is written centred below the bars in a line that tall.
// False (nothing drawn) when the data cannot be encoded.
bool Code128At(Page& page, int x, int y, int module, int barHeight, std::string_view data, int textHeight,
               std::string* error = nullptr);
// The number of modules across Code 128 of the data; 0 when it cannot be encoded.
int Code128Modules(std::string_view data);

// QR code (model 2) with its top left module at (x, y), modules `module`
// dots square, error correction 'L', 'M', 'Q' or 'H'.
bool QrAt(Page& page, int x, int y, int module, char errorCorrection, std::string_view data,
          std::string* error = nullptr);
// Modules across the QR code of the data; 0 when it cannot be encoded.
int QrModules(char errorCorrection, std::string_view data);

// Any symbology zint knows, at the sizes a printer command gives.
struct SymbolOptions {
  int Symbology = 20;  // zint's BARCODE_* number (20: Code 128)
  int InputMode = 0;   // zint's DATA_MODE, GS1_MODE, ESCAPE_MODE...
  int Option1 = -1, Option2 = 0, Option3 = 0;
  int Eci = 0;
  std::string Primary;                   // MaxiCode modes 2 and 3: postcode, country, class
  int AppendIndex = 0, AppendCount = 0;  // structured append: symbol k of n (n above 1)
  int Module = 2;                        // narrow bar, or module side, in dots
  double Ratio = 3;                      // wide to narrow bar of the two-width symbologies
  int BarHeight = 10;                    // bars of linear symbols; each row of stacked ones
  double Dpi = 203;                      // MaxiCode's fixed size
};

// The symbol's black dots, upright, without quiet zones; an empty bitmap
// and zint's reason in `error` when the data cannot be encoded. `readable`
// receives the human-readable text zint gives (check digits and all) when
// the symbol is drawn. A symbol drawn before with the same options and data
// is not drawn again: its picture is kept (as TextDots keeps text).
Bitmap SymbolDots(const SymbolOptions& options, std::string_view data, std::string* error = nullptr,
                  std::string* readable = nullptr);

struct TextLook {
  std::string Font = "DejaVu Sans";  // fontconfig family
  double Height = 0;                 // em height in dots
  double Width = 0;                  // character width in dots; 0: as the font draws it
  bool Bold = false;
};

// UTF-8 text drawn on one line, its cell's top left corner before turning
// at (0, 0), turned clockwise by 0, 90, 180 or 270 degrees; the result's
// top left corner is the turned cell's.
// `baseline` receives the baseline's row in the upright cell. Text drawn
// before in the same look and turn is not laid out again: the process keeps
// the pictures it drew, up to a bound.
Bitmap TextDots(std::string_view utf8, const TextLook& look, int rotation, int* baseline = nullptr);
// Width in dots of the text drawn upright on one line in the look.
int TextWidth(std::string_view utf8, const TextLook& look);

}  // namespace morvel::render

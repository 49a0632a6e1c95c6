// What a label picture is made of, named once for the label model that
// the languages' readers fill (lang/) and the renderer that draws it
// (render/): one-bit pictures, the look of a line of text, and barcode
// symbols by their house names. Only the renderer knows which library
// draws them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace morvel::core {

// A one-bit picture: Black(x, y) for each dot, rows top to bottom.
class Bitmap {
 public:
  Bitmap() = default;
  Bitmap(int width, int height) : width_(width), height_(height), dots_(static_cast<size_t>(width) * height, 0) {}
  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  bool Black(int x, int y) const noexcept { return dots_[static_cast<size_t>(y) * width_ + x] != 0; }
  void Set(int x, int y, bool black) noexcept { dots_[static_cast<size_t>(y) * width_ + x] = black ? 1 : 0; }
  size_t CountBlack() const noexcept { return static_cast<size_t>(std::count(dots_.begin(), dots_.end(), 1)); }
  // One byte a dot (1 black) along row y, for loops over whole rows.
  const uint8_t* Row(int y) const noexcept { return dots_.data() + static_cast<size_t>(y) * width_; }
  uint8_t* Row(int y) noexcept { return dots_.data() + static_cast<size_t>(y) * width_; }
  // In place: turned 180 degrees; mirrored left to right.
  void Turn180() noexcept { std::reverse(dots_.begin(), dots_.end()); }
  void Mirror() noexcept {
    for (int y = 0; y < height_; ++y) std::reverse(Row(y), Row(y) + width_);
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> dots_;
};

// A line of text: its font, em and character width in dots, and weight.
struct TextLook {
  std::string Font = "DejaVu Sans";  // fontconfig family
  double Height = 0;                 // em height in dots
  double Width = 0;                  // character width in dots; 0: as the font draws it
  bool Bold = false;
};

// The barcode symbologies the printer languages draw.
enum class Symbology : uint8_t {
  Code128,
  Code39,
  Code93,
  Code11,
  Code49,
  Codabar,
  Interleaved2of5,
  Standard2of5,
  Industrial2of5,
  Logmars,
  Msi,
  Plessey,
  Ean,  // EAN-13, EAN-8 and the 2- and 5-digit add-ons, told by the data's length
  UpcA,
  UpcE,
  Postnet,
  Planet,
  DataBarOmni,
  DataBarLimited,
  DataBarExpanded,
  DataBarStacked,
  DataBarStackedOmni,
  DataBarExpandedStacked,
  Gs1_128,
  Gs1_128Composite,
  Codablock,
  Pdf417,
  Pdf417Truncated,
  MicroPdf417,
  DataMatrix,
  QrCode,
  MaxiCode,
  Aztec,
};

// How a symbol's data is taken.
enum class SymbolInput : uint8_t {
  Bytes,         // as bytes
  Utf8,          // as UTF-8 text
  Gs1Unchecked,  // as UTF-8, a GS1 symbology's application identifiers not checked
  Escaped,       // as bytes with backslash escapes (\e: an ECI switch)
};

// A symbol at the sizes a printer command gives.
struct SymbolOptions {
  core::Symbology Symbology = core::Symbology::Code128;
  SymbolInput Input = SymbolInput::Bytes;
  // The symbology's own settings, in the order the symbologies number them:
  // Option1 a security or error-correction level (PDF417, QR 1-4 for L-H,
  // Aztec) or MaxiCode's mode; Option2 a check digit (1: Code 39's), the
  // columns or the size (PDF417, DataBar Expanded Stacked, Data Matrix,
  // Aztec); Option3 PDF417's rows, or Data Matrix's square-only (100). -1 or
  // 0: the symbology's default.
  int Option1 = -1, Option2 = 0, Option3 = 0;
  int Eci = 0;
  std::string Primary;                   // MaxiCode modes 2 and 3: postcode, country, class
  int AppendIndex = 0, AppendCount = 0;  // structured append: symbol k of n (n above 1)
  int Module = 2;                        // narrow bar, or module side, in dots
  double Ratio = 3;                      // wide to narrow bar of the two-width symbologies
  int BarHeight = 10;                    // bars of linear symbols; each row of stacked ones
  double Dpi = 203;                      // MaxiCode's fixed size
};

}  // namespace morvel::core

// One-bit PCX files for SBPL's ESC GPaaaaa,(data): the 128-byte header
// (manufacturer 10, version 5, run-length coding, one plane of one bit,
// bytes a line even), then each scan line as runs: a count byte 0xC0 + n
// (n up to 63) before a byte repeated n times, or a lone byte below 0xC0.
#include "lang/sbpl/Raster.h"

#include <algorithm>
#include <cstdio>

#include "lang/Label.h"
#include "lang/Reading.h"
#include "lang/sbpl/Commands.h"

namespace morvel::lang::sbpl {
namespace {

constexpr size_t HeaderSize = 128;

void Put16(std::string& out, size_t at, int value) {
  out[at] = static_cast<char>(value & 0xFF);
  out[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

int Get16(std::string_view in, size_t at) {
  return static_cast<unsigned char>(in[at]) | (static_cast<unsigned char>(in[at + 1]) << 8);
}

void PutLine(std::string& out, const uint8_t* line, size_t size) {
  for (size_t i = 0; i < size;) {
    size_t run = 1;
    while (i + run < size && line[i + run] == line[i] && run < 63) ++run;
    if (run > 1 || line[i] >= 0xC0) out += static_cast<char>(0xC0 | run);
    out += static_cast<char>(line[i]);
    i += run;
  }
}

std::string Padded(int value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", digits, value);
  return text;
}

}  // namespace

std::string Pcx(const core::Bitmap& dots, int top, int rows, int dpi) {
  PackedRows packed = PackRows(dots, top, rows, false);
  const size_t lineBytes = (packed.RowBytes + 1) & ~size_t{1};
  std::string out(HeaderSize, '\0');
  out[0] = 10, out[1] = 5, out[2] = 1, out[3] = 1;
  Put16(out, 8, std::max(dots.Width(), 1) - 1);
  Put16(out, 10, std::max(packed.Rows, 1) - 1);
  Put16(out, 12, dpi);
  Put16(out, 14, dpi);
  out[19] = out[20] = out[21] = static_cast<char>(0xFF);  // palette: 0 black, 1 white
  out[65] = 1;
  Put16(out, 66, static_cast<int>(lineBytes));
  Put16(out, 68, 1);
  std::vector<uint8_t> line(lineBytes, 0xFF);
  for (int r = 0; r < packed.Rows; ++r) {
    std::copy_n(packed.Bytes.begin() + static_cast<long>(packed.RowBytes) * r, packed.RowBytes, line.begin());
    PutLine(out, line.data(), line.size());
  }
  return out;
}

std::optional<core::Bitmap> DecodePcx(std::string_view file, std::string* why) {
  auto fail = [&](std::string text) -> std::optional<core::Bitmap> {
    if (why) *why = std::move(text);
    return std::nullopt;
  };
  if (file.size() < HeaderSize || file[0] != 10 || file[2] != 1) return fail("not a run-length PCX file");
  if (file[3] != 1 || file[65] != 1) return fail("not a black-and-white PCX file (one plane of one bit)");
  const int width = Get16(file, 8) - Get16(file, 4) + 1, height = Get16(file, 10) - Get16(file, 6) + 1;
  const size_t lineBytes = static_cast<size_t>(Get16(file, 66));
  if (width < 1 || height < 1 || width > MaxLabelSide || height > MaxLabelSide ||
      static_cast<long long>(width) * height > Bounds::GraphicDots)
    return fail("PCX of " + std::to_string(width) + " x " + std::to_string(height) +
                " dots is larger than a graphic may be (" + std::to_string(Bounds::GraphicDots) + " dots)");
  if (lineBytes * 8 < static_cast<size_t>(width)) return fail("PCX lines shorter than its width");
  // Which bit is black: the darker of the palette's first two colours; a
  // file without a palette draws 0 black, as monochrome PCX does.
  auto level = [&](size_t at) {
    return static_cast<unsigned char>(file[at]) + static_cast<unsigned char>(file[at + 1]) +
           static_cast<unsigned char>(file[at + 2]);
  };
  const bool oneIsBlack = level(19) < level(16);
  core::Bitmap dots(width, height);
  std::vector<uint8_t> line(lineBytes);
  size_t at = HeaderSize;
  for (int y = 0; y < height; ++y) {
    for (size_t filled = 0; filled < lineBytes;) {
      if (at >= file.size())
        return fail("PCX data ends at line " + std::to_string(y + 1) + " of " + std::to_string(height));
      uint8_t b = static_cast<uint8_t>(file[at++]);
      size_t run = 1;
      if (b >= 0xC0) {
        run = b & 0x3F;
        if (at >= file.size()) return fail("PCX data ends inside a run");
        b = static_cast<uint8_t>(file[at++]);
      }
      run = std::min(run, lineBytes - filled);
      std::fill_n(line.begin() + static_cast<long>(filled), run, b);
      filled += run;
    }
    for (int x = 0; x < width; ++x)
      dots.Set(x, y, ((line[static_cast<size_t>(x) >> 3] >> (7 - (x & 7))) & 1) == oneIsBlack);
  }
  return dots;
}

std::string LabelOfPicture(const core::Bitmap& dots, int dpi, int copies) {
  const std::string esc = "\x1b";
  std::string out = esc + std::string(Start.Name) + esc + std::string(LabelSize.Name) + "V" + Padded(dots.Height(), 5) +
                    "H" + Padded(dots.Width(), 4);
  const size_t lineBytes = (static_cast<size_t>(dots.Width() + 7) / 8 + 1) & ~size_t{1};
  int band = RowsPerBand(lineBytes, MaxPcxUnpacked);
  for (int top = 0; top < dots.Height();) {
    const PackedRows rows = PackRows(dots, top, band, true);
    if (std::all_of(rows.Bytes.begin(), rows.Bytes.end(), [](uint8_t b) { return b == 0; })) {
      top += band;
      continue;
    }
    std::string file = Pcx(dots, top, band, dpi);
    if (file.size() > MaxPcxBytes && band > 1) {
      band = std::max(1, band / 2);  // busy rows: smaller bands until each file fits
      continue;
    }
    out += esc + std::string(Vertical.Name) + Padded(top, 4) + esc + std::string(Horizontal.Name) + "0000" + esc +
           std::string(PcxGraphic.Name) + Padded(static_cast<int>(file.size()), 5) + "," + file;
    top += band;
  }
  // ESC Q takes six digits: 1 to 999999 labels (SATO's SBPL programming
  // reference, "Qaaaaaa Print Quantity"); more would be misread.
  out += esc + std::string(Quantity.Name) + std::to_string(std::clamp(copies, 1, MaxQuantity)) + esc +
         std::string(End.Name);
  return out;
}

const ReadingRow ReadingHalf{Language::Sbpl, ParseSbpl, [](const core::Bitmap& dots, const RasterHow& how) {
                               return LabelOfPicture(dots, how.Dpi, how.Copies);
                             }};

}  // namespace morvel::lang::sbpl

// ZPL graphic fields of a picture. ^GFA,b,c,d,data: b and c are the packed
// bytes of the band (c what the printer reserves), d the bytes of a row;
// the data follows the format 'A' of the ZPL programming guide (^GF), which
// also takes the Base64 forms. Bands are separate fields at their own ^FO,
// so a printer never holds more than one band's data before it draws it.
#include "lang/zpl/Raster.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "lang/Reading.h"
#include "lang/zpl/Graphics.h"

namespace morvel::lang::zpl {
namespace {

std::string Base64(const uint8_t* data, size_t size) {
  static constexpr char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t n = (uint32_t{data[i]} << 16) | (i + 1 < size ? uint32_t{data[i + 1]} << 8 : 0) |
                       (i + 2 < size ? uint32_t{data[i + 2]} : 0);
    out += Digits[(n >> 18) & 63];
    out += Digits[(n >> 12) & 63];
    out += i + 1 < size ? Digits[(n >> 6) & 63] : '=';
    out += i + 2 < size ? Digits[n & 63] : '=';
  }
  return out;
}

// The count letters of a run of n (2 to 419): its twenties with g..z, the
// rest with G..Y.
void PutCount(std::string& out, size_t n) {
  if (n >= 20) out += static_cast<char>('g' + n / 20 - 1);
  if (n % 20 > 0) out += static_cast<char>('G' + n % 20 - 1);
}

void PutRow(std::string& out, std::string_view hex) {
  size_t end = hex.size();
  char fill = '\0';
  if (end > 0 && (hex[end - 1] == '0' || hex[end - 1] == 'F')) {
    fill = hex[end - 1];
    while (end > 0 && hex[end - 1] == fill) --end;
  }
  for (size_t i = 0; i < end;) {
    size_t run = 1;
    while (i + run < end && hex[i + run] == hex[i] && run < 419) ++run;
    if (run > 1) PutCount(out, run);
    out += hex[i];
    i += run;
  }
  if (fill == '0') out += ',';
  if (fill == 'F') out += '!';
}

}  // namespace

std::string Z64Data(const PackedRows& rows) {
  uLongf size = compressBound(static_cast<uLong>(rows.Bytes.size()));
  std::vector<uint8_t> deflated(size);
  if (compress2(deflated.data(), &size, rows.Bytes.data(), static_cast<uLong>(rows.Bytes.size()), 9) != Z_OK) size = 0;
  const std::string text = Base64(deflated.data(), size);
  char crc[8];
  std::snprintf(crc, sizeof crc, "%04X", Crc16(text));
  return ":Z64:" + text + ":" + crc;
}

std::string AsciiData(const PackedRows& rows) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string out, hex, previous;
  for (int r = 0; r < rows.Rows; ++r) {
    hex.clear();
    for (size_t k = 0; k < rows.RowBytes; ++k) {
      const uint8_t b = rows.Bytes[rows.RowBytes * static_cast<size_t>(r) + k];
      hex += Hex[b >> 4];
      hex += Hex[b & 15];
    }
    if (r > 0 && hex == previous)
      out += ':';
    else
      PutRow(out, hex);
    previous.swap(hex);
  }
  return out;
}

std::string LabelOfPicture(const core::Bitmap& dots, const PictureLabel& how) {
  std::string out = "^XA^LH0,0^PW" + std::to_string(dots.Width()) + "^LL" + std::to_string(dots.Height()) + "\n";
  const size_t rowBytes = static_cast<size_t>(dots.Width() + 7) / 8;
  const int band = RowsPerBand(rowBytes, how.BandBytes);
  for (int top = 0; top < dots.Height(); top += band) {
    const PackedRows rows = PackRows(dots, top, band, true);
    if (std::all_of(rows.Bytes.begin(), rows.Bytes.end(), [](uint8_t b) { return b == 0; })) continue;
    const std::string total = std::to_string(rows.Bytes.size());
    out += "^FO0," + std::to_string(top) + "^GFA," + total + "," + total + "," + std::to_string(rows.RowBytes) + ",";
    out += how.Compression == GraphicCompression::Z64 ? Z64Data(rows) : AsciiData(rows);
    out += "^FS\n";
  }
  out += "^PQ" + std::to_string(how.Copies) + "^XZ\n";
  return out;
}

// ZPL's reading row: its reader, and a picture as graphic fields.
const ReadingRow ReadingHalf{Language::Zpl, ParseZpl, [](const core::Bitmap& dots, const RasterHow& how) {
                               return LabelOfPicture(dots, {how.Compression, 32 * 1024, how.Copies});
                             }};

}  // namespace morvel::lang::zpl

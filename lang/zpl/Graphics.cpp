// ZPL graphic data into dots. The ASCII compression counts a run of one hex
// digit with G..Y (1 to 19) and g..z (20 to 400 in twenties), ',' fills the
// rest of a row with 0, '!' with F, and ':' repeats the row before.
// Compressed binary (C) is the picture's bytes deflated, or, from hosts
// that send their compression as text, the ASCII compression itself.
#include "lang/zpl/Graphics.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

namespace morvel::lang {
namespace {

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Hex digits of the ASCII form, the compression expanded, rows of
// 2 * perRow digits.
std::optional<std::string> ExpandAscii(std::string_view data, size_t perRow, size_t rows, std::string* why) {
  const size_t rowDigits = perRow * 2;
  std::string out;
  out.reserve(rowDigits * rows);
  std::string row, previous;
  long repeat = 0;
  auto endRow = [&](char fill) {
    if (row.empty() && fill == '\0') return;
    row.resize(rowDigits, fill == '\0' ? '0' : fill);
    out += row;
    previous = row;
    row.clear();
  };
  for (char c : data) {
    if (out.size() >= rowDigits * rows) break;
    if (c >= 'G' && c <= 'Y') {
      repeat += c - 'G' + 1;
      continue;
    }
    if (c >= 'g' && c <= 'z') {
      repeat += (c - 'g' + 1) * 20;
      continue;
    }
    if (c == ',') {
      repeat = 0;
      endRow('0');
      continue;
    }
    if (c == '!') {
      repeat = 0;
      endRow('F');
      continue;
    }
    if (c == ':') {
      repeat = 0;
      if (!row.empty()) endRow('0');
      if (previous.empty()) previous.assign(rowDigits, '0');
      out += previous;
      continue;
    }
    if (Hex(c) < 0) continue;  // line ends and spaces
    const long n = repeat > 0 ? repeat : 1;
    repeat = 0;
    for (long k = 0; k < n; ++k) {
      row += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (row.size() == rowDigits) endRow('\0');
    }
  }
  if (!row.empty()) endRow('0');
  (void)why;
  return out;
}

// A zlib stream inflated in steps, never beyond what a label holds;
// nullopt when it does not inflate whole.
std::optional<std::string> Inflated(std::string_view bytes, size_t limit) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return std::nullopt;
  std::string out;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  int result = Z_OK;
  char chunk[16384];
  while (result == Z_OK && out.size() < limit) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    result = inflate(&z, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - z.avail_out);
    if (result == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  inflateEnd(&z);
  if (result != Z_STREAM_END && out.size() < limit) return std::nullopt;
  out.resize(std::min(out.size(), limit));  // what a stream holds past the picture is not kept
  return out;
}

// The two bytes that open a zlib stream: deflate, a window zlib knows, and
// the header's own check (a multiple of 31).
bool ZlibHeader(std::string_view bytes) {
  if (bytes.size() < 2) return false;
  const auto cmf = static_cast<unsigned char>(bytes[0]), flg = static_cast<unsigned char>(bytes[1]);
  return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0;
}

}  // namespace

unsigned Crc16(std::string_view text) {
  unsigned crc = 0;
  for (unsigned char c : text) {
    crc ^= static_cast<unsigned>(c) << 8;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
    crc &= 0xFFFF;
  }
  return crc;
}

std::string HexBytes(std::string_view hex) {
  std::string out;
  int high = -1;
  for (char c : hex) {
    const int v = Hex(c);
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high * 16 + v);
      high = -1;
    }
  }
  return out;
}

std::optional<std::string> Base64Payload(std::string_view data, std::string* why, size_t limit) {
  while (!data.empty() && std::isspace(static_cast<unsigned char>(data.front()))) data.remove_prefix(1);
  if (data.size() < 5 || data[0] != ':' || data[4] != ':') return std::nullopt;
  const std::string kind(data.substr(1, 3));
  if (kind != "B64" && kind != "Z64") return std::nullopt;
  std::string_view body = data.substr(5);
  std::string_view crcText;
  if (size_t colon = body.find(':'); colon != std::string_view::npos) {
    crcText = body.substr(colon + 1);
    body = body.substr(0, colon);
  }
  std::string text;
  for (char c : body)
    if (!std::isspace(static_cast<unsigned char>(c))) text += c;
  std::string crcDigits;
  for (char c : crcText)
    if (Hex(c) >= 0) crcDigits += c;
  if (crcDigits.size() >= 4) {
    const unsigned given = static_cast<unsigned>(std::stoul(crcDigits.substr(0, 4), nullptr, 16));
    if (given != Crc16(text)) {
      *why = ":" + kind + ": data whose CRC does not match (damaged in transit)";
      return std::string();
    }
  }
  std::string bytes;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const int v = Base64Value(c);
    if (v < 0) {
      *why = ":" + kind + ": data that is not Base64";
      return std::string();
    }
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  if (kind == "B64") return bytes;
  auto out = Inflated(bytes, limit);
  if (!out) {
    *why = ":Z64: data that does not inflate";
    return std::string();
  }
  return out;
}

std::optional<core::Bitmap> DecodeGraphic(char format, std::string_view data, long totalBytes, long bytesPerRow,
                                          std::string* why) {
  if (bytesPerRow < 1 || totalBytes < 1 || bytesPerRow > MaxLabelSide / 8 + 1 ||
      totalBytes / bytesPerRow > MaxLabelSide) {
    *why = "with " + std::to_string(totalBytes) + " bytes in rows of " + std::to_string(bytesPerRow) + " is no picture";
    return std::nullopt;
  }
  const size_t perRow = static_cast<size_t>(bytesPerRow);
  const size_t rows = static_cast<size_t>((totalBytes + bytesPerRow - 1) / bytesPerRow);
  if (static_cast<long long>(perRow) * 8 * static_cast<long long>(rows) > Bounds::GraphicDots) {
    *why = "of " + std::to_string(perRow * 8) + " x " + std::to_string(rows) + " dots is more than a graphic may be (" +
           std::to_string(Bounds::GraphicDots) + " dots)";
    return std::nullopt;
  }
  std::string bytes;
  // What the data sent can fill: its bytes, or in the ASCII compression a
  // row (',' '!' ':') or 200 bytes (a run of 400 digits) for each character.
  size_t fills = 0;
  if (auto payload = Base64Payload(data, why, perRow * rows)) {
    if (!why->empty()) return std::nullopt;
    bytes = std::move(*payload);
    fills = bytes.size() + perRow;
  } else if (format == 'C' && ZlibHeader(data)) {
    // Compressed binary: the picture's bytes deflated on the host.
    auto inflated = Inflated(data, perRow * rows);
    if (!inflated) {
      *why = "in compressed binary form (C) whose data does not inflate";
      return std::nullopt;
    }
    bytes = std::move(*inflated);
    fills = bytes.size() + perRow;
  } else if (format == 'B') {
    bytes = std::string(data);
    fills = bytes.size() + perRow;
  } else {
    fills = (data.size() + 1) * std::max<size_t>(perRow, 200);
    if (fills >= perRow * rows) {
      auto hex = ExpandAscii(data, perRow, rows, why);
      if (!hex) return std::nullopt;
      bytes = HexBytes(*hex);
    }
  }
  if (fills < perRow * rows) {
    *why = "declares " + std::to_string(totalBytes) + " bytes, more than its " + std::to_string(data.size()) +
           " bytes of data can fill";
    return std::nullopt;
  }
  bytes.resize(perRow * rows, '\0');
  core::Bitmap dots(static_cast<int>(perRow * 8), static_cast<int>(rows));
  for (size_t r = 0; r < rows; ++r)
    for (size_t c = 0; c < perRow; ++c) {
      const auto b = static_cast<unsigned char>(bytes[r * perRow + c]);
      if (b == 0) continue;
      for (int k = 0; k < 8; ++k)
        if (b & (0x80 >> k)) dots.Set(static_cast<int>(c * 8 + k), static_cast<int>(r), true);
    }
  return dots;
}

core::Bitmap Magnify(const core::Bitmap& dots, int mx, int my) {
  if (mx <= 1 && my <= 1) return dots;
  const long w = static_cast<long>(dots.Width()) * mx, h = static_cast<long>(dots.Height()) * my;
  if (w > MaxLabelSide || h > MaxLabelSide) return dots;
  core::Bitmap out(static_cast<int>(w), static_cast<int>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (dots.Black(x / mx, y / my)) out.Set(x, y, true);
  return out;
}

}  // namespace morvel::lang

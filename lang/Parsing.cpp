// Helpers every language parser shares: numbers as printers write them,
// text in the job's encoding, and pictures carried inside jobs.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>

#include "lang/Label.h"

#include "platform/encodings.h"
#include "platform/services.h"

namespace morvel::lang::detail {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

std::optional<long> Whole(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.size() > 12) return std::nullopt;
  long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 1000000000L || value < -1000000000L)
    return std::nullopt;
  return value;
}

std::optional<double> Decimal(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.size() > 32) return std::nullopt;
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || std::fabs(value) > 1e9)
    return std::nullopt;
  return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator, size_t maxParts) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < maxParts) {
    size_t at = text.find(separator);
    if (at == std::string_view::npos) break;
    parts.push_back(text.substr(0, at));
    text.remove_prefix(at + 1);
  }
  parts.push_back(text);
  return parts;
}

namespace {
bool IsUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (more < 0) return false;
    for (int k = 1; k <= more; ++k)
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += static_cast<size_t>(more) + 1;
  }
  return true;
}

bool Ascii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}
}  // namespace

std::string Decode(std::string_view bytes, const char* codePage) {
  if (Ascii(bytes)) return std::string(bytes);
  if (std::optional<std::string> text = platform::DecodeToUtf8(bytes, codePage)) return std::move(*text);
  return ToUtf8Lenient(bytes);
}

std::string ToUtf8Lenient(std::string_view bytes) {
  if (IsUtf8(bytes)) return std::string(bytes);
  return Decode(bytes, "CP1252");
}

namespace {
// The size a PNG or BMP header gives, read before the decoder takes
// four bytes a pixel for it; 0 x 0 for other forms.
std::pair<long long, long long> HeaderSize(std::string_view b) {
  auto at = [&](size_t k) { return static_cast<long long>(static_cast<unsigned char>(b[k])); };
  if (b.size() >= 24 && b.substr(0, 8) == "\x89PNG\r\n\x1a\n")
    return {(at(16) << 24) | (at(17) << 16) | (at(18) << 8) | at(19),
            (at(20) << 24) | (at(21) << 16) | (at(22) << 8) | at(23)};
  if (b.size() >= 26 && b.substr(0, 2) == "BM") {
    const long long h = (at(25) << 24) | (at(24) << 16) | (at(23) << 8) | at(22);
    return {(at(21) << 24) | (at(20) << 16) | (at(19) << 8) | at(18), h >= (1LL << 31) ? (1LL << 32) - h : h};
  }
  if (b.size() >= 10 && (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a"))
    return {(at(7) << 8) | at(6), (at(9) << 8) | at(8)};
  // JPEG: the frame header (SOF0..SOF15 but DHT, JPG and DAC) after the markers before it.
  for (size_t k = 2; b.size() >= 4 && b.substr(0, 2) == "\xff\xd8" && k + 9 <= b.size();) {
    if (at(k) != 0xFF) break;
    const long long marker = at(k + 1);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
      return {(at(k + 7) << 8) | at(k + 8), (at(k + 5) << 8) | at(k + 6)};
    k += 2 + static_cast<size_t>((at(k + 2) << 8) | at(k + 3));
  }
  return {0, 0};
}
}  // namespace

namespace {
// The start of `text` up to `limit` bytes, not cutting a UTF-8 character.
std::string_view Start(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
  return text.substr(0, limit);
}
}  // namespace

std::string Quoted(std::string_view text) {
  if (text.size() <= 64) return "'" + std::string(text) + "'";
  return "'" + std::string(Start(text, 48)) + "\u2026' (" + std::to_string(text.size()) + " bytes)";
}

std::string Shortened(std::string text) {
  if (text.size() <= 512) return text;
  return std::string(Start(text, 400)) + "\u2026 (" + std::to_string(text.size()) + " bytes in all)";
}

long long RasterDots(const std::vector<Field>& fields) {
  long long dots = 0;
  for (const Field& f : fields)
    if (const auto* g = std::get_if<GraphicField>(&f))
      dots += static_cast<long long>(g->Dots.Width()) * g->Dots.Height();
  return dots;
}

BarcodeField Code128(int module, int barHeight, int textHeight, std::string data) {
  BarcodeField code;
  code.Name = "Code 128";
  code.Symbol.Symbology = core::Symbology::Code128;
  code.Symbol.Module = module;
  code.Symbol.BarHeight = barHeight;
  if (textHeight > 0) {
    code.Readable = 'B';
    code.TextHeight = textHeight;
    code.TextCell = true;
    // The data's bytes, Latin-1, as the line's text.
    for (unsigned char b : data) {
      if (b < 0x80) {
        code.ReadableText += static_cast<char>(b);
      } else {
        code.ReadableText += static_cast<char>(0xC0 | (b >> 6));
        code.ReadableText += static_cast<char>(0x80 | (b & 0x3F));
      }
    }
  }
  code.Data = std::move(data);
  return code;
}

BarcodeField QrCode(int module, char errorCorrection, std::string data) {
  BarcodeField qr;
  qr.Name = "QR code";
  qr.Symbol.Symbology = core::Symbology::QrCode;
  qr.Symbol.Module = module;
  qr.Symbol.Option1 = errorCorrection == 'L' ? 1 : errorCorrection == 'Q' ? 3 : errorCorrection == 'H' ? 4 : 2;
  qr.Data = std::move(data);
  return qr;
}

std::optional<core::Bitmap> DecodePicture(std::string_view bytes, std::string* why) {
  if (auto [w, h] = HeaderSize(bytes); w * h > Bounds::GraphicDots) {
    *why = "picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is more than a graphic may be (" +
           std::to_string(Bounds::GraphicDots) + " dots)";
    return std::nullopt;
  }
  // The platform's picture decoder, the one every driver uses.
  PictureRef picture = platform::Current().Images->Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (picture == nullptr) {
    *why = "not a picture that can be decoded";
    return std::nullopt;
  }
  const int w = picture->Width(), h = picture->Height();
  if (w < 1 || h < 1 || w > MaxLabelSide || h > MaxLabelSide || static_cast<long long>(w) * h > Bounds::GraphicDots) {
    *why = "picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is beyond what a label holds";
    return std::nullopt;
  }
  // Grey over white below the middle prints, as a thermal head thresholds.
  const std::vector<uint8_t>& rgba = picture->Rgba();
  core::Bitmap dots(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = rgba.data() + (static_cast<size_t>(y) * w + x) * 4;
      const int a = p[3];
      const int grey = (299 * p[0] + 587 * p[1] + 114 * p[2]) / 1000;
      const int over = (grey * a + 255 * (255 - a)) / 255;
      if (over < 128) dots.Set(x, y, true);
    }
  return dots;
}

int MmToDots(double mm, int dpi) { return static_cast<int>(std::lround(std::clamp(mm / 25.4 * dpi, -1e9, 1e9))); }

}  // namespace morvel::lang::detail

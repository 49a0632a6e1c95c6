#include "core/utf8.h"

#include <cstdint>

namespace morvel::core {

size_t Utf8SequenceAt(std::string_view s, char32_t* codePoint) {
  if (s.empty()) return 0;
  const auto c = static_cast<unsigned char>(s[0]);
  if (c < 0x80) {
    if (codePoint != nullptr) *codePoint = c;
    return 1;
  }
  size_t extra;
  uint32_t min, cp;
  if ((c & 0xE0) == 0xC0) {
    extra = 1, min = 0x80, cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2, min = 0x800, cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3, min = 0x10000, cp = c & 0x07;
  } else {
    return 0;
  }
  if (s.size() <= extra) return 0;
  for (size_t k = 1; k <= extra; ++k) {
    const auto t = static_cast<unsigned char>(s[k]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (t & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  if (codePoint != nullptr) *codePoint = cp;
  return extra + 1;
}

bool IsUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = Utf8SequenceAt(s.substr(i));
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string EscapeNonUtf8(std::string_view s) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (const size_t n = Utf8SequenceAt(s.substr(i)); n > 0) {
      out.append(s.substr(i, n));
      i += n;
      continue;
    }
    const auto c = static_cast<unsigned char>(s[i++]);
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace morvel::core

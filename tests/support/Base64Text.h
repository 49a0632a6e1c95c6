// Base64 (RFC 4648, with padding) written independently of the control's
// codec, for the tests and benchmarks that send documents to the bridge.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvel::testing {

inline std::string Base64Of(std::string_view bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
    out += digits[v >> 18];
    out += digits[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? digits[v & 63] : '=';
  }
  return out;
}

}  // namespace morvel::testing

// Case-insensitive comparison of text, the same on every system: Unicode
// through the system's ToLower, scheme and host names in ASCII.
#include "platform/text_case.h"

namespace morvel::text {

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && ToLower(a) == ToLower(b);
}

bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

bool StartsWithIgnoreCaseAscii(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCaseAscii(text.substr(0, prefix.size()), prefix);
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace morvel::text

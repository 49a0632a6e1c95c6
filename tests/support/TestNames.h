// Readable, stable names for parameterised cases: ctest shows each case as
// "Suite/Test.Name/NAME  # GetParam() = PRINTED", so both come from the
// case's own text, never from its bytes in memory.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace morvel::testing {

// Letters and digits stay; other ASCII becomes '_'; other UTF-16 units are
// written as U and four hex digits. "empty" for no text.
inline std::string Identifier(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x80) {
      out.push_back('_');
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "U%04X", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out.empty() ? "empty" : out;
}

inline std::string Identifier(std::string_view text) { return Identifier(std::u16string(text.begin(), text.end())); }

}  // namespace morvel::testing

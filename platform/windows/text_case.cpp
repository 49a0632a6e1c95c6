// Lower-casing as Windows lower-cases: LCMapStringW with the invariant
// locale, character for character, so a text keeps its length.
#include "platform/text_case.h"

#include "platform/windows/windows_adapters.h"

namespace morvel::text {

String ToLower(std::u16string_view s) {
  if (s.empty()) return String();
  std::wstring wide = platform::win::Wide(s);
  std::wstring lower(wide.size(), L'\0');
  int size = LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, wide.data(), static_cast<int>(wide.size()), lower.data(),
                          static_cast<int>(lower.size()));
  if (size != static_cast<int>(wide.size())) {
    // Never expected; ASCII lower-casing keeps names comparable all the same.
    String out(s);
    for (char16_t& c : out)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
  }
  return platform::win::FromWide(lower.data(), lower.size());
}

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

}  // namespace morvel::text

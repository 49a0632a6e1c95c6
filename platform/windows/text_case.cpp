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

}  // namespace morvel::text

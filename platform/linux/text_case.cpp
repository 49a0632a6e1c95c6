// Unicode lower-casing through the C library's UTF-8 character tables.
#include "platform/text_case.h"

#include <locale.h>
#include <wctype.h>

namespace morvel::text {
namespace {

locale_t Utf8Locale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

char32_t LowerOf(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  locale_t loc = Utf8Locale();
  if (loc == static_cast<locale_t>(nullptr)) return c;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
}

}  // namespace

String ToLower(std::u16string_view s) {
  String out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c < 0x80) {
      out.push_back((c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      char32_t lower = LowerOf(cp);
      if (lower < 0x10000) lower = cp;  // keep the length: astral letters stay astral
      lower -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (lower >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (lower & 0x3FF)));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back(c);
    } else {
      char32_t lower = LowerOf(c);
      out.push_back(lower < 0x10000 ? static_cast<char16_t>(lower) : c);
    }
  }
  return out;
}

}  // namespace morvel::text

#include "lang/Language.h"

#include "morvel/types.h"
#include "platform/text_case.h"

namespace morvel::lang {

std::vector<std::u16string> CatalogueParts(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string> parts;
  if (text.empty()) return parts;
  for (size_t start = 0;;) {
    const size_t at = text.find(separator, start);
    parts.emplace_back(text.substr(start, at == std::u16string_view::npos ? std::u16string_view::npos : at - start));
    if (at == std::u16string_view::npos) return parts;
    start = at + 1;
  }
}

std::optional<Brand> BrandOfEntry(std::u16string_view entry) {
  std::vector<std::u16string> parts = CatalogueParts(entry, u':');
  if (parts.size() < 2) return std::nullopt;
  return Brand{std::move(parts[0]), CatalogueParts(parts[1], u',')};
}

bool KeywordOccurs(std::u16string_view keyword, std::u16string_view lowerName) {
  return keyword.empty() ? !lowerName.empty() : lowerName.find(keyword) != std::u16string_view::npos;
}

std::optional<Language> LanguageOfBrand(std::u16string_view key) {
  if (key == u"orx") return Language::Tspl;
  if (key == u"zdesigner") return Language::Zpl;
  if (key == u"sato") return Language::Sbpl;
  return std::nullopt;
}

namespace {

bool HasDriver(std::u16string_view key) { return LanguageOfBrand(key) || key == VendorDrawnBrand; }

}  // namespace

PrinterLanguage LanguageOfPrinter(std::string_view printerName) {
  const String lower = text::ToLower(FromUtf8(printerName));
  // The default catalogue, entry by entry and keyword by keyword in its order.
  for (const std::u16string& entry : CatalogueParts(DefaultBrandTable, u'|')) {
    const std::optional<Brand> brand = BrandOfEntry(entry);
    if (!brand || !HasDriver(brand->Key)) continue;
    for (const std::u16string& keyword : brand->Keywords)
      if (KeywordOccurs(keyword, lower)) return {LanguageOfBrand(brand->Key), true};
  }
  struct Word {
    std::u16string_view Text;
    Language Speaks;
  };
  static constexpr Word words[] = {{u"zdesigner", Language::Zpl}, {u"zebra", Language::Zpl}, {u"zpl", Language::Zpl},
                                   {u"sato", Language::Sbpl},     {u"sbpl", Language::Sbpl}, {u"orx", Language::Tspl},
                                   {u"tspl", Language::Tspl}};
  for (const Word& word : words)
    if (lower.find(word.Text) != String::npos) return {word.Speaks, false};
  return {};
}

}  // namespace morvel::lang

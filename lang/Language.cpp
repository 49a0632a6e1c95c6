#include "lang/Language.h"

#include "morvel/types.h"
#include "platform/text_case.h"

namespace morvel::lang {

const char* NameOf(Language language) {
  switch (language) {
    case Language::Zpl: return "zpl";
    case Language::Sbpl: return "sbpl";
    case Language::Tspl: return "tspl";
  }
  return "?";
}

const char* TitleOf(Language language) {
  switch (language) {
    case Language::Zpl: return "ZPL";
    case Language::Sbpl: return "SBPL";
    case Language::Tspl: return "Orx";
  }
  return "?";
}

std::optional<Language> LanguageNamed(std::string_view name) {
  if (name == "zpl") return Language::Zpl;
  if (name == "sbpl") return Language::Sbpl;
  if (name == "tspl" || name == "orx") return Language::Tspl;
  return std::nullopt;
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
  std::u16string_view table = DefaultBrandTable;
  while (!table.empty()) {
    const size_t bar = table.find(u'|');
    std::u16string_view entry = table.substr(0, bar);
    table = bar == std::u16string_view::npos ? std::u16string_view() : table.substr(bar + 1);
    const size_t colon = entry.find(u':');
    const std::u16string_view key = entry.substr(0, colon);
    std::u16string_view keywords = entry.substr(colon + 1);
    if (!HasDriver(key)) continue;
    for (;;) {
      const size_t comma = keywords.find(u',');
      if (KeywordOccurs(keywords.substr(0, comma), lower)) return {LanguageOfBrand(key), true};
      if (comma == std::u16string_view::npos) break;
      keywords.remove_prefix(comma + 1);
    }
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

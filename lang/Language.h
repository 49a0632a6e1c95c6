// The printer languages Morvel writes and reads, and the one rule that tells
// a printer's language from its name: the control's catalogue of brands
// first (the rule SetPrint uses to choose a driver), then the languages' own
// words. `morvel status`, the control and the virtual printer all use it, so
// they cannot disagree about a printer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvel::lang {

enum class Language { Zpl, Sbpl, Tspl };
inline constexpr Language AllLanguages[] = {Language::Zpl, Language::Sbpl, Language::Tspl};

// "zpl", "sbpl", "tspl": the word of options, ports and job files.
const char* NameOf(Language language);
// "ZPL", "SBPL", "Orx": a job's language as it is shown (Orx printers speak
// their own TSPL dialect).
const char* TitleOf(Language language);
// zpl, sbpl, tspl, or orx for TSPL; none for any other word.
std::optional<Language> LanguageNamed(std::string_view name);

// The control's default catalogue: "key:keyword,keyword|..." (keywords
// matched in the lower-cased printer name, spaces included).
inline constexpr char16_t DefaultBrandTable[] = u"orx:orx |zdesigner:zdesigner |dothan:t7 ,t6 |sato:sato ";
// The parts of catalogue text between every `separator`; none for empty text.
std::vector<std::u16string> CatalogueParts(std::u16string_view text, char16_t separator);
// A catalogue entry, "key:keyword,keyword" (what follows a second ':' is not
// read); none without a ':'.
struct Brand {
  std::u16string Key;
  std::vector<std::u16string> Keywords;
};
std::optional<Brand> BrandOfEntry(std::u16string_view entry);
// Whether a catalogue keyword occurs in a lower-cased printer name; an empty
// keyword is found at the start of any non-empty name.
bool KeywordOccurs(std::u16string_view keyword, std::u16string_view lowerName);
// The brand whose driver draws through its vendor's library and so speaks
// none of these languages.
inline constexpr std::u16string_view VendorDrawnBrand = u"dothan";
// The language a brand of the catalogue speaks: orx TSPL, zdesigner ZPL,
// sato SBPL; none for dothan (its vendor's library draws) and unknown keys.
std::optional<Language> LanguageOfBrand(std::u16string_view key);

struct PrinterLanguage {
  std::optional<Language> Speaks;
  bool Catalogued = false;  // a brand of the catalogue matched (its driver prints)
};
// The printer's language from its name (UTF-8): the first brand of the
// default catalogue with a driver whose keyword occurs in the name, as
// SetPrint chooses; for a name no brand matches, a brand's or language's
// word anywhere in it: "zdesigner", "zebra", "zpl" (ZPL), "sato", "sbpl"
// (SBPL), "orx", "tspl" (TSPL), tried in that order.
PrinterLanguage LanguageOfPrinter(std::string_view printerName);

}  // namespace morvel::lang

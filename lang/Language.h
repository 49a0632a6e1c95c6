// The printer languages Morvel writes and reads. Which language a printer
// speaks is its brand's (drivers/Brands.h).
#pragma once

#include <optional>
#include <string_view>

// Every language, in the order jobs are told apart and choices listed:
// X(its identifier, the namespace of its folder lang/<folder>/). A language
// is added by its folder and its line here; the folder defines its row
// (Languages.h) and the reading half of it (Reading.h), which the lists of
// rows are made of.
#define MORVEL_LANGUAGES(X) \
  X(Zpl, zpl)               \
  X(Sbpl, sbpl)             \
  X(Tspl, tspl)             \
  X(Epl, epl)

namespace morvel::lang {

#define MORVEL_LANGUAGE_ID(id, folder) id,
enum class Language { MORVEL_LANGUAGES(MORVEL_LANGUAGE_ID) };
inline constexpr Language AllLanguages[] = {
#define MORVEL_LANGUAGE_ITEM(id, folder) Language::id,
    MORVEL_LANGUAGES(MORVEL_LANGUAGE_ITEM)
#undef MORVEL_LANGUAGE_ITEM
};
#undef MORVEL_LANGUAGE_ID

// "zpl", "sbpl", "tspl", "epl2": the word of options, ports and job files.
const char* NameOf(Language language);
// "ZPL", "SBPL", "Orx": a job's language as it is shown (Orx printers speak
// their own TSPL dialect).
const char* TitleOf(Language language);
// zpl, sbpl, tspl, or orx for TSPL; none for any other word.
std::optional<Language> LanguageNamed(std::string_view name);

}  // namespace morvel::lang

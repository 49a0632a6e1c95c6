// The printer languages Morvel writes and reads. Which language a printer
// speaks is its brand's (drivers/Brands.h).
#pragma once

#include <optional>
#include <string_view>

namespace morvel::lang {

enum class Language { Zpl, Sbpl, Tspl, Epl };
inline constexpr Language AllLanguages[] = {Language::Zpl, Language::Sbpl, Language::Tspl, Language::Epl};

// "zpl", "sbpl", "tspl", "epl2": the word of options, ports and job files.
const char* NameOf(Language language);
// "ZPL", "SBPL", "Orx": a job's language as it is shown (Orx printers speak
// their own TSPL dialect).
const char* TitleOf(Language language);
// zpl, sbpl, tspl, or orx for TSPL; none for any other word.
std::optional<Language> LanguageNamed(std::string_view name);

}  // namespace morvel::lang

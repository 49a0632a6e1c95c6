#include "lang/Languages.h"

#include <cctype>

namespace morvel::lang {

namespace {

// In the order jobs are told apart: ZPL's '^' and '~', SBPL's ESC A, then a
// command word of the Orx printers' table, last an EPL2 command.
const LanguageRow* const Rows[] = {
#define MORVEL_LANGUAGE_ROW(id, folder) &folder::Row,
    MORVEL_LANGUAGES(MORVEL_LANGUAGE_ROW)
#undef MORVEL_LANGUAGE_ROW
};

}  // namespace

std::span<const LanguageRow* const> LanguageRows() { return Rows; }

const LanguageRow& RowOf(Language language) {
  for (const LanguageRow* row : Rows)
    if (row->Id == language) return *row;
  return *Rows[0];  // every language has its row (the tests check)
}

std::optional<Language> JobLanguage(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[i]))) ++i;
  if (i >= bytes.size()) return std::nullopt;
  for (const LanguageRow* row : Rows)
    if (row->Starts(bytes.substr(i))) return row->Id;
  return std::nullopt;
}

const char* NameOf(Language language) { return RowOf(language).Name; }

const char* TitleOf(Language language) { return RowOf(language).Title; }

std::optional<Language> LanguageNamed(std::string_view name) {
  for (const LanguageRow* row : Rows)
    if (name == row->Name || name == row->Word) return row->Id;
  return std::nullopt;
}

std::vector<std::string_view> LanguageWords() {
  std::vector<std::string_view> words;
  for (const LanguageRow* row : Rows) words.push_back(row->Word);
  return words;
}

std::string LanguageTitles() {
  std::string text;
  for (size_t k = 0; k < std::size(Rows); ++k)
    text += std::string(k == 0 ? "" : k + 1 == std::size(Rows) ? " or " : ", ") + Rows[k]->Title;
  return text;
}

}  // namespace morvel::lang

// One row per printer language: its words, how a job in it starts, and its
// status table; with the reading half (Reading.h, where the readers are
// built) its reader and its raster writer. Preview, print, status, the
// printer-settings check and the command's options iterate these rows, so a
// language is added by its folder and its row, and nothing else switches
// on a language.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lang/Language.h"

namespace morvel::lang {

struct StatusLanguage;
struct TemplateRules;

// The commands of a language that set the printer itself up
// (lang/PrinterSettings.h), from its maker's guide: each family by the
// start of its command, upper case.
struct SettingFamily {
  std::string_view Name;
  std::string_view What;
};
struct SettingCommands {
  std::span<const SettingFamily> Families;
  // A command's name ends where its letters do (TSPL: NETWORK is not NET).
  bool WholeWords = false;
  // What a found command is shown after ("ESC " for SBPL's).
  const char* ShownAfter = "";
};

struct LanguageRow {
  Language Id;
  const char* Name;   // "zpl": the word of ports, job files and records
  const char* Title;  // "ZPL": a job's language as it is shown
  const char* Word;   // "zpl": the word `--language` takes ("orx" for the Orx printers' TSPL)
  // Whether a job in the language starts at `from` (its first bytes after
  // blanks, at least one).
  bool (*Starts)(std::string_view from);
  const StatusLanguage* Status;
  int EmulatorPort;  // where `morvel emulate` listens for it unless told
  const SettingCommands* Settings;
  // The job's id and name, as the language's status answer reports them;
  // null for a language whose answer has none.
  void (*JobMarks)(std::string_view job, std::string& id, std::string& name) = nullptr;
  // How a job in the language is a template of labels (lang/Template.h).
  const TemplateRules* Template = nullptr;
};

// Every language's row, in the order jobs are told apart and choices listed.
std::span<const LanguageRow* const> LanguageRows();
const LanguageRow& RowOf(Language language);

// A job's language from its first command (blanks before it passed over):
// the first row whose start it has; none for bytes no language starts so.
std::optional<Language> JobLanguage(std::string_view bytes);

// The words `--language` takes, in the rows' order: "zpl", "sbpl", "orx".
std::vector<std::string_view> LanguageWords();
// The languages as they are shown, in the rows' order, for messages:
// "ZPL, SBPL, Orx or EPL2".
std::string LanguageTitles();

// Each language's row (lang/<folder>/Row.cpp).
#define MORVEL_LANGUAGE_ROW(id, folder) \
  namespace folder {                    \
  extern const LanguageRow Row;         \
  }
MORVEL_LANGUAGES(MORVEL_LANGUAGE_ROW)
#undef MORVEL_LANGUAGE_ROW

}  // namespace morvel::lang

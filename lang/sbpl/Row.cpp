// SBPL's row: a job starts with ESC A, the start of its first label.
#include <algorithm>

#include "lang/Languages.h"
#include "lang/Status.h"
#include "lang/Template.h"

namespace morvel::lang::sbpl {

namespace {

bool Starts(std::string_view from) { return from.size() > 1 && from[0] == 0x1B && from[1] == 'A'; }

// Commands that set the printer up, from SATO's programming references
// ("WS4 Series Programming Reference", System: ESC PG and ESC PC "Register
// Printer Operation", kept in EEPROM; the CL "e" series reference: ESC WT
// "Calendar Set", ESC BJ TrueType font storage). Less certain, from older
// SATO references and still to be checked against a current guide: ESC LC
// custom protocol codes and the memory card commands ESC CC card slot,
// ESC &S store form overlay and ESC * clear memory. Shown after their ESC.
constexpr SettingFamily SettingFamilies[] = {
    {"PG", "register printer operation (kept in EEPROM)"},
    {"PC", "register printer operation (kept in EEPROM)"},
    {"LC", "custom protocol codes"},
    {"WT", "set the printer's clock"},
    {"BJ", "store a TrueType font"},
    {"CC", "memory card slot"},
    {"&S", "store a form overlay on the memory card"},
    {"*", "clear the printer's memory"},
};
const SettingCommands Settings{SettingFamilies, false, "ESC "};

// The job id (ESC ID nn) and job name (ESC WK name, at most 16 bytes) the
// status answer reports.
void JobMarks(std::string_view bytes, std::string& id, std::string& name) {
  size_t at = bytes.find("\x1bID");
  if (at != std::string_view::npos && at + 5 <= bytes.size()) id = bytes.substr(at + 3, 2);
  at = bytes.find("\x1bWK");
  if (at != std::string_view::npos) {
    const size_t end = bytes.find('\x1b', at + 3);
    name = bytes.substr(at + 3, std::min<size_t>(16, (end == std::string_view::npos ? bytes.size() : end) - at - 3));
  }
}

}  // namespace

extern const TemplateRules Templates;  // Template.cpp

const LanguageRow Row{Language::Sbpl, "sbpl", "SBPL", "sbpl", Starts, &Status, 9191, &Settings, JobMarks, &Templates};

}  // namespace morvel::lang::sbpl

// The Orx printers' TSPL dialect: a job starts with a command word of their
// table; shown as "Orx", the printers' name, and so chosen on the command
// line, while ports and files say "tspl".
#include <cctype>
#include <string>

#include "lang/Languages.h"
#include "lang/Status.h"
#include "lang/Template.h"
#include "lang/tspl/Commands.h"

namespace morvel::lang::tspl {

namespace {

bool Starts(std::string_view from) {
  std::string word;
  for (size_t k = 0; k < from.size() && std::isalpha(static_cast<unsigned char>(from[k])); ++k)
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(from[k])));
  return Find(word) != nullptr;
}

// Commands that set the printer up, from TSC's "TSPL/TSPL2 Programming
// Manual": file management (DOWNLOAD to flash "F,", MOVE, KILL, EOP, RUN),
// INITIALPRINTER (factory defaults), the network commands (NET, WLAN) and
// the SET commands that reconfigure the device itself (COM1, KEY, LED,
// PRINTKEY, REPRINT, COUNTER, HEAD, RIBBON, ENCODER, NET) rather than the
// label run (CUTTER, PEEL, TEAR, STRIPER, BACK, GAP are left alone: Morvel's
// own Orx jobs send SET TEAR OFF and SET STRIPER OFF). Whole words.
constexpr SettingFamily SettingFamilies[] = {
    {"INITIALPRINTER", "restore the factory settings"},
    {"DOWNLOAD F,", "store a file in flash memory"},
    {"MOVE", "move files into flash memory"},
    {"KILL", "delete files"},
    {"EOP", "end of a stored program"},
    {"RUN", "run a stored program"},
    {"NET", "network settings"},
    {"WLAN", "wireless settings"},
    {"SET COM1", "serial port settings"},
    {"SET KEY", "front panel keys"},
    {"SET LED", "front panel lights"},
    {"SET PRINTKEY", "print key"},
    {"SET REPRINT", "reprint after an error"},
    {"SET COUNTER", "counters"},
    {"SET HEAD", "print head check"},
    {"SET RIBBON", "ribbon sensor"},
    {"SET ENCODER", "ribbon encoder"},
    {"SET NET", "network settings"},
};
const SettingCommands Settings{SettingFamilies, true};

}  // namespace

extern const TemplateRules Templates;  // Template.cpp

const LanguageRow Row{Language::Tspl, "tspl", "Orx", "orx", Starts, &Status, 9192, &Settings, nullptr, &Templates};

}  // namespace morvel::lang::tspl

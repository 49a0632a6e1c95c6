// Zebra's EPL2: a job starts with a command of the guide's table, most
// often N after a line feed; shown as "EPL2", and "epl2" in ports, files
// and on the command line.
#include <cctype>

#include "lang/Languages.h"
#include "lang/Status.h"
#include "lang/Template.h"
#include "lang/epl/Commands.h"

namespace morvel::lang::epl {

namespace {

// The first command's name, then what the guide's syntax puts after a name
// ("Basic Command Syntax": parameters, digits first or a quoted name, or the
// line feed of a command without any). A name followed by a letter is
// another language's word (TSPL's CLS, SIZE), and the ^ and ! commands are
// left to ZPL and to Zebra's other languages, whose jobs start so.
bool Starts(std::string_view from) {
  const Command* c = At(from);
  if (c == nullptr || c->Name[0] == '^' || c->Name[0] == '!') return false;
  if (from.size() == c->Name.size()) return true;
  const auto next = static_cast<unsigned char>(from[c->Name.size()]);
  return std::isdigit(next) || next == '\r' || next == '\n' || next == ',' || next == '"';
}

// Commands that set the printer itself up, from the guide: the files it
// keeps (forms FS/FK, graphics GM/GK, soft fonts ES/EK), the serial port (Y),
// memory allocation (M), the real time clock (TS), factory defaults
// (^default) and the network and device settings of the SGD commands
// (! U1 setvar, ! U1 do). Upper case, as the check compares them.
constexpr SettingFamily SettingFamilies[] = {
    {"FS\"", "store a form"},
    {"FK\"", "delete forms"},
    {"GM\"", "store a graphic"},
    {"GK\"", "delete graphics"},
    {"ES\"", "store a soft font"},
    {"EK\"", "delete soft fonts"},
    {"Y", "serial port settings"},
    {"M", "memory allocation"},
    {"TS", "set the real time clock"},
    {"^DEFAULT", "restore the factory settings"},
    {"! U1 SETVAR", "printer and network settings (SGD)"},
    {"! U1 DO", "printer and network actions (SGD)"},
};
const SettingCommands Settings{SettingFamilies, false};

// The guide's error report (^ee, and the eR character with US error
// reporting) is sent back "via the RS-232 serial interface" only; no query
// of it answers over a network's raw port. So `morvel status` asks nothing
// of an EPL2 printer, and the virtual printer answers nothing.
constinit const StatusLanguage Status{{}, false, {}, {}};

}  // namespace

extern const TemplateRules Templates;  // Template.cpp

const LanguageRow Row{Language::Epl, "epl2", "EPL2", "epl2", Starts, &Status, 9193, &Settings, nullptr, &Templates};

}  // namespace morvel::lang::epl

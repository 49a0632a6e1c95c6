// ZPL's row: a job starts with a command's caret or tilde.
#include "lang/Languages.h"
#include "lang/Status.h"
#include "lang/Template.h"

namespace morvel::lang::zpl {

namespace {

bool Starts(std::string_view from) { return from[0] == '^' || from[0] == '~'; }

// Commands that set the printer up, from Zebra's "ZPL II Programming
// Guide": ^JU, ~JR, ~JB, ^KP, ^KN, ^KL, ^KC, ^MP, ^KV, ^JJ, ^SZ, ^SC, ^ST,
// ^SL, ^SO, ^SR, ^SS, ^SI, ~RO, ~KB, ^JI; the network commands ^NB ^ND ^NI
// ^NN ^NP ^NS ^NT ~NR ^NL ^SX and the wireless ^WA ^WE ^WI ^WL ^WP ^WR ^WS
// ^WX; and the object commands that write or remove the printer's files:
// ~DY (which also carries firmware and certificates), ~DB ~DS ~DT ~DU, ^ID,
// ~EG, ^TO. Label work that stores formats and graphics for the job (^DF,
// ~DG, ^IS) is left alone.
constexpr SettingFamily SettingFamilies[] = {
    {"^JU", "configuration update (factory defaults, saved or reloaded settings)"},
    {"~JR", "power-on reset"},
    {"~JB", "initialise flash memory"},
    {"^KP", "control panel password"},
    {"^KN", "printer name"},
    {"^KL", "display language"},
    {"^KC", "client identifier"},
    {"^MP", "mode protection"},
    {"^KV", "kiosk values"},
    {"^JJ", "auxiliary port"},
    {"^SZ", "ZPL mode"},
    {"^SC", "serial port settings"},
    {"^ST", "real-time clock"},
    {"^SL", "real-time clock mode"},
    {"^SO", "real-time clock offset"},
    {"^SR", "print head resistance"},
    {"^SS", "media sensor values"},
    {"^SI", "media sensor intensity"},
    {"~RO", "reset counters"},
    {"~KB", "kill battery"},
    {"^JI", "start the BASIC interpreter"},
    {"^NB", "network boot"},
    {"^ND", "network settings"},
    {"^NI", "network identifier"},
    {"^NN", "SNMP settings"},
    {"^NP", "primary network device"},
    {"^NS", "wired network settings"},
    {"^NT", "SMTP settings"},
    {"~NT", "SMTP settings"},
    {"~NR", "network printers transparent"},
    {"^NL", "network link"},
    {"^SX", "e-mail alerts"},
    {"^WA", "wireless antenna"},
    {"^WE", "wireless encryption"},
    {"^WI", "wireless IP settings"},
    {"^WL", "wireless LEAP settings"},
    {"^WP", "wireless password"},
    {"~WR", "reset the wireless card"},
    {"^WR", "wireless transmit rate"},
    {"^WS", "wireless radio settings"},
    {"^WX", "wireless security"},
    {"~DY", "download objects (files, fonts, firmware, certificates)"},
    {"~DB", "download a bitmap font"},
    {"~DS", "download a scalable font"},
    {"~DT", "download a TrueType font"},
    {"~DU", "download a TrueType font"},
    {"^ID", "delete objects from the printer's memory"},
    {"~EG", "erase the stored graphics"},
    {"^TO", "transfer objects between the printer's memories"},
};
const SettingCommands Settings{SettingFamilies};

}  // namespace

extern const TemplateRules Templates;  // Template.cpp

const LanguageRow Row{Language::Zpl, "zpl", "ZPL", "zpl", Starts, &Status, 9190, &Settings, nullptr, &Templates};

}  // namespace morvel::lang::zpl

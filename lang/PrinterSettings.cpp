// Which commands set the printer up, by language, from the makers' public
// programming guides:
//  - ZPL: Zebra's "ZPL II Programming Guide" (commands ^JU, ~JR, ~JB, ^KP,
//    ^KN, ^KL, ^KC, ^MP, ^KV, ^JJ, ^SZ, ^SC, ^ST, ^SL, ^SO, ^SR, ^SS, ^SI,
//    ~RO, ~KB, ^JI; the network commands ^NB ^ND ^NI ^NN ^NP ^NS ^NT
//    ~NR ^NL ^SX and the wireless ^WA ^WE ^WI ^WL ^WP ^WR ^WS ^WX; and the
//    object commands that write or remove the printer's files: ~DY (which
//    also carries firmware and certificates), ~DB ~DS ~DT ~DU, ^ID, ~EG, ^TO).
//    Label work that stores formats and graphics for the job (^DF, ~DG,
//    ^IS) is left alone.
//  - SBPL: SATO's programming references ("WS4 Series Programming
//    Reference", System: ESC PG and ESC PC "Register Printer Operation",
//    kept in EEPROM; the CL "e" series reference: ESC WT "Calendar Set",
//    ESC BJ TrueType font storage). Less certain, from older SATO
//    references and still to be checked against a current guide: ESC LC
//    custom protocol codes and the memory card commands ESC CC card slot,
//    ESC &S store form overlay and ESC * clear memory.
//  - TSPL (the Orx dialect): TSC's "TSPL/TSPL2 Programming Manual": file
//    management (DOWNLOAD to flash "F,", MOVE, KILL, EOP, RUN), INITIALPRINTER
//    (factory defaults), the network commands (NET, WLAN) and the SET
//    commands that reconfigure the device itself (COM1, KEY, LED,
//    PRINTKEY, REPRINT, COUNTER, HEAD, RIBBON, ENCODER, NET) rather than
//    the label run (CUTTER, PEEL, TEAR, STRIPER, BACK, GAP are left alone:
//    Morvel's own Orx jobs send SET TEAR OFF and SET STRIPER OFF).
#include "lang/PrinterSettings.h"

#include "lang/Reading.h"

#include <cctype>

#include "lang/Label.h"

namespace morvel::lang {
namespace {

struct Family {
  std::string_view Name;  // the command's start, upper case
  std::string_view What;
};

constexpr Family ZplFamilies[] = {
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

constexpr Family SbplFamilies[] = {
    {"PG", "register printer operation (kept in EEPROM)"},
    {"PC", "register printer operation (kept in EEPROM)"},
    {"LC", "custom protocol codes"},
    {"WT", "set the printer's clock"},
    {"BJ", "store a TrueType font"},
    {"CC", "memory card slot"},
    {"&S", "store a form overlay on the memory card"},
    {"*", "clear the printer's memory"},
};

constexpr Family TsplFamilies[] = {
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

// The command's text, upper case, blanks between words made one and none
// after a comma, so "set  com1" and "DOWNLOAD f, " read alike.
std::string Normal(std::string_view command) {
  std::string out;
  for (char c : command) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r' || c == '\n') break;
    if (std::isspace(u)) {
      if (!out.empty() && out.back() != ' ' && out.back() != ',') out += ' ';
      continue;
    }
    if (c == ',' && !out.empty() && out.back() == ' ') out.pop_back();
    out += static_cast<char>(std::toupper(u));
  }
  return out;
}

const Family* Matching(std::string_view command, Language language) {
  const std::string text = Normal(command);
  auto match = [&](const auto& families) -> const Family* {
    for (const Family& f : families) {
      if (!text.starts_with(f.Name)) continue;
      // A TSPL word ends where its letters do: NETWORK is not NET, nor SET
      // HEADER SET HEAD, while SET KEY1 is SET KEY.
      const bool word = language == Language::Tspl && std::isalpha(static_cast<unsigned char>(f.Name.back()));
      if (word && text.size() > f.Name.size() && std::isalpha(static_cast<unsigned char>(text[f.Name.size()])))
        continue;
      return &f;
    }
    return nullptr;
  };
  switch (language) {
    case Language::Zpl: return match(ZplFamilies);
    case Language::Sbpl: return match(SbplFamilies);
    case Language::Tspl: return match(TsplFamilies);
  }
  return nullptr;
}

}  // namespace

std::optional<PrinterSetting> FirstPrinterSetting(std::string_view job, Language language) {
  std::optional<PrinterSetting> found;
  const std::function<void(Label &&)> drop = [](Label&&) {};
  const CommandSeen seen = [&](std::string_view command, size_t offset) {
    if (found) return;
    if (const Family* family = Matching(command, language)) {
      std::string shown = Normal(command).substr(0, 16);
      if (language == Language::Sbpl) shown = "ESC " + shown;
      found = PrinterSetting{shown, std::string(family->What), offset};
    }
  };
  try {
    ReadingOf(language).Read(job, 203, drop, seen);
  } catch (const MalformedJob& e) {
    if (!found)
      found = PrinterSetting{"", std::string("the job cannot be read to its end (") + e.what() + ")", e.Offset()};
  }
  return found;
}

}  // namespace morvel::lang

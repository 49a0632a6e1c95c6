// The commands of a job that set the printer itself up rather than print
// labels: factory defaults and saved settings, network and interfaces,
// firmware and the files a printer keeps. What a printer administrator
// may want kept from the jobs web pages pass through (morvel serve's
// --refuse-printer-settings); the control and the command line send them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lang/Language.h"

namespace morvel::lang {

struct PrinterSetting {
  std::string Command;  // as the job wrote it, shortened: ^JUF, ~JR, ESC PG, SET COM1
  std::string What;     // the family, in words: "configuration update (factory defaults, saved settings)"
  size_t Offset = 0;
};

// The first printer-configuration command of `job`, found by the language's
// reader command by command (so field data, counted graphics and comments
// are never taken for commands); none when the job has none. A job its
// reader cannot read to the end is answered with a PrinterSetting whose
// What says so (its commands cannot be told from its data), Command empty.
std::optional<PrinterSetting> FirstPrinterSetting(std::string_view job, Language language);

}  // namespace morvel::lang

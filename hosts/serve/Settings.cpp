// The bridge's refusal of printer-configuration commands in the jobs pages
// pass through (--refuse-printer-settings).
#include "hosts/serve/Settings.h"

#include <string>

#include "morvel/types.h"
#ifndef MORVEL_SERVE_NO_PREVIEW
#include "lang/PrinterSettings.h"
#endif

namespace morvel::serve {

// With --refuse-printer-settings: a job in a printer's own language that a
// page passes through may hold no command that sets the printer itself up
// (its reader finds them; see lang/PrinterSettings.h).
void RefusePrinterSettings(std::string_view job, lang::Language language) {
  const std::string refused =
      "Permission denied: this bridge passes no printer-configuration command from pages (--refuse-printer-settings)";
#ifdef MORVEL_SERVE_NO_PREVIEW
  (void)job;
  (void)language;
  throw AutomationError(errors::PermissionDenied, refused + ", and this build cannot read jobs to tell them");
#else
  const auto found = lang::FirstPrinterSetting(job, language);
  if (!found) return;
  if (found->Command.empty()) throw AutomationError(errors::PermissionDenied, refused + "; " + found->What);
  throw AutomationError(errors::PermissionDenied, refused + "; the job holds " + found->Command + " (" + found->What +
                                                      ") at offset " + std::to_string(found->Offset));
#endif
}

}  // namespace morvel::serve

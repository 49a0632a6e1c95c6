// What pages may pass through to a printer in its own language.
#pragma once

#include <optional>
#include <string_view>

#include "lang/Language.h"

namespace morvel::serve {

// Raises error 70 naming the first printer-configuration command of `job`
// (see lang/PrinterSettings.h), or when the job cannot be read to tell; on
// a build without the readers (Windows), for every job.
void RefusePrinterSettings(std::string_view job, lang::Language language);

}  // namespace morvel::serve

// Whole pages of dots through the Dothan drawing library, for a document
// printed on a Dothan printer (print/): the brand's way to print a page,
// since its printers take no bytes of a language.
#pragma once

#include <string>

#include "drivers/Brands.h"

namespace morvel::dothan {

// One page as a job of the label's size holding the page's dots, which the
// library draws back at the page's resolution. False when the library
// refused it (its log says why); BindingFailure when it cannot be reached.
bool PrintPage(const std::string& printerName, const std::string& jobName, const drivers::DotsPage& page);

}  // namespace morvel::dothan

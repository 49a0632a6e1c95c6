// `morvel status`: the installed printers' real state, one line each.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace morvel::cli {

// Arguments after the word status; returns the exit status (0, 4, or 1).
int StatusMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace morvel::cli

// The Orx printers' TSPL dialect: a job starts with a command word of their
// table; shown as "Orx", the printers' name, and so chosen on the command
// line, while ports and files say "tspl".
#include <cctype>
#include <string>

#include "lang/Languages.h"
#include "lang/Status.h"
#include "lang/tspl/Commands.h"

namespace morvel::lang::tspl {

namespace {

bool Starts(std::string_view from) {
  std::string word;
  for (size_t k = 0; k < from.size() && std::isalpha(static_cast<unsigned char>(from[k])); ++k)
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(from[k])));
  return Find(word) != nullptr;
}

}  // namespace

const LanguageRow Row{Language::Tspl, "tspl", "Orx", "orx", Starts, &Status, 9192};

}  // namespace morvel::lang::tspl

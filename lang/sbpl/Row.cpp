// SBPL's row: a job starts with ESC A, the start of its first label.
#include "lang/Languages.h"
#include "lang/Status.h"

namespace morvel::lang::sbpl {

namespace {

bool Starts(std::string_view from) { return from.size() > 1 && from[0] == 0x1B && from[1] == 'A'; }

}  // namespace

const LanguageRow Row{Language::Sbpl, "sbpl", "SBPL", "sbpl", Starts, &Status, 9191};

}  // namespace morvel::lang::sbpl

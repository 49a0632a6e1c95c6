// ZPL's row: a job starts with a command's caret or tilde.
#include "lang/Languages.h"
#include "lang/Status.h"

namespace morvel::lang::zpl {

namespace {

bool Starts(std::string_view from) { return from[0] == '^' || from[0] == '~'; }

}  // namespace

const LanguageRow Row{Language::Zpl, "zpl", "ZPL", "zpl", Starts, &Status, 9190};

}  // namespace morvel::lang::zpl

// The Orx command table: see Commands.h.
#include "lang/tspl/Commands.h"

namespace morvel::lang::tspl {

#define MORVEL_TSPL_DEFINE(id, word, syntax, role, what) const Command id{word, Syntax::syntax, Role::role, what};
MORVEL_TSPL_COMMANDS(MORVEL_TSPL_DEFINE)
#undef MORVEL_TSPL_DEFINE

namespace {

#define MORVEL_TSPL_ADDRESS(id, word, syntax, role, what) &id,
const Command* const Table[] = {MORVEL_TSPL_COMMANDS(MORVEL_TSPL_ADDRESS)};
#undef MORVEL_TSPL_ADDRESS

}  // namespace

std::span<const Command* const> Commands() { return Table; }

const Command* Find(std::string_view word) {
  for (const Command* c : Table)
    if (c->Word == word) return c;
  return nullptr;
}

}  // namespace morvel::lang::tspl

// The SBPL command table: see Commands.h.
#include "lang/sbpl/Commands.h"

namespace morvel::lang::sbpl {

#define MORVEL_SBPL_DEFINE(id, name, syntax, role, what) const Command id{name, Syntax::syntax, Role::role, what};
MORVEL_SBPL_COMMANDS(MORVEL_SBPL_DEFINE)
#undef MORVEL_SBPL_DEFINE

namespace {

#define MORVEL_SBPL_ADDRESS(id, name, syntax, role, what) &id,
const Command* const Table[] = {MORVEL_SBPL_COMMANDS(MORVEL_SBPL_ADDRESS)};
#undef MORVEL_SBPL_ADDRESS

}  // namespace

std::span<const Command* const> Commands() { return Table; }

const Command* Find(std::string_view text) {
  for (const Command* c : Table)
    if (text.substr(0, c->Name.size()) == c->Name) return c;
  return nullptr;
}

}  // namespace morvel::lang::sbpl

// The EPL2 command table: see Commands.h.
#include "lang/epl/Commands.h"

namespace morvel::lang::epl {

#define MORVEL_EPL_DEFINE(id, name, syntax, role, what) const Command id{name, Syntax::syntax, Role::role, what};
MORVEL_EPL_COMMANDS(MORVEL_EPL_DEFINE)
#undef MORVEL_EPL_DEFINE

namespace {

#define MORVEL_EPL_ADDRESS(id, name, syntax, role, what) &id,
const Command* const Table[] = {MORVEL_EPL_COMMANDS(MORVEL_EPL_ADDRESS)};
#undef MORVEL_EPL_ADDRESS

}  // namespace

std::span<const Command* const> Commands() { return Table; }

const Command* At(std::string_view line) {
  const Command* found = nullptr;
  for (const Command* c : Table)
    if (line.starts_with(c->Name) && (found == nullptr || c->Name.size() > found->Name.size())) found = c;
  return found;
}

}  // namespace morvel::lang::epl

// The ZPL command table: see Commands.h.
#include "lang/zpl/Commands.h"

#include <array>

namespace morvel::lang::zpl {

#define MORVEL_ZPL_F Prefix::Format
#define MORVEL_ZPL_C Prefix::Control
#define MORVEL_ZPL_E Prefix::Either
#define MORVEL_ZPL_DEFINE(name, prefixes, syntax, role, what) \
  const Command name{MORVEL_ZPL_##prefixes, #name, Syntax::syntax, Role::role, what};
MORVEL_ZPL_COMMANDS(MORVEL_ZPL_DEFINE)
#undef MORVEL_ZPL_DEFINE
#undef MORVEL_ZPL_F
#undef MORVEL_ZPL_C
#undef MORVEL_ZPL_E

namespace {

#define MORVEL_ZPL_ADDRESS(name, prefixes, syntax, role, what) &name,
const Command* const Table[] = {MORVEL_ZPL_COMMANDS(MORVEL_ZPL_ADDRESS)};
#undef MORVEL_ZPL_ADDRESS

}  // namespace

std::span<const Command* const> Commands() { return Table; }

const Command* Find(char first, char second) {
  if (first == 'A') return &A;
  // The letters as an index: each command is one look-up, as a label of a
  // few hundred commands asks for each.
  static const auto index = [] {
    std::array<const Command*, 128 * 128> byLetters{};
    for (const Command* c : Table)
      if (c->Name.size() == 2 && byLetters[c->Name[0] * 128 + c->Name[1]] == nullptr)
        byLetters[c->Name[0] * 128 + c->Name[1]] = c;
    return byLetters;
  }();
  const auto a = static_cast<unsigned char>(first), b = static_cast<unsigned char>(second);
  return a < 128 && b < 128 ? index[a * 128 + b] : nullptr;
}

}  // namespace morvel::lang::zpl

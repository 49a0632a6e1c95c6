// Writing SBPL: ESC, a command of the table (Commands.h) and its parameters,
// as the SATO driver composes labels in the host's text (UTF-16).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "lang/sbpl/Commands.h"

namespace morvel::lang::sbpl {

constexpr char16_t Esc = u'\x1B';

// Appends ESC, the command's name and the parts of its parameters as they
// are: Put(out, Horizontal, {u"120"}) is ESC H120.
void Put(std::u16string& out, const Command& command, std::initializer_list<std::u16string_view> parts = {});

// The same as a new text.
std::u16string Text(const Command& command, std::initializer_list<std::u16string_view> parts = {});

}  // namespace morvel::lang::sbpl

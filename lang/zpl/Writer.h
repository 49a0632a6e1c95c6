// Writing ZPL: a command of the table (Commands.h) with its parameters, as
// the drivers compose labels. Text is the host's (UTF-16); the driver turns
// the whole label into the printer's code page when it sends it.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "lang/zpl/Commands.h"

namespace morvel::lang::zpl {

// Appends the command with its prefix (^ for a format command, else ~) and
// its parameters joined by commas: Put(out, FO, {u"10", u"20"}) is ^FO10,20.
void Put(std::u16string& out, const Command& command, std::initializer_list<std::u16string_view> params = {});

// Appends a font command, ^A and the font's letter, then its parameters:
// PutFont(out, u'@', {u"N", u"30", u"30", u"E:ARIAL.TTF"}) is ^A@N,30,30,E:ARIAL.TTF.
void PutFont(std::u16string& out, char16_t font, std::initializer_list<std::u16string_view> params);

}  // namespace morvel::lang::zpl

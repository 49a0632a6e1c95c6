// Writing the Orx command language: a command of the table (Commands.h), a
// blank and its fields joined by commas, in bytes (orxlib) or in the host's
// text (the Orx driver). The line end is the sender's.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "lang/tspl/Commands.h"

namespace morvel::lang::tspl {

// Line(Bar, {"10", "20", "100", "2"}) is "BAR 10,20,100,2"; a command
// without fields is its word alone.
template <class Char>
std::basic_string<Char> Line(const Command& command, std::initializer_list<std::basic_string_view<Char>> fields = {}) {
  std::basic_string<Char> out(command.Word.begin(), command.Word.end());
  Char separator = static_cast<Char>(' ');
  for (std::basic_string_view<Char> f : fields) {
    out += separator;
    out += f;
    separator = static_cast<Char>(',');
  }
  return out;
}

// The header of a counted command, its fields each followed by a comma, the
// data to follow: Header(Bitmap, {"10", "20", "2", "16", "1"}) is "BITMAP 10,20,2,16,1,".
inline std::string Header(const Command& command, std::initializer_list<std::string_view> fields) {
  std::string out = Line<char>(command, fields);
  out += ',';
  return out;
}

}  // namespace morvel::lang::tspl

// Writing SBPL commands: see Writer.h.
#include "lang/sbpl/Writer.h"

namespace morvel::lang::sbpl {

void Put(std::u16string& out, const Command& command, std::initializer_list<std::u16string_view> parts) {
  out += Esc;
  for (char c : command.Name) out += static_cast<char16_t>(c);
  for (std::u16string_view p : parts) out += p;
}

std::u16string Text(const Command& command, std::initializer_list<std::u16string_view> parts) {
  std::u16string out;
  Put(out, command, parts);
  return out;
}

}  // namespace morvel::lang::sbpl

// Writing ZPL commands: see Writer.h.
#include "lang/zpl/Writer.h"

namespace morvel::lang::zpl {
namespace {

void Join(std::u16string& out, std::initializer_list<std::u16string_view> params) {
  bool first = true;
  for (std::u16string_view p : params) {
    if (!first) out += u',';
    out += p;
    first = false;
  }
}

}  // namespace

void Put(std::u16string& out, const Command& command, std::initializer_list<std::u16string_view> params) {
  out += (static_cast<int>(command.Prefixes) & 1) ? u'^' : u'~';
  for (char c : command.Name) out += static_cast<char16_t>(c);
  Join(out, params);
}

void PutFont(std::u16string& out, char16_t font, std::initializer_list<std::u16string_view> params) {
  out += u"^A";
  out += font;
  Join(out, params);
}

}  // namespace morvel::lang::zpl

// EPL2 as a template: a value in a quoted string has its backslashes and
// double quotes escaped, \\ and \" (EPL2 Programming Guide, A command:
// "use \\ to print a backslash, \" to print a double quote"); a command
// ends at its line's end, so no value holds a line break or another
// control character; among the parameters a value holds no quote or comma.
#include "lang/Template.h"

namespace morvel::lang::epl {
namespace {

void Place(std::string_view job, size_t at, SlotPlace& place) {
  const size_t line = job.rfind('\n', at == 0 ? 0 : at - 1);
  bool inside = false;
  for (size_t k = line == std::string_view::npos ? 0 : line + 1; k < at; ++k) {
    if (inside && job[k] == '\\') {
      ++k;  // \" and \\ stay inside the string
      continue;
    }
    if (job[k] == '"') inside = !inside;
  }
  place.InText = inside;
}

bool Take(const SlotPlace& place, std::string_view value, std::string& out, std::string& why) {
  for (char c : value) {
    const bool control = static_cast<unsigned char>(c) < 0x20;
    if (control || (!place.InText && (c == '"' || c == ','))) {
      why = place.InText ? "a value in an EPL2 string cannot hold a line break or another control character"
                         : "a value among an EPL2 command's parameters cannot hold a quote, a comma or a control "
                           "character";
      return false;
    }
  }
  for (char c : value) {
    if (place.InText && (c == '"' || c == '\\')) out += '\\';
    out += c;
  }
  return true;
}

}  // namespace

extern const TemplateRules Templates{Place, Take};

}  // namespace morvel::lang::epl

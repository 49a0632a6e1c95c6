// TSPL as a template: a value in a quoted string has its double quotes
// written \["] (TSPL/TSPL2 Programming Manual, TEXT: "\["] for double
// quote"); a command ends at its line's end, so no value holds a line
// break or another control character; among the parameters a value holds
// no quote or comma either.
#include <algorithm>

#include "lang/Template.h"

namespace morvel::lang::tspl {
namespace {

constexpr std::string_view Quote = "\\[\"]";

void Place(std::string_view job, size_t at, SlotPlace& place) {
  const size_t line = job.rfind('\n', at == 0 ? 0 : at - 1);
  size_t k = line == std::string_view::npos ? 0 : line + 1;
  bool inside = false;
  while (k < at) {
    if (job.substr(k, Quote.size()) == Quote) {
      k += Quote.size();
      continue;
    }
    if (job[k] == '"') inside = !inside;
    ++k;
  }
  place.InText = inside;
}

bool Take(const SlotPlace& place, std::string_view value, std::string& out, std::string& why) {
  for (char c : value) {
    const bool control = static_cast<unsigned char>(c) < 0x20;
    if (control || (!place.InText && (c == '"' || c == ','))) {
      why = place.InText ? "a value in a TSPL string cannot hold a line break or another control character"
                         : "a value among a TSPL command's parameters cannot hold a quote, a comma or a control "
                           "character";
      return false;
    }
  }
  for (char c : value) {
    if (c == '"')
      out += Quote;
    else
      out += c;
  }
  return true;
}

}  // namespace

extern const TemplateRules Templates{Place, Take};

}  // namespace morvel::lang::tspl

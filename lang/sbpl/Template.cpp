// SBPL as a template: a command's data runs to the next ESC, so a value
// may hold no ESC nor any other control character (STX and ETX frame the
// job); everything else goes in as it is.
#include <algorithm>

#include "lang/Template.h"

namespace morvel::lang::sbpl {
namespace {

void Place(std::string_view, size_t, SlotPlace& place) { place.InText = true; }

bool Take(const SlotPlace&, std::string_view value, std::string& out, std::string& why) {
  const bool bad =
      std::any_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
  if (bad) {
    why = "a value in an SBPL job cannot hold ESC or another control character";
    return false;
  }
  out += value;
  return true;
}

}  // namespace

extern const TemplateRules Templates{Place, Take};

}  // namespace morvel::lang::sbpl

// ZPL as a template: a value in field data (^FD, ^FV) goes in through the
// field's ^FH hexadecimal escapes (ZPL II Programming Guide, ^FH: "the
// indicator followed by the two hexadecimal digits of the character"), so
// a ^ or ~ of the data is printed, never obeyed; the field is given ^FH,
// with an indicator its own text does not use, when it has none. Among a
// command's parameters a value may hold no ^, ~, comma or control
// character. A template that moves the prefixes or the delimiter (^CC,
// ^CT, ^CD) is refused: what is data and what is a command would then be
// the template's secret.
#include <algorithm>
#include <cctype>

#include "lang/Template.h"

namespace morvel::lang::zpl {
namespace {

// The last place of the command (letters in either case) at or before `to`.
size_t LastOf(std::string_view job, std::string_view command, size_t to) {
  size_t best = std::string_view::npos;
  for (size_t k = 0; k + command.size() <= to; ++k) {
    bool same = true;
    for (size_t i = 0; i < command.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(job[k + i])) == command[i];
    if (same) best = k;
  }
  return best;
}

size_t Later(size_t a, size_t b) {
  if (a == std::string_view::npos) return b;
  if (b == std::string_view::npos) return a;
  return std::max(a, b);
}

void Place(std::string_view job, size_t at, SlotPlace& place) {
  for (std::string_view moved : {"^CC", "~CC", "^CT", "~CT", "^CD", "~CD"})
    if (LastOf(job, moved, job.size()) != std::string_view::npos)
      throw TemplateError("the template changes ZPL's prefix or delimiter (" + std::string(moved) +
                          "), which a template may not");
  const size_t data = Later(LastOf(job, "^FD", at), LastOf(job, "^FV", at));
  const size_t ended = Later(Later(LastOf(job, "^FS", at), LastOf(job, "^XA", at)), LastOf(job, "^XZ", at));
  if (data == std::string_view::npos || (ended != std::string_view::npos && ended > data)) return;
  place.InText = true;
  // The field: from the command that ended the one before, to the ^FS after.
  const size_t start = ended == std::string_view::npos ? 0 : ended;
  const size_t hex = LastOf(job.substr(0, data), "^FH", data);
  if (hex != std::string_view::npos && hex >= start) {
    const char c = hex + 3 < job.size() ? job[hex + 3] : '^';
    place.Indicator = c == '^' || c == '~' || c == ',' ? '_' : c;
    return;
  }
  size_t end = job.size();
  for (size_t k = at; k + 3 <= job.size(); ++k)
    if (job[k] == '^' && std::toupper(static_cast<unsigned char>(job[k + 1])) == 'F' &&
        std::toupper(static_cast<unsigned char>(job[k + 2])) == 'S') {
      end = k;
      break;
    }
  const std::string_view text = job.substr(data + 3, end - data - 3);
  for (char c : std::string_view("_#|`!")) {
    if (text.find(c) != std::string_view::npos) continue;
    place.Indicator = c;
    place.InsertAt = data;
    place.Insert = std::string("^FH") + c;
    return;
  }
  throw TemplateError("the field of the placeholder at byte " + std::to_string(at + 1) +
                      " uses every character ^FH could escape with (_ # | ` !)");
}

bool Take(const SlotPlace& place, std::string_view value, std::string& out, std::string& why) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  if (!place.InText) {
    const bool bad = std::any_of(value.begin(), value.end(), [](char c) {
      return c == '^' || c == '~' || c == ',' || static_cast<unsigned char>(c) < 0x20;
    });
    if (bad) {
      why = "a value among a ZPL command's parameters cannot hold ^, ~, a comma or a control character";
      return false;
    }
    out += value;
    return true;
  }
  for (char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (c == place.Indicator || c == '^' || c == '~' || u < 0x20) {
      out += place.Indicator;
      out += Hex[u >> 4];
      out += Hex[u & 15];
    } else {
      out += c;
    }
  }
  return true;
}

}  // namespace

extern const TemplateRules Templates{Place, Take};

}  // namespace morvel::lang::zpl

#include "lang/Status.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "lang/Languages.h"
#include "lang/StatusText.h"

namespace morvel::lang {

const StatusLanguage& StatusOf(Language language) { return *RowOf(language).Status; }

std::vector<std::string> NamesOf(const std::vector<Reason>& reasons) {
  std::vector<std::string> names;
  for (Reason r : reasons) names.emplace_back(NameOf(r));
  return names;
}

void AddReason(std::vector<Reason>& reasons, Reason reason) {
  if (std::find(reasons.begin(), reasons.end(), reason) == reasons.end()) reasons.push_back(reason);
}

std::string StateFor(const std::vector<Reason>& reasons, const std::string& fallback) {
  const bool stops = std::any_of(reasons.begin(), reasons.end(), [](Reason r) { return WeightOf(r) == Weight::Stops; });
  return stops ? "stopped" : fallback;
}

namespace answer_text {

size_t FrameEnd(std::string_view b, size_t from, bool wantLineEnd) {
  size_t stx = b.find(Stx, from);
  if (stx == std::string_view::npos) {
    // Bytes that never start a frame: a long run of them is no answer.
    return b.size() - from > 512 ? b.size() : 0;
  }
  size_t etx = b.find(Etx, stx + 1);
  if (etx == std::string_view::npos) return b.size() - stx > 4096 ? b.size() : 0;
  if (!wantLineEnd) return etx + 1;
  if (etx + 2 < b.size() && b[etx + 1] == '\r' && b[etx + 2] == '\n') return etx + 3;
  if (etx + 1 < b.size() && b[etx + 1] != '\r') return etx + 1;
  if (etx + 2 < b.size() && b[etx + 2] != '\n') return etx + 2;
  return 0;  // the line end is on its way
}

std::vector<std::string_view> Frames(std::string_view b) {
  std::vector<std::string_view> frames;
  size_t at = 0;
  while ((at = b.find(Stx, at)) != std::string_view::npos) {
    size_t etx = b.find(Etx, at + 1);
    if (etx == std::string_view::npos) break;
    frames.push_back(b.substr(at + 1, etx - at - 1));
    at = etx + 1;
  }
  return frames;
}

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    out.push_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

bool Digits(std::string_view text, size_t length) {
  return text.size() == length &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool Flag(std::string_view text, bool& on) {
  if (text != "0" && text != "1") return false;
  on = text == "1";
  return true;
}

std::string ZeroPadded(long value, int width) {
  const long top = static_cast<long>(std::pow(10, width)) - 1;
  char text[32];
  std::snprintf(text, sizeof text, "%0*ld", width, std::clamp(value, 0L, top));
  return text;
}

}  // namespace answer_text
}  // namespace morvel::lang

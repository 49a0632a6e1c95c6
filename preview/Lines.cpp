// Lines of text fields: UTF-8 split into characters, and a field block's
// text laid out in lines as the ZPL II programming guide's ^FB describes.
#include "preview/Lines.h"

#include <algorithm>

#include "render/Symbols.h"

namespace morvel::preview {

// UTF-8 split into characters.
std::vector<std::string> Characters(const std::string& utf8) {
  std::vector<std::string> out;
  for (size_t k = 0; k < utf8.size();) {
    size_t n = 1;
    const auto c = static_cast<unsigned char>(utf8[k]);
    if (c >= 0xF0)
      n = 4;
    else if (c >= 0xE0)
      n = 3;
    else if (c >= 0xC0)
      n = 2;
    out.push_back(utf8.substr(k, n));
    k += n;
  }
  return out;
}

std::string WithoutSoftHyphens(std::string s) {
  for (size_t at; (at = s.find(SoftHyphen)) != std::string::npos;) s.erase(at, SoftHyphen.size());
  return s;
}

// A field block's lines, as the guide's comments on ^FB lay them out: a line
// feed (the reader's \&) ends a paragraph; lines wrap at spaces within the
// block's width (less the hanging indent after the first line), spaces at a
// break dropped; a word that does not fit may break at a soft hyphen with a
// dash, and one "too long to print on one line by itself" is hyphenated "at
// the right edge of the block". `wrapped`: the lines a paragraph goes on after.
void WrapBlock(const std::string& text, const core::TextLook& look, const lang::TextField& t,
               std::vector<std::string>& lines, std::vector<bool>& wrapped) {
  auto width = [&](const std::string& s) {
    const std::string shown = WithoutSoftHyphens(s);
    return render::TextWidth(shown, look) + t.Gap * static_cast<int>(Characters(shown).size());
  };
  auto room = [&] { return t.BlockWidth - (lines.empty() ? 0 : t.HangingIndent); };
  auto push = [&](std::string line, bool goesOn) {
    line = WithoutSoftHyphens(std::move(line));
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(std::move(line));
    wrapped.push_back(goesOn);
  };
  // The longest head of `word` that fits after `before` with a dash, up to a
  // soft hyphen or (`anywhere`) any character; 0: none. Heads only grow.
  auto head = [&](const std::string& before, const std::string& word, bool anywhere) {
    size_t best = 0, at = 0;
    const auto chars = Characters(word);
    for (size_t k = 0; k + 1 < chars.size(); ++k) {
      at += chars[k].size();
      if (chars[k] == SoftHyphen) continue;
      if (!anywhere && word.compare(at, SoftHyphen.size(), SoftHyphen) != 0) continue;
      if (width(before + word.substr(0, at) + "-") > room()) break;
      best = at;
    }
    return best;
  };
  for (size_t p = 0;;) {
    const size_t end = std::min(text.find('\n', p), text.size());
    const std::string para = text.substr(p, end - p);
    std::string current;
    for (size_t k = 0;;) {
      const size_t sp = std::min(para.find(' ', k), para.size());
      std::string word = para.substr(k, sp - k);
      auto dropSoft = [&] {
        while (word.compare(0, SoftHyphen.size(), SoftHyphen) == 0) word.erase(0, SoftHyphen.size());
      };
      dropSoft();
      // Spaces at a line's start are dropped; a word that does not fit ends the line.
      while (!(current.empty() && word.empty())) {
        const std::string candidate = current.empty() ? word : current + " " + word;
        if (width(candidate) <= room() || (current.empty() && Characters(WithoutSoftHyphens(word)).size() < 2)) {
          current = candidate;
          break;
        }
        const std::string before = current.empty() ? "" : current + " ";
        size_t cut = head(before, word, false);
        if (cut == 0 && current.empty()) cut = std::max(head("", word, true), Characters(word).front().size());
        if (cut > 0) {
          push(before + word.substr(0, cut) + "-", true);
          word.erase(0, cut);
          dropSoft();
        } else {
          push(current, true);
        }
        current.clear();
      }
      if (sp >= para.size()) break;
      k = sp + 1;
    }
    push(current, false);
    if (end >= text.size()) break;
    p = end + 1;
  }
}

}  // namespace morvel::preview

// The faces behind a font name, shared by text measuring and text rasters:
// one fontconfig configuration and FreeType library, the chain of faces
// fontconfig offers for a family (the best one first, then faces that add
// the characters it lacks), and the faces FreeType opened from them. Not
// thread-safe: each user keeps its own and calls it under its own lock.
#pragma once

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace morvel::platform {

struct FontFace {
  std::string File;
  int Index = 0;
  const FcCharSet* Chars = nullptr;  // owned by the chain's font set
  bool SyntheticBold = false;        // asked bold, and the face has no bold weight
  bool SyntheticItalic = false;      // asked italic, and the face is upright
  bool Tried = false;                // whether Face was looked for
  FT_Face Face = nullptr;            // owned by the FontFaces that opened it

  bool Has(char32_t c) const { return Chars != nullptr && FcCharSetHasChar(Chars, c); }
};

struct FontChain {
  FcFontSet* Set = nullptr;
  std::vector<FontFace> Members;
};

class FontFaces {
 public:
  // `user` names the caller in log lines; at most `maxChains` chains are
  // kept; `scalableFirst` asks fontconfig to rank outline faces first.
  FontFaces(std::string user, size_t maxChains, bool scalableFirst);
  FontFaces(const FontFaces&) = delete;
  FontFaces& operator=(const FontFaces&) = delete;
  ~FontFaces();

  // Loading the font configuration scans the font folders, so it waits for
  // the first text rather than slowing down every start-up. False (logged
  // once) when fontconfig or FreeType cannot start.
  bool Start();

  // The chain for a family; valid until a later ChainFor finds the cache
  // full and drops every chain (Generation() then changes).
  FontChain& ChainFor(const std::string& family, bool bold, bool italic);
  size_t Generation() const { return generation_; }

  // The member's face, opened when first needed and kept; null when
  // FreeType cannot read it (a failure is not retried).
  FT_Face Opened(FontFace& member);

  // The first member `usable` accepts (the face the text is sized by), or
  // Members.size() when there is none.
  template <class Usable>
  static size_t Primary(const FontChain& chain, Usable usable) {
    for (size_t i = 0; i < chain.Members.size(); ++i)
      if (usable(i)) return i;
    return chain.Members.size();
  }

  // The member to draw `c` with: the primary face when it has the
  // character, else the first other member that has it and `usable` accepts,
  // else the primary face (which then draws its missing-glyph box).
  template <class Usable>
  static size_t FaceFor(const FontChain& chain, size_t primary, char32_t c, Usable usable) {
    if (chain.Members[primary].Has(c)) return primary;
    for (size_t i = 0; i < chain.Members.size(); ++i)
      if (i != primary && chain.Members[i].Has(c) && usable(i)) return i;
    return primary;
  }

 private:
  void DropChains();

  std::string user_;
  size_t maxChains_;
  bool scalableFirst_;
  bool started_ = false;
  FcConfig* config_ = nullptr;
  FT_Library library_ = nullptr;
  size_t generation_ = 0;
  std::map<std::tuple<std::string, bool, bool>, FontChain> chains_;
  std::map<std::pair<std::string, int>, FT_Face> faces_;
};

// The next character of UTF-16 text at `i`, which it moves past a surrogate
// pair; a lone surrogate reads as U+FFFD.
inline char32_t NextChar(std::u16string_view text, size_t& i) {
  char32_t c = text[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
    c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    ++i;
  } else if (c >= 0xD800 && c <= 0xDFFF) {
    c = 0xFFFD;
  }
  return c;
}

}  // namespace morvel::platform

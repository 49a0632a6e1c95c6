// Text measurement with fontconfig (which face a name means, and which faces
// cover the characters it lacks) and FreeType (the advances and line height
// of those faces at a size).
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux_adapters.h"

namespace morvel::platform {
namespace {

// Font name + bold pairs kept resolved; a host that asks for ever new names
// must not grow the cache without end.
constexpr size_t MaxChains = 256;
// FreeType refuses sizes beyond 16-bit pixels per em.
constexpr double MaxPixelsPerEm = 16000;

class FreeTypeTextMeasure : public TextMeasure {
 public:
  FreeTypeTextMeasure() = default;
  FreeTypeTextMeasure(const FreeTypeTextMeasure&) = delete;
  FreeTypeTextMeasure& operator=(const FreeTypeTextMeasure&) = delete;

  ~FreeTypeTextMeasure() override {
    DropChains();
    for (auto& [key, face] : faces_)
      if (face != nullptr) FT_Done_Face(face);
    if (library_ != nullptr) FT_Done_FreeType(library_);
    if (config_ != nullptr) FcConfigDestroy(config_);
  }

  TextExtent Measure(const FontSpec& font, std::u16string_view text, int pixelsPerInch) override {
    std::lock_guard<std::mutex> lock(lock_);
    if (!Start()) return {};
    double pixelsPerEm = font.Points * pixelsPerInch / 72.0;
    if (!std::isfinite(pixelsPerEm) || pixelsPerEm <= 0 || pixelsPerEm > MaxPixelsPerEm) {
      Logger().Record("text measure: no size for " + std::to_string(font.Points) + " points at " +
                      std::to_string(pixelsPerInch) + " pixels per inch");
      return {};
    }
    Chain& chain = ChainFor(font);

    // Faces are sized when a character first needs them.
    std::vector<FT_Face> sized(chain.Members.size(), nullptr);
    std::vector<bool> tried(chain.Members.size(), false);
    auto faceAt = [&](size_t i) -> FT_Face {
      if (!tried[i]) {
        tried[i] = true;
        FT_Face face = OpenFace(chain.Members[i].File, chain.Members[i].Index);
        auto charSize = static_cast<FT_F26Dot6>(std::lround(font.Points * 64));
        if (face != nullptr && FT_Set_Char_Size(face, 0, charSize, pixelsPerInch, pixelsPerInch) == 0) sized[i] = face;
      }
      return sized[i];
    };

    size_t primary = chain.Members.size();
    for (size_t i = 0; i < chain.Members.size() && primary == chain.Members.size(); ++i)
      if (faceAt(i) != nullptr) primary = i;
    if (primary == chain.Members.size()) {
      Logger().Record("text measure: no usable font for '" + font.Face + "'");
      return {};
    }
    FT_Face primaryFace = sized[primary];
    // Windows' tmHeight: ascent plus descent, as the size rounds them.
    double lineHeight = (primaryFace->size->metrics.ascender - primaryFace->size->metrics.descender) / 64.0;

    auto advanceOf = [&](char32_t c) -> double {
      size_t chosen = primary;
      if (!HasChar(chain.Members[primary], c)) {
        for (size_t i = 0; i < chain.Members.size(); ++i) {
          if (i != primary && HasChar(chain.Members[i], c) && faceAt(i) != nullptr) {
            chosen = i;
            break;
          }
        }
      }
      FT_Face face = sized[chosen];
      FT_Fixed advance = 0;
      // Unhinted advances keep widths proportional to the size, so a width
      // measured at screen resolution scales to printer dots.
      if (FT_Get_Advance(face, FT_Get_Char_Index(face, c), FT_LOAD_NO_HINTING, &advance) != 0) return 0;
      // A face without a bold weight is emboldened the way Windows does it,
      // one pixel wider per character.
      return advance / 65536.0 + (chain.Members[chosen].SyntheticBold ? 1.0 : 0.0);
    };

    double widest = 0;
    double current = 0;
    size_t lines = 1;
    for (size_t i = 0; i < text.size(); ++i) {
      char16_t unit = text[i];
      if (unit == u'\r' || unit == u'\n') {
        if (unit == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        widest = std::max(widest, current);
        current = 0;
        ++lines;
        continue;
      }
      char32_t c = unit;
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else if (unit >= 0xD800 && unit <= 0xDFFF) {
        c = 0xFFFD;
      }
      current += advanceOf(c);
    }
    widest = std::max(widest, current);
    return TextExtent{widest, lineHeight * static_cast<double>(lines)};
  }

 private:
  struct Member {
    std::string File;
    int Index = 0;
    const FcCharSet* Chars = nullptr;  // owned by the chain's font set
    bool SyntheticBold = false;
  };
  // The faces fontconfig offers for a name, best first, each adding
  // characters the ones before it lack.
  struct Chain {
    FcFontSet* Set = nullptr;
    std::vector<Member> Members;
  };

  static bool HasChar(const Member& member, char32_t c) {
    return member.Chars != nullptr && FcCharSetHasChar(member.Chars, c);
  }

  // Loading the font configuration scans the font folders, so it waits for
  // the first measurement rather than slowing down every start-up.
  bool Start() {
    if (started_) return library_ != nullptr && config_ != nullptr;
    started_ = true;
    config_ = FcInitLoadConfigAndFonts();
    if (config_ == nullptr) {
      Logger().Record("text measure: fontconfig cannot load its configuration");
      return false;
    }
    if (FT_Init_FreeType(&library_) != 0) {
      library_ = nullptr;
      Logger().Record("text measure: FreeType cannot start");
      return false;
    }
    return true;
  }

  Chain& ChainFor(const FontSpec& font) {
    auto key = std::make_pair(font.Face, font.Bold);
    auto it = chains_.find(key);
    if (it != chains_.end()) return it->second;
    if (chains_.size() >= MaxChains) DropChains();

    Chain chain;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(font.Face.c_str()));
    int wanted = font.Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
    FcPatternAddInteger(pattern, FC_WEIGHT, wanted);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(config_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    chain.Set = FcFontSort(config_, pattern, FcTrue, nullptr, &result);
    FcPatternDestroy(pattern);
    if (chain.Set != nullptr) {
      for (int i = 0; i < chain.Set->nfont; ++i) {
        FcPattern* found = chain.Set->fonts[i];
        FcChar8* file = nullptr;
        if (FcPatternGetString(found, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) continue;
        Member member;
        member.File = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(found, FC_INDEX, 0, &member.Index);
        FcCharSet* chars = nullptr;
        if (FcPatternGetCharSet(found, FC_CHARSET, 0, &chars) == FcResultMatch) member.Chars = chars;
        int weight = FC_WEIGHT_REGULAR;
        FcPatternGetInteger(found, FC_WEIGHT, 0, &weight);
        member.SyntheticBold = font.Bold && weight < FC_WEIGHT_DEMIBOLD;
        chain.Members.push_back(std::move(member));
      }
    }
    if (chain.Members.empty()) Logger().Record("text measure: fontconfig finds no font for '" + font.Face + "'");
    return chains_.emplace(std::move(key), std::move(chain)).first->second;
  }

  void DropChains() {
    for (auto& [key, chain] : chains_)
      if (chain.Set != nullptr) FcFontSetDestroy(chain.Set);
    chains_.clear();
  }

  // The opened face of a font file, kept for the life of the measure; none
  // when FreeType cannot read it (a failure is not retried).
  FT_Face OpenFace(const std::string& file, int index) {
    std::string key = file + '\n' + std::to_string(index);
    auto it = faces_.find(key);
    if (it != faces_.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(library_, file.c_str(), index, &face) != 0 || !FT_IS_SCALABLE(face)) {
      if (face != nullptr) FT_Done_Face(face);
      face = nullptr;
    }
    faces_.emplace(std::move(key), face);
    return face;
  }

  std::mutex lock_;
  bool started_ = false;
  FcConfig* config_ = nullptr;
  FT_Library library_ = nullptr;
  std::map<std::pair<std::string, bool>, Chain> chains_;
  std::map<std::string, FT_Face> faces_;
};

}  // namespace

std::shared_ptr<TextMeasure> MakeLinuxTextMeasure() { return std::make_shared<FreeTypeTextMeasure>(); }

}  // namespace morvel::platform

// Text measurement with fontconfig (which face a name means, and which faces
// cover the characters it lacks) and FreeType (the advances and line height
// of those faces at a size).
#include "platform/linux/font_faces.h"

#include FT_ADVANCES_H

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/adapters.h"

namespace morvel::platform {
namespace {

// Font name + bold pairs kept resolved; a host that asks for ever new names
// must not grow the cache without end.
constexpr size_t MaxChains = 256;
// FreeType refuses sizes beyond 16-bit pixels per em.
constexpr double MaxPixelsPerEm = 16000;

class FreeTypeTextMeasure : public TextMeasure {
 public:
  TextExtent Measure(const FontSpec& font, std::u16string_view text, int pixelsPerInch) override {
    std::lock_guard<std::mutex> lock(lock_);
    if (!faces_.Start()) return {};
    double pixelsPerEm = font.Points * pixelsPerInch / 72.0;
    if (!std::isfinite(pixelsPerEm) || pixelsPerEm <= 0 || pixelsPerEm > MaxPixelsPerEm) {
      Logger().Record("text measure: no size for " + std::to_string(font.Points) + " points at " +
                      std::to_string(pixelsPerInch) + " pixels per inch");
      return {};
    }
    FontChain& chain = faces_.ChainFor(font.Face, font.Bold, false);

    // Faces are sized when a character first needs them.
    std::vector<FT_Face> sized(chain.Members.size(), nullptr);
    std::vector<bool> tried(chain.Members.size(), false);
    auto faceAt = [&](size_t i) -> FT_Face {
      if (!tried[i]) {
        tried[i] = true;
        FT_Face face = faces_.Opened(chain.Members[i]);
        auto charSize = static_cast<FT_F26Dot6>(std::lround(font.Points * 64));
        if (face != nullptr && FT_Set_Char_Size(face, 0, charSize, pixelsPerInch, pixelsPerInch) == 0) sized[i] = face;
      }
      return sized[i];
    };

    auto usable = [&](size_t i) { return faceAt(i) != nullptr; };
    size_t primary = FontFaces::Primary(chain, usable);
    if (primary == chain.Members.size()) {
      Logger().Record("text measure: no usable font for '" + font.Face + "'");
      return {};
    }
    FT_Face primaryFace = sized[primary];
    // Windows' tmHeight: ascent plus descent, as the size rounds them.
    double lineHeight = (primaryFace->size->metrics.ascender - primaryFace->size->metrics.descender) / 64.0;

    auto advanceOf = [&](char32_t c) -> double {
      size_t chosen = FontFaces::FaceFor(chain, primary, c, usable);
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
      current += advanceOf(NextChar(text, i));
    }
    widest = std::max(widest, current);
    return TextExtent{widest, lineHeight * static_cast<double>(lines)};
  }

 private:
  std::mutex lock_;
  FontFaces faces_{"text measure", MaxChains, false};
};

}  // namespace

std::shared_ptr<TextMeasure> MakeLinuxTextMeasure() { return std::make_shared<FreeTypeTextMeasure>(); }

}  // namespace morvel::platform

// fontconfig chooses the faces for a family name (the best one, then faces
// that add the characters it lacks); FreeType sizes them by the GDI height,
// hints and renders each glyph in monochrome, and the glyphs are laid side
// by side on the baseline by their hinted advances, as TextOut does without
// kerning.
#include "platform/text_raster.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>
#include <utility>

#include "platform/services.h"

namespace morvel::platform {

namespace {

constexpr size_t MaxChains = 64;
constexpr int DefaultCellHeight = 16;
// FreeType refuses sizes beyond 16-bit pixels per em.
constexpr double MaxPixelsPerEm = 16000;
// The slant FreeType and GDI give a face that has no italic (about 12 degrees).
constexpr FT_Fixed ObliqueShear = 0x0366A;

struct Member {
  std::string File;
  int Index = 0;
  const FcCharSet* Chars = nullptr;  // owned by the chain's font set
  bool SyntheticBold = false;
  bool SyntheticItalic = false;
};

struct Chain {
  FcFontSet* Set = nullptr;
  std::vector<Member> Members;
};

struct PlacedGlyph {
  FT_Glyph Bitmap = nullptr;  // an FT_BitmapGlyph once rendered
  int PenX = 0;
};

}  // namespace

// The process-wide fonts: one fontconfig configuration, one FreeType library,
// the resolved families and the opened faces, all under one lock since
// FreeType objects are not to be used from two threads at once.
class TextRasterBuilder {
 public:
  static TextRasterBuilder& Instance() {
    static auto* instance = new TextRasterBuilder;  // lives for the process
    return *instance;
  }

  std::unique_ptr<TextRaster> Layout(const RasterFont& font, std::u16string_view text, int maxWidth, int maxHeight) {
    std::lock_guard<std::mutex> lock(lock_);
    if (!Start()) return nullptr;
    Chain& chain = ChainFor(font);
    std::vector<FT_Face> faces(chain.Members.size(), nullptr);
    std::vector<bool> tried(chain.Members.size(), false);
    size_t primary = chain.Members.size();
    for (size_t i = 0; i < chain.Members.size() && primary == chain.Members.size(); ++i) {
      tried[i] = true;
      faces[i] = OpenFace(chain.Members[i].File, chain.Members[i].Index);
      if (faces[i] != nullptr) primary = i;
    }
    if (primary == chain.Members.size()) {
      Logger().Record("text raster: no usable font for '" + font.Face + "'");
      return nullptr;
    }

    // The size from the primary face: a cell height counts the face's
    // Windows ascent and descent, as GDI maps it.
    FT_Face main = faces[primary];
    double upem = main->units_per_EM > 0 ? main->units_per_EM : 2048;
    double winAscent = main->ascender, winDescent = -main->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(main, FT_SFNT_OS2));
        os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
      winAscent = os2->usWinAscent;
      winDescent = os2->usWinDescent;
    }
    if (winAscent + winDescent <= 0) winAscent = upem;
    int height = font.Height == 0 ? DefaultCellHeight : font.Height;
    double ppem = height > 0 ? height * upem / (winAscent + winDescent) : -static_cast<double>(height);
    int ascent = static_cast<int>(std::lround(winAscent * ppem / upem));
    int cell = height > 0 ? height : ascent + static_cast<int>(std::lround(winDescent * ppem / upem));

    auto raster = std::unique_ptr<TextRaster>(new TextRaster);
    raster->height_ = cell;
    if (cell > maxHeight || ppem > MaxPixelsPerEm) {
      raster->fits_ = false;
      return raster;
    }
    if (ppem < 1.0 / 64) ppem = 1.0 / 64;
    auto charSize = static_cast<FT_F26Dot6>(std::lround(ppem * 64));
    auto sized = [&](size_t i) -> FT_Face {
      if (!tried[i]) {
        tried[i] = true;
        faces[i] = OpenFace(chain.Members[i].File, chain.Members[i].Index);
      }
      if (faces[i] == nullptr || FT_Set_Char_Size(faces[i], 0, charSize, 72, 72) != 0) return nullptr;
      return faces[i];
    };
    if (sized(primary) == nullptr) {
      Logger().Record("text raster: '" + font.Face + "' cannot be sized to " + std::to_string(height));
      return nullptr;
    }
    size_t sizedMember = primary;

    std::vector<PlacedGlyph> glyphs;
    auto release = [&] {
      for (auto& g : glyphs) FT_Done_Glyph(g.Bitmap);
    };
    int pen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      char32_t c = text[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        c = 0xFFFD;
      }
      size_t chosen = primary;
      if (!Has(chain.Members[primary], c)) {
        for (size_t m = 0; m < chain.Members.size(); ++m) {
          if (m != primary && Has(chain.Members[m], c)) {
            chosen = m;
            break;
          }
        }
      }
      if (chosen != sizedMember) {
        if (sized(chosen) == nullptr) chosen = primary;
        if (chosen != sizedMember && chosen == primary) sized(primary);
        sizedMember = chosen;
      }
      const Member& member = chain.Members[chosen];
      FT_Face face = faces[chosen];
      bool synthetic = member.SyntheticBold || member.SyntheticItalic;
      FT_Int32 flags = FT_LOAD_TARGET_MONO | (synthetic ? FT_LOAD_NO_BITMAP : 0);
      if (FT_Load_Glyph(face, FT_Get_Char_Index(face, c), flags) != 0 && FT_Load_Glyph(face, 0, flags) != 0) continue;
      FT_GlyphSlot slot = face->glyph;
      int advance = static_cast<int>((slot->advance.x + 32) >> 6);
      if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (member.SyntheticItalic) {
          FT_Matrix shear{0x10000, ObliqueShear, 0, 0x10000};
          FT_Outline_Transform(&slot->outline, &shear);
        }
        // Windows makes a synthetic bold one pixel wider per character.
        if (member.SyntheticBold) {
          FT_Outline_EmboldenXY(&slot->outline, 64, 0);
          advance += 1;
        }
      }
      FT_Glyph glyph = nullptr;
      if (FT_Get_Glyph(slot, &glyph) == 0) {
        if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_MONO, nullptr, 1) == 0)
          glyphs.push_back({glyph, pen});
        else
          FT_Done_Glyph(glyph);
      }
      pen += advance;
      if (pen > maxWidth) {
        release();
        raster->width_ = pen;
        raster->fits_ = false;
        return raster;
      }
    }

    raster->width_ = pen;
    raster->ink_.assign(static_cast<size_t>(pen) * static_cast<size_t>(cell), 0);
    for (auto& g : glyphs) {
      auto* bitmapGlyph = reinterpret_cast<FT_BitmapGlyph>(g.Bitmap);
      const FT_Bitmap& bitmap = bitmapGlyph->bitmap;
      int left = g.PenX + bitmapGlyph->left;
      int top = ascent - bitmapGlyph->top;
      for (unsigned row = 0; row < bitmap.rows; ++row) {
        int v = top + static_cast<int>(row);
        if (v < 0 || v >= cell) continue;
        const uint8_t* bits = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        for (unsigned col = 0; col < bitmap.width; ++col) {
          int u = left + static_cast<int>(col);
          if (u < 0 || u >= pen) continue;
          bool on =
              bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (bits[col >> 3] & (0x80 >> (col & 7))) != 0 : bits[col] >= 128;
          if (on) raster->ink_[static_cast<size_t>(v) * pen + u] = 1;
        }
      }
    }
    release();
    if (font.Underline && pen > 0) {
      double scale = ppem / upem;
      int thickness = std::max(1, static_cast<int>(std::lround(main->underline_thickness * scale)));
      int top = ascent - static_cast<int>(std::lround(main->underline_position * scale)) - thickness / 2;
      for (int v = std::max(0, top); v < std::min(cell, top + thickness); ++v)
        std::fill_n(raster->ink_.begin() + static_cast<ptrdiff_t>(v) * pen, pen, uint8_t{1});
    }
    return raster;
  }

 private:
  static bool Has(const Member& member, char32_t c) {
    return member.Chars != nullptr && FcCharSetHasChar(member.Chars, c);
  }

  // The font configuration scans the font folders, so it waits for the
  // first text rather than slowing down every start-up.
  bool Start() {
    if (started_) return library_ != nullptr && config_ != nullptr;
    started_ = true;
    config_ = FcInitLoadConfigAndFonts();
    if (config_ == nullptr) {
      Logger().Record("text raster: fontconfig cannot load its configuration");
      return false;
    }
    if (FT_Init_FreeType(&library_) != 0) {
      library_ = nullptr;
      Logger().Record("text raster: FreeType cannot start");
      return false;
    }
    return true;
  }

  Chain& ChainFor(const RasterFont& font) {
    auto key = std::make_tuple(font.Face, font.Bold, font.Italic);
    auto it = chains_.find(key);
    if (it != chains_.end()) return it->second;
    if (chains_.size() >= MaxChains) {
      for (auto& [k, chain] : chains_)
        if (chain.Set != nullptr) FcFontSetDestroy(chain.Set);
      chains_.clear();
    }
    Chain chain;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(font.Face.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, font.Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, font.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
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
        int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(found, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(found, FC_SLANT, 0, &slant);
        member.SyntheticBold = font.Bold && weight < FC_WEIGHT_DEMIBOLD;
        member.SyntheticItalic = font.Italic && slant == FC_SLANT_ROMAN;
        chain.Members.push_back(std::move(member));
      }
    }
    if (chain.Members.empty()) Logger().Record("text raster: fontconfig finds no font for '" + font.Face + "'");
    return chains_.emplace(std::move(key), std::move(chain)).first->second;
  }

  // The opened face of a font file, kept for the process; none when
  // FreeType cannot read it (a failure is not retried).
  FT_Face OpenFace(const std::string& file, int index) {
    auto key = std::make_pair(file, index);
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
  std::map<std::tuple<std::string, bool, bool>, Chain> chains_;
  std::map<std::pair<std::string, int>, FT_Face> faces_;
};

std::unique_ptr<TextRaster> TextRaster::Layout(const RasterFont& font, std::u16string_view text, int maxWidth,
                                               int maxHeight) {
  return TextRasterBuilder::Instance().Layout(font, text, maxWidth, maxHeight);
}

void TextRaster::Draw(int degrees, int originX, int originY, uint8_t* raster, size_t stride, size_t rows) const {
  const long long columns = static_cast<long long>(stride) * 8;
  auto clear = [&](long long x, long long y) {
    if (x < 0 || y < 0 || x >= columns || y >= static_cast<long long>(rows)) return;
    raster[static_cast<size_t>(y) * stride + static_cast<size_t>(x >> 3)] &= static_cast<uint8_t>(~(0x80 >> (x & 7)));
  };
  int turn = ((degrees % 360) + 360) % 360;
  if (turn % 90 == 0) {
    // Right angles map every cell pixel to exactly one raster pixel: the
    // baseline runs along (cos, -sin) and "down" along (sin, cos), y downwards.
    int c = turn == 0 ? 1 : turn == 180 ? -1 : 0;
    int s = turn == 90 ? 1 : turn == 270 ? -1 : 0;
    for (int v = 0; v < height_; ++v) {
      const uint8_t* row = ink_.data() + static_cast<size_t>(v) * width_;
      for (int u = 0; u < width_; ++u) {
        if (row[u] == 0) continue;
        // The raster pixel under the cell pixel's centre.
        long long x =
            originX + static_cast<long long>(u) * c + static_cast<long long>(v) * s - (c < 0 || s < 0 ? 1 : 0);
        long long y =
            originY - static_cast<long long>(u) * s + static_cast<long long>(v) * c - (s > 0 || c < 0 ? 1 : 0);
        clear(x, y);
      }
    }
    return;
  }
  // Any other angle: each raster pixel near the rotated cell takes the cell
  // pixel under its centre.
  double radians = degrees * 3.14159265358979323846 / 180.0;
  double c = std::cos(radians), s = std::sin(radians);
  double corners[4][2] = {{0, 0}, {double(width_), 0}, {0, double(height_)}, {double(width_), double(height_)}};
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  for (auto& p : corners) {
    double x = originX + p[0] * c + p[1] * s, y = originY - p[0] * s + p[1] * c;
    minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  long long x0 = std::max(0LL, static_cast<long long>(std::floor(minX)));
  long long x1 = std::min(columns, static_cast<long long>(std::ceil(maxX)));
  long long y0 = std::max(0LL, static_cast<long long>(std::floor(minY)));
  long long y1 = std::min(static_cast<long long>(rows), static_cast<long long>(std::ceil(maxY)));
  for (long long y = y0; y < y1; ++y) {
    for (long long x = x0; x < x1; ++x) {
      double dx = x + 0.5 - originX, dy = y + 0.5 - originY;
      double u = std::floor(dx * c - dy * s), v = std::floor(dx * s + dy * c);
      if (u < 0 || v < 0 || u >= width_ || v >= height_) continue;
      if (ink_[static_cast<size_t>(v) * width_ + static_cast<size_t>(u)] != 0) clear(x, y);
    }
  }
}

}  // namespace morvel::platform

// fontconfig chooses the faces for a family name (the best one, then faces
// that add the characters it lacks); FreeType sizes them by the GDI height,
// hints and renders each glyph in monochrome, and the glyphs are laid side
// by side on the baseline by their hinted advances, as TextOut does without
// kerning.
#include "platform/text_raster.h"

#include "platform/linux/font_faces.h"

#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>
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

// Rendered glyphs kept across calls; a host with ever new sizes and texts
// must not grow the cache without end.
constexpr size_t MaxGlyphs = 20000;
constexpr size_t MaxKeptGlyphBytes = 64 * 1024;

struct Glyph {
  int Advance = 0;  // hinted, whole pixels
  int Left = 0, Top = 0, Width = 0, Rows = 0, Pitch = 0;
  std::vector<uint8_t> Bits;  // rows of Pitch bytes, most significant bit leftmost
};

struct GlyphKey {
  FT_Face Face;
  FT_F26Dot6 Size;
  FT_UInt Index;
  bool Bold, Italic;
  bool operator==(const GlyphKey&) const = default;
};

struct GlyphKeyHash {
  size_t operator()(const GlyphKey& k) const noexcept {
    size_t h = std::hash<const void*>()(k.Face);
    h = h * 31 + std::hash<long>()(k.Size);
    h = h * 31 + k.Index;
    return h * 4 + (k.Bold ? 2 : 0) + (k.Italic ? 1 : 0);
  }
};

// ORs `width` bits (most significant first) into a row of `rowBytes` bytes
// at bit `at`; bits that fall outside the row are dropped. The row's last
// byte is spare room for the bits a glyph's last byte shifts over; the
// caller clears everything past the cell's width afterwards.
void OrBits(uint8_t* row, size_t rowBytes, int at, const uint8_t* bits, int width) {
  if (at >= 0 && static_cast<size_t>(at + width) <= (rowBytes - 1) * 8) {
    uint8_t* to = row + (at >> 3);
    int shift = 8 - (at & 7);
    for (int j = 0; j < (width + 7) / 8; ++j) {
      unsigned spread = static_cast<unsigned>(bits[j]) << shift;
      to[j] |= static_cast<uint8_t>(spread >> 8);
      to[j + 1] |= static_cast<uint8_t>(spread);
    }
    return;
  }
  long long rowBits = static_cast<long long>(rowBytes) * 8;
  for (int col = std::max(0, -at); col < width && at + col < rowBits; ++col) {
    int u = at + col;
    if ((bits[col >> 3] & (0x80 >> (col & 7))) != 0) row[u >> 3] |= static_cast<uint8_t>(0x80 >> (u & 7));
  }
}

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
    if (!faces_.Start()) return nullptr;
    // Only between calls: the glyphs placed below point into the cache.
    if (glyphs_.size() >= MaxGlyphs) {
      glyphs_.clear();
      ascii_.clear();
    }
    FontChain& chain = faces_.ChainFor(font.Face, font.Bold, font.Italic);
    // The ASCII glyphs name their chain, which a full chain cache drops.
    if (asciiGeneration_ != faces_.Generation()) {
      ascii_.clear();
      asciiGeneration_ = faces_.Generation();
    }
    // A member's face is opened when a character first needs it, and kept.
    auto opened = [&](size_t i) { return faces_.Opened(chain.Members[i]) != nullptr; };
    size_t primary = FontFaces::Primary(chain, opened);
    if (primary == chain.Members.size()) {
      Logger().Record("text raster: no usable font for '" + font.Face + "'");
      return nullptr;
    }

    // The size from the primary face: a cell height counts the face's
    // Windows ascent and descent, as GDI maps it.
    FT_Face main = chain.Members[primary].Face;
    const auto [upem, winAscent, winDescent] = WindowsMetrics(main);
    int height = font.Height == 0 ? DefaultCellHeight : font.Height;
    double ppem = height > 0 ? height * upem / (winAscent + winDescent) : -static_cast<double>(height);
    auto raster = std::unique_ptr<TextRaster>(new TextRaster);
    if (ppem > MaxPixelsPerEm) {
      raster->height_ = INT_MAX;
      raster->fits_ = false;
      return raster;
    }
    int ascent = static_cast<int>(std::lround(winAscent * ppem / upem));
    int cell = height > 0 ? height : ascent + static_cast<int>(std::lround(winDescent * ppem / upem));
    raster->height_ = cell;
    if (cell > maxHeight) {
      raster->fits_ = false;
      return raster;
    }
    if (ppem < 1.0 / 64) ppem = 1.0 / 64;
    auto charSize = static_cast<FT_F26Dot6>(std::lround(ppem * 64));
    std::vector<Placed> placed;
    std::deque<Glyph> large;  // glyphs too big to keep, for this call only
    placed.reserve(std::min<size_t>(text.size(), 4096));
    auto& ascii = ascii_[{&chain, charSize}];
    int pen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      char32_t c = text[i];
      if (c < 128 && ascii[c] != nullptr) {
        placed.push_back({ascii[c], pen});
        pen += ascii[c]->Advance;
        if (pen > maxWidth) break;
        continue;
      }
      c = NextChar(text, i);
      size_t chosen = FontFaces::FaceFor(chain, primary, c, opened);
      const Glyph* shape = GlyphOf(chain.Members[chosen].Face, chain.Members[chosen], charSize, c, large);
      if (shape == nullptr && chosen != primary) shape = GlyphOf(main, chain.Members[primary], charSize, c, large);
      if (shape == nullptr) continue;
      if (c < 128 && (large.empty() || shape != &large.back())) ascii[c] = shape;
      placed.push_back({shape, pen});
      pen += shape->Advance;
      if (pen > maxWidth) break;
    }
    if (pen > maxWidth) {
      raster->width_ = pen;
      raster->fits_ = false;
      return raster;
    }

    Ink(*raster, placed, pen, ascent, cell);
    if (font.Underline && pen > 0) Underline(*raster, main, ppem / upem, pen, ascent, cell);
    return raster;
  }

 private:
  // The face's units per em and its ascent and descent as Windows takes
  // them (the OS/2 table's, else the face's own).
  static std::tuple<double, double, double> WindowsMetrics(FT_Face face) {
    double upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    double winAscent = face->ascender, winDescent = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
      winAscent = os2->usWinAscent;
      winDescent = os2->usWinDescent;
    }
    if (winAscent + winDescent <= 0) winAscent = upem;
    return {upem, winAscent, winDescent};
  }

  struct Placed {
    const Glyph* Shape;
    int PenX;
  };

  // The placed glyphs' bits into a cell `pen` dots wide, its baseline
  // `ascent` dots down.
  static void Ink(TextRaster& raster, const std::vector<Placed>& placed, int pen, int ascent, int cell) {
    raster.width_ = pen;
    raster.stride_ = (static_cast<size_t>(pen) + 7) / 8 + 1;
    raster.ink_.assign(raster.stride_ * static_cast<size_t>(cell), 0);
    for (const auto& g : placed) {
      const Glyph& shape = *g.Shape;
      int left = g.PenX + shape.Left;
      int top = ascent - shape.Top;
      for (int row = 0; row < shape.Rows; ++row) {
        int v = top + row;
        if (v < 0 || v >= cell) continue;
        OrBits(raster.ink_.data() + static_cast<size_t>(v) * raster.stride_, raster.stride_, left,
               shape.Bits.data() + static_cast<size_t>(row) * shape.Pitch, shape.Width);
      }
    }
    // A glyph may reach past the advances; the cell ends at its width.
    const size_t used = (static_cast<size_t>(pen) + 7) / 8, stride = raster.stride_;
    const auto keep = static_cast<uint8_t>(pen % 8 != 0 ? 0xFF << (8 - pen % 8) : 0xFF);
    uint8_t* ink = raster.ink_.data();
    for (int v = 0; v < cell && used > 0; ++v, ink += stride) {
      ink[used - 1] &= keep;
      ink[used] = 0;  // the spare byte
    }
  }

  // The face's underline across the cell, `scale` pixels a font unit.
  static void Underline(TextRaster& raster, FT_Face main, double scale, int pen, int ascent, int cell) {
    int thickness = std::max(1, static_cast<int>(std::lround(main->underline_thickness * scale)));
    int top = ascent - static_cast<int>(std::lround(main->underline_position * scale)) - thickness / 2;
    for (int v = std::max(0, top); v < std::min(cell, top + thickness); ++v) {
      uint8_t* row = raster.ink_.data() + static_cast<size_t>(v) * raster.stride_;
      for (int u = 0; u < pen; ++u) row[u >> 3] |= static_cast<uint8_t>(0x80 >> (u & 7));
    }
  }

  // The hinted, rendered glyph of `c` in a face at a size, kept so that a
  // text seen before costs no FreeType work; null when the face cannot draw it.
  const Glyph* GlyphOf(FT_Face face, const FontFace& member, FT_F26Dot6 charSize, char32_t c,
                       std::deque<Glyph>& large) {
    if (face == nullptr) return nullptr;
    FT_UInt index = FT_Get_Char_Index(face, c);
    GlyphKey key{face, charSize, index, member.SyntheticBold, member.SyntheticItalic};
    auto it = glyphs_.find(key);
    if (it != glyphs_.end()) return &it->second;

    auto size = sizes_.find(face);
    if (size == sizes_.end() || size->second != charSize) {
      if (FT_Set_Char_Size(face, 0, charSize, 72, 72) != 0) {
        sizes_.erase(face);
        return nullptr;
      }
      sizes_[face] = charSize;
    }
    bool synthetic = member.SyntheticBold || member.SyntheticItalic;
    FT_Int32 flags = FT_LOAD_TARGET_MONO | (synthetic ? FT_LOAD_NO_BITMAP : 0);
    if (FT_Load_Glyph(face, index, flags) != 0) return nullptr;
    FT_GlyphSlot slot = face->glyph;
    Glyph glyph;
    glyph.Advance = static_cast<int>((slot->advance.x + 32) >> 6);
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (member.SyntheticItalic) {
        FT_Matrix shear{0x10000, ObliqueShear, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
      }
      // Windows makes a synthetic bold one pixel wider per character.
      if (member.SyntheticBold) {
        FT_Outline_EmboldenXY(&slot->outline, 64, 0);
        glyph.Advance += 1;
      }
    }
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return nullptr;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.Left = slot->bitmap_left;
    glyph.Top = slot->bitmap_top;
    glyph.Width = static_cast<int>(bitmap.width);
    glyph.Rows = static_cast<int>(bitmap.rows);
    glyph.Pitch = (glyph.Width + 7) / 8;
    glyph.Bits.assign(static_cast<size_t>(glyph.Pitch) * glyph.Rows, 0);
    for (int row = 0; row < glyph.Rows; ++row) {
      const uint8_t* from = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
      uint8_t* to = glyph.Bits.data() + static_cast<size_t>(row) * glyph.Pitch;
      for (int col = 0; col < glyph.Width; ++col) {
        bool on =
            bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (from[col >> 3] & (0x80 >> (col & 7))) != 0 : from[col] >= 128;
        if (on) to[col >> 3] |= static_cast<uint8_t>(0x80 >> (col & 7));
      }
    }
    if (glyph.Bits.size() > MaxKeptGlyphBytes) {
      large.push_back(std::move(glyph));
      return &large.back();
    }
    return &glyphs_.emplace(key, std::move(glyph)).first->second;
  }

  std::mutex lock_;
  FontFaces faces_{"text raster", MaxChains, true};  // kept for the process
  // The glyphs of the ASCII characters by chain and size, found without a
  // lookup: label text is mostly ASCII.
  std::map<std::pair<const FontChain*, FT_F26Dot6>, std::array<const Glyph*, 128>> ascii_;
  size_t asciiGeneration_ = 0;
  std::map<FT_Face, FT_F26Dot6> sizes_;  // the size each face is set to
  std::unordered_map<GlyphKey, Glyph, GlyphKeyHash> glyphs_;
};

std::unique_ptr<TextRaster> TextRaster::Layout(const RasterFont& font, std::u16string_view text, int maxWidth,
                                               int maxHeight) {
  return TextRasterBuilder::Instance().Layout(font, text, maxWidth, maxHeight);
}

}  // namespace morvel::platform

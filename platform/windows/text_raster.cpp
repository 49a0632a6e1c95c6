// One-bit text rasters from GDI, as the Windows design draws them: the font
// from CreateFontIndirectA with the design's LOGFONTA, the text measured by
// GetTextExtentPoint32W and drawn with TextOutW (black on an opaque white
// cell) into a monochrome bitmap of a memory DC compatible with the screen,
// read back with GetBitmapBits. The bitmap is only as large as the text's
// cell and is filled white with FillRect first, so no bit of it is left
// undefined. text_raster_draw.cpp places the cell at its rotation.
#include "platform/text_raster.h"

#include <vector>

#include "platform/services.h"
#include "platform/windows/windows_adapters.h"

namespace morvel::platform {

class TextRasterBuilder {
 public:
  static std::unique_ptr<TextRaster> Layout(const RasterFont& font, std::u16string_view text, int maxWidth,
                                            int maxHeight) {
    LOGFONTA description{};
    description.lfHeight = font.Height;
    description.lfWeight = font.Bold ? FW_BOLD : FW_NORMAL;
    description.lfItalic = font.Italic ? 1 : 0;
    description.lfUnderline = font.Underline ? 1 : 0;
    description.lfCharSet = DEFAULT_CHARSET;
    description.lfQuality = DRAFT_QUALITY;
    description.lfPitchAndFamily = 0x1A;  // FF_SWISS | VARIABLE_PITCH, as the design asks
    std::string face = win::Ansi(FromUtf8(font.Face));
    if (face.size() >= LF_FACESIZE) face.resize(LF_FACESIZE - 1);
    memcpy(description.lfFaceName, face.c_str(), face.size() + 1);

    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
      Logger().Record("text raster: no memory device context: " + win::ErrorText(GetLastError()));
      return nullptr;
    }
    HFONT created = CreateFontIndirectA(&description);
    if (created == nullptr) {
      DeleteDC(dc);
      Logger().Record("text raster: no font for '" + font.Face + "'");
      return nullptr;
    }
    HGDIOBJ previousFont = SelectObject(dc, created);
    std::wstring wide = win::Wide(text);
    SIZE extent{};
    GetTextExtentPoint32W(dc, wide.data(), static_cast<int>(wide.size()), &extent);

    auto raster = std::unique_ptr<TextRaster>(new TextRaster);
    raster->width_ = extent.cx;
    raster->height_ = extent.cy;
    raster->fits_ = extent.cx <= maxWidth && extent.cy <= maxHeight;
    raster->stride_ = static_cast<size_t>((extent.cx + 7) / 8) + 1;
    if (raster->fits_ && extent.cx > 0 && extent.cy > 0) Draw(dc, wide, *raster);

    SelectObject(dc, previousFont);
    DeleteObject(created);
    DeleteDC(dc);
    return raster;
  }

 private:
  static void Draw(HDC dc, const std::wstring& text, TextRaster& raster) {
    int w = raster.width_, h = raster.height_;
    HBITMAP bitmap = CreateBitmap(w, h, 1, 1, nullptr);
    if (bitmap == nullptr) {
      Logger().Record("text raster: no " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
      raster.ink_.assign(raster.stride_ * static_cast<size_t>(h), 0);
      return;
    }
    HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, OPAQUE);
    TextOutW(dc, 0, 0, text.data(), static_cast<int>(text.size()));
    GdiFlush();

    // GetBitmapBits gives rows padded to whole 16-bit words.
    size_t bitmapStride = static_cast<size_t>((w + 15) / 16) * 2;
    std::vector<uint8_t> bits(bitmapStride * static_cast<size_t>(h), 0xFF);
    GetBitmapBits(bitmap, static_cast<LONG>(bits.size()), bits.data());
    SelectObject(dc, previousBitmap);
    DeleteObject(bitmap);

    // Ink is where GDI left a 0 (black) bit; bits beyond the width stay clear.
    size_t cellBytes = static_cast<size_t>((w + 7) / 8);
    raster.ink_.assign(raster.stride_ * static_cast<size_t>(h), 0);
    uint8_t lastMask = static_cast<uint8_t>(0xFF << ((8 - w % 8) % 8));
    for (int y = 0; y < h; ++y) {
      const uint8_t* from = bits.data() + static_cast<size_t>(y) * bitmapStride;
      uint8_t* to = raster.ink_.data() + static_cast<size_t>(y) * raster.stride_;
      for (size_t k = 0; k < cellBytes; ++k) to[k] = static_cast<uint8_t>(~from[k]);
      to[cellBytes - 1] &= lastMask;
    }
  }
};

std::unique_ptr<TextRaster> TextRaster::Layout(const RasterFont& font, std::u16string_view text, int maxWidth,
                                               int maxHeight) {
  return TextRasterBuilder::Layout(font, text, maxWidth, maxHeight);
}

}  // namespace morvel::platform

// GIF through giflib, a row at a time, and BMP by a reader of its own: its
// headers read as other readers read them (OS/2's 12-byte header, the
// 40, 56, 108 and 124-byte ones, bottom-up or top-down rows, palettes of
// 1, 4 and 8 bits, 16 and 32-bit pixels by their masks, 24-bit pixels).
#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "print/Decoders.h"

namespace morvel::print::detail {
namespace {

// ---- GIF -------------------------------------------------------------------

struct GifInput {
  std::string_view Bytes;
  size_t At = 0;
  bool Cut = false;
};

int GifBytes(GifFileType* gif, GifByteType* to, int count) {
  auto* in = static_cast<GifInput*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(count), in->Bytes.size() - in->At);
  std::memcpy(to, in->Bytes.data() + in->At, n);
  in->At += n;
  if (n < static_cast<size_t>(count)) in->Cut = true;
  return static_cast<int>(n);
}

struct GifFile {
  GifFileType* Gif = nullptr;
  ~GifFile() {
    int error = 0;
    if (Gif) DGifCloseFile(Gif, &error);
  }
};

class GifReader {
 public:
  GifReader(std::string_view bytes, InkRows& rows) : rows_(rows) { input_.Bytes = bytes; }

  void Read() {
    int error = 0;
    file_.Gif = DGifOpen(&input_, GifBytes, &error);
    if (!file_.Gif) Fail(error);
    GifFileType* gif = file_.Gif;
    rows_.Start(gif->SWidth, gif->SHeight);
    int transparent = -1;
    for (;;) {
      GifRecordType type = UNDEFINED_RECORD_TYPE;
      if (DGifGetRecordType(gif, &type) == GIF_ERROR) Fail(gif->Error);
      if (type == IMAGE_DESC_RECORD_TYPE) return Frame(transparent);
      if (type == TERMINATE_RECORD_TYPE) rows_.Refuse("it holds no picture");
      if (type != EXTENSION_RECORD_TYPE) Fail(D_GIF_ERR_WRONG_RECORD);
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) Fail(gif->Error);
      // The last graphic control before the picture tells its transparent colour.
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] == 4) transparent = (block[1] & 1) ? block[4] : -1;
      while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) Fail(gif->Error);
    }
  }

 private:
  [[noreturn]] void Fail(int error) {
    if (input_.Cut) rows_.Refuse("cut short");
    const char* what = GifErrorString(error);
    rows_.Refuse(std::string("damaged: ") + (what ? what : "unknown error"));
  }

  // The first frame is the picture: its transparent pixels white; what it
  // does not cover the screen's background colour, or white when that is
  // colour 0.
  void Frame(int transparent) {
    GifFileType* gif = file_.Gif;
    if (DGifGetImageDesc(gif) == GIF_ERROR) Fail(gif->Error);
    const GifImageDesc& frame = gif->Image;
    if (frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 || frame.Height <= 0 ||
        static_cast<long>(frame.Left) + frame.Width > gif->SWidth ||
        static_cast<long>(frame.Top) + frame.Height > gif->SHeight)
      rows_.Refuse("its frame of " + std::to_string(frame.Width) + " x " + std::to_string(frame.Height) + " at " +
                   std::to_string(frame.Left) + "," + std::to_string(frame.Top) + " is not within its " +
                   std::to_string(gif->SWidth) + " x " + std::to_string(gif->SHeight) + " screen");
    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colours) rows_.Refuse("damaged: no colour table");
    std::array<uint8_t, 256> inkOf{};  // colours past the table, and the transparent one: no ink
    for (int i = 0; i < std::min(colours->ColorCount, 256); ++i)
      if (i != transparent) inkOf[i] = InkOf(colours->Colors[i].Red, colours->Colors[i].Green, colours->Colors[i].Blue);
    std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
    static constexpr int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    // An interlaced frame's rows come every 8th from 0, every 8th from 4,
    // every 4th from 2, then every 2nd from 1.
    int pass = frame.Interlace ? 0 : 3, y = 0;
    for (int r = 0, dy = frame.Interlace ? step[0] : 1; r < frame.Height; ++r) {
      if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) Fail(gif->Error);
      uint8_t* ink = rows_.Row(frame.Top + y) + frame.Left;
      for (int x = 0; x < frame.Width; ++x) ink[x] = inkOf[line[static_cast<size_t>(x)]];
      y += dy;
      while (frame.Interlace && y >= frame.Height && pass < 3) y = start[++pass], dy = step[pass];
    }
    Background(frame);
  }

  void Background(const GifImageDesc& frame) {
    GifFileType* gif = file_.Gif;
    const int index = gif->SBackGroundColor;
    if (index <= 0) return;
    const ColorMapObject* map = gif->SColorMap;
    const GifColorType colour = map && index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
    const uint8_t ink = InkOf(colour.Red, colour.Green, colour.Blue);
    for (int y = 0; y < rows_.Height(); ++y) {
      uint8_t* row = rows_.Row(y);
      const bool inside = y >= frame.Top && y < frame.Top + frame.Height;
      for (int x = 0; x < rows_.Width(); ++x)
        if (!inside || x < frame.Left || x >= frame.Left + frame.Width) row[x] = ink;
    }
  }

  InkRows& rows_;
  GifInput input_;
  GifFile file_;
};

// ---- BMP -------------------------------------------------------------------

class BmpReader {
 public:
  BmpReader(std::string_view bytes, InkRows& rows) : b_(bytes), rows_(rows) {}

  void Read(double& dpi) {
    Header(dpi);
    const bool bottomUp = static_cast<int32_t>(height_) > 0;
    const long long height = std::llabs(static_cast<long long>(static_cast<int32_t>(height_)));
    rows_.Start(width_, height);
    const int width = rows_.Width();
    // The palette fills what lies between the header and the pixels (3
    // bytes a colour after a 12-byte header, else 4).
    if (hsz_ == 12 ? bpp_ < 24 : bpp_ < 16) palette_ = (offset_ - extra_ - hsz_) / (hsz_ == 12 ? 3 : 4);
    if (palette_ == 0 && offset_ != extra_ + hsz_) Damaged("its pixels are not where its header says");
    size_t rowBytes = 0, pad = 0;
    if (bpp_ < 16) {
      if (bpp_ != 1 && bpp_ != 4 && bpp_ != 8) Damaged(std::to_string(bpp_) + " bits a pixel");
      palette_ = std::min(palette_, 1 << bpp_);
      if (palette_ <= 0) Damaged("its palette");
      ReadPalette();
      rowBytes = bpp_ == 1 ? (width + 7) / 8 : bpp_ == 4 ? (width + 1) / 2 : width;
      pad = (4 - rowBytes % 4) % 4;
    } else {
      if (bpp_ != 16 && bpp_ != 24 && bpp_ != 32) Damaged(std::to_string(bpp_) + " bits a pixel");
      rowBytes = static_cast<size_t>(width) * (bpp_ / 8);
      pad = bpp_ == 32 ? 0 : (4 - rowBytes % 4) % 4;
      Masks();
    }
    const size_t stride = rowBytes + pad, start = static_cast<size_t>(offset_);
    if (start > b_.size() || (b_.size() - start + pad) / stride < static_cast<size_t>(height))
      rows_.Refuse("cut short");
    const bool opaque = bpp_ == 32 && noAlphaUnlessSeen_ && NoAlpha(start, stride, height);
    std::vector<uint8_t> line(static_cast<size_t>(width) * 4);
    for (long long j = 0; j < height; ++j) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(b_.data()) + start + stride * j;
      if (bpp_ < 16)
        PaletteRow(p, line.data(), width);
      else
        DirectRow(p, line.data(), width, opaque);
      rows_.Put(static_cast<int>(bottomUp ? height - 1 - j : j), line.data(), 4, width);
    }
  }

 private:
  [[noreturn]] void Damaged(const std::string& what) const { rows_.Refuse("damaged: " + what); }

  unsigned U8(size_t at) const {
    if (at >= b_.size()) rows_.Refuse("cut short");
    return static_cast<uint8_t>(b_[at]);
  }
  unsigned U16(size_t at) const { return U8(at) | (U8(at + 1) << 8); }
  uint32_t U32(size_t at) const { return U16(at) | (static_cast<uint32_t>(U16(at + 2)) << 16); }

  void Header(double& dpi) {
    offset_ = static_cast<int32_t>(U32(10));
    hsz_ = static_cast<int>(U32(14));
    if (offset_ < 0) Damaged("its pixels are not where its header says");
    if (hsz_ != 12 && hsz_ != 40 && hsz_ != 56 && hsz_ != 108 && hsz_ != 124) Damaged("an unknown header");
    const size_t at = hsz_ == 12 ? 22 : 26;
    width_ = hsz_ == 12 ? U16(18) : U32(18), height_ = hsz_ == 12 ? U16(20) : U32(22);
    if (U16(at) != 1) Damaged("its planes");
    bpp_ = static_cast<int>(U16(at + 2));
    if (hsz_ == 12) return;
    const int32_t compression = static_cast<int32_t>(U32(30));
    if (compression == 1 || compression == 2) rows_.Refuse("run-length compressed pictures are not read");
    if (compression >= 4) rows_.Refuse("compression " + std::to_string(compression) + " is not read");
    if (compression == 3 && bpp_ != 16 && bpp_ != 32) Damaged("its masks");
    if (const uint32_t perMetre = U32(38); perMetre > 0) dpi = perMetre * 0.0254;
    if (hsz_ == 40 || hsz_ == 56) {
      if (bpp_ != 16 && bpp_ != 32) return;
      if (compression == 0) return Defaults();
      if (compression != 3) Damaged("its compression");
      const size_t masks = hsz_ == 56 ? 70 : 54;  // as other readers take them: past a 56-byte header
      red_ = U32(masks), green_ = U32(masks + 4), blue_ = U32(masks + 8);
      extra_ += 12;
      if (red_ == green_ && green_ == blue_) Damaged("its masks");
    } else {
      red_ = U32(54), green_ = U32(58), blue_ = U32(62), alpha_ = U32(66);
      if (compression == 0) Defaults();
    }
  }

  void Defaults() {
    red_ = green_ = blue_ = alpha_ = 0;
    if (bpp_ == 16) red_ = 31u << 10, green_ = 31u << 5, blue_ = 31u;
    // 32-bit pixels: an alpha byte that is 0 throughout is no alpha.
    if (bpp_ == 32)
      red_ = 0xFFu << 16, green_ = 0xFFu << 8, blue_ = 0xFFu, alpha_ = 0xFFu << 24, noAlphaUnlessSeen_ = true;
  }

  void ReadPalette() {
    const size_t entry = hsz_ == 12 ? 3 : 4, at = static_cast<size_t>(extra_ + hsz_);
    if (offset_ - extra_ - hsz_ - palette_ * static_cast<int>(entry) < 0) Damaged("its palette");
    for (int i = 0; i < palette_; ++i)
      for (int c = 0; c < 3; ++c) colours_[i][2 - c] = static_cast<uint8_t>(U8(at + i * entry + c));
  }

  void PaletteRow(const uint8_t* p, uint8_t* out, int width) const {
    for (int x = 0; x < width; ++x, out += 4) {
      const unsigned index = bpp_ == 8   ? p[x]
                             : bpp_ == 4 ? (p[x / 2] >> (x % 2 ? 0 : 4)) & 15
                                         : (p[x / 8] >> (7 - x % 8)) & 1;
      std::memcpy(out, colours_[index].data(), 3);
      out[3] = 255;
    }
  }

  struct Channel {
    uint32_t Mask = 0;
    int Shift = 0, Bits = 0;
    unsigned Of(uint32_t v) const {  // the masked bits widened to 8
      static constexpr unsigned multiply[9] = {0, 0xff, 0x55, 0x49, 0x11, 0x21, 0x41, 0x81, 0x01};
      static constexpr unsigned shift[9] = {0, 0, 0, 1, 0, 2, 4, 6, 0};
      v &= Mask;
      v = Shift < 0 ? v << -Shift : v >> Shift;
      v >>= 8 - Bits;
      return (v * multiply[Bits]) >> shift[Bits];
    }
  };
  static Channel ChannelOf(uint32_t mask) {
    Channel c;
    c.Mask = mask;
    if (mask == 0) return c;
    int high = 31;
    while (!(mask & (1u << high))) --high;
    c.Shift = high - 7, c.Bits = __builtin_popcount(mask);
    return c;
  }

  void Masks() {
    easy_ = bpp_ == 24                                                                                     ? 1
            : bpp_ == 32 && blue_ == 0xFF && green_ == 0xFF00 && red_ == 0xFF0000 && alpha_ == 0xFF000000u ? 2
                                                                                                           : 0;
    if (easy_) return;
    if (!red_ || !green_ || !blue_) Damaged("its masks");
    channels_ = {ChannelOf(red_), ChannelOf(green_), ChannelOf(blue_), ChannelOf(alpha_)};
    for (const Channel& c : channels_)
      if (c.Bits > 8) Damaged("its masks");
  }

  bool NoAlpha(size_t start, size_t stride, long long height) const {
    for (long long j = 0; j < height; ++j)
      for (int x = 0; x < rows_.Width(); ++x)
        if (b_[start + stride * j + x * 4 + 3] != 0) return false;
    return true;
  }

  void DirectRow(const uint8_t* p, uint8_t* out, int width, bool opaque) const {
    for (int x = 0; x < width; ++x, out += 4) {
      if (easy_) {
        const uint8_t* q = p + x * (easy_ == 2 ? 4 : 3);
        out[0] = q[2], out[1] = q[1], out[2] = q[0], out[3] = easy_ == 2 && !opaque ? q[3] : 255;
        continue;
      }
      const uint8_t* q = p + x * (bpp_ / 8);
      const uint32_t v =
          bpp_ == 16 ? (q[0] | (q[1] << 8)) : (q[0] | (q[1] << 8) | (q[2] << 16) | (uint32_t{q[3]} << 24));
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(channels_[c].Of(v));
      out[3] = alpha_ && !opaque ? static_cast<uint8_t>(channels_[3].Of(v)) : 255;
    }
  }

  std::string_view b_;
  InkRows& rows_;
  int32_t offset_ = 0;
  int hsz_ = 0, bpp_ = 0, extra_ = 14, palette_ = 0, easy_ = 0;
  uint32_t width_ = 0, height_ = 0, red_ = 0, green_ = 0, blue_ = 0, alpha_ = 0;
  bool noAlphaUnlessSeen_ = false;
  std::array<std::array<uint8_t, 3>, 256> colours_{};
  std::array<Channel, 4> channels_{};
};

}  // namespace

void DecodeGif(std::string_view bytes, InkRows& rows) { GifReader(bytes, rows).Read(); }

void DecodeBmp(std::string_view bytes, InkRows& rows, double& dpi) { BmpReader(bytes, rows).Read(dpi); }

}  // namespace morvel::print::detail

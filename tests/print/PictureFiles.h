// Picture files made for the decoding tests: PNG, JPEG and GIF through
// the encoders of libpng, libjpeg and giflib, BMP byte by byte, all of one
// scene (greys, colours, edges, and transparency where the format has it);
// and the hostile files a decoder must refuse before it takes memory.
#pragma once

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <gif_lib.h>
#include <png.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace morvel::testing {

// The scene's colour at (x, y), RGBA: a grey ramp, coloured bands, a black
// bar, and an alpha that fades along y.
inline std::array<uint8_t, 4> SceneAt(int x, int y) {
  const auto v = [](int n) { return static_cast<uint8_t>(n & 0xFF); };
  if (x % 17 < 3) return {0, 0, 0, 255};
  return {v(x * 7 + y), v(x * 3 + y * 5), v(255 - x * 11 + y), v(255 - y * 9)};
}

// ---- PNG -------------------------------------------------------------------

struct PngMaking {
  int Width = 37, Height = 23, ColorType = PNG_COLOR_TYPE_RGB, Depth = 8;
  bool Interlaced = false, Transparency = false;  // tRNS: a colour, or a palette's alphas
  double Dpi = 0;
};

inline void PngAppend(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

inline std::string PngFile(const PngMaking& s) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, PngAppend, nullptr);
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, s.Width, s.Height, s.Depth, s.ColorType,
               s.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  const int colours = 1 << s.Depth;
  std::vector<png_color> palette;
  std::vector<png_byte> alphas;
  for (int i = 0; i < std::min(colours, 256); ++i) {
    const auto c = SceneAt(i * 5 + 3, i);
    palette.push_back({c[0], c[1], c[2]});
    alphas.push_back(c[3]);
  }
  png_color_16 key{};
  key.gray = static_cast<png_uint_16>(s.Depth == 16 ? 0x1234 : (1 << s.Depth) - 1);
  key.red = key.green = key.blue = static_cast<png_uint_16>(s.Depth == 16 ? 0x1234 : 0);
  if (s.ColorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (s.Transparency)
    png_set_tRNS(png, info, alphas.data(), s.ColorType == PNG_COLOR_TYPE_PALETTE ? static_cast<int>(alphas.size()) : 0,
                 &key);
  if (s.Dpi > 0) {
    const auto perMetre = static_cast<png_uint_32>(s.Dpi / 0.0254 + 0.5);
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
  }
  const int channels = png_get_channels(png, info);
  std::vector<std::vector<png_byte>> rows(static_cast<size_t>(s.Height));
  for (int y = 0; y < s.Height; ++y) {
    std::vector<unsigned> samples;  // every sample of the row, at the file's depth
    for (int x = 0; x < s.Width; ++x) {
      const auto c = SceneAt(x, y);
      const unsigned grey = (c[0] + c[1] + c[2]) / 3, low = ((x * 2654435761u) ^ (y * 40503u)) >> 13 & 0xFF;
      const auto at = [&](unsigned v) { return s.Depth == 16 ? (v << 8 | low) : v >> (8 - std::min(s.Depth, 8)); };
      if (s.ColorType == PNG_COLOR_TYPE_PALETTE) samples.push_back(static_cast<unsigned>((x + 3 * y) % colours));
      if (s.ColorType == PNG_COLOR_TYPE_GRAY || s.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA) samples.push_back(at(grey));
      if (s.ColorType & PNG_COLOR_MASK_COLOR && s.ColorType != PNG_COLOR_TYPE_PALETTE)
        for (int k = 0; k < 3; ++k) samples.push_back(at(c[k]));
      if (s.ColorType & PNG_COLOR_MASK_ALPHA) samples.push_back(at(c[3]));
      if (s.Transparency && x % 5 == 0 && s.ColorType != PNG_COLOR_TYPE_PALETTE)  // the key colour, now and then
        for (int k = 0; k < channels; ++k)
          samples[samples.size() - 1 - k] =
              s.Depth == 16 ? 0x1234 : (k == 0 && s.ColorType == PNG_COLOR_TYPE_GRAY ? (1u << s.Depth) - 1 : 0);
    }
    auto& row = rows[static_cast<size_t>(y)];
    row.assign((static_cast<size_t>(s.Width) * channels * s.Depth + 7) / 8, 0);
    for (size_t i = 0; i < samples.size(); ++i) {
      if (s.Depth == 16) {
        row[2 * i] = static_cast<png_byte>(samples[i] >> 8), row[2 * i + 1] = static_cast<png_byte>(samples[i]);
      } else {
        const size_t bit = i * s.Depth;
        row[bit / 8] = static_cast<png_byte>(row[bit / 8] | samples[i] << (8 - s.Depth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

inline void Put32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

inline std::string PngChunk(const std::string& type, const std::string& data) {
  std::string out;
  Put32(out, static_cast<uint32_t>(data.size()));
  const std::string body = type + data;
  out += body;
  Put32(out,
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  return out;
}

// A PNG whose header says width x height greys and whose pixel data
// inflates to `inflated` bytes of zeros, deflated a block at a time.
inline std::string InflatingPng(uint32_t width, uint32_t height, size_t inflated) {
  std::string header;
  Put32(header, width);
  Put32(header, height);
  header += std::string("\x08\x00\x00\x00\x00", 5);
  z_stream z{};
  deflateInit(&z, 9);
  std::vector<Bytef> zeros(1 << 16, 0), buffer(1 << 16);
  std::string data;
  for (size_t left = inflated; left > 0 || z.avail_in > 0;) {
    const size_t n = std::min(left, zeros.size());
    z.next_in = zeros.data(), z.avail_in = static_cast<uInt>(n);
    left -= n;
    do {
      z.next_out = buffer.data(), z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
      data.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return "\x89PNG\r\n\x1a\n" + PngChunk("IHDR", header) + PngChunk("IDAT", data) + PngChunk("IEND", "");
}

// ---- JPEG ------------------------------------------------------------------

struct JpegMaking {
  int Width = 37, Height = 23;
  J_COLOR_SPACE In = JCS_RGB, Stored = JCS_YCbCr;  // JCS_GRAYSCALE, JCS_RGB or JCS_CMYK; as stored
  bool Progressive = false;
  int DensityUnit = 0, Density = 72;  // JFIF: 1 dots an inch, 2 a centimetre
};

inline std::string JpegFile(const JpegMaking& s) {
  jpeg_compress_struct c{};
  jpeg_error_mgr errors{};
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(s.Width), c.image_height = static_cast<JDIMENSION>(s.Height);
  c.input_components = s.In == JCS_GRAYSCALE ? 1 : s.In == JCS_RGB ? 3 : 4;
  c.in_color_space = s.In;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, s.Stored);
  jpeg_set_quality(&c, 85, TRUE);
  c.density_unit = static_cast<UINT8>(s.DensityUnit);
  c.X_density = c.Y_density = static_cast<UINT16>(s.Density);
  if (s.Progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(s.Width) * c.input_components);
  while (c.next_scanline < c.image_height) {
    for (int x = 0; x < s.Width; ++x) {
      const auto p = SceneAt(x, static_cast<int>(c.next_scanline));
      for (int k = 0; k < c.input_components; ++k)
        row[static_cast<size_t>(x) * c.input_components + k] = c.input_components == 1 ? p[0] : p[k];
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  free(buffer);
  return out;
}

// ---- GIF -------------------------------------------------------------------

struct GifMaking {
  int Width = 37, Height = 23;                               // the screen
  int Left = 0, Top = 0, FrameWidth = 37, FrameHeight = 23;  // the first frame
  int Transparent = -1, Background = 0;                      // colour indices
  bool Interlaced = false, LocalColours = false;
};

inline int GifAppend(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
  return length;
}

inline std::string GifFile(const GifMaking& s) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, GifAppend, &error);
  std::vector<GifColorType> colours;
  for (int i = 0; i < 64; ++i) {
    const auto c = SceneAt(i * 4, i);
    colours.push_back({c[0], c[1], c[2]});
  }
  ColorMapObject* map = GifMakeMapObject(64, colours.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, s.Width, s.Height, 8, s.Background, s.LocalColours ? nullptr : map);
  if (s.Transparent >= 0) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, s.Transparent};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
  }
  EGifPutImageDesc(gif, s.Left, s.Top, s.FrameWidth, s.FrameHeight, s.Interlaced, s.LocalColours ? map : nullptr);
  std::vector<int> order;  // the rows in the file's order
  for (int pass = 0, start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2}; pass < (s.Interlaced ? 4 : 1); ++pass)
    for (int y = s.Interlaced ? start[pass] : 0; y < s.FrameHeight; y += s.Interlaced ? step[pass] : 1)
      order.push_back(y);
  std::vector<GifPixelType> line(static_cast<size_t>(s.FrameWidth));
  for (int y : order) {
    for (int x = 0; x < s.FrameWidth; ++x)
      line[static_cast<size_t>(x)] = static_cast<GifPixelType>((x * 3 + y * 7) % 64);
    EGifPutLine(gif, line.data(), s.FrameWidth);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// ---- BMP -------------------------------------------------------------------

struct BmpMaking {
  int Header = 40, Bits = 24, Width = 37, Height = 23;
  bool TopDown = false, Masks = false;  // BI_BITFIELDS: 5-6-5 or 8-8-8-8 masks
  int PerMetre = 0;
  bool ClearAlpha = false;  // 32-bit pixels whose alpha byte is 0 throughout
};

inline void PutLe(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::string BmpFile(const BmpMaking& s) {
  const bool os2 = s.Header == 12, palette = s.Bits <= 8;
  const int entries = palette ? 1 << s.Bits : 0, entry = os2 ? 3 : 4;
  const bool masksAfter = s.Masks && s.Header == 40;
  const uint32_t offset = 14 + s.Header + (masksAfter ? 12 : 0) + entries * entry;
  std::string out = "BM";
  PutLe(out, 0, 4), PutLe(out, 0, 4), PutLe(out, offset, 4), PutLe(out, static_cast<uint32_t>(s.Header), 4);
  const uint32_t height = s.TopDown ? static_cast<uint32_t>(-s.Height) : static_cast<uint32_t>(s.Height);
  if (os2) {
    PutLe(out, static_cast<uint32_t>(s.Width), 2), PutLe(out, height, 2);
  } else {
    PutLe(out, static_cast<uint32_t>(s.Width), 4), PutLe(out, height, 4);
  }
  PutLe(out, 1, 2), PutLe(out, static_cast<uint32_t>(s.Bits), 2);
  const uint32_t red = s.Bits == 16 ? 0xF800 : 0xFF0000, green = s.Bits == 16 ? 0x7E0 : 0xFF00,
                 blue = s.Bits == 16 ? 0x1F : 0xFF, alpha = s.Bits == 32 ? 0xFF000000u : 0;
  if (!os2) {
    PutLe(out, s.Masks ? 3 : 0, 4), PutLe(out, 0, 4), PutLe(out, static_cast<uint32_t>(s.PerMetre), 4);
    PutLe(out, static_cast<uint32_t>(s.PerMetre), 4), PutLe(out, 0, 4), PutLe(out, 0, 4);
    if (s.Header > 40 || masksAfter) PutLe(out, red, 4), PutLe(out, green, 4), PutLe(out, blue, 4);
    if (s.Header > 40) PutLe(out, alpha, 4);
    out.resize(14 + static_cast<size_t>(s.Header) + (masksAfter ? 12 : 0), '\0');
  }
  for (int i = 0; i < entries; ++i) {
    const auto c = SceneAt(i * 9 + 1, i);
    out += static_cast<char>(c[2]), out += static_cast<char>(c[1]), out += static_cast<char>(c[0]);
    if (!os2) out += '\0';
  }
  for (int j = 0; j < s.Height; ++j) {
    const int y = s.TopDown ? j : s.Height - 1 - j;
    std::string row;
    for (int x = 0; x < s.Width; ++x) {
      const auto c = SceneAt(x, y);
      const unsigned index = static_cast<unsigned>(x + 2 * y) % (entries ? entries : 1);
      if (s.Bits == 1 || s.Bits == 4) {
        if (x * s.Bits % 8 == 0) row += '\0';
        row.back() = static_cast<char>(row.back() | index << (8 - s.Bits - x * s.Bits % 8));
      } else if (s.Bits == 8) {
        row += static_cast<char>(index);
      } else if (s.Bits == 16) {
        PutLe(row, (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3, 2);
      } else {
        row += static_cast<char>(c[2]), row += static_cast<char>(c[1]), row += static_cast<char>(c[0]);
        if (s.Bits == 32) row += static_cast<char>(s.ClearAlpha ? 0 : c[3]);
      }
    }
    row.resize((row.size() + 3) / 4 * 4, '\0');
    out += row;
  }
  return out;
}

// ---- Hostile files --------------------------------------------------------

// A JPEG of `width` x `height` whose frame header is preceded by a fill
// byte (0xFF), as the format allows before any marker.
inline std::string JpegWithFillByte(uint16_t width, uint16_t height) {
  std::string file = JpegFile({16, 16, JCS_GRAYSCALE, JCS_GRAYSCALE, false, 0, 72});
  const size_t frame = file.find("\xFF\xC0");
  file[frame + 5] = static_cast<char>(height >> 8), file[frame + 6] = static_cast<char>(height & 0xFF);
  file[frame + 7] = static_cast<char>(width >> 8), file[frame + 8] = static_cast<char>(width & 0xFF);
  return file.insert(frame, "\xFF");
}

// A progressive JPEG followed by `scans` scans with no data (refinements
// of the first component's DC), each a pass over the picture.
inline std::string JpegWithEmptyScans(int scans) {
  std::string file = JpegFile({512, 512, JCS_GRAYSCALE, JCS_GRAYSCALE, true, 0, 72});
  file.resize(file.size() - 2);  // its end
  for (int i = 0; i < scans; ++i) file += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x00\x10", 10);
  return file + "\xFF\xD9";
}

// A GIF of a 10 x 10 screen whose first frame says it is `width` x
// `height` at (left, top), its data that of a 4 x 4 frame.
inline std::string GifWithFrame(uint16_t left, uint16_t top, uint16_t width, uint16_t height) {
  std::string file = GifFile({10, 10, 0, 0, 4, 4});
  const size_t frame = 13 + 64 * 3;  // past the screen and its colours
  const uint16_t fields[] = {left, top, width, height};
  for (size_t i = 0; i < 4; ++i)
    file[frame + 1 + 2 * i] = static_cast<char>(fields[i] & 0xFF),
                         file[frame + 2 + 2 * i] = static_cast<char>(fields[i] >> 8);
  return file;
}

// An OS/2 BMP (12-byte header) of 11,000 x 48,000 pixels in 90 bytes.
inline std::string HugeOs2Bmp() {
  std::string file = BmpFile({12, 24, 1, 1});
  file[18] = static_cast<char>(11000 & 0xFF), file[19] = static_cast<char>(11000 >> 8);
  file[20] = static_cast<char>(48000 & 0xFF), file[21] = static_cast<char>(48000 >> 8);
  file.resize(90, '\0');
  return file;
}

// The hostile pictures, each with the start of what refuses it.
struct Hostile {
  const char* Name;
  std::string File;
  const char* Cause;
};

inline std::vector<Hostile> HostilePictures() {
  const auto cut = [](std::string file) { return file.substr(0, file.size() * 3 / 5); };
  return {
      {"PngInflatingPastItsHeader", InflatingPng(1, 1, 256u << 20),
       "not a PNG picture that can be read (its pixel data holds more than its 1 x 1 pixels)"},
      {"PngInflatingPastItsRows", InflatingPng(300, 200, 64u << 20), "holds more than its 300 x 200"},
      {"PngOverThePixelBound", InflatingPng(7000, 7000, 1000), "7000 x 7000 pixels; at most 36 million"},
      {"PngTooWide", InflatingPng(40000, 2, 1000), "40000 x 2 pixels; at most 32767 a side"},
      {"JpegWithAFillByteBeforeItsFrame", JpegWithFillByte(8000, 8000),
       "the picture is 8000 x 8000 pixels; at most 36 million are printed"},
      {"JpegOfEmptyScans", JpegWithEmptyScans(2000), "more than 500 scans"},
      {"BmpOs2Huge", HugeOs2Bmp(), "the picture is 11000 x 48000 pixels"},
      {"GifFrameOutsideItsScreen", GifWithFrame(0, 0, 60000, 60000),
       "its frame of 60000 x 60000 at 0,0 is not within its 10 x 10 screen"},
      {"GifFrameOffItsScreen", GifWithFrame(8, 0, 4, 4), "is not within its 10 x 10 screen"},
      {"PngCutShort", cut(PngFile({})), "not a PNG picture that can be read (cut short)"},
      {"JpegCutShort", cut(JpegFile({})), "not a JPEG picture that can be read (cut short)"},
      {"GifCutShort", cut(GifFile({})), "not a GIF picture that can be read (cut short)"},
      {"BmpCutShort", cut(BmpFile({})), "not a BMP picture that can be read (cut short)"},
      {"BmpRunLength",
       [] {
         auto f = BmpFile({40, 8});
         f[30] = 1;
         return f;
       }(),
       "run-length"},
  };
}

}  // namespace morvel::testing

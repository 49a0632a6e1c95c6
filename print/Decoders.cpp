// PNG through libpng and JPEG through libjpeg, a row at a time. Both
// report errors by a long jump: the functions that set the jump point hold
// nothing that needs destroying, and what they fill lives in their callers.
#include "print/Decoders.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE
#include <csetjmp>
#include <jpeglib.h>
#include <jerror.h>
#include <png.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <vector>

namespace morvel::print::detail {

void InkRows::Start(long long width, long long height) {
  if (width <= 0 || height <= 0) Refuse("it has no pixels");
  if (width * height > MaxPicturePixels)
    throw DocumentError("the picture is " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels; at most " + std::to_string(MaxPicturePixels / 1000000) + " million are printed");
  if (width > MaxPictureSide || height > MaxPictureSide)
    throw DocumentError("the picture is " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels; at most " + std::to_string(MaxPictureSide) + " a side are printed");
  ink_.Ink = cairo_image_surface_create(CAIRO_FORMAT_A8, static_cast<int>(width), static_cast<int>(height));
  if (cairo_surface_status(ink_.Ink) != CAIRO_STATUS_SUCCESS) throw DocumentError("out of memory for a picture");
  cairo_surface_flush(ink_.Ink);
  width_ = static_cast<int>(width), height_ = static_cast<int>(height);
  stride_ = cairo_image_surface_get_stride(ink_.Ink);
  data_ = cairo_image_surface_get_data(ink_.Ink);
}

void InkRows::Put(int y, const uint8_t* pixels, int channels, int count, int x, int step) {
  uint8_t* ink = Row(y);
  for (int i = 0; i < count; ++i, x += step, pixels += channels) {
    if (channels == 1)
      ink[x] = static_cast<uint8_t>(255 - pixels[0]);
    else
      ink[x] = InkOf(pixels[0], pixels[1], pixels[2], channels == 4 ? pixels[3] : 255);
  }
}

void InkRows::Finish() { cairo_surface_mark_dirty(ink_.Ink); }

void InkRows::Refuse(const std::string& why) const {
  throw DocumentError(std::string("not a ") + NameOf(kind_) + " picture that can be read (" + why + ")");
}

double DecodePicture(std::string_view bytes, Format kind, InkPicture& ink) {
  InkRows rows(ink, kind);
  double dpi = 0;
  switch (kind) {
    case Format::Png: DecodePng(bytes, rows, dpi); break;
    case Format::Jpeg: DecodeJpeg(bytes, rows, dpi); break;
    case Format::Gif: DecodeGif(bytes, rows); break;
    case Format::Bmp: DecodeBmp(bytes, rows, dpi); break;
    default: rows.Refuse("not a picture");
  }
  rows.Finish();
  return dpi < 10 || dpi > 10000 ? 0 : dpi;  // a resolution no label picture has: not told
}

namespace {

// ---- PNG -------------------------------------------------------------------

struct PngRead {
  std::string_view Bytes;
  size_t At = 0;
  bool Cut = false, Excess = false;
  char Error[200] = "";
};

void PngFailed(png_structp png, png_const_charp message) {
  auto* read = static_cast<PngRead*>(png_get_error_ptr(png));
  if (read->Error[0] == 0) std::snprintf(read->Error, sizeof read->Error, "%s", message);
  png_longjmp(png, 1);
}

// libpng tells of pixel data left over when the rows are read as a
// warning ("IDAT: Too much image data"), and would go on inflating it: the
// picture holds more than its header says, and is refused there.
void PngWarned(png_structp png, png_const_charp message) {
  auto* read = static_cast<PngRead*>(png_get_error_ptr(png));
  if (std::strstr(message, "Too much image data") || std::strstr(message, "Extra compressed data")) {
    read->Excess = true;
    png_longjmp(png, 1);
  }
}

void PngBytes(png_structp png, png_bytep to, size_t count) {
  auto* read = static_cast<PngRead*>(png_get_io_ptr(png));
  if (count > read->Bytes.size() - read->At) {
    read->Cut = true;
    png_error(png, "cut short");
  }
  std::memcpy(to, read->Bytes.data() + read->At, count);
  read->At += count;
}

// The compressed pixel data (IDAT) the file holds past `at`.
size_t PixelDataAfter(std::string_view b, size_t at) {
  const auto big32 = [&](size_t i) {
    return size_t{static_cast<uint8_t>(b[i])} << 24 | size_t{static_cast<uint8_t>(b[i + 1])} << 16 |
           size_t{static_cast<uint8_t>(b[i + 2])} << 8 | size_t{static_cast<uint8_t>(b[i + 3])};
  };
  size_t left = 0;
  for (size_t chunk = 8; chunk + 8 <= b.size();) {
    const size_t start = chunk + 8, end = std::min(b.size(), start + big32(chunk));
    if (b.substr(chunk + 4, 4) == "IDAT" && end > at) left += end - std::max(at, start);
    chunk = end + 4;
  }
  return left;
}

// Reads the rows into `rows` as RGBA (colours and greys to 8 bits, a
// palette's or tRNS's transparency as alpha); the passes of an interlaced
// picture are placed where they belong, so no pass is kept. False when
// libpng refused the file.
bool ReadPng(png_structp png, png_infop info, PngRead& read, InkRows& rows, std::vector<uint8_t>& line, double& dpi) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  rows.Start(width, height);
  png_uint_32 x = 0, y = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER) dpi = x * 0.0254;
  // A row as the file holds it: its filter byte and its samples.
  const size_t fileRow =
      1 + (static_cast<size_t>(width) * png_get_channels(png, info) * png_get_bit_depth(png, info) + 7) / 8;
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) png_error(png, "unexpected row layout");
  line.resize(static_cast<size_t>(width) * 4);
  const bool interlaced = png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7;
  int lastPass = 0;
  for (int pass = 1; interlaced && pass < 7; ++pass)
    if (PNG_PASS_COLS(width, pass) > 0 && PNG_PASS_ROWS(height, pass) > 0) lastPass = pass;
  for (int pass = 0; pass <= lastPass; ++pass) {
    const png_uint_32 columns = interlaced ? PNG_PASS_COLS(width, pass) : width;
    const png_uint_32 passRows = interlaced ? PNG_PASS_ROWS(height, pass) : height;
    if (columns == 0 || passRows == 0) continue;  // libpng skips an empty pass
    const int x0 = interlaced ? PNG_PASS_START_COL(pass) : 0, dx = interlaced ? PNG_PASS_COL_OFFSET(pass) : 1;
    const int y0 = interlaced ? PNG_PASS_START_ROW(pass) : 0, dy = interlaced ? PNG_PASS_ROW_OFFSET(pass) : 1;
    for (png_uint_32 r = 0; r < passRows; ++r) {
      // After its last row libpng inflates what is left: more than the
      // last row's data and the stream's end is refused unread.
      const bool last = r + 1 == passRows && pass == lastPass;
      if (last && PixelDataAfter(read.Bytes, read.At) > 2 * fileRow + (16 << 10)) {
        read.Excess = true;
        return false;
      }
      png_read_row(png, line.data(), nullptr);
      rows.Put(y0 + static_cast<int>(r) * dy, line.data(), 4, static_cast<int>(columns), x0, dx);
    }
  }
  return true;
}

// Reads the end of the pixel data, its checksum and the chunks after it.
bool FinishPng(png_structp png) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_end(png, nullptr);
  return true;
}

struct PngStructs {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~PngStructs() { png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr); }
};

// ---- JPEG ------------------------------------------------------------------

struct JpegRead {
  jpeg_decompress_struct Info{};
  jpeg_error_mgr Errors{};
  jpeg_progress_mgr Progress{};
  std::jmp_buf Jump{};
  int Code = 0;
  bool Cut = false, TooManyScans = false;
  char Error[JMSG_LENGTH_MAX] = "";
  ~JpegRead() { jpeg_destroy_decompress(&Info); }
};

JpegRead& ReadOf(j_common_ptr common) { return *static_cast<JpegRead*>(common->client_data); }

void JpegFailed(j_common_ptr common) {
  JpegRead& read = ReadOf(common);
  (*common->err->format_message)(common, read.Error);
  read.Code = common->err->msg_code;
  std::longjmp(read.Jump, 1);
}

// A warning is passed over (libjpeg goes on past damaged data as other
// readers do), except the end of the file before the end of the picture.
void JpegWarned(j_common_ptr common, int level) {
  if (level < 0 && common->err->msg_code == JWRN_JPEG_EOF) {
    ReadOf(common).Cut = true;
    std::longjmp(ReadOf(common).Jump, 1);
  }
}

// Called as each row of blocks or scan is read: every scan is a pass over
// the picture, so their number bounds the time a small file can take.
void JpegProgress(j_common_ptr common) {
  if (reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > MaxJpegScans) {
    ReadOf(common).TooManyScans = true;
    std::longjmp(ReadOf(common).Jump, 1);
  }
}

uint8_t Blinn(unsigned x, unsigned y) {  // x * y / 255, rounded
  const unsigned t = x * y + 128;
  return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// Reads the rows into `rows`: greys, RGB, and CMYK (as Adobe stores it,
// inverted) multiplied into RGB. False when libjpeg refused the file.
bool ReadJpeg(JpegRead& read, std::string_view bytes, InkRows& rows, std::vector<uint8_t>& line, double& dpi) {
  if (setjmp(read.Jump)) return false;
  jpeg_create_decompress(&read.Info);
  read.Info.mem->max_memory_to_use = MaxJpegMemory;
  read.Info.progress = &read.Progress;
  jpeg_mem_src(&read.Info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&read.Info, TRUE);
  rows.Start(read.Info.image_width, read.Info.image_height);
  if (read.Info.saw_JFIF_marker && read.Info.density_unit == 1) dpi = read.Info.X_density;
  if (read.Info.saw_JFIF_marker && read.Info.density_unit == 2) dpi = read.Info.X_density * 2.54;
  const int components = read.Info.num_components;
  if (components != 1 && components != 3 && components != 4)
    rows.Refuse(std::to_string(components) + " colour components");
  read.Info.out_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_start_decompress(&read.Info);
  if (read.Info.output_width != static_cast<JDIMENSION>(rows.Width()) ||
      read.Info.output_height != static_cast<JDIMENSION>(rows.Height()) || read.Info.output_components != components)
    rows.Refuse("unexpected output");
  line.resize(static_cast<size_t>(rows.Width()) * components);
  while (read.Info.output_scanline < read.Info.output_height) {
    const int y = static_cast<int>(read.Info.output_scanline);
    JSAMPROW row = line.data();
    if (jpeg_read_scanlines(&read.Info, &row, 1) != 1) rows.Refuse("cut short");
    if (components == 4)
      for (size_t i = 0, o = 0; i < line.size(); i += 4, o += 3) {
        const uint8_t k = line[i + 3];
        line[o] = Blinn(line[i], k), line[o + 1] = Blinn(line[i + 1], k), line[o + 2] = Blinn(line[i + 2], k);
      }
    rows.Put(y, line.data(), components == 1 ? 1 : 3, rows.Width());
  }
  return true;
}

}  // namespace

void DecodePng(std::string_view bytes, InkRows& rows, double& dpi) {
  PngRead read;
  read.Bytes = bytes;
  PngStructs png;
  png.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &read, PngFailed, PngWarned);
  if (png.Png) png.Info = png_create_info_struct(png.Png);
  if (!png.Png || !png.Info) throw DocumentError("out of memory for a picture");
  png_set_read_fn(png.Png, &read, PngBytes);
  png_set_user_limits(png.Png, MaxPicturePixels, MaxPicturePixels);  // the bounds are Start's
  png_set_chunk_malloc_max(png.Png, 8 << 20);  // text, profiles and other chunks kept while reading
  // A chunk whose checksum is wrong is read all the same, as other readers
  // read it: damaged pixel data still fails its inflating and its own check.
  png_set_crc_action(png.Png, PNG_CRC_WARN_USE, PNG_CRC_QUIET_USE);
  std::vector<uint8_t> line;
  const bool readWhole = ReadPng(png.Png, png.Info, read, rows, line, dpi) && FinishPng(png.Png);
  if (read.Excess)
    rows.Refuse("its pixel data holds more than its " + std::to_string(rows.Width()) + " x " +
                std::to_string(rows.Height()) + " pixels");
  if (read.Cut) rows.Refuse("cut short");
  if (!readWhole) rows.Refuse(std::string("damaged: ") + read.Error);
}

void DecodeJpeg(std::string_view bytes, InkRows& rows, double& dpi) {
  JpegRead read;
  read.Info.err = jpeg_std_error(&read.Errors);
  read.Errors.error_exit = JpegFailed;
  read.Errors.emit_message = JpegWarned;
  read.Info.client_data = &read;
  read.Progress.progress_monitor = JpegProgress;
  std::vector<uint8_t> line;
  if (ReadJpeg(read, bytes, rows, line, dpi)) return;
  if (read.Cut) rows.Refuse("cut short");
  if (read.TooManyScans)
    throw DocumentError("the JPEG picture has more than " + std::to_string(MaxJpegScans) +
                        " scans; no picture needs that many");
  if (read.Code == JERR_NO_BACKING_STORE || read.Code == JERR_OUT_OF_MEMORY)
    throw DocumentError("the JPEG picture needs more than " + std::to_string(MaxJpegMemory >> 20) + " MiB to decode");
  rows.Refuse(std::string("damaged: ") + read.Error);
}

}  // namespace morvel::print::detail

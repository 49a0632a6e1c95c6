// The picture decoders of morvel print: ordinary pictures of every layout
// give the ink they gave when stb_image decoded them whole (JPEG within the
// rounding of two IDCTs), and hostile pictures are refused with their cause
// in a process that cannot take much memory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/linux/adapters.h"
#include "print/Decoders.h"
#include "print/PictureFiles.h"
#include "support/Sanitizers.h"

namespace morvel::print::detail {
namespace {

using namespace morvel::testing;

struct Decoded {
  int Width = 0, Height = 0;
  double Dpi = 0;
  std::vector<uint8_t> Ink;
};

Decoded Decode(const std::string& file, print::Format kind) {
  InkPicture picture;
  Decoded d;
  d.Dpi = DecodePicture(file, kind, picture);
  cairo_surface_flush(picture.Ink);
  d.Width = cairo_image_surface_get_width(picture.Ink), d.Height = cairo_image_surface_get_height(picture.Ink);
  const uint8_t* data = cairo_image_surface_get_data(picture.Ink);
  for (int y = 0; y < d.Height; ++y) {
    const uint8_t* row = data + static_cast<size_t>(cairo_image_surface_get_stride(picture.Ink)) * y;
    d.Ink.insert(d.Ink.end(), row, row + d.Width);
  }
  return d;
}

// The ink as morvel print made it before: stb_image's RGBA, its grey over
// white, and the ink 255 - grey.
Decoded DecodedByStb(const std::string& file) {
  auto picture = platform::MakeStbPictures()->Decode(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  Decoded d;
  if (!picture) return d;
  d.Width = picture->Width(), d.Height = picture->Height();
  const auto& rgba = picture->Rgba();
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    const int level = (rgba[i] * 299 + rgba[i + 1] * 587 + rgba[i + 2] * 114) / 1000;
    const int grey = 255 - (255 - level) * rgba[i + 3] / 255;
    d.Ink.push_back(static_cast<uint8_t>(255 - grey));
  }
  return d;
}

struct Ordinary {
  const char* Name;
  print::Format Format;
  std::string File;
  double Dpi;                  // what the file records
  std::string Reference = {};  // the twin stb_image reads, when it misread this one
};

std::vector<Ordinary> OrdinaryPictures() {
  const auto png = [](const char* name, int type, int depth, bool interlaced = false, bool transparency = false) {
    return Ordinary{name, print::Format::Png, PngFile({37, 23, type, depth, interlaced, transparency, 300}), 300};
  };
  const auto bmp = [](const char* name, BmpMaking s) {
    s.PerMetre = 11811;
    return Ordinary{name, print::Format::Bmp, BmpFile(s), s.Header == 12 ? 0.0 : 300.0};
  };
  const auto gif = [](const char* name, GifMaking s) { return Ordinary{name, print::Format::Gif, GifFile(s), 0}; };
  return {
      png("PngGrey1", PNG_COLOR_TYPE_GRAY, 1),
      png("PngGrey2Interlaced", PNG_COLOR_TYPE_GRAY, 2, true),
      png("PngGrey4", PNG_COLOR_TYPE_GRAY, 4),
      png("PngGrey8Keyed", PNG_COLOR_TYPE_GRAY, 8, false, true),
      png("PngGrey16Keyed", PNG_COLOR_TYPE_GRAY, 16, false, true),
      png("PngGreyAlpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8),
      png("PngGreyAlpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16),
      png("PngRgb8Keyed", PNG_COLOR_TYPE_RGB, 8, false, true),
      png("PngRgb16", PNG_COLOR_TYPE_RGB, 16),
      png("PngRgba8Interlaced", PNG_COLOR_TYPE_RGBA, 8, true),
      png("PngRgba16Interlaced", PNG_COLOR_TYPE_RGBA, 16, true),
      png("PngPalette1", PNG_COLOR_TYPE_PALETTE, 1),
      png("PngPalette4InterlacedWithAlphas", PNG_COLOR_TYPE_PALETTE, 4, true, true),
      png("PngPalette8WithAlphas", PNG_COLOR_TYPE_PALETTE, 8, false, true),
      {"PngOfWrongChecksums", print::Format::Png,
       [] {
         std::string f = PngFile({37, 23, PNG_COLOR_TYPE_RGB, 8, false, false, 300});
         f[29] = static_cast<char>(f[29] ^ 0x5A),
         f[33 + 8 + 9] = static_cast<char>(f[33 + 8 + 9] ^ 0x5A);  // IHDR's, pHYs'
         return f;
       }(),
       300},
      // Rows of noise, whose compressed data is as long as they are.
      {"PngWideNoise16", print::Format::Png, PngFile({20000, 3, PNG_COLOR_TYPE_RGBA, 16, true, false, 0}), 0},
      {"PngOnePixelInterlaced", print::Format::Png, PngFile({1, 1, PNG_COLOR_TYPE_RGBA, 8, true, false, 0}), 0},
      {"PngThreeByTwoInterlaced", print::Format::Png, PngFile({3, 2, PNG_COLOR_TYPE_RGB, 8, true, false, 0}), 0},
      gif("Gif", {}),
      gif("GifInterlacedWithLocalColours", {37, 23, 0, 0, 37, 23, -1, 0, true, true}),
      gif("GifTransparent", {37, 23, 0, 0, 37, 23, 5, 0, false, false}),
      gif("GifFrameOnClear", {37, 23, 4, 3, 20, 11, -1, 0, true, false}),
      // stb_image took an OS/2 palette 4 colours short: these read as
      // their twins of a 40-byte header.
      {"BmpOs2Mono", print::Format::Bmp, BmpFile({12, 1}), 0, BmpFile({40, 1})},
      {"BmpOs2Palette4", print::Format::Bmp, BmpFile({12, 4}), 0, BmpFile({40, 4})},
      {"BmpOs2Palette8", print::Format::Bmp, BmpFile({12, 8}), 0, BmpFile({40, 8})},
      bmp("BmpOs2Rgb", {12, 24}),
      bmp("BmpMono", {40, 1}),
      bmp("BmpPalette4", {40, 4}),
      // stb_image's size check took a top-down BMP's negative height for a
      // damaged one: these read as their bottom-up twins.
      {"BmpPalette8TopDown", print::Format::Bmp, BmpFile({40, 8, 37, 23, true}), 0, BmpFile({40, 8})},
      bmp("Bmp555", {40, 16}),
      bmp("Bmp565", {40, 16, 37, 23, false, true}),
      bmp("BmpRgb", {40, 24}),
      {"BmpRgbTopDown", print::Format::Bmp, BmpFile({40, 24, 37, 23, true}), 0, BmpFile({40, 24})},
      bmp("BmpRgba", {40, 32}),
      bmp("BmpRgbaClear", {40, 32, 37, 23, false, false, 0, true}),
      bmp("BmpMasked32", {40, 32, 37, 23, false, true}),
      bmp("BmpV4Rgba", {108, 32, 37, 23, false, true}),
      bmp("BmpV5Rgb", {124, 24}),
  };
}

TEST(PicturesTest, OrdinaryPicturesGiveTheInkTheyGaveBefore) {
  for (const Ordinary& o : OrdinaryPictures()) {
    SCOPED_TRACE(o.Name);
    const Decoded before = DecodedByStb(o.Reference.empty() ? o.File : o.Reference);
    ASSERT_GT(before.Width, 0) << "stb_image reads the file";
    const Decoded now = Decode(o.File, o.Format);
    EXPECT_EQ(now.Width, before.Width);
    EXPECT_EQ(now.Height, before.Height);
    EXPECT_EQ(now.Ink, before.Ink);
    EXPECT_NEAR(now.Dpi, o.Dpi, 0.1);
  }
}

// stb_image drew what a GIF's first frame leaves uncovered in its
// background colour with red and blue swapped: now in its colour.
TEST(PicturesTest, AGifsBackgroundIsItsColour) {
  const Decoded d = Decode(GifFile({37, 23, 4, 3, 20, 11, 9, 7, false, false}), print::Format::Gif);
  const auto c = SceneAt(7 * 4, 7);  // colour 7 of the generator's table
  const int expected = 255 - (c[0] * 299 + c[1] * 587 + c[2] * 114) / 1000;
  ASSERT_EQ(d.Ink.size(), 37u * 23u);
  EXPECT_EQ(d.Ink[0], expected);
  EXPECT_EQ(d.Ink[37 * 22 + 36], expected);
  const Decoded stb = DecodedByStb(GifFile({37, 23, 4, 3, 20, 11, 9, 7, false, false}));
  for (int y = 3; y < 14; ++y)
    for (int x = 4; x < 24; ++x) EXPECT_EQ(d.Ink[y * 37 + x], stb.Ink[y * 37 + x]) << "the frame as before";
}

// libjpeg's IDCT, upsampling and colour conversion round otherwise than
// stb_image's: a level or two in places, never an edge moved.
TEST(PicturesTest, JpegsGiveTheInkTheyGaveBeforeWithinTheIdctsRounding) {
  const struct {
    const char* Name;
    JpegMaking Making;
    double Dpi;
  } cases[] = {
      {"Grey", {37, 23, JCS_GRAYSCALE, JCS_GRAYSCALE, false, 1, 203}, 203},
      {"Colour", {37, 23, JCS_RGB, JCS_YCbCr, false, 2, 80}, 203.2},
      {"ColourProgressive", {64, 48, JCS_RGB, JCS_YCbCr, true, 0, 72}, 0},
      {"GreyProgressive", {37, 23, JCS_GRAYSCALE, JCS_GRAYSCALE, true, 1, 300}, 300},
      {"StoredRgb", {37, 23, JCS_RGB, JCS_RGB, false, 0, 72}, 0},
      {"Cmyk", {37, 23, JCS_CMYK, JCS_CMYK, false, 0, 72}, 0},
      {"Ycck", {37, 23, JCS_CMYK, JCS_YCCK, false, 0, 72}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = JpegFile(c.Making);
    const Decoded before = DecodedByStb(file), now = Decode(file, print::Format::Jpeg);
    ASSERT_EQ(now.Width, before.Width);
    ASSERT_EQ(now.Height, before.Height);
    ASSERT_EQ(now.Ink.size(), before.Ink.size());
    int worst = 0;
    for (size_t i = 0; i < now.Ink.size(); ++i) worst = std::max(worst, std::abs(now.Ink[i] - before.Ink[i]));
    EXPECT_LE(worst, 3);
    EXPECT_NEAR(now.Dpi, c.Dpi, 0.1);
  }
}

// The child of AnswerWithin, before main: a new process of this program,
// whose address space may then grow by the headroom it is told.
const bool decodingChild = [] {
  const char* job = std::getenv("MORVEL_PICTURE_CHILD");  // "FILE HEADROOM"
  if (!job) return false;
  std::string path;
  size_t headroom = 0;
  std::istringstream(job) >> path >> headroom;
  std::ifstream in(path, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlimit limit{static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + headroom, RLIM_INFINITY};
  setrlimit(RLIMIT_AS, &limit);
  std::string answer = "decoded";
  try {
    InkPicture ink;
    DecodePicture(file, KindOf(file)->Is, ink);
  } catch (const DocumentError& e) {
    answer = e.what();
  } catch (const std::exception& e) {
    answer = std::string("other error: ") + e.what();
  }
  std::fwrite(answer.data(), 1, answer.size(), stdout);
  std::fflush(stdout);
  _exit(0);
}();

// What decoding `file` answers in a new process whose address space may
// grow by `headroom` bytes at most: the refusal, "decoded", or how it died.
std::string AnswerWithin(const std::string& file, size_t headroom) {
  char path[] = "/tmp/morvel-picture-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) return "no file";
  close(fd);
  const std::string job = std::string(path) + " " + std::to_string(headroom);
  int pipe_[2];
  if (pipe(pipe_) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipe_[1], 1);
    close(pipe_[0]);
    setenv("MORVEL_PICTURE_CHILD", job.c_str(), 1);
    execl("/proc/self/exe", "print_tests", static_cast<char*>(nullptr));
    _exit(3);
  }
  close(pipe_[1]);
  std::string answer;
  char buffer[512];
  for (ssize_t n; (n = read(pipe_[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<size_t>(n));
  close(pipe_[0]);
  int status = 0;
  waitpid(child, &status, 0);
  unlink(path);
  if (!WIFEXITED(status)) return "died of signal " + std::to_string(WTERMSIG(status));
  return answer;
}

TEST(PicturesTest, HostilePicturesAreRefusedWithTheirCauseBeforeTakingMemory) {
  if (UnderAddressSanitizer || UnderThreadSanitizer) GTEST_SKIP() << "the sanitizers reserve address space";
  for (const Hostile& c : HostilePictures()) {
    SCOPED_TRACE(c.Name);
    EXPECT_LT(c.File.size(), 300000u) << "a small file";
    const std::string answer = AnswerWithin(c.File, 96u << 20);
    EXPECT_NE(answer.find(c.Cause), std::string::npos) << answer;
  }
}

// The bound holds for an ordinary picture too: one at the pixel bound is
// decoded in its ink and a row, well within what a page may take.
TEST(PicturesTest, APictureAtThePixelBoundDecodesInItsInk) {
  if (UnderAddressSanitizer || UnderThreadSanitizer) GTEST_SKIP() << "the sanitizers reserve address space";
  const std::string file = PngFile({6000, 6000, PNG_COLOR_TYPE_RGBA, 8, true, false, 300});
  EXPECT_EQ(AnswerWithin(file, 64u << 20), "decoded");
  EXPECT_NE(AnswerWithin(file, 16u << 20), "decoded") << "the limit binds";
}

}  // namespace
}  // namespace morvel::print::detail

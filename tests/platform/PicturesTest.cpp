// Tests of the stb_image pictures adapter: decoding each accepted format,
// refusing what is no picture, and BMP files that decode to the same pixels.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/linux/adapters.h"
#include "print/PictureFiles.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace morvel::platform {
namespace {

using Bytes = std::vector<uint8_t>;

class PicturesTest : public ::testing::Test {
 protected:
  PictureRef Decode(const Bytes& bytes) { return Images->Decode(bytes.data(), bytes.size()); }

  std::shared_ptr<Pictures> Images = MakeStbPictures();
};

void Append(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

Bytes Png(int width, int height, int channels, const Bytes& pixels) {
  Bytes out;
  stbi_write_png_to_func(Append, &out, width, height, channels, pixels.data(), width * channels);
  return out;
}

uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// A 1-bit BMP of that size, all black: the header worked from the BMP
// layout, so the decoder sees a real file of any size.
Bytes BlackMonoBmp(uint32_t width, uint32_t height) {
  uint32_t stride = (width + 31) / 32 * 4;
  Bytes out = {'B', 'M'};
  auto put32 = [&](uint32_t v) {
    for (int s = 0; s < 32; s += 8) out.push_back(uint8_t(v >> s));
  };
  put32(62 + stride * height), put32(0), put32(62), put32(40), put32(width), put32(height);
  out.insert(out.end(), {1, 0, 1, 0});
  put32(0), put32(stride * height), put32(0), put32(0), put32(2), put32(0);
  put32(0), put32(0xFFFFFF);
  out.resize(out.size() + size_t(stride) * height, 0);
  return out;
}

TEST_F(PicturesTest, DecodesPngWithItsAlpha) {
  Bytes rgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
  auto picture = Decode(Png(3, 2, 4, rgba));
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Width(), 3);
  EXPECT_EQ(picture->Height(), 2);
  EXPECT_EQ(picture->Rgba(), rgba);
  EXPECT_EQ(Picture::FromHandle(picture->Handle()), picture);
}

TEST_F(PicturesTest, DecodesJpeg) {
  Bytes rgb;
  for (int i = 0; i < 16 * 8; ++i) rgb.insert(rgb.end(), {200, 100, 50});
  Bytes jpeg;
  stbi_write_jpg_to_func(Append, &jpeg, 16, 8, 3, rgb.data(), 95);
  auto picture = Decode(jpeg);
  ASSERT_NE(picture, nullptr);
  ASSERT_EQ(picture->Width(), 16);
  ASSERT_EQ(picture->Height(), 8);
  // JPEG is lossy: a flat colour comes back near itself.
  const auto& px = picture->Rgba();
  EXPECT_NEAR(px[0], 200, 6);
  EXPECT_NEAR(px[1], 100, 6);
  EXPECT_NEAR(px[2], 50, 6);
  EXPECT_EQ(px[3], 255);
}

TEST_F(PicturesTest, DecodesGif) {
  // 1x1 GIF89a, worked by hand from the GIF format: a two-colour global
  // table (red, black), one image of index 0 (LZW code size 2: clear, 0, end).
  Bytes gif = {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0,    0, 0,   0,
               0,   0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 0x01, 0, 0x3B};
  auto picture = Decode(gif);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Rgba(), (Bytes{255, 0, 0, 255}));
}

TEST_F(PicturesTest, RefusesWhatIsNoAcceptedPicture) {
  Bytes png = Png(4, 4, 3, Bytes(48, 77));
  Bytes tga;
  stbi_write_tga_to_func(Append, &tga, 1, 1, 3, Bytes{1, 2, 3}.data());
  // Headers alone: nothing may be allocated for the pixels they claim.
  Bytes huge = BlackMonoBmp(1, 1);
  huge.resize(62);
  huge[18] = huge[22] = 0x20, huge[19] = huge[23] = 0x4E;  // 20000 = 0x4E20
  const std::pair<const char*, Bytes> cases[] = {
      {"empty", {}},
      {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
      {"BMP magic alone", {'B', 'M'}},
      {"PNG cut short", Bytes(png.begin(), png.begin() + png.size() / 2)},
      {"TGA, not a format labels take", tga},
      {"wider than 32768", BlackMonoBmp(32769, 1)},
      {"claims 20000 x 20000", huge},
      {"over 256 MiB of pixels", BlackMonoBmp(8193, 8193)},
  };
  for (const auto& [what, bytes] : cases) EXPECT_EQ(Decode(bytes), nullptr) << what;
  EXPECT_EQ(Images->Decode(nullptr, 10), nullptr);
  // The largest size allowed still decodes.
  auto widest = Decode(BlackMonoBmp(32768, 2));
  ASSERT_NE(widest, nullptr);
  EXPECT_EQ(widest->Width(), 32768);
}

TEST_F(PicturesTest, BlackAndWhiteSavesAsOneBitFile) {
  // 2x2, top row black-white, bottom row white-black; worked by hand:
  // headers, the black/white palette, then bottom-up rows padded to 4 bytes.
  auto picture = Picture::Create(2, 2, {0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 255});
  Bytes expected = {
      'B',  'M', 70, 0, 0,    0,    0,    0, 0,    0,    62, 0, 0, 0,                    // file header
      40,   0,   0,  0, 2,    0,    0,    0, 2,    0,    0,  0, 1, 0, 1, 0, 0, 0, 0, 0,  // size, 2x2, 1 bit
      8,    0,   0,  0, 0xC4, 0x0E, 0,    0, 0xC4, 0x0E, 0,  0, 2, 0, 0, 0, 0, 0, 0, 0,  // 96 ppi, 2 colours
      0,    0,   0,  0, 0xFF, 0xFF, 0xFF, 0,                                             // black, white
      0x80, 0,   0,  0,                                                                  // bottom row
      0x40, 0,   0,  0};                                                                 // top row
  EXPECT_EQ(Images->SaveBmp(*picture), expected);
}

TEST_F(PicturesTest, ColourSavesAsTwentyFourBitFileOnWhite) {
  // Half-transparent red on white: 255, (0*128 + 255*127)/255 = 127 rounded.
  auto picture = Picture::Create(1, 1, {255, 0, 0, 128});
  Bytes bmp = Images->SaveBmp(*picture);
  ASSERT_EQ(bmp.size(), 58u);
  EXPECT_EQ(Le32(bmp, 2), 58u);
  EXPECT_EQ(Le32(bmp, 10), 54u);
  EXPECT_EQ(bmp[28], 24);
  EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.end()), (Bytes{127, 127, 255, 0}));
}

TEST_F(PicturesTest, TransparentPixelsAreWhite) {
  // Clear black and opaque black: black and white once on white.
  auto picture = Picture::Create(2, 1, {0, 0, 0, 0, 0, 0, 0, 255});
  Bytes bmp = Images->SaveBmp(*picture);
  EXPECT_EQ(bmp[28], 1);
  auto back = Decode(bmp);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Rgba(), (Bytes{255, 255, 255, 255, 0, 0, 0, 255}));
}

struct Size {
  int Width, Height;
};
void PrintTo(const Size& s, std::ostream* os) { *os << s.Width << "x" << s.Height; }

class BmpRoundTripTest : public PicturesTest, public ::testing::WithParamInterface<Size> {};

TEST_P(BmpRoundTripTest, OneBitFileDecodesToTheSamePixels) {
  auto [width, height] = GetParam();
  Bytes rgba;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t v = (x * 7 + y * 3) % 5 < 2 ? 0 : 255;
      rgba.insert(rgba.end(), {v, v, v, 255});
    }
  auto picture = Picture::Create(width, height, rgba);
  Bytes bmp = Images->SaveBmp(*picture);
  EXPECT_EQ(bmp[28], 1);
  EXPECT_EQ(Le32(bmp, 2), bmp.size());
  EXPECT_EQ(bmp.size(), 62u + size_t((width + 31) / 32 * 4) * height);
  auto back = Decode(bmp);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Width(), width);
  EXPECT_EQ(back->Height(), height);
  EXPECT_EQ(back->Rgba(), rgba);
}

TEST_P(BmpRoundTripTest, TwentyFourBitFileDecodesToTheSamePixels) {
  auto [width, height] = GetParam();
  Bytes rgba;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      rgba.insert(rgba.end(), {uint8_t(x * 37 + y), uint8_t(y * 91 + x), uint8_t((x ^ y) * 13 + 1), 255});
  auto picture = Picture::Create(width, height, rgba);
  Bytes bmp = Images->SaveBmp(*picture);
  EXPECT_EQ(bmp[28], 24);
  EXPECT_EQ(bmp.size(), 54u + size_t((width * 3 + 3) / 4 * 4) * height);
  auto back = Decode(bmp);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Width(), width);
  EXPECT_EQ(back->Height(), height);
  EXPECT_EQ(back->Rgba(), rgba);
}

// Widths around the byte and the 4-byte row boundaries.
INSTANTIATE_TEST_SUITE_P(Sizes, BmpRoundTripTest,
                         ::testing::Values(Size{1, 1}, Size{2, 3}, Size{3, 2}, Size{5, 4}, Size{7, 3}, Size{8, 2},
                                           Size{9, 5}, Size{31, 2}, Size{33, 3}, Size{100, 7}),
                         [](const auto& info) {
                           return std::to_string(info.param.Width) + "x" + std::to_string(info.param.Height);
                         });

TEST_F(PicturesTest, EmptyPictureHasNoBmp) {
  EXPECT_TRUE(Images->SaveBmp(*Picture::Create(0, 0, {})).empty());
  EXPECT_TRUE(Images->SaveBmp(*Picture::Create(2, 2, Bytes(3))).empty());
}

// A PNG whose header says 1 x 1 but whose pixel data inflates to 64 MiB
// is refused once it inflates past what the header's rows can hold; the
// same rows of 2 x 2 pixels decode.
TEST_F(PicturesTest, PngDataInflatingPastItsHeaderIsRefused) {
  const std::string hostile = morvel::testing::InflatingPng(1, 1, 64u << 20);
  EXPECT_EQ(Decode(Bytes(hostile.begin(), hostile.end())), nullptr);
  const std::string fitting = morvel::testing::InflatingPng(2, 2, 2 * 3);
  auto picture = Decode(Bytes(fitting.begin(), fitting.end()));
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Width(), 2);
  EXPECT_EQ(picture->Rgba(), Bytes({0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
}

}  // namespace
}  // namespace morvel::platform

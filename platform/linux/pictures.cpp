// Picture files: decoding BMP, PNG, JPEG and GIF with stb_image; writing a
// picture as a BMP file is picture_files.cpp's, shared with Windows.
#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>

#include "core/picture_files.h"
#include "platform/linux/adapters.h"

// The decoder is compiled into this file only, with its symbols kept private,
// so it cannot clash with another copy of stb_image in the same process.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 32768
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace morvel::platform {
namespace {

class StbPictures : public Pictures {
 public:
  PictureRef Decode(const uint8_t* data, size_t size) override {
    if (data == nullptr || size == 0 || size > static_cast<size_t>(INT_MAX)) return nullptr;
    int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels)) return nullptr;
    if (!Fits(width, height)) return nullptr;
    stbi_uc* pixels = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
    if (pixels == nullptr) return nullptr;
    // The header read by stbi_info is not necessarily what the decoder used.
    if (!Fits(width, height)) {
      stbi_image_free(pixels);
      return nullptr;
    }
    size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    std::vector<uint8_t> rgba(pixels, pixels + bytes);
    stbi_image_free(pixels);
    return Picture::Create(width, height, std::move(rgba));
  }

  std::vector<uint8_t> SaveBmp(const Picture& picture) override { return core::EncodeBmpFile(picture); }

 private:
  static bool Fits(int width, int height) { return core::PictureSizeAllowed(width, height); }
};

}  // namespace

std::shared_ptr<Pictures> MakeStbPictures() { return std::make_shared<StbPictures>(); }

}  // namespace morvel::platform

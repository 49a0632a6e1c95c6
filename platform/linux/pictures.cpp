// Picture files: decoding BMP, PNG, JPEG and GIF with stb_image; writing a
// picture as a BMP file is picture_files.cpp's, shared with Windows.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/picture_files.h"
#include "platform/linux/adapters.h"

namespace {

// What a PNG's pixel data may inflate to: stb_image grows its buffer with
// the data, whatever the header says, so growth past what the header's
// rows can hold is refused.
thread_local size_t inflateBound = SIZE_MAX;

void* BoundedRealloc(void* p, size_t size) { return size > inflateBound ? nullptr : realloc(p, size); }

}  // namespace

// The decoder is compiled into this file only, with its symbols kept private,
// so it cannot clash with another copy of stb_image in the same process.
#define STBI_MALLOC(size) malloc(size)
#define STBI_FREE(p) free(p)
#define STBI_REALLOC_SIZED(p, oldSize, newSize) BoundedRealloc(p, newSize)
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
    // A PNG's rows: a filter byte and at most 8 bytes a pixel (16-bit RGBA),
    // twice over for interlacing's passes and the compressed data's own buffer.
    struct Bound {
      explicit Bound(size_t bytes) { inflateBound = bytes; }
      ~Bound() { inflateBound = SIZE_MAX; }
    } bound(size >= 8 && std::memcmp(data, "\x89PNG", 4) == 0
                ? 2 * static_cast<size_t>(height) * (1 + 8 * static_cast<size_t>(width)) + (1 << 20) + 2 * size
                : SIZE_MAX);
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

// Pictures as files, the same on every system: the bounds a decoded picture
// must keep, and the BMP form of a picture.
#pragma once

#include <cstdint>
#include <vector>

#include "morvel/picture.h"

namespace morvel::core {

// A picture larger than this is refused before its pixels are allocated: no
// label needs it, and a forged header must not claim gigabytes.
inline constexpr long MaxPictureSide = 32768;
inline constexpr uint64_t MaxPictureBytes = 256ull << 20;
bool PictureSizeAllowed(long width, long height);

// The picture as a BMP file (white beneath transparent pixels); no bytes for
// an empty or inconsistent picture.
std::vector<uint8_t> EncodeBmpFile(const Picture& picture);

}  // namespace morvel::core

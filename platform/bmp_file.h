// Pictures as BMP files, and the size bound of every decoded picture; the
// same on both systems.
#pragma once

#include <cstdint>
#include <vector>

#include "morvel/picture.h"

namespace morvel::platform {

// A picture larger than this is refused before its pixels are allocated: no
// label needs it, and a forged header must not claim gigabytes.
constexpr int MaxPictureSide = 32768;
constexpr uint64_t MaxPictureBytes = 256ull << 20;
bool PictureSizeFits(int width, int height);

// The picture as a BMP file; an empty or inconsistent picture has no BMP
// form and gives no bytes.
std::vector<uint8_t> BmpFile(const Picture& picture);

}  // namespace morvel::platform

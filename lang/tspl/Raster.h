// A picture printed as an Orx (TSPL) label: SIZE, CLS, the picture as
// BITMAP commands in bands (0 bits print), PRINT with the copies.
#pragma once

#include <string>

#include "lang/Raster.h"

namespace morvel::lang::tspl {

inline constexpr size_t BitmapBandBytes = 32 * 1024;

std::string LabelOfPicture(const core::Bitmap& dots, int dpi, int copies);

}  // namespace morvel::lang::tspl

// A picture printed as an EPL2 label: N, q and Q of the picture's size, the
// picture as GW commands in bands (0 bits print), P with the copies.
#pragma once

#include <string>

#include "lang/Raster.h"

namespace morvel::lang::epl {

inline constexpr size_t GraphicBandBytes = 32 * 1024;

std::string LabelOfPicture(const core::Bitmap& dots, int dpi, int copies);

}  // namespace morvel::lang::epl

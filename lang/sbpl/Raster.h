// A picture printed as an SBPL label: the label's size, then the picture in
// bands, each a black-and-white PCX file (ESC GP), whose run-length
// compression is the most compact graphic form SBPL takes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lang/Raster.h"

namespace morvel::lang::sbpl {

// The guide's limits of one ESC GP file: 32 KB as sent, 64 KB unpacked.
inline constexpr size_t MaxPcxBytes = 32 * 1024;
inline constexpr size_t MaxPcxUnpacked = 64 * 1024;

// Rows [top, top + rows) of `dots` as a one-bit PCX file (palette black,
// white; each scan line run-length coded on its own).
std::string Pcx(const core::Bitmap& dots, int top, int rows, int dpi);
// The dots of a one-bit PCX file; nullopt with the reason otherwise.
std::optional<core::Bitmap> DecodePcx(std::string_view file, std::string* why);

// The most labels one ESC Q asks for.
inline constexpr int MaxQuantity = 999999;
// ESC A, the label's size, ESC V/H and ESC GP for each band that has ink,
// ESC Q copies (1 to MaxQuantity), ESC Z.
std::string LabelOfPicture(const core::Bitmap& dots, int dpi, int copies);

}  // namespace morvel::lang::sbpl

// ZPL's graphic data (^GF, ~DG, ~DY) read into dots: ASCII hexadecimal with
// its run-length compression, raw binary, and the Base64 forms :B64: and
// :Z64: (zlib) with their CRC.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lang/Label.h"

namespace morvel::lang {

// The picture of `totalBytes` bytes in rows of `bytesPerRow`, given in
// format 'A' (ASCII hex, perhaps compressed, or :B64:/:Z64:), 'B' (binary)
// or 'C' (compressed binary: a zlib stream, or the ASCII compression).
// nullopt with the reason otherwise.
std::optional<core::Bitmap> DecodeGraphic(char format, std::string_view data, long totalBytes, long bytesPerRow,
                                          std::string* why);
// CRC-16/XMODEM (polynomial 0x1021, start 0), as the printer checks the
// Base64 text of :B64: and :Z64: data.
unsigned Crc16(std::string_view text);
// The bytes of hexadecimal digits (others skipped).
std::string HexBytes(std::string_view hex);
// The payload of ":B64:data:crc" or ":Z64:data:crc" (inflated, to at most
// `limit` bytes); nullopt when `data` is neither, or its CRC or contents are
// wrong (told in `why`).
std::optional<std::string> Base64Payload(std::string_view data, std::string* why,
                                         size_t limit = static_cast<size_t>(Bounds::GraphicDots));
// Each dot made mx x my dots.
core::Bitmap Magnify(const core::Bitmap& dots, int mx, int my);

}  // namespace morvel::lang

// A picture printed as a ZPL label: the label's size, then ^GF graphic
// fields in bands, each compressed as :Z64: (zlib, Base64 and its CRC) or
// with the ASCII compression older printers read.
#pragma once

#include <string>

#include "lang/Raster.h"

namespace morvel::lang::zpl {

enum class GraphicCompression { Z64, Ascii };

// ":Z64:" + the rows deflated and in Base64 + ":" + the CRC of that text.
std::string Z64Data(const PackedRows& rows);
// The rows in hex digits with the ASCII compression: a run of one digit
// counted with G..Y (1..19) and g..z (20..400), ',' for a row's trailing
// zeros, '!' for its trailing F digits, ':' for a row like the one before.
std::string AsciiData(const PackedRows& rows);

struct PictureLabel {
  GraphicCompression Compression = GraphicCompression::Z64;
  size_t BandBytes = 32 * 1024;  // the packed bytes of one ^GF at most
  int Copies = 1;
};

// ^XA, the label's width and length, the picture from the label's home in
// bands, the copies, ^XZ.
std::string LabelOfPicture(const core::Bitmap& dots, const PictureLabel& how);

}  // namespace morvel::lang::zpl

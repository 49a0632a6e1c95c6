// Byte, string and picture conversions the drivers share: command text to
// UTF-8 bytes, appending byte arrays, pictures to and from image files.
#pragma once

#include "morvel/picture.h"
#include "morvel/types.h"

namespace morvel {

class Module2 {
 public:
  // UTF-8 bytes of the text, no terminating zero; unallocated for "".
  static ByteArray StringToUtf8Bytes(String text);
  // Appends the source's bytes to the destination; error 9 when either is
  // unallocated (the destination is then unchanged), 6 past 2^31 - 1.
  static void AppendBytes(ByteArray& destination, ByteArray& source);
  // The picture as a BMP file; error 91 when there is no picture.
  static ByteArray PictureToBytes(PictureRef& picture);
  // A picture from image-file bytes, or none. Never raises: failures show a
  // message box and give none.
  static PictureRef PictureFromBytes(ByteArray& bytes);
};

}  // namespace morvel

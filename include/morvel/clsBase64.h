// clsBase64: Base64 text <-> byte arrays with the standard alphabet and "="
// padding, progress of encoding through the event EncodeJD, and whole-file
// load and save. Drivers decode the Base64 images that hosts pass them here.
#pragma once

#include <functional>

#include "morvel/types.h"

namespace morvel {

class clsBase64 {
 public:
  // Raised while Base64Encode builds its text, with the share of the text
  // done (0.1 .. 1) each time that share, rounded to a tenth, changes. The
  // value the handler leaves in Percentage is what the next change is
  // measured against.
  std::function<void(Currency& Percentage)> EncodeJD;

  // The whole file as bytes 0..length-1. Error 53 for a missing file (the
  // array is left as it was), 9 for an empty one, and the file system's
  // number otherwise.
  void LoadFile(String strPathName, ByteArray& pbArrayOutput);
  // Writes the bytes of the array, and nothing else, as the file's content,
  // creating the file or cutting an existing one to that length. An array
  // that was never sized raises 9 and leaves the file alone.
  void SaveFile(String strPathName, ByteArray& pbArrayInput);
  // Writes the text in the ANSI code page, with no line end, as the file's
  // whole content.
  void SaveFile2(String strPathName, String& pbArrayInput);

  // Base64 text of the bytes, without line breaks. Error 9 for an empty or
  // unsized array.
  String Base64Encode(ByteArray& StrArr);
  // Bytes of the text up to its first "="; a final group of two or three
  // characters gives one or two bytes. Error 9 when nothing precedes the
  // first "=", 94 when one character is left over, 6 for a character outside
  // the alphabet.
  ByteArray Base64Decode(String B64);
};

}  // namespace morvel

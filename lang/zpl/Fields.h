// The field a ZPL label is building (within lang/zpl only): what ^FO or
// ^FT up to ^FS gives one field, where it goes, its font, block, data and
// kind, and started afresh for each field (field_ = {}). Fields.cpp reads
// it into the label; Symbols.cpp and Objects.cpp fill in a barcode's, a
// shape's or a graphic's part.
#pragma once

#include <optional>
#include <string>

#include "lang/Label.h"

namespace morvel::lang::zpl {

enum class FieldKind { Text, Shape, Symbol, Graphic, Rfid };

struct Font {
  char Name = 'A';
  int Rotation = -1;  // -1: the ^FW default
  double Height = 9, Width = 5;
  std::string File;  // ^A@ and ^CW: the font's name on the printer
};

struct FieldState {
  bool Open = false;  // a command has begun the field
  size_t At = 0;      // where it began, for messages
  FieldKind Kind = FieldKind::Text;
  std::string Data;  // ^FD or ^SN
  bool HaveData = false;
  std::optional<Font> OwnFont;  // ^A; else the printer's ^CF font
  Font GsFont;                  // ^GS: its data are graphic symbols in this font
  bool SymbolFont = false;
  // ^FO and ^FT; ^FT without a coordinate goes on where the last text ended.
  int X = 0, Y = 0;
  bool FromBaseline = false, ContinueX = false, ContinueY = false;
  int OriginJustify = 0;  // ^FO's and ^FT's third parameter (1: right), for ^TB
  char Hex = '\0';        // ^FH's escape character; '\0': none
  bool Reverse = false;   // ^FR
  // ^FB, and ^TB (a block TextBlockHeight dots tall, cut below).
  bool Block = false, TextBlock = false;
  int BlockWidth = 0, BlockLines = 1, LineSpacing = 0, Indent = 0;
  char Justify = 'L';
  int TextBlockHeight = 0, TextBlockRotation = -1;
  // ^FP: characters stacked or right to left, Gap dots apart.
  bool Vertical = false, Backwards = false;
  int Gap = 0;
  int Number = -1;  // ^FN; -1: none
  // ^SN and ^SF: data that counts up from copy to copy.
  bool Serial = false;
  long SerialStep = 1;
  std::string SerialMask, SerialStepText;
  // What the field draws, by its kind.
  Shape Figure;
  core::Bitmap Dots;
  BarcodeField Symbol;
  std::string Rfid;  // ^RF's parameters
  // How the barcode's data is read: Mode is the barcode's letter where its
  // data needs reading (c: Code 128, u: UPC-A), else 'N'.
  char Mode = 'N', Code128Mode = 'N', QrLevel = 'Q', Escape = '~';
  bool Check = false;
  std::string StartStop;  // Codabar's start and stop characters
};

}  // namespace morvel::lang::zpl

// The command language of the Orx printers (a TSPL dialect), as their
// programming guide names it: each command's word, whether a byte count
// carries its data, and what it does to a label. The reader of jobs
// dispatches on this table; orxlib and the Orx driver write through it
// (Writer.h), so each command is named once.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace morvel::lang::tspl {

// How a command's parameters are read.
enum class Syntax : uint8_t {
  Line,     // to the line's end, fields separated by commas
  Counted,  // a header of fields with a byte count, then that many bytes
};

// What a command does to the picture of a label.
enum class Role : uint8_t { Label, Draws, Setting };

struct Command {
  std::string_view Word;
  Syntax Parsing;  // how its bytes are read
  Role Effect;
  std::string_view Title;  // the guide's name for it
};

// IDENTIFIER, the command's word, syntax, role, what it is.
#define MORVEL_TSPL_COMMANDS(X)                                     \
  X(Size, "SIZE", Line, Label, "label width and length")            \
  X(Gap, "GAP", Line, Setting, "gap between labels")                \
  X(BlackLine, "BLINE", Line, Setting, "black mark between labels") \
  X(Speed, "SPEED", Line, Setting, "print speed")                   \
  X(Density, "DENSITY", Line, Setting, "print density")             \
  X(Direction, "DIRECTION", Line, Label, "printout direction")      \
  X(Clear, "CLS", Line, Label, "clear the image buffer")            \
  X(Print, "PRINT", Line, Label, "print the image buffer")          \
  X(FormFeed, "FORMFEED", Line, Setting, "feed one label")          \
  X(Set, "SET", Line, Setting, "printer settings")                  \
  X(Home, "HOME", Line, Setting, "feed to the start of a label")    \
  X(Bar, "BAR", Line, Draws, "bar")                                 \
  X(Box, "BOX", Line, Draws, "box")                                 \
  X(Text, "TEXT", Line, Draws, "text")                              \
  X(Barcode, "BARCODE", Line, Draws, "one-dimensional bar code")    \
  X(QrCode, "QRCODE", Line, Draws, "QR code")                       \
  X(PutBmp, "PUTBMP", Line, Draws, "a stored BMP picture")          \
  X(Bitmap, "BITMAP", Counted, Draws, "bitmap image")               \
  X(Download, "DOWNLOAD", Counted, Label, "download a file")

#define MORVEL_TSPL_DECLARE(id, word, syntax, role, what) extern const Command id;
MORVEL_TSPL_COMMANDS(MORVEL_TSPL_DECLARE)
#undef MORVEL_TSPL_DECLARE

// Every command, in the table's order.
std::span<const Command* const> Commands();

// The command of this word (upper case); nullptr when the dialect has none.
const Command* Find(std::string_view word);

}  // namespace morvel::lang::tspl

// The SBPL commands this system knows, as SATO's SBPL programming guide
// names them: each one's name after ESC, whether a byte count carries its
// data, and what it does to a label. The reader of jobs recognises and
// dispatches on this table and the SATO driver writes through it
// (Writer.h), so each command is named once.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace morvel::lang::sbpl {

// How a command's parameters are read.
enum class Syntax : uint8_t {
  Params,   // to the next ESC
  Counted,  // a byte count, a comma, then that many bytes of any value
};

// What a command does to the picture of a label.
enum class Role : uint8_t { Label, Field, Draws, Setting };

struct Command {
  std::string_view Name;  // after ESC
  Syntax Parsing;         // how its bytes are read
  Role Effect;
  std::string_view Title;  // the guide's name for it
};

// IDENTIFIER, name after ESC, syntax, role, the guide's name. A job is read
// by the first name that matches, so a name that begins another comes after it.
#define MORVEL_SBPL_COMMANDS(X)                                     \
  X(BaseReference, "A3", Params, Label, "base reference point")     \
  X(LabelSize, "A1", Params, Label, "label size")                   \
  X(QrCode, "2D30", Params, Draws, "two-dimensional code: QR code") \
  X(Speed, "CS", Params, Setting, "print speed")                    \
  X(Density, "#F", Params, Setting, "print density")                \
  X(Rotation, "%", Params, Field, "rotation")                       \
  X(Horizontal, "H", Params, Field, "horizontal print position")    \
  X(Vertical, "V", Params, Field, "vertical print position")        \
  X(Pitch, "P", Params, Field, "character pitch")                   \
  X(OutlineFont, "RG", Params, Draws, "outline font")               \
  X(ProportionalFont, "RD", Params, Draws, "CG font")               \
  X(Line, "FW", Params, Draws, "line and box")                      \
  X(Code128, "BG", Params, Draws, "Code 128 bar code")              \
  X(QrData, "DN", Counted, Draws, "two-dimensional code data")      \
  X(Graphic, "GM", Counted, Draws, "BMP graphic")                   \
  X(PcxGraphic, "GP", Counted, Draws, "PCX graphic")                \
  X(Quantity, "Q", Params, Label, "print quantity")                 \
  X(End, "Z", Params, Label, "data send end")                       \
  X(Rfid, "IP0", Params, Setting, "RFID write")                     \
  X(RfidReturn, "RU", Params, Setting, "RFID write status return")  \
  X(Start, "A", Params, Label, "data send start")

#define MORVEL_SBPL_DECLARE(id, name, syntax, role, what) extern const Command id;
MORVEL_SBPL_COMMANDS(MORVEL_SBPL_DECLARE)
#undef MORVEL_SBPL_DECLARE

// Every command, in the table's order.
std::span<const Command* const> Commands();

// The command whose name `text` (what follows an ESC) begins with, in the
// table's order; nullptr when none does.
const Command* Find(std::string_view text);

}  // namespace morvel::lang::sbpl

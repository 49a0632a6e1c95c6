// Zebra's EPL2 page-mode command language, as its "EPL Programming Guide"
// names the commands: each command's name (one or two letters, case
// sensitive, "Basic Command Syntax"), how its parameters and data are read,
// and what it does to a label. The reader of jobs dispatches on this table
// and the writer (Writer.h) writes through it, so each command is named once.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace morvel::lang::epl {

// How a command's parameters and data are read.
enum class Syntax : uint8_t {
  Line,     // parameters to the line feed that ends the command
  Graphic,  // GW: four parameters, then width bytes x length rows of raw data
  Counted,  // GM: a name and a byte count, then that many bytes
  Font,     // ES: a name, three binary bytes, then the characters' maps
  Form,     // FS: the lines of a stored form up to FE
};

// What a command does to the picture of a label.
enum class Role : uint8_t { Label, Draws, Setting, Query };

struct Command {
  std::string_view Name;
  Syntax Parsing;  // how its bytes are read
  Role Effect;
  std::string_view Title;  // the guide's title of the command
};

// IDENTIFIER, the command's name, syntax, role, the guide's title.
#define MORVEL_EPL_COMMANDS(X)                                                       \
  X(Text, "A", Line, Draws, "ASCII text")                                            \
  X(AutoFormRun, "AUTOFR", Line, Setting, "automatic form printing")                 \
  X(Barcode, "B", Line, Draws, "bar code")                                           \
  X(Barcode2D, "b", Line, Draws, "2D bar code")                                      \
  X(Counter, "C", Line, Setting, "counter")                                          \
  X(Density, "D", Line, Setting, "density")                                          \
  X(SoftFontInfo, "EI", Line, Query, "print soft font information")                  \
  X(DeleteSoftFont, "EK", Line, Setting, "delete soft font")                         \
  X(StoreSoftFont, "ES", Font, Setting, "store soft font")                           \
  X(FormEnd, "FE", Line, Setting, "end form store")                                  \
  X(FormInfo, "FI", Line, Query, "print form information")                           \
  X(DeleteForm, "FK", Line, Setting, "delete form")                                  \
  X(RetrieveForm, "FR", Line, Label, "retrieve form")                                \
  X(StoreForm, "FS", Form, Setting, "store form")                                    \
  X(PrintGraphic, "GG", Line, Draws, "print graphics")                               \
  X(GraphicInfo, "GI", Line, Query, "print graphics information")                    \
  X(DeleteGraphic, "GK", Line, Setting, "delete graphics")                           \
  X(StoreGraphic, "GM", Counted, Setting, "store graphics")                          \
  X(GraphicWrite, "GW", Graphic, Draws, "direct graphic write")                      \
  X(CharacterSet, "I", Line, Setting, "character set selection")                     \
  X(NoBackup, "JB", Line, Setting, "disable top of form backup")                     \
  X(Backup, "JF", Line, Setting, "enable top of form backup")                        \
  X(LineXor, "LE", Line, Draws, "line draw exclusive OR")                            \
  X(LineBlack, "LO", Line, Draws, "line draw black")                                 \
  X(LineDiagonal, "LS", Line, Draws, "line draw diagonal")                           \
  X(LineWhite, "LW", Line, Draws, "line draw white")                                 \
  X(Memory, "M", Line, Setting, "memory allocation")                                 \
  X(Clear, "N", Line, Label, "clear image buffer")                                   \
  X(Options, "O", Line, Setting, "hardware options")                                 \
  X(NoInitialFeed, "oM", Line, Setting, "disable initial esc sequence feed")         \
  X(Print, "P", Line, Label, "print")                                                \
  X(PrintAutomatic, "PA", Line, Label, "print automatic")                            \
  X(FormLength, "Q", Line, Label, "set form length")                                 \
  X(LabelWidth, "q", Line, Label, "set label width")                                 \
  X(Reference, "R", Line, Label, "set reference point")                              \
  X(DoubleBuffer, "r", Line, Setting, "set double buffer mode")                      \
  X(Speed, "S", Line, Setting, "speed select")                                       \
  X(DateFormat, "TD", Line, Setting, "define date")                                  \
  X(SetClock, "TS", Line, Setting, "set real time clock")                            \
  X(TimeFormat, "TT", Line, Setting, "define time")                                  \
  X(Configuration, "U", Line, Query, "print configuration")                          \
  X(CodePages, "UA", Line, Query, "send code page information")                      \
  X(ErrorsOff, "UN", Line, Setting, "disable error reporting")                       \
  X(ErrorsOn, "US", Line, Setting, "enable error reporting")                         \
  X(Variable, "V", Line, Setting, "define variable")                                 \
  X(Box, "X", Line, Draws, "box draw")                                               \
  X(AutoSense, "xa", Line, Setting, "auto sense")                                    \
  X(SerialPort, "Y", Line, Setting, "serial port setup")                             \
  X(TopFirst, "ZT", Line, Label, "print direction: top of image buffer first")       \
  X(BottomFirst, "ZB", Line, Label, "print direction: bottom of image buffer first") \
  X(Reset, "^@", Line, Setting, "reset printer")                                     \
  X(FactoryDefault, "^default", Line, Setting, "set factory default")                \
  X(ErrorReport, "^ee", Line, Query, "error report")                                 \
  X(Sgd, "!", Line, Setting, "Set-Get-Do printer setting command")                   \
  X(Download, "?", Line, Setting, "download variables")

#define MORVEL_EPL_DECLARE(id, name, syntax, role, what) extern const Command id;
MORVEL_EPL_COMMANDS(MORVEL_EPL_DECLARE)
#undef MORVEL_EPL_DECLARE

// Every command, in the table's order.
std::span<const Command* const> Commands();

// The command whose name starts `line` (the longest, names being case
// sensitive: "PA" before "P"); nullptr when none does.
const Command* At(std::string_view line);

}  // namespace morvel::lang::epl

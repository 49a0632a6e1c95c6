// The ZPL II commands this system knows, as the ZPL II programming guide
// names them: each one's prefix (^ a format command, ~ a control command),
// its two letters, how its parameters are read, and what it does to a
// label. The reader of jobs dispatches on this table and the drivers write
// through it (Writer.h), so each command is named once.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace morvel::lang::zpl {

enum class Prefix : uint8_t { Format = 1, Control = 2, Either = 3 };

// How a command's parameters are read.
enum class Syntax : uint8_t {
  Params,        // to the next command prefix, split at the delimiter
  FontName,      // ^Af: the font's letter is the command's second letter
  FieldData,     // ^FD ^FV: data to the next command prefix
  Comment,       // ^FX
  NewCharacter,  // ^CC ^CT ^CD: the one byte after the letters
  Graphic,       // ^GF: binary data counted in its parameters
  Download,      // ~DG ~DY ~DB ~DU ~DS ~DT: counted data
  StoredFormat,  // ^DF: the rest of the label is the format
};

// What a command does to the picture of a label.
enum class Role : uint8_t {
  Label,    // starts or ends a label, or sets the label up
  Field,    // places a field, chooses its font, gives or ends its data
  Draws,    // the drawing of a field: shapes, graphics, barcodes
  Object,   // stores, recalls or removes formats, graphics and images
  Setting,  // a printer setting: nothing in the picture changes
  Host,     // a control command the reader does not act on
};

struct Command {
  Prefix Prefixes;
  std::string_view Name;  // two letters, upper case; "A" for the fonts ^A0..^AZ
  Syntax Parsing;         // how its bytes are read
  Role Effect;
  std::string_view Title;  // the guide's name for it

  bool Allows(char prefix, char caret, char tilde) const {
    return (prefix == caret && (static_cast<int>(Prefixes) & 1)) ||
           (prefix == tilde && (static_cast<int>(Prefixes) & 2));
  }
  bool IsControl() const { return (static_cast<int>(Prefixes) & 2) != 0; }
};

// NAME, prefixes (F format, C control, E either), syntax, role, the guide's name.
#define MORVEL_ZPL_COMMANDS(X)                                   \
  X(XA, F, Params, Label, "start format")                        \
  X(XZ, F, Params, Label, "end format")                          \
  X(PW, F, Params, Label, "print width")                         \
  X(LL, F, Params, Label, "label length")                        \
  X(LH, F, Params, Label, "label home")                          \
  X(LS, F, Params, Label, "label shift")                         \
  X(LT, F, Params, Label, "label top")                           \
  X(LR, F, Params, Label, "label reverse print")                 \
  X(PO, F, Params, Label, "print orientation")                   \
  X(PM, F, Params, Label, "printing mirror image of label")      \
  X(PQ, F, Params, Label, "print quantity")                      \
  X(CI, F, Params, Label, "change international font/encoding")  \
  X(SE, F, Params, Label, "select encoding table")               \
  X(CF, F, Params, Label, "change alphanumeric default font")    \
  X(CW, F, Params, Label, "font identifier")                     \
  X(FW, F, Params, Label, "field orientation")                   \
  X(BY, F, Params, Label, "bar code field default")              \
  X(CC, E, NewCharacter, Label, "change caret")                  \
  X(CT, E, NewCharacter, Label, "change tilde")                  \
  X(CD, E, NewCharacter, Label, "change delimiter")              \
  X(A, F, FontName, Field, "scalable/bitmapped font")            \
  X(FO, F, Params, Field, "field origin")                        \
  X(FT, F, Params, Field, "field typeset")                       \
  X(FD, F, FieldData, Field, "field data")                       \
  X(FV, F, FieldData, Field, "field variable")                   \
  X(FX, F, Comment, Field, "comment")                            \
  X(FH, F, Params, Field, "field hexadecimal indicator")         \
  X(FR, F, Params, Field, "field reverse print")                 \
  X(FB, F, Params, Field, "field block")                         \
  X(TB, F, Params, Field, "text blocks")                         \
  X(FP, F, Params, Field, "field parameter")                     \
  X(FN, F, Params, Field, "field number")                        \
  X(SN, F, Params, Field, "serialization data")                  \
  X(SF, F, Params, Field, "serialization field")                 \
  X(FS, F, Params, Field, "field separator")                     \
  X(GS, F, Params, Field, "graphic symbol")                      \
  X(RF, F, Params, Field, "read or write RFID format")           \
  X(GB, F, Params, Draws, "graphic box")                         \
  X(GC, F, Params, Draws, "graphic circle")                      \
  X(GE, F, Params, Draws, "graphic ellipse")                     \
  X(GD, F, Params, Draws, "graphic diagonal line")               \
  X(GF, F, Graphic, Draws, "graphic field")                      \
  X(BC, F, Params, Draws, "Code 128 bar code")                   \
  X(B3, F, Params, Draws, "Code 39 bar code")                    \
  X(BA, F, Params, Draws, "Code 93 bar code")                    \
  X(B2, F, Params, Draws, "interleaved 2 of 5 bar code")         \
  X(BE, F, Params, Draws, "EAN-13 bar code")                     \
  X(B8, F, Params, Draws, "EAN-8 bar code")                      \
  X(BU, F, Params, Draws, "UPC-A bar code")                      \
  X(B9, F, Params, Draws, "UPC-E bar code")                      \
  X(BK, F, Params, Draws, "ANSI Codabar bar code")               \
  X(BR, F, Params, Draws, "GS1 DataBar")                         \
  X(BX, F, Params, Draws, "Data Matrix bar code")                \
  X(BQ, F, Params, Draws, "QR code bar code")                    \
  X(B7, F, Params, Draws, "PDF417 bar code")                     \
  X(BF, F, Params, Draws, "MicroPDF417 bar code")                \
  X(BD, F, Params, Draws, "UPS MaxiCode bar code")               \
  X(BO, F, Params, Draws, "Aztec bar code")                      \
  X(B0, F, Params, Draws, "Aztec bar code")                      \
  X(B1, F, Params, Draws, "Code 11 bar code")                    \
  X(B4, F, Params, Draws, "Code 49 bar code")                    \
  X(B5, F, Params, Draws, "Planet Code bar code")                \
  X(BB, F, Params, Draws, "CODABLOCK bar code")                  \
  X(BI, F, Params, Draws, "industrial 2 of 5 bar code")          \
  X(BJ, F, Params, Draws, "standard 2 of 5 bar code")            \
  X(BL, F, Params, Draws, "LOGMARS bar code")                    \
  X(BM, F, Params, Draws, "MSI bar code")                        \
  X(BP, F, Params, Draws, "Plessey bar code")                    \
  X(BS, F, Params, Draws, "UPC/EAN extensions")                  \
  X(BZ, F, Params, Draws, "POSTAL bar code")                     \
  X(DF, F, StoredFormat, Object, "download format")              \
  X(XF, F, Params, Object, "recall format")                      \
  X(XG, F, Params, Object, "recall graphic")                     \
  X(IM, F, Params, Object, "image move")                         \
  X(IL, F, Params, Object, "image load")                         \
  X(IS, F, Params, Object, "image save")                         \
  X(ID, F, Params, Object, "object delete")                      \
  X(DG, C, Download, Object, "download graphics")                \
  X(DY, C, Download, Object, "download objects")                 \
  X(DB, C, Download, Object, "download bitmap font")             \
  X(DU, C, Download, Object, "download unbounded TrueType font") \
  X(DS, C, Download, Object, "download Intellifont")             \
  X(DT, C, Download, Object, "download bounded TrueType font")   \
  X(MM, F, Params, Setting, "print mode")                        \
  X(MT, F, Params, Setting, "media type")                        \
  X(MN, F, Params, Setting, "media tracking")                    \
  X(MD, F, Params, Setting, "media darkness")                    \
  X(MU, F, Params, Setting, "units of measure")                  \
  X(MF, F, Params, Setting, "media feed")                        \
  X(MC, F, Params, Setting, "map clear")                         \
  X(MP, F, Params, Setting, "mode protection")                   \
  X(MW, F, Params, Setting, "head-cold warning")                 \
  X(MA, F, Params, Setting, "maintenance alert")                 \
  X(MI, F, Params, Setting, "maintenance message")               \
  X(ML, F, Params, Setting, "maximum label length")              \
  X(PR, E, Params, Setting, "print speed")                       \
  X(SD, C, Params, Setting, "darkness")                          \
  X(JM, F, Params, Setting, "dots per millimetre mode")          \
  X(JU, F, Params, Setting, "configuration update")              \
  X(JS, C, Params, Setting, "backfeed sequence")                 \
  X(TA, C, Params, Setting, "tear-off adjust")                   \
  X(PA, F, Params, Setting, "advanced text properties")          \
  X(XB, F, Params, Setting, "suppress backfeed")                 \
  X(CV, F, Params, Setting, "code validation")                   \
  X(SZ, F, Params, Setting, "ZPL mode")                          \
  X(JZ, F, Params, Setting, "reprint after error")               \
  X(JJ, F, Params, Setting, "auxiliary port")                    \
  X(JT, F, Params, Setting, "head test interval")                \
  X(JW, F, Params, Setting, "ribbon tension")                    \
  X(JI, F, Params, Setting, "BASIC interpreter")                 \
  X(JB, C, Params, Setting, "initialise flash")                  \
  X(JC, C, Params, Setting, "media calibration")                 \
  X(JD, C, Params, Setting, "diagnostics")                       \
  X(JE, C, Params, Setting, "diagnostics off")                   \
  X(JG, C, Params, Setting, "graphing sensor calibration")       \
  X(JL, C, Params, Setting, "set label length")                  \
  X(JN, C, Params, Setting, "head test fatal")                   \
  X(JO, C, Params, Setting, "head test non-fatal")               \
  X(JP, C, Params, Setting, "pause and cancel")                  \
  X(JR, C, Params, Setting, "power on reset")                    \
  X(JX, C, Params, Setting, "cancel")                            \
  X(JH, F, Params, Setting, "early warning")                     \
  X(JA, C, Params, Setting, "cancel all")                        \
  X(JF, C, Params, Setting, "battery status")                    \
  X(JK, F, Params, Setting, "calibration")                       \
  X(KD, F, Params, Setting, "date and time format")              \
  X(KL, F, Params, Setting, "language")                          \
  X(KN, F, Params, Setting, "printer name")                      \
  X(KP, F, Params, Setting, "control panel password")            \
  X(KV, F, Params, Setting, "kiosk values")                      \
  X(KC, F, Params, Setting, "client identifier")                 \
  X(NC, C, Params, Setting, "primary network")                   \
  X(ND, F, Params, Setting, "network settings")                  \
  X(NI, F, Params, Setting, "network identifier")                \
  X(NN, F, Params, Setting, "SNMP settings")                     \
  X(NP, F, Params, Setting, "primary network device")            \
  X(NS, F, Params, Setting, "wired settings")                    \
  X(NT, C, Params, Setting, "SMTP settings")                     \
  X(NB, F, Params, Setting, "network boot")                      \
  X(NW, F, Params, Setting, "wireless settings")                 \
  X(SC, F, Params, Setting, "serial settings")                   \
  X(SL, F, Params, Setting, "real-time clock mode")              \
  X(SO, F, Params, Setting, "real-time clock offset")            \
  X(SQ, F, Params, Setting, "host status")                       \
  X(SR, F, Params, Setting, "head resistance")                   \
  X(SS, F, Params, Setting, "sensor values")                     \
  X(ST, F, Params, Setting, "real-time clock")                   \
  X(SX, F, Params, Setting, "e-mail alert")                      \
  X(SI, F, Params, Setting, "sensor intensity")                  \
  X(SP, F, Params, Setting, "start print")                       \
  X(PF, F, Params, Setting, "slew")                              \
  X(PH, C, Params, Setting, "feed")                              \
  X(PP, C, Params, Setting, "programmable pause")                \
  X(PS, C, Params, Setting, "print start")                       \
  X(PL, C, Params, Setting, "present length")                    \
  X(PN, F, Params, Setting, "present now")                       \
  X(PT, F, Params, Setting, "tear-off")                          \
  X(HH, F, Params, Setting, "configuration to host")             \
  X(HI, C, Params, Setting, "host identification")               \
  X(HM, C, Params, Setting, "memory status to host")             \
  X(HQ, C, Params, Setting, "host query")                        \
  X(HS, C, Params, Setting, "host status")                       \
  X(HT, F, Params, Setting, "linked fonts to host")              \
  X(HU, C, Params, Setting, "alerts to host")                    \
  X(HV, F, Params, Setting, "field to host")                     \
  X(HW, F, Params, Setting, "directory to host")                 \
  X(HZ, F, Params, Setting, "information to host")               \
  X(HB, C, Params, Setting, "battery status")                    \
  X(HD, C, Params, Setting, "head diagnostics")                  \
  X(HF, F, Params, Setting, "format to host")                    \
  X(HG, F, Params, Setting, "graphic to host")                   \
  X(HL, F, Params, Setting, "log to host")                       \
  X(HY, F, Params, Setting, "graphic as hex to host")            \
  X(WC, C, Params, Setting, "configuration label")               \
  X(WD, F, Params, Setting, "directory label")                   \
  X(WL, F, Params, Setting, "wireless settings")                 \
  X(WP, F, Params, Setting, "wireless password")                 \
  X(WR, C, Params, Setting, "wireless transmit rate")            \
  X(WS, F, Params, Setting, "wireless radio")                    \
  X(WA, F, Params, Setting, "antenna")                           \
  X(WE, F, Params, Setting, "encryption")                        \
  X(WI, F, Params, Setting, "IP settings")                       \
  X(WX, F, Params, Setting, "wireless security")                 \
  X(EG, C, Params, Setting, "erase graphics")                    \
  X(DN, C, Params, Setting, "abort download")                    \
  X(RO, C, Params, Setting, "reset counters")                    \
  X(ZZ, F, Params, Setting, "sleep")                             \
  X(RS, F, Params, Setting, "RFID set-up")                       \
  X(RW, F, Params, Setting, "RFID read and write power")         \
  X(RR, F, Params, Setting, "RFID retries")                      \
  X(RB, F, Params, Setting, "RFID tag layout")                   \
  X(RI, F, Params, Setting, "RFID tag identifier")               \
  X(RM, F, Params, Setting, "RFID multiple labels")              \
  X(RN, F, Params, Setting, "RFID no motion")                    \
  X(RT, F, Params, Setting, "RFID read tag")                     \
  X(RZ, F, Params, Setting, "RFID password")                     \
  X(RE, F, Params, Setting, "EAS bit")                           \
  X(RL, F, Params, Setting, "RFID lock")                         \
  X(RU, F, Params, Setting, "RFID read")                         \
  X(WT, F, Params, Setting, "RFID write tag")                    \
  X(WV, F, Params, Setting, "RFID verify")                       \
  X(FL, F, Params, Setting, "font link")                         \
  X(LF, F, Params, Setting, "list fonts")                        \
  X(TO, F, Params, Setting, "transfer object")                   \
  X(CO, F, Params, Setting, "cache on")                          \
  X(CM, F, Params, Setting, "memory letters")                    \
  X(CN, F, Params, Setting, "cut now")                           \
  X(CP, F, Params, Setting, "remove label")                      \
  X(KB, C, Params, Setting, "kill battery")                      \
  X(NL, F, Params, Setting, "network link")                      \
  X(XS, C, Params, Setting, "bluetooth")                         \
  X(BT, F, Params, Setting, "bluetooth")                         \
  X(JQ, C, Params, Setting, "terminate")                         \
  X(JY, F, Params, Setting, "cut")                               \
  X(NR, C, Params, Host, "set all network printers transparent") \
  X(WQ, C, Params, Host, "write query")

#define MORVEL_ZPL_DECLARE(name, prefixes, syntax, role, what) extern const Command name;
MORVEL_ZPL_COMMANDS(MORVEL_ZPL_DECLARE)
#undef MORVEL_ZPL_DECLARE

// Every command, in the table's order.
std::span<const Command* const> Commands();

// The command of these two letters (upper case); ^A0..^AZ and ^A@ are the
// one font command. nullptr for letters the guide has no command of.
const Command* Find(char first, char second);

}  // namespace morvel::lang::zpl

// What a printer job says, read into labels: the languages' readers
// (zpl/, sbpl/, tspl/, epl/) fill this model in printer dots; previews draw
// it through the house renderer (preview/Painter.cpp). The model names what
// it holds in the words of core/drawing.h and knows nothing of the renderer.
#pragma once

#include "lang/Language.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/drawing.h"

namespace morvel::lang {

// In a field of graphic symbols (TextField::Marks), the circled U and C
// stand for the UL and CSA approval marks, which no font has: the painter
// draws them.
inline constexpr std::string_view UlMark = "\u24CA", CsaMark = "\u24B8";

// Positions and sizes are dots from the label's top left corner, the label
// home already added. Rotations are clockwise quarter turns in degrees.
struct TextField {
  int X = 0, Y = 0;
  std::string Utf8;
  // The TrueType stand-in, its Height the character cell's and its Width
  // a character's em width (0: as the face draws it).
  core::TextLook Look;
  double Em = 0;  // the stand-in's em when it is not the cell's height (capitals-only fonts)
  int Rotation = 0;
  // What ZPL adds; the other languages leave these as they are.
  bool Reverse = false;       // every dot it covers reversed (^FR, ^LR)
  bool FromBaseline = false;  // (X, Y) is where the baseline starts (^FT)
  double Baseline = 0;        // rows from the cell's top to its baseline; 0: the font's own
  int BlockWidth = 0;         // above 0: a field block (^FB) this wide
  int BlockLines = 1, LineSpacing = 0, HangingIndent = 0;
  char Justify = 'L';                        // L, C, R or J within the block
  bool Clip = false;                         // lines past BlockLines are cut (^TB), not printed over the last
  bool Vertical = false, Backwards = false;  // ^FP
  int Gap = 0;                               // extra dots between characters
  bool Marks = false;                        // graphic symbols, UlMark and CsaMark among them
};
struct FilledBox {  // a bar, or a box outline when Thickness is below half a side
  int X = 0, Y = 0, Width = 0, Height = 0, Thickness = 0;
};
// A picture's black dots, placed as they are (^GF, GW, BITMAP...).
struct GraphicField {
  int X = 0, Y = 0;
  core::Bitmap Dots;
  bool Reverse = false, FromBaseline = false;
};

// A barcode of any symbology, with its human-readable line.
struct BarcodeField {
  int X = 0, Y = 0, Rotation = 0;
  core::SymbolOptions Symbol;
  std::string Data;
  std::string Name;          // for messages: "Code 128", "QR code", "PDF417"...
  char Readable = 'N';       // N none, B below, A above the bars
  std::string ReadableText;  // empty: the text the symbology gives
  int TextHeight = 0;        // of the human-readable line, in dots
  // Where the line below the bars stands: in a cell TextHeight tall,
  // centred on the bars, the field's corner being the bars' and its box the
  // bars and that cell (SBPL, TSPL, EPL); or, without TextCell, as tall as
  // it is drawn, the field being the whole picture (ZPL).
  bool TextCell = false;
  bool FromBaseline = false;  // (X, Y) is the bottom left of the bars (^FT)
  bool Reverse = false;
};
// Boxes, circles, ellipses and diagonals (^GB ^GC ^GE ^GD).
struct Shape {
  enum Kind { Box, Ellipse, Diagonal } What = Box;
  int X = 0, Y = 0, Width = 0, Height = 0, Thickness = 1;
  int Rounding = 0;        // 0..8 eighths of half the shorter side
  bool LeansRight = true;  // a diagonal from bottom left to top right
  bool White = false, Reverse = false, FromBaseline = false;
};

using Field = std::variant<TextField, FilledBox, BarcodeField, GraphicField, Shape>;

// What a label asks of the RFID tag under the printer's antenna before it
// prints it (ZPL ^RF and its field data, SBPL's ESC IP0), as the job gives it.
struct TagOperation {
  char What = 'W';         // W write, L write and lock, R read, S set a password, P read one
  char Format = 'H';       // the data's: A ASCII, H hexadecimal, E EPC
  std::string Bank = "E";  // E the EPC (the default), 0 reserved, 1 EPC, 2 TID, 3 user, A EPC and its PC bits
  std::string Start;       // the first block or byte, as given; empty: the default
  std::string Length;      // the bytes or blocks, as given; empty: the data's own
  std::string Data;        // the field's data (hexadecimal digits for H)
  size_t Offset = 0;       // where the job gives it
  int FieldNumber = -1;    // ^FN: the field a read puts what it reads in (^HV answers it); -1: none
};
// How the printer treats a tag it cannot write (ZPL ^RS): it prints VOID on
// the label and tries the same format on the next, Tries labels in all;
// then it drops the format and goes on (N), pauses (P) or stops in error (E).
struct TagRules {
  int Tries = 3;         // 1-10
  char OnFailure = 'N';  // N, P or E
  int VoidLength = 0;    // dot rows of the VOID printout; 0: the label's length
};

// A field's data the printer sends back to the host on the connection the
// job came on (ZPL ^HV, after the RFID Programming Guide 58978L-008, ^HV
// Host Verification): Header, then the field's first Bytes, then
// Terminator, once for the format or after every label printed.
struct HostVerification {
  int Field = 0;   // the ^FN number, 0-9999
  int Bytes = 64;  // 1-256
  std::string Header, Terminator;
  bool PerLabel = false;  // L: after every label (each copy, each VOID); F: once, after the format's last
};

struct Label {
  int Width = 0, Height = 0;  // 0: not given; the painter fits the fields
  int Turn = 0;               // 0 or 180: how the label leaves the printer
  bool Mirror = false;        // printed mirrored left to right (^PMY)
  std::string Copies = "1";
  std::vector<Field> Fields;
  std::vector<std::string> Notes;               // settings worth telling (speed, darkness, RFID...)
  std::vector<TagOperation> Tags;               // in the order the job gives them
  TagRules TagFailures;                         // the rules in force when the label prints
  std::vector<HostVerification> Verifications;  // ^HV, in the order the job gives them
  std::map<int, std::string> FieldData;         // its numbered fields' data (^FN), as ^HV sends it
};

struct Warning {
  size_t Offset = 0;
  std::string Text;
};

struct Job {
  Language Kind = Language::Zpl;
  std::vector<Label> Labels;
  std::vector<Warning> Warnings;
};

// A job that cannot be read whole; no label of it is drawn.
class MalformedJob : public std::runtime_error {
 public:
  MalformedJob(size_t offset, const std::string& what)
      : std::runtime_error("offset " + std::to_string(offset) + ": " + what), offset_(offset) {}
  size_t Offset() const noexcept { return offset_; }

 private:
  size_t offset_;
};

// Largest label side the preview draws, in dots (over 2.5 m at 203 dpi):
// the renderer's largest page side.
constexpr int MaxLabelSide = 20000;

// What one label and one job may cost, read and drawn alike by `morvel
// preview` and `morvel emulate`: beyond these a reader leaves the field,
// the graphic or the label's picture out and says so, rather than take the
// memory or the time (a dot is a byte while it is drawn).
struct Bounds {
  // One graphic or picture: a 4,096-dot square (a whole 4 x 6 inch label
  // at 600 dpi is 8.6 million dots).
  static constexpr long long GraphicDots = 1LL << 24;
  // Every raster of one label together, and every graphic a job stores for
  // its labels (~DG, ~DY, ^IS, DOWNLOAD).
  static constexpr long long LabelRasterDots = 2 * GraphicDots;
  static constexpr long long StoredDots = 2 * GraphicDots;
  // One text field's bytes, as ZPL's ^FD takes at most, and the area all
  // the text of one label may cover (its characters' cells).
  static constexpr size_t TextBytes = 3072;
  static constexpr long long LabelTextDots = 16LL * 1000 * 1000;
  // The labels of one job that are pictured; the rest are counted.
  static constexpr size_t PicturesPerJob = 1000;
};

// Told of each command a reader meets, before it acts on it: the command
// as the job wrote it from its first letter (a ZPL command with the
// standard ^ or ~ before it, an SBPL one after its ESC, a TSPL line), cut
// at the next command or line end and at 48 bytes, and its offset. ZPL
// commands inside a stored format (^DF) are told too, as the printer would
// run them when the format is recalled.
using CommandSeen = std::function<void(std::string_view command, size_t offset)>;

// With `each`, every label goes to it as soon as it is read and the job's
// Labels stay empty: a long job is never held whole.
Job ParseZpl(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each = {},
             const CommandSeen& seen = {});
Job ParseSbpl(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each = {},
              const CommandSeen& seen = {});
Job ParseOrx(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each = {},
             const CommandSeen& seen = {});

// Shared by the readers (Parsing.cpp).
namespace detail {
// Whole number with optional sign, the entire text; nullopt otherwise or
// beyond +-10^9.
std::optional<long> Whole(std::string_view text);
// A decimal number, the entire text.
std::optional<double> Decimal(std::string_view text);
std::string_view Trim(std::string_view text);
std::vector<std::string_view> Split(std::string_view text, char separator, size_t maxParts = SIZE_MAX);
// The bytes as UTF-8: kept when they are UTF-8 already, else read as CP1252.
std::string ToUtf8Lenient(std::string_view bytes);
// The bytes decoded from an iconv code page to UTF-8; lenient on failure.
std::string Decode(std::string_view bytes, const char* codePage);
// Black dots of a BMP, PNG, GIF or JPEG file (dark pixels black); nullopt
// when the bytes are no picture it can read, or one whose header gives a
// size beyond Bounds::GraphicDots (told before the decoder takes memory for it).
std::optional<core::Bitmap> DecodePicture(std::string_view bytes, std::string* why);
int MmToDots(double mm, int dpi);
// Field text quoted in a message: whole up to 64 bytes, else its start, an
// ellipsis and its size, so a record never copies a field of a megabyte.
std::string Quoted(std::string_view text);
// A message past 512 bytes (one quoting a long parameter) keeps its start,
// an ellipsis and its size.
std::string Shortened(std::string text);
// Code 128 of the bytes at a module width and bar height, as SBPL, TSPL
// and EPL draw it: with `textHeight` above 0, the data (Latin-1) written
// below the bars in a cell that tall.
BarcodeField Code128(int module, int barHeight, int textHeight, std::string data);
// A QR code (model 2) of modules `module` dots square at error correction
// 'L', 'M', 'Q' or 'H'.
BarcodeField QrCode(int module, char errorCorrection, std::string data);
// The dots of the graphics among `fields`.
long long RasterDots(const std::vector<Field>& fields);
}  // namespace detail

}  // namespace morvel::lang

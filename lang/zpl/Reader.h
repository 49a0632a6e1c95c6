// The reader of ZPL jobs (within lang/zpl only): its state in three parts,
// the printer's (what outlives a label, as on the printer), the label's
// (what ^XA starts afresh) and the field's (Fields.h: what each field starts
// afresh), and its parts, in Reader.cpp (commands, labels, stored formats),
// Fields.cpp (fonts, field data, text), Symbols.cpp (barcodes) and
// Objects.cpp (shapes, graphics, downloaded objects).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lang/Label.h"
#include "lang/zpl/Commands.h"
#include "lang/zpl/Fields.h"

namespace morvel::lang::zpl {

// The printer's settings and what is stored on it: they outlive a label,
// as the guide has them (^CI, ^CF, ^BY, ^FW, ^LH, ^PW, ^LL ... stay until
// changed), and no ^XA resets them.
struct PrinterState {
  char Caret = '^', Tilde = '~', Delimiter = ',';  // ^CC, ^CT, ^CD
  int PrintWidth = 0, LabelLength = 0;             // ^PW, ^LL; 0: the media's
  int HomeX = 0, HomeY = 0, Shift = 0, Top = 0;    // ^LH, ^LS, ^LT
  int Turn = 0;                                    // ^PO: 180 inverted
  bool Mirror = false, ReverseAll = false;         // ^PM, ^LR
  int CharacterSet = 0;                            // ^CI
  std::map<unsigned char, char> Remap;             // ^CI's pairs: byte sent -> character printed
  std::string Table;                               // ^SE
  Font DefaultFont;                                // ^CF
  std::map<char, std::string> Aliases;             // ^CW
  std::string LastFontFile;                        // the last ^A@'s font, for an ^A@ without one
  int FieldRotation = 0;                           // ^FW
  int ModuleWidth = 2, BarHeight = 10;             // ^BY
  double Ratio = 3.0;
  std::map<std::string, core::Bitmap> Graphics;      // ~DG, ~DY
  std::map<std::string, std::vector<Field>> Images;  // ^IS: labels stored as images
  std::map<std::string, std::string> Formats;        // ^DF formats: their bytes
  TagRules TagFailures;                              // ^RS: what a tag that cannot be written brings
};

// A field whose data counts up from copy to copy (^SN, ^SF).
struct SerialField {
  size_t Index;  // its place among the label's fields
  std::string Start;
  long Step;
  std::string Mask, MaskStep;
};

// The label ^XA begins and ^XZ ends: what it builds, started afresh by each ^XA.
struct LabelState {
  std::optional<Label> Built;          // the label being read; none between labels
  size_t At = 0;                       // its ^XA
  size_t CarriedNotes = 0;             // its first notes: those of formats before it
  long long RasterDots = 0;            // taken by its rasters (Bounds)
  long Copies = 1;                     // ^PQ
  bool FieldsSeen = false;             // it has a field, drawn or not
  std::vector<SerialField> Serials{};  // its fields that count up
  // What a label takes up at the ^XZ that prints it, and one that prints
  // nothing leaves to the next ^XA (Start): ^FN data, the format ^XF
  // recalls and the name ^IS stores it under. StoringOnly: ^DF, read in this
  // label or before it, makes it store a format and print nothing.
  std::map<int, std::string> Numbered;
  bool StoringOnly = false;
  std::string RecallName;
  size_t RecallAt = 0;
  std::string StoreImageAs;
};

// One command as the reader met it.
struct Call {
  const Command* Of;  // nullptr: a command the guide does not have (an unknown ^B)
  std::string Shown;  // as the job wrote it, for messages: ^FO, ~JA
  size_t At;          // its offset in the job
  std::string_view Params;
  std::vector<std::string_view> Args;
};

class Reader {
 public:
  Reader(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen = {});
  Job Read();

 private:
  using Args = std::vector<std::string_view>;

  // Reader.cpp: the job, command by command.
  void Run(std::string_view text, size_t base);
  size_t NextPrefix(size_t from) const;
  size_t Step(size_t p);
  void Tell(size_t p, size_t at);
  size_t ParamsEnd(size_t from) const;
  size_t FindCommand(size_t from, const char* name) const;
  bool KnownControl(size_t k) const;
  size_t FieldDataEnd(size_t from) const;
  void CheckJunk(size_t from, size_t to, bool& warned);
  void Warn(size_t offset, std::string text);
  Args Split(std::string_view params) const;
  static std::optional<long> Arg(const Args& args, size_t k);
  static std::optional<double> Real(const Args& args, size_t k);
  static char Letter(const Args& args, size_t k, char fallback);
  static std::string Text(const Args& args, size_t k);
  static int Clamp(long v, long lo, long hi);
  void Begin(size_t at);
  void Note(std::string text);
  void TagSetup(size_t at, std::string_view params);    // ^RS
  void HostVerify(size_t at, std::string_view params);  // ^HV (Fields.cpp)
  void Dispatch(char prefix, const std::string& name, size_t at, std::string_view params);
  void PrintWidth(const Call& c);
  void LabelLength(const Call& c);
  void LabelHome(const Call& c);
  void LabelShift(const Call& c);
  void LabelTop(const Call& c);
  void LabelReverse(const Call& c);
  void PrintOrientation(const Call& c);
  void PrintMirror(const Call& c);
  void PrintQuantity(const Call& c);
  void CharacterSet(const Call& c);
  void EncodingTable(const Call& c);
  void Start(size_t at);
  void Finish(size_t at);
  void ReplayRecalledFormat();
  void EmitCopies();
  void Emit(Label&& label);
  void StoreFormat(std::string_view params, size_t from);
  void RecallFormat(const Call& c);

  // Fields.cpp: fonts, field data and text.
  void FontCommand(size_t at, char letter, std::string_view params);
  void DefaultFont(const Call& c);
  void FontAlias(const Call& c);
  void FieldRotation(const Call& c);
  void FieldOrigin(const Call& c);
  void FieldHex(const Call& c);
  void FieldReverse(const Call& c);
  void FieldBlock(const Call& c);
  void TextBlock(const Call& c);
  void FieldParameter(const Call& c);
  void FieldNumber(const Call& c);
  void SerialData(const Call& c);
  void SerialMask(const Call& c);
  void FieldSeparator(const Call& c);
  void GraphicSymbol(const Call& c);
  void RfidField(const Call& c);
  std::string Unescaped(const std::string& data) const;
  std::string FieldBytes() const;
  std::string FieldText(const std::string& bytes) const;
  std::string NationalText(const std::string& bytes) const;
  static std::string BlockEscapes(const std::string& utf8, const char* backslash);
  int FieldX() const { return printer_.HomeX + field_.X - printer_.Shift; }
  int FieldY() const { return printer_.HomeY + field_.Y + printer_.Top; }
  bool Reversed() const { return field_.Reverse || printer_.ReverseAll; }
  void EndField();
  void AddText(const std::string& bytes);
  void Dress(TextField& text, const Font& f) const;

  static std::string Serial(const SerialField& s, long copy);

  // Symbols.cpp: barcodes.
  void BarDefaults(const Call& c);
  void Barcode(const Call& c);
  bool LinearBarcode(char letter, const Args& args, BarcodeField& s);
  bool MatrixBarcode(char letter, const Args& args, BarcodeField& s);
  bool SymbolData(BarcodeField& s, const std::string& bytes);
  bool Code128Data(BarcodeField& s, const std::string& bytes);
  bool Refuse(const BarcodeField& s, const std::string& why);
  bool QrData(BarcodeField& s, const std::string& bytes);
  bool MaxiData(BarcodeField& s, const std::string& bytes);

  // Objects.cpp: shapes, graphics and downloaded objects.
  void ShapeCommand(const Call& c);
  size_t Graphic(size_t p, size_t at);
  size_t Download(size_t p, size_t at, const std::string& name);
  size_t DownloadGraphic(size_t start, size_t at, const Args& head);
  size_t DownloadObject(size_t start, size_t at, const Args& head);
  void RecallGraphic(const Call& c);
  void ImageMove(const Call& c);
  void ImageLoad(const Call& c);
  void ImageSave(const Call& c);
  void ObjectDelete(const Call& c);
  bool Afford(const core::Bitmap& dots, size_t at, const std::string& what);
  bool Afford(long long dots, size_t at, const std::string& what);
  void Store(const std::string& name, core::Bitmap&& dots, size_t at, const std::string& what);
  long long StoredDotsBut(const std::string& name) const;

  std::string_view b_;
  size_t base_ = 0;
  int dpi_;
  const std::function<void(Label&&)>& each_;
  const CommandSeen& seen_;
  Job job_;
  std::vector<std::string> pendingNotes_;        // notes for the next label
  bool recallFill_ = false, replaying_ = false;  // a recalled format is being read into the label
  PrinterState printer_;
  LabelState label_;
  FieldState field_;
};

// Helpers the parts share.
int RotationOf(char letter, int fallback);
std::string Upper(std::string_view s);
std::string ObjectName(std::string_view name, const char* extension);
char Mod10(std::string_view digits);

}  // namespace morvel::lang::zpl

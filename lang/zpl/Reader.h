// The reader of ZPL jobs (within lang/zpl only): its state, which settings
// outlive a label as on the printer and which a field starts afresh, and its
// parts, in Reader.cpp (commands, labels, stored formats), Fields.cpp
// (fonts, field data, text), Symbols.cpp (barcodes) and Objects.cpp (shapes,
// graphics, downloaded objects).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lang/Label.h"
#include "lang/zpl/Commands.h"

namespace morvel::lang::zpl {

enum class FieldKind { Text, Shape, Symbol, Graphic, Rfid };

struct Font {
  char Name = 'A';
  int Rotation = -1;  // -1: the ^FW default
  double Height = 9, Width = 5;
  std::string File;  // ^A@ and ^CW: the font's name on the printer
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
  void ResetField();
  std::string Unescaped(const std::string& data) const;
  std::string FieldBytes() const;
  std::string FieldText(const std::string& bytes) const;
  std::string NationalText(const std::string& bytes) const;
  static std::string BlockEscapes(const std::string& utf8, const char* backslash);
  int FieldX() const { return lhX_ + foX_ - ls_; }
  int FieldY() const { return lhY_ + foY_ + lt_; }
  bool Reversed() const { return reverse_ || lr_; }
  void EndField();
  void AddText(const std::string& bytes);
  void Dress(TextField& text, const Font& f) const;

  struct SerialField {
    size_t Index;
    std::string Start;
    long Step;
    std::string Mask, MaskStep;
  };
  static std::string Serial(const SerialField& s, long copy);

  // Symbols.cpp: barcodes.
  void BarDefaults(const Call& c);
  void Barcode(const Call& c);
  bool LinearBarcode(char letter, const Args& args, SymbolField& s);
  bool MatrixBarcode(char letter, const Args& args, SymbolField& s);
  bool SymbolData(SymbolField& s, const std::string& bytes);
  bool Code128Data(SymbolField& s, const std::string& bytes);
  bool Refuse(const SymbolField& s, const std::string& why);
  bool QrData(SymbolField& s, const std::string& bytes);
  bool MaxiData(SymbolField& s, const std::string& bytes);

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
  bool Afford(const render::Bitmap& dots, size_t at, const std::string& what);
  bool Afford(long long dots, size_t at, const std::string& what);
  void Store(const std::string& name, render::Bitmap&& dots, size_t at, const std::string& what);
  long long StoredDotsBut(const std::string& name) const;

  std::string_view b_;
  size_t base_ = 0;
  int dpi_;
  const std::function<void(Label&&)>& each_;
  const CommandSeen& seen_;
  Job job_;
  std::optional<Label> label_;
  size_t labelStart_ = 0;
  std::vector<std::string> pendingNotes_;
  size_t carriedNotes_ = 0;  // the label's first notes: those of formats before it
  // Printer settings: they outlive a label, as on the printer.
  char caret_ = '^', tilde_ = '~', delim_ = ',';
  int pw_ = 0, ll_ = 0, lhX_ = 0, lhY_ = 0, ls_ = 0, lt_ = 0, turn_ = 0, ci_ = 0;
  bool mirror_ = false, lr_ = false;
  std::map<unsigned char, char> remap_;
  std::string table_;
  Font font_;
  Font gsFont_;
  std::map<char, std::string> aliases_;
  std::string lastFontFile_;
  int fwRotation_ = 0;
  int moduleWidth_ = 2, barHeight_ = 10;
  double ratio_ = 3.0;
  long copies_ = 1;
  std::map<std::string, render::Bitmap> graphics_;
  std::map<std::string, std::vector<Field>> images_;
  long long labelRasterDots_ = 0;               // taken by this label's rasters (Bounds)
  std::map<std::string, std::string> formats_;  // ^DF formats: their bytes
  std::string storeImageAs_;
  bool storingOnly_ = false, recallFill_ = false, replaying_ = false;
  std::string recallName_;
  size_t recallAt_ = 0;
  std::map<int, std::string> numbered_;
  std::vector<SerialField> serials_;
  // The field under construction.
  bool fieldOpen_ = false, haveData_ = false;
  bool fieldsSeen_ = false;  // the format has a field, drawn or not
  size_t fieldAt_ = 0;
  FieldKind kind_ = FieldKind::Text;
  std::optional<Font> fieldFont_;
  int foX_ = 0, foY_ = 0;
  bool fromBaseline_ = false, continueX_ = false, continueY_ = false;
  char hex_ = '\0';
  bool reverse_ = false, block_ = false, vertical_ = false, backwards_ = false, symbolFont_ = false;
  int blockWidth_ = 0, blockLines_ = 1, lineSpacing_ = 0, indent_ = 0, gap_ = 0;
  char justify_ = 'L';
  bool textBlock_ = false;  // ^TB: the block is textBlockHeight_ dots tall
  int textBlockHeight_ = 0, textBlockRotation_ = -1, originJustify_ = 0;
  int fieldNumber_ = -1;
  bool serial_ = false;
  long serialStep_ = 1;
  std::string serialMask_, serialStepText_;
  Shape shape_;
  render::Bitmap graphic_;
  SymbolField symbol_;
  char mode_ = 'N', code128Mode_ = 'N', qrLevel_ = 'Q', escape_ = '~';
  bool check_ = false, eci_ = false;
  std::string startStop_;
  std::string data_, rfid_;
};

// Helpers the parts share.
int RotationOf(char letter, int fallback);
std::string Upper(std::string_view s);
std::string ObjectName(std::string_view name, const char* extension);
char Mod10(std::string_view digits);

}  // namespace morvel::lang::zpl

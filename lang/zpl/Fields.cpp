// ZPL fields: the fonts (the printer's bitmap fonts by their table, scalable
// and downloaded ones by name), where a field goes and how its block is laid
// out, its data as the printer takes it (hexadecimal escapes, ^CI's
// character sets and remapping, serial numbers), and the text field it makes.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>

#include "lang/zpl/Reader.h"

namespace morvel::lang::zpl {
namespace {

// Bitmap fonts at 203 dpi: cell height, character width, and the pitch
// (width plus the gap between characters) the guide's font table gives
// (its characters a millimetre: H's 0.423 is a pitch of 19 dots). B and H
// have capitals only; the OCR faces E and H, and A, C and D, are drawn in
// plain strokes, B, F and G heavy.
struct BitmapFont {
  char Name;
  int Height, Width, Pitch;
  bool CapitalsOnly, Heavy;
};
constexpr BitmapFont BitmapFonts[] = {
    {'A', 9, 5, 6, false, false},    {'B', 11, 7, 9, true, true},     {'C', 18, 10, 12, false, false},
    {'D', 18, 10, 12, false, false}, {'E', 28, 15, 20, false, false}, {'F', 26, 13, 16, false, true},
    {'G', 60, 40, 48, false, true},  {'H', 21, 13, 19, true, false},
};
const BitmapFont* BitmapFontOf(char name) {
  for (const auto& f : BitmapFonts)
    if (f.Name == name) return &f;
  return nullptr;
}

// ^CI 0..12: national sets that put other characters at twelve ASCII
// places. USA 1, the printer's default, prints a cent sign for the
// backslash; code page 850 (^CI13) has the backslash.
const char* const NationalPlaces = "#$@[\\]^`{|}~";
const char* const NationalSets[13][12] = {
    {"#", "$", "@", "[", "¢", "]", "^", "`", "{", "|", "}", "~"},  // USA 1
    {"#", "$", "@", "⅓", "¢", "⅔", "^", "`", "¼", "½", "¾", "~"},  // USA 2
    {"£", "$", "@", "[", "¢", "]", "^", "`", "{", "|", "}", "~"},  // UK
    {"ƒ", "$", "§", "[", "Ĳ", "]", "^", "`", "{", "ĳ", "}", "~"},  // Holland
    {"#", "$", "@", "Æ", "Ø", "Å", "^", "`", "æ", "ø", "å", "~"},  // Denmark, Norway
    {"#", "¤", "É", "Ä", "Ö", "Å", "Ü", "é", "ä", "ö", "å", "ü"},  // Sweden, Finland
    {"#", "$", "§", "Ä", "Ö", "Ü", "^", "`", "ä", "ö", "ü", "ß"},  // Germany
    {"£", "$", "à", "[", "ç", "]", "^", "`", "é", "|", "ù", "¨"},  // France 1
    {"#", "$", "à", "â", "ç", "ê", "î", "ô", "é", "ù", "è", "û"},  // France 2
    {"£", "$", "§", "[", "ç", "é", "^", "ù", "à", "ò", "è", "ì"},  // Italy
    {"#", "$", "§", "¡", "Ñ", "¿", "^", "`", "{", "ñ", "ç", "~"},  // Spain
    {"£", "$", "É", "Ä", "Ö", "Ü", "^", "ä", "ë", "ï", "ö", "ü"},  // miscellaneous
    {"#", "$", "@", "[", "¥", "]", "^", "`", "{", "|", "}", "~"},  // Japan
};

const char* CodePageOf(int ci) {
  switch (ci) {
    case 27: return "CP1252";
    case 31: return "CP1250";
    case 33: return "CP1251";
    case 34: return "CP1253";
    case 35: return "CP1254";
    case 36: return "CP1255";
    default: return "CP850";  // 0..13: the printer's code page 850
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Lower-case letters as a capitals-only font prints them.
std::string Capitals(const std::string& utf8) {
  std::string out = utf8;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string GraphicSymbols(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    switch (std::toupper(static_cast<unsigned char>(c))) {
      case 'A': out += "®"; break;
      case 'B': out += "©"; break;
      case 'C': out += "™"; break;
      case 'D': out += UlMark; break;
      case 'E': out += CsaMark; break;
      default: break;
    }
  }
  return out;
}

}  // namespace

void Reader::FontCommand(size_t at, char letter, std::string_view params) {
  // ^Af o,h,w  and  ^A@o,h,w,d:name.ext
  if (!label_.Built) return Warn(at, std::string("^A") + letter + " outside a label; ignored");
  auto args = Split(params);
  Font font;
  font.Name = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  font.Rotation = RotationOf(Letter(args, 0, '?'), -1);
  const long h = std::max(Arg(args, 1).value_or(0), 0L), w = std::max(Arg(args, 2).value_or(0), 0L);  // 0: none
  if (auto alias = printer_.Aliases.find(font.Name); alias != printer_.Aliases.end()) font.File = alias->second;
  if (font.Name == '@' && args.size() > 3) font.File = ObjectName(args[3], ".TTF");
  if (font.Name == '@' && font.File.empty()) font.File = printer_.LastFontFile;
  if (font.Name == '@') printer_.LastFontFile = font.File;
  const BitmapFont* bitmap = font.File.empty() ? BitmapFontOf(font.Name) : nullptr;
  if (bitmap) {
    // Magnifications are whole multiples of the cell, 1 to 10.
    const int mh = h ? Clamp(std::lround(static_cast<double>(h) / bitmap->Height), 1, 10) : 0;
    const int mw = w ? Clamp(std::lround(static_cast<double>(w) / bitmap->Width), 1, 10) : 0;
    font.Height = bitmap->Height * (mh ? mh : mw ? mw : 1);
    font.Width = bitmap->Width * (mw ? mw : mh ? mh : 1);
  } else {
    font.Height = h ? static_cast<double>(h) : w ? static_cast<double>(w) : printer_.DefaultFont.Height;
    font.Width = w ? static_cast<double>(w) : h ? static_cast<double>(h) : printer_.DefaultFont.Width;
  }
  field_.OwnFont = font;
  Begin(at);
}

void Reader::DefaultFont(const Call& c) {
  const Args& args = c.Args;
  char f = Letter(args, 0, printer_.DefaultFont.Name);
  auto h = Arg(args, 1), w = Arg(args, 2);
  printer_.DefaultFont.Name = f;
  printer_.DefaultFont.File.clear();
  if (auto alias = printer_.Aliases.find(f); alias != printer_.Aliases.end()) printer_.DefaultFont.File = alias->second;
  const BitmapFont* bitmap = printer_.DefaultFont.File.empty() ? BitmapFontOf(f) : nullptr;
  if (h && *h > 0) printer_.DefaultFont.Height = static_cast<double>(*h);
  if (w && *w > 0)
    printer_.DefaultFont.Width = static_cast<double>(*w);
  else if (h && *h > 0)
    printer_.DefaultFont.Width =
        bitmap ? bitmap->Width * std::max(1.0, std::round(*h / double(bitmap->Height))) : printer_.DefaultFont.Height;
  if (bitmap && !(h && *h > 0)) {
    printer_.DefaultFont.Height = bitmap->Height;
    if (!(w && *w > 0)) printer_.DefaultFont.Width = bitmap->Width;
  }
}

void Reader::FontAlias(const Call& c) {
  char f = Letter(c.Args, 0, '\0');
  if (f) printer_.Aliases[f] = Upper(Text(c.Args, 1));
}

void Reader::FieldRotation(const Call& c) {
  printer_.FieldRotation = RotationOf(Letter(c.Args, 0, 'N'), printer_.FieldRotation);
}

// ^FO and ^FT: ^FT places the baseline, and where it leaves a coordinate out
// the text goes on where the previous text ended.
void Reader::FieldOrigin(const Call& c) {
  auto x = Arg(c.Args, 0), y = Arg(c.Args, 1);
  field_.FromBaseline = c.Of == &FT;
  field_.ContinueX = field_.FromBaseline && !x;
  field_.ContinueY = field_.FromBaseline && !y;
  field_.X = Clamp(x.value_or(0), 0, 32000);
  field_.Y = Clamp(y.value_or(0), 0, 32000);
  field_.OriginJustify = static_cast<int>(Arg(c.Args, 2).value_or(0));
  Begin(c.At);
}

void Reader::FieldHex(const Call& c) {
  auto t = detail::Trim(c.Params);
  field_.Hex = t.empty() ? '_' : t[0];
}

void Reader::FieldReverse(const Call&) { field_.Reverse = true; }

void Reader::FieldBlock(const Call& c) {
  const Args& args = c.Args;
  field_.BlockWidth = Clamp(Arg(args, 0).value_or(0), 0, 9999);
  field_.BlockLines = Clamp(Arg(args, 1).value_or(1), 1, 9999);
  field_.LineSpacing = Clamp(Arg(args, 2).value_or(0), -9999, 9999);
  field_.Justify = Letter(args, 3, 'L');
  if (std::string_view("LCRJ").find(field_.Justify) == std::string_view::npos) field_.Justify = 'L';
  field_.Indent = Clamp(Arg(args, 4).value_or(0), 0, 9999);
  field_.Block = true;
  field_.TextBlock = false;
}

// ^TBa,b,c: "a text block with defined width and height. The text block
// has an automatic word-wrap function. If the text exceeds the block
// height, the text is truncated." Its rotation defaults to the field's
// font's; its justification "comes from ^FO, ^FT" (1: right).
void Reader::TextBlock(const Call& c) {
  const Args& args = c.Args;
  field_.TextBlockRotation = RotationOf(Letter(args, 0, '?'), -1);
  field_.BlockWidth = Clamp(Arg(args, 1).value_or(1), 1, 32000);
  field_.TextBlockHeight = Clamp(Arg(args, 2).value_or(1), 1, 32000);
  field_.BlockLines = 1;
  field_.LineSpacing = field_.Indent = 0;
  field_.TextBlock = true;
  field_.Block = false;
  Begin(c.At);
}

void Reader::FieldParameter(const Call& c) {
  char d = Letter(c.Args, 0, 'H');
  field_.Vertical = d == 'V';
  field_.Backwards = d == 'R';
  field_.Gap = Clamp(Arg(c.Args, 1).value_or(0), 0, 9999);
}

void Reader::FieldNumber(const Call& c) {
  field_.Number = Clamp(Arg(c.Args, 0).value_or(0), 0, 9999);
  Begin(c.At);
}

void Reader::SerialData(const Call& c) {
  field_.Serial = true;
  field_.Data = Text(c.Args, 0);
  field_.HaveData = true;
  field_.SerialStep = Arg(c.Args, 1).value_or(1);
  Begin(c.At);
}

void Reader::SerialMask(const Call& c) {
  field_.Serial = true;
  field_.SerialMask = Text(c.Args, 0);
  field_.SerialStepText = Text(c.Args, 1);
}

void Reader::FieldSeparator(const Call&) {
  if (!field_.Open && !field_.HaveData) return;  // an empty ^FS closes nothing, as on the printer
  EndField();
}

void Reader::GraphicSymbol(const Call& c) {
  const Args& args = c.Args;
  field_.GsFont = Font{
      '0', RotationOf(Letter(args, 0, '?'), -1),
      static_cast<double>(Arg(args, 1).value_or(static_cast<long>(printer_.DefaultFont.Height))),
      static_cast<double>(Arg(args, 2).value_or(Arg(args, 1).value_or(static_cast<long>(printer_.DefaultFont.Width)))),
      ""};
  field_.SymbolFont = true;
  Begin(c.At);
}

void Reader::RfidField(const Call& c) {
  field_.Rfid = std::string(detail::Trim(c.Params));
  field_.Kind = FieldKind::Rfid;
  Begin(c.At);
}

// ^HV#,n,h,t,a (RFID Programming Guide 58978L-008, ^HV Host Verification):
// field # (0-9999) of the label, its first n bytes (1-256), after the header
// h and before the termination t, which ^FH escapes as field data; a = L
// after every label printed, F (the default) once for the format. The
// delimiter ends h and t; a line end in them is the job's layout. Like a
// field, it takes the ^FH before it, and its ^FS ends that.
void Reader::HostVerify(size_t at, std::string_view params) {
  if (!label_.Built) return;
  const Args args = Split(params);
  HostVerification v;
  v.Field = Clamp(Arg(args, 0).value_or(0), 0, 9999);
  if (auto n = Arg(args, 1)) {
    if (*n >= 1 && *n <= 256)
      v.Bytes = static_cast<int>(*n);
    else
      Warn(at, "^HV bytes to return " + std::to_string(*n) + " is not 1-256; 64 returned");
  }
  auto escaped = [&](size_t k) {
    std::string raw = k < args.size() ? std::string(args[k]) : std::string();
    std::erase_if(raw, [](char c) { return c == '\r' || c == '\n'; });
    return Unescaped(raw);
  };
  v.Header = escaped(2);
  v.Terminator = escaped(3);
  v.PerLabel = Letter(args, 4, 'F') == 'L';
  label_.Built->Verifications.push_back(std::move(v));
  if (!field_.Open) field_.Hex = '\0';
}

std::string Reader::Unescaped(const std::string& data) const {
  if (!field_.Hex) return data;
  std::string out;
  for (size_t k = 0; k < data.size(); ++k) {
    if (data[k] == field_.Hex && k + 2 < data.size() + 0 && HexValue(data[k + 1]) >= 0 && HexValue(data[k + 2]) >= 0) {
      out += static_cast<char>(HexValue(data[k + 1]) * 16 + HexValue(data[k + 2]));
      k += 2;
    } else {
      out += data[k];
    }
  }
  return out;
}

// Field data as the printer takes it: line ends dropped, ^FH escapes
// decoded, ^CI's remapping pairs applied.
std::string Reader::FieldBytes() const {
  std::string d;
  for (char c : field_.Data)
    if (c != '\r' && c != '\n') d += c;
  d = Unescaped(d);
  if (!printer_.Remap.empty())
    for (char& c : d)
      if (auto r = printer_.Remap.find(static_cast<unsigned char>(c)); r != printer_.Remap.end()) c = r->second;
  return d;
}

// Field data as text: UTF-8, GB18030 with its table, UTF-16, the national
// sets, or one of the Windows code pages.
std::string Reader::FieldText(const std::string& bytes) const {
  std::string text;
  if (printer_.CharacterSet == 28)
    text = detail::ToUtf8Lenient(bytes);
  else if (printer_.CharacterSet == 26 && printer_.Table.find("GB18030") != std::string::npos)
    text = detail::Decode(bytes, "GB18030");
  else if (printer_.CharacterSet == 29 || printer_.CharacterSet == 30)
    text = detail::Decode(bytes, printer_.CharacterSet == 29 ? "UTF-16BE" : "UTF-16LE");
  else if (printer_.CharacterSet <= 12)
    text = NationalText(bytes);
  else
    text = detail::Decode(bytes, CodePageOf(printer_.CharacterSet));
  if (!field_.Block) return text;
  // "Normal carriage returns, line feeds, and word spaces at line breaks
  // are discarded": those sent as hexadecimal too.
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  // The backslash of sets 0 to 12 is the national set's character there.
  return field_.Block ? BlockEscapes(text, printer_.CharacterSet <= 12 ? NationalSets[printer_.CharacterSet][4] : "\\")
                      : text;
}

// A field block's escapes (the guide's comments on ^FB): \& breaks the
// line, \\ is the backslash (printed as the character set has it: ^CI13
// prints a backslash, ^CI0 a cent sign), and a backslash before a letter or
// digit is a soft hyphen, a place the word may break with a dash. The
// block's text carries a line break as a line feed (the data's own line
// ends are dropped before) and a soft hyphen as U+00AD.
std::string Reader::BlockEscapes(const std::string& utf8, const char* backslash) {
  std::string out;
  for (size_t k = 0; k < utf8.size(); ++k) {
    if (utf8[k] != '\\') {
      out += utf8[k];
      continue;
    }
    const char next = k + 1 < utf8.size() ? utf8[k + 1] : '\0';
    if (next == '&') {
      out += '\n';
      ++k;
    } else if (next == '\\') {
      out += backslash;
      ++k;
    } else if (std::isalnum(static_cast<unsigned char>(next))) {
      out += "\u00AD";
    } else {
      out += backslash;
    }
  }
  return out;
}

// Character sets 0 to 12: code page 850 with a national set's characters
// at twelve ASCII places.
std::string Reader::NationalText(const std::string& bytes) const {
  std::string out;
  std::string high;
  auto flush = [&] {
    if (!high.empty()) out += detail::Decode(high, "CP850");
    high.clear();
  };
  for (size_t k = 0; k < bytes.size(); ++k) {
    const char c = bytes[k];
    const char* place = std::strchr(NationalPlaces, c);
    if (field_.Block && c == '\\') {
      // A field block's escapes are read before any character set.
      flush();
      out += c;
    } else if (c != '\0' && place) {
      flush();
      out += NationalSets[printer_.CharacterSet][place - NationalPlaces];
    } else if (c == '\x15') {
      flush();
      out += "€";  // the printer font's euro, at 21
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      high += c;
    } else {
      flush();
      out += c;
    }
  }
  flush();
  return out;
}

void Reader::EndField() {
  label_.FieldsSeen = true;
  // A numbered field in a label that recalls a format only gives data.
  if (field_.Number >= 0 && !recallFill_ && field_.Kind == FieldKind::Text && !field_.OwnFont && field_.X == 0 &&
      field_.Y == 0 && !field_.FromBaseline && field_.HaveData) {
    label_.Numbered[field_.Number] = field_.Data;
    label_.Built->FieldData[field_.Number] = FieldBytes();
    field_ = {};
    return;
  }
  if (field_.Number >= 0) {
    if (auto n = label_.Numbered.find(field_.Number); n != label_.Numbered.end()) {
      field_.Data = n->second;
      field_.HaveData = true;
    }
  }
  const std::string bytes = FieldBytes();
  const size_t index = label_.Built->Fields.size();
  if (field_.Number >= 0 && field_.HaveData) label_.Built->FieldData[field_.Number] = bytes;
  switch (field_.Kind) {
    case FieldKind::Shape: {
      Shape s = field_.Figure;
      s.X = FieldX();
      s.Y = FieldY();
      s.FromBaseline = field_.FromBaseline;
      s.Reverse = Reversed();
      label_.Built->Fields.push_back(s);
      break;
    }
    case FieldKind::Graphic: {
      GraphicField r;
      r.X = FieldX();
      r.Y = FieldY();
      r.Dots = std::move(field_.Dots);
      r.Reverse = Reversed();
      r.FromBaseline = field_.FromBaseline;
      label_.Built->Fields.push_back(std::move(r));
      break;
    }
    case FieldKind::Symbol: {
      if (!field_.HaveData || bytes.empty()) {
        Warn(field_.At, field_.Symbol.Name + " field without data; nothing drawn");
        break;
      }
      BarcodeField s = field_.Symbol;
      s.X = FieldX();
      s.Y = FieldY();
      s.FromBaseline = field_.FromBaseline;
      s.Reverse = Reversed();
      if (!SymbolData(s, bytes)) break;
      label_.Built->Fields.push_back(std::move(s));
      break;
    }
    case FieldKind::Rfid: {
      Note("RFID ^RF" + field_.Rfid + " with data " + bytes);
      // ^RFo,f,b,n,m: operation, data format, first block, how many, memory bank.
      const Args args = Split(field_.Rfid);
      auto part = [&](size_t k) { return k < args.size() ? std::string(detail::Trim(args[k])) : std::string(); };
      TagOperation tag;
      if (!part(0).empty()) tag.What = part(0)[0];
      if (!part(1).empty()) tag.Format = part(1)[0];
      tag.Start = part(2);
      tag.Length = part(3);
      if (!part(4).empty()) tag.Bank = part(4);
      tag.Data = bytes;
      tag.Offset = field_.At;
      tag.FieldNumber = field_.Number;
      label_.Built->Tags.push_back(std::move(tag));
      break;
    }
    case FieldKind::Text:
      if (field_.HaveData && !bytes.empty()) AddText(bytes);
      break;
  }
  if (field_.Serial && label_.Built->Fields.size() > index)
    label_.Serials.push_back({index, bytes, field_.SerialStep, field_.SerialMask, field_.SerialStepText});
  field_ = {};
}

// The text field of the data, in the field's font or the default one.
void Reader::AddText(const std::string& bytes) {
  const Font& f = field_.SymbolFont ? field_.GsFont : field_.OwnFont ? *field_.OwnFont : printer_.DefaultFont;
  // ^FB's width: "If the value is less than the font width or not
  // specified, the text does not print."
  if (field_.Block && field_.BlockWidth < f.Width) {
    Warn(field_.At, "field block of " + std::to_string(field_.BlockWidth) + " dots is narrower than its font's " +
                        std::to_string(std::lround(f.Width)) + "-dot characters; the text does not print");
    return;
  }
  TextField text;
  text.X = FieldX();
  text.Y = FieldY();
  text.FromBaseline = field_.FromBaseline;
  if (field_.ContinueX) text.X = INT32_MIN;  // placed where the previous text ended
  if (field_.ContinueY) text.Y = INT32_MIN;
  text.Utf8 = field_.SymbolFont ? GraphicSymbols(bytes) : FieldText(bytes);
  text.Rotation = f.Rotation >= 0 ? f.Rotation : printer_.FieldRotation;
  text.Reverse = Reversed();
  text.BlockWidth = field_.Block || field_.TextBlock ? field_.BlockWidth : 0;
  text.BlockLines = field_.BlockLines;
  if (field_.TextBlock) {
    // Whole lines of the font's height fit; the rest is cut.
    text.BlockLines = static_cast<int>(field_.TextBlockHeight / std::max(1.0, f.Height));
    text.Clip = true;
    text.Justify = field_.OriginJustify == 1 ? 'R' : 'L';
    if (field_.TextBlockRotation >= 0) text.Rotation = field_.TextBlockRotation;
    if (text.BlockLines < 1) {
      Warn(field_.At, "text block of " + std::to_string(field_.TextBlockHeight) + " dots is lower than its font's " +
                          std::to_string(std::lround(f.Height)) + "-dot line; the text does not print");
      return;
    }
  }
  text.LineSpacing = field_.LineSpacing;
  if (!field_.TextBlock) text.Justify = field_.Justify;
  text.HangingIndent = field_.Indent;
  text.Vertical = field_.Vertical;
  text.Backwards = field_.Backwards;
  text.Gap = field_.Gap;
  text.Marks = field_.SymbolFont;
  Dress(text, f);
  label_.Built->Fields.push_back(text);
}

// The stand-in font of a printer font, at its size.
void Reader::Dress(TextField& text, const Font& f) const {
  const BitmapFont* bitmap = f.File.empty() ? BitmapFontOf(f.Name) : nullptr;
  if (bitmap) {
    // A fixed-pitch face stretched so each character takes its pitch.
    const double pitch = f.Width * bitmap->Pitch / bitmap->Width;
    text.Look.Font = "DejaVu Sans Mono";
    text.Look.Bold = bitmap->Heavy;
    text.Look.Height = f.Height;
    text.Look.Width = pitch / 0.602;  // DejaVu Sans Mono's advance is 0.602 em
    text.Baseline = std::round(f.Height * 0.78);
    if (bitmap->CapitalsOnly) {
      // With no lower case the cell holds capitals from top to bottom:
      // the face is sized by its capital height (0.73 em), the baseline
      // is the cell's foot.
      text.Utf8 = Capitals(text.Utf8);
      text.Em = f.Height / 0.73;
      text.Baseline = f.Height;
    }
    return;
  }
  text.Look.Height = f.Height;
  text.Look.Width = f.Width;
  text.Baseline = std::round(f.Height * 0.78);
  if (!f.File.empty()) {
    // A font downloaded by name: the fontconfig family of that name, the
    // file's stem (TT0003M_.TTF stands for the printer's Asian font).
    std::string stem = f.File.substr(0, f.File.find('.'));
    if (stem.rfind("TT0003M_", 0) == 0 || stem.empty() || printer_.CharacterSet == 26)
      text.Look.Font = "WenQuanYi Micro Hei";
    else
      text.Look.Font = stem;
    return;
  }
  text.Look.Font = "TeX Gyre Heros Cn";  // the printer's CG Triumvirate Bold Condensed
  text.Look.Bold = true;
}

std::string Reader::Serial(const SerialField& s, long copy) {
  std::string v = s.Start;
  if (s.Mask.empty()) {
    // ^SN: the last number in the data counts, keeping its width.
    size_t end = v.find_last_of("0123456789");
    if (end == std::string::npos) return v;
    size_t begin = v.find_last_not_of("0123456789", end);
    begin = begin == std::string::npos ? 0 : begin + 1;
    long long n = 0;
    for (size_t k = begin; k <= end && k - begin < 17; ++k) n = n * 10 + (v[k] - '0');
    n += static_cast<long long>(s.Step) * copy;
    if (n < 0) n = 0;
    std::string digits = std::to_string(n);
    const size_t width = end - begin + 1;
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return v.substr(0, begin) + digits + v.substr(end + 1);
  }
  // ^SF: D counts decimal, H hexadecimal, O octal, A letters, N letters
  // and digits, % stays; the step string is added at the right.
  for (long k = 0; k < copy; ++k) {
    int carry = 0;
    const size_t n = std::min(v.size(), s.Mask.size());
    for (size_t i = n; i-- > 0;) {
      const char m = static_cast<char>(std::toupper(static_cast<unsigned char>(s.Mask[i])));
      if (m == '%') continue;
      const size_t fromRight = n - 1 - i;
      int add = carry;
      if (fromRight < s.MaskStep.size())
        add += std::isdigit(static_cast<unsigned char>(s.MaskStep[s.MaskStep.size() - 1 - fromRight]))
                   ? s.MaskStep[s.MaskStep.size() - 1 - fromRight] - '0'
                   : 0;
      const std::string alphabet = m == 'H'   ? "0123456789ABCDEF"
                                   : m == 'O' ? "01234567"
                                   : m == 'A' ? "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   : m == 'N' ? "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                              : "0123456789";
      size_t pos = alphabet.find(static_cast<char>(std::toupper(static_cast<unsigned char>(v[i]))));
      if (pos == std::string::npos) pos = 0;
      const size_t sum = pos + static_cast<size_t>(add);
      v[i] = alphabet[sum % alphabet.size()];
      carry = static_cast<int>(sum / alphabet.size());
    }
  }
  return v;
}

}  // namespace morvel::lang::zpl

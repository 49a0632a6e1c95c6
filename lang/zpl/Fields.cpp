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
  if (!label_) return Warn(at, std::string("^A") + letter + " outside a label; ignored");
  auto args = Split(params);
  Font font;
  font.Name = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  font.Rotation = RotationOf(Letter(args, 0, '?'), -1);
  const long h = std::max(Arg(args, 1).value_or(0), 0L), w = std::max(Arg(args, 2).value_or(0), 0L);  // 0: none
  if (auto alias = aliases_.find(font.Name); alias != aliases_.end()) font.File = alias->second;
  if (font.Name == '@' && args.size() > 3) font.File = ObjectName(args[3], ".TTF");
  if (font.Name == '@' && font.File.empty()) font.File = lastFontFile_;
  if (font.Name == '@') lastFontFile_ = font.File;
  const BitmapFont* bitmap = font.File.empty() ? BitmapFontOf(font.Name) : nullptr;
  if (bitmap) {
    // Magnifications are whole multiples of the cell, 1 to 10.
    const int mh = h ? Clamp(std::lround(static_cast<double>(h) / bitmap->Height), 1, 10) : 0;
    const int mw = w ? Clamp(std::lround(static_cast<double>(w) / bitmap->Width), 1, 10) : 0;
    font.Height = bitmap->Height * (mh ? mh : mw ? mw : 1);
    font.Width = bitmap->Width * (mw ? mw : mh ? mh : 1);
  } else {
    font.Height = h ? static_cast<double>(h) : w ? static_cast<double>(w) : font_.Height;
    font.Width = w ? static_cast<double>(w) : h ? static_cast<double>(h) : font_.Width;
  }
  fieldFont_ = font;
  Begin(at);
}

void Reader::DefaultFont(const Call& c) {
  const Args& args = c.Args;
  char f = Letter(args, 0, font_.Name);
  auto h = Arg(args, 1), w = Arg(args, 2);
  font_.Name = f;
  font_.File.clear();
  if (auto alias = aliases_.find(f); alias != aliases_.end()) font_.File = alias->second;
  const BitmapFont* bitmap = font_.File.empty() ? BitmapFontOf(f) : nullptr;
  if (h && *h > 0) font_.Height = static_cast<double>(*h);
  if (w && *w > 0)
    font_.Width = static_cast<double>(*w);
  else if (h && *h > 0)
    font_.Width = bitmap ? bitmap->Width * std::max(1.0, std::round(*h / double(bitmap->Height))) : font_.Height;
  if (bitmap && !(h && *h > 0)) {
    font_.Height = bitmap->Height;
    if (!(w && *w > 0)) font_.Width = bitmap->Width;
  }
}

void Reader::FontAlias(const Call& c) {
  char f = Letter(c.Args, 0, '\0');
  if (f) aliases_[f] = Upper(Text(c.Args, 1));
}

void Reader::FieldRotation(const Call& c) { fwRotation_ = RotationOf(Letter(c.Args, 0, 'N'), fwRotation_); }

// ^FO and ^FT: ^FT places the baseline, and where it leaves a coordinate out
// the text goes on where the previous text ended.
void Reader::FieldOrigin(const Call& c) {
  auto x = Arg(c.Args, 0), y = Arg(c.Args, 1);
  fromBaseline_ = c.Of == &FT;
  continueX_ = fromBaseline_ && !x;
  continueY_ = fromBaseline_ && !y;
  foX_ = Clamp(x.value_or(0), 0, 32000);
  foY_ = Clamp(y.value_or(0), 0, 32000);
  originJustify_ = static_cast<int>(Arg(c.Args, 2).value_or(0));
  Begin(c.At);
}

void Reader::FieldHex(const Call& c) {
  auto t = detail::Trim(c.Params);
  hex_ = t.empty() ? '_' : t[0];
}

void Reader::FieldReverse(const Call&) { reverse_ = true; }

void Reader::FieldBlock(const Call& c) {
  const Args& args = c.Args;
  blockWidth_ = Clamp(Arg(args, 0).value_or(0), 0, 9999);
  blockLines_ = Clamp(Arg(args, 1).value_or(1), 1, 9999);
  lineSpacing_ = Clamp(Arg(args, 2).value_or(0), -9999, 9999);
  justify_ = Letter(args, 3, 'L');
  if (std::string_view("LCRJ").find(justify_) == std::string_view::npos) justify_ = 'L';
  indent_ = Clamp(Arg(args, 4).value_or(0), 0, 9999);
  block_ = true;
  textBlock_ = false;
}

// ^TBa,b,c: "a text block with defined width and height. The text block
// has an automatic word-wrap function. If the text exceeds the block
// height, the text is truncated." Its rotation defaults to the field's
// font's; its justification "comes from ^FO, ^FT" (1: right).
void Reader::TextBlock(const Call& c) {
  const Args& args = c.Args;
  textBlockRotation_ = RotationOf(Letter(args, 0, '?'), -1);
  blockWidth_ = Clamp(Arg(args, 1).value_or(1), 1, 32000);
  textBlockHeight_ = Clamp(Arg(args, 2).value_or(1), 1, 32000);
  blockLines_ = 1;
  lineSpacing_ = indent_ = 0;
  textBlock_ = true;
  block_ = false;
  Begin(c.At);
}

void Reader::FieldParameter(const Call& c) {
  char d = Letter(c.Args, 0, 'H');
  vertical_ = d == 'V';
  backwards_ = d == 'R';
  gap_ = Clamp(Arg(c.Args, 1).value_or(0), 0, 9999);
}

void Reader::FieldNumber(const Call& c) {
  fieldNumber_ = Clamp(Arg(c.Args, 0).value_or(0), 0, 9999);
  Begin(c.At);
}

void Reader::SerialData(const Call& c) {
  serial_ = true;
  data_ = Text(c.Args, 0);
  haveData_ = true;
  serialStep_ = Arg(c.Args, 1).value_or(1);
  Begin(c.At);
}

void Reader::SerialMask(const Call& c) {
  serial_ = true;
  serialMask_ = Text(c.Args, 0);
  serialStepText_ = Text(c.Args, 1);
}

void Reader::FieldSeparator(const Call&) {
  if (!fieldOpen_ && !haveData_) return;  // an empty ^FS closes nothing, as on the printer
  EndField();
}

void Reader::GraphicSymbol(const Call& c) {
  const Args& args = c.Args;
  gsFont_ = Font{'0', RotationOf(Letter(args, 0, '?'), -1),
                 static_cast<double>(Arg(args, 1).value_or(static_cast<long>(font_.Height))),
                 static_cast<double>(Arg(args, 2).value_or(Arg(args, 1).value_or(static_cast<long>(font_.Width)))), ""};
  symbolFont_ = true;
  Begin(c.At);
}

void Reader::RfidField(const Call& c) {
  rfid_ = std::string(detail::Trim(c.Params));
  kind_ = FieldKind::Rfid;
  Begin(c.At);
}

void Reader::ResetField() {
  fieldOpen_ = false;
  haveData_ = false;
  data_.clear();
  kind_ = FieldKind::Text;
  fieldFont_.reset();
  foX_ = foY_ = 0;
  fromBaseline_ = continueX_ = continueY_ = false;
  hex_ = '\0';
  reverse_ = false;
  block_ = textBlock_ = false;
  textBlockHeight_ = 0;
  textBlockRotation_ = -1;
  originJustify_ = 0;
  blockWidth_ = 0;
  blockLines_ = 1;
  lineSpacing_ = indent_ = 0;
  justify_ = 'L';
  vertical_ = backwards_ = false;
  gap_ = 0;
  fieldNumber_ = -1;
  serial_ = false;
  serialStep_ = 1;
  serialMask_.clear();
  serialStepText_.clear();
  symbolFont_ = false;
}

std::string Reader::Unescaped(const std::string& data) const {
  if (!hex_) return data;
  std::string out;
  for (size_t k = 0; k < data.size(); ++k) {
    if (data[k] == hex_ && k + 2 < data.size() + 0 && HexValue(data[k + 1]) >= 0 && HexValue(data[k + 2]) >= 0) {
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
  for (char c : data_)
    if (c != '\r' && c != '\n') d += c;
  d = Unescaped(d);
  if (!remap_.empty())
    for (char& c : d)
      if (auto r = remap_.find(static_cast<unsigned char>(c)); r != remap_.end()) c = r->second;
  return d;
}

// Field data as text: UTF-8, GB18030 with its table, UTF-16, the national
// sets, or one of the Windows code pages.
std::string Reader::FieldText(const std::string& bytes) const {
  std::string text;
  if (ci_ == 28)
    text = detail::ToUtf8Lenient(bytes);
  else if (ci_ == 26 && table_.find("GB18030") != std::string::npos)
    text = detail::Decode(bytes, "GB18030");
  else if (ci_ == 29 || ci_ == 30)
    text = detail::Decode(bytes, ci_ == 29 ? "UTF-16BE" : "UTF-16LE");
  else if (ci_ <= 12)
    text = NationalText(bytes);
  else
    text = detail::Decode(bytes, CodePageOf(ci_));
  if (!block_) return text;
  // "Normal carriage returns, line feeds, and word spaces at line breaks
  // are discarded": those sent as hexadecimal too.
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  // The backslash of sets 0 to 12 is the national set's character there.
  return block_ ? BlockEscapes(text, ci_ <= 12 ? NationalSets[ci_][4] : "\\") : text;
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
    if (block_ && c == '\\') {
      // A field block's escapes are read before any character set.
      flush();
      out += c;
    } else if (c != '\0' && place) {
      flush();
      out += NationalSets[ci_][place - NationalPlaces];
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
  fieldsSeen_ = true;
  // A numbered field in a label that recalls a format only gives data.
  if (fieldNumber_ >= 0 && !recallFill_ && kind_ == FieldKind::Text && !fieldFont_ && foX_ == 0 && foY_ == 0 &&
      !fromBaseline_ && haveData_) {
    numbered_[fieldNumber_] = data_;
    ResetField();
    return;
  }
  if (fieldNumber_ >= 0) {
    if (auto n = numbered_.find(fieldNumber_); n != numbered_.end()) {
      data_ = n->second;
      haveData_ = true;
    }
  }
  const std::string bytes = FieldBytes();
  const size_t index = label_->Fields.size();
  switch (kind_) {
    case FieldKind::Shape: {
      Shape s = shape_;
      s.X = FieldX();
      s.Y = FieldY();
      s.FromBaseline = fromBaseline_;
      s.Reverse = Reversed();
      label_->Fields.push_back(s);
      break;
    }
    case FieldKind::Graphic: {
      Raster r;
      r.X = FieldX();
      r.Y = FieldY();
      r.Dots = std::move(graphic_);
      r.Reverse = Reversed();
      r.FromBaseline = fromBaseline_;
      label_->Fields.push_back(std::move(r));
      break;
    }
    case FieldKind::Symbol: {
      if (!haveData_ || bytes.empty()) {
        Warn(fieldAt_, symbol_.Name + " field without data; nothing drawn");
        break;
      }
      SymbolField s = symbol_;
      s.X = FieldX();
      s.Y = FieldY();
      s.FromBaseline = fromBaseline_;
      s.Reverse = Reversed();
      if (!SymbolData(s, bytes)) break;
      label_->Fields.push_back(std::move(s));
      break;
    }
    case FieldKind::Rfid: Note("RFID ^RF" + rfid_ + " with data " + bytes); break;
    case FieldKind::Text:
      if (haveData_ && !bytes.empty()) AddText(bytes);
      break;
  }
  if (serial_ && label_->Fields.size() > index)
    serials_.push_back({index, bytes, serialStep_, serialMask_, serialStepText_});
  ResetField();
}

// The text field of the data, in the field's font or the default one.
void Reader::AddText(const std::string& bytes) {
  const Font& f = symbolFont_ ? gsFont_ : fieldFont_ ? *fieldFont_ : font_;
  // ^FB's width: "If the value is less than the font width or not
  // specified, the text does not print."
  if (block_ && blockWidth_ < f.Width) {
    Warn(fieldAt_, "field block of " + std::to_string(blockWidth_) + " dots is narrower than its font's " +
                       std::to_string(std::lround(f.Width)) + "-dot characters; the text does not print");
    return;
  }
  TextField text;
  text.X = FieldX();
  text.Y = FieldY();
  text.FromBaseline = fromBaseline_;
  if (continueX_) text.X = INT32_MIN;  // placed where the previous text ended
  if (continueY_) text.Y = INT32_MIN;
  text.Utf8 = symbolFont_ ? GraphicSymbols(bytes) : FieldText(bytes);
  text.Rotation = f.Rotation >= 0 ? f.Rotation : fwRotation_;
  text.Reverse = Reversed();
  text.BlockWidth = block_ || textBlock_ ? blockWidth_ : 0;
  text.BlockLines = blockLines_;
  if (textBlock_) {
    // Whole lines of the font's height fit; the rest is cut.
    text.BlockLines = static_cast<int>(textBlockHeight_ / std::max(1.0, f.Height));
    text.Clip = true;
    text.Justify = originJustify_ == 1 ? 'R' : 'L';
    if (textBlockRotation_ >= 0) text.Rotation = textBlockRotation_;
    if (text.BlockLines < 1) {
      Warn(fieldAt_, "text block of " + std::to_string(textBlockHeight_) + " dots is lower than its font's " +
                         std::to_string(std::lround(f.Height)) + "-dot line; the text does not print");
      return;
    }
  }
  text.LineSpacing = lineSpacing_;
  if (!textBlock_) text.Justify = justify_;
  text.HangingIndent = indent_;
  text.Vertical = vertical_;
  text.Backwards = backwards_;
  text.Gap = gap_;
  text.Marks = symbolFont_;
  Dress(text, f);
  label_->Fields.push_back(text);
}

// The stand-in font of a printer font, at its size.
void Reader::Dress(TextField& text, const Font& f) const {
  const BitmapFont* bitmap = f.File.empty() ? BitmapFontOf(f.Name) : nullptr;
  if (bitmap) {
    // A fixed-pitch face stretched so each character takes its pitch.
    const double pitch = f.Width * bitmap->Pitch / bitmap->Width;
    text.Font = "DejaVu Sans Mono";
    text.Bold = bitmap->Heavy;
    text.Height = f.Height;
    text.Width = pitch / 0.602;  // DejaVu Sans Mono's advance is 0.602 em
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
  text.Height = f.Height;
  text.Width = f.Width;
  text.Baseline = std::round(f.Height * 0.78);
  if (!f.File.empty()) {
    // A font downloaded by name: the fontconfig family of that name, the
    // file's stem (TT0003M_.TTF stands for the printer's Asian font).
    std::string stem = f.File.substr(0, f.File.find('.'));
    if (stem.rfind("TT0003M_", 0) == 0 || stem.empty() || ci_ == 26)
      text.Font = "WenQuanYi Micro Hei";
    else
      text.Font = stem;
    return;
  }
  text.Font = "TeX Gyre Heros Cn";  // the printer's CG Triumvirate Bold Condensed
  text.Bold = true;
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

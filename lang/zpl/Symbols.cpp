// ZPL barcodes: the ^B commands read into zint's symbologies with the
// guide's defaults (^BY), and each field's data as its symbology takes it:
// Code 128's invocation codes and modes, GS1, QR code's switches, MaxiCode's
// structured carrier message, Data Matrix's escapes.
#include <algorithm>
#include <cctype>
#include <map>

#include "lang/zpl/Reader.h"

namespace morvel::lang::zpl {

using core::SymbolInput;
using core::Symbology;

namespace {

int DataMatrixSize(int rows, int columns) {
  // zint numbers the ECC 200 sizes 1..30 (squares, then rectangles).
  static const int sizes[][2] = {{10, 10}, {12, 12}, {14, 14}, {16, 16}, {18, 18},   {20, 20},   {22, 22},   {24, 24},
                                 {26, 26}, {32, 32}, {36, 36}, {40, 40}, {44, 44},   {48, 48},   {52, 52},   {64, 64},
                                 {72, 72}, {80, 80}, {88, 88}, {96, 96}, {104, 104}, {120, 120}, {132, 132}, {144, 144},
                                 {8, 18},  {8, 32},  {12, 26}, {12, 36}, {16, 36},   {16, 48}};
  for (int k = 0; k < 30; ++k)
    if (sizes[k][0] == rows && sizes[k][1] == columns) return k + 1;
  return 0;
}

std::string DataMatrixEscapes(const std::string& bytes, char escape, BarcodeField& s) {
  // ~X: control character X-64; ~1 FNC1 (GS1 at the start); ~dNNN a byte.
  std::string out;
  for (size_t k = 0; k < bytes.size(); ++k) {
    if (bytes[k] != escape || k + 1 >= bytes.size()) {
      out += bytes[k];
      continue;
    }
    const char n = bytes[k + 1];
    if (n == escape) {
      out += escape;
      ++k;
    } else if (n == '1' && k == 0) {
      s.Symbol.Input = SymbolInput::Gs1Unchecked;
      ++k;
    } else if (n == 'd' && k + 4 < bytes.size() + 0 && std::isdigit(static_cast<unsigned char>(bytes[k + 2]))) {
      out += static_cast<char>(std::stoi(bytes.substr(k + 2, 3)) & 0xFF);
      k += 4;
    } else if (n >= '@' && n <= '_') {
      out += static_cast<char>(n - 64);
      ++k;
    } else {
      out += bytes[k];
    }
  }
  return out;
}

}  // namespace

void Reader::BarDefaults(const Call& c) {
  const Args& args = c.Args;
  if (auto w = Arg(args, 0); w && *w >= 1) printer_.ModuleWidth = Clamp(*w, 1, 10);
  if (auto r = Real(args, 1); r && *r >= 2 && *r <= 3) printer_.Ratio = *r;
  if (auto h = Arg(args, 2); h && *h >= 1) printer_.BarHeight = Clamp(*h, 1, 32000);
}

// ^Bx: a barcode field of the ^BY defaults; the letter chooses the symbology.
void Reader::Barcode(const Call& c) {
  const Args& args = c.Args;
  const char letter = c.Shown[2];
  BarcodeField s;
  s.Symbol.Module = printer_.ModuleWidth;
  s.Symbol.Ratio = printer_.Ratio;
  s.Symbol.BarHeight = printer_.BarHeight;
  s.Symbol.Dpi = dpi_;
  s.Rotation = RotationOf(Letter(args, 0, '?'), printer_.FieldRotation);
  s.TextHeight = std::max(10, 9 * printer_.ModuleWidth);
  field_.Mode = 'N';
  field_.Check = false;
  if (!LinearBarcode(letter, args, s) && !MatrixBarcode(letter, args, s))
    return Warn(c.At, "unknown command ^B" + std::string(1, letter) + "; ignored");
  field_.Symbol = s;
  field_.Kind = FieldKind::Symbol;
  Begin(c.At);
}

// The barcodes of bars in one row; false for another letter.
bool Reader::LinearBarcode(char c, const Args& args, BarcodeField& s) {
  auto height = [&](size_t k) { return Clamp(Arg(args, k).value_or(printer_.BarHeight), 1, 32000); };
  auto yes = [&](size_t k, bool fallback) { return Letter(args, k, fallback ? 'Y' : 'N') == 'Y'; };
  auto readable = [&](size_t below, size_t above, bool fallback) {
    s.Readable = yes(below, fallback) ? (yes(above, false) ? 'A' : 'B') : 'N';
  };
  switch (c) {
    case 'C':  // ^BCo,h,f,g,e,m
      s.Name = "Code 128";
      s.Symbol.Symbology = Symbology::Code128;
      s.Symbol.BarHeight = height(1);
      readable(2, 3, true);
      field_.Check = yes(4, false);
      field_.Code128Mode = Letter(args, 5, 'N');
      if (std::string_view("NUAD").find(field_.Code128Mode) == std::string_view::npos) field_.Code128Mode = 'N';
      field_.Mode = 'c';
      return true;
    case '3':  // ^B3o,e,h,f,g
      s.Name = "Code 39";
      s.Symbol.Symbology = Symbology::Code39;
      if (yes(1, false)) s.Symbol.Option2 = 1;
      s.Symbol.BarHeight = height(2);
      readable(3, 4, true);
      return true;
    case 'A':  // ^BAo,h,f,g,e: Code 93
      s.Name = "Code 93";
      s.Symbol.Symbology = Symbology::Code93;
      s.Symbol.BarHeight = height(1);
      readable(2, 3, true);
      return true;
    case '2':  // ^B2o,h,f,g,e,j: interleaved 2 of 5
      s.Name = "Interleaved 2 of 5";
      s.Symbol.Symbology = Symbology::Interleaved2of5;
      s.Symbol.BarHeight = height(1);
      readable(2, 3, true);
      field_.Check = yes(4, false);
      return true;
    case 'E':  // ^BEo,h,f,g: EAN-13
    case '8':  // ^B8o,h,f,g: EAN-8
      s.Name = c == 'E' ? "EAN-13" : "EAN-8";
      s.Symbol.Symbology = Symbology::Ean;
      s.Symbol.BarHeight = height(1);
      readable(2, 3, true);
      field_.Mode = c;
      return true;
    case 'U':  // ^BUo,h,f,g,e: UPC-A
      s.Name = "UPC-A";
      s.Symbol.Symbology = Symbology::UpcA;
      s.Symbol.BarHeight = height(1);
      readable(2, 3, true);
      field_.Mode = 'u';
      return true;
    case '9':  // ^B9o,h,f,g,e: UPC-E
      s.Name = "UPC-E";
      s.Symbol.Symbology = Symbology::UpcE;
      s.Symbol.BarHeight = height(1);
      readable(2, 3, true);
      return true;
    case 'K':  // ^BKo,e,h,f,g,k,l: Codabar with its start and stop
      s.Name = "Codabar";
      s.Symbol.Symbology = Symbology::Codabar;
      s.Symbol.BarHeight = height(2);
      readable(3, 4, true);
      field_.StartStop = std::string(1, Letter(args, 5, 'A')) + Letter(args, 6, 'A');
      field_.Mode = 'K';
      return true;
    default: break;
  }
  // Other barcodes the guide lists, drawn by zint as they are.
  static const std::map<char, std::pair<Symbology, const char*>> others = {
      {'1', {Symbology::Code11, "Code 11"}},
      {'4', {Symbology::Code49, "Code 49"}},
      {'5', {Symbology::Planet, "Planet"}},
      {'B', {Symbology::Codablock, "Codablock"}},
      {'I', {Symbology::Industrial2of5, "Industrial 2 of 5"}},
      {'J', {Symbology::Standard2of5, "Standard 2 of 5"}},
      {'L', {Symbology::Logmars, "LOGMARS"}},
      {'M', {Symbology::Msi, "MSI"}},
      {'P', {Symbology::Plessey, "Plessey"}},
      {'S', {Symbology::Ean, "UPC/EAN extension"}},
      {'Z', {Symbology::Postnet, "POSTNET"}},
  };
  auto o = others.find(c);
  if (o == others.end()) return false;
  s.Name = o->second.second;
  s.Symbol.Symbology = o->second.first;
  s.Symbol.BarHeight = height(c == '1' || c == 'L' || c == 'M' || c == 'P' ? 2 : 1);
  readable(c == '1' || c == 'M' || c == 'P' ? 3 : 2, c == '1' || c == 'M' || c == 'P' ? 4 : 3, true);
  return true;
}

// The stacked and two-dimensional barcodes; false for another letter.
bool Reader::MatrixBarcode(char c, const Args& args, BarcodeField& s) {
  auto yes = [&](size_t k, bool fallback) { return Letter(args, k, fallback ? 'Y' : 'N') == 'Y'; };
  switch (c) {
    case 'R': {  // ^BRo,t,m,s,h,w: GS1 DataBar
      s.Name = "GS1 DataBar";
      const int type = Clamp(Arg(args, 1).value_or(1), 1, 12);
      static const Symbology kinds[13] = {Symbology::DataBarOmni,
                                          Symbology::DataBarOmni,
                                          Symbology::DataBarOmni,
                                          Symbology::DataBarStacked,
                                          Symbology::DataBarStackedOmni,
                                          Symbology::DataBarLimited,
                                          Symbology::DataBarExpanded,
                                          Symbology::UpcA,
                                          Symbology::UpcE,
                                          Symbology::Ean,
                                          Symbology::Ean,
                                          Symbology::Gs1_128Composite,
                                          Symbology::DataBarExpanded};
      s.Symbol.Symbology = kinds[type];
      s.Symbol.Input = SymbolInput::Utf8;
      s.Symbol.Module = Clamp(Arg(args, 2).value_or(printer_.ModuleWidth > 0 ? printer_.ModuleWidth : 1), 1, 10);
      s.Symbol.BarHeight = Clamp(Arg(args, 4).value_or(25), 1, 32000);
      if (type == 6 || type == 12) s.Symbol.Option2 = Clamp(Arg(args, 5).value_or(22), 2, 22) / 2;
      s.Readable = type == 6 || type == 1 ? 'B' : 'N';
      field_.Mode = 'R';
      break;
    }
    case 'X': {  // ^BXo,h,s,c,r,f,g,a: Data Matrix
      s.Name = "Data Matrix";
      s.Symbol.Symbology = Symbology::DataMatrix;
      s.Symbol.Module = Clamp(Arg(args, 1).value_or(std::max(1, printer_.BarHeight / 10)), 1, 100);
      const int columns = Clamp(Arg(args, 3).value_or(0), 0, 144), rows = Clamp(Arg(args, 4).value_or(0), 0, 144);
      if (columns && rows) s.Symbol.Option2 = DataMatrixSize(rows, columns);
      if (Letter(args, 7, '1') == '2' || (columns && rows && rows != columns))
        s.Symbol.Option3 = 0;
      else
        s.Symbol.Option3 = 100;  // DM_SQUARE
      field_.Escape = Text(args, 6).empty() ? '~' : Text(args, 6)[0];
      field_.Mode = 'X';
      break;
    }
    case 'Q': {  // ^BQa,b,c,d,e: QR code
      s.Name = "QR code";
      s.Symbol.Symbology = Symbology::QrCode;
      s.Symbol.Module = Clamp(Arg(args, 2).value_or(dpi_ >= 300 ? 3 : 2), 1, 100);
      field_.QrLevel = Letter(args, 3, 'Q');
      s.Rotation = 0;  // QR codes print upright only
      field_.Mode = 'Q';
      break;
    }
    case '7': {  // ^B7o,h,s,c,r,t: PDF417
      s.Name = "PDF417";
      s.Symbol.Symbology = Letter(args, 5, 'N') == 'Y' ? Symbology::Pdf417Truncated : Symbology::Pdf417;
      s.Symbol.BarHeight = Clamp(Arg(args, 1).value_or(std::max(1, printer_.BarHeight / 10)), 1, 1000);
      const int security = Clamp(Arg(args, 2).value_or(0), 0, 8);
      s.Symbol.Option1 = security;
      s.Symbol.Option2 = Clamp(Arg(args, 3).value_or(0), 0, 30);
      if (auto rows = Arg(args, 4); rows && *rows >= 3) s.Symbol.Option3 = Clamp(*rows, 3, 90);
      break;
    }
    case 'F':  // ^BFo,h,m: MicroPDF417
      s.Name = "MicroPDF417";
      s.Symbol.Symbology = Symbology::MicroPdf417;
      s.Symbol.BarHeight = Clamp(Arg(args, 1).value_or(std::max(1, printer_.BarHeight / 10)), 1, 1000);
      break;
    case 'D': {  // ^BDm,n,t: MaxiCode
      s.Name = "MaxiCode";
      s.Symbol.Symbology = Symbology::MaxiCode;
      s.Symbol.Option1 = Clamp(Arg(args, 0).value_or(2), 2, 6);
      // Symbol n of t in a structured append (t of 1: a symbol alone).
      const int t = Clamp(Arg(args, 2).value_or(1), 1, 8), n = Clamp(Arg(args, 1).value_or(1), 1, t);
      s.Symbol.AppendIndex = n;
      s.Symbol.AppendCount = t;
      s.Rotation = 0;
      field_.Mode = 'M';
      break;
    }
    case 'O':
    case '0': {  // ^BOa,b,c,d,e,f,g: Aztec
      s.Name = "Aztec";
      s.Symbol.Symbology = Symbology::Aztec;
      s.Symbol.Module = Clamp(Arg(args, 1).value_or(dpi_ >= 300 ? 3 : 2), 1, 10);
      const int d = Clamp(Arg(args, 3).value_or(0), 0, 300);
      if (d >= 1 && d <= 99)
        s.Symbol.Option1 = d <= 10 ? 1 : d <= 23 ? 2 : d <= 36 ? 3 : 4;
      else if (d >= 101 && d <= 104)
        s.Symbol.Option2 = d - 100;
      else if (d >= 201 && d <= 232)
        s.Symbol.Option2 = d - 200 + 4;
      if (yes(2, false)) s.Symbol.Input = SymbolInput::Escaped;  // the data's ECI switches
      field_.Mode = 'O';
      break;
    }
    default: return false;
  }
  return true;
}

// The field data as the symbology takes it; false (told) when it cannot.
bool Reader::SymbolData(BarcodeField& s, const std::string& bytes) {
  s.Data = bytes;
  switch (field_.Mode) {
    case 'Q': return QrData(s, bytes);
    case 'M': return MaxiData(s, bytes);
    case 'E':
    case '8': {
      // The printer takes the first 12 (7) digits and adds the check digit.
      const size_t n = field_.Mode == 'E' ? 12 : 7;
      std::string digits;
      for (char ch : bytes)
        if (std::isdigit(static_cast<unsigned char>(ch))) digits += ch;
      if (digits.size() < n) digits.insert(0, n - digits.size(), '0');
      s.Data = digits.substr(0, n);
      return true;
    }
    case 'u': {
      std::string digits;
      for (char ch : bytes)
        if (std::isdigit(static_cast<unsigned char>(ch))) digits += ch;
      if (digits.size() < 11) digits.insert(0, 11 - digits.size(), '0');
      s.Data = digits.substr(0, 11);
      return true;
    }
    case 'K': s.Data = field_.StartStop.substr(0, 1) + bytes + field_.StartStop.substr(1, 1); return true;
    case 'X':
      if (field_.Escape) s.Data = DataMatrixEscapes(bytes, field_.Escape, s);
      return true;
    case 'R': {
      // GS1 DataBar: the GTIN's digits; AIs of expanded types in brackets already.
      if (s.Symbol.Symbology == Symbology::DataBarExpanded || s.Symbol.Symbology == Symbology::DataBarExpandedStacked) {
        if (bytes.find('[') == std::string::npos && bytes.find('(') != std::string::npos) {
          std::string d = bytes;
          std::replace(d.begin(), d.end(), '(', '[');
          std::replace(d.begin(), d.end(), ')', ']');
          s.Data = d;
        }
        return true;
      }
      s.Symbol.Input = SymbolInput::Bytes;
      std::string digits;
      for (char ch : bytes)
        if (std::isdigit(static_cast<unsigned char>(ch))) digits += ch;
      s.Data = digits.substr(0, 13);
      return true;
    }
    default: break;
  }
  if (field_.Mode == 'c') return Code128Data(s, bytes);
  if (s.Symbol.Symbology == Symbology::Interleaved2of5 && field_.Check) s.Symbol.Option2 = 1;
  return true;
}

namespace {

// Code 128 field data with its invocation codes read.
struct Invoked {
  std::string Data, Readable;
  bool Fnc1First = false;
  char Subset = 'B';  // the last one started
};

// Invocation codes: >9 >: >; start A, B, C; >5 >6 >7 switch to C, B, A;
// >8 FNC1; >< and >0 a '>' and >= a '~'; the rest only steer the encoder.
// Both modes N and A read them; the subsets themselves are zint's shortest
// packing (the carriers' labels are laid out for it: Amazon's container code
// fits its box only with its digits in subset C).
Invoked Invocations(const std::string& bytes) {
  Invoked out;
  auto& [data, readable, fnc1First, subset] = out;
  for (size_t k = 0; k < bytes.size(); ++k) {
    if (bytes[k] == '>' && k + 1 < bytes.size()) {
      const char code = bytes[k + 1];
      ++k;
      switch (code) {
        case '9': subset = 'A'; continue;
        case ':': subset = 'B'; continue;
        case ';': subset = 'C'; continue;
        case '5': subset = 'C'; continue;
        case '6': subset = 'B'; continue;
        case '7': subset = 'A'; continue;
        case '8':
          if (data.empty())
            fnc1First = true;
          else
            data += '\x1D';
          continue;
        case '<':
        case '0':
          data += '>';
          readable += '>';
          continue;
        case '=':
          data += '~';
          readable += '~';
          continue;
        case '1':
        case '2':
        case '3':
        case '4': continue;
        default:
          data += '>';
          readable += '>';
          --k;
          continue;  // not an invocation code: data
      }
    }
    const char ch = bytes[k];
    data += ch;
    readable += ch;
  }
  return out;
}

}  // namespace

bool Reader::Code128Data(BarcodeField& s, const std::string& bytes) {
  auto gs1 = [&](std::string digits, std::string readable) {
    s.Symbol.Symbology = Symbology::Gs1_128;
    s.Symbol.Input = SymbolInput::Gs1Unchecked;
    if (digits.size() < 2) digits.append(2 - digits.size(), '0');
    s.Data = "[" + digits.substr(0, 2) + "]" + digits.substr(2);
    s.ReadableText = std::move(readable);
  };
  if (field_.Code128Mode == 'U') {
    // UCC case mode: 19 digits (padded or cut), a mod-10 check, FNC1 first.
    std::string digits;
    for (char ch : bytes)
      if (std::isdigit(static_cast<unsigned char>(ch))) digits += ch;
    // Fewer digits are filled with zeros on the right, as the guide says.
    if (digits.size() > 19) digits.resize(19);
    if (digits.size() < 19) digits.append(19 - digits.size(), '0');
    digits += Mod10(digits);
    gs1(digits, "(" + digits.substr(0, 2) + ") " + digits.substr(2));
    return true;
  }
  if (field_.Code128Mode == 'D') {
    // GS1 mode: parentheses and spaces are for the human-readable line only.
    std::string digits, readable;
    for (char ch : bytes) {
      if (ch == '(' || ch == ')' || ch == ' ') continue;
      digits += ch;
    }
    readable = bytes.find('(') != std::string::npos ? bytes : digits;
    gs1(digits, readable);
    return true;
  }
  auto [data, readable, fnc1First, subset] = Invocations(bytes);
  if (subset == 'C' && data.empty() && !fnc1First) return Refuse(s, "no digits for subset C");
  if (fnc1First) {
    std::string digits;
    for (char ch : data) digits += ch == '\x1D' ? ' ' : ch;
    gs1(digits, readable);
    // Further FNC1s separate AIs; zint needs brackets to place them.
    std::string bracketed = "[" + data.substr(0, 2) + "]";
    for (size_t k = 2; k < data.size(); ++k) {
      if (data[k] == '\x1D' && k + 3 <= data.size()) {
        bracketed += "[" + data.substr(k + 1, 2) + "]";
        k += 2;
      } else {
        bracketed += data[k];
      }
    }
    s.Data = bracketed;
    return true;
  }
  if (field_.Check && !data.empty() && data.find_first_not_of("0123456789") == std::string::npos) {
    // e = Y: the UCC mod-10 check digit of numeric data is encoded and
    // printed after it, beside Code 128's own mod-103 check. Letters
    // have no mod-10 digit; their data is left as it is (Amazon's
    // container codes ask for the check and are read as their ^FD).
    data += Mod10(data);
    readable += data.back();
  }
  s.Data = data;
  s.ReadableText = readable;
  return true;
}

bool Reader::Refuse(const BarcodeField& s, const std::string& why) {
  Warn(field_.At, s.Name + " of " + detail::Quoted(s.Data) + ": " + why + "; nothing drawn");
  return false;
}

bool Reader::QrData(BarcodeField& s, const std::string& bytes) {
  // Field data: error correction letter, input mode letter, comma, data
  // (first three characters taken so, as the printer does).
  std::string_view d = bytes;
  char level = field_.QrLevel;
  if (d.size() >= 3) {
    const char l = static_cast<char>(std::toupper(static_cast<unsigned char>(d[0])));
    if (std::string_view("HQML").find(l) != std::string_view::npos) level = l;
    const char input = static_cast<char>(std::toupper(static_cast<unsigned char>(d[1])));
    d.remove_prefix(3);
    if (input == 'M' && !d.empty()) {
      // Manual input: a character mode letter, then the data; bytes
      // carry a four-digit count.
      const char m = static_cast<char>(std::toupper(static_cast<unsigned char>(d[0])));
      if (m == 'B' && d.size() >= 5)
        d.remove_prefix(5);
      else if (m == 'N' || m == 'A' || m == 'K')
        d.remove_prefix(1);
    } else if (input == 'D') {
      // Mixed mode for structured append: "D" + code + parity, then data.
      size_t comma = d.find(',');
      if (comma != std::string_view::npos) d.remove_prefix(comma + 1);
      if (d.size() >= 2) d.remove_prefix(2);
    }
  }
  if (d.empty()) return Refuse(s, "no data after the QR switches");
  s.Symbol.Option1 = level == 'L' ? 1 : level == 'M' ? 2 : level == 'Q' ? 3 : 4;
  s.Data = std::string(d);
  return true;
}

bool Reader::MaxiData(BarcodeField& s, const std::string& bytes) {
  const int mode = s.Symbol.Option1;
  if (mode != 2 && mode != 3) return true;
  // Modes 2 and 3: class of service (3), country (3), postal code (9
  // digits, or 6 characters), then the low priority message.
  if (bytes.size() < 12) return Refuse(s, "mode " + std::to_string(mode) + " needs a structured carrier message");
  const std::string service = bytes.substr(0, 3), country = bytes.substr(3, 3);
  const size_t postLength = mode == 2 ? 9 : 6;
  std::string post = bytes.substr(6, std::min(postLength, bytes.size() - 6));
  std::string rest = bytes.size() > 6 + postLength ? bytes.substr(6 + postLength) : std::string();
  // Mode 2 postal codes are digits only; a shorter one is mode 3's.
  while (!post.empty() && post.back() == ' ') post.pop_back();
  if (mode == 2) {
    std::string digits;
    for (char ch : post)
      if (std::isdigit(static_cast<unsigned char>(ch))) digits += ch;
    post = digits;
  }
  s.Symbol.Primary = post + country + service;
  if (rest.empty()) rest = " ";
  s.Data = rest;
  return true;
}

}  // namespace morvel::lang::zpl

// ZPL jobs read into labels, command by command as the ZPL II programming
// guide describes them: label set-up, fields of text in the printer's fonts
// (stand-ins), boxes, circles, diagonals, graphics in every download form,
// every barcode zint draws, stored formats, and the settings that change
// nothing in the picture (told as notes, never warned about). Field data ends
// at the next command prefix, as on the printer; with a multibyte table
// (^CI26 + ^SE GB18030) two- and four-byte characters are stepped over whole
// so a trail byte that happens to be '^' does not end the field.
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "preview/Label.h"
#include "preview/ZplGraphics.h"

namespace morvel::preview {
namespace {

using detail::Whole;

enum class FieldKind { Text, Shape, Symbol, Graphic, Rfid };

struct Font {
  char Name = 'A';
  int Rotation = -1;  // -1: the ^FW default
  double Height = 9, Width = 5;
  std::string File;   // ^A@ and ^CW: the font's name on the printer
};

int RotationOf(char letter, int fallback) {
  switch (std::toupper(static_cast<unsigned char>(letter))) {
    case 'N': return 0;
    case 'R': return 90;
    case 'I': return 180;
    case 'B': return 270;
    default: return fallback;
  }
}

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

// Printer settings that change nothing in the picture, with what they are.
const std::map<std::string, const char*>& Settings() {
  static const std::map<std::string, const char*> known = {
      {"MM", "print mode"}, {"MT", "media type"}, {"MN", "media tracking"}, {"MD", "media darkness"},
      {"MU", "units of measure"}, {"MF", "media feed"}, {"MC", "map clear"}, {"MP", "mode protection"},
      {"MW", "head-cold warning"}, {"MA", "maintenance alert"}, {"MI", "maintenance message"}, {"ML", "maximum label length"},
      {"PR", "print speed"}, {"SD", "darkness"}, {"JM", "dots per millimetre mode"}, {"JU", "configuration update"},
      {"JS", "backfeed sequence"}, {"TA", "tear-off adjust"}, {"PA", "advanced text properties"},
      {"XB", "suppress backfeed"}, {"CV", "code validation"}, {"SZ", "ZPL mode"}, {"JZ", "reprint after error"},
      {"JJ", "auxiliary port"}, {"JT", "head test interval"}, {"JW", "ribbon tension"}, {"JI", "BASIC interpreter"},
      {"JB", "initialise flash"}, {"JC", "media calibration"}, {"JD", "diagnostics"}, {"JE", "diagnostics off"},
      {"JG", "graphing sensor calibration"}, {"JL", "set label length"}, {"JN", "head test fatal"},
      {"JO", "head test non-fatal"}, {"JP", "pause and cancel"}, {"JR", "power on reset"}, {"JX", "cancel"},
      {"JH", "early warning"}, {"JA", "cancel all"}, {"JF", "battery status"}, {"JK", "calibration"},
      {"KD", "date and time format"}, {"KL", "language"}, {"KN", "printer name"}, {"KP", "control panel password"},
      {"KV", "kiosk values"}, {"KC", "client identifier"}, {"NC", "primary network"}, {"ND", "network settings"},
      {"NI", "network identifier"}, {"NN", "SNMP settings"}, {"NP", "primary network device"}, {"NS", "wired settings"},
      {"NT", "SMTP settings"}, {"NB", "network boot"}, {"NW", "wireless settings"}, {"SC", "serial settings"},
      {"SL", "real-time clock mode"}, {"SO", "real-time clock offset"}, {"SQ", "host status"},
      {"SR", "head resistance"}, {"SS", "sensor values"}, {"ST", "real-time clock"}, {"SX", "e-mail alert"},
      {"SI", "sensor intensity"}, {"SP", "start print"}, {"PF", "slew"}, {"PH", "feed"}, {"PP", "programmable pause"},
      {"PS", "print start"}, {"PL", "present length"}, {"PN", "present now"}, {"PR", "print rate"}, {"PT", "tear-off"},
      {"HH", "configuration to host"}, {"HI", "host identification"}, {"HM", "memory status to host"},
      {"HQ", "host query"}, {"HS", "host status"}, {"HT", "linked fonts to host"}, {"HU", "alerts to host"},
      {"HV", "field to host"}, {"HW", "directory to host"}, {"HZ", "information to host"}, {"HB", "battery status"},
      {"HD", "head diagnostics"}, {"HF", "format to host"}, {"HG", "graphic to host"}, {"HL", "log to host"},
      {"HY", "graphic as hex to host"}, {"WC", "configuration label"}, {"WD", "directory label"},
      {"WL", "wireless settings"}, {"WP", "wireless password"}, {"WR", "wireless transmit rate"},
      {"WS", "wireless radio"}, {"WA", "antenna"}, {"WE", "encryption"}, {"WI", "IP settings"}, {"WX", "wireless security"},
      {"EG", "erase graphics"}, {"DN", "abort download"}, {"RO", "reset counters"}, {"ZZ", "sleep"},
      {"RS", "RFID set-up"}, {"RW", "RFID read and write power"}, {"RR", "RFID retries"}, {"RB", "RFID tag layout"},
      {"RI", "RFID tag identifier"}, {"RM", "RFID multiple labels"}, {"RN", "RFID no motion"},
      {"RT", "RFID read tag"}, {"RZ", "RFID password"}, {"RE", "EAS bit"}, {"RL", "RFID lock"}, {"RU", "RFID read"},
      {"WT", "RFID write tag"}, {"WV", "RFID verify"}, {"FL", "font link"}, {"LF", "list fonts"},
      {"TO", "transfer object"}, {"CO", "cache on"}, {"CM", "memory letters"}, {"CN", "cut now"},
      {"CP", "remove label"}, {"CO", "font cache"}, {"KB", "kill battery"}, {"NL", "network link"},
      {"XS", "bluetooth"}, {"BT", "bluetooth"}, {"JQ", "terminate"}, {"JY", "cut"},
  };
  return known;
}

// ^CI 0..12: national sets that put other characters at twelve ASCII
// places. USA 1, the printer's default, prints a cent sign for the
// backslash; code page 850 (^CI13) has the backslash.
const char* const NationalPlaces = "#$@[\\]^`{|}~";
const char* const NationalSets[13][12] = {
    {"#", "$", "@", "[", "¢", "]", "^", "`", "{", "|", "}", "~"},        // USA 1
    {"#", "$", "@", "⅓", "¢", "⅔", "^", "`", "¼", "½", "¾", "~"},        // USA 2
    {"£", "$", "@", "[", "¢", "]", "^", "`", "{", "|", "}", "~"},        // UK
    {"ƒ", "$", "§", "[", "Ĳ", "]", "^", "`", "{", "ĳ", "}", "~"},        // Holland
    {"#", "$", "@", "Æ", "Ø", "Å", "^", "`", "æ", "ø", "å", "~"},        // Denmark, Norway
    {"#", "¤", "É", "Ä", "Ö", "Å", "Ü", "é", "ä", "ö", "å", "ü"},        // Sweden, Finland
    {"#", "$", "§", "Ä", "Ö", "Ü", "^", "`", "ä", "ö", "ü", "ß"},        // Germany
    {"£", "$", "à", "[", "ç", "]", "^", "`", "é", "|", "ù", "¨"},        // France 1
    {"#", "$", "à", "â", "ç", "ê", "î", "ô", "é", "ù", "è", "û"},        // France 2
    {"£", "$", "§", "[", "ç", "é", "^", "ù", "à", "ò", "è", "ì"},        // Italy
    {"#", "$", "§", "¡", "Ñ", "¿", "^", "`", "{", "ñ", "ç", "~"},        // Spain
    {"£", "$", "É", "Ä", "Ö", "Ü", "^", "ä", "ë", "ï", "ö", "ü"},        // miscellaneous
    {"#", "$", "@", "[", "¥", "]", "^", "`", "{", "|", "}", "~"},        // Japan
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

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// A stored graphic's name without its device and with its extension: R:LOGO.GRF.
std::string ObjectName(std::string_view name, const char* extension) {
  std::string n = Upper(detail::Trim(name));
  if (size_t colon = n.find(':'); colon != std::string::npos && colon < 2) n = n.substr(colon + 1);
  if (n.find('.') == std::string::npos) n += extension;
  return n;
}

// GS1 mod-10 check digit of the digits.
char Mod10(std::string_view digits) {
  int sum = 0, weight = 3;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    sum += (*it - '0') * weight;
    weight = 4 - weight;
  }
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

struct Stored {  // ^DF formats: their bytes and the settings they started with
  std::string Bytes;
};

class ZplReader {
 public:
  ZplReader(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each)
      : b_(bytes), dpi_(dpi), each_(each) {
    job_.Kind = Language::Zpl;
  }

  Job Read() {
    Run(b_, 0);
    if (label_) throw MalformedJob(labelStart_, "the label begun here never ends (^XZ missing: the job is cut)");
    return std::move(job_);
  }

 private:
  // Reads `text` (the job, or a stored format replayed at `base`).
  void Run(std::string_view text, size_t base) {
    std::string_view saved = b_;
    b_ = text;
    base_ = base;
    size_t i = 0;
    bool warnedJunk = false;
    while (i < b_.size()) {
      size_t p = NextPrefix(i);
      if (p == std::string_view::npos) {
        CheckJunk(i, b_.size(), warnedJunk);
        break;
      }
      CheckJunk(i, p, warnedJunk);
      if (p + 2 >= b_.size()) {
        // A lone prefix at the very end after a finished label is noise.
        if (!label_ && p + 1 >= b_.size()) break;
        throw MalformedJob(base_ + p, "the job is cut in the middle of a command");
      }
      i = Step(p);
    }
    b_ = saved;
  }

  size_t NextPrefix(size_t from) const {
    for (size_t k = from; k < b_.size(); ++k)
      if (b_[k] == caret_ || b_[k] == tilde_) return k;
    return std::string_view::npos;
  }

  // One command at p; returns where the next begins.
  size_t Step(size_t p) {
    const char prefix = b_[p];
    const size_t at = base_ + p;
    std::string name{static_cast<char>(std::toupper(static_cast<unsigned char>(b_[p + 1]))),
                     static_cast<char>(std::toupper(static_cast<unsigned char>(b_[p + 2])))};
    const bool format = prefix == caret_;
    if (format && name[0] == 'A') {  // ^Af: the font's name is part of the command
      size_t end = ParamsEnd(p + 2);
      FontCommand(at, b_[p + 2], b_.substr(p + 3, end - p - 3));
      return end;
    }
    if (format && (name == "FD" || name == "FV")) {
      size_t end = FieldDataEnd(p + 3);
      data_ = std::string(b_.substr(p + 3, end - p - 3));
      haveData_ = true;
      Begin(at);
      return end;
    }
    if (format && name == "FX") return ParamsEnd(p + 3);  // a comment
    if (name == "CC" || name == "CT" || name == "CD") {
      // The new character is the one byte after the command.
      const char c = p + 3 < b_.size() ? b_[p + 3] : '\0';
      if (c != '\0' && c != '\r' && c != '\n' && c != ' ') {
        if (name == "CC") caret_ = c;
        else if (name == "CT") tilde_ = c;
        else delim_ = c;
      }
      return std::min(b_.size(), p + 4);
    }
    if (format && name == "GF") return Graphic(p, at);
    if (!format && (name == "DG" || name == "DY" || name == "DB" || name == "DU" || name == "DS" || name == "DT"))
      return Download(p, at, name);
    if (format && name == "DF") {
      size_t end = ParamsEnd(p + 3);
      StoreFormat(at, b_.substr(p + 3, end - p - 3), end);
      // The rest of the label is the format: stored, not printed now.
      size_t close = FindCommand(end, "XZ");
      if (close == std::string_view::npos) throw MalformedJob(at, "stored format begun here never ends (^XZ missing)");
      return close;
    }
    size_t end = ParamsEnd(p + 3);
    Command(prefix, name, at, b_.substr(p + 3, end - p - 3));
    return end;
  }

  size_t ParamsEnd(size_t from) const {
    size_t end = NextPrefix(from);
    return end == std::string_view::npos ? b_.size() : end;
  }

  // Where the format command `name` next begins, from `from`.
  size_t FindCommand(size_t from, const char* name) const {
    for (size_t k = NextPrefix(from); k != std::string_view::npos && k + 2 < b_.size(); k = NextPrefix(k + 1))
      if (b_[k] == caret_ && std::toupper(static_cast<unsigned char>(b_[k + 1])) == name[0] &&
          std::toupper(static_cast<unsigned char>(b_[k + 2])) == name[1])
        return k;
    return std::string_view::npos;
  }

  bool KnownControl(size_t k) const {
    if (k + 2 >= b_.size()) return false;
    const std::string n = Upper(b_.substr(k + 1, 2));
    static const std::set<std::string> control = {"CC", "CT", "CD", "DG", "DY", "DB", "DU", "DS", "DT", "DN", "EG",
                                                  "HI", "HM", "HS", "HU", "HB", "HD", "HQ", "JA", "JB", "JC", "JD",
                                                  "JE", "JF", "JG", "JL", "JN", "JO", "JP", "JQ", "JR", "JS", "KB",
                                                  "NC", "NR", "NT", "PL", "PP", "PR", "PS", "RO", "SD", "TA", "WC",
                                                  "WR", "WQ", "XS", "JX", "PH"};
    return control.count(n) != 0;
  }

  size_t FieldDataEnd(size_t from) const {
    const bool multibyte = ci_ == 26 && table_.find("GB18030") != std::string::npos;
    size_t i = from;
    while (i < b_.size()) {
      auto c = static_cast<unsigned char>(b_[i]);
      if (c == static_cast<unsigned char>(caret_)) return i;
      // A tilde that starts no control command is data.
      if (c == static_cast<unsigned char>(tilde_) && KnownControl(i)) return i;
      if (multibyte && c >= 0x81 && c <= 0xFE && i + 1 < b_.size()) {
        auto d = static_cast<unsigned char>(b_[i + 1]);
        i += (d >= 0x30 && d <= 0x39) ? 4 : 2;
        continue;
      }
      ++i;
    }
    return std::min(i, b_.size());
  }

  void CheckJunk(size_t from, size_t to, bool& warned) {
    if (warned || label_) return;
    for (size_t k = from; k < to; ++k) {
      auto c = static_cast<unsigned char>(b_[k]);
      if (std::isspace(c) || c == 0xEF || c == 0xBB || c == 0xBF || c == 0) continue;  // a byte-order mark too
      Warn(base_ + k, "bytes outside any command; ignored");
      warned = true;
      return;
    }
  }

  // Inside a recalled format the place to tell is the ^XF that recalled it.
  void Warn(size_t offset, std::string text) { job_.Warnings.push_back({replaying_ ? recallAt_ : offset, std::move(text)}); }

  std::vector<std::string_view> Args(std::string_view params) const { return detail::Split(params, delim_); }
  static std::optional<long> Arg(const std::vector<std::string_view>& args, size_t k) {
    return k < args.size() ? Whole(args[k]) : std::nullopt;
  }
  static std::optional<double> Real(const std::vector<std::string_view>& args, size_t k) {
    return k < args.size() ? detail::Decimal(args[k]) : std::nullopt;
  }
  static char Letter(const std::vector<std::string_view>& args, size_t k, char fallback) {
    if (k >= args.size()) return fallback;
    auto t = detail::Trim(args[k]);
    return t.empty() ? fallback : static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
  }
  static std::string Text(const std::vector<std::string_view>& args, size_t k) {
    return k < args.size() ? std::string(detail::Trim(args[k])) : std::string();
  }
  static int Clamp(long v, long lo, long hi) { return static_cast<int>(std::clamp(v, lo, hi)); }

  void FontCommand(size_t at, char letter, std::string_view params) {
    // ^Af o,h,w  and  ^A@o,h,w,d:name.ext
    if (!label_) return Warn(at, std::string("^A") + letter + " outside a label; ignored");
    auto args = Args(params);
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

  void Begin(size_t at) {
    if (!fieldOpen_) {
      fieldOpen_ = true;
      fieldAt_ = at;
    }
  }

  void Note(std::string text) {
    if (label_) label_->Notes.push_back(std::move(text));
    else pendingNotes_.push_back(std::move(text));
  }

  void Command(char prefix, const std::string& name, size_t at, std::string_view params) {
    const std::string shown = std::string(1, prefix == caret_ ? '^' : '~') + name;
    const bool format = prefix == caret_;
    if (format && name == "XA") {
      if (label_) Warn(at, "^XA inside a label; the label goes on");
      else Start(at);
      return;
    }
    if (format && name == "XZ") return Finish(at);
    auto args = Args(params);
    if (auto setting = Settings().find(name); setting != Settings().end()) {
      std::string value(detail::Trim(params));
      if (value.size() > 40) value = value.substr(0, 40) + "...";
      return Note(std::string(setting->second) + " (" + shown + value + "): not in the picture");
    }
    if (!label_) {
      if (format) Warn(at, shown + " outside a label; ignored");
      else Warn(at, "unknown command " + shown + "; ignored");
      return;
    }
    if (!format) return Warn(at, "unknown command " + shown + "; ignored");
    if (name == "PW") {
      auto w = Arg(args, 0);
      if (!w || *w < 1 || *w > MaxLabelSide)
        return Warn(at, "^PW needs a width of 1.." + std::to_string(MaxLabelSide) + " dots; ignored");
      pw_ = static_cast<int>(*w);
      return;
    }
    if (name == "LL") {
      auto l = Arg(args, 0);
      if (!l || *l < 1 || *l > MaxLabelSide)
        return Warn(at, "^LL needs a length of 1.." + std::to_string(MaxLabelSide) + " dots; ignored");
      ll_ = static_cast<int>(*l);
      return;
    }
    if (name == "LH") {
      lhX_ = Clamp(Arg(args, 0).value_or(lhX_), 0, MaxLabelSide);
      lhY_ = Clamp(Arg(args, 1).value_or(lhY_), 0, MaxLabelSide);
      return;
    }
    if (name == "LS") {
      ls_ = Clamp(Arg(args, 0).value_or(0), -9999, 9999);
      return;
    }
    if (name == "LT") {
      lt_ = Clamp(Arg(args, 0).value_or(0), -120, 120);
      return;
    }
    if (name == "LR") {
      lr_ = Letter(args, 0, 'N') == 'Y';
      return;
    }
    if (name == "PO") {
      char o = Letter(args, 0, 'N');
      turn_ = o == 'I' ? 180 : 0;
      Note(o == 'I' ? "printed inverted (^POI): the picture is turned 180 degrees" : "printed in normal orientation");
      return;
    }
    if (name == "PM") {
      mirror_ = Letter(args, 0, 'N') == 'Y';
      if (mirror_) Note("printed mirrored (^PMY): the picture is mirrored left to right");
      return;
    }
    if (name == "PQ") {
      auto q = Arg(args, 0);
      label_->Copies = q && *q >= 1 ? std::to_string(*q) : "1";
      copies_ = q && *q >= 1 ? *q : 1;
      return;
    }
    if (name == "CI") {
      ci_ = Clamp(Arg(args, 0).value_or(0), 0, 36);
      remap_.clear();
      for (size_t k = 1; k + 1 < args.size(); k += 2) {
        auto s = Arg(args, k), d = Arg(args, k + 1);
        // The character at s prints when d is sent (^CI0,21,36: the euro for $).
        if (s && d && *s >= 0 && *s < 256 && *d >= 0 && *d < 256) remap_[static_cast<unsigned char>(*d)] = static_cast<char>(*s);
      }
      return;
    }
    if (name == "CF") {
      char f = Letter(args, 0, font_.Name);
      auto h = Arg(args, 1), w = Arg(args, 2);
      font_.Name = f;
      font_.File.clear();
      if (auto alias = aliases_.find(f); alias != aliases_.end()) font_.File = alias->second;
      const BitmapFont* bitmap = font_.File.empty() ? BitmapFontOf(f) : nullptr;
      if (h && *h > 0) font_.Height = static_cast<double>(*h);
      if (w && *w > 0) font_.Width = static_cast<double>(*w);
      else if (h && *h > 0) font_.Width = bitmap ? bitmap->Width * std::max(1.0, std::round(*h / double(bitmap->Height))) : font_.Height;
      if (bitmap && !(h && *h > 0)) {
        font_.Height = bitmap->Height;
        if (!(w && *w > 0)) font_.Width = bitmap->Width;
      }
      return;
    }
    if (name == "CW") {
      char f = Letter(args, 0, '\0');
      if (f) aliases_[f] = Upper(Text(args, 1));
      return;
    }
    if (name == "FW") {
      fwRotation_ = RotationOf(Letter(args, 0, 'N'), fwRotation_);
      return;
    }
    if (name == "FO" || name == "FT") {
      auto x = Arg(args, 0), y = Arg(args, 1);
      fromBaseline_ = name == "FT";
      continueX_ = fromBaseline_ && !x;
      continueY_ = fromBaseline_ && !y;
      foX_ = Clamp(x.value_or(0), 0, 32000);
      foY_ = Clamp(y.value_or(0), 0, 32000);
      Begin(at);
      return;
    }
    if (name == "FH") {
      auto t = detail::Trim(params);
      hex_ = t.empty() ? '_' : t[0];
      return;
    }
    if (name == "FR") {
      reverse_ = true;
      return;
    }
    if (name == "FB") {
      blockWidth_ = Clamp(Arg(args, 0).value_or(0), 0, 9999);
      blockLines_ = Clamp(Arg(args, 1).value_or(1), 1, 9999);
      lineSpacing_ = Clamp(Arg(args, 2).value_or(0), -9999, 9999);
      justify_ = Letter(args, 3, 'L');
      if (std::string_view("LCRJ").find(justify_) == std::string_view::npos) justify_ = 'L';
      indent_ = Clamp(Arg(args, 4).value_or(0), 0, 9999);
      if (blockWidth_ == 0) blockWidth_ = 1;
      block_ = true;
      return;
    }
    if (name == "FP") {
      char d = Letter(args, 0, 'H');
      vertical_ = d == 'V';
      backwards_ = d == 'R';
      gap_ = Clamp(Arg(args, 1).value_or(0), 0, 9999);
      return;
    }
    if (name == "FN") {
      fieldNumber_ = Clamp(Arg(args, 0).value_or(0), 0, 9999);
      Begin(at);
      return;
    }
    if (name == "SN") {
      serial_ = true;
      data_ = Text(args, 0);
      haveData_ = true;
      serialStep_ = Arg(args, 1).value_or(1);
      Begin(at);
      return;
    }
    if (name == "SF") {
      serial_ = true;
      serialMask_ = Text(args, 0);
      serialStepText_ = Text(args, 1);
      return;
    }
    if (name == "FS") {
      if (!fieldOpen_ && !haveData_) return;  // an empty ^FS closes nothing, as on the printer
      return EndField();
    }
    if (name == "XF") return Recall(at, params);
    if (name == "XG") {
      auto found = graphics_.find(ObjectName(Text(args, 0), ".GRF"));
      if (found == graphics_.end()) return Warn(at, "^XG of " + Text(args, 0) + ": no such graphic stored; nothing drawn");
      const int mx = Clamp(Arg(args, 1).value_or(1), 1, 10), my = Clamp(Arg(args, 2).value_or(1), 1, 10);
      graphic_ = Magnify(found->second, mx, my);
      kind_ = FieldKind::Graphic;
      Begin(at);
      return;
    }
    if (name == "IM") {
      auto found = graphics_.find(ObjectName(params, ".GRF"));
      if (found == graphics_.end())
        return Warn(at, "^IM of " + std::string(detail::Trim(params)) + ": no such image stored; nothing drawn");
      graphic_ = found->second;
      kind_ = FieldKind::Graphic;
      Begin(at);
      return;
    }
    if (name == "IL") {
      auto found = images_.find(ObjectName(params, ".GRF"));
      if (found != images_.end()) {
        for (const Field& f : found->second) label_->Fields.push_back(f);
        return;
      }
      auto graphic = graphics_.find(ObjectName(params, ".GRF"));
      if (graphic == graphics_.end())
        return Warn(at, "^IL of " + std::string(detail::Trim(params)) + ": no such image stored; nothing drawn");
      Raster r;
      r.Dots = graphic->second;
      label_->Fields.push_back(std::move(r));
      return;
    }
    if (name == "IS") {
      storeImageAs_ = ObjectName(Text(args, 0), ".GRF");
      return;
    }
    if (name == "ID") {
      const std::string n = ObjectName(params, ".GRF");
      graphics_.erase(n);
      images_.erase(n);
      return;
    }
    if (name == "GB" || name == "GC" || name == "GE" || name == "GD") return ShapeCommand(name, at, args);
    if (name == "GS") {
      gsFont_ = Font{'0', RotationOf(Letter(args, 0, '?'), -1),
                     static_cast<double>(Arg(args, 1).value_or(static_cast<long>(font_.Height))),
                     static_cast<double>(Arg(args, 2).value_or(Arg(args, 1).value_or(static_cast<long>(font_.Width)))), ""};
      symbolFont_ = true;
      Begin(at);
      return;
    }
    if (name == "BY") {
      if (auto w = Arg(args, 0); w && *w >= 1) moduleWidth_ = Clamp(*w, 1, 10);
      if (auto r = Real(args, 1); r && *r >= 2 && *r <= 3) ratio_ = *r;
      if (auto h = Arg(args, 2); h && *h >= 1) barHeight_ = Clamp(*h, 1, 32000);
      return;
    }
    if (name.size() == 2 && name[0] == 'B') return BarcodeCommand(name, at, args);
    if (name == "RF") {
      rfid_ = std::string(detail::Trim(params));
      kind_ = FieldKind::Rfid;
      Begin(at);
      return;
    }
    if (name == "SE") {
      table_ = std::string(detail::Trim(params));
      return Note("encoding table " + table_);
    }
    Warn(at, "unknown command " + shown + "; ignored");
  }

  // --- label start and end -------------------------------------------------

  void Start(size_t at) {
    label_ = Label();
    labelStart_ = at;
    copies_ = 1;
    serials_.clear();
    for (auto& n : pendingNotes_) label_->Notes.push_back(std::move(n));
    pendingNotes_.clear();
    ResetField();
  }

  void Finish(size_t at) {
    if (!label_) return Warn(at, "^XZ without ^XA; ignored");
    if (fieldOpen_) {
      if (haveData_ || kind_ != FieldKind::Text) Warn(fieldAt_, "field not closed by ^FS before ^XZ; drawn as if it were");
      EndField();
    }
    if (storingOnly_) {
      // The label that stores a format prints nothing.
      storingOnly_ = false;
      label_.reset();
      return;
    }
    if (!recallName_.empty()) {
      // Now that this label has given its numbered data, the format's fields take it.
      const std::string name = recallName_;
      recallName_.clear();
      auto found = formats_.find(name);
      recallFill_ = true;
      const size_t savedBase = base_;
      const std::string_view savedBytes = b_;
      ResetField();
      const std::string stored = found->second.Bytes;
      replaying_ = true;
      try {
        Run(stored, 0);
      } catch (const MalformedJob& e) {
        throw MalformedJob(recallAt_, std::string("in the format recalled here: ") + e.what());
      }
      replaying_ = false;
      base_ = savedBase;
      b_ = savedBytes;
      recallFill_ = false;
      if (fieldOpen_) EndField();
      ResetField();
    }
    label_->Width = pw_;
    label_->Height = ll_;
    label_->Turn = turn_;
    label_->Mirror = mirror_;
    if (!storeImageAs_.empty()) {
      images_[storeImageAs_] = label_->Fields;
      storeImageAs_.clear();
    }
    if (serials_.empty()) {
      Emit(std::move(*label_));
    } else {
      // Serialised fields count up over the copies: one picture a copy (at most 100).
      const long copies = std::min<long>(copies_, 100);
      if (copies_ > copies) label_->Notes.push_back("serialised over " + std::to_string(copies_) + " copies: the first 100 drawn");
      label_->Copies = "1";
      for (long k = 0; k < copies; ++k) {
        Label copy = *label_;
        for (const auto& s : serials_) {
          if (s.Index >= copy.Fields.size()) continue;
          std::string value = Serial(s, k);
          if (auto* t = std::get_if<TextField>(&copy.Fields[s.Index])) t->Utf8 = value;
          else if (auto* y = std::get_if<SymbolField>(&copy.Fields[s.Index])) y->Data = value;
        }
        Emit(std::move(copy));
      }
      serials_.clear();
    }
    label_.reset();
    numbered_.clear();
  }

  void Emit(Label&& label) {
    if (each_) each_(std::move(label));
    else job_.Labels.push_back(std::move(label));
  }

  // --- stored formats ------------------------------------------------------

  void StoreFormat(size_t at, std::string_view params, size_t from) {
    size_t close = FindCommand(from, "XZ");
    if (close == std::string_view::npos) return;
    formats_[ObjectName(params, ".ZPL")] = Stored{std::string(b_.substr(from, close - from))};
    pendingNotes_.push_back("format " + ObjectName(params, ".ZPL") + " stored (^DF)");
    storingOnly_ = true;
    (void)at;
  }

  void Recall(size_t at, std::string_view params) {
    auto found = formats_.find(ObjectName(params, ".ZPL"));
    if (found == formats_.end())
      return Warn(at, "^XF of " + std::string(detail::Trim(params)) + ": no such format stored; nothing drawn");
    // Drawn at ^XZ, once this label has given the data of its numbered fields.
    recallName_ = found->first;
    recallAt_ = at;
  }

  // --- fields ---------------------------------------------------------------

  void ResetField() {
    fieldOpen_ = false;
    haveData_ = false;
    data_.clear();
    kind_ = FieldKind::Text;
    fieldFont_.reset();
    foX_ = foY_ = 0;
    fromBaseline_ = continueX_ = continueY_ = false;
    hex_ = '\0';
    reverse_ = false;
    block_ = false;
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

  std::string Unescaped(const std::string& data) const {
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
  std::string FieldBytes() const {
    std::string d;
    for (char c : data_)
      if (c != '\r' && c != '\n') d += c;
    d = Unescaped(d);
    if (!remap_.empty())
      for (char& c : d)
        if (auto r = remap_.find(static_cast<unsigned char>(c)); r != remap_.end()) c = r->second;
    return d;
  }

  std::string FieldText(const std::string& bytes) const {
    if (ci_ == 28) return detail::ToUtf8Lenient(bytes);
    if (ci_ == 26 && table_.find("GB18030") != std::string::npos) return detail::Decode(bytes, "GB18030");
    if (ci_ == 29 || ci_ == 30) return detail::Decode(bytes, ci_ == 29 ? "UTF-16BE" : "UTF-16LE");
    if (ci_ <= 12) {
      std::string out;
      std::string high;
      auto flush = [&] {
        if (!high.empty()) out += detail::Decode(high, "CP850");
        high.clear();
      };
      for (size_t k = 0; k < bytes.size(); ++k) {
        const char c = bytes[k];
        const char* place = std::strchr(NationalPlaces, c);
        if (block_ && c == '\\' && k + 1 < bytes.size() && bytes[k + 1] == '&') {
          // A field block's line break, read before any character set.
          flush();
          out += "\\&";
          ++k;
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
    return detail::Decode(bytes, CodePageOf(ci_));
  }

  int FieldX() const { return lhX_ + foX_ - ls_; }
  int FieldY() const { return lhY_ + foY_ + lt_; }
  bool Reversed() const { return reverse_ || lr_; }

  void EndField() {
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
      case FieldKind::Rfid:
        Note("RFID ^RF" + rfid_ + " with data " + bytes);
        break;
      case FieldKind::Text: {
        if (!haveData_ || bytes.empty()) break;
        const Font& f = symbolFont_ ? gsFont_ : fieldFont_ ? *fieldFont_ : font_;
        TextField text;
        text.X = FieldX();
        text.Y = FieldY();
        text.FromBaseline = fromBaseline_;
        if (continueX_) text.X = INT32_MIN;  // placed where the previous text ended
        if (continueY_) text.Y = INT32_MIN;
        text.Utf8 = symbolFont_ ? GraphicSymbols(bytes) : FieldText(bytes);
        text.Rotation = f.Rotation >= 0 ? f.Rotation : fwRotation_;
        text.Reverse = Reversed();
        text.BlockWidth = block_ ? blockWidth_ : 0;
        text.BlockLines = blockLines_;
        text.LineSpacing = lineSpacing_;
        text.Justify = justify_;
        text.HangingIndent = indent_;
        text.Vertical = vertical_;
        text.Backwards = backwards_;
        text.Gap = gap_;
        Dress(text, f);
        label_->Fields.push_back(text);
        break;
      }
    }
    if (serial_ && label_->Fields.size() > index) serials_.push_back({index, bytes, serialStep_, serialMask_, serialStepText_});
    ResetField();
  }

  // The stand-in font of a printer font, at its size.
  void Dress(TextField& text, const Font& f) const {
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
      if (stem.rfind("TT0003M_", 0) == 0 || stem.empty() || ci_ == 26) text.Font = "WenQuanYi Micro Hei";
      else text.Font = stem;
      return;
    }
    text.Font = "TeX Gyre Heros Cn";  // the printer's CG Triumvirate Bold Condensed
    text.Bold = true;
  }

  // Lower-case letters as a capitals-only font prints them.
  static std::string Capitals(const std::string& utf8) {
    std::string out = utf8;
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
  }

  static std::string GraphicSymbols(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
      switch (std::toupper(static_cast<unsigned char>(c))) {
        case 'A': out += "®"; break;
        case 'B': out += "©"; break;
        case 'C': out += "™"; break;
        case 'D': out += "Ⓤ"; break;
        case 'E': out += "Ⓒ"; break;
        default: break;
      }
    }
    return out;
  }

  struct SerialField {
    size_t Index;
    std::string Start;
    long Step;
    std::string Mask, MaskStep;
  };
  std::vector<SerialField> serials_;

  static std::string Serial(const SerialField& s, long copy) {
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
        if (fromRight < s.MaskStep.size()) add += std::isdigit(static_cast<unsigned char>(s.MaskStep[s.MaskStep.size() - 1 - fromRight]))
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

  // --- shapes and graphics --------------------------------------------------

  void ShapeCommand(const std::string& name, size_t at, const std::vector<std::string_view>& args) {
    Shape s;
    if (name == "GB") {
      // Width and height grow to the thickness; a zero side is a line.
      s.Thickness = Clamp(Arg(args, 2).value_or(1), 1, 32000);
      s.Width = std::max(s.Thickness, Clamp(Arg(args, 0).value_or(s.Thickness), 0, 32000));
      s.Height = std::max(s.Thickness, Clamp(Arg(args, 1).value_or(s.Thickness), 0, 32000));
      s.White = Letter(args, 3, 'B') == 'W';
      s.Rounding = Clamp(Arg(args, 4).value_or(0), 0, 8);
    } else if (name == "GC") {
      s.What = Shape::Ellipse;
      s.Width = s.Height = Clamp(Arg(args, 0).value_or(3), 3, 4095);
      s.Thickness = Clamp(Arg(args, 1).value_or(1), 1, 4095);
      s.White = Letter(args, 2, 'B') == 'W';
    } else if (name == "GE") {
      s.What = Shape::Ellipse;
      s.Thickness = Clamp(Arg(args, 2).value_or(1), 1, 4095);
      s.Width = Clamp(Arg(args, 0).value_or(s.Thickness), 3, 4095);
      s.Height = Clamp(Arg(args, 1).value_or(s.Thickness), 3, 4095);
      s.White = Letter(args, 3, 'B') == 'W';
    } else {
      s.What = Shape::Diagonal;
      s.Thickness = Clamp(Arg(args, 2).value_or(1), 1, 32000);
      s.Width = std::max(s.Thickness, Clamp(Arg(args, 0).value_or(s.Thickness), 3, 32000));
      s.Height = std::max(s.Thickness, Clamp(Arg(args, 1).value_or(s.Thickness), 3, 32000));
      s.White = Letter(args, 3, 'B') == 'W';
      const char o = Letter(args, 4, 'R');
      s.LeansRight = o != 'L' && o != '\\';
    }
    shape_ = s;
    kind_ = FieldKind::Shape;
    Begin(at);
  }

  size_t Graphic(size_t p, size_t at) {
    // ^GFa,b,c,d,data: binary data is exactly b bytes, whatever they hold.
    size_t k = p + 3;
    std::vector<std::string_view> head;
    size_t start = k;
    while (head.size() < 4 && k < b_.size()) {
      if (b_[k] == delim_) {
        head.push_back(b_.substr(start, k - start));
        start = k + 1;
      } else if (b_[k] == caret_ || (b_[k] == tilde_ && KnownControl(k))) {
        break;
      }
      ++k;
    }
    if (head.size() < 4) {
      Warn(at, "^GF without its four parameters; nothing drawn");
      return ParamsEnd(p + 3);
    }
    const char format = Letter(head, 0, 'A');
    const auto bytes = Arg(head, 1), total = Arg(head, 2), perRow = Arg(head, 3);
    size_t end;
    std::string_view data;
    if (format == 'B' || format == 'C') {
      const size_t n = static_cast<size_t>(std::max(0L, bytes.value_or(0)));
      if (start + n > b_.size()) throw MalformedJob(at, "^GF announces " + std::to_string(n) + " bytes beyond the job's end");
      data = b_.substr(start, n);
      end = start + n;
    } else {
      end = ParamsEnd(start);
      data = b_.substr(start, end - start);
    }
    if (!label_) {
      Warn(at, "^GF outside a label; ignored");
      return end;
    }
    std::string why;
    auto dots = DecodeGraphic(format, data, total.value_or(0), perRow.value_or(0), &why);
    if (!dots) {
      Warn(at, "^GF " + why + "; nothing drawn");
      return end;
    }
    graphic_ = std::move(*dots);
    kind_ = FieldKind::Graphic;
    Begin(at);
    return end;
  }

  size_t Download(size_t p, size_t at, const std::string& name) {
    // ~DGd:o.x,t,w,data  ~DYd:f,b,x,t,w,data  ~DU/~DB/~DS/~DT: fonts.
    const size_t paramsFrom = p + 3;
    const int commas = name == "DG" ? 2 : name == "DY" ? 5 : name == "DU" ? 2 : name == "DB" ? 0 : 1;
    std::vector<std::string_view> head;
    size_t k = paramsFrom, start = paramsFrom;
    while (static_cast<int>(head.size()) < commas && k < b_.size() && b_[k] != caret_ && b_[k] != tilde_) {
      if (b_[k] == delim_) {
        head.push_back(b_.substr(start, k - start));
        start = k + 1;
      }
      ++k;
    }
    if (name == "DG" && head.size() == 2) {
      size_t end = ParamsEnd(start);
      std::string why;
      const long total = Arg(head, 1).value_or(0), perRow = [&] {
        // The row count is the third parameter, before the data.
        size_t c = b_.find(delim_, start);
        return c != std::string_view::npos && c < end ? Whole(b_.substr(start, c - start)).value_or(0) : 0L;
      }();
      size_t dataFrom = b_.find(delim_, start);
      if (dataFrom == std::string_view::npos || dataFrom >= end) {
        Warn(at, "~DG without its data; nothing stored");
        return end;
      }
      auto dots = DecodeGraphic('A', b_.substr(dataFrom + 1, end - dataFrom - 1), total, perRow, &why);
      if (dots) graphics_[ObjectName(head[0], ".GRF")] = std::move(*dots);
      else Warn(at, "~DG " + why + "; nothing stored");
      return end;
    }
    if (name == "DY" && head.size() == 5) {
      const char format = Letter(head, 1, 'A');
      const char ext = Letter(head, 2, 'G');
      const long total = Arg(head, 3).value_or(0), perRow = Arg(head, 4).value_or(0);
      size_t end;
      std::string_view data;
      if (format == 'B' || format == 'C') {
        const size_t n = static_cast<size_t>(std::max(0L, total));
        if (start + n > b_.size()) throw MalformedJob(at, "~DY announces " + std::to_string(n) + " bytes beyond the job's end");
        data = b_.substr(start, n);
        end = start + n;
      } else {
        end = ParamsEnd(start);
        data = b_.substr(start, end - start);
      }
      const std::string object = ObjectName(head[0], ext == 'P' ? ".PNG" : ".GRF");
      std::string why;
      if (ext == 'G' || ext == 'B') {
        auto dots = DecodeGraphic(format, data, total, perRow, &why);
        if (dots) graphics_[ObjectName(head[0], ".GRF")] = std::move(*dots);
        else Warn(at, "~DY " + why + "; nothing stored");
      } else if (ext == 'P') {
        std::string raw = format == 'A' ? HexBytes(data) : std::string(data);
        if (auto z = Base64Payload(data, &why); z) raw = *z;
        auto dots = detail::DecodePicture(raw, &why);
        if (dots) graphics_[ObjectName(head[0], ".GRF")] = std::move(*dots);
        else Warn(at, "~DY picture: " + why + "; nothing stored");
      } else {
        Note("font or file " + object + " downloaded (~DY): kept by the printer, not drawn");
      }
      return end;
    }
    // Fonts: their data runs to the next command; nothing of them is drawn.
    size_t end = ParamsEnd(paramsFrom);
    Note("font downloaded (~" + name + "): the preview draws its stand-in");
    return end;
  }

  // --- barcodes -------------------------------------------------------------

  void BarcodeCommand(const std::string& name, size_t at, const std::vector<std::string_view>& args) {
    SymbolField s;
    s.Symbol.Module = moduleWidth_;
    s.Symbol.Ratio = ratio_;
    s.Symbol.BarHeight = barHeight_;
    s.Symbol.Dpi = dpi_;
    s.Rotation = RotationOf(Letter(args, 0, '?'), fwRotation_);
    s.TextHeight = std::max(10, 9 * moduleWidth_);
    auto height = [&](size_t k) { return Clamp(Arg(args, k).value_or(barHeight_), 1, 32000); };
    auto yes = [&](size_t k, bool fallback) { return Letter(args, k, fallback ? 'Y' : 'N') == 'Y'; };
    auto readable = [&](size_t below, size_t above, bool fallback) {
      s.Readable = yes(below, fallback) ? (yes(above, false) ? 'A' : 'B') : 'N';
    };
    const char c = name[1];
    bool known = true;
    mode_ = 'N';
    check_ = false;
    switch (c) {
      case 'C':  // ^BCo,h,f,g,e,m
        s.Name = "Code 128";
        s.Symbol.Symbology = 20;  // BARCODE_CODE128
        s.Symbol.BarHeight = height(1);
        readable(2, 3, true);
        check_ = yes(4, false);
        code128Mode_ = Letter(args, 5, 'N');
        if (std::string_view("NUAD").find(code128Mode_) == std::string_view::npos) code128Mode_ = 'N';
        mode_ = 'c';
        break;
      case '3':  // ^B3o,e,h,f,g
        s.Name = "Code 39";
        s.Symbol.Symbology = 8;  // BARCODE_CODE39
        if (yes(1, false)) s.Symbol.Option2 = 1;
        s.Symbol.BarHeight = height(2);
        readable(3, 4, true);
        break;
      case 'A':  // ^BAo,h,f,g,e: Code 93
        s.Name = "Code 93";
        s.Symbol.Symbology = 25;
        s.Symbol.BarHeight = height(1);
        readable(2, 3, true);
        break;
      case '2':  // ^B2o,h,f,g,e,j: interleaved 2 of 5
        s.Name = "Interleaved 2 of 5";
        s.Symbol.Symbology = 3;
        s.Symbol.BarHeight = height(1);
        readable(2, 3, true);
        check_ = yes(4, false);
        break;
      case 'E':  // ^BEo,h,f,g: EAN-13
      case '8':  // ^B8o,h,f,g: EAN-8
        s.Name = c == 'E' ? "EAN-13" : "EAN-8";
        s.Symbol.Symbology = 13;  // BARCODE_EANX
        s.Symbol.BarHeight = height(1);
        readable(2, 3, true);
        mode_ = c;
        break;
      case 'U':  // ^BUo,h,f,g,e: UPC-A
        s.Name = "UPC-A";
        s.Symbol.Symbology = 34;
        s.Symbol.BarHeight = height(1);
        readable(2, 3, true);
        mode_ = 'u';
        break;
      case '9':  // ^B9o,h,f,g,e: UPC-E
        s.Name = "UPC-E";
        s.Symbol.Symbology = 37;
        s.Symbol.BarHeight = height(1);
        readable(2, 3, true);
        break;
      case 'K':  // ^BKo,e,h,f,g,k,l: Codabar with its start and stop
        s.Name = "Codabar";
        s.Symbol.Symbology = 18;
        s.Symbol.BarHeight = height(2);
        readable(3, 4, true);
        startStop_ = std::string(1, Letter(args, 5, 'A')) + Letter(args, 6, 'A');
        mode_ = 'K';
        break;
      case 'R': {  // ^BRo,t,m,s,h,w: GS1 DataBar
        s.Name = "GS1 DataBar";
        const int type = Clamp(Arg(args, 1).value_or(1), 1, 12);
        static const int kinds[13] = {29, 29, 29, 79, 80, 30, 31, 34, 37, 13, 13, 131, 31};
        s.Symbol.Symbology = kinds[type];
        s.Symbol.InputMode = 1;  // GS1
        s.Symbol.Module = Clamp(Arg(args, 2).value_or(moduleWidth_ > 0 ? moduleWidth_ : 1), 1, 10);
        s.Symbol.BarHeight = Clamp(Arg(args, 4).value_or(25), 1, 32000);
        if (type == 6 || type == 12) s.Symbol.Option2 = Clamp(Arg(args, 5).value_or(22), 2, 22) / 2;
        s.Readable = type == 6 || type == 1 ? 'B' : 'N';
        mode_ = 'R';
        break;
      }
      case 'X': {  // ^BXo,h,s,c,r,f,g,a: Data Matrix
        s.Name = "Data Matrix";
        s.Symbol.Symbology = 71;
        s.Symbol.Module = Clamp(Arg(args, 1).value_or(std::max(1, barHeight_ / 10)), 1, 100);
        const int columns = Clamp(Arg(args, 3).value_or(0), 0, 144), rows = Clamp(Arg(args, 4).value_or(0), 0, 144);
        if (columns && rows) s.Symbol.Option2 = DataMatrixSize(rows, columns);
        if (Letter(args, 7, '1') == '2' || (columns && rows && rows != columns)) s.Symbol.Option3 = 0;
        else s.Symbol.Option3 = 100;  // DM_SQUARE
        escape_ = Text(args, 6).empty() ? '~' : Text(args, 6)[0];
        mode_ = 'X';
        break;
      }
      case 'Q': {  // ^BQa,b,c,d,e: QR code
        s.Name = "QR code";
        s.Symbol.Symbology = 58;
        s.Symbol.Module = Clamp(Arg(args, 2).value_or(dpi_ >= 300 ? 3 : 2), 1, 100);
        qrLevel_ = Letter(args, 3, 'Q');
        s.Rotation = 0;  // QR codes print upright only
        mode_ = 'Q';
        break;
      }
      case '7': {  // ^B7o,h,s,c,r,t: PDF417
        s.Name = "PDF417";
        s.Symbol.Symbology = Letter(args, 5, 'N') == 'Y' ? 56 : 55;
        s.Symbol.BarHeight = Clamp(Arg(args, 1).value_or(std::max(1, barHeight_ / 10)), 1, 1000);
        const int security = Clamp(Arg(args, 2).value_or(0), 0, 8);
        s.Symbol.Option1 = security;
        s.Symbol.Option2 = Clamp(Arg(args, 3).value_or(0), 0, 30);
        if (auto rows = Arg(args, 4); rows && *rows >= 3) s.Symbol.Option3 = Clamp(*rows, 3, 90);
        break;
      }
      case 'F':  // ^BFo,h,m: MicroPDF417
        s.Name = "MicroPDF417";
        s.Symbol.Symbology = 84;
        s.Symbol.BarHeight = Clamp(Arg(args, 1).value_or(std::max(1, barHeight_ / 10)), 1, 1000);
        break;
      case 'D': {  // ^BDm,n,t: MaxiCode
        s.Name = "MaxiCode";
        s.Symbol.Symbology = 57;
        s.Symbol.Option1 = Clamp(Arg(args, 0).value_or(2), 2, 6);
        // Symbol n of t in a structured append (t of 1: a symbol alone).
        const int t = Clamp(Arg(args, 2).value_or(1), 1, 8), n = Clamp(Arg(args, 1).value_or(1), 1, t);
        s.Symbol.AppendIndex = n;
        s.Symbol.AppendCount = t;
        s.Rotation = 0;
        mode_ = 'M';
        break;
      }
      case 'O':
      case '0': {  // ^BOa,b,c,d,e,f,g: Aztec
        s.Name = "Aztec";
        s.Symbol.Symbology = 92;
        s.Symbol.Module = Clamp(Arg(args, 1).value_or(dpi_ >= 300 ? 3 : 2), 1, 10);
        const int d = Clamp(Arg(args, 3).value_or(0), 0, 300);
        if (d >= 1 && d <= 99) s.Symbol.Option1 = d <= 10 ? 1 : d <= 23 ? 2 : d <= 36 ? 3 : 4;
        else if (d >= 101 && d <= 104) s.Symbol.Option2 = d - 100;
        else if (d >= 201 && d <= 232) s.Symbol.Option2 = d - 200 + 4;
        if (yes(2, false)) eci_ = true;
        mode_ = 'O';
        break;
      }
      case 'Y': return;
      default: known = false;
    }
    if (!known) {
      // Other barcodes the guide lists, drawn by zint as they are.
      static const std::map<char, std::pair<int, const char*>> others = {
          {'1', {1, "Code 11"}}, {'4', {24, "Code 49"}}, {'5', {82, "Planet"}}, {'B', {74, "Codablock"}},
          {'I', {7, "Industrial 2 of 5"}}, {'J', {2, "Standard 2 of 5"}}, {'L', {50, "LOGMARS"}},
          {'M', {47, "MSI"}}, {'P', {86, "Plessey"}}, {'S', {13, "UPC/EAN extension"}}, {'Z', {40, "POSTNET"}},
      };
      auto o = others.find(c);
      if (o == others.end()) return Warn(at, "unknown command ^B" + std::string(1, c) + "; ignored");
      s.Name = o->second.second;
      s.Symbol.Symbology = o->second.first;
      s.Symbol.BarHeight = height(c == '1' || c == 'L' || c == 'M' || c == 'P' ? 2 : 1);
      readable(c == '1' || c == 'M' || c == 'P' ? 3 : 2, c == '1' || c == 'M' || c == 'P' ? 4 : 3, true);
    }
    symbol_ = s;
    kind_ = FieldKind::Symbol;
    Begin(at);
  }

  static int DataMatrixSize(int rows, int columns) {
    // zint numbers the ECC 200 sizes 1..30 (squares, then rectangles).
    static const int sizes[][2] = {{10, 10},  {12, 12},  {14, 14},  {16, 16},  {18, 18},   {20, 20},  {22, 22},
                                   {24, 24},  {26, 26},  {32, 32},  {36, 36},  {40, 40},   {44, 44},  {48, 48},
                                   {52, 52},  {64, 64},  {72, 72},  {80, 80},  {88, 88},   {96, 96},  {104, 104},
                                   {120, 120}, {132, 132}, {144, 144}, {8, 18}, {8, 32},  {12, 26}, {12, 36},
                                   {16, 36},  {16, 48}};
    for (int k = 0; k < 30; ++k)
      if (sizes[k][0] == rows && sizes[k][1] == columns) return k + 1;
    return 0;
  }

  // The field data as the symbology takes it; false (told) when it cannot.
  bool SymbolData(SymbolField& s, const std::string& bytes) {
    s.Data = bytes;
    switch (mode_) {
      case 'Q': return QrData(s, bytes);
      case 'M': return MaxiData(s, bytes);
      case 'E':
      case '8': {
        // The printer takes the first 12 (7) digits and adds the check digit.
        const size_t n = mode_ == 'E' ? 12 : 7;
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
      case 'K':
        s.Data = startStop_.substr(0, 1) + bytes + startStop_.substr(1, 1);
        return true;
      case 'X':
        if (escape_) s.Data = DataMatrixEscapes(bytes, escape_, s);
        return true;
      case 'R': {
        // GS1 DataBar: the GTIN's digits; AIs of expanded types in brackets already.
        if (s.Symbol.Symbology == 31 || s.Symbol.Symbology == 81) {
          if (bytes.find('[') == std::string::npos && bytes.find('(') != std::string::npos) {
            std::string d = bytes;
            std::replace(d.begin(), d.end(), '(', '[');
            std::replace(d.begin(), d.end(), ')', ']');
            s.Data = d;
          }
          return true;
        }
        s.Symbol.InputMode = 0;
        std::string digits;
        for (char ch : bytes)
          if (std::isdigit(static_cast<unsigned char>(ch))) digits += ch;
        s.Data = digits.substr(0, 13);
        return true;
      }
      case 'O':
        if (eci_) s.Symbol.InputMode = 0x0008;  // ESCAPE_MODE
        eci_ = false;
        return true;
      default: break;
    }
    if (mode_ == 'c') return Code128Data(s, bytes);
    if (s.Symbol.Symbology == 3 && check_) s.Symbol.Option2 = 1;
    return true;
  }

  bool Code128Data(SymbolField& s, const std::string& bytes) {
    auto gs1 = [&](std::string digits, std::string readable) {
      s.Symbol.Symbology = 16;       // BARCODE_GS1_128
      s.Symbol.InputMode = 1 | 0x20; // GS1_MODE | GS1NOCHECK_MODE
      if (digits.size() < 2) digits.append(2 - digits.size(), '0');
      s.Data = "[" + digits.substr(0, 2) + "]" + digits.substr(2);
      s.ReadableText = std::move(readable);
    };
    if (code128Mode_ == 'U') {
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
    if (code128Mode_ == 'D') {
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
    // Invocation codes: >9 >: >; start A, B, C; >5 >6 >7 switch to C, B, A;
    // >8 FNC1; >< and >0 a '>' and >= a '~'; the rest only steer the encoder.
    // Both modes N and A read them; the subsets themselves are zint's
    // shortest packing (the carriers' labels are laid out for it: Amazon's
    // container code fits its box only with its digits in subset C).
    std::string data, readable;
    bool fnc1First = false;
    char subset = 'B';
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
            if (data.empty()) fnc1First = true;
            else data += '\x1D';
            continue;
          case '<':
          case '0': data += '>'; readable += '>'; continue;
          case '=': data += '~'; readable += '~'; continue;
          case '1': case '2': case '3': case '4': continue;
          default: data += '>'; readable += '>'; --k; continue;  // not an invocation code: data
        }
      }
      const char ch = bytes[k];
      data += ch;
      readable += ch;
    }
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
    if (check_ && !data.empty() && data.find_first_not_of("0123456789") == std::string::npos) {
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

  bool Refuse(const SymbolField& s, const std::string& why) {
    Warn(fieldAt_, s.Name + " of '" + s.Data + "': " + why + "; nothing drawn");
    return false;
  }

  bool QrData(SymbolField& s, const std::string& bytes) {
    // Field data: error correction letter, input mode letter, comma, data
    // (first three characters taken so, as the printer does).
    std::string_view d = bytes;
    char level = qrLevel_;
    if (d.size() >= 3) {
      const char l = static_cast<char>(std::toupper(static_cast<unsigned char>(d[0])));
      if (std::string_view("HQML").find(l) != std::string_view::npos) level = l;
      const char input = static_cast<char>(std::toupper(static_cast<unsigned char>(d[1])));
      d.remove_prefix(3);
      if (input == 'M' && !d.empty()) {
        // Manual input: a character mode letter, then the data; bytes
        // carry a four-digit count.
        const char m = static_cast<char>(std::toupper(static_cast<unsigned char>(d[0])));
        if (m == 'B' && d.size() >= 5) d.remove_prefix(5);
        else if (m == 'N' || m == 'A' || m == 'K') d.remove_prefix(1);
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

  bool MaxiData(SymbolField& s, const std::string& bytes) {
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

  static std::string DataMatrixEscapes(const std::string& bytes, char escape, SymbolField& s) {
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
        s.Symbol.InputMode = 1 | 0x20;
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

  std::string_view b_;
  size_t base_ = 0;
  int dpi_;
  const std::function<void(Label&&)>& each_;
  Job job_;
  std::optional<Label> label_;
  size_t labelStart_ = 0;
  std::vector<std::string> pendingNotes_;
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
  std::map<std::string, Stored> formats_;
  std::string storeImageAs_;
  bool storingOnly_ = false, recallFill_ = false, replaying_ = false;
  std::string recallName_;
  size_t recallAt_ = 0;
  std::map<int, std::string> numbered_;
  // The field under construction.
  bool fieldOpen_ = false, haveData_ = false;
  size_t fieldAt_ = 0;
  FieldKind kind_ = FieldKind::Text;
  std::optional<Font> fieldFont_;
  int foX_ = 0, foY_ = 0;
  bool fromBaseline_ = false, continueX_ = false, continueY_ = false;
  char hex_ = '\0';
  bool reverse_ = false, block_ = false, vertical_ = false, backwards_ = false, symbolFont_ = false;
  int blockWidth_ = 0, blockLines_ = 1, lineSpacing_ = 0, indent_ = 0, gap_ = 0;
  char justify_ = 'L';
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

}  // namespace

Job ParseZpl(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each) {
  return ZplReader(bytes, dpi, each).Read();
}

}  // namespace morvel::preview

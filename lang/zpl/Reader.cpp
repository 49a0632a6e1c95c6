// ZPL jobs read into labels, command by command as the ZPL II programming
// guide describes them: label set-up, fields of text in the printer's fonts
// (stand-ins), boxes, circles, diagonals, graphics in every download form,
// every barcode zint draws, stored formats, and the settings that change
// nothing in the picture (told as notes, never warned about). Field data ends
// at the next command prefix, as on the printer; with a multibyte table
// (^CI26 + ^SE GB18030) two- and four-byte characters are stepped over whole
// so a trail byte that happens to be '^' does not end the field. This part
// reads the job command by command and keeps the label and its stored
// formats; the commands dispatch through the table of Commands.h.
#include "lang/zpl/Reader.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace morvel::lang::zpl {

using detail::Whole;

int RotationOf(char letter, int fallback) {
  switch (std::toupper(static_cast<unsigned char>(letter))) {
    case 'N': return 0;
    case 'R': return 90;
    case 'I': return 180;
    case 'B': return 270;
    default: return fallback;
  }
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

namespace {

// What the reader does with each command it acts on; the others are
// settings (told as notes) or unknown (warned about).
using Handler = void (Reader::*)(const Call&);

// The settings a format without fields tells in its warning, in bytes, past
// which the rest are counted.
constexpr size_t MaxSettingsTold = 240;

}  // namespace

Reader::Reader(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen)
    : b_(bytes), dpi_(dpi), each_(each), seen_(seen) {
  job_.Kind = Language::Zpl;
}

Job Reader::Read() {
  Run(b_, 0);
  if (label_.Built) throw MalformedJob(label_.At, "the label begun here never ends (^XZ missing: the job is cut)");
  return std::move(job_);
}

// Reads `text` (the job, or a stored format replayed at `base`).
void Reader::Run(std::string_view text, size_t base) {
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
      if (!label_.Built && p + 1 >= b_.size()) break;
      throw MalformedJob(base_ + p, "the job is cut in the middle of a command");
    }
    i = Step(p);
  }
  b_ = saved;
}

size_t Reader::NextPrefix(size_t from) const {
  for (size_t k = from; k < b_.size(); ++k)
    if (b_[k] == printer_.Caret || b_[k] == printer_.Tilde) return k;
  return std::string_view::npos;
}

// One command at p; returns where the next begins. The commands whose
// parameters are not simply the text to the next command are read here, as
// their syntax in the table says.
size_t Reader::Step(size_t p) {
  const char prefix = b_[p];
  const size_t at = base_ + p;
  std::string name{static_cast<char>(std::toupper(static_cast<unsigned char>(b_[p + 1]))),
                   static_cast<char>(std::toupper(static_cast<unsigned char>(b_[p + 2])))};
  const Command* command = Find(name[0], name[1]);
  const Syntax syntax =
      command != nullptr && command->Allows(prefix, printer_.Caret, printer_.Tilde) ? command->Parsing : Syntax::Params;
  if (seen_) Tell(p, at);
  switch (syntax) {
    case Syntax::FontName: {
      size_t end = ParamsEnd(p + 2);
      FontCommand(at, b_[p + 2], b_.substr(p + 3, end - p - 3));
      return end;
    }
    case Syntax::FieldData: {
      size_t end = FieldDataEnd(p + 3);
      field_.Data = std::string(b_.substr(p + 3, end - p - 3));
      field_.HaveData = true;
      Begin(at);
      return end;
    }
    case Syntax::Comment: return ParamsEnd(p + 3);
    case Syntax::NewCharacter: {
      // The new character is the one byte after the command.
      const char c = p + 3 < b_.size() ? b_[p + 3] : '\0';
      if (c != '\0' && c != '\r' && c != '\n' && c != ' ')
        (command == &CC ? printer_.Caret : command == &CT ? printer_.Tilde : printer_.Delimiter) = c;
      return std::min(b_.size(), p + 4);
    }
    case Syntax::Graphic: return Graphic(p, at);
    case Syntax::Download: return Download(p, at, name);
    case Syntax::StoredFormat: {
      size_t end = ParamsEnd(p + 3);
      StoreFormat(b_.substr(p + 3, end - p - 3), end);
      // The rest of the label is the format: stored, not printed now.
      size_t close = FindCommand(end, "XZ");
      if (close == std::string_view::npos) throw MalformedJob(at, "stored format begun here never ends (^XZ missing)");
      if (seen_) {
        // Its commands are told as the printer will run them when it is recalled.
        const std::function<void(Label &&)> drop = [](Label&&) {};
        Reader format(b_.substr(end, close - end), dpi_, drop, seen_);
        format.printer_.Caret = printer_.Caret, format.printer_.Tilde = printer_.Tilde,
        format.printer_.Delimiter = printer_.Delimiter;
        format.Run(format.b_, base_ + end);
      }
      return close;
    }
    case Syntax::Params: break;
  }
  size_t end = ParamsEnd(p + 3);
  Dispatch(prefix, name, at, b_.substr(p + 3, end - p - 3));
  return end;
}

// Tells the observer of the command at p, with the standard prefixes.
void Reader::Tell(size_t p, size_t at) {
  const size_t end = std::min(ParamsEnd(p + 1), p + 48);
  std::string text(b_.substr(p, end - p));
  text[0] = b_[p] == printer_.Caret ? '^' : '~';
  seen_(text, at);
}

size_t Reader::ParamsEnd(size_t from) const {
  size_t end = NextPrefix(from);
  return end == std::string_view::npos ? b_.size() : end;
}

// Where the format command `name` next begins, from `from`.
size_t Reader::FindCommand(size_t from, const char* name) const {
  for (size_t k = NextPrefix(from); k != std::string_view::npos && k + 2 < b_.size(); k = NextPrefix(k + 1))
    if (b_[k] == printer_.Caret && std::toupper(static_cast<unsigned char>(b_[k + 1])) == name[0] &&
        std::toupper(static_cast<unsigned char>(b_[k + 2])) == name[1])
      return k;
  return std::string_view::npos;
}

// Whether a tilde at k starts a control command (else it is field data).
bool Reader::KnownControl(size_t k) const {
  if (k + 2 >= b_.size()) return false;
  const Command* command = Find(static_cast<char>(std::toupper(static_cast<unsigned char>(b_[k + 1]))),
                                static_cast<char>(std::toupper(static_cast<unsigned char>(b_[k + 2]))));
  return command != nullptr && command != &A && command->IsControl();
}

size_t Reader::FieldDataEnd(size_t from) const {
  const bool multibyte = printer_.CharacterSet == 26 && printer_.Table.find("GB18030") != std::string::npos;
  size_t i = from;
  while (i < b_.size()) {
    auto c = static_cast<unsigned char>(b_[i]);
    if (c == static_cast<unsigned char>(printer_.Caret)) return i;
    // A tilde that starts no control command is data.
    if (c == static_cast<unsigned char>(printer_.Tilde) && KnownControl(i)) return i;
    if (multibyte && c >= 0x81 && c <= 0xFE && i + 1 < b_.size()) {
      auto d = static_cast<unsigned char>(b_[i + 1]);
      i += (d >= 0x30 && d <= 0x39) ? 4 : 2;
      continue;
    }
    ++i;
  }
  return std::min(i, b_.size());
}

void Reader::CheckJunk(size_t from, size_t to, bool& warned) {
  if (warned || label_.Built) return;
  for (size_t k = from; k < to; ++k) {
    auto c = static_cast<unsigned char>(b_[k]);
    if (std::isspace(c) || c == 0xEF || c == 0xBB || c == 0xBF || c == 0) continue;  // a byte-order mark too
    Warn(base_ + k, "bytes outside any command; ignored");
    warned = true;
    return;
  }
}

// Inside a recalled format the place to tell is the ^XF that recalled it.
void Reader::Warn(size_t offset, std::string text) {
  job_.Warnings.push_back({replaying_ ? label_.RecallAt : offset, detail::Shortened(std::move(text))});
}

Reader::Args Reader::Split(std::string_view params) const { return detail::Split(params, printer_.Delimiter); }

// Whole-number parameters as the printer reads them. Label software writes
// positions and sizes with decimals (^FO18.64,81.5, ^GB743.07,1102.62,1.76):
// the guide gives these parameters in whole dots and says nothing of a
// fraction, and the printer reads the digits before the point.
std::optional<long> Reader::Arg(const Args& args, size_t k) {
  if (k >= args.size()) return std::nullopt;
  if (auto whole = Whole(args[k])) return whole;
  std::string_view t = detail::Trim(args[k]);
  const size_t point = t.find('.');
  if (point == std::string_view::npos || point + 1 > t.size()) return std::nullopt;
  const std::string_view fraction = t.substr(point + 1);
  if (!std::all_of(fraction.begin(), fraction.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  const std::string_view integer = t.substr(0, point);
  if (integer.empty() || integer == "+" || integer == "-")
    return fraction.empty() ? std::nullopt : std::optional<long>(0);
  return Whole(integer);
}

std::optional<double> Reader::Real(const Args& args, size_t k) {
  return k < args.size() ? detail::Decimal(args[k]) : std::nullopt;
}

char Reader::Letter(const Args& args, size_t k, char fallback) {
  if (k >= args.size()) return fallback;
  auto t = detail::Trim(args[k]);
  return t.empty() ? fallback : static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
}

std::string Reader::Text(const Args& args, size_t k) {
  return k < args.size() ? std::string(detail::Trim(args[k])) : std::string();
}

int Reader::Clamp(long v, long lo, long hi) { return static_cast<int>(std::clamp(v, lo, hi)); }

void Reader::Begin(size_t at) {
  if (!field_.Open) {
    field_.Open = true;
    field_.At = at;
  }
}

void Reader::Note(std::string text) {
  if (label_.Built)
    label_.Built->Notes.push_back(std::move(text));
  else
    pendingNotes_.push_back(std::move(text));
}

// A command of plain parameters: the label's start and end, a setting
// (told, whatever its prefix), or, inside a label, the format command's
// handler.
void Reader::Dispatch(char prefix, const std::string& name, size_t at, std::string_view params) {
  static const std::unordered_map<const Command*, Handler> handlers = {
      {&PW, &Reader::PrintWidth},       {&LL, &Reader::LabelLength},    {&LH, &Reader::LabelHome},
      {&LS, &Reader::LabelShift},       {&LT, &Reader::LabelTop},       {&LR, &Reader::LabelReverse},
      {&PO, &Reader::PrintOrientation}, {&PM, &Reader::PrintMirror},    {&PQ, &Reader::PrintQuantity},
      {&CI, &Reader::CharacterSet},     {&SE, &Reader::EncodingTable},  {&CF, &Reader::DefaultFont},
      {&CW, &Reader::FontAlias},        {&FW, &Reader::FieldRotation},  {&FO, &Reader::FieldOrigin},
      {&FT, &Reader::FieldOrigin},      {&FH, &Reader::FieldHex},       {&FR, &Reader::FieldReverse},
      {&FB, &Reader::FieldBlock},       {&FP, &Reader::FieldParameter}, {&FN, &Reader::FieldNumber},
      {&SN, &Reader::SerialData},       {&SF, &Reader::SerialMask},     {&FS, &Reader::FieldSeparator},
      {&XF, &Reader::RecallFormat},     {&XG, &Reader::RecallGraphic},  {&IM, &Reader::ImageMove},
      {&IL, &Reader::ImageLoad},        {&IS, &Reader::ImageSave},      {&ID, &Reader::ObjectDelete},
      {&GB, &Reader::ShapeCommand},     {&GC, &Reader::ShapeCommand},   {&GE, &Reader::ShapeCommand},
      {&GD, &Reader::ShapeCommand},     {&GS, &Reader::GraphicSymbol},  {&BY, &Reader::BarDefaults},
      {&RF, &Reader::RfidField},        {&TB, &Reader::TextBlock},
  };
  const std::string shown = std::string(1, prefix == printer_.Caret ? '^' : '~') + name;
  const bool format = prefix == printer_.Caret;
  const Command* command = Find(name[0], name[1]);
  if (format && command == &XA) {
    if (label_.Built)
      Warn(at, "^XA inside a label; the label goes on");
    else
      Start(at);
    return;
  }
  if (format && command == &XZ) return Finish(at);
  if (command != nullptr && command->Effect == Role::Setting) {
    if (command == &RS) TagSetup(at, params);
    if (command == &HV) HostVerify(at, params);
    std::string value(detail::Trim(params));
    if (value.size() > 40) value = value.substr(0, 40) + "...";
    return Note(std::string(command->Title) + " (" + shown + value + "): not in the picture");
  }
  if (!label_.Built)
    return Warn(at, format ? shown + " outside a label; ignored" : "unknown command " + shown + "; ignored");
  Handler handler = nullptr;
  if (format && command != nullptr)
    if (auto h = handlers.find(command); h != handlers.end()) handler = h->second;
  // Every other ^B is a barcode, the guide's or one it does not have, which
  // the barcode reader tells as unknown once it has dropped the last one's mode.
  if (format && handler == nullptr && name[0] == 'B') handler = &Reader::Barcode;
  if (handler == nullptr) return Warn(at, "unknown command " + shown + "; ignored");
  (this->*handler)(Call{command, shown, at, params, Split(params)});
}

// --- label set-up -----------------------------------------------------------

void Reader::PrintWidth(const Call& c) {
  auto w = Arg(c.Args, 0);
  if (!w || *w < 1 || *w > MaxLabelSide)
    return Warn(c.At, "^PW needs a width of 1.." + std::to_string(MaxLabelSide) + " dots; ignored");
  printer_.PrintWidth = static_cast<int>(*w);
}

void Reader::LabelLength(const Call& c) {
  auto l = Arg(c.Args, 0);
  if (!l || *l < 1 || *l > MaxLabelSide)
    return Warn(c.At, "^LL needs a length of 1.." + std::to_string(MaxLabelSide) + " dots; ignored");
  printer_.LabelLength = static_cast<int>(*l);
}

void Reader::LabelHome(const Call& c) {
  printer_.HomeX = Clamp(Arg(c.Args, 0).value_or(printer_.HomeX), 0, MaxLabelSide);
  printer_.HomeY = Clamp(Arg(c.Args, 1).value_or(printer_.HomeY), 0, MaxLabelSide);
}

void Reader::LabelShift(const Call& c) { printer_.Shift = Clamp(Arg(c.Args, 0).value_or(0), -9999, 9999); }

void Reader::LabelTop(const Call& c) { printer_.Top = Clamp(Arg(c.Args, 0).value_or(0), -120, 120); }

void Reader::LabelReverse(const Call& c) { printer_.ReverseAll = Letter(c.Args, 0, 'N') == 'Y'; }

void Reader::PrintOrientation(const Call& c) {
  char o = Letter(c.Args, 0, 'N');
  printer_.Turn = o == 'I' ? 180 : 0;
  Note(o == 'I' ? "printed inverted (^POI): the picture is turned 180 degrees" : "printed in normal orientation");
}

void Reader::PrintMirror(const Call& c) {
  printer_.Mirror = Letter(c.Args, 0, 'N') == 'Y';
  if (printer_.Mirror) Note("printed mirrored (^PMY): the picture is mirrored left to right");
}

void Reader::PrintQuantity(const Call& c) {
  auto q = Arg(c.Args, 0);
  label_.Built->Copies = q && *q >= 1 ? std::to_string(*q) : "1";
  label_.Copies = q && *q >= 1 ? *q : 1;
}

void Reader::CharacterSet(const Call& c) {
  printer_.CharacterSet = Clamp(Arg(c.Args, 0).value_or(0), 0, 36);
  printer_.Remap.clear();
  // "This command allows character remapping when parameter a = 0-13."
  for (size_t k = 1; printer_.CharacterSet <= 13 && k + 1 < c.Args.size(); k += 2) {
    auto s = Arg(c.Args, k), d = Arg(c.Args, k + 1);
    // The character at s prints when d is sent (^CI0,21,36: the euro for $).
    if (s && d && *s >= 0 && *s < 256 && *d >= 0 && *d < 256)
      printer_.Remap[static_cast<unsigned char>(*d)] = static_cast<char>(*s);
  }
}

void Reader::EncodingTable(const Call& c) {
  printer_.Table = std::string(detail::Trim(c.Params));
  Note("encoding table " + printer_.Table);
}

// --- label start and end ----------------------------------------------------

void Reader::Start(size_t at) {
  // A label afresh, but for what the last label left: one that printed
  // nothing may leave its numbered data, its recalled format and its ^IS
  // name; a ^DF read between labels makes this one store only.
  label_ = {.Built = Label(),
            .At = at,
            .CarriedNotes = pendingNotes_.size(),
            .Numbered = std::move(label_.Numbered),
            .StoringOnly = label_.StoringOnly,
            .RecallName = std::move(label_.RecallName),
            .RecallAt = label_.RecallAt,
            .StoreImageAs = std::move(label_.StoreImageAs)};
  for (auto& n : pendingNotes_) label_.Built->Notes.push_back(std::move(n));
  pendingNotes_.clear();
  label_.Built->TagFailures = printer_.TagFailures;
  field_ = {};
}

// ^RSt,p,v,n,e,...: the labels a tag that cannot be written is tried on
// (n, 1-10) and what follows (e: N, P or E), and the rows of VOID printed
// (v); kept by the printer for the labels after it. A value out of the
// guide's range leaves that setting as it was.
void Reader::TagSetup(size_t at, std::string_view params) {
  const Args args = Split(params);
  TagRules& rules = printer_.TagFailures;
  if (auto v = Arg(args, 2)) {
    if (*v >= 0 && *v <= MaxLabelSide)
      rules.VoidLength = static_cast<int>(*v);
    else
      Warn(at, "^RS length of the VOID printout " + std::to_string(*v) + " is out of range; kept");
  }
  if (auto n = Arg(args, 3)) {
    if (*n >= 1 && *n <= 10)
      rules.Tries = static_cast<int>(*n);
    else
      Warn(at, "^RS labels to try " + std::to_string(*n) + " is not 1-10; kept");
  }
  if (args.size() > 4 && !detail::Trim(args[4]).empty()) {
    const std::string_view e = detail::Trim(args[4]);
    if (e == "N" || e == "P" || e == "E")
      rules.OnFailure = e[0];
    else
      Warn(at, "^RS error handling '" + std::string(e) + "' is not N, P or E; kept");
  }
  if (label_.Built) label_.Built->TagFailures = rules;
}

void Reader::Finish(size_t at) {
  if (!label_.Built) return Warn(at, "^XZ without ^XA; ignored");
  if (field_.Open) {
    if (field_.HaveData || field_.Kind != FieldKind::Text)
      Warn(field_.At, "field not closed by ^FS before ^XZ; drawn as if it were");
    EndField();
  }
  if (label_.StoringOnly) {
    // The label that stores a format prints nothing.
    label_.StoringOnly = false;
    label_.Built.reset();
    return;
  }
  if (!label_.RecallName.empty()) ReplayRecalledFormat();
  if (label_.Built->Fields.empty() && !label_.FieldsSeen) {
    // A format of settings alone (^MN, ^JUS, ~TA, ...) prints no label on
    // the printer; its own settings are told (not those of the formats
    // before it, which their own warnings told), and kept for the next
    // label's notes.
    std::string settings;
    const size_t own = label_.Built->Notes.size() - std::min(label_.CarriedNotes, label_.Built->Notes.size());
    for (size_t k = label_.Built->Notes.size() - own; k < label_.Built->Notes.size(); ++k) {
      if (settings.size() > MaxSettingsTold) {
        settings += "; and " + std::to_string(label_.Built->Notes.size() - k) + " more";
        break;
      }
      settings += (settings.empty() ? "" : "; ") + label_.Built->Notes[k];
    }
    Warn(label_.At, "a format without fields prints no label" + (settings.empty() ? "" : " (" + settings + ")"));
    pendingNotes_.insert(pendingNotes_.end(), label_.Built->Notes.begin(), label_.Built->Notes.end());
    label_.Built.reset();
    label_.Numbered.clear();
    return;
  }
  label_.Built->Width = printer_.PrintWidth;
  label_.Built->Height = printer_.LabelLength;
  label_.Built->Turn = printer_.Turn;
  label_.Built->Mirror = printer_.Mirror;
  if (!label_.StoreImageAs.empty()) {
    if (StoredDotsBut(label_.StoreImageAs) + detail::RasterDots(label_.Built->Fields) <= Bounds::StoredDots)
      printer_.Images[label_.StoreImageAs] = label_.Built->Fields;
    else
      Warn(at, "^IS " + label_.StoreImageAs + " would take the job's stored graphics past " +
                   std::to_string(Bounds::StoredDots) + " dots; not stored");
    label_.StoreImageAs.clear();
  }
  EmitCopies();
  label_.Built.reset();
  label_.Numbered.clear();
}

// Now that this label has given its numbered data, the format's fields take it.
void Reader::ReplayRecalledFormat() {
  const std::string name = label_.RecallName;
  label_.RecallName.clear();
  auto found = printer_.Formats.find(name);
  recallFill_ = true;
  const size_t savedBase = base_;
  const std::string_view savedBytes = b_;
  field_ = {};
  const std::string stored = found->second;
  replaying_ = true;
  try {
    Run(stored, 0);
  } catch (const MalformedJob& e) {
    throw MalformedJob(label_.RecallAt, std::string("in the format recalled here: ") + e.what());
  }
  replaying_ = false;
  base_ = savedBase;
  b_ = savedBytes;
  recallFill_ = false;
  if (field_.Open) EndField();
  field_ = {};
}

// The label, or with serialised fields one picture a copy (at most 100),
// their values counting up.
void Reader::EmitCopies() {
  if (label_.Serials.empty()) return Emit(std::move(*label_.Built));
  const long copies = std::min<long>(label_.Copies, 100);
  if (label_.Copies > copies)
    label_.Built->Notes.push_back("serialised over " + std::to_string(label_.Copies) + " copies: the first 100 drawn");
  label_.Built->Copies = "1";
  for (long k = 0; k < copies; ++k) {
    Label copy = *label_.Built;
    for (const auto& s : label_.Serials) {
      if (s.Index >= copy.Fields.size()) continue;
      std::string value = Serial(s, k);
      if (auto* t = std::get_if<TextField>(&copy.Fields[s.Index]))
        t->Utf8 = value;
      else if (auto* y = std::get_if<BarcodeField>(&copy.Fields[s.Index]))
        y->Data = value;
    }
    Emit(std::move(copy));
  }
  label_.Serials.clear();
}

void Reader::Emit(Label&& label) {
  if (each_)
    each_(std::move(label));
  else
    job_.Labels.push_back(std::move(label));
}

// --- stored formats -----------------------------------------------------------

void Reader::StoreFormat(std::string_view params, size_t from) {
  size_t close = FindCommand(from, "XZ");
  if (close == std::string_view::npos) return;
  printer_.Formats[ObjectName(params, ".ZPL")] = std::string(b_.substr(from, close - from));
  pendingNotes_.push_back("format " + ObjectName(params, ".ZPL") + " stored (^DF)");
  label_.StoringOnly = true;
}

void Reader::RecallFormat(const Call& c) {
  auto found = printer_.Formats.find(ObjectName(c.Params, ".ZPL"));
  if (found == printer_.Formats.end())
    return Warn(c.At, "^XF of " + std::string(detail::Trim(c.Params)) + ": no such format stored; nothing drawn");
  // Drawn at ^XZ, once this label has given the data of its numbered fields.
  label_.RecallName = found->first;
  label_.RecallAt = c.At;
}

}  // namespace morvel::lang::zpl

namespace morvel::lang {

Job ParseZpl(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen) {
  return zpl::Reader(bytes, dpi, each, seen).Read();
}

}  // namespace morvel::lang

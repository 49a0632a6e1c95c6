// ZPL jobs read into labels: the commands the Zebra driver writes (label
// set-up, fields with scalable and downloaded fonts, boxes, Code 128, QR,
// RFID) and the common ones a host adds with SendCmd. Field data ends at
// the next command prefix, as on the printer; with a multibyte table
// (^CI26 + ^SE GB18030) two- and four-byte characters are stepped over whole
// so a trail byte that happens to be '^' does not end the field.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "preview/Label.h"

namespace morvel::preview {
namespace {

using detail::Split;
using detail::Whole;

enum class FieldKind { Text, Box, Code128, Qr, Rfid };

struct Font {
  char Name = 'A';
  int Rotation = 0;
  double Height = 9, Width = 5;
  std::string File;
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

class ZplReader {
 public:
  ZplReader(std::string_view bytes, int dpi) : b_(bytes), dpi_(dpi) { job_.Kind = Language::Zpl; }

  Job Read() {
    size_t i = 0;
    bool warnedJunk = false;
    while (i < b_.size()) {
      size_t p = NextPrefix(i);
      if (p == std::string_view::npos) {
        CheckJunk(i, b_.size(), warnedJunk);
        break;
      }
      CheckJunk(i, p, warnedJunk);
      if (p + 2 >= b_.size()) throw MalformedJob(p, "the job is cut in the middle of a command");
      char prefix = b_[p];
      std::string name{static_cast<char>(std::toupper(static_cast<unsigned char>(b_[p + 1]))),
                       static_cast<char>(std::toupper(static_cast<unsigned char>(b_[p + 2])))};
      if (name[0] == 'A' && prefix == '^') {  // ^Af: the font name is part of the command
        size_t end = NextPrefix(p + 3);
        Params(prefix, name, p, b_.substr(p + 3, (end == std::string_view::npos ? b_.size() : end) - p - 3));
        i = end == std::string_view::npos ? b_.size() : end;
        continue;
      }
      if (name == "FD" || name == "FV") {
        size_t end = FieldDataEnd(p + 3);
        data_ = std::string(b_.substr(p + 3, end - p - 3));
        haveData_ = true;
        i = end;
        continue;
      }
      size_t end = NextPrefix(p + 3);
      if (end == std::string_view::npos) end = b_.size();
      Command(prefix, name, p, b_.substr(p + 3, end - p - 3));
      i = end;
    }
    if (label_) throw MalformedJob(labelStart_, "the label begun here never ends (^XZ missing: the job is cut)");
    return std::move(job_);
  }

 private:
  size_t NextPrefix(size_t from) const {
    size_t at = b_.find_first_of("^~", from);
    return at;
  }

  size_t FieldDataEnd(size_t from) const {
    const bool multibyte = ci_ == 26 && table_.find("GB18030") != std::string::npos;
    size_t i = from;
    while (i < b_.size()) {
      auto c = static_cast<unsigned char>(b_[i]);
      if (c == '^' || c == '~') return i;
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
      if (!std::isspace(static_cast<unsigned char>(b_[k]))) {
        Warn(k, "bytes outside any command; ignored");
        warned = true;
        return;
      }
    }
  }

  void Warn(size_t offset, std::string text) { job_.Warnings.push_back({offset, std::move(text)}); }

  std::vector<std::string_view> Args(std::string_view params) const { return Split(params, ','); }

  static std::optional<long> Arg(const std::vector<std::string_view>& args, size_t k) {
    return k < args.size() ? Whole(args[k]) : std::nullopt;
  }
  static char Letter(const std::vector<std::string_view>& args, size_t k, char fallback) {
    if (k >= args.size()) return fallback;
    auto t = detail::Trim(args[k]);
    return t.empty() ? fallback : static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
  }

  void Params(char prefix, const std::string& name, size_t at, std::string_view params) {
    // ^Af o,h,w  and  ^A@o,h,w,d:name.ext
    if (!label_) {
      Warn(at, std::string("^A") + name[1] + " outside a label; ignored");
      return;
    }
    auto args = Args(params);
    Font font;
    font.Name = name[1];
    font.Rotation = RotationOf(Letter(args, 0, 'N'), 0);
    auto h = Arg(args, 1), w = Arg(args, 2);
    font.Height = h ? static_cast<double>(*h) : font_.Height;
    font.Width = w ? static_cast<double>(*w) : font.Height;
    if (name[1] == '@' && args.size() > 3) font.File = std::string(detail::Trim(args[3]));
    fieldFont_ = font;
    Begin(at);
  }

  void Begin(size_t at) {
    if (!fieldOpen_) {
      fieldOpen_ = true;
      fieldAt_ = at;
    }
  }

  void Command(char prefix, const std::string& name, size_t at, std::string_view params) {
    const std::string shown = prefix + name;
    if (name == "XA") {
      if (label_) Warn(at, "^XA inside a label; the label goes on");
      else Start(at);
      return;
    }
    if (name == "XZ") {
      if (!label_) {
        Warn(at, "^XZ without ^XA; ignored");
        return;
      }
      if (fieldOpen_) {
        Warn(fieldAt_, "field not closed by ^FS before ^XZ; drawn as if it were");
        EndField();
      }
      label_->Width = pw_;
      label_->Height = ll_;
      label_->Turn = turn_;
      job_.Labels.push_back(std::move(*label_));
      label_.reset();
      return;
    }
    if (name == "FX") return;  // comment
    if (!label_) {
      // Printer settings sent between formats (~SD, ~JA...) print nothing.
      if (prefix == '^' || (name != "SD" && name != "JA")) Warn(at, shown + " outside a label; ignored");
      return;
    }
    auto args = Args(params);
    if (name == "JM") return Note("dots per millimetre mode " + std::string(detail::Trim(params)));
    if (name == "PR") return Note("print speed " + std::string(detail::Trim(params)));
    if (name == "SD") return Note("darkness " + std::string(detail::Trim(params)));
    if (name == "PW") {
      auto w = Arg(args, 0);
      if (!w || *w < 1 || *w > MaxLabelSide) return Warn(at, "^PW needs a width of 1.." + std::to_string(MaxLabelSide) + " dots; ignored");
      pw_ = static_cast<int>(*w);
      return;
    }
    if (name == "LL") {
      auto l = Arg(args, 0);
      if (!l || *l < 1 || *l > MaxLabelSide) return Warn(at, "^LL needs a length of 1.." + std::to_string(MaxLabelSide) + " dots; ignored");
      ll_ = static_cast<int>(*l);
      return;
    }
    if (name == "LH") {
      lhX_ = static_cast<int>(Arg(args, 0).value_or(0));
      lhY_ = static_cast<int>(Arg(args, 1).value_or(0));
      return;
    }
    if (name == "PO") {
      char o = Letter(args, 0, 'N');
      turn_ = o == 'I' ? 180 : 0;
      Note(o == 'I' ? "printed inverted (^POI): the picture is turned 180 degrees" : "printed in normal orientation");
      return;
    }
    if (name == "PQ") {
      auto q = detail::Trim(args.empty() ? std::string_view() : args[0]);
      label_->Copies = q.empty() ? "1" : std::string(q);
      return;
    }
    if (name == "CI") {
      ci_ = static_cast<int>(Arg(args, 0).value_or(0));
      return;
    }
    if (name == "SE") {
      table_ = std::string(detail::Trim(params));
      return;
    }
    if (name == "CF") {
      if (!args.empty() && !detail::Trim(args[0]).empty()) font_.Name = detail::Trim(args[0])[0];
      if (auto h = Arg(args, 1)) font_.Height = static_cast<double>(*h);
      font_.Width = static_cast<double>(Arg(args, 2).value_or(static_cast<long>(font_.Height)));
      return;
    }
    if (name == "FO" || name == "FT") {
      if (name == "FT") Warn(at, "^FT placed like ^FO (top left, not baseline)");
      foX_ = static_cast<int>(Arg(args, 0).value_or(0));
      foY_ = static_cast<int>(Arg(args, 1).value_or(0));
      Begin(at);
      return;
    }
    if (name == "GB") {
      auto t = Arg(args, 2).value_or(1);
      box_ = FilledBox{0, 0, static_cast<int>(Arg(args, 0).value_or(t)), static_cast<int>(Arg(args, 1).value_or(t)),
                       static_cast<int>(t)};
      kind_ = FieldKind::Box;
      Begin(at);
      return;
    }
    if (name == "BY") {
      if (auto w = Arg(args, 0)) moduleWidth_ = static_cast<int>(*w);
      if (auto h = Arg(args, 2)) barHeight_ = static_cast<int>(*h);
      return;
    }
    if (name == "BC") {
      code_ = Code128Field{};
      code_.Rotation = RotationOf(Letter(args, 0, 'N'), 0);
      code_.BarHeight = static_cast<int>(Arg(args, 1).value_or(barHeight_));
      readable_ = Letter(args, 2, 'Y') == 'Y';
      kind_ = FieldKind::Code128;
      Begin(at);
      return;
    }
    if (name == "BQ") {
      qr_ = QrField{};
      qr_.Rotation = 0;
      qr_.Module = static_cast<int>(Arg(args, 2).value_or(dpi_ >= 300 ? 3 : 2));
      if (qr_.Module < 1 || qr_.Module > 100) {
        Warn(at, "^BQ magnification " + std::to_string(qr_.Module) + " out of range; 2 used");
        qr_.Module = 2;
      }
      kind_ = FieldKind::Qr;
      Begin(at);
      return;
    }
    if (name == "FS") {
      if (!fieldOpen_ && !haveData_) return Warn(at, "^FS without a field; ignored");
      return EndField();
    }
    if (name == "RS" || name == "RW" || name == "RR")
      return Note("RFID set-up " + shown + std::string(detail::Trim(params)));
    if (name == "RF") {
      rfid_ = std::string(detail::Trim(params));
      kind_ = FieldKind::Rfid;
      Begin(at);
      return;
    }
    Warn(at, "unknown command " + shown + "; ignored");
  }

  void Note(std::string text) {
    if (label_) label_->Notes.push_back(std::move(text));
  }

  void Start(size_t at) {
    label_ = Label();
    labelStart_ = at;
    ResetField();
  }

  void ResetField() {
    fieldOpen_ = false;
    haveData_ = false;
    data_.clear();
    kind_ = FieldKind::Text;
    fieldFont_.reset();
    foX_ = foY_ = 0;
  }

  std::string FieldText() const {
    if (ci_ == 28) return detail::ToUtf8Lenient(data_);
    if (ci_ == 26 && table_.find("GB18030") != std::string::npos) return detail::Decode(data_, "GB18030");
    return detail::Decode(data_, "CP1252");
  }

  void EndField() {
    const int x = lhX_ + foX_, y = lhY_ + foY_;
    switch (kind_) {
      case FieldKind::Box: {
        FilledBox box = box_;
        box.X = x;
        box.Y = y;
        box.Width = std::max(box.Width, box.Thickness);
        box.Height = std::max(box.Height, box.Thickness);
        label_->Fields.push_back(box);
        break;
      }
      case FieldKind::Code128: {
        Code128Field code = code_;
        code.X = x;
        code.Y = y;
        code.Module = std::clamp(moduleWidth_, 1, 10);
        code.TextHeight = readable_ ? std::max(10, 9 * code.Module) : 0;
        code.Data = data_;
        if (!haveData_) Warn(fieldAt_, "barcode field without ^FD; nothing drawn");
        else label_->Fields.push_back(code);
        break;
      }
      case FieldKind::Qr: {
        QrField qr = qr_;
        qr.X = x;
        qr.Y = y;
        // Field data: error correction letter, input mode letter, comma, data.
        std::string_view d = data_;
        if (d.size() >= 3 && d[2] == ',' && std::string_view("HQML").find(static_cast<char>(std::toupper(d[0]))) != std::string_view::npos) {
          qr.ErrorCorrection = static_cast<char>(std::toupper(d[0]));
          if (std::toupper(d[1]) != 'A') Warn(fieldAt_, "QR input mode other than automatic drawn as automatic");
          d.remove_prefix(3);
        } else {
          qr.ErrorCorrection = 'Q';
          Warn(fieldAt_, "QR field data without its 'QA,' switches; whole data encoded");
        }
        qr.Data = std::string(d);
        label_->Fields.push_back(qr);
        break;
      }
      case FieldKind::Rfid:
        Note("RFID ^RF" + rfid_ + " with data " + data_);
        break;
      case FieldKind::Text: {
        if (!haveData_ || data_.empty()) break;
        const Font& f = fieldFont_ ? *fieldFont_ : font_;
        TextField text;
        text.X = x;
        text.Y = y;
        text.Utf8 = FieldText();
        text.Height = f.Height;
        text.Width = f.Width;
        text.Rotation = f.Rotation;
        if (f.Name == '@') {
          text.Font = "WenQuanYi Micro Hei";  // stands in for the fonts downloaded to E:
        } else if (f.Name == '0') {
          text.Font = "DejaVu Sans";  // CG Triumvirate Bold Condensed
          text.Bold = true;
        } else {
          text.Font = "DejaVu Sans Mono";  // the bitmap fonts A..H
        }
        label_->Fields.push_back(text);
        break;
      }
    }
    ResetField();
  }

  std::string_view b_;
  int dpi_;
  Job job_;
  std::optional<Label> label_;
  size_t labelStart_ = 0;
  // Printer settings: they outlive a label, as on the printer.
  int pw_ = 0, ll_ = 0, lhX_ = 0, lhY_ = 0, turn_ = 0, ci_ = 0;
  std::string table_;
  Font font_;
  int moduleWidth_ = 2, barHeight_ = 10;
  // The field under construction.
  bool fieldOpen_ = false, haveData_ = false, readable_ = true;
  size_t fieldAt_ = 0;
  FieldKind kind_ = FieldKind::Text;
  std::optional<Font> fieldFont_;
  int foX_ = 0, foY_ = 0;
  FilledBox box_;
  Code128Field code_;
  QrField qr_;
  std::string data_, rfid_;
};

}  // namespace

Job ParseZpl(std::string_view bytes, int dpi) { return ZplReader(bytes, dpi).Read(); }

}  // namespace morvel::preview

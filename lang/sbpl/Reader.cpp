// SBPL jobs read into labels: the commands the SATO driver writes (base
// reference point, label size, speed, density, rotation, positions, outline
// and proportional fonts, lines, Code 128, QR, BMP graphics, quantity, EPC
// writing). A command runs from its ESC to the next ESC, except the two
// that carry a byte count (GM graphics, DN QR data), whose data may hold
// any byte, ESC included.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include <unordered_map>

#include "lang/Label.h"
#include "lang/sbpl/Commands.h"
#include "lang/sbpl/Raster.h"

namespace morvel::lang {
namespace {

using detail::Split;
using detail::Whole;

constexpr char Esc = 0x1B;

class SbplReader {
 public:
  SbplReader(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen)
      : b_(bytes), dpi_(dpi), each_(each), seen_(seen) {
    job_.Kind = Language::Sbpl;
  }

  Job Read() {
    size_t i = 0;
    while (i < b_.size()) {
      size_t p = b_.find(Esc, i);
      if (p == std::string_view::npos) p = b_.size();
      if (p > i && !Blank(i, p)) Warn(i, "bytes outside any command; ignored");
      if (p >= b_.size()) break;
      i = Step(p);
    }
    if (label_) throw MalformedJob(labelStart_, "the label begun here never ends (ESC Z missing: the job is cut)");
    return std::move(job_);
  }

 private:
  bool Blank(size_t from, size_t to) const {
    for (size_t k = from; k < to; ++k)
      if (!std::isspace(static_cast<unsigned char>(b_[k]))) return false;
    return true;
  }

  void Warn(size_t offset, std::string text) { job_.Warnings.push_back({offset, detail::Shortened(std::move(text))}); }

  size_t NextEsc(size_t from) const {
    size_t at = b_.find(Esc, from);
    return at == std::string_view::npos ? b_.size() : at;
  }

  // The command at ESC position p; returns where the next one starts.
  size_t Step(size_t p) {
    std::string_view rest = b_.substr(p + 1);
    if (seen_) seen_(rest.substr(0, std::min<size_t>(NextEsc(p + 1) - p - 1, 48)), p);
    const sbpl::Command* command = sbpl::Find(rest);
    if (command == nullptr) {
      std::string shown;
      for (size_t k = 0; k < rest.size() && k < 2 && rest[k] != Esc; ++k) shown += rest[k];
      if (rest.empty()) throw MalformedJob(p, "the job is cut in the middle of a command (ESC without a name)");
      if (shown.empty()) {
        Warn(p, "ESC without a command name; ignored");
        return p + 1;
      }
      Warn(p, "unknown command ESC " + shown + "; ignored");
      return NextEsc(p + 1);
    }
    const size_t paramsAt = p + 1 + command->Name.size();
    if (command == &sbpl::Graphic || command == &sbpl::PcxGraphic) return Graphic(*command, p, paramsAt);
    if (command == &sbpl::QrData) return QrData(p, paramsAt);
    const size_t end = NextEsc(paramsAt);
    Simple(*command, p, b_.substr(paramsAt, end - paramsAt));
    return end;
  }

  // ESC GM n,<n bytes>: a BMP file; ESC GP n,<n bytes>: a PCX file.
  size_t Graphic(const sbpl::Command& command, size_t p, size_t at) {
    const std::string name(command.Name);
    auto [count, data] = Counted(p, at, name.c_str());
    if (InLabel(p, "ESC " + name)) {
      std::string why;
      auto dots = &command == &sbpl::PcxGraphic ? sbpl::DecodePcx(b_.substr(data, count), &why)
                                                : detail::DecodePicture(b_.substr(data, count), &why);
      const long long area = dots ? static_cast<long long>(dots->Width()) * dots->Height() : 0;
      if (!dots) {
        Warn(p, "ESC " + name + " image left out: " + why);
      } else if (rasterDots_ + area > Bounds::LabelRasterDots) {
        Warn(p, "ESC " + name + " image would take the label's rasters past " +
                    std::to_string(Bounds::LabelRasterDots) + " dots; left out");
      } else {
        label_->Fields.push_back(GraphicField{X(), Y(), std::move(*dots)});
        rasterDots_ += area;
      }
    }
    return NextEsc(data + count);
  }

  // ESC DN n,<n bytes>: the data of the QR code set up by ESC 2D30.
  size_t QrData(size_t p, size_t at) {
    auto [count, data] = Counted(p, at, "DN");
    const size_t end = NextEsc(data + count);
    if (end > data + count && !Blank(data + count, end))
      Warn(data + count, std::to_string(end - data - count) + " bytes after the QR data's count; ignored");
    if (!InLabel(p, "ESC DN")) return end;
    if (!qr_) {
      Warn(p, "ESC DN without ESC 2D30 before it; ignored");
      return end;
    }
    BarcodeField qr = *qr_;
    qr.Data = std::string(b_.substr(data, count));
    label_->Fields.push_back(qr);
    qr_.reset();
    return end;
  }

  std::pair<size_t, size_t> Counted(size_t p, size_t at, const char* name) {
    size_t comma = b_.find(',', at);
    if (comma == std::string_view::npos || comma - at > 10)
      throw MalformedJob(p, std::string("ESC ") + name + " without its byte count and comma (the job is cut?)");
    auto count = Whole(b_.substr(at, comma - at));
    if (!count || *count < 0)
      throw MalformedJob(p, std::string("ESC ") + name + " byte count '" + std::string(b_.substr(at, comma - at)) +
                                "' is not a number");
    if (static_cast<size_t>(*count) > b_.size() - comma - 1)
      throw MalformedJob(p, std::string("ESC ") + name + " announces " + std::to_string(*count) +
                                " bytes, the job holds " + std::to_string(b_.size() - comma - 1) + " after it");
    return {static_cast<size_t>(*count), comma + 1};
  }

  bool InLabel(size_t p, const std::string& shown) {
    if (label_) return true;
    Warn(p, shown + " outside a label (before ESC A); ignored");
    return false;
  }

  // Signed numbers after the letters of "V+16H+8" and "V320H480".
  static std::optional<long> After(std::string_view params, char letter) {
    size_t at = params.find(letter);
    if (at == std::string_view::npos) return std::nullopt;
    size_t end = at + 1;
    if (end < params.size() && (params[end] == '+' || params[end] == '-')) ++end;
    while (end < params.size() && std::isdigit(static_cast<unsigned char>(params[end]))) ++end;
    return Whole(params.substr(at + 1, end - at - 1));
  }

  int X() const { return offsetH_ + h_; }
  int Y() const { return offsetV_ + v_; }

  // SBPL turns counter-clockwise; the model turns clockwise.
  int Clockwise() const { return (360 - rotation_ * 90) % 360; }

  using Handler = void (SbplReader::*)(const sbpl::Command&, size_t, std::string_view);

  // A command of plain parameters: ESC A starts a label, the others act
  // inside one, by the table's command.
  void Simple(const sbpl::Command& command, size_t p, std::string_view params) {
    static const std::unordered_map<const sbpl::Command*, Handler> handlers = {
        {&sbpl::End, &SbplReader::EndLabel},        {&sbpl::BaseReference, &SbplReader::BaseReference},
        {&sbpl::LabelSize, &SbplReader::LabelSize}, {&sbpl::Speed, &SbplReader::Setting},
        {&sbpl::Density, &SbplReader::Setting},     {&sbpl::Rfid, &SbplReader::Setting},
        {&sbpl::RfidReturn, &SbplReader::Setting},  {&sbpl::Pitch, &SbplReader::Pitch},
        {&sbpl::Quantity, &SbplReader::Quantity},   {&sbpl::Rotation, &SbplReader::Rotation},
        {&sbpl::Horizontal, &SbplReader::Position}, {&sbpl::Vertical, &SbplReader::Position},
        {&sbpl::OutlineFont, &SbplReader::Text},    {&sbpl::ProportionalFont, &SbplReader::Text},
        {&sbpl::Line, &SbplReader::Line},           {&sbpl::Code128, &SbplReader::Code128},
        {&sbpl::QrCode, &SbplReader::QrCode},
    };
    if (&command == &sbpl::Start) return StartLabel(p, params);
    if (!InLabel(p, "ESC " + std::string(command.Name))) return;
    if (auto h = handlers.find(&command); h != handlers.end()) (this->*h->second)(command, p, params);
  }

  void StartLabel(size_t p, std::string_view params) {
    if (label_) {
      Warn(p, "ESC A inside a label; the label goes on");
      return;
    }
    label_ = Label();
    labelStart_ = p;
    rasterDots_ = 0;
    h_ = v_ = rotation_ = 0;
    qr_.reset();
    if (!params.empty() && !Blank(p + 2, p + 2 + params.size())) Warn(p + 2, "bytes after ESC A; ignored");
  }

  void EndLabel(const sbpl::Command&, size_t p, std::string_view) {
    if (qr_) Warn(p, "QR code set up by ESC 2D30 without its ESC DN data; left out");
    label_->Width = width_;
    label_->Height = height_;
    if (each_)
      each_(std::move(*label_));
    else
      job_.Labels.push_back(std::move(*label_));
    label_.reset();
    rasterDots_ = 0;
  }

  void BaseReference(const sbpl::Command&, size_t, std::string_view params) {
    offsetV_ = static_cast<int>(After(params, 'V').value_or(0));
    offsetH_ = static_cast<int>(After(params, 'H').value_or(0));
  }

  void LabelSize(const sbpl::Command&, size_t p, std::string_view params) {
    auto v = After(params, 'V'), h = After(params, 'H');
    if (!v || !h || *v < 1 || *h < 1 || *v > MaxLabelSide || *h > MaxLabelSide)
      return Warn(p, "ESC A1 label size '" + std::string(params) + "' out of range; fitted to the fields");
    height_ = static_cast<int>(*v);
    width_ = static_cast<int>(*h);
  }

  // The settings that change nothing in the picture, told as notes.
  void Setting(const sbpl::Command& command, size_t at, std::string_view params) {
    if (&command == &sbpl::Rfid) {
      label_->Notes.push_back("RFID: ESC IP0" + std::string(params));
      return Tag(at, params);
    }
    label_->Notes.push_back(std::string(command.Title) + " " + std::string(params));
  }

  // ESC IP0 e:h,epc:DATA; writes DATA (e:h hexadecimal, e:a ASCII) into the
  // tag's EPC; what names no EPC data asks nothing of the tag here.
  void Tag(size_t at, std::string_view params) {
    TagOperation tag;
    tag.Offset = at;
    bool epc = false;
    for (std::string_view part : Split(params.substr(0, params.find(';')), ',')) {
      part = detail::Trim(part);
      if (part == "e:h" || part == "e:a") {
        tag.Format = part == "e:h" ? 'H' : 'A';
      } else if (part.starts_with("epc:")) {
        tag.Data = std::string(part.substr(4));
        epc = true;
      }
    }
    if (epc) label_->Tags.push_back(std::move(tag));
  }

  void Pitch(const sbpl::Command&, size_t, std::string_view) {}  // one line of text needs none

  void Quantity(const sbpl::Command&, size_t, std::string_view params) {
    label_->Copies = params.empty() ? "1" : std::string(params);
  }

  void Rotation(const sbpl::Command&, size_t p, std::string_view params) {
    auto r = Whole(params);
    if (!r || *r < 0 || *r > 3) return Warn(p, "ESC % rotation '" + std::string(params) + "' is not 0..3; ignored");
    rotation_ = static_cast<int>(*r);
  }

  void Position(const sbpl::Command& command, size_t p, std::string_view params) {
    auto v = Whole(params);
    if (!v || *v < 0 || *v > 99999)
      return Warn(
          p, "ESC " + std::string(command.Name) + " position '" + std::string(params) + "' is not a number; ignored");
    (&command == &sbpl::Horizontal ? h_ : v_) = static_cast<int>(*v);
  }

  // RG: five settings then the text; RD: three. The last two are the
  // character width and height in dots.
  void Text(const sbpl::Command& command, size_t p, std::string_view params) {
    const std::string n(command.Name);
    const size_t settings = &command == &sbpl::OutlineFont ? 5 : 3;
    auto parts = Split(params, ',', settings + 1);
    if (parts.size() < settings + 1) return Warn(p, "ESC " + n + " without its text; ignored");
    auto w = Whole(parts[settings - 2]), h = Whole(parts[settings - 1]);
    if (!w || !h || *h < 1 || *w < 1) return Warn(p, "ESC " + n + " character size is not a number; ignored");
    TextField text;
    text.X = X();
    text.Y = Y();
    text.Utf8 = detail::ToUtf8Lenient(parts[settings]);
    text.Look.Width = static_cast<double>(*w);
    text.Look.Height = static_cast<double>(*h);
    text.Look.Font = "DejaVu Sans";  // outline (RG) and CG (RD) fonts
    text.Look.Bold = &command == &sbpl::ProportionalFont;
    text.Rotation = Clockwise();
    label_->Fields.push_back(text);
  }

  // BG, two digits of narrow bar width, three of height, the data with its start code.
  void Code128(const sbpl::Command&, size_t p, std::string_view params) {
    if (params.size() < 5) return Warn(p, "ESC BG without bar width and height; ignored");
    auto module = Whole(params.substr(0, 2)), height = Whole(params.substr(2, 3));
    if (!module || !height || *module < 1) return Warn(p, "ESC BG bar width or height is not a number; ignored");
    std::string_view data = params.substr(5);
    if (data.size() >= 2 && data[0] == '>' && (data[1] == 'G' || data[1] == 'H' || data[1] == 'I'))
      data.remove_prefix(2);
    else
      Warn(p, "ESC BG data without a start code (>G, >H, >I); encoded as it is");
    BarcodeField code =
        detail::Code128(static_cast<int>(std::min(*module, 10L)), static_cast<int>(*height), 0, std::string(data));
    code.X = X();
    code.Y = Y();
    code.Rotation = Clockwise();
    label_->Fields.push_back(code);
  }

  // 2D30,ECC,cell size,mode,concatenation.
  void QrCode(const sbpl::Command&, size_t p, std::string_view params) {
    auto parts = Split(params, ',');
    if (parts.size() < 3 || detail::Trim(parts[1]).size() != 1)
      return Warn(p, "ESC 2D30 settings '" + std::string(params) + "' not understood; ignored");
    auto cell = detail::Decimal(parts[2]);
    char ecc = static_cast<char>(std::toupper(static_cast<unsigned char>(detail::Trim(parts[1])[0])));
    if (!cell || *cell < 1 || *cell > 99 || std::string_view("LMQH").find(ecc) == std::string_view::npos)
      return Warn(p, "ESC 2D30 settings '" + std::string(params) + "' out of range; ignored");
    BarcodeField qr = detail::QrCode(static_cast<int>(*cell), ecc, {});
    qr.X = X();
    qr.Y = Y();
    qr.Rotation = Clockwise();
    qr_ = qr;
  }

  // FW aa H bbbb, FW aa V bbbb (lines) and FW aa bb V cccc H dddd (a box).
  void Line(const sbpl::Command&, size_t p, std::string_view params) {
    auto bad = [&] { Warn(p, "ESC FW '" + std::string(params) + "' not understood; ignored"); };
    if (params.size() < 4) return bad();
    auto thick = Whole(params.substr(0, 2));
    if (!thick || *thick < 1) return bad();
    const int t = static_cast<int>(*thick);
    if (params[2] == 'H' || params[2] == 'V') {
      auto length = Whole(params.substr(3));
      if (!length || *length < 1 || *length > MaxLabelSide) return bad();
      const int l = static_cast<int>(*length);
      FilledBox bar{X(), Y(), params[2] == 'H' ? l : t, params[2] == 'H' ? t : l, t};
      label_->Fields.push_back(bar);
      return;
    }
    auto vertical = Whole(params.substr(2, 2));
    auto v = After(params, 'V'), h = After(params, 'H');
    if (!vertical || !v || !h || *v < 1 || *h < 1 || *v > MaxLabelSide || *h > MaxLabelSide) return bad();
    label_->Fields.push_back(
        FilledBox{X(), Y(), static_cast<int>(*h), static_cast<int>(*v), std::max(t, static_cast<int>(*vertical))});
  }

  std::string_view b_;
  int dpi_;
  const std::function<void(Label&&)>& each_;
  const CommandSeen& seen_;
  Job job_;
  std::optional<Label> label_;
  long long rasterDots_ = 0;  // of the label's rasters
  size_t labelStart_ = 0;
  int offsetH_ = 0, offsetV_ = 0, width_ = 0, height_ = 0;
  int h_ = 0, v_ = 0, rotation_ = 0;
  std::optional<BarcodeField> qr_;
};

}  // namespace

Job ParseSbpl(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen) {
  return SbplReader(bytes, dpi, each, seen).Read();
}

}  // namespace morvel::lang

// EPL2 jobs read into labels. Commands are one a line, ended by a line
// feed (CR before it allowed), their names case sensitive (the guide's
// "Basic Command Syntax"). GW carries raw bytes counted by its header, GM
// and ES counted or binary data, FS the lines of a form up to FE: those are
// read by their counts, never as lines. The printer keeps one image buffer:
// N clears it, and every P prints what it holds (the buffer stays for the
// next label until N, which is why each label starts with N).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <unordered_map>

#include "lang/epl/Commands.h"
#include "lang/epl/Reader.h"

namespace morvel::lang {
namespace {

using detail::Split;
using detail::Trim;
using detail::Whole;

// The resident fonts 1-5 (A, "p4 = Font selection"): character cell in dots
// and characters per inch at 203 and at 300 dpi; the pitch is dpi / cpi.
struct ResidentFont {
  int Width203, Height203;
  double Cpi203;
  int Width300, Height300;
  double Cpi300;
};
constexpr ResidentFont Resident[] = {
    {8, 12, 20.3, 12, 20, 25},    {10, 16, 16.9, 16, 28, 18.75}, {12, 20, 14.5, 20, 36, 15},
    {14, 24, 12.7, 24, 44, 12.5}, {32, 48, 5.6, 48, 80, 6.25},
};

// DejaVu Sans Mono advances 0.6 em a character: the em that gives a pitch.
constexpr double MonoAdvance = 0.602;

class EplReader {
 public:
  EplReader(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen)
      : b_(bytes), dpi_(dpi), each_(each), seen_(seen) {
    job_.Kind = Language::Epl;
  }

  Job Read() {
    size_t i = 0;
    while (i < b_.size()) {
      // Blank lines between commands are harmless; a line feed before N is
      // how hosts end a command a previous job left half-sent.
      if (b_[i] == '\r' || b_[i] == '\n' || b_[i] == ' ' || b_[i] == '\t') {
        ++i;
        continue;
      }
      const epl::Command* command = epl::At(b_.substr(i));
      if (seen_) seen_(b_.substr(i, std::min<size_t>(b_.find_first_of("\r\n", i) - i, 48)), i);
      const size_t from = i + (command != nullptr ? command->Name.size() : 0);
      if (command != nullptr && command->Parsing == epl::Syntax::Graphic) {
        i = Graphic(i, from);
        continue;
      }
      if (command != nullptr && command->Parsing == epl::Syntax::Counted) {
        i = StoredGraphic(i, from);
        continue;
      }
      if (command != nullptr && command->Parsing == epl::Syntax::Font) {
        i = SoftFont(i, from);
        continue;
      }
      const size_t lineEnd = b_.find('\n', i);
      if (lineEnd == std::string_view::npos)
        throw MalformedJob(i, "the job is cut in the middle of a command (its last line has no line end)");
      std::string_view params = b_.substr(from, lineEnd - from);
      if (!params.empty() && params.back() == '\r') params.remove_suffix(1);
      if (command != nullptr && command->Parsing == epl::Syntax::Form) {
        i = Form(i, lineEnd + 1, params);
        continue;
      }
      Line(command, i, params);
      i = lineEnd + 1;
    }
    if (drawnSince_) Warn(lastDrawn_, "fields drawn after the last P are never printed; no picture of them");
    return std::move(job_);
  }

 private:
  void Warn(size_t offset, std::string text) { job_.Warnings.push_back({offset, detail::Shortened(std::move(text))}); }

  static int Clamp(long v) { return static_cast<int>(std::clamp(v, -1000000L, 1000000L)); }
  int X(long v) const { return Clamp(v + refX_); }
  int Y(long v) const { return Clamp(v + refY_); }

  // The data bytes a header announces, within the job and within a label.
  void Need(size_t at, size_t from, size_t size, const char* name) {
    if (size > b_.size() - from)
      throw MalformedJob(at, std::string(name) + " announces " + std::to_string(size) +
                                 " bytes of data, the job holds " + std::to_string(b_.size() - from) + " after it");
  }

  size_t SkipLineEnd(size_t k) const {
    if (b_.substr(k, 2) == "\r\n") return k + 2;
    if (b_.substr(k, 1) == "\n") return k + 1;
    return k;
  }

  // GW p1,p2,p3,p4,DATA: the header ends at the comma after p4, or at a
  // line end (Zebra's note on GW allows either before the data).
  size_t Graphic(size_t at, size_t from) {
    size_t k = from;
    std::vector<std::string_view> f;
    while (f.size() < 4) {
      const size_t end = b_.find_first_of(f.size() < 3 ? "," : ",\r\n", k);
      if (end == std::string_view::npos || end - from > 60) throw MalformedJob(at, "GW header is cut or too long");
      f.push_back(Trim(b_.substr(k, end - k)));
      k = end + 1;
      if (f.size() == 4 && b_[end] != ',') k = SkipLineEnd(end);
    }
    auto x = Whole(f[0]), y = Whole(f[1]), rowBytes = Whole(f[2]), rows = Whole(f[3]);
    if (!x || !y || !rowBytes || !rows || *rowBytes < 0 || *rows < 0)
      throw MalformedJob(at, "GW header fields are not numbers");
    if (*rowBytes * 8 > MaxLabelSide || *rows > MaxLabelSide)
      throw MalformedJob(at, "GW of " + std::to_string(*rowBytes) + " bytes x " + std::to_string(*rows) +
                                 " rows is larger than a label");
    const size_t size = static_cast<size_t>(*rowBytes) * static_cast<size_t>(*rows);
    Need(at, k, size, "GW");
    if (size == 0 || !Afford(at, "GW", *rowBytes * 8 * *rows)) return SkipLineEnd(k + size);
    core::Bitmap dots(static_cast<int>(*rowBytes * 8), static_cast<int>(*rows));
    for (long r = 0; r < *rows; ++r)
      for (long c = 0; c < *rowBytes * 8; ++c) {
        const auto byte = static_cast<unsigned char>(b_[k + static_cast<size_t>(r * *rowBytes + c / 8)]);
        // GW: "a 1 = white dot and 0 = black dot", most significant bit leftmost.
        if (((byte >> (7 - c % 8)) & 1) == 0) dots.Set(static_cast<int>(c), static_cast<int>(r), true);
      }
    Add(at, GraphicField{X(*x), Y(*y), std::move(dots)});
    return SkipLineEnd(k + size);
  }

  // GM"name",p1 DATA: a PCX file of p1 bytes kept in the printer.
  size_t StoredGraphic(size_t at, size_t from) {
    const size_t end = b_.find_first_of("\r\n", from);
    if (end == std::string_view::npos || end - from > 120) throw MalformedJob(at, "GM header is cut or too long");
    const auto f = Split(b_.substr(from, end - from), ',');
    const auto size = f.size() == 2 ? Whole(f[1]) : std::nullopt;
    if (!size || *size < 0) throw MalformedJob(at, "GM needs a quoted name and a byte count");
    const size_t data = SkipLineEnd(end);
    Need(at, data, static_cast<size_t>(*size), "GM");
    Warn(at, "GM stores graphic " + std::string(Trim(f[0])) + " in the printer; stored graphics are not drawn");
    return SkipLineEnd(data + static_cast<size_t>(*size));
  }

  // ES"name"p1p2p3 then the characters (ES): p1 characters, p2 rotation
  // (02: both, each character twice), p3 height; each character a map
  // position, a spacing, a width c and p3 x c bytes of map, all binary.
  size_t SoftFont(size_t at, size_t from) {
    const size_t open = b_.find('"', from), close = open == from ? b_.find('"', open + 1) : std::string_view::npos;
    if (close == std::string_view::npos || close - from > 64) throw MalformedJob(at, "ES needs a quoted font name");
    size_t k = close + 1;
    Need(at, k, 3, "ES");
    auto byte = [&](size_t p) { return static_cast<size_t>(static_cast<unsigned char>(b_[p])); };
    const size_t characters = byte(k) * (byte(k + 1) == 2 ? 2 : 1), height = byte(k + 2);
    k += 3;
    for (size_t n = 0; n < characters; ++n) {
      Need(at, k, 3, "ES");
      const size_t map = height * byte(k + 2);
      Need(at, k + 3, map, "ES");
      k += 3 + map;
    }
    Warn(at, "ES stores a soft font in the printer; soft fonts are not drawn");
    return SkipLineEnd(k);
  }

  // FS"name", the form's lines, FE: kept by the printer, not drawn here.
  size_t Form(size_t at, size_t k, std::string_view params) {
    while (k < b_.size()) {
      const size_t lineEnd = b_.find('\n', k);
      if (lineEnd == std::string_view::npos) break;
      if (b_.substr(k, 2) == epl::FormEnd.Name) {
        Warn(at, "FS stores form " + std::string(params) + " in the printer; stored forms are not drawn");
        return lineEnd + 1;
      }
      k = lineEnd + 1;
    }
    throw MalformedJob(at, "FS form " + std::string(params) + " without its FE");
  }

  using Handler = void (EplReader::*)(size_t, std::string_view);

  void Line(const epl::Command* command, size_t at, std::string_view params) {
    static const std::unordered_map<const epl::Command*, Handler> handlers = {
        {&epl::Text, &EplReader::Text},
        {&epl::Barcode, &EplReader::Barcode},
        {&epl::Barcode2D, &EplReader::Barcode2D},
        {&epl::LineBlack, &EplReader::LineBlack},
        {&epl::LineWhite, &EplReader::LineWhite},
        {&epl::LineXor, &EplReader::LineXor},
        {&epl::LineDiagonal, &EplReader::Diagonal},
        {&epl::Box, &EplReader::Box},
        {&epl::Clear, &EplReader::Clear},
        {&epl::Print, &EplReader::Print},
        {&epl::LabelWidth, &EplReader::Width},
        {&epl::FormLength, &EplReader::Length},
        {&epl::Reference, &EplReader::Reference},
        {&epl::TopFirst, &EplReader::TopFirst},
        {&epl::BottomFirst, &EplReader::BottomFirst},
        {&epl::Speed, &EplReader::Speed},
        {&epl::Density, &EplReader::Density},
    };
    if (command == nullptr) {
      size_t end = 0;
      while (end < params.size() && end < 16 && std::isalpha(static_cast<unsigned char>(params[end]))) ++end;
      return Warn(at, "unknown command " + std::string(params.substr(0, std::max<size_t>(end, 1))) + "; ignored");
    }
    auto h = handlers.find(command);
    if (h != handlers.end()) return (this->*h->second)(at, params);
    if (command == &epl::PrintGraphic || command == &epl::RetrieveForm || command == &epl::PrintAutomatic)
      Warn(at, std::string(command->Name) + " (" + std::string(command->Title) +
                   ") uses what the printer keeps, which a job alone does not show; ignored");
  }

  // `count` numbers, the whole of each field; false after a warning.
  bool Numbers(size_t at, const char* name, std::string_view params, size_t count, std::vector<long>& out) {
    const auto fields = Split(params, ',');
    if (fields.size() < count) {
      Warn(at, std::string(name) + " needs " + std::to_string(count) + " parameters; ignored");
      return false;
    }
    for (size_t k = 0; k < count; ++k) {
      auto v = Whole(fields[k]);
      if (!v) {
        Warn(at, std::string(name) + " parameter " + std::to_string(k + 1) + " '" + std::string(fields[k]) +
                     "' is not a number; ignored");
        return false;
      }
      out.push_back(*v);
    }
    return true;
  }

  // "DATA" as the guide quotes it (a backslash makes the next byte literal);
  // a variable, counter, time or date field is drawn as its name.
  std::string Content(size_t at, std::string_view t) {
    t = Trim(t);
    if (t.empty() || t.front() != '"') {
      Warn(at,
           "field data " + detail::Quoted(t) + " is not quoted (a variable, counter, date or time); drawn as it is");
      return std::string(t);
    }
    std::string out;
    for (size_t k = 1; k < t.size(); ++k) {
      if (t[k] == '\\' && k + 1 < t.size()) {
        out += t[++k];
      } else if (t[k] == '"') {
        if (k + 1 != t.size()) Warn(at, "bytes after the closing quote of the data ignored");
        return out;
      } else {
        out += t[k];
      }
    }
    Warn(at, "data without its closing quote; taken to the line end");
    return out;
  }

  static int Turn(long quarter) { return quarter >= 1 && quarter <= 3 ? static_cast<int>(quarter) * 90 : 0; }

  // A p1,p2,p3,p4,p5,p6,p7,"DATA"
  void Text(size_t at, std::string_view params) {
    const auto f = Split(params, ',', 8);
    std::vector<long> v;
    if (f.size() < 8) return Warn(at, "A needs x,y,rotation,font,multipliers,N or R,\"DATA\"; ignored");
    if (!Numbers(at, "A", params, 3, v)) return;
    const std::string_view font = Trim(f[3]);
    auto wide = Whole(f[4]), high = Whole(f[5]);
    const std::string_view reverse = Trim(f[6]);
    if (!wide || !high || *wide < 1 || *wide > 8 || *wide == 7 || *high < 1 || *high > 9)
      return Warn(at, "A multipliers " + std::string(f[4]) + "," + std::string(f[5]) + " out of range; ignored");
    if (reverse != "N" && reverse != "R") return Warn(at, "A p7 '" + std::string(reverse) + "' is not N or R; ignored");
    if (font.size() != 1 || font[0] < '1' || font[0] > '5')
      return Warn(at, "A font '" + std::string(font) + "' is not a resident font 1-5; ignored");
    std::string data = Content(at, f[7]);
    if (data.size() > Bounds::TextBytes) {
      Warn(at, "A data of " + std::to_string(data.size()) + " bytes cut to " + std::to_string(Bounds::TextBytes));
      data.resize(Bounds::TextBytes);
    }
    const ResidentFont& r = Resident[font[0] - '1'];
    const bool fine = dpi_ >= 250;
    const double scale = fine ? dpi_ / 300.0 : dpi_ / 203.0;
    const double pitch = (fine ? 300 / r.Cpi300 : 203 / r.Cpi203) * scale * *wide;
    const double height = (fine ? r.Height300 : r.Height203) * scale * *high;
    textDots_ += static_cast<long long>(pitch * height) * static_cast<long long>(data.size());
    if (textDots_ > Bounds::LabelTextDots) return Warn(at, "A would take the label's text past its bound; left out");
    TextField text;
    text.X = X(v[0]);
    text.Y = Y(v[1]);
    text.Rotation = Turn(v[2]);
    text.Utf8 = detail::ToUtf8Lenient(data);
    text.Look.Font = "DejaVu Sans Mono";  // the printer's mono-spaced dot fonts
    text.Look.Height = std::min(height, 2000.0);
    text.Look.Width = std::min(pitch / MonoAdvance, 2000.0);
    text.Look.Bold = true;
    text.Reverse = reverse == "R";
    Add(at, text);
  }

  // B p1,p2,p3,p4,p5,p6,p7,p8,"DATA": Code 128 (p4 1, 1A, 1B, 1C) is drawn.
  void Barcode(size_t at, std::string_view params) {
    const auto f = Split(params, ',', 9);
    std::vector<long> v;
    if (f.size() < 9) return Warn(at, "B needs nine parameters; ignored");
    const std::vector<std::string_view> numbers{f[0], f[1], f[2], f[4], f[5], f[6]};
    for (std::string_view n : numbers)
      if (!Whole(n)) return Warn(at, "B parameter '" + std::string(n) + "' is not a number; ignored");
    for (std::string_view n : numbers) v.push_back(*Whole(n));
    const std::string_view type = Trim(f[3]);
    if (type != "1" && type != "1A" && type != "1B" && type != "1C")
      return Warn(at, "B bar code '" + std::string(type) + "' is not drawn by the preview; left out");
    const int module = static_cast<int>(std::clamp(v[3], 1L, 10L));
    BarcodeField code = detail::Code128(module, Clamp(std::clamp(v[5], 1L, static_cast<long>(MaxLabelSide))),
                                        Trim(f[7]) == "B" ? std::max(10, 9 * module) : 0, Content(at, f[8]));
    code.X = X(v[0]);
    code.Y = Y(v[1]);
    code.Rotation = Turn(v[2]);
    if (code.Data.size() > Bounds::TextBytes) return Warn(at, "B data is longer than a field may be; left out");
    Add(at, code);
  }

  // b p1,p2,Q,[m model][s scale][e level][i mode][D append]"DATA" (QR Code
  // specific options: each after its prefix, in any order, commas optional).
  void Barcode2D(size_t at, std::string_view params) {
    const size_t quote = params.find('"');
    const auto f = Split(params.substr(0, quote), ',', 4);
    std::vector<long> v;
    if (f.size() < 3 || quote == std::string_view::npos || !Numbers(at, "b", params, 2, v))
      return Warn(at, "b needs x,y,type and \"DATA\"; ignored");
    if (Trim(f[2]) != "Q") return Warn(at, "b symbol '" + std::string(Trim(f[2])) + "' is not drawn by the preview");
    char level = 'M';
    int scale = 3;
    bool manual = false;
    const std::string_view options = f.size() > 3 ? f[3] : std::string_view();
    for (size_t k = 0; k < options.size();) {
      const char prefix = options[k++];
      if (prefix == ',' || prefix == ' ') continue;
      size_t end = k;
      while (end < options.size() && std::isalnum(static_cast<unsigned char>(options[end])) &&
             (prefix == 'D' || std::isdigit(static_cast<unsigned char>(options[end])) || end == k))
        ++end;
      const std::string_view value = options.substr(k, end - k);
      k = end;
      if (prefix == 's') {
        const auto factor = Whole(value);
        if (!factor || *factor < 1 || *factor > 99)
          return Warn(at, "b QR scale factor '" + std::string(value) + "' is not 1-99");
        scale = static_cast<int>(*factor);
      } else if (prefix == 'e' && value.size() == 1 &&
                 std::string_view("LMQH").find(value[0]) != std::string_view::npos) {
        level = value[0];
      } else if (prefix == 'i' && (value == "A" || value == "M")) {
        manual = value == "M";
      } else if (prefix != 'm' && prefix != 'D') {
        return Warn(at, std::string("b QR option '") + prefix + std::string(value) + "' is not the guide's; ignored");
      }
    }
    BarcodeField qr = detail::QrCode(scale, level, Content(at, params.substr(quote)));
    qr.X = X(v[0]);
    qr.Y = Y(v[1]);
    // Manual data mode: the data's first character names its type (N, A, K, or
    // B with a four-digit count), not encoded.
    if (manual && !qr.Data.empty()) qr.Data.erase(0, qr.Data[0] == 'B' ? std::min<size_t>(5, qr.Data.size()) : 1);
    if (qr.Data.size() > 7089) return Warn(at, "b QR data is longer than a QR symbol holds; left out");
    Add(at, qr);
  }

  // LO, LW, LE p1,p2,p3,p4: x, y, horizontal and vertical length.
  bool Lengths(size_t at, const char* name, std::string_view params, Shape& s) {
    std::vector<long> v;
    if (!Numbers(at, name, params, 4, v)) return false;
    s.X = X(v[0]);
    s.Y = Y(v[1]);
    s.Width = Clamp(std::max(v[2], 0L));
    s.Height = Clamp(std::max(v[3], 0L));
    s.Thickness = std::max(s.Width, s.Height);
    return true;
  }
  void LineBlack(size_t at, std::string_view params) {
    Shape s;
    if (Lengths(at, "LO", params, s)) Add(at, FilledBox{s.X, s.Y, s.Width, s.Height, s.Thickness});
  }
  void LineWhite(size_t at, std::string_view params) {
    Shape s;
    s.White = true;
    if (Lengths(at, "LW", params, s)) Add(at, s);
  }
  void LineXor(size_t at, std::string_view params) {
    Shape s;
    s.Reverse = true;
    if (Lengths(at, "LE", params, s)) Add(at, s);
  }

  // LS p1,p2,p3,p4,p5: x, y, thickness, x and y where the line ends.
  void Diagonal(size_t at, std::string_view params) {
    std::vector<long> v;
    if (!Numbers(at, "LS", params, 5, v)) return;
    Shape s;
    s.What = Shape::Diagonal;
    s.X = X(std::min(v[0], v[3]));
    s.Y = Y(std::min(v[1], v[4]));
    s.Width = Clamp(std::abs(v[3] - v[0]));
    s.Height = Clamp(std::abs(v[4] - v[1]));
    s.Thickness = Clamp(std::max(v[2], 1L));
    s.LeansRight = (v[3] - v[0]) * (v[4] - v[1]) < 0;
    Add(at, s);
  }

  // X p1,p2,p3,p4,p5: x, y, line thickness, horizontal and vertical end.
  void Box(size_t at, std::string_view params) {
    std::vector<long> v;
    if (!Numbers(at, "X", params, 5, v)) return;
    Add(at, FilledBox{X(v[0]), Y(v[1]), Clamp(v[3] - v[0]), Clamp(v[4] - v[1]), Clamp(v[2])});
  }

  void Clear(size_t, std::string_view) {
    fields_.clear();
    rasterDots_ = 0;
    textDots_ = 0;
    drawnSince_ = false;
  }

  // P p1[,p2]: p1 label sets, p2 copies of each.
  void Print(size_t at, std::string_view params) {
    const auto f = Split(params, ',');
    const auto sets = Whole(f[0]);
    if (!sets || *sets < 1) return Warn(at, "P '" + std::string(params) + "' without a number of labels; ignored");
    Label label;
    label.Width = width_;
    label.Height = height_;
    label.Turn = turn_;
    label.Copies = std::to_string(*sets);
    if (f.size() > 1 && Whole(f[1]).value_or(1) > 1)
      label.Copies = std::to_string(*sets) + " sets of " + std::to_string(*Whole(f[1]));
    label.Fields = fields_;
    label.Notes = notes_;
    notes_.clear();
    if (each_)
      each_(std::move(label));
    else
      job_.Labels.push_back(std::move(label));
    drawnSince_ = false;
  }

  int Side(size_t at, const char* name, std::string_view text) {
    const auto v = Whole(text);
    if (!v || *v < 1 || *v > MaxLabelSide) {
      Warn(at, std::string(name) + " '" + std::string(text) + "' is not a size in dots a label may have; ignored");
      return 0;
    }
    return static_cast<int>(*v);
  }
  // q p1: the label width in dots.
  void Width(size_t at, std::string_view params) {
    if (int w = Side(at, "q", params)) width_ = w;
  }
  // Q p1,p2[,p3]: the form length in dots, the gap (or B and the black line), an offset.
  void Length(size_t at, std::string_view params) {
    if (int h = Side(at, "Q", Split(params, ',')[0])) height_ = h;
  }
  // R p1,p2: the reference point every later field is placed from.
  void Reference(size_t at, std::string_view params) {
    std::vector<long> v;
    if (!Numbers(at, "R", params, 2, v)) return;
    refX_ = std::clamp(v[0], 0L, static_cast<long>(MaxLabelSide));
    refY_ = std::clamp(v[1], 0L, static_cast<long>(MaxLabelSide));
  }
  // ZT prints the top of the image buffer first (the upright label), ZB the bottom.
  void TopFirst(size_t, std::string_view) { turn_ = 0; }
  void BottomFirst(size_t, std::string_view) { turn_ = 180; }
  void Speed(size_t, std::string_view params) { notes_.push_back("print speed " + std::string(params)); }
  void Density(size_t, std::string_view params) { notes_.push_back("print density " + std::string(params)); }

  // A raster joins the image buffer only while its rasters stay within their bound.
  bool Afford(size_t at, const char* what, long long dots) {
    if (rasterDots_ + dots <= Bounds::LabelRasterDots) {
      rasterDots_ += dots;
      return true;
    }
    Warn(at, std::string(what) + " would take the label's rasters past " + std::to_string(Bounds::LabelRasterDots) +
                 " dots; left out");
    return false;
  }

  void Add(size_t at, Field field) {
    fields_.push_back(std::move(field));
    drawnSince_ = true;
    lastDrawn_ = at;
  }

  std::string_view b_;
  int dpi_;
  const std::function<void(Label&&)>& each_;
  const CommandSeen& seen_;
  Job job_;
  std::vector<Field> fields_;
  long long rasterDots_ = 0, textDots_ = 0;  // of the fields in the buffer
  std::vector<std::string> notes_;
  int width_ = 0, height_ = 0, turn_ = 0;
  long refX_ = 0, refY_ = 0;
  bool drawnSince_ = false;  // fields added since the last P or N
  size_t lastDrawn_ = 0;
};

}  // namespace

Job ParseEpl(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen) {
  return EplReader(bytes, dpi, each, seen).Read();
}

}  // namespace morvel::lang

// Orx command-language jobs read into labels: the lines the Orx driver and
// orxlib write (SIZE, SPEED, DENSITY, GAP/BLINE, DIRECTION, CLS, TEXT, BAR,
// BOX, BARCODE, QRCODE, BITMAP, DOWNLOAD, PUTBMP, PRINT, FORMFEED, SET).
// Lines end in CR LF; BITMAP and DOWNLOAD carry raw bytes counted by their
// header, which may hold any byte, line ends included. The printer keeps
// one drawing buffer: CLS empties it, every PRINT prints what it holds.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include <unordered_map>

#include "lang/Label.h"
#include "lang/tspl/Commands.h"

namespace morvel::lang {
namespace {

using detail::Split;
using detail::Trim;
using detail::Whole;

struct BuiltInFont {
  const char* Name;
  int Width, Height;  // dots at 203 dpi, for a multiplier of 1
};
constexpr BuiltInFont BuiltIn[] = {{"1", 8, 12},  {"2", 12, 20}, {"3", 16, 24}, {"4", 24, 32},
                                   {"5", 32, 48}, {"6", 14, 19}, {"7", 21, 27}, {"8", 14, 25}};

class OrxReader {
 public:
  OrxReader(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen)
      : b_(bytes), dpi_(dpi), each_(each), seen_(seen) {
    job_.Kind = Language::Tspl;
  }

  Job Read() {
    size_t i = 0;
    while (i < b_.size()) {
      // Blank lines between commands are harmless.
      if (b_[i] == '\r' || b_[i] == '\n' || b_[i] == ' ' || b_[i] == '\t') {
        ++i;
        continue;
      }
      size_t wordEnd = i;
      while (wordEnd < b_.size() && std::isalpha(static_cast<unsigned char>(b_[wordEnd]))) ++wordEnd;
      std::string word;
      for (size_t k = i; k < wordEnd; ++k) word += static_cast<char>(std::toupper(static_cast<unsigned char>(b_[k])));
      const tspl::Command* command = tspl::Find(word);
      if (seen_) seen_(b_.substr(i, std::min<size_t>(b_.find_first_of("\r\n", i) - i, 48)), i);
      if (command == &tspl::Bitmap) {
        i = Bitmap(i, wordEnd);
        continue;
      }
      if (command == &tspl::Download) {
        i = Download(i, wordEnd);
        continue;
      }
      size_t lineEnd = b_.find('\n', i);
      if (lineEnd == std::string_view::npos)
        throw MalformedJob(i, "the job is cut in the middle of a command (its last line has no line end)");
      std::string_view params = b_.substr(wordEnd, lineEnd - wordEnd);
      if (!params.empty() && params.back() == '\r') params.remove_suffix(1);
      Line(command, word, i, Trim(params));
      i = lineEnd + 1;
    }
    if (drawnSince_) Warn(lastDrawn_, "fields drawn after the last PRINT are never printed; no picture of them");
    return std::move(job_);
  }

 private:
  void Warn(size_t offset, std::string text) { job_.Warnings.push_back({offset, detail::Shortened(std::move(text))}); }

  // The header fields of BITMAP / DOWNLOAD up to and including the comma
  // that ends the `count`-th field; returns the fields and where data begins.
  std::pair<std::vector<std::string_view>, size_t> Header(size_t at, size_t from, size_t count, const char* name) {
    std::vector<std::string_view> fields;
    size_t k = from;
    while (fields.size() < count) {
      size_t comma = b_.find(',', k);
      if (comma == std::string_view::npos || comma - from > 120)
        throw MalformedJob(at, std::string(name) + " header is cut or too long");
      fields.push_back(Trim(b_.substr(k, comma - k)));
      k = comma + 1;
    }
    return {fields, k};
  }

  size_t SkipLineEnd(size_t at, size_t k, const char* name) {
    if (b_.substr(k, 2) == "\r\n") return k + 2;
    if (b_.substr(k, 1) == "\n") return k + 1;
    if (k < b_.size()) Warn(k, std::string(name) + " data not followed by a line end");
    return k;
  }

  // BITMAP x,y,row bytes,rows,mode,<row bytes x rows bytes>: 0 bits print.
  size_t Bitmap(size_t at, size_t from) {
    auto [f, data] = Header(at, from, 5, "BITMAP");
    auto x = Whole(f[0]), y = Whole(f[1]), rowBytes = Whole(f[2]), rows = Whole(f[3]), mode = Whole(f[4]);
    if (!x || !y || !rowBytes || !rows || !mode || *rowBytes < 0 || *rows < 0)
      throw MalformedJob(at, "BITMAP header fields are not numbers");
    if (*rowBytes * 8 > MaxLabelSide || *rows > MaxLabelSide)
      throw MalformedJob(at, "BITMAP of " + std::to_string(*rowBytes) + " x " + std::to_string(*rows) +
                                 " bytes is larger than a label");
    const size_t size = static_cast<size_t>(*rowBytes) * static_cast<size_t>(*rows);
    if (size > b_.size() - data)
      throw MalformedJob(at, "BITMAP announces " + std::to_string(size) + " bytes of raster, the job holds " +
                                 std::to_string(b_.size() - data) + " after it");
    if (*mode != 1 && *mode != 0)
      Warn(at, "BITMAP mode " + std::to_string(*mode) + " drawn as mode 1 (black dots added)");
    if (!Afford(at, "BITMAP", *rowBytes * 8 * *rows)) return SkipLineEnd(at, data + size, "BITMAP");
    core::Bitmap dots(static_cast<int>(*rowBytes * 8), static_cast<int>(*rows));
    for (long r = 0; r < *rows; ++r)
      for (long c = 0; c < *rowBytes * 8; ++c) {
        auto byte = static_cast<unsigned char>(b_[data + static_cast<size_t>(r * *rowBytes + c / 8)]);
        if (((byte >> (7 - c % 8)) & 1) == 0) dots.Set(static_cast<int>(c), static_cast<int>(r), true);
      }
    Add(at, GraphicField{static_cast<int>(*x), static_cast<int>(*y), std::move(dots)});
    return SkipLineEnd(at, data + size, "BITMAP");
  }

  // DOWNLOAD "name",size,<size bytes>: a file kept in the printer.
  size_t Download(size_t at, size_t from) {
    auto [f, data] = Header(at, from, 2, "DOWNLOAD");
    auto size = Whole(f[1]);
    if (!size || *size < 0) throw MalformedJob(at, "DOWNLOAD size '" + std::string(f[1]) + "' is not a number");
    if (static_cast<size_t>(*size) > b_.size() - data)
      throw MalformedJob(at, "DOWNLOAD announces " + std::to_string(*size) + " bytes, the job holds " +
                                 std::to_string(b_.size() - data) + " after it");
    files_[Unquote(f[0])] = b_.substr(data, static_cast<size_t>(*size));
    return SkipLineEnd(at, data + static_cast<size_t>(*size), "DOWNLOAD");
  }

  static std::string Unquote(std::string_view t) {
    t = Trim(t);
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return std::string(t.substr(1, t.size() - 2));
    return std::string(t);
  }

  // The content field: quoted (up to the line's last quote; \["] within it
  // is a double quote, TSPL/TSPL2 Programming Manual, TEXT) or a printer
  // variable @name, which the preview cannot know.
  std::string Content(size_t at, std::string_view t) {
    t = Trim(t);
    if (!t.empty() && t.front() == '@') {
      Warn(at, "printer variable " + std::string(t) + " drawn as its name");
      return std::string(t);
    }
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') {
      std::string text(t.substr(1, t.size() - 2));
      for (size_t k = 0; (k = text.find("\\[\"]", k)) != std::string::npos; ++k) text.replace(k, 4, "\"");
      return text;
    }
    Warn(at, "content without its double quotes; taken as it is");
    return std::string(t);
  }

  // `count` numbers, the whole of each field; false after a warning.
  bool Numbers(size_t at, const std::string& word, const std::vector<std::string_view>& fields, size_t count,
               std::vector<long>& out) {
    if (fields.size() < count) {
      Warn(at, word + " needs " + std::to_string(count) + " fields; ignored");
      return false;
    }
    for (size_t k = 0; k < count; ++k) {
      auto v = Whole(fields[k]);
      if (!v) {
        Warn(at,
             word + " field " + std::to_string(k + 1) + " '" + std::string(fields[k]) + "' is not a number; ignored");
        return false;
      }
      out.push_back(*v);
    }
    return true;
  }

  static int Clamp(long v) { return static_cast<int>(std::clamp(v, -1000000L, 1000000L)); }
  static int Turn(long degrees) {
    return degrees == 90 || degrees == 180 || degrees == 270 ? static_cast<int>(degrees) : 0;
  }

  using Handler = void (OrxReader::*)(const std::string&, size_t, std::string_view);

  // One line of a command the table has, by its handler; the others are warned about.
  void Line(const tspl::Command* command, const std::string& word, size_t at, std::string_view params) {
    static const std::unordered_map<const tspl::Command*, Handler> handlers = {
        {&tspl::Size, &OrxReader::Size},         {&tspl::Gap, &OrxReader::Setting},
        {&tspl::BlackLine, &OrxReader::Setting}, {&tspl::Speed, &OrxReader::Setting},
        {&tspl::Density, &OrxReader::Setting},   {&tspl::Direction, &OrxReader::Direction},
        {&tspl::Clear, &OrxReader::Clear},       {&tspl::Print, &OrxReader::Print},
        {&tspl::FormFeed, &OrxReader::Setting},  {&tspl::Set, &OrxReader::Setting},
        {&tspl::Home, &OrxReader::Setting},      {&tspl::Bar, &OrxReader::Bar},
        {&tspl::Box, &OrxReader::Box},           {&tspl::Text, &OrxReader::Text},
        {&tspl::Barcode, &OrxReader::Barcode},   {&tspl::QrCode, &OrxReader::Qr},
        {&tspl::PutBmp, &OrxReader::PutBmp},
    };
    if (word.empty()) {
      Warn(at, "a line without a command word; ignored");
      return;
    }
    auto h = command != nullptr ? handlers.find(command) : handlers.end();
    if (h == handlers.end()) return Warn(at, "unknown command " + word + "; ignored");
    (this->*h->second)(word, at, params);
  }

  // Settings that change nothing in the picture, told as notes.
  void Setting(const std::string& word, size_t, std::string_view params) {
    if (word == "SPEED") return Note("print speed " + std::string(params));
    if (word == "DENSITY") return Note("print density " + std::string(params));
    Note(word + " " + std::string(params));
  }

  void Direction(const std::string&, size_t at, std::string_view params) {
    auto f = Split(params, ',');
    auto d = Whole(f[0]);
    if (!d || (*d != 0 && *d != 1)) return Warn(at, "DIRECTION '" + std::string(params) + "' is not 0 or 1; ignored");
    // DIRECTION 1 is the house's upright label; 0 leaves the printer turned.
    turn_ = *d == 1 ? 0 : 180;
    if (f.size() > 1 && Whole(f[1]).value_or(0) != 0) Warn(at, "mirrored printing is not shown");
  }

  void Clear(const std::string&, size_t, std::string_view) {
    fields_.clear();
    rasterDots_ = 0;
    drawnSince_ = false;
  }

  void Print(const std::string&, size_t at, std::string_view params) {
    auto f = Split(params, ',');
    auto sets = Whole(f[0]);
    if (!sets || *sets < 1) return Warn(at, "PRINT '" + std::string(params) + "' without a number of sets; ignored");
    Label label;
    label.Width = width_;
    label.Height = height_;
    label.Turn = turn_;
    label.Copies = f.size() > 1 ? std::string(Trim(f[1])) : "1";
    if (*sets > 1) label.Copies = std::to_string(*sets) + " sets of " + label.Copies;
    label.Fields = fields_;
    label.Notes = notes_;
    notes_.clear();
    if (each_)
      each_(std::move(label));
    else
      job_.Labels.push_back(std::move(label));
    drawnSince_ = false;
  }

  void Bar(const std::string& word, size_t at, std::string_view params) {
    std::vector<long> v;
    if (!Numbers(at, word, Split(params, ','), 4, v)) return;
    Add(at, FilledBox{Clamp(v[0]), Clamp(v[1]), Clamp(v[2]), Clamp(v[3]), Clamp(std::max(v[2], v[3]))});
  }

  void Box(const std::string& word, size_t at, std::string_view params) {
    std::vector<long> v;
    if (!Numbers(at, word, Split(params, ','), 5, v)) return;
    Add(at, FilledBox{Clamp(v[0]), Clamp(v[1]), Clamp(v[2] - v[0]), Clamp(v[3] - v[1]), Clamp(v[4])});
  }

  void PutBmp(const std::string& word, size_t at, std::string_view params) {
    auto f = Split(params, ',', 3);
    std::vector<long> v;
    if (f.size() < 3 || !Numbers(at, word, f, 2, v)) return Warn(at, "PUTBMP needs x,y,\"name\"; ignored");
    auto file = files_.find(Unquote(f[2]));
    if (file == files_.end())
      return Warn(at, "PUTBMP of " + std::string(f[2]) + ", which no DOWNLOAD in the job stored; left out");
    std::string why;
    auto dots = detail::DecodePicture(file->second, &why);
    if (!dots) return Warn(at, "PUTBMP image left out: " + why);
    if (!Afford(at, "PUTBMP", static_cast<long long>(dots->Width()) * dots->Height())) return;
    Add(at, GraphicField{Clamp(v[0]), Clamp(v[1]), std::move(*dots)});
  }

  void Note(std::string text) { notes_.push_back(std::move(text)); }

  // A raster joins the drawing buffer only while its rasters stay within their bound.
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

  // SIZE w mm,h mm (or inches without the unit).
  void Size(const std::string&, size_t at, std::string_view params) {
    auto f = Split(params, ',');
    if (f.size() != 2) return Warn(at, "SIZE needs a width and a height; ignored");
    int dots[2];
    for (int k = 0; k < 2; ++k) {
      std::string_view t = Trim(f[static_cast<size_t>(k)]);
      bool mm = t.size() > 2 && (t.substr(t.size() - 2) == "mm" || t.substr(t.size() - 2) == "MM");
      if (mm) t = Trim(t.substr(0, t.size() - 2));
      auto v = detail::Decimal(t);
      if (!v || *v <= 0) return Warn(at, "SIZE '" + std::string(params) + "' is not a size; ignored");
      dots[k] = mm ? detail::MmToDots(*v, dpi_) : static_cast<int>(std::lround(std::min(*v, 1e6) * dpi_));
      if (dots[k] < 1 || dots[k] > MaxLabelSide)
        return Warn(at, "SIZE '" + std::string(params) + "' out of range; ignored");
    }
    width_ = dots[0];
    height_ = dots[1];
  }

  void Text(const std::string&, size_t at, std::string_view params) {
    auto f = Split(params, ',', 7);
    std::vector<long> pos, rest;
    if (f.size() < 7 || !Numbers(at, "TEXT", f, 2, pos))
      return Warn(at, "TEXT needs x,y,\"font\",rotation,x-multiplier,y-multiplier,content; ignored");
    auto rotation = Whole(f[3]);
    auto xmul = detail::Decimal(f[4]), ymul = detail::Decimal(f[5]);
    if (!rotation || !xmul || !ymul || *xmul <= 0 || *ymul <= 0)
      return Warn(at, "TEXT rotation or multipliers are not numbers; ignored");
    const std::string font = Unquote(f[2]);
    TextField text;
    text.X = Clamp(pos[0]);
    text.Y = Clamp(pos[1]);
    text.Utf8 = detail::ToUtf8Lenient(Content(at, f[6]));
    text.Rotation = Turn(*rotation);
    const double scale = dpi_ / 203.0;
    const BuiltInFont* builtIn = nullptr;
    for (const auto& b : BuiltIn)
      if (font == b.Name) builtIn = &b;
    if (builtIn != nullptr) {
      text.Look.Font = "DejaVu Sans Mono";  // the printer's bitmap fonts 1..8
      text.Look.Height = builtIn->Height * scale * *ymul;
      text.Look.Width = builtIn->Width * scale * *xmul * 1.65;  // em widths: a monospaced cell is about 0.6 em
      text.Look.Bold = true;
    } else {
      // Scalable fonts take their multipliers in points.
      text.Look.Font = "DejaVu Sans";
      text.Look.Height = *ymul * dpi_ / 72.0;
      text.Look.Width = *xmul * dpi_ / 72.0;
    }
    text.Look.Height = std::min(text.Look.Height, 2000.0);
    text.Look.Width = std::min(text.Look.Width, 2000.0);
    Add(at, text);
  }

  void Barcode(const std::string&, size_t at, std::string_view params) {
    auto f = Split(params, ',', 9);
    std::vector<long> v;
    if (f.size() < 9) return Warn(at, "BARCODE needs nine fields; ignored");
    std::vector<std::string_view> numbers{f[0], f[1], f[3], f[4], f[5], f[6]};
    if (!Numbers(at, "BARCODE", numbers, 6, v)) return;
    const std::string type = Unquote(f[2]);
    if (type != "128" && type != "128M")
      return Warn(at, "BARCODE type \"" + type + "\" is not drawn by the preview; left out");
    const int module = static_cast<int>(std::clamp(v[5], 1L, 10L));
    BarcodeField code = detail::Code128(module, Clamp(std::clamp(v[2], 1L, static_cast<long>(MaxLabelSide))),
                                        v[3] != 0 ? std::max(10, 9 * module) : 0, Content(at, f[8]));
    code.X = Clamp(v[0]);
    code.Y = Clamp(v[1]);
    code.Rotation = Turn(v[4]);
    Add(at, code);
  }

  // QRCODE x,y,ECC,cell,mode,rotation[,model][,mask],"content"
  void Qr(const std::string&, size_t at, std::string_view params) {
    size_t quote = params.find_first_of("\"@");
    if (quote == std::string_view::npos) return Warn(at, "QRCODE without its content; ignored");
    auto f = Split(Trim(params.substr(0, quote)), ',');
    if (!f.empty() && f.back().empty()) f.pop_back();
    std::vector<long> v;
    if (f.size() < 6 || !Numbers(at, "QRCODE", f, 2, v))
      return Warn(at, "QRCODE needs x,y,ECC,cell width,mode,rotation; ignored");
    auto ecc = Trim(f[2]);
    auto cell = detail::Decimal(f[3]);
    if (ecc.size() != 1 || std::string_view("LMQH").find(ecc[0]) == std::string_view::npos)
      return Warn(at, "QRCODE error correction '" + std::string(ecc) + "' is not L, M, Q or H; ignored");
    if (!cell || *cell < 1 || *cell > 100)
      return Warn(at, "QRCODE cell width '" + std::string(f[3]) + "' out of range; ignored");
    if (*cell != std::floor(*cell))
      Warn(at, "QRCODE cell width " + std::string(Trim(f[3])) + " taken as a whole number of dots");
    BarcodeField qr = detail::QrCode(static_cast<int>(*cell), ecc[0], Content(at, params.substr(quote)));
    qr.X = Clamp(v[0]);
    qr.Y = Clamp(v[1]);
    qr.Rotation = Turn(Whole(f[5]).value_or(0));
    Add(at, qr);
  }

  std::string_view b_;
  int dpi_;
  const std::function<void(Label&&)>& each_;
  const CommandSeen& seen_;
  Job job_;
  std::vector<Field> fields_;
  long long rasterDots_ = 0;  // of the rasters in fields_
  std::vector<std::string> notes_;
  std::map<std::string, std::string_view> files_;
  int width_ = 0, height_ = 0, turn_ = 0;
  bool drawnSince_ = false;  // fields added since the last PRINT or CLS
  size_t lastDrawn_ = 0;
};

}  // namespace

Job ParseOrx(std::string_view bytes, int dpi, const std::function<void(Label&&)>& each, const CommandSeen& seen) {
  return OrxReader(bytes, dpi, each, seen).Read();
}

}  // namespace morvel::lang

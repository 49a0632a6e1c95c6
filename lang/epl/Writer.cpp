// The EPL2 writer: see Writer.h. Each rule cites the guide's command.
#include "lang/epl/Writer.h"

#include <cmath>
#include <stdexcept>

#include "lang/epl/Commands.h"

namespace morvel::lang::epl {
namespace {

void Require(bool ok, const char* what) {
  if (!ok) throw std::invalid_argument(std::string("EPL2: ") + what);
}

std::string Joined(std::initializer_list<long> numbers) {
  std::string out;
  for (long n : numbers) {
    if (!out.empty()) out += ',';
    out += std::to_string(n);
  }
  return out;
}

}  // namespace

std::string Quoted(std::string_view data) {
  std::string out = "\"";
  for (char c : data) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

void Writer::Line(std::string_view name, std::string_view parameters) {
  out_.append(name);
  out_.append(parameters);
  out_ += "\r\n";
}

int DefaultGapDots(int dpi) { return static_cast<int>(std::lround(3.0 / 25.4 * dpi)); }

// N clears the image buffer.
void Writer::Clear() {
  out_ += "\r\n";
  Line(epl::Clear.Name, "");
}

// q is the label width in dots; Q the form length in dots and the gap
// between labels (0: continuous media).
void Writer::Size(int width, int length, int gap) {
  Require(width > 0 && length > 0 && gap >= 0, "label width and length must be positive, the gap not negative");
  Line(LabelWidth.Name, std::to_string(width));
  Line(FormLength.Name, Joined({length, gap}));
}

// R p1,p2: the horizontal and vertical offset of the reference point.
void Writer::Reference(int x, int y) {
  Require(x >= 0 && y >= 0, "the reference point is not negative");
  Line(epl::Reference.Name, Joined({x, y}));
}

// S p1: a speed of the printer's table, 1 to 6 across the models.
void Writer::Speed(int speed) {
  Require(speed >= 1 && speed <= 6, "speed is 1-6");
  Line(epl::Speed.Name, std::to_string(speed));
}

// D p1: the print density, 0 (lightest) to 15.
void Writer::Density(int density) {
  Require(density >= 0 && density <= 15, "density is 0-15");
  Line(epl::Density.Name, std::to_string(density));
}

// ZT prints the image buffer's top first (the default), ZB its bottom.
void Writer::TopFirst(bool topFirst) { Line(topFirst ? epl::TopFirst.Name : epl::BottomFirst.Name, ""); }

// A p1,p2,p3,p4,p5,p6,p7,"DATA": x, y, rotation 0-3, font 1-5, horizontal
// multiplier 1-6 or 8, vertical multiplier 1-9, N normal or R reverse.
void Writer::Text(const TextOptions& o, std::string_view data) {
  Require(o.Rotation >= 0 && o.Rotation <= 3, "text rotation is 0..3");
  Require(o.Font >= '1' && o.Font <= '5', "resident fonts are 1..5");
  Require((o.Wide >= 1 && o.Wide <= 6) || o.Wide == 8, "horizontal multiplier is 1-6 or 8");
  Require(o.High >= 1 && o.High <= 9, "vertical multiplier is 1-9");
  Line(epl::Text.Name, Joined({o.X, o.Y, o.Rotation}) + ',' + o.Font + ',' + Joined({o.Wide, o.High}) + ',' +
                           (o.Reverse ? 'R' : 'N') + ',' + Quoted(data));
}

// B p1,p2,p3,p4,p5,p6,p7,p8,"DATA": x, y, rotation, bar code selection
// (1: Code 128 in its A, B and C subsets chosen by the printer; 1A, 1B,
// 1C: one subset), narrow bar, wide bar (not used by Code 128, given as the
// narrow one), height, B with the human readable line or N without.
void Writer::Code128(const Code128Options& o, std::string_view data) {
  Require(o.Rotation >= 0 && o.Rotation <= 3, "bar code rotation is 0..3");
  Require(o.Narrow >= 1 && o.Height >= 1, "narrow bar and height must be positive");
  std::string selection = "1";
  if (o.Subset != Code128Subset::Auto) selection += static_cast<char>(o.Subset);
  Line(Barcode.Name, Joined({o.X, o.Y, o.Rotation}) + ',' + selection + ',' + Joined({o.Narrow, o.Narrow, o.Height}) +
                         ',' + (o.Readable ? 'B' : 'N') + ',' + Quoted(data));
}

// b p1,p2,Q,[options]"DATA" (b, QR Code specific options): the options
// each after its prefix letter, m the model (1 or 2), s the scale factor
// 1-99, e the error correction level L, M, Q or H.
void Writer::Qr(const QrOptions& o, std::string_view data) {
  Require(o.Model == 1 || o.Model == 2, "QR model is 1 or 2");
  Require(o.Scale >= 1 && o.Scale <= 99, "QR scale factor is 1-99");
  Require(std::string_view("LMQH").find(o.ErrorCorrection) != std::string_view::npos,
          "QR error correction is L, M, Q or H");
  Line(Barcode2D.Name, Joined({o.X, o.Y}) + ",Q,m" + std::to_string(o.Model) + ",s" + std::to_string(o.Scale) + ",e" +
                           o.ErrorCorrection + ',' + Quoted(data));
}

// LO p1,p2,p3,p4: x, y, horizontal length, vertical length.
void Writer::Bar(int x, int y, int width, int height) {
  Require(width > 0 && height > 0, "a bar's lengths must be positive");
  Line(LineBlack.Name, Joined({x, y, width, height}));
}

// X p1,p2,p3,p4,p5: x, y, line thickness, horizontal and vertical end.
void Writer::Box(int x, int y, int thickness, int right, int bottom) {
  Require(thickness > 0 && right > x && bottom > y, "a box ends below and right of where it starts");
  Line(epl::Box.Name, Joined({x, y, thickness, right, bottom}));
}

// GW p1,p2,p3,p4,DATA: x, y, width in bytes, length in dots, then the raw
// bytes. Nothing ends the data but its count; the line end after it is
// harmless and keeps the next command at the start of a line.
void Writer::Graphic(int x, int y, size_t rowBytes, int rows, std::string_view packed) {
  Require(rowBytes > 0 && rows > 0 && packed.size() == rowBytes * static_cast<size_t>(rows),
          "graphic data must be width bytes x length rows");
  out_.append(GraphicWrite.Name);
  out_ += Joined({x, y, static_cast<long>(rowBytes), rows}) + ',';
  out_.append(packed);
  out_ += "\r\n";
}

// P p1: the number of labels printed, 1 to 65535.
void Writer::Print(int copies) {
  Require(copies >= 1 && copies <= 65535, "copies are 1-65535");
  Line(epl::Print.Name, std::to_string(copies));
}

}  // namespace morvel::lang::epl

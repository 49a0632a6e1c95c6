// Writing an EPL2 label: the commands of the table (Commands.h) with their
// parameters in dots, each ended by CR LF, in the order a label is made:
// Clear (a line feed to end any half-sent command, N), the label's size
// (q, Q) and settings (R, S, D, ZT or ZB), the fields, Print (P). Parameters outside what the guide accepts are refused
// with std::invalid_argument rather than sent for the printer to reject.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvel::lang::epl {

// A: text in one of the resident fonts 1-5.
struct TextOptions {
  int X = 0, Y = 0;
  int Rotation = 0;  // clockwise quarter turns, 0..3
  char Font = '2';   // '1'..'5'
  int Wide = 1;      // horizontal multiplier: 1-6 or 8
  int High = 1;      // vertical multiplier: 1-9
  bool Reverse = false;
};

// B with Code 128: the subsets the printer chooses itself ("1"), or one.
enum class Code128Subset : char { Auto = '\0', A = 'A', B = 'B', C = 'C' };
struct Code128Options {
  int X = 0, Y = 0;
  int Rotation = 0;  // 0..3
  Code128Subset Subset = Code128Subset::Auto;
  int Narrow = 2;  // narrow bar (the module) in dots
  int Height = 50;
  bool Readable = true;
};

// b with QR Code.
struct QrOptions {
  int X = 0, Y = 0;
  int Model = 2;               // 1 or 2
  int Scale = 3;               // module size in dots, 1-99
  char ErrorCorrection = 'M';  // L, M, Q or H
};

class Writer {
 public:
  // A line feed first, so that a command left half-sent before is ended
  // rather than joined; then N, q width and Q length,gap.
  void Start(int width, int length, int gap) {
    Clear();
    Size(width, length, gap);
  }
  void Clear();
  void Size(int width, int length, int gap);  // q, Q
  void Reference(int x, int y);               // R: where the label's (0, 0) lies
  void Speed(int speed);                      // S: 1-6, the model's speed table
  void Density(int density);                  // D: 0-15
  void TopFirst(bool topFirst);               // ZT, or ZB: the label turned half round
  void Text(const TextOptions& o, std::string_view data);
  void Code128(const Code128Options& o, std::string_view data);
  void Qr(const QrOptions& o, std::string_view data);
  void Bar(int x, int y, int width, int height);                 // LO
  void Box(int x, int y, int thickness, int right, int bottom);  // X: to the bottom right corner
  // GW: `packed` holds rows of rowBytes bytes, the most significant bit the
  // leftmost dot, a 0 bit a black dot.
  void Graphic(int x, int y, size_t rowBytes, int rows, std::string_view packed);
  void Print(int copies);  // P

  const std::string& Bytes() const { return out_; }

 private:
  void Line(std::string_view name, std::string_view parameters);
  std::string out_;
};

// The gap of die-cut labels Q is given when none is told: 3 mm in dots.
int DefaultGapDots(int dpi);

// DATA as the guide quotes it: within double quotes, a quote or a
// backslash after a backslash.
std::string Quoted(std::string_view data);

}  // namespace morvel::lang::epl

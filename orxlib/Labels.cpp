// The label command exports: each fills fixed Orx line templates (the
// commands of lang/tspl) with its arguments unchanged and sends every line
// with CR LF. A line beyond its
// template's bound is refused before any line of the call goes out, so the
// printer never sees half a set-up.
#include <initializer_list>
#include <string>

#include "lang/tspl/Writer.h"
#include "orxlib/Port.h"
#include "orxlib/orxlib.h"

using namespace morvel::orx;

namespace {

namespace tspl = morvel::lang::tspl;

// Sends the lines if every one fits `limit` characters; 0 otherwise or when
// a line does not reach the printer.
int32_t SendLines(const char* what, size_t limit, std::initializer_list<std::string> lines) {
  for (const auto& line : lines) {
    if (line.size() > limit) {
      Refuse(std::string("The ") + what + " line has " + std::to_string(line.size()) + " characters, more than " +
             std::to_string(limit) + "; nothing was sent.");
      return 0;
    }
  }
  for (const auto& line : lines)
    if (SendLine(line) == 0) return 0;
  return 1;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Content beginning with "@" names a printer variable and goes unquoted.
std::string Content(std::string_view text) {
  return !text.empty() && text[0] == '@' ? std::string(text) : Quoted(text);
}

}  // namespace

extern "C" {

int32_t setup(const char* width, const char* height, const char* speed, const char* density, const char* sensor,
              const char* vertical, const char* offset) {
  return Guarded("setup", 0, [&] {
    if (!IsOpen()) return 0;
    std::string_view sensorText = Arg(sensor, "the sensor");
    const tspl::Command& mark = !sensorText.empty() && sensorText[0] == '1' ? tspl::BlackLine : tspl::Gap;
    std::string w(Arg(width, "the width")), h(Arg(height, "the height"));
    return SendLines(
        "setup", 99,
        {tspl::Line<char>(tspl::Size, {w + " mm", h + " mm"}), tspl::Line<char>(tspl::Speed, {Arg(speed, "the speed")}),
         tspl::Line<char>(tspl::Density, {Arg(density, "the density")}),
         tspl::Line<char>(
             mark, {std::string(Arg(vertical, "the gap")) + " mm", std::string(Arg(offset, "the offset")) + " mm"})});
  });
}

int32_t barcode(const char* x, const char* y, const char* type, const char* height, const char* readable,
                const char* rotation, const char* narrow, const char* wide, const char* content) {
  return Guarded("barcode", 0, [&] {
    if (!IsOpen()) return 0;
    std::string line = tspl::Line<char>(
        tspl::Barcode, {Arg(x, "x"), Arg(y, "y"), Quoted(Arg(type, "the type")), Arg(height, "the height"),
                        Arg(readable, "readable"), Arg(rotation, "the rotation"), Arg(narrow, "narrow"),
                        Arg(wide, "wide"), Content(Arg(content, "the content"))});
    return SendLines("barcode", 99, {line});
  });
}

int32_t printerfont(const char* x, const char* y, const char* font, const char* rotation, const char* xmul,
                    const char* ymul, const char* content) {
  return Guarded("printerfont", 0, [&] {
    if (!IsOpen()) return 0;
    std::string line = tspl::Line<char>(
        tspl::Text, {Arg(x, "x"), Arg(y, "y"), Quoted(Arg(font, "the font")), Arg(rotation, "the rotation"),
                     Arg(xmul, "xmul"), Arg(ymul, "ymul"), Content(Arg(content, "the content"))});
    return SendLines("text", 499, {line});
  });
}

int32_t clearbuffer(void) {
  return Guarded("clearbuffer", 0, [] { return IsOpen() ? SendLines("CLS", 99, {tspl::Line<char>(tspl::Clear)}) : 0; });
}

int32_t printlabel(const char* sets, const char* copies) {
  return Guarded("printlabel", 0, [&] {
    if (!IsOpen()) return 0;
    return SendLines("print", 49, {tspl::Line<char>(tspl::Print, {Arg(sets, "the sets"), Arg(copies, "the copies")})});
  });
}

int32_t formfeed(void) {
  return Guarded("formfeed", 0,
                 [] { return IsOpen() ? SendLines("FORMFEED", 99, {tspl::Line<char>(tspl::FormFeed)}) : 0; });
}

int32_t nobackfeed(void) {
  return Guarded("nobackfeed", 0, [] {
    return IsOpen()
               ? SendLines("no back feed", 99,
                           {tspl::Line<char>(tspl::Set, {"STRIPER OFF"}), tspl::Line<char>(tspl::Set, {"TEAR OFF"})})
               : 0;
  });
}

}  // extern "C"

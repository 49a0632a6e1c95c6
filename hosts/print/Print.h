// Printing a document handed to us, not composed by calls: a PDF, a
// picture (PNG, JPEG, GIF, BMP), or a job in a printer language. A job in
// the printer's own language goes as it is; anything else is drawn at the
// printer's resolution, fitted to its labels, made one bit a dot (line art
// thresholded so bars land on whole dots, photos dithered) and sent as the
// printer's own raster commands, page by page.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "lang/Language.h"
#include "lang/zpl/Raster.h"

namespace morvel::print {

enum class Kind { Pdf, Png, Jpeg, Gif, Bmp, Zpl, Sbpl, Tspl };
const char* NameOf(Kind kind);  // "PDF", "PNG", ..., "ZPL", "SBPL", "Orx"
// The document's kind from its first bytes; none for a format not printed.
std::optional<Kind> KindOf(std::string_view bytes);

// A document that cannot be printed: the cause, in words for the user
// (the caller names the document). Nothing was sent when it is thrown
// before the first label; Report says how far a job got otherwise.
class DocumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a printer takes: its language, or none when its vendor's drawing
// library prints for it (Dothan).
struct Target {
  std::string Name;  // as installed, UTF-8
  std::optional<lang::Language> Speaks;
  int Dpi = 203;
  double WidthMm = 0, HeightMm = 0;  // the labels loaded; 0: the document's size
};

enum class Scaling { Fit, Actual };
enum class Crop { Auto, Sheet, None };  // Auto: a sheet's label part when the page is a sheet

struct Options {
  Scaling Scale = Scaling::Fit;
  int Rotate = -1;  // -1: turn a landscape page onto a portrait label and back
  Crop Cropping = Crop::Auto;
  std::vector<std::pair<int, int>> Pages;  // ranges from 1, inclusive; empty: every page
  int Copies = 1;
  int SourceDpi = 203;  // pictures without a resolution, jobs in another language
  lang::zpl::GraphicCompression Compression = lang::zpl::GraphicCompression::Z64;
};

// What a host asks for besides the document: the options, and the label's
// size where it overrides the printer's.
struct Request {
  Options How;
  double WidthMm = 0, HeightMm = 0;
};
// The options in words, as the C interface, Python and pages give them:
// blank-separated, "fit" or "actual", "rotate=auto|0|90|180|270",
// "crop=auto|none", "pages=1-3,5", "copies=N" (1..999), "width=MM" and
// "height=MM" (1..2000), "picture_dpi=N" (50..2400), "compression=z64|ascii".
// Nullopt with the reason for a word it does not take.
std::optional<Request> RequestOf(std::string_view words, std::string* why);

// "1-3,5,8-": the ranges, or the reason it is not a list of pages.
std::optional<std::vector<std::pair<int, int>>> PageList(std::string_view text, std::string* why);

struct Report {
  int Pages = 0;                   // the document's pages (a job's labels)
  int Printed = 0;                 // pages sent
  uint64_t Bytes = 0;              // bytes for the printer
  bool AsItIs = false;             // a job in the printer's language, sent unchanged
  std::vector<std::string> Notes;  // what the user may want to know (the job's warnings, a page cropped)
};

// A document's printer bytes, a label (or a band of one) at a time; false
// stops the printing (the printer went away).
using Sink = std::function<bool(std::string_view bytes)>;
// After each page: pages done, pages to do.
using Progress = std::function<void(int done, int total)>;

// Reads the document and hands the printer's bytes to `sink`. Throws
// DocumentError for a document that cannot be printed, before any byte
// when the document cannot be read at all.
Report Print(std::string_view document, const Target& target, const Options& options, const Sink& sink,
             const Progress& progress = {});

// The installed printer of that name (case aside), its language told from
// its name; DocumentError when there is none.
Target TargetNamed(const std::string& printerName);

// Sends through the system's spooler as one document named `jobName`; the
// Dothan printers through their drawing library. Throws DocumentError
// when the printer cannot be reached.
Report PrintTo(const Target& target, std::string_view document, const std::string& jobName, const Options& options,
               const Progress& progress = {});

}  // namespace morvel::print

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

#include "drivers/Brands.h"
#include "lang/Language.h"
#include "lang/zpl/Raster.h"

namespace morvel::print {

// What a document is: a PDF, a picture, or a job in one of the printer
// languages (lang/Languages.h), which names it.
enum class Format { Pdf, Png, Jpeg, Gif, Bmp, Job };
struct Kind {
  Kind(Format is, std::optional<lang::Language> job = std::nullopt) : Is(is), Job(job) {}
  Format Is;
  std::optional<lang::Language> Job;  // a job's language; none for a PDF or a picture
  friend bool operator==(const Kind&, const Kind&) = default;
};
const char* NameOf(Format format);     // "PDF", "PNG", "JPEG", "GIF", "BMP", "job"
const char* NameOf(const Kind& kind);  // the same, a job's language as it is shown: "ZPL", "SBPL", "Orx"
// The document's kind from its first bytes; none for a format not printed.
std::optional<Kind> KindOf(std::string_view bytes);

// What of a job had left for the printer when it failed. Every label is
// made before the first byte leaves, so a document that cannot be printed
// sends nothing; bytes leave only once the printer (or the spooler) takes
// the job, and it may stop taking it part way.
struct Sent {
  int Whole = 0;             // labels (copies counted) whose bytes all went
  int Of = 0;                // the job's labels
  bool Stopped = false;      // the printer stopped part way: the next label's bytes went in part
  bool Unconfirmed = false;  // every byte went, and the printer or spooler did not confirm the end
  bool AsItIs = false;       // counted in copies of a job sent as it is
};
// "nothing sent", "2 of 5 labels sent whole, the next cut short", ...
std::string InWords(const Sent& sent);

// A document that cannot be printed: the cause, in words for the user
// (the caller names the document), and what of it was sent.
class DocumentError : public std::runtime_error {
 public:
  explicit DocumentError(const std::string& cause, const Sent& sent = {}) : std::runtime_error(cause), sent_(sent) {}
  const Sent& Left() const { return sent_; }

 private:
  Sent sent_;
};
// The cause and what was sent: "CAUSE; nothing sent". Every host tells a
// failed document so.
std::string Told(const DocumentError& error);

// Labels one request may print: copies times the pages chosen (a page
// listed twice counts twice; a job's own copies count too), at most
// MaxLabelsPerRequest, or each page once of a document that has more. A job passed
// through as it is may be at most MaxPassedBytes, copies counted.
inline constexpr int MaxLabelsPerRequest = 10000;
inline constexpr uint64_t MaxPassedBytes = 256u << 20;
// The printer's bytes of one drawn document, held until its last page is
// made: a bound on the temporary folder's space a request takes.
inline constexpr uint64_t MaxHeldBytes = uint64_t{2} << 30;

// What a printer takes: its language, or none when its brand's vendor
// library prints its pages (the brand's PrintPage).
struct Target {
  std::string Name;  // as installed, UTF-8
  std::optional<lang::Language> Speaks;
  int Dpi = 203;
  double WidthMm = 0, HeightMm = 0;  // the labels loaded; 0: the document's size
  // The brand whose driver prints on it; null when only its language is
  // known (a word of its name, or --output).
  const drivers::BrandRow* Brand = nullptr;
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
  // Asked while a page is drawn (every tenth of a second at most): true
  // stops the drawing, and the document is refused. For a caller that
  // leaves, as a page of the bridge does.
  std::function<bool()> Abandoned;
};

// What a host asks for besides the document: the options, and the label's
// size where it overrides the printer's.
struct Request {
  Options How;
  double WidthMm = 0, HeightMm = 0;
};
// The options in words, as the C interface, Python and pages give them:
// blank-separated, "fit" or "actual" (not both), "rotate=auto|0|90|180|270",
// "crop=auto|none", "pages=1-3,5", "copies=N" (1..999), "width=MM" and
// "height=MM" (1..2000), "picture_dpi=N" (50..2400), "compression=z64|ascii".
// Numbers are read as the morvel command reads them: digits (and a '.'
// in millimetres), no sign, blank, exponent or hexadecimal. Nullopt with
// the reason for a word it does not take, or for more labels than a
// request prints.
std::optional<Request> RequestOf(std::string_view words, std::string* why);

// Why the options ask for more labels than a request prints, counted from
// the pages they list (an open range "8-" as one page at least) as if the
// document had as many pages as the highest listed; empty when they do
// not. Checked again against the document's pages.
std::string TooManyLabels(const Options& options);

// "1-3,5,8-": the ranges, or the reason it is not a list of pages; an
// open range ends at OpenEnd.
inline constexpr int OpenEnd = 1 << 30;
std::optional<std::vector<std::pair<int, int>>> PageList(std::string_view text, std::string* why);

struct Report {
  int Pages = 0;                   // the document's pages (a job's labels)
  int Printed = 0;                 // pages sent
  int Labels = 0;                  // labels sent, copies counted (copies of the job when sent as it is)
  uint64_t Bytes = 0;              // bytes for the printer
  bool AsItIs = false;             // a job in the printer's language, sent unchanged
  std::vector<std::string> Notes;  // what the user may want to know (the job's warnings, a page cropped)
};

// A document's printer bytes, a piece at a time; false stops the printing
// (the printer went away; the piece may have gone in part).
using Sink = std::function<bool(std::string_view bytes)>;
// After each page drawn: pages done, pages to do.
using Progress = std::function<void(int done, int total)>;

// Reads the document, makes every label, and only then hands the printer's
// bytes to `sink`. Throws DocumentError for a document that cannot be
// printed (nothing given to the sink), or telling how many labels the sink
// took before it stopped.
Report Print(std::string_view document, const Target& target, const Options& options, const Sink& sink,
             const Progress& progress = {});

// The installed printer of that name (case aside), its language told from
// its name; DocumentError when there is none.
Target TargetNamed(const std::string& printerName);

// The installed printer of that name with the label's size where the
// request gives one: the printer every host's request prints on.
Target TargetFor(const std::string& printerName, const Request& request);

// Sends through the system's spooler as one document named `jobName`,
// opened once every label is made; the Dothan printers through their
// drawing library, a job a page, once every page is drawn. Throws
// DocumentError when the document cannot be printed (an empty one among
// them) or the printer cannot be reached, telling what was sent.
Report PrintTo(const Target& target, std::string_view document, const std::string& jobName, const Options& options,
               const Progress& progress = {});

}  // namespace morvel::print

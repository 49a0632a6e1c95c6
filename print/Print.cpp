// The printing of a document: its kind told, its pages drawn for the
// printer one at a time (so a long PDF is never held drawn whole), each page
// written in the printer's language into the job's held file, and the job
// handed on only once its last page is made.
#include "print/Print.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/numbers.h"
#include "drivers/Brands.h"
#include "lang/Languages.h"
#include "lang/Reading.h"
#include "platform/services.h"
#include "platform/text_case.h"
#include "print/Layout.h"
#include "print/Sources.h"
#include "print/Staging.h"

namespace morvel::print {
namespace {

std::unique_ptr<detail::Source> SourceOf(std::string_view document, Kind kind, const Target& target,
                                         const Options& options) {
  if (kind.Is == Format::Pdf) return detail::PdfSource(document, options.Abandoned);
  if (kind.Job) return detail::JobSource(document, *kind.Job, options.SourceDpi, target);
  return detail::PictureSource(document, kind.Is, options.SourceDpi);
}

std::string Thousands(long long n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
  return digits;
}

// A request prints at most MaxLabelsPerRequest labels, or each page of a
// longer document once: what a document of `pages` pages may print.
long long LabelsAllowed(long long pages) { return std::max<long long>(MaxLabelsPerRequest, pages); }

std::string LabelsBeyond(long long labels, int copies, const char* pages) {
  return Thousands(labels) + " labels (" + std::to_string(copies) + (copies == 1 ? " copy" : " copies") + " of " +
         pages + "), and a request prints at most " + Thousands(MaxLabelsPerRequest) +
         ", or each page of a longer document once (print the document in parts with fewer pages or copies)";
}

// The pages to print, from 0, in the order the list names them; refused
// before any is drawn when they and their copies make too many labels.
std::vector<int> Selected(const Options& options, int count) {
  std::vector<int> pages;
  const long long most = LabelsAllowed(count) / std::max(1, options.Copies);
  if (options.Pages.empty()) {
    if (count > most)
      throw DocumentError("the document's " + Thousands(count) + " pages make " +
                          LabelsBeyond(static_cast<long long>(count) * options.Copies, options.Copies, "each page"));
    for (int i = 0; i < count; ++i) pages.push_back(i);
    return pages;
  }
  long long listed = 0;
  for (auto [first, last] : options.Pages) {
    if (first > count)
      throw DocumentError("page " + std::to_string(first) + " asked for, the document has " + std::to_string(count));
    listed += std::min(last, count) - first + 1;
    if (listed > most)
      throw DocumentError("the pages listed make at least " +
                          LabelsBeyond(listed * options.Copies, options.Copies, "each page listed"));
    for (int p = first; p <= std::min(last, count); ++p) pages.push_back(p - 1);
  }
  return pages;
}

}  // namespace

const char* NameOf(Format format) {
  switch (format) {
    case Format::Pdf: return "PDF";
    case Format::Png: return "PNG";
    case Format::Jpeg: return "JPEG";
    case Format::Gif: return "GIF";
    case Format::Bmp: return "BMP";
    case Format::Job: return "job";
  }
  return "?";
}

const char* NameOf(const Kind& kind) { return kind.Job ? lang::TitleOf(*kind.Job) : NameOf(kind.Is); }

std::optional<Kind> KindOf(std::string_view b) {
  // The pictures by their signatures, at the very start.
  if (b.starts_with("\x89PNG\r\n\x1a\n")) return Kind{Format::Png};
  if (b.starts_with("\xFF\xD8\xFF")) return Kind{Format::Jpeg};
  if (b.starts_with("GIF87a") || b.starts_with("GIF89a")) return Kind{Format::Gif};
  if (b.starts_with("BM") && b.size() > 26) return Kind{Format::Bmp};
  // A PDF's header at the start, after at most what readers pass over: up
  // to 1024 bytes of whitespace, control characters and bytes past ASCII
  // (a byte-order mark, the few bytes a mail or a transfer put before it),
  // never a printable character, so that no text (a ZPL field holding
  // "%PDF-") is taken for one.
  const size_t header = b.substr(0, 1024 + 5).find("%PDF-");
  if (header != std::string_view::npos &&
      std::none_of(b.begin(), b.begin() + static_cast<long>(header), [](char c) { return c > ' ' && c < 0x7F; }))
    return Kind{Format::Pdf};
  if (auto language = lang::JobLanguage(b)) return Kind{Format::Job, language};
  return std::nullopt;
}

std::optional<std::vector<std::pair<int, int>>> PageList(std::string_view text, std::string* why) {
  std::vector<std::pair<int, int>> ranges;
  auto number = [](std::string_view digits, int& into) {
    const auto n = core::WholeNumber(digits, 1, OpenEnd - 1);
    if (n) into = static_cast<int>(*n);
    return n.has_value();
  };
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view part = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    const size_t dash = part.find('-');
    int first = 0, last = 0;
    bool ok = dash == std::string_view::npos
                  ? number(part, first) && (last = first, true)
                  : number(part.substr(0, dash), first) &&
                        (dash + 1 == part.size() ? (last = OpenEnd, true) : number(part.substr(dash + 1), last));
    if (!ok || last < first) {
      if (why) *why = "'" + std::string(part) + "' is not a page or a range of pages (e.g. 1-3,5,8-)";
      return std::nullopt;
    }
    ranges.emplace_back(first, last);
  }
  if (ranges.empty()) {
    if (why) *why = "no pages listed";
    return std::nullopt;
  }
  return ranges;
}

std::optional<Request> RequestOf(std::string_view words, std::string* why) {
  Request r;
  auto fail = [&](const std::string& text) -> std::optional<Request> {
    if (why) *why = text;
    return std::nullopt;
  };
  auto whole = [](std::string_view v, long low, long high, int& into) {
    const auto n = core::WholeNumber(v, low, high);
    if (n) into = static_cast<int>(*n);
    return n.has_value();
  };
  auto millimetres = [](std::string_view v, double& into) {
    const auto mm = core::DecimalNumber(v, 1, 2000);
    if (mm) into = *mm;
    return mm.has_value();
  };
  bool scaled = false;
  while (!words.empty()) {
    const size_t blank = words.find_first_of(" \t");
    const std::string_view word = words.substr(0, blank);
    words = blank == std::string_view::npos ? std::string_view() : words.substr(blank + 1);
    if (word.empty()) continue;
    const size_t equals = word.find('=');
    const std::string_view key = word.substr(0, equals),
                           value = equals == std::string_view::npos ? "" : word.substr(equals + 1);
    bool ok = true;
    if (word == "fit" || word == "actual") {
      const Scaling scale = word == "fit" ? Scaling::Fit : Scaling::Actual;
      if (scaled && scale != r.How.Scale) return fail("fit and actual exclude each other");
      r.How.Scale = scale, scaled = true;
    } else if (key == "rotate") {
      ok = value == "auto" ? (r.How.Rotate = -1, true) : whole(value, 0, 270, r.How.Rotate) && r.How.Rotate % 90 == 0;
    } else if (key == "crop") {
      ok = value == "auto" || value == "none";
      r.How.Cropping = value == "none" ? Crop::None : Crop::Auto;
    } else if (key == "pages") {
      std::string reason;
      auto pages = PageList(value, &reason);
      if (!pages) return fail("pages: " + reason);
      r.How.Pages = *pages;
    } else if (key == "copies") {
      ok = whole(value, 1, 999, r.How.Copies);
    } else if (key == "width" || key == "height") {
      ok = millimetres(value, key == "width" ? r.WidthMm : r.HeightMm);
    } else if (key == "picture_dpi") {
      ok = whole(value, 50, 2400, r.How.SourceDpi);
    } else if (key == "compression") {
      ok = value == "z64" || value == "ascii";
      r.How.Compression = value == "ascii" ? lang::zpl::GraphicCompression::Ascii : lang::zpl::GraphicCompression::Z64;
    } else {
      return fail("unknown option '" + std::string(word) +
                  "' (fit, actual, rotate=, crop=, pages=, copies=, width=, height=, picture_dpi=, compression=)");
    }
    if (!ok) return fail("'" + std::string(word) + "' is not a value that option takes");
  }
  if (std::string beyond = TooManyLabels(r.How); !beyond.empty()) return fail(beyond);
  return r;
}

std::string TooManyLabels(const Options& options) {
  // The document is not read yet: it may have as many pages as the
  // highest page listed.
  long long listed = options.Pages.empty() ? 1 : 0, highest = 1;
  for (auto [first, last] : options.Pages) {
    listed += last == OpenEnd ? 1 : static_cast<long long>(last) - first + 1;
    highest = std::max<long long>(highest, last == OpenEnd ? first : last);
    if (listed > LabelsAllowed(OpenEnd)) break;
  }
  const long long labels = listed * std::max(1, options.Copies);
  if (labels <= LabelsAllowed(highest)) return {};
  return "the pages listed make at least " + LabelsBeyond(labels, options.Copies, "each page listed");
}

std::string InWords(const Sent& sent) {
  const char* unit = sent.AsItIs ? " copies of the job" : " labels";
  if (sent.Unconfirmed)
    return "all " + Thousands(sent.Of) + unit + " went to the printer, which did not confirm them (see the log)";
  if (sent.Whole == 0 && !sent.Stopped) return "nothing sent";
  return Thousands(sent.Whole) + " of " + Thousands(sent.Of) + unit + " sent whole" +
         (sent.Stopped ? (sent.Whole == 0 ? ", the first cut short" : ", the next cut short") : "");
}

std::string Told(const DocumentError& error) { return std::string(error.what()) + "; " + InWords(error.Left()); }

Report detail::DrawPages(std::string_view document, const Target& target, const Options& options,
                         const std::function<void(const core::Bitmap&, int copies)>& page, const Progress& progress) {
  const auto kind = KindOf(document);
  if (!kind) throw DocumentError("not a PDF, PNG, JPEG, GIF, BMP, " + lang::LanguageTitles() + " document");
  auto source = SourceOf(document, *kind, target, options);
  Report report;
  report.Pages = source->Count();
  const std::vector<int> pages = Selected(options, report.Pages);
  long long labels = 0;  // the pages' own copies (a job's ^PQ) count
  for (size_t k = 0; k < pages.size(); ++k) {
    const int index = pages[k];
    const detail::PageSize size = source->Size(index);
    detail::Region region{0, 0, size.Width, size.Height};
    if (options.Cropping == Crop::Auto && !kind->Job && detail::IsSheet(size, target)) {
      region = detail::LabelPart(*source, index, size);
      if (region.Width < size.Width || region.Height < size.Height)
        report.Notes.push_back("page " + std::to_string(index + 1) + ": the label part of the sheet printed (" +
                               std::to_string(std::lround(region.Width / 72 * 25.4)) + " x " +
                               std::to_string(std::lround(region.Height / 72 * 25.4)) +
                               " mm); --crop none prints it whole");
    }
    const int copies = options.Copies * source->CopiesOf(index);
    labels += copies;
    if (labels > LabelsAllowed(report.Pages))
      throw DocumentError("page " + std::to_string(index + 1) + " asks for " + std::to_string(copies) +
                          " labels, which makes " + LabelsBeyond(labels, options.Copies, "the job's pages"));
    const detail::Placement placement = detail::Place(region, target, options, index + 1);
    const core::Bitmap dots = detail::DrawPage(*source, index, placement);
    page(dots, copies);
    ++report.Printed;
    report.Labels += copies;
    if (progress) progress(static_cast<int>(k + 1), static_cast<int>(pages.size()));
  }
  for (auto& note : source->Notes()) report.Notes.push_back(std::move(note));
  return report;
}

Report Print(std::string_view document, const Target& target, const Options& options, const Sink& sink,
             const Progress& progress) {
  const auto kind = KindOf(document);
  if (kind && target.Speaks && kind->Job == target.Speaks) {
    if (!options.Pages.empty()) throw DocumentError("a job in the printer's own language is sent whole (no --pages)");
    if (document.size() * static_cast<uint64_t>(options.Copies) > MaxPassedBytes)
      throw DocumentError(std::to_string(options.Copies) + " copies of a job of " + Thousands(document.size()) +
                          " bytes would send more than " + std::to_string(MaxPassedBytes >> 20) +
                          " MiB (a request sends at most that much of a job as it is)");
    Report report;
    report.AsItIs = true;
    Sent sent{0, options.Copies, false, false, true};
    for (int c = 0; c < options.Copies; ++c) {
      if (!sink(document)) {
        sent.Stopped = true;
        throw DocumentError("the printer stopped taking the job", sent);
      }
      ++sent.Whole;
      report.Bytes += document.size();
    }
    report.Pages = report.Printed = 1;
    report.Labels = options.Copies;
    return report;
  }
  if (!target.Speaks)
    throw DocumentError("'" + target.Name + "' prints through its vendor's drawing library and takes no printer bytes");
  detail::Staging staged;
  const auto raster = lang::ReadingOf(*target.Speaks).Raster;
  Report report = detail::DrawPages(
      document, target, options,
      [&](const core::Bitmap& dots, int copies) {
        staged.Append(raster(dots, {target.Dpi, copies, options.Compression}));
        staged.EndLabel(copies);
      },
      progress);
  staged.HandOver(sink);
  report.Bytes = staged.Bytes();
  return report;
}

Target TargetNamed(const std::string& printerName) {
  const String name = FromUtf8(printerName);
  std::vector<platform::InstalledPrinter> printers;
  try {
    printers = platform::Current().Printers->List();
  } catch (const AutomationError& e) {
    throw DocumentError("the installed printers cannot be listed: " + e.Description());
  }
  for (const auto& installed : printers) {
    if (!text::EqualsIgnoreCase(installed.Name, name)) continue;
    Target target;
    target.Name = ToUtf8(installed.Name);
    target.Dpi = installed.Dpi;
    target.WidthMm = installed.WidthMm, target.HeightMm = installed.HeightMm;
    const drivers::PrinterLanguage language =
        drivers::LanguageOfPrinter(target.Name, drivers::DeclaredLanguage(installed));
    if (!language.Unknown.empty())
      throw DocumentError("'" + target.Name + "' is said to speak '" + language.Unknown +
                          "' (printers.conf), a language Morvel does not write");
    if (!language.Speaks && !language.Brand) {
      // The brands a name can tell, from their rows: "Orx, Zebra, Dothan or Sato".
      std::vector<std::string> named;
      for (const drivers::BrandRow* row : drivers::BrandRows())
        if (!row->Keywords.empty()) named.emplace_back(row->Family);
      std::string brands;
      for (size_t k = 0; k < named.size(); ++k)
        brands += (k == 0 ? "" : k + 1 == named.size() ? " or " : ", ") + named[k];
      throw DocumentError("the language of '" + target.Name + "' cannot be told: its name is no " + brands +
                          " printer's, and its printers.conf entry gives no language");
    }
    target.Speaks = language.Speaks;
    target.Brand = language.Brand;
    if (target.Dpi < 50 || target.Dpi > 2400)
      throw DocumentError("'" + target.Name + "' has no usable resolution (" + std::to_string(target.Dpi) + " dpi)");
    return target;
  }
  throw DocumentError("no installed printer is named '" + printerName + "' (morvel printers lists them)");
}

}  // namespace morvel::print

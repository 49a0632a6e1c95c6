// The printing of a document: its kind told, its pages drawn for the
// printer one at a time (so a long PDF is never held drawn whole), each page
// written in the printer's language and handed on before the next is drawn.
#include "hosts/print/Print.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "hosts/print/Layout.h"
#include "hosts/print/Sources.h"
#include "lang/sbpl/Raster.h"
#include "lang/tspl/Raster.h"
#include "platform/services.h"
#include "platform/text_case.h"
#include "preview/Preview.h"

namespace morvel::print {
namespace {

std::optional<lang::Language> LanguageOfKind(Kind kind) {
  switch (kind) {
    case Kind::Zpl: return lang::Language::Zpl;
    case Kind::Sbpl: return lang::Language::Sbpl;
    case Kind::Tspl: return lang::Language::Tspl;
    default: return std::nullopt;
  }
}

std::unique_ptr<detail::Source> SourceOf(std::string_view document, Kind kind, const Target& target,
                                         const Options& options) {
  if (kind == Kind::Pdf) return detail::PdfSource(document);
  if (auto language = LanguageOfKind(kind)) return detail::JobSource(document, *language, options.SourceDpi, target);
  return detail::PictureSource(document, kind, options.SourceDpi);
}

// The pages to print, from 0, in the order the list names them.
std::vector<int> Selected(const Options& options, int count) {
  std::vector<int> pages;
  if (options.Pages.empty()) {
    for (int i = 0; i < count; ++i) pages.push_back(i);
    return pages;
  }
  for (auto [first, last] : options.Pages) {
    if (first > count)
      throw DocumentError("page " + std::to_string(first) + " asked for, the document has " + std::to_string(count));
    for (int p = first; p <= std::min(last, count); ++p) pages.push_back(p - 1);
  }
  return pages;
}

}  // namespace

const char* NameOf(Kind kind) {
  switch (kind) {
    case Kind::Pdf: return "PDF";
    case Kind::Png: return "PNG";
    case Kind::Jpeg: return "JPEG";
    case Kind::Gif: return "GIF";
    case Kind::Bmp: return "BMP";
    case Kind::Zpl: return "ZPL";
    case Kind::Sbpl: return "SBPL";
    case Kind::Tspl: return "Orx";
  }
  return "?";
}

std::optional<Kind> KindOf(std::string_view b) {
  // A PDF may have a few bytes before its header (the format allows 1024).
  if (b.substr(0, 1024).find("%PDF-") != std::string_view::npos) return Kind::Pdf;
  if (b.starts_with("\x89PNG\r\n\x1a\n")) return Kind::Png;
  if (b.starts_with("\xFF\xD8\xFF")) return Kind::Jpeg;
  if (b.starts_with("GIF87a") || b.starts_with("GIF89a")) return Kind::Gif;
  if (b.starts_with("BM") && b.size() > 26) return Kind::Bmp;
  if (auto language = preview::Detect(b)) {
    switch (*language) {
      case lang::Language::Zpl: return Kind::Zpl;
      case lang::Language::Sbpl: return Kind::Sbpl;
      case lang::Language::Tspl: return Kind::Tspl;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::pair<int, int>>> PageList(std::string_view text, std::string* why) {
  std::vector<std::pair<int, int>> ranges;
  auto number = [](std::string_view digits, int& into) {
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), into);
    return error == std::errc() && end == digits.data() + digits.size() && into >= 1;
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
                        (dash + 1 == part.size() ? (last = 1 << 30, true) : number(part.substr(dash + 1), last));
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
    long n = 0;
    auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (error != std::errc() || end != v.data() + v.size() || n < low || n > high) return false;
    into = static_cast<int>(n);
    return true;
  };
  auto millimetres = [](std::string_view v, double& into) {
    const std::string text(v);
    char* end = nullptr;
    const double mm = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(mm >= 1 && mm <= 2000)) return false;
    into = mm;
    return true;
  };
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
      r.How.Scale = word == "fit" ? Scaling::Fit : Scaling::Actual;
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
  return r;
}

Report detail::DrawPages(std::string_view document, const Target& target, const Options& options,
                         const std::function<bool(const render::Bitmap&, int copies)>& page, const Progress& progress) {
  const auto kind = KindOf(document);
  if (!kind) throw DocumentError("not a PDF, PNG, JPEG, GIF, BMP, ZPL, SBPL or Orx document");
  auto source = SourceOf(document, *kind, target, options);
  Report report;
  report.Pages = source->Count();
  const std::vector<int> pages = Selected(options, report.Pages);
  for (size_t k = 0; k < pages.size(); ++k) {
    const int index = pages[k];
    const detail::PageSize size = source->Size(index);
    detail::Region region{0, 0, size.Width, size.Height};
    if (options.Cropping == Crop::Auto && !LanguageOfKind(*kind) && detail::IsSheet(size, target)) {
      region = detail::LabelPart(*source, index, size);
      if (region.Width < size.Width || region.Height < size.Height)
        report.Notes.push_back("page " + std::to_string(index + 1) + ": the label part of the sheet printed (" +
                               std::to_string(std::lround(region.Width / 72 * 25.4)) + " x " +
                               std::to_string(std::lround(region.Height / 72 * 25.4)) +
                               " mm); --crop none prints it whole");
    }
    const detail::Placement placement = detail::Place(region, target, options, index + 1);
    const render::Bitmap dots = detail::DrawPage(*source, index, placement);
    if (!page(dots, options.Copies * source->CopiesOf(index)))
      throw DocumentError("the printer stopped taking the job at page " + std::to_string(index + 1));
    ++report.Printed;
    if (progress) progress(static_cast<int>(k + 1), static_cast<int>(pages.size()));
  }
  for (auto& note : source->Notes()) report.Notes.push_back(std::move(note));
  return report;
}

Report Print(std::string_view document, const Target& target, const Options& options, const Sink& sink,
             const Progress& progress) {
  const auto kind = KindOf(document);
  if (kind && target.Speaks && LanguageOfKind(*kind) == target.Speaks) {
    if (!options.Pages.empty()) throw DocumentError("a job in the printer's own language is sent whole (no --pages)");
    Report report;
    report.AsItIs = true;
    for (int c = 0; c < options.Copies; ++c) {
      if (!sink(document)) throw DocumentError("the printer stopped taking the job");
      report.Bytes += document.size();
    }
    report.Pages = report.Printed = 1;
    return report;
  }
  if (!target.Speaks)
    throw DocumentError("'" + target.Name + "' prints through its vendor's drawing library and takes no printer bytes");
  uint64_t bytes = 0;
  Report report = detail::DrawPages(
      document, target, options,
      [&](const render::Bitmap& dots, int copies) {
        std::string label;
        switch (*target.Speaks) {
          case lang::Language::Zpl:
            label = lang::zpl::LabelOfPicture(dots, {options.Compression, 32 * 1024, copies});
            break;
          case lang::Language::Sbpl: label = lang::sbpl::LabelOfPicture(dots, target.Dpi, copies); break;
          case lang::Language::Tspl: label = lang::tspl::LabelOfPicture(dots, target.Dpi, copies); break;
        }
        bytes += label.size();
        return sink(label);
      },
      progress);
  report.Bytes = bytes;
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
    const lang::PrinterLanguage language = lang::LanguageOfPrinter(target.Name);
    if (!language.Speaks && !language.Catalogued)
      throw DocumentError("the language of '" + target.Name +
                          "' cannot be told from its name (a Zebra, SATO, Orx or Dothan name is needed)");
    target.Speaks = language.Speaks;
    if (target.Dpi < 50 || target.Dpi > 2400)
      throw DocumentError("'" + target.Name + "' has no usable resolution (" + std::to_string(target.Dpi) + " dpi)");
    return target;
  }
  throw DocumentError("no installed printer is named '" + printerName + "' (morvel printers lists them)");
}

}  // namespace morvel::print

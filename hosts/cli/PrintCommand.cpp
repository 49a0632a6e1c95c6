// `morvel print [-d PRINTER] [OPTIONS] FILE...`: documents (PDF, pictures,
// jobs in a printer language) on a label printer, or into a file of the
// printer's bytes with --output.
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>

#include "hosts/cli/Options.h"
#include "hosts/print/Print.h"

namespace morvel::cli {
namespace {

// Documents beyond this are not read: no label document comes near it.
constexpr size_t MaxDocumentBytes = 256u << 20;

bool ReadDocument(const Invocation& call, const std::string& file, std::string& bytes) {
  std::istream* in = &call.In;
  std::ifstream opened;
  if (file != "-") {
    opened.open(file, std::ios::binary);
    if (!opened) {
      call.Err << "morvel print: " << file << ": error: cannot be read; nothing sent\n";
      return false;
    }
    in = &opened;
  }
  char chunk[65536];
  while (in->read(chunk, sizeof chunk) || in->gcount() > 0) {
    if (bytes.size() + static_cast<size_t>(in->gcount()) > MaxDocumentBytes) {
      call.Err << "morvel print: " << file << ": error: larger than " << (MaxDocumentBytes >> 20)
               << " MiB, no label document is; nothing sent\n";
      return false;
    }
    bytes.append(chunk, static_cast<size_t>(in->gcount()));
  }
  if (bytes.empty()) {
    call.Err << "morvel print: " << (file == "-" ? "<stdin>" : file) << ": error: empty; nothing sent\n";
    return false;
  }
  return true;
}

struct Choices {
  std::string Printer, Output, Rotate = "auto", Crop = "auto", Pages, Language, Compression = "z64";
  bool Fit = false, Actual = false;
  int Copies = 1, Dpi = 0, PictureDpi = 203;
  double Width = 0, Height = 0;
  std::vector<std::string> Files;
};

// The printer the bytes are for: an installed one, or, for --output alone,
// the language and resolution told.
print::Target TargetOf(const Choices& c) {
  print::Target target;
  if (!c.Printer.empty()) {
    target = print::TargetNamed(c.Printer);
  } else {
    target.Name = c.Language;
    target.Speaks = lang::LanguageNamed(c.Language);
  }
  if (c.Dpi > 0) target.Dpi = c.Dpi;
  if (c.Width > 0) target.WidthMm = c.Width;
  if (c.Height > 0) target.HeightMm = c.Height;
  return target;
}

int PrintOne(const Invocation& call, const Choices& c, const print::Target& target, const print::Options& options,
             const std::string& file, std::ofstream* output) {
  const std::string shown = file == "-" ? "<stdin>" : file;
  std::string document;
  if (!ReadDocument(call, file, document)) return 1;
  const bool showProgress = isatty(STDERR_FILENO) && &call.Err == &std::cerr;
  bool progressShown = false;
  auto progress = [&](int done, int total) {
    if (!showProgress || total < 2) return;
    call.Err << "\r" << shown << ": page " << done << " of " << total << std::flush;
    progressShown = true;
  };
  print::Report report;
  try {
    if (output)
      report = print::Print(
          document, target, options,
          [&](std::string_view bytes) {
            output->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            return static_cast<bool>(*output);
          },
          progress);
    else
      report = print::PrintTo(target, document, file == "-" ? "morvel print" : file, options, progress);
  } catch (const print::DocumentError& e) {
    if (progressShown) call.Err << "\n";
    call.Err << "morvel print: " << shown << ": error: " << e.what()
             << (report.Printed == 0 ? "; nothing sent\n" : "\n");
    return 1;
  }
  if (progressShown) call.Err << "\n";
  for (const auto& note : report.Notes) call.Err << shown << ": " << note << "\n";
  call.Out << shown << ": "
           << (report.AsItIs ? "sent as it is"
                             : std::to_string(report.Printed) + " of " + std::to_string(report.Pages) + " pages")
           << " to " << (output ? c.Output : target.Name);
  if (output || target.Speaks) call.Out << ", " << report.Bytes << " bytes";
  call.Out << "\n";
  return 0;
}

}  // namespace

int PrintMain(const Invocation& call) {
  Choices c;
  OptionParser options(call);
  options.Text("-d, --printer", c.Printer);
  options.Text("-o, --output", c.Output);
  options.Flag("--fit", c.Fit);
  options.Flag("--actual", c.Actual);
  options.Choice("--rotate", {"auto", "0", "90", "180", "270"}, c.Rotate);
  options.Choice("--crop", {"auto", "none"}, c.Crop);
  options.Text("--pages", c.Pages);
  options.Number("--copies", c.Copies, 1, 999);
  options.Millimetres("--width", c.Width);
  options.Millimetres("--height", c.Height);
  options.Choice("--language", {"zpl", "sbpl", "orx"}, c.Language);
  options.Number("--dpi", c.Dpi, 50, 2400, "dots per inch");
  options.Number("--picture-dpi", c.PictureDpi, 50, 2400, "dots per inch");
  options.Choice("--compression", {"z64", "ascii"}, c.Compression);
  options.Operands(c.Files, 1, SIZE_MAX, "FILE (a document, or - for standard input)");
  if (auto status = options.Parse()) return *status;
  if (c.Fit && c.Actual) return UsageFault(call, "--fit and --actual exclude each other");
  if (c.Printer.empty() && (c.Output.empty() || c.Language.empty()))
    return UsageFault(call, "name the printer with -d PRINTER (or give --output FILE and --language)");
  print::Options how;
  how.Scale = c.Actual ? print::Scaling::Actual : print::Scaling::Fit;
  how.Rotate = c.Rotate == "auto" ? -1 : std::stoi(c.Rotate);
  how.Cropping = c.Crop == "none" ? print::Crop::None : print::Crop::Auto;
  how.Copies = c.Copies;
  how.SourceDpi = c.PictureDpi;
  how.Compression =
      c.Compression == "ascii" ? lang::zpl::GraphicCompression::Ascii : lang::zpl::GraphicCompression::Z64;
  if (!c.Pages.empty()) {
    std::string why;
    auto pages = print::PageList(c.Pages, &why);
    if (!pages) return UsageFault(call, "--pages: " + why);
    how.Pages = *pages;
  }
  print::Target target;
  try {
    target = TargetOf(c);
  } catch (const print::DocumentError& e) {
    call.Err << "morvel print: error: " << e.what() << "; nothing sent\n";
    return 1;
  }
  std::ofstream output;
  if (!c.Output.empty()) {
    output.open(c.Output, std::ios::binary | std::ios::trunc);
    if (!output) {
      call.Err << "morvel print: cannot write " << c.Output << "\n";
      return 1;
    }
  }
  int status = 0;
  for (const auto& file : c.Files)
    status = std::max(status, PrintOne(call, c, target, how, file, c.Output.empty() ? nullptr : &output));
  if (output.is_open()) {
    output.close();
    if (!output) {
      call.Err << "morvel print: cannot write " << c.Output << "\n";
      return 1;
    }
  }
  return status;
}

}  // namespace morvel::cli

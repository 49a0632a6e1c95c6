// `morvel print [-d PRINTER] [OPTIONS] FILE...`: documents (PDF, pictures,
// jobs in a printer language) on a label printer, or into a file of the
// printer's bytes with --output.
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>

#include "core/numbers.h"
#include "hosts/cli/Options.h"
#include "lang/Languages.h"
#include "platform/document_files.h"
#include "print/Print.h"

namespace morvel::cli {
namespace {

// Documents beyond this are not read: no label document comes near it.
constexpr size_t MaxDocumentBytes = 256u << 20;

// How long a document that is not a regular file (a pipe, a FIFO, a
// device) may give no byte before it is refused: a FIFO nobody writes to
// never ends otherwise.
int DocumentWaitMs() {
  return static_cast<int>(core::WholeNumberSetting("MORVEL_DOCUMENT_WAIT_MS", 1, 3600 * 1000, 30000));
}

bool ReadDocument(const Invocation& call, const std::string& file, std::string& bytes) {
  const std::string shown = file == "-" ? "<stdin>" : file;
  std::string why;
  if (file == "-") {
    char chunk[65536];
    while (why.empty() && (call.In.read(chunk, sizeof chunk) || call.In.gcount() > 0)) {
      if (bytes.size() + static_cast<size_t>(call.In.gcount()) > MaxDocumentBytes)
        why = "larger than " + std::to_string(MaxDocumentBytes >> 20) + " MiB, no label document is";
      else
        bytes.append(chunk, static_cast<size_t>(call.In.gcount()));
    }
  } else {
    why = platform::ReadDocumentFile(file, MaxDocumentBytes, DocumentWaitMs(), bytes);
  }
  if (why.empty() && bytes.empty()) why = "empty";
  if (why.empty()) return true;
  call.Err << "morvel print: " << shown << ": error: " << why << "; nothing sent\n";
  return false;
}

// --output: replaced only when every document printed whole
// (platform/document_files.h).
class OutputFile : public platform::ReplacingFile {
 public:
  // Writes all of `bytes`; DocumentError with the cause when it cannot.
  void Write(std::string_view bytes) {
    if (const std::string why = platform::ReplacingFile::Write(bytes); !why.empty())
      throw print::DocumentError("cannot write " + Path() + " (" + why + ")");
  }
};

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

// Prints one document; the line that tells it went, or nullopt after
// telling on standard error why it did not.
std::optional<std::string> PrintOne(const Invocation& call, const print::Target& target, const print::Options& options,
                                    const std::string& file, OutputFile* output) {
  const std::string shown = file == "-" ? "<stdin>" : file;
  std::string document;
  if (!ReadDocument(call, file, document)) return std::nullopt;
  const bool showProgress = platform::StandardErrorIsTerminal() && &call.Err == &std::cerr;
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
            output->Write(bytes);
            return true;
          },
          progress);
    else
      report = print::PrintTo(target, document, file == "-" ? "morvel print" : file, options, progress);
  } catch (const print::DocumentError& e) {
    if (progressShown) call.Err << "\n";
    // What went into a temporary that is thrown away went nowhere.
    call.Err << "morvel print: " << shown << ": error: "
             << (output && output->Replaces() ? std::string(e.what()) + "; nothing written" : print::Told(e)) << "\n";
    return std::nullopt;
  }
  if (progressShown) call.Err << "\n";
  for (const auto& note : report.Notes) call.Err << shown << ": " << note << "\n";
  std::string line =
      shown + ": " +
      (report.AsItIs ? std::string("sent as it is")
                     : std::to_string(report.Printed) + " of " + std::to_string(report.Pages) + " pages") +
      " to " + (output ? output->Path() : target.Name);
  if (output || target.Speaks) line += ", " + std::to_string(report.Bytes) + " bytes";
  return line + "\n";
}

// Every document into the output file: in place only when all printed.
int PrintAll(const Invocation& call, const Choices& c, const print::Target& target, const print::Options& how) {
  std::unique_ptr<OutputFile> output;
  if (!c.Output.empty()) {
    output = std::make_unique<OutputFile>();
    if (const std::string why = output->Open(c.Output); !why.empty()) {
      call.Err << "morvel print: cannot write " << c.Output << ": " << why << "; nothing sent\n";
      return 1;
    }
  }
  // A document's line is true once its bytes went: at once to a printer or
  // a device, only once the file is in place for a file replaced.
  const bool replaces = output && output->Replaces();
  std::vector<std::string> done;
  int failed = 0;
  for (const auto& file : c.Files) {
    auto line = PrintOne(call, target, how, file, output.get());
    if (!line)
      ++failed;
    else if (replaces)
      done.push_back(std::move(*line));
    else
      call.Out << *line << std::flush;
  }
  if (replaces && failed > 0) {
    output->Discard();
    call.Err << "morvel print: " << c.Output << " left as it was: " << failed << " of " << c.Files.size()
             << " documents failed, so nothing is written\n";
    return 1;
  }
  if (output) {
    if (const std::string why = output->Commit(); !why.empty()) {
      call.Err << "morvel print: cannot write " << c.Output << " (" << why << ")"
               << (replaces ? "; it is left as it was\n" : "\n");
      return 1;
    }
  }
  for (const auto& line : done) call.Out << line;
  return failed > 0 ? 1 : 0;
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
  options.Choice("--language", lang::LanguageWords(), c.Language);
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
  if (const std::string beyond = print::TooManyLabels(how); !beyond.empty()) {
    call.Err << "morvel print: error: " << beyond << "; nothing sent\n";
    return 1;
  }
  print::Target target;
  try {
    target = TargetOf(c);
  } catch (const print::DocumentError& e) {
    call.Err << "morvel print: error: " << print::Told(e) << "\n";
    return 1;
  }
  return PrintAll(call, c, target, how);
}

}  // namespace morvel::cli

// `morvel preview`: a job file (or standard input) to one PNG per label,
// or one PDF of them all.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "hosts/cli/Options.h"
#include "lang/Languages.h"
#include "preview/Preview.h"
#include "render/Page.h"

namespace morvel::cli {
namespace {

using namespace morvel::preview;
using morvel::lang::Label;
using morvel::lang::Language;

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

std::string StemOf(const std::string& path) {
  std::string stem = path;
  size_t slash = stem.rfind('/');
  size_t dot = stem.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
  return stem;
}

// Where the pictures go: one file (a .png of a one-label job, or a .pdf),
// or STEM-K.png / STEM.pdf.
struct Places {
  std::string Stem;
  bool Single = false;
};

// A folder that does not exist yet is made when OUT says it is one.
bool PlanPlaces(const std::string& job, const std::string& output, bool pdf, size_t labels, Places& places,
                std::ostream& err) {
  places.Stem = job == "-" ? "preview" : StemOf(job);
  if (output.empty()) return true;
  if (output.back() == '/' && !IsFolder(output)) {
    std::error_code error;
    std::filesystem::create_directories(output, error);
    if (error) {
      err << "morvel preview: cannot make the folder " << output << ": " << error.message() << "; no picture written\n";
      return false;
    }
  }
  const std::string extension = pdf ? ".pdf" : ".png";
  std::string& stem = places.Stem;
  if (IsFolder(output)) {
    size_t slash = stem.rfind('/');
    stem = output + (output.back() == '/' ? "" : "/") + (slash == std::string::npos ? stem : stem.substr(slash + 1));
  } else if (output.size() > 4 && output.substr(output.size() - 4) == extension) {
    places.Single = pdf || labels == 1;
    stem = output.substr(0, output.size() - 4);
  } else {
    stem = output;
  }
  return true;
}

// Each label is drawn, written and let go before the next: a job of
// thousands of labels never holds more than one picture.
class Drawing {
 public:
  Drawing(const Invocation& call, std::string shown, std::string output, const Places& places, bool pdf, int dpi,
          Media media)
      : call_(call),
        shown_(std::move(shown)),
        output_(std::move(output)),
        places_(places),
        dpi_(dpi),
        media_(media),
        pdfPath_(places.Single ? output_ : places.Stem + ".pdf") {
    if (pdf) document_.emplace(pdfPath_);
  }

  bool Ready() {
    if (!document_ || document_->Ok()) return true;
    call_.Err << "morvel preview: cannot write " << pdfPath_ << "\n";
    return false;
  }

  void Draw(const Label& label) {
    if (stopped_) return;
    std::vector<std::string> problems;
    core::Bitmap dots;
    try {
      dots = Paint(label, dpi_, &problems, media_);
    } catch (const std::exception& e) {
      // One label that cannot be drawn spoils no other: it is told and left out.
      problems.push_back(std::string("label ") + std::to_string(k_ + 1) + " not drawn: " + e.what());
      failed_ = true;
    }
    for (const auto& p : problems) call_.Err << shown_ << ": warning: " << p << "\n";
    if (dots.Width() == 0) {
      ++k_;
      return;
    }
    const std::string path = document_        ? pdfPath_
                             : places_.Single ? output_
                                              : places_.Stem + "-" + std::to_string(k_ + 1) + ".png";
    if (document_ && !document_->Add(dots, dpi_)) {
      call_.Err << "morvel preview: cannot write " << pdfPath_ << "\n";
      stopped_ = true;
      return;
    }
    if (!document_ && !WritePng(dots, path)) {
      // Told once: the next labels would go to the same place.
      call_.Err << "morvel preview: cannot write " << path << "; the remaining pictures are not written\n";
      stopped_ = true;
      return;
    }
    call_.Out << path << ": label " << k_ + 1 << ", copies " << label.Copies << "\n";
    for (const auto& note : label.Notes) call_.Out << "  " << note << "\n";
    ++k_;
  }

  // The exit status once every label was drawn.
  int Finish() {
    if (stopped_ || failed_) return 1;
    if (document_ && !document_->Finish()) {
      call_.Err << "morvel preview: cannot write " << pdfPath_ << "\n";
      return 1;
    }
    return 0;
  }

 private:
  bool WritePng(const core::Bitmap& dots, const std::string& path) {
    const auto png = render::EncodePng(dots, dpi_);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    file.close();
    return static_cast<bool>(file);
  }

  const Invocation& call_;
  const std::string shown_, output_;
  const Places& places_;
  const int dpi_;
  const Media media_;
  const std::string pdfPath_;
  std::optional<render::PdfWriter> document_;
  size_t k_ = 0;
  bool stopped_ = false;
  bool failed_ = false;  // a label was left out
};

bool ReadJob(const Invocation& call, const std::string& job, std::string& bytes) {
  if (job == "-") {
    bytes.assign(std::istreambuf_iterator<char>(call.In), {});
    return true;
  }
  std::ifstream in(job, std::ios::binary);
  if (!in) {
    call.Err << "morvel preview: cannot read " << job << "\n";
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  return true;
}

}  // namespace

int PreviewMain(const Invocation& call) {
  std::string output, format, languageName;
  std::vector<std::string> named;
  int dpi = 203;
  double widthMm = 0, heightMm = 0;
  OptionParser options(call);
  options.Text("-o", output);
  options.Choice("--format", {"png", "pdf"}, format);
  options.Choice("--language", lang::LanguageWords(), languageName);
  options.Number("--dpi", dpi, 50, 2400, "dots per inch");
  options.Millimetres("--width", widthMm);
  options.Millimetres("--height", heightMm);
  options.Operands(named, 1, 1, "JOB (a job file, or - for standard input)");
  if (auto status = options.Parse()) return *status;
  const std::string& job = named[0];
  std::string bytes;
  if (!ReadJob(call, job, bytes)) return 1;
  std::ostream& err = call.Err;
  const std::string shown = job == "-" ? "<stdin>" : job;
  std::optional<Language> language =
      languageName.empty() ? lang::JobLanguage(bytes) : lang::LanguageNamed(languageName);
  if (!language) {
    err << "morvel preview: " << shown << ": error: not a " << lang::LanguageTitles()
        << " job (tell the language with --language); no picture written\n";
    return 1;
  }
  // Read once to know the job can be read whole (a job cut short gives no
  // picture) and how many labels it holds; it is then read again label by
  // label as they are drawn, so a job of thousands is never held whole.
  LabelsRead reading;
  try {
    reading = ReadLabels(bytes, *language, dpi, [](Label&&) {});
  } catch (const std::exception& e) {
    err << "morvel preview: " << shown << ": error: " << e.what() << "; no picture written\n";
    return 1;
  }
  for (const auto& w : reading.Warnings) err << shown << ": offset " << w.Offset << ": warning: " << w.Text << "\n";
  if (reading.Labels == 0) {
    err << "morvel preview: " << shown << ": the job prints no label\n";
    return 1;
  }
  if (!reading.Unpictured().empty()) err << shown << ": warning: " << reading.Unpictured() << "\n";
  const size_t labels = reading.Pictured;
  if (format.empty()) format = output.size() > 4 && output.substr(output.size() - 4) == ".pdf" ? "pdf" : "png";
  const bool pdf = format == "pdf";
  Places places;
  if (!PlanPlaces(job, output, pdf, labels, places, err)) return 1;
  Drawing drawing(call, shown, output, places, pdf, dpi, MediaOf(widthMm, heightMm, dpi));
  if (!drawing.Ready()) return 1;
  ReadLabels(bytes, *language, dpi, [&](Label&& label) { drawing.Draw(label); });
  return drawing.Finish();
}

}  // namespace morvel::cli

// `morvel preview`: a job file (or standard input) to one PNG per label.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "preview/Preview.h"

namespace morvel::preview {
namespace {

const char* const Help =
    "usage: morvel preview JOB [-o OUT] [--format png|pdf] [--language zpl|sbpl|orx] [--dpi N]\n"
    "  JOB   a job file, or - for standard input\n"
    "  OUT   a .png file (one label), a .pdf file, a folder (made when it ends in /),\n"
    "        or a name to which -K.png is added; by default the pictures go beside JOB\n"
    "        as JOB-K.png (preview-K.png for standard input)\n"
    "  --format png: one picture a label (the default); pdf: one PDF of all labels at true size\n"
    "  --dpi the printer's resolution, 203 unless told\n";

bool IsFolder(const std::string& path) {
  struct stat s {};
  return stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

std::string StemOf(const std::string& path) {
  std::string stem = path;
  size_t slash = stem.rfind('/');
  size_t dot = stem.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
  return stem;
}

}  // namespace

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string job, output, format;
  std::optional<Language> language;
  int dpi = 203;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    auto value = [&](const char* what) -> const std::string* {
      if (k + 1 >= args.size()) {
        err << "morvel preview: " << a << " needs " << what << "\n" << Help;
        return nullptr;
      }
      return &args[++k];
    };
    if (a == "-h" || a == "--help") {
      out << Help;
      return 0;
    } else if (a == "-o") {
      auto v = value("a file or folder");
      if (!v) return 2;
      output = *v;
    } else if (a == "--format") {
      auto v = value("png or pdf");
      if (!v) return 2;
      if (*v != "png" && *v != "pdf") {
        err << "morvel preview: unknown format '" << *v << "' (png or pdf)\n";
        return 2;
      }
      format = *v;
    } else if (a == "--language") {
      auto v = value("zpl, sbpl or orx");
      if (!v) return 2;
      language = LanguageNamed(*v);
      if (!language) {
        err << "morvel preview: unknown language '" << *v << "' (zpl, sbpl or orx)\n";
        return 2;
      }
    } else if (a == "--dpi") {
      auto v = value("a resolution");
      if (!v) return 2;
      auto n = detail::Whole(*v);
      if (!n || *n < 50 || *n > 2400) {
        err << "morvel preview: --dpi needs a whole number of dots per inch from 50 to 2400\n";
        return 2;
      }
      dpi = static_cast<int>(*n);
    } else if (job.empty() && (a == "-" || a.empty() || a[0] != '-')) {
      job = a;
    } else {
      err << "morvel preview: unexpected argument '" << a << "'\n" << Help;
      return 2;
    }
  }
  if (job.empty()) {
    err << Help;
    return 2;
  }
  std::string bytes;
  if (job == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(job, std::ios::binary);
    if (!in) {
      err << "morvel preview: cannot read " << job << "\n";
      return 1;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string shown = job == "-" ? "<stdin>" : job;
  if (!language) language = Detect(bytes);
  if (!language) {
    err << "morvel preview: " << shown << ": error: not a ZPL, SBPL or Orx job (tell the language with --language); no picture written\n";
    return 1;
  }
  // Read once to know the job can be read whole (a job cut short gives no
  // picture) and how many labels it holds; ZPL is then read again label by
  // label as they are drawn, so a job of thousands is never held whole.
  Job parsed;
  size_t labels = 0;
  const bool stream = *language == Language::Zpl;
  try {
    if (stream) parsed = ParseZpl(bytes, dpi, [&](Label&&) { ++labels; });
    else parsed = Parse(bytes, *language, dpi), labels = parsed.Labels.size();
  } catch (const std::exception& e) {
    err << "morvel preview: " << shown << ": error: " << e.what() << "; no picture written\n";
    return 1;
  }
  for (const auto& w : parsed.Warnings) err << shown << ": offset " << w.Offset << ": warning: " << w.Text << "\n";
  if (labels == 0) {
    err << "morvel preview: " << shown << ": the job prints no label\n";
    return 1;
  }
  if (format.empty()) format = output.size() > 4 && output.substr(output.size() - 4) == ".pdf" ? "pdf" : "png";
  const bool pdf = format == "pdf";

  std::string stem = job == "-" ? "preview" : StemOf(job);
  bool single = false;
  if (!output.empty()) {
    // A folder that does not exist yet is made when OUT says it is one.
    if (output.back() == '/' && !IsFolder(output)) {
      std::error_code error;
      std::filesystem::create_directories(output, error);
      if (error) {
        err << "morvel preview: cannot make the folder " << output << ": " << error.message() << "; no picture written\n";
        return 1;
      }
    }
    const std::string extension = pdf ? ".pdf" : ".png";
    if (IsFolder(output)) {
      size_t slash = stem.rfind('/');
      stem = output + (output.back() == '/' ? "" : "/") + (slash == std::string::npos ? stem : stem.substr(slash + 1));
    } else if (output.size() > 4 && output.substr(output.size() - 4) == extension) {
      single = pdf || labels == 1;
      stem = output.substr(0, output.size() - 4);
    } else {
      stem = output;
    }
  }
  // Each label is drawn, written and let go before the next: a job of
  // thousands of labels never holds more than one picture.
  std::optional<render::PdfWriter> document;
  const std::string pdfPath = single ? output : stem + ".pdf";
  if (pdf) {
    document.emplace(pdfPath);
    if (!document->Ok()) {
      err << "morvel preview: cannot write " << pdfPath << "\n";
      return 1;
    }
  }
  int status = 0;
  size_t k = 0;
  bool stopped = false;
  auto draw = [&](const Label& label) {
    if (stopped) return;
    std::vector<std::string> problems;
    render::Bitmap dots = Paint(label, dpi, &problems);
    for (const auto& p : problems) err << shown << ": warning: " << p << "\n";
    std::string path;
    if (pdf) {
      path = pdfPath;
      if (!document->Add(dots, dpi)) {
        err << "morvel preview: cannot write " << pdfPath << "\n";
        stopped = true;
        return;
      }
    } else {
      path = single ? output : stem + "-" + std::to_string(k + 1) + ".png";
      const auto png = render::EncodePng(dots, dpi);
      std::ofstream file(path, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
      file.close();
      if (!file) {
        // Told once: the next labels would go to the same place.
        err << "morvel preview: cannot write " << path << "; the remaining pictures are not written\n";
        stopped = true;
        return;
      }
    }
    out << path << ": label " << k + 1 << ", copies " << label.Copies << "\n";
    for (const auto& note : label.Notes) out << "  " << note << "\n";
    ++k;
  };
  if (stream) ParseZpl(bytes, dpi, [&](Label&& label) { draw(label); });
  else
    for (const Label& label : parsed.Labels) draw(label);
  if (stopped) return 1;
  if (document && !document->Finish()) {
    err << "morvel preview: cannot write " << pdfPath << "\n";
    status = 1;
  }
  return status;
}

}  // namespace morvel::preview

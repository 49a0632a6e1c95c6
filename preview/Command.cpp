// `morvel preview`: a job file (or standard input) to one PNG per label.
#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <iterator>

#include "preview/Preview.h"

namespace morvel::preview {
namespace {

const char* const Help =
    "usage: morvel preview JOB [-o OUT] [--language zpl|sbpl|orx] [--dpi N]\n"
    "  JOB   a job file, or - for standard input\n"
    "  OUT   a .png file (one label), a folder, or a name to which -K.png is added;\n"
    "        by default the pictures go beside JOB as JOB-K.png (preview-K.png for standard input)\n"
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
  std::string job, output;
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
  Preview preview;
  try {
    preview = MakePreview(bytes, language, dpi);
  } catch (const std::exception& e) {
    err << "morvel preview: " << shown << ": error: " << e.what() << "; no picture written\n";
    return 1;
  }
  for (const auto& w : preview.Warnings) err << shown << ": offset " << w.Offset << ": warning: " << w.Text << "\n";
  for (const auto& p : preview.Problems) err << shown << ": warning: " << p << "\n";
  if (preview.Pictures.empty()) {
    err << "morvel preview: " << shown << ": the job prints no label\n";
    return 1;
  }

  std::string stem = job == "-" ? "preview" : StemOf(job);
  bool single = false;
  if (!output.empty()) {
    if (IsFolder(output)) {
      size_t slash = stem.rfind('/');
      stem = output + "/" + (slash == std::string::npos ? stem : stem.substr(slash + 1));
    } else if (output.size() > 4 && output.substr(output.size() - 4) == ".png") {
      single = preview.Pictures.size() == 1;
      stem = output.substr(0, output.size() - 4);
    } else {
      stem = output;
    }
  }
  int status = 0;
  for (size_t k = 0; k < preview.Pictures.size(); ++k) {
    const Picture& picture = preview.Pictures[k];
    std::string path = single ? output : stem + "-" + std::to_string(k + 1) + ".png";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(picture.Png.data()), static_cast<std::streamsize>(picture.Png.size()));
    file.close();
    if (!file) {
      err << "morvel preview: cannot write " << path << "\n";
      status = 1;
      continue;
    }
    out << path << ": label " << k + 1 << ", copies " << picture.Copies << "\n";
    for (const auto& note : picture.Notes) out << "  " << note << "\n";
  }
  return status;
}

}  // namespace morvel::preview

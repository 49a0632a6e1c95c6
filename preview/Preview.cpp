// Telling a job's language, reading it whole, then drawing every label; a
// job that cannot be read whole gives no picture at all.
#include "preview/Preview.h"

#include <cctype>
#include <cmath>
#include <fstream>
#include <iterator>

#include "lang/Languages.h"
#include "lang/Reading.h"
#include "render/Page.h"

namespace morvel::preview {

using lang::Bounds;
using lang::Job;
using lang::Label;
using lang::Language;
using lang::MalformedJob;

LabelsRead ReadLabels(std::string_view bytes, Language language, int dpi, const std::function<void(Label&&)>& each) {
  LabelsRead reading;
  auto take = [&](Label&& label) {
    if (++reading.Labels > Bounds::PicturesPerJob) return;
    ++reading.Pictured;
    each(std::move(label));
  };
  Job job = lang::ReadingOf(language).Read(bytes, dpi, take, {});
  reading.Warnings = std::move(job.Warnings);
  return reading;
}

std::string LabelsRead::Unpictured() const {
  if (Labels <= Pictured) return {};
  return std::to_string(Labels) + " labels: the first " + std::to_string(Pictured) + " pictured, the other " +
         std::to_string(Labels - Pictured) + " counted (at most " + std::to_string(Bounds::PicturesPerJob) +
         " pictures a job)";
}

Preview MakePreview(std::string_view bytes, std::optional<Language> language, int dpi, const Media& media) {
  if (!language) language = lang::JobLanguage(bytes);
  if (!language)
    throw std::invalid_argument("not a " + lang::LanguageTitles() + " job (tell the language with --language)");
  ReadLabels(bytes, *language, dpi, [](Label&&) {});  // read whole before any picture
  Preview preview;
  LabelsRead reading = ReadLabels(bytes, *language, dpi, [&](Label&& label) {
    LabelPicture picture;
    picture.Png = render::EncodePng(Paint(label, dpi, &preview.Problems, media), dpi);
    picture.Copies = label.Copies;
    picture.Notes = label.Notes;
    preview.Pictures.push_back(std::move(picture));
  });
  preview.Warnings = std::move(reading.Warnings);
  if (!reading.Unpictured().empty()) preview.Problems.push_back(reading.Unpictured());
  return preview;
}

Media MediaOf(double widthMm, double heightMm, int dpi) {
  auto dots = [dpi](double mm) { return mm > 0 ? static_cast<int>(std::lround(mm / 25.4 * dpi)) : 0; };
  return {dots(widthMm), dots(heightMm)};
}

bool WritePicturesBeside(const std::string& jobPath, int dpi, std::vector<std::string>& report, const Media& media) {
  std::ifstream in(jobPath, std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  if (!in && !in.eof()) {
    report.push_back("cannot read the job");
    return false;
  }
  auto language = lang::JobLanguage(bytes);
  if (!language) return true;  // not a printer language the preview reads (a PNG page, say)
  Preview preview;
  try {
    preview = MakePreview(bytes, language, dpi, media);
  } catch (const MalformedJob& e) {
    report.push_back(std::string("no picture: ") + e.what());
    return false;
  } catch (const std::exception& e) {
    report.push_back(std::string("no picture: ") + e.what());
    return false;
  }
  for (const auto& w : preview.Warnings) report.push_back("offset " + std::to_string(w.Offset) + ": " + w.Text);
  for (const auto& p : preview.Problems) report.push_back(p);
  std::string stem = jobPath;
  size_t dot = stem.rfind('.');
  if (dot != std::string::npos && stem.find('/', dot) == std::string::npos) stem.resize(dot);
  bool ok = true;
  for (size_t k = 0; k < preview.Pictures.size(); ++k) {
    std::string path = stem + "-" + std::to_string(k + 1) + ".png";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto& png = preview.Pictures[k].Png;
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    out.close();
    if (!out) {
      report.push_back("cannot write " + path);
      ok = false;
    }
  }
  return ok;
}

}  // namespace morvel::preview

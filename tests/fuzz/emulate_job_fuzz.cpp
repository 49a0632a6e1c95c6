// libFuzzer target for what `morvel emulate` does with the bytes of a job
// before it draws: each language's reader through preview::ReadLabels, the
// bounds every label and job keep (lang::Bounds), and the job's record as
// the jobs folder and the page show it. Any bytes give labels and warnings
// or a MalformedJob; the bounds hold; warnings stay short; the record is
// valid JSON that lists every warning.
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "hosts/emulate/Emulator.h"
#include "preview/Preview.h"

namespace {

using morvel::lang::Bounds;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "emulate_job_fuzz: %s\n", what);
  std::abort();
}

void CheckLabel(const morvel::lang::Label& label) {
  long long rasters = 0;
  for (const auto& field : label.Fields)
    if (const auto* r = std::get_if<morvel::lang::GraphicField>(&field)) {
      const long long dots = static_cast<long long>(r->Dots.Width()) * r->Dots.Height();
      if (dots > Bounds::GraphicDots) Fail("a graphic beyond the bound");
      rasters += dots;
    }
  // ^IL brings a stored label's rasters back as one load.
  if (rasters > Bounds::LabelRasterDots + Bounds::StoredDots) Fail("a label's rasters beyond the bound");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  using morvel::lang::Language;
  for (Language language : {Language::Zpl, Language::Sbpl, Language::Tspl}) {
    morvel::emulate::JobRecord record;
    record.Language = language;
    record.File = "000001.zpl";
    record.Bytes = size;
    try {
      size_t passed = 0;
      morvel::preview::Reading read = morvel::preview::ReadLabels(bytes, language, 203, [&](auto&& label) {
        ++passed;
        CheckLabel(label);
      });
      if (passed != read.Pictured || read.Pictured > read.Labels || read.Pictured > Bounds::PicturesPerJob)
        Fail("labels pictured beyond the bound or miscounted");
      for (const auto& w : read.Warnings) {
        if (w.Offset > size) Fail("a warning's offset lies beyond the job");
        if (w.Text.size() > 600) Fail("a warning past its bound");
        record.Warnings.push_back("offset " + std::to_string(w.Offset) + ": " + w.Text);
      }
      if (!read.Unpictured().empty()) record.Warnings.push_back(read.Unpictured());
      record.LabelsTotal = read.Labels;
    } catch (const morvel::lang::MalformedJob& e) {
      record.Warnings.push_back(std::string("no picture: ") + e.what());
    }
    const nlohmann::json parsed = nlohmann::json::parse(morvel::emulate::RecordJson(record, 1), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) Fail("a record that is not JSON");
    if (parsed["warnings"].size() != record.Warnings.size()) Fail("a record that lost warnings");
  }
  return 0;
}

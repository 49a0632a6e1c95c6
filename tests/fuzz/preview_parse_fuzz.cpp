// libFuzzer target for the preview's three job readers: any bytes, read as
// ZPL, SBPL and Orx, either give labels and warnings or a MalformedJob;
// nothing else may escape, and every label's fields stay within the bounds
// the painter relies on. Small labels are drawn too, so the painter meets
// what the readers let through.
#include <cstdio>
#include <cstdlib>

#include "preview/Preview.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "preview_parse_fuzz: %s\n", what);
  std::abort();
}

void Check(const morvel::preview::Job& job, size_t size) {
  for (const auto& w : job.Warnings)
    if (w.Offset > size) Fail("a warning's offset lies beyond the job");
  for (const auto& label : job.Labels) {
    if (label.Width < 0 || label.Height < 0 || label.Width > morvel::preview::MaxLabelSide ||
        label.Height > morvel::preview::MaxLabelSide)
      Fail("label size out of bounds");
    if (label.Turn != 0 && label.Turn != 180) Fail("label turned by other than 0 or 180");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  using morvel::preview::Language;
  for (Language language : {Language::Zpl, Language::Sbpl, Language::Orx}) {
    try {
      morvel::preview::Job job = morvel::preview::Parse(bytes, language, 203);
      Check(job, size);
      // Drawing is slower than reading: only small jobs of few fields.
      if (size < 256 && job.Labels.size() <= 2) {
        for (auto& label : job.Labels) {
          if (label.Fields.size() > 8) continue;
          // Keep pages small so each input stays quick.
          label.Width = 200;
          label.Height = 200;
          morvel::preview::Paint(label, 203);
        }
      }
    } catch (const morvel::preview::MalformedJob& e) {
      if (e.Offset() > size) Fail("an error's offset lies beyond the job");
    }
  }
  return 0;
}

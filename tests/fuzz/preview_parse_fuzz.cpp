// libFuzzer target for the preview's three job readers: any bytes, read as
// ZPL, SBPL and Orx, either give labels and warnings or a MalformedJob;
// nothing else may escape, and every label's fields stay within the bounds
// the painter relies on. Small labels are drawn too, so the painter meets
// what the readers let through. preview_parse_fuzz.dict holds ZPL's words
// (field blocks, graphics in every form, stored formats, barcodes, prefix
// changes) so the fuzzer reaches them quickly:
//   preview_parse_fuzz -dict=tests/fuzz/preview_parse_fuzz.dict
#include <cstdio>
#include <cstdlib>

#include "lang/Reading.h"
#include "preview/Preview.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "preview_parse_fuzz: %s\n", what);
  std::abort();
}

void Check(const morvel::lang::Job& job, size_t size) {
  for (const auto& w : job.Warnings)
    if (w.Offset > size) Fail("a warning's offset lies beyond the job");
  for (const auto& label : job.Labels) {
    if (label.Width < 0 || label.Height < 0 || label.Width > morvel::lang::MaxLabelSide ||
        label.Height > morvel::lang::MaxLabelSide)
      Fail("label size out of bounds");
    if (label.Turn != 0 && label.Turn != 180) Fail("label turned by other than 0 or 180");
    for (const auto& field : label.Fields) {
      if (auto* r = std::get_if<morvel::lang::GraphicField>(&field)) {
        if (r->Dots.Width() > morvel::lang::MaxLabelSide || r->Dots.Height() > morvel::lang::MaxLabelSide)
          Fail("graphic larger than a label");
      } else if (auto* s = std::get_if<morvel::lang::Shape>(&field)) {
        if (s->Width < 0 || s->Height < 0 || s->Width > 32000 || s->Height > 32000 || s->Thickness < 1 ||
            s->Rounding < 0 || s->Rounding > 8)
          Fail("shape out of the guide's ranges");
      } else if (auto* b = std::get_if<morvel::lang::BarcodeField>(&field)) {
        if (b->Symbol.Module < 1 || b->Symbol.Module > 100 || b->Symbol.BarHeight < 1 || b->Symbol.BarHeight > 32000)
          Fail("barcode module or height out of range");
      } else if (auto* t = std::get_if<morvel::lang::TextField>(&field)) {
        // ^FB blocks are up to 9,999 dots wide, ^TB blocks as wide as a label (32,000).
        if (t->BlockLines < 1 || t->BlockWidth < 0 || t->BlockWidth > 32000) Fail("field block out of range");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  using morvel::lang::Language;
  for (Language language : {Language::Zpl, Language::Sbpl, Language::Tspl}) {
    try {
      morvel::lang::Job job = morvel::lang::ReadJob(bytes, language, 203);
      Check(job, size);
      // Drawing is slower than reading: only small jobs of few fields.
      if (size < 256 && job.Labels.size() <= 2) {
        for (auto& label : job.Labels) {
          if (label.Fields.size() > 8) continue;
          // Text blocks of many lines are slow to wrap; the readers are what is fuzzed.
          bool slow = false;
          for (const auto& field : label.Fields)
            if (auto* t = std::get_if<morvel::lang::TextField>(&field)) slow |= t->BlockLines > 50 || t->Height > 400;
          if (slow) continue;
          // Keep pages small so each input stays quick.
          label.Width = 200;
          label.Height = 200;
          morvel::preview::Paint(label, 203);
        }
      }
    } catch (const morvel::lang::MalformedJob& e) {
      if (e.Offset() > size) Fail("an error's offset lies beyond the job");
    }
  }
  return 0;
}

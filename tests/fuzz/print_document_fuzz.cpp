// libFuzzer target for morvel print's reading of documents: any bytes as a
// document (its kind told from them; pictures' headers read before any
// pixel; PDFs through poppler; other languages' jobs through the readers)
// printed for a 203 dpi Zebra's 4 x 6 inch labels, and as option words.
// Either labels or a DocumentError; nothing else may escape, no page may
// leave its label's size. Seeds: the sample documents.
//   print_document_fuzz -max_len=200000 CORPUS ../shared/doc-samples
#include <cstdio>
#include <cstdlib>

#include "print/Print.h"
#include "print/Sources.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "print_document_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvel::print;
  // The reader itself, here, where the fuzzer sees what it reaches.
  static const bool here = (detail::DrawPdfInThisProcess(&detail::InProcessPdfSource), true);
  (void)here;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string why;
  if (auto request = RequestOf(bytes.substr(0, 200), &why)) {
    if (request->How.Copies < 1 || request->How.Copies > 999) Fail("copies out of range");
  } else if (why.empty()) {
    Fail("options refused without a reason");
  }
  const Target zebra{"fuzz", morvel::lang::Language::Zpl, 203, 101.6, 152.4};
  Options options;
  options.Pages = {{1, 3}};  // a bounded run per input
  try {
    size_t labels = 0;
    Print(bytes, zebra, options, [&](std::string_view label) {
      if (label.substr(0, 20) != "^XA^LH0,0^PW812^LL12") Fail("a label not of the printer's size");
      ++labels;
      return true;
    });
    if (labels > 3) Fail("more labels than pages asked for");
  } catch (const DocumentError&) {
  }
  return 0;
}

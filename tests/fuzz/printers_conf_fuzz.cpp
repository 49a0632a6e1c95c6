// libFuzzer target for the printers.conf reader: any bytes give printers
// with distinct names (without regard to case), a non-empty uri without
// surrounding blanks and a dpi from 1 to 100,000, and never crash or hang.
#include <cstdio>
#include <cstdlib>

#include "platform/linux/adapters.h"
#include "platform/text_case.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "printers_conf_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("MORVEL_LOG", "/dev/null", 1);  // the reader logs every faulty line
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto printers = morvel::platform::ReadPrintersConf(text, "/fuzz/printers.conf");
  for (size_t i = 0; i < printers.size(); ++i) {
    const auto& p = printers[i];
    if (p.Uri.empty() || p.Uri.front() == ' ' || p.Uri.back() == ' ' || p.Uri.back() == '\t')
      Fail("a uri that is empty or keeps blanks");
    if (p.Dpi < 1 || p.Dpi > 100000) Fail("dpi out of range");
    if (p.Name.empty()) Fail("a printer without a name");
    for (size_t k = 0; k < i; ++k)
      if (morvel::text::EqualsIgnoreCase(p.Name, printers[k].Name)) Fail("a name listed twice");
  }
  return 0;
}

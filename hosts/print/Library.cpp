// libmorvel_print.so: the printing of documents as a library of its own,
// which libmorvel2.so's morvel_print_document loads at its first call, so
// that programs that never print a document never load poppler.
#include <cstring>

#include "hosts/print/Print.h"
#include "morvel/types.h"

namespace {

void Tell(char* why, size_t size, const std::string& text) {
  if (why == nullptr || size == 0) return;
  const size_t n = std::min(size - 1, text.size());
  std::memcpy(why, text.data(), n);
  why[n] = '\0';
}

}  // namespace

// 0 printed (`pages` receives the pages sent); 1 the document or the
// printer failed, 2 the options are wrong: `why` says how, cut to its size.
extern "C" __attribute__((visibility("default"))) int morvel_print_document_v1(const char* printer, const void* data,
                                                                               size_t size, const char* options,
                                                                               int* pages, char* why, size_t whySize) {
  using namespace morvel::print;
  try {
    std::string reason;
    auto request = RequestOf(options ? options : "", &reason);
    if (!request) return Tell(why, whySize, reason), 2;
    Target target = TargetNamed(printer);
    if (request->WidthMm > 0) target.WidthMm = request->WidthMm;
    if (request->HeightMm > 0) target.HeightMm = request->HeightMm;
    if (size == 0) return Tell(why, whySize, "the document is empty; nothing sent"), 1;
    const Report report =
        PrintTo(target, std::string_view(static_cast<const char*>(data), size), "document", request->How);
    if (pages) *pages = report.Printed;
    return 0;
  } catch (const DocumentError& e) {
    Tell(why, whySize, Told(e));
    return 1;
  } catch (const morvel::AutomationError& e) {
    Tell(why, whySize, e.Description());
    return 1;
  } catch (const std::exception& e) {
    Tell(why, whySize, std::string("internal error: ") + e.what());
    return 1;
  }
}

// morvel-pdf-pages: draws the pages of one PDF for the process that started
// it (see PdfPages.h), each page under its bounds of CPU time and memory.
// Not a command for users: it takes its descriptors from its parent.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/child_process.h"
#include "print/PdfPages.h"
#include "print/Sources.h"

namespace {

using morvel::print::DocumentError;
using namespace morvel::print::detail;
namespace platform = morvel::platform;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

void Tell(const PdfAnswer& answer) {
  while (platform::SendPacket(PdfChannelFd, &answer, sizeof answer) < 0 && errno == EINTR) {
  }
}

PdfAnswer Refusal(const char* why) {
  PdfAnswer answer;
  answer.Status = PdfAnswer::Refused;
  std::snprintf(answer.Why, sizeof answer.Why, "%s", why);
  return answer;
}

void Refuse(const char* why) { Tell(Refusal(why)); }

// Allocation past the bound: said so, and the process ends (nothing is
// allocated on the way out).
[[noreturn]] void OutOfMemory() {
  PdfAnswer answer;
  answer.Status = PdfAnswer::OutOfMemory;
  Tell(answer);
  std::_Exit(PdfOutOfMemoryExit);
}

// The page's pixels, mapped once for pages of the same size or smaller.
struct Mapping {
  void* At = nullptr;
  size_t Bytes = 0;
} pixels;

void Draw(Source& pdf, const PdfRequest& r) {
  PdfAnswer answer;
  const size_t bytes = static_cast<size_t>(r.Stride) * static_cast<size_t>(r.Height);
  const int64_t handed = platform::FileSize(PdfPageFd);
  if (r.Width < 1 || r.Height < 1 || r.Stride < r.Width * 4 || handed < 0 || static_cast<size_t>(handed) < bytes)
    return Refuse("the page's pixels were not handed over");
  if (bytes > pixels.Bytes) {
    if (pixels.At) platform::UnmapFile(pixels.At, pixels.Bytes);
    pixels.At = platform::MapFile(PdfPageFd, bytes, true);
    pixels.Bytes = pixels.At == nullptr ? 0 : bytes;
    if (pixels.At == nullptr) OutOfMemory();
  }
  cairo_surface_t* surface = cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels.At),
                                                                 CAIRO_FORMAT_RGB24, r.Width, r.Height, r.Stride);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_matrix_t matrix;
  cairo_matrix_init(&matrix, r.Matrix[0], r.Matrix[1], r.Matrix[2], r.Matrix[3], r.Matrix[4], r.Matrix[5]);
  cairo_set_matrix(cr, &matrix);
  try {
    pdf.Draw(r.Index, cr);
  } catch (const DocumentError& e) {
    answer = Refusal(e.what());
  }
  // cairo tells memory it could not have by its status, not by failing: a
  // page drawn in part is not a page.
  const cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  if (answer.Status == PdfAnswer::Done && cairo_surface_status(surface) == CAIRO_STATUS_NO_MEMORY)
    answer.Status = PdfAnswer::OutOfMemory;
  cairo_surface_destroy(surface);
  if (answer.Status == PdfAnswer::Done && status == CAIRO_STATUS_NO_MEMORY) answer.Status = PdfAnswer::OutOfMemory;
  Tell(answer);
}

}  // namespace

int main(int argc, char** argv) {
  // Ends with the process that started it, whatever becomes of that one.
  if (!platform::child::EndWithParent() || argc != 3) return 2;
  const long long memory = std::atoll(argv[1]);
  const int cpu = std::atoi(argv[2]);
  platform::child::NoCoreFile();
  // A sanitizer's shadow memory counts as data from the start, and would
  // leave no allocation room under any bound: its builds keep time bounds
  // alone.
  if (memory > 0 && !Sanitized) platform::child::BoundData(static_cast<uint64_t>(memory));
  std::set_new_handler(OutOfMemory);

  const int64_t document = platform::FileSize(PdfDocumentFd);
  if (document < 1) {
    Refuse("the document was not handed over");
    return 1;
  }
  const size_t size = static_cast<size_t>(document);
  void* bytes = platform::MapFile(PdfDocumentFd, size, false);
  if (bytes == nullptr) OutOfMemory();
  // From now on the page may use this much more CPU time; past it the
  // process ends.
  platform::child::AllowCpu(cpu);
  std::unique_ptr<Source> pdf;
  try {
    pdf = InProcessPdfSource(std::string_view(static_cast<const char*>(bytes), size));
  } catch (const DocumentError& e) {
    Refuse(e.what());
    std::_Exit(0);
  }
  PdfAnswer hello;
  hello.Count = pdf->Count();
  Tell(hello);
  // A page's time counts from the first request that names it: its size,
  // a rough drawing to find a sheet's label and its drawing share it.
  int page = -1;
  for (;;) {
    PdfRequest r;
    const long got = platform::ReceivePacket(PdfChannelFd, &r, sizeof r);
    if (got < 0 && errno == EINTR) continue;
    // The caller is done: the process ends as it is, the system taking back
    // what poppler and fontconfig keep for the process.
    if (got != static_cast<long>(sizeof r)) std::_Exit(0);
    if (r.Index != page) platform::child::AllowCpu(cpu);
    page = r.Index;
    if (r.Op == PdfRequest::Draw) {
      Draw(*pdf, r);
      continue;
    }
    PdfAnswer answer;
    try {
      const PageSize page = pdf->Size(r.Index);
      answer.Width = page.Width, answer.Height = page.Height;
    } catch (const DocumentError& e) {
      answer = Refusal(e.what());
    }
    Tell(answer);
  }
}

// PDF pages are drawn in a process of their own, morvel-pdf-pages, which
// this library starts for each PDF it prints: there each page is held to
// its bounds of CPU time and memory by the kernel (RLIMIT_CPU,
// RLIMIT_DATA), whatever the PDF makes poppler do, and a page that passes
// them, or makes the reader fail, ends that process, not the caller's.
//
// What the two processes share: the document in a memory file (descriptor
// 3 in the drawing process, read only), the page's pixels in another
// (descriptor 5, cairo's RGB24, sized by the caller before each page), and
// a packet socket (descriptor 4) that carries one Request and one Answer at
// a time.
#pragma once

#include <cstdint>

namespace morvel::print::detail {

// A page's bounds, the same for every host: 10 s of CPU time and 256 MiB
// of memory, or MORVEL_PAGE_CPU_SECONDS (1 to 600) and
// MORVEL_PAGE_MEMORY_MIB (64 to 4096) where they are set.
struct PageBounds {
  int CpuSeconds = 10;
  int MemoryMib = 256;
};
PageBounds PageBoundsNow();

inline constexpr int PdfDocumentFd = 3, PdfChannelFd = 4, PdfPageFd = 5;
// The drawing process's exit status when an allocation failed (past the
// memory bound); an answer may not have reached the caller.
inline constexpr int PdfOutOfMemoryExit = 3;

struct PdfRequest {
  enum : int32_t { Size = 1, Draw = 2 };
  int32_t Op = 0;
  int32_t Index = 0;  // the page, from 0
  // Draw: the page's pixels (RGB24, `Stride` bytes a row) and the transform
  // from the page's points to them, as cairo_matrix_t holds it.
  int32_t Width = 0, Height = 0, Stride = 0;
  double Matrix[6] = {1, 0, 0, 1, 0, 0};
};

struct PdfAnswer {
  enum : int32_t { Done = 0, Refused = 1, OutOfMemory = 2 };
  int32_t Status = Done;
  int32_t Count = 0;             // the first answer: the document's pages
  double Width = 0, Height = 0;  // Size: in points
  char Why[480] = {};            // Refused: the cause, for the user
};

}  // namespace morvel::print::detail

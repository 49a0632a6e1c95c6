// morvel: the command-line host. The shell (Shell.h) finds the command the
// line names and runs it.
#include <iostream>
#include <string>
#include <vector>

#include "hosts/cli/Shell.h"
#include "platform/console.h"
#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // A label's pictures take a few megabytes, allocated and let go label
  // after label (previews, the virtual printer, documents): kept in the
  // heap, they are not mapped, zeroed by page faults and unmapped again for
  // each label, which cost more than the drawing. At most 64 MiB stays.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
  argv = morvel::platform::PrepareConsole(argc, argv);
  std::ios::sync_with_stdio(true);
  return morvel::cli::RunShell({argv + 1, argv + argc}, std::cin, std::cout, std::cerr);
}

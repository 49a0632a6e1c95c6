/* The Linux side of the comparison: liborxlib.so prints the label of
 * orx_label.h on the printer named in argv[2] (the printers.conf of
 * MORVEL_PRINTERS says where its bytes go). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include "orx_label.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s LIBORXLIB PRINTER\n", argv[0]);
    return 2;
  }
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  struct Orx orx;
  void** slot = (void**)&orx;
  for (int i = 0; i < 16; ++i) {
    slot[i] = dlsym(lib, OrxExportNames[i]);
    if (slot[i] == NULL) {
      fprintf(stderr, "no entry point %s\n", OrxExportNames[i]);
      return 1;
    }
  }
  char pcx[] = "/tmp/orx-label-XXXXXX";
  int fd = mkstemp(pcx);
  if (fd < 0 || write(fd, OrxPcxBytes, sizeof OrxPcxBytes) != (ssize_t)sizeof OrxPcxBytes) return 1;
  close(fd);
  int failed = PrintOrxLabel(&orx, argv[2], pcx);
  unlink(pcx);
  if (failed != 0) fprintf(stderr, "%d calls of the label did not answer as expected\n", failed);
  return failed != 0;
}

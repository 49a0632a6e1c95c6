/* A plain C program that loads liborxlib.so with dlopen, finds its entry
 * points by name and prints a label on LPT1, here a file in a private device
 * folder. Exits non-zero on the first difference. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int32_t (*fn0)(void);
typedef int32_t (*fn1)(const char*);
typedef int32_t (*fn2)(const char*, const char*);
typedef int32_t (*fn7)(const char*, const char*, const char*, const char*, const char*, const char*, const char*);
typedef int32_t (*fn9)(const char*, const char*, const char*, const char*, const char*, const char*, const char*,
                       const char*, const char*);
typedef int32_t (*fontfn)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*);

static void* lib;

static void* entry(const char* name) {
  void* p = dlsym(lib, name);
  if (p == NULL) {
    fprintf(stderr, "no entry point %s\n", name);
    exit(1);
  }
  return p;
}

#define CHECK(cond)                                                      \
  do {                                                                   \
    if (!(cond)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
      return 1;                                                          \
    }                                                                    \
  } while (0)

int main(int argc, char** argv) {
  static const char* names[] = {"openport",   "closeport", "sendcommand", "usbportwrite", "usbportqueryprinter",
                                "about",      "setup",     "barcode",     "printerfont",  "clearbuffer",
                                "printlabel", "formfeed",  "nobackfeed",  "windowsfont",  "windowsfontU",
                                "downloadpcx"};
  char dir[] = "/tmp/orxlib-c-XXXXXX";
  char node[64], expected[512], got[4096];
  size_t i, n;
  FILE* f;
  int32_t font;

  lib = dlopen(argc > 1 ? argv[1] : "liborxlib.so", RTLD_NOW | RTLD_LOCAL);
  CHECK(lib != NULL);
  for (i = 0; i < sizeof names / sizeof names[0]; ++i) entry(names[i]);

  CHECK(mkdtemp(dir) != NULL);
  snprintf(node, sizeof node, "%s/lp0", dir);
  f = fopen(node, "w");
  CHECK(f != NULL);
  fclose(f);
  setenv("MORVEL_DEV_ROOT", dir, 1);
  setenv("MORVEL_CUPS", "0", 1);
  setenv("MORVEL_PRINTERS", "/dev/null", 1);

  CHECK(((fn1)entry("sendcommand"))("closed") == 0);
  CHECK(((fn1)entry("openport"))("lpt1") == 1);
  CHECK(((fn7)entry("setup"))("60", "40", "4", "10", "0", "2", "0") == 1);
  CHECK(((fn0)entry("clearbuffer"))() == 1);
  CHECK(((fn9)entry("barcode"))("16", "80", "128", "80", "1", "0", "2", "4", "12345678") == 1);
  font = ((fontfn)entry("windowsfont"))(16, 16, 24, 0, 2, 0, "DejaVu Sans", "C");
  CHECK(font == 1);
  CHECK(((fn2)entry("printlabel"))("1", "2") == 1);
  CHECK(((fn0)entry("closeport"))() == 1);
  CHECK(((fn0)entry("closeport"))() == 0);

  f = fopen(node, "rb");
  CHECK(f != NULL);
  n = fread(got, 1, sizeof got, f);
  fclose(f);
  snprintf(expected, sizeof expected, "%s",
           "SIZE 60 mm,40 mm\r\nSPEED 4\r\nDENSITY 10\r\nGAP 2 mm,0 mm\r\nCLS\r\n"
           "BARCODE 16,80,\"128\",80,1,0,2,4,\"12345678\"\r\nBITMAP 16,16,");
  CHECK(n > strlen(expected) && memcmp(got, expected, strlen(expected)) == 0);
  CHECK(n > 12 && memcmp(got + n - 12, "\r\nPRINT 1,2\r\n" + 1, 12) == 0);
  unlink(node);
  rmdir(dir);
  dlclose(lib);
  puts("liborxlib.so driven from C: ok");
  return 0;
}

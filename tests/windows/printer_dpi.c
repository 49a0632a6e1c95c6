/* Gives Wine's printers their resolutions: Wine's printer driver reports
 * 300 dpi for every queue until a DEVMODE with the printer's own resolution
 * is stored through SetPrinter level 2, as a user's printing preferences
 * would store it. Then lists every installed printer as EnumPrinters and
 * its DEVMODE show it, "NAME<TAB>DPI" a line, so the caller sees what a
 * program on this prefix will read.
 *
 *   printer_dpi.exe [NAME DPI]...     names in UTF-8 */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include <winspool.h>

static wchar_t* Wide(const char* utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
  wchar_t* out = calloc((size_t)(n > 0 ? n : 1), sizeof *out);
  if (out != NULL && n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out, n);
  return out;
}

static int Store(const char* name, int dpi) {
  wchar_t* wide = Wide(name);
  PRINTER_DEFAULTSW defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
  HANDLE printer = NULL;
  int ok = 0;
  if (wide != NULL && OpenPrinterW(wide, &printer, &defaults)) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, NULL, 0, &needed);
    BYTE* buffer = needed > 0 ? malloc(needed) : NULL;
    if (buffer != NULL && GetPrinterW(printer, 2, buffer, needed, &needed)) {
      PRINTER_INFO_2W* info = (PRINTER_INFO_2W*)buffer;
      if (info->pDevMode != NULL) {
        info->pDevMode->dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
        info->pDevMode->dmPrintQuality = (short)dpi;
        info->pDevMode->dmYResolution = (short)dpi;
        info->pSecurityDescriptor = NULL;
        ok = SetPrinterW(printer, 2, buffer, 0) != 0;
      }
    }
    free(buffer);
    ClosePrinter(printer);
  }
  if (!ok) fprintf(stderr, "cannot store %d dpi for '%s': error %lu\n", dpi, name, GetLastError());
  free(wide);
  return ok;
}

int main(int argc, char** argv) {
  if (argc % 2 != 1) {
    fprintf(stderr, "usage: %s [NAME DPI]...\n", argv[0]);
    return 2;
  }
  int failed = 0;
  for (int i = 1; i + 1 < argc; i += 2) failed += !Store(argv[i], atoi(argv[i + 1]));

  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, NULL, 2, NULL, 0, &needed, &count);
  BYTE* buffer = needed > 0 ? malloc(needed) : NULL;
  if (buffer == NULL || !EnumPrintersW(PRINTER_ENUM_LOCAL, NULL, 2, buffer, needed, &needed, &count)) {
    fprintf(stderr, "EnumPrinters failed: error %lu\n", GetLastError());
    return 1;
  }
  PRINTER_INFO_2W* info = (PRINTER_INFO_2W*)buffer;
  for (DWORD i = 0; i < count; ++i) {
    char name[1024];
    WideCharToMultiByte(CP_UTF8, 0, info[i].pPrinterName, -1, name, sizeof name, NULL, NULL);
    const DEVMODEW* mode = info[i].pDevMode;
    int dpi = mode != NULL && (mode->dmFields & DM_PRINTQUALITY) ? mode->dmPrintQuality : 0;
    printf("%s\t%d\n", name, dpi);
  }
  free(buffer);
  return failed != 0;
}

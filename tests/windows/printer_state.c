/* Sets a printer's spooler state as a user would, and shows what the
 * spooler then reports, so the status checks see what a program on this
 * prefix reads:
 *
 *   printer_state.exe NAME ACTION...    NAME in UTF-8
 *
 * ACTION is pause or resume (SetPrinter with PRINTER_CONTROL_PAUSE or
 * _RESUME, as the printer's queue window does), offline or online (the
 * PRINTER_ATTRIBUTE_WORK_OFFLINE attribute through SetPrinter level 2, as
 * "Use Printer Offline" does), or show: one line
 * "Status=0x........ Attributes=0x........ cJobs=N" of GetPrinter level 2.
 * Exits 1 when an action fails, saying which on standard error. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <winspool.h>

static wchar_t* Wide(const char* utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
  wchar_t* out = calloc((size_t)(n > 0 ? n : 1), sizeof *out);
  if (out != NULL && n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out, n);
  return out;
}

static PRINTER_INFO_2W* Info(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 2, NULL, 0, &needed);
  BYTE* buffer = needed > 0 ? malloc(needed) : NULL;
  if (buffer != NULL && GetPrinterW(printer, 2, buffer, needed, &needed)) return (PRINTER_INFO_2W*)buffer;
  free(buffer);
  return NULL;
}

static BOOL Act(HANDLE printer, const char* action) {
  if (strcmp(action, "pause") == 0) return SetPrinterW(printer, 0, NULL, PRINTER_CONTROL_PAUSE);
  if (strcmp(action, "resume") == 0) return SetPrinterW(printer, 0, NULL, PRINTER_CONTROL_RESUME);
  PRINTER_INFO_2W* info = Info(printer);
  if (info == NULL) return FALSE;
  BOOL ok = TRUE;
  if (strcmp(action, "show") == 0) {
    printf("Status=0x%08lx Attributes=0x%08lx cJobs=%lu\n", (unsigned long)info->Status,
           (unsigned long)info->Attributes, (unsigned long)info->cJobs);
  } else if (strcmp(action, "offline") == 0 || strcmp(action, "online") == 0) {
    if (action[1] == 'f')
      info->Attributes |= PRINTER_ATTRIBUTE_WORK_OFFLINE;
    else
      info->Attributes &= ~(DWORD)PRINTER_ATTRIBUTE_WORK_OFFLINE;
    info->pSecurityDescriptor = NULL;
    ok = SetPrinterW(printer, 2, (BYTE*)info, 0);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    ok = FALSE;
  }
  free(info);
  return ok;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: printer_state NAME pause|resume|offline|online|show...\n");
    return 2;
  }
  wchar_t* name = Wide(argv[1]);
  PRINTER_DEFAULTSW defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
  HANDLE printer = NULL;
  if (name == NULL || !OpenPrinterW(name, &printer, &defaults)) {
    fprintf(stderr, "cannot open printer '%s': error %lu\n", argv[1], (unsigned long)GetLastError());
    return 1;
  }
  int status = 0;
  for (int k = 2; k < argc; ++k) {
    if (!Act(printer, argv[k])) {
      fprintf(stderr, "%s '%s': error %lu\n", argv[k], argv[1], (unsigned long)GetLastError());
      status = 1;
    }
  }
  fflush(stdout);
  ClosePrinter(printer);
  free(name);
  return status;
}

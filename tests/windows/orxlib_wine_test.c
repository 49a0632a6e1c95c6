/* orxlib.dll as a Windows program sees it, run under Wine: loaded with
 * LoadLibraryA, every export found by its plain name, the label of
 * orx_label.h printed on a spooler printer (the harness compares its bytes
 * with liborxlib.so's), text rasters from GDI sent to LPT1 and checked
 * against GDI's own measure, and the message boxes caught by the sink.
 *
 *   orxlib_wine_test PRINTER LPT1-FILE MESSAGES-FILE
 *
 * Prints one line per check and "N passed, M failed"; exits 1 on a failure. */
#include <stdlib.h>
#include <windows.h>

#include "orx_label.h"

static int passed, failed;

static void Check(int ok, const char* name, const char* detail) {
  if (ok) {
    ++passed;
    printf("ok - %s\n", name);
  } else {
    ++failed;
    printf("not ok - %s%s%s\n", name, detail != NULL ? ": " : "", detail != NULL ? detail : "");
  }
}

/* The whole file, NUL-terminated; NULL when it cannot be read. */
static char* ReadAll(const char* path, DWORD* size) {
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  if (f == INVALID_HANDLE_VALUE) return NULL;
  DWORD length = GetFileSize(f, NULL), got = 0;
  char* data = (char*)malloc(length + 1);
  if (data == NULL || !ReadFile(f, data, length, &got, NULL)) got = 0;
  CloseHandle(f);
  if (data != NULL) data[got] = 0;
  *size = got;
  return data;
}

/* GDI's own measure of a text in the font the Windows design describes. */
static SIZE Measure(int height, const char* face, const char* ansi, const wchar_t* wide) {
  LOGFONTA font;
  memset(&font, 0, sizeof font);
  font.lfHeight = height;
  font.lfWeight = 400;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = DRAFT_QUALITY;
  font.lfPitchAndFamily = 0x1A;
  strcpy(font.lfFaceName, face);
  HDC dc = CreateCompatibleDC(NULL);
  HFONT f = CreateFontIndirectA(&font);
  HGDIOBJ old = SelectObject(dc, f);
  SIZE size = {0, 0};
  if (ansi != NULL)
    GetTextExtentPoint32A(dc, ansi, lstrlenA(ansi), &size);
  else
    GetTextExtentPoint32W(dc, wide, lstrlenW(wide), &size);
  SelectObject(dc, old);
  DeleteObject(f);
  DeleteDC(dc);
  return size;
}

/* One BITMAP command at `*at` of the captured bytes: its header must be
 * `expected`, its raster rows must follow whole with CR LF, and the raster
 * must hold glyph (0) and background (1) bits. Advances `*at`. */
static void CheckBitmap(const char* data, DWORD size, DWORD* at, const char* name, const char* expected, int rowBytes,
                        int rows) {
  char detail[256];
  size_t headerLength = strlen(expected);
  if (*at + headerLength > size || memcmp(data + *at, expected, headerLength) != 0) {
    snprintf(detail, sizeof detail, "expected header %s, got %.40s", expected, *at < size ? data + *at : "(end)");
    Check(0, name, detail);
    *at = size;
    return;
  }
  Check(1, name, NULL);
  DWORD raster = *at + (DWORD)headerLength, rasterSize = (DWORD)(rowBytes * rows);
  int whole =
      raster + rasterSize + 2 <= size && data[raster + rasterSize] == '\r' && data[raster + rasterSize + 1] == '\n';
  snprintf(detail, sizeof detail, "%d rows of %d bytes and CR LF do not follow", rows, rowBytes);
  Check(whole, "raster rows follow the header whole", whole ? NULL : detail);
  if (!whole) {
    *at = size;
    return;
  }
  long ink = 0, background = 0;
  for (DWORD i = 0; i < rasterSize; ++i)
    for (int bit = 0; bit < 8; ++bit)
      if (((unsigned char)data[raster + i] >> bit) & 1)
        ++background;
      else
        ++ink;
  snprintf(detail, sizeof detail, "%ld glyph and %ld background pixels", ink, background);
  /* A word of text covers a good share of its cell, never all of it. */
  Check(ink * 50 > ink + background && background > ink, "GDI drew the glyphs", detail);
  *at = raster + rasterSize + 2;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s PRINTER LPT1-FILE MESSAGES-FILE\n", argv[0]);
    return 2;
  }
  setvbuf(stdout, NULL, _IONBF, 0);
  const char* printer = argv[1];
  const char* lptFile = argv[2];
  const char* messagesFile = argv[3];

  HMODULE lib = LoadLibraryA("orxlib.dll");
  Check(lib != NULL, "LoadLibraryA(\"orxlib.dll\")", NULL);
  if (lib == NULL) {
    printf("%d passed, %d failed\n", passed, failed + 1);
    return 1;
  }
  struct Orx orx;
  FARPROC* slot = (FARPROC*)&orx;
  int missing = 0;
  char names[512] = "";
  for (int i = 0; i < 16; ++i) {
    slot[i] = GetProcAddress(lib, OrxExportNames[i]);
    if (slot[i] == NULL) {
      ++missing;
      strcat(names, " ");
      strcat(names, OrxExportNames[i]);
    }
  }
  Check(missing == 0, "every export is found by its plain name", missing != 0 ? names : NULL);
  Check(GetProcAddress(lib, "openport@4") == NULL && GetProcAddress(lib, "_openport@4") == NULL,
        "no decorated names are exported", NULL);
  if (missing != 0) {
    printf("%d passed, %d failed\n", passed, failed);
    return 1;
  }

  /* The label through the spooler; the harness compares its bytes. */
  char pcx[MAX_PATH + 16];
  GetTempPathA(MAX_PATH, pcx);
  strcat(pcx, "orx-label.pcx");
  HANDLE f = CreateFileA(pcx, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  DWORD wrote = 0;
  WriteFile(f, OrxPcxBytes, sizeof OrxPcxBytes, &wrote, NULL);
  CloseHandle(f);
  char detail[256];
  int refused = PrintOrxLabel(&orx, printer, pcx);
  snprintf(detail, sizeof detail, "%d calls did not answer as expected", refused);
  Check(refused == 0, "the label goes through the spooler printer", refused != 0 ? detail : NULL);
  DeleteFileA(pcx);

  /* Text rasters on LPT1, which the prefix maps to a file. */
  const char* face = "Liberation Sans";
  static const wchar_t wideText[] = {'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x20AC, 0};
  /* Bytes of the ANSI code page (in Windows-1252 "Grüße" and three em
   * dashes, wide glyphs that a '?' would not match): orxlib reads them
   * through CP_ACP, GDI's A functions read them the same way. */
  static const char ansiText[] =
      "Gr\xFC\xDF"
      "e \x97\x97\x97";
  SIZE upright = Measure(-40, face, "Morvel", NULL), wide = Measure(-32, face, NULL, wideText),
       ansi = Measure(-32, face, ansiText, NULL);
  Check(orx.openport("lpt1") == 1, "openport(\"lpt1\") opens the parallel port", NULL);
  Check(orx.windowsfont(50, 60, -40, 0, 0, 0, face, "Morvel") == 1, "windowsfont at 0 degrees", NULL);
  Check(orx.windowsfont(50, 600, -40, 90, 0, 0, face, "Morvel") == 1, "windowsfont at 90 degrees", NULL);
  Check(orx.windowsfontU(10, 20, -32, 0, 0, 0, face, (const orx_char16*)wideText) == 1, "windowsfontU", NULL);
  Check(orx.windowsfont(10, 200, -32, 0, 0, 0, face, ansiText) == 1, "windowsfont of ANSI text", NULL);
  Check(orx.windowsfont(10, 20, -32, 0, 0, 0, face, "") == 0, "windowsfont refuses an empty text", NULL);
  Check(orx.closeport() == 1, "closeport ends the parallel port", NULL);
  DWORD size = 0, at = 0;
  char* captured = ReadAll(lptFile, &size);
  Check(captured != NULL && size > 0, "the bytes reached LPT1", NULL);
  if (captured != NULL) {
    char expected[64];
    snprintf(expected, sizeof expected, "BITMAP 50,60,%ld,%ld,1,", (upright.cx + 7) / 8, upright.cy);
    CheckBitmap(captured, size, &at, "0 degrees: header from GDI's text extent", expected, (upright.cx + 7) / 8,
                upright.cy);
    snprintf(expected, sizeof expected, "BITMAP 50,%ld,%ld,%ld,1,", 600 - upright.cx, (upright.cy + 7) / 8, upright.cx);
    CheckBitmap(captured, size, &at, "90 degrees: header from GDI's text extent", expected, (upright.cy + 7) / 8,
                upright.cx);
    snprintf(expected, sizeof expected, "BITMAP 10,20,%ld,%ld,1,", (wide.cx + 7) / 8, wide.cy);
    CheckBitmap(captured, size, &at, "UTF-16 text: header from GDI's text extent", expected, (wide.cx + 7) / 8,
                wide.cy);
    snprintf(expected, sizeof expected, "BITMAP 10,200,%ld,%ld,1,", (ansi.cx + 7) / 8, ansi.cy);
    CheckBitmap(captured, size, &at, "ANSI text: header from GDI's text extent", expected, (ansi.cx + 7) / 8, ansi.cy);
    snprintf(detail, sizeof detail, "%lu bytes left over", (unsigned long)(size - at));
    Check(at == size, "nothing else reached LPT1", at != size ? detail : NULL);
    free(captured);
  }

  /* Message boxes reach the sink the harness set (MORVEL_MESSAGES). */
  Check(orx.openport("No Such Printer") == 0, "openport of an unknown name refuses", NULL);
  Check(orx.about() == 1, "about answers 1", NULL);
  char* messages = ReadAll(messagesFile, &size);
  const char* wanted =
      "[Error Message] Printer Driver is not been specified\n[DLL Version] Windows DLL Version V2.01.\n";
  Check(messages != NULL && strcmp(messages, wanted) == 0, "message boxes reach the sink",
        messages != NULL ? messages : "no messages file");
  free(messages);

  FreeLibrary(lib);
  printf("%d passed, %d failed\n", passed, failed);
  return failed != 0;
}

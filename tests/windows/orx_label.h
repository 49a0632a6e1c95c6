/* The Orx label that both sides print, call for call: the Windows program
 * through orxlib.dll under Wine, the Linux one through liborxlib.so, so the
 * bytes each printer receives can be compared whole. */
#ifndef MORVEL_TESTS_WINDOWS_ORX_LABEL_H
#define MORVEL_TESTS_WINDOWS_ORX_LABEL_H

#include <stdio.h>
#include <string.h>

#include "orxlib/orxlib.h"

typedef int32_t(ORXLIB_CALL* OrxFn0)(void);
typedef int32_t(ORXLIB_CALL* OrxFn1)(const char*);
typedef int32_t(ORXLIB_CALL* OrxFn2)(const char*, const char*);
typedef int32_t(ORXLIB_CALL* OrxFn7)(const char*, const char*, const char*, const char*, const char*, const char*,
                                     const char*);
typedef int32_t(ORXLIB_CALL* OrxFn9)(const char*, const char*, const char*, const char*, const char*, const char*,
                                     const char*, const char*, const char*);
typedef int32_t(ORXLIB_CALL* OrxFont)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*);
typedef int32_t(ORXLIB_CALL* OrxFontU)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                                       const orx_char16*);

/* The sixteen entry points, in the order of OrxExportNames. */
struct Orx {
  OrxFn1 openport;
  OrxFn0 closeport;
  OrxFn1 sendcommand;
  OrxFn1 usbportwrite;
  OrxFn0 usbportqueryprinter;
  OrxFn0 about;
  OrxFn7 setup;
  OrxFn9 barcode;
  OrxFn7 printerfont;
  OrxFn0 clearbuffer;
  OrxFn2 printlabel;
  OrxFn0 formfeed;
  OrxFn0 nobackfeed;
  OrxFont windowsfont;
  OrxFontU windowsfontU;
  OrxFn2 downloadpcx;
};

static const char* const OrxExportNames[16] = {
    "openport",   "closeport",   "sendcommand",  "usbportwrite", "usbportqueryprinter", "about",
    "setup",      "barcode",     "printerfont",  "clearbuffer",  "printlabel",          "formfeed",
    "nobackfeed", "windowsfont", "windowsfontU", "downloadpcx"};

/* The bytes downloadpcx stores: NUL, CR LF and 0xFF must pass unchanged. */
static const unsigned char OrxPcxBytes[8] = {'B', 'M', 0, '\r', '\n', 0xFF, 0x7F, 'Z'};

/* Prints the label on `printer`; `pcx` names a file holding OrxPcxBytes.
 * The number of calls that did not answer 1 (0 when all went). */
static int PrintOrxLabel(const struct Orx* orx, const char* printer, const char* pcx) {
  int failed = 0;
  failed += orx->openport(printer) != 1;
  failed += orx->setup("60", "40", "4", "10", "0", "2", "0") != 1;
  failed += orx->clearbuffer() != 1;
  failed += orx->downloadpcx(pcx, "TEST.BMP") != 1;
  failed += orx->barcode("16", "80", "128", "80", "1", "0", "2", "4", "12345678") != 1;
  failed += orx->barcode("16", "200", "EAN13", "60", "1", "90", "2", "2", "@VAR1") != 1;
  failed += orx->printerfont("300", "16", "3", "0", "1", "1", "Morvel \"Orx\"") != 1;
  failed += orx->sendcommand("PUTBMP 100,100,\"TEST.BMP\"") != 1;
  failed += orx->sendcommand("") != 1;
  failed += orx->nobackfeed() != 1;
  failed += orx->printlabel("1", "2") != 1;
  failed += orx->formfeed() != 1;
  failed += orx->closeport() != 1;
  /* Closed now: nothing more may go out. */
  failed += orx->sendcommand("AFTER CLOSE") != 0;
  failed += orx->closeport() != 0;
  return failed;
}

#endif

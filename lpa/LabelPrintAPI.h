/* libLabelPrintAPI.so: draws label pages and prints them on the printers of
 * the Morvel printer list (printers.conf, CUPS). One printer is open at a
 * time, and one job of one page: LPAStartJob, LPAStartPage, drawing calls,
 * LPAEndPage, LPACommitJob. Lengths are hundredths of a millimetre from the
 * top left corner of the page; text arguments are NUL-terminated strings in
 * the system ANSI code page. Every function returns 1 when done, 0 when it
 * failed (the reason goes to the Morvel log). Calls are serialised; the
 * library keeps one printer and one job per process.
 *
 * MORVEL_LPA_TRACE=FILE appends one line per call to FILE: the function's
 * name, then each argument after a TAB. */
#ifndef MORVEL_LABEL_PRINT_API_H
#define MORVEL_LABEL_PRINT_API_H

#include <stdint.h>

/* LabelPrintAPI.dll, made for VB6 Declare statements, uses the Windows
 * standard calling convention. */
#ifdef _WIN32
#define LPA_CALL __stdcall
#else
#define LPA_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Selects the installed printer of that name (compared without regard to
 * case); later jobs go to it, at its resolution. */
int32_t LPA_CALL LPAOpenPrinter(const char* printerName);
int32_t LPA_CALL LPAClosePrinter(void);

/* Opens a job of one page, `width` x `height`, whose content is turned
 * clockwise by `orientation` degrees (0, 90, 180, 270) when printed: at 90
 * and 270 the printed picture is `height` wide. `unitCode` must be 0
 * (hundredths of a millimetre); `copies` is how many times the commit sends
 * the page (1..999). */
int32_t LPA_CALL LPAStartJob(int32_t width, int32_t height, int32_t unitCode, int32_t orientation, int32_t copies,
                             const char* jobName);
int32_t LPA_CALL LPAStartPage(void);

/* The text in the named font, `fontHeight` the em height, wrapped at the
 * box's width and clipped to the box. `style`: 1 bold, 2 italic. */
int32_t LPA_CALL LPADrawText(const char* text, int32_t x, int32_t y, int32_t width, int32_t height,
                             const char* fontName, int32_t fontHeight, int32_t style);
/* `type` 28: Code 128 from the box's left edge, with modules of whole dots
 * as wide as fit `width` (at least one dot, even when that is wider than
 * the box) and a human-readable line `textHeight` high below the bars
 * (0: none). */
int32_t LPA_CALL LPADraw1DBarcode(const char* data, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height,
                                  int32_t textHeight);
/* A QR code as large as fits the box in whole dots a module (at least one),
 * centred in it; text beyond ASCII is marked as UTF-8. */
int32_t LPA_CALL LPADraw2DQRCode(const char* data, int32_t x, int32_t y, int32_t width, int32_t height);
/* A straight line with square-cut ends; 0 wide is one dot. */
int32_t LPA_CALL LPADrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t lineWidth);
/* The image (BMP, PNG, JPEG, GIF) stretched into the box, black where its
 * grey level is below `threshold` (1..256). A box of width or height 0 takes
 * the image's own size in dots for that side (keeping its proportions when
 * the other side is given). */
int32_t LPA_CALL LPADrawImage(const char* imageFile, int32_t x, int32_t y, int32_t width, int32_t height,
                              int32_t threshold);
/* The same for a Morvel picture given by its handle, read during the call;
 * `reserved` is 0. */
int32_t LPA_CALL LPADrawBitmap(uint32_t bitmap, int32_t reserved, int32_t x, int32_t y, int32_t width, int32_t height,
                               int32_t threshold);
int32_t LPA_CALL LPAEndPage(void);
/* Renders the page as a one-bit PNG at the printer's resolution and sends it
 * as one document: an image/png job to a cups: queue, a new NNNNNN.png file
 * to a file: printer, the PNG bytes to a socket:// printer. */
int32_t LPA_CALL LPACommitJob(void);

#ifdef __cplusplus
}
#endif

#endif

/* liborxlib.so and orxlib.dll: Orx command language for one printer per
 * process. Strings are NUL-terminated 8-bit text in the system ANSI code page (windowsfontU
 * takes its text as NUL-terminated UTF-16); every result is a 32-bit
 * integer, 1 for done and 0 for refused unless a function says otherwise.
 * Problems are shown through the message sink (stderr unless the host
 * installed its own). Call from one thread at a time. */
#ifndef ORXLIB_ORXLIB_H
#define ORXLIB_ORXLIB_H

#include <stdint.h>

/* orxlib.dll uses the Windows standard calling convention (the callee
 * removes the arguments), exported under the plain names. */
#ifdef _WIN32
#define ORXLIB_CALL __stdcall
#else
#define ORXLIB_CALL
#endif

#ifdef __cplusplus
extern "C" {
typedef char16_t orx_char16;
#else
typedef uint16_t orx_char16;
#endif

/* The connection: a printer of the printer list (one spool document
 * "Printing..." until closeport), else LPT1..LPT4 or USB. */
int32_t ORXLIB_CALL openport(const char* printerName);
int32_t ORXLIB_CALL closeport(void);
/* The command and CR LF. */
int32_t ORXLIB_CALL sendcommand(const char* command);
/* Without a connection, to the last USB printer of vendor 1203: 0 sent,
 * -1 no such printer, -2 it cannot be opened or written, -4 text longer
 * than 4,092 characters (nothing sent). */
int32_t ORXLIB_CALL usbportwrite(const char* text);
/* The printer's status byte (sign-extended); -1 no printer, -2 cannot open,
 * -3 no answer within 1,000 ms. */
int32_t ORXLIB_CALL usbportqueryprinter(void);
int32_t ORXLIB_CALL about(void);

int32_t ORXLIB_CALL setup(const char* width, const char* height, const char* speed, const char* density,
                          const char* sensor, const char* vertical, const char* offset);
int32_t ORXLIB_CALL barcode(const char* x, const char* y, const char* type, const char* height, const char* readable,
                            const char* rotation, const char* narrow, const char* wide, const char* content);
int32_t ORXLIB_CALL printerfont(const char* x, const char* y, const char* font, const char* rotation, const char* xmul,
                                const char* ymul, const char* content);
int32_t ORXLIB_CALL clearbuffer(void);
int32_t ORXLIB_CALL printlabel(const char* sets, const char* copies);
int32_t ORXLIB_CALL formfeed(void);
int32_t ORXLIB_CALL nobackfeed(void);

/* Text in a system font as a BITMAP: x, y in dots; height as GDI reads it;
 * rotation in degrees counter-clockwise; style 0 normal, 1 italic, 2 bold,
 * 3 bold italic. */
int32_t ORXLIB_CALL windowsfont(int32_t x, int32_t y, int32_t fontHeight, int32_t rotation, int32_t style,
                                int32_t underline, const char* faceName, const char* text);
int32_t ORXLIB_CALL windowsfontU(int32_t x, int32_t y, int32_t fontHeight, int32_t rotation, int32_t style,
                                 int32_t underline, const char* faceName, const orx_char16* text);
/* The whole file stored in the printer under `printerName`. */
int32_t ORXLIB_CALL downloadpcx(const char* fileName, const char* printerName);

#ifdef __cplusplus
}
#endif

#endif

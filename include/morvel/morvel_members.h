/* Typed calls of every member, one static inline function each over
 * morvel_invoke: arguments by value, the result (if any) through the last
 * pointer, which may be NULL. Texts, bytes and lists handed out are freed
 * with morvel_free. Generated from the automation table by
 * morvel_bindings_gen; a test fails when this file and the table differ. */
#ifndef MORVEL_MORVEL_MEMBERS_H
#define MORVEL_MORVEL_MEMBERS_H

#include "morvel/morvel_c.h"

#ifdef __cplusplus
extern "C" {
#endif

/* PrintBarCode: The label control: choose a printer, compose labels in screen pixels, points and mm, print them. */

/* GetVer() As String: The control's version, as major.minor.patch. */
static inline int morvel_pb_getver(morvel_object *object, char **result) {
  morvel_value r;
  int rc = morvel_invoke(object, "GetVer", NULL, 0, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (char *)r.u.string.data;
  return rc;
}

/* GetDot(ByRef pixels As Single) As Integer: Screen pixels in dots of the printer chosen by SetPrint (0 before). */
static inline int morvel_pb_getdot(morvel_object *object, float pixels, int16_t *result) {
  morvel_value args[1];
  args[0] = morvel_double(pixels);
  morvel_value r;
  int rc = morvel_invoke(object, "GetDot", args, 1, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (int16_t)r.u.integer;
  return rc;
}

/* textHeight(ByRef strbuf As String, ByRef fontName As String, ByRef FontSize As Single, ByRef FontBold As Boolean) As Single: Height of the text in screen pixels in a font of FontSize points. */
static inline int morvel_pb_textheight(morvel_object *object, const char *strbuf, const char *fontName, float FontSize, int FontBold, float *result) {
  morvel_value args[4];
  args[0] = morvel_string(strbuf);
  args[1] = morvel_string(fontName);
  args[2] = morvel_double(FontSize);
  args[3] = morvel_boolean(FontBold);
  morvel_value r;
  int rc = morvel_invoke(object, "textHeight", args, 4, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (float)r.u.number;
  return rc;
}

/* TextWidth(ByRef strbuf As String, ByRef fontName As String, ByRef FontSize As Single, ByRef FontBold As Boolean) As Single: Width of the text's widest line in screen pixels in a font of FontSize points. */
static inline int morvel_pb_textwidth(morvel_object *object, const char *strbuf, const char *fontName, float FontSize, int FontBold, float *result) {
  morvel_value args[4];
  args[0] = morvel_string(strbuf);
  args[1] = morvel_string(fontName);
  args[2] = morvel_double(FontSize);
  args[3] = morvel_boolean(FontBold);
  morvel_value r;
  int rc = morvel_invoke(object, "TextWidth", args, 4, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (float)r.u.number;
  return rc;
}

/* GetPrintList() As String: The installed printers a brand keyword recognises, joined by "|". */
static inline int morvel_pb_getprintlist(morvel_object *object, char **result) {
  morvel_value r;
  int rc = morvel_invoke(object, "GetPrintList", NULL, 0, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (char *)r.u.string.data;
  return rc;
}

/* SetPrint(ByRef printerName As String) As Integer: Chooses the printer and its brand's driver: 0 when chosen, 1 when no brand matches the name. */
static inline int morvel_pb_setprint(morvel_object *object, const char *printerName, int16_t *result) {
  morvel_value args[1];
  args[0] = morvel_string(printerName);
  morvel_value r;
  int rc = morvel_invoke(object, "SetPrint", args, 1, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (int16_t)r.u.integer;
  return rc;
}

/* OpenPort(ByRef printerName As String): Opens the printer for this job (the spooler brands start a document). */
static inline int morvel_pb_openport(morvel_object *object, const char *printerName) {
  morvel_value args[1];
  args[0] = morvel_string(printerName);
  return morvel_invoke(object, "OpenPort", args, 1, NULL);
}

/* ClosePort(): Ends the document and closes the printer. */
static inline int morvel_pb_closeport(morvel_object *object) {
  return morvel_invoke(object, "ClosePort", NULL, 0, NULL);
}

/* PrintLabel(ByRef copies As String): Prints the label composed since InitPrint copies times and starts a new one. */
static inline int morvel_pb_printlabel(morvel_object *object, const char *copies) {
  morvel_value args[1];
  args[0] = morvel_string(copies);
  return morvel_invoke(object, "PrintLabel", args, 1, NULL);
}

/* SendCmd(ByRef cmd As String): Raw printer language: Zebra and SATO add it to the label, Orx sends it at once, Dothan ignores it. */
static inline int morvel_pb_sendcmd(morvel_object *object, const char *cmd) {
  morvel_value args[1];
  args[0] = morvel_string(cmd);
  return morvel_invoke(object, "SendCmd", args, 1, NULL);
}

/* InitPrint(ByRef wide As String, ByRef height As String, ByRef speed As String, ByRef nd As String, ByRef cz As String, ByRef sp As String, ByRef direction As String): Starts a label: width and height in mm, speed, darkness, home offsets down and across in mm, orientation (0 normal). */
static inline int morvel_pb_initprint(morvel_object *object, const char *wide, const char *height, const char *speed, const char *nd, const char *cz, const char *sp, const char *direction) {
  morvel_value args[7];
  args[0] = morvel_string(wide);
  args[1] = morvel_string(height);
  args[2] = morvel_string(speed);
  args[3] = morvel_string(nd);
  args[4] = morvel_string(cz);
  args[5] = morvel_string(sp);
  args[6] = morvel_string(direction);
  return morvel_invoke(object, "InitPrint", args, 7, NULL);
}

/* PrintFont(ByRef x As Single, ByRef y As Single, ByRef txt As String, ByRef height As Single, ByRef fontName As String): Text at x, y (screen pixels), height in points; fontName is a printer font (FontType 1) or a system font (0). */
static inline int morvel_pb_printfont(morvel_object *object, float x, float y, const char *txt, float height, const char *fontName) {
  morvel_value args[5];
  args[0] = morvel_double(x);
  args[1] = morvel_double(y);
  args[2] = morvel_string(txt);
  args[3] = morvel_double(height);
  args[4] = morvel_string(fontName);
  return morvel_invoke(object, "PrintFont", args, 5, NULL);
}

/* PrintBar(ByRef x As Single, ByRef y As Single, ByRef width As Single, ByRef height As Single): A box (Zebra), line (SATO), bar (Orx) or line to x+width, y+height (Dothan); screen pixels. */
static inline int morvel_pb_printbar(morvel_object *object, float x, float y, float width, float height) {
  morvel_value args[4];
  args[0] = morvel_double(x);
  args[1] = morvel_double(y);
  args[2] = morvel_double(width);
  args[3] = morvel_double(height);
  return morvel_invoke(object, "PrintBar", args, 4, NULL);
}

/* PrintCode(ByRef x As Single, ByRef y As Single, ByRef code As String, ByRef codeType As String, ByRef Readable As String, ByRef height As Single, ByRef zBar As String, ByRef kBar As String): Barcode at x, y: codeType "128" (Code 128) or "QRCODE"; Readable "1" adds the text line; zBar, kBar narrow and wide bar. */
static inline int morvel_pb_printcode(morvel_object *object, float x, float y, const char *code, const char *codeType, const char *Readable, float height, const char *zBar, const char *kBar) {
  morvel_value args[8];
  args[0] = morvel_double(x);
  args[1] = morvel_double(y);
  args[2] = morvel_string(code);
  args[3] = morvel_string(codeType);
  args[4] = morvel_string(Readable);
  args[5] = morvel_double(height);
  args[6] = morvel_string(zBar);
  args[7] = morvel_string(kBar);
  return morvel_invoke(object, "PrintCode", args, 8, NULL);
}

/* CommandPrint As String: The printer language collected so far (Zebra: this label; SATO: everything; others empty). */
static inline int morvel_pb_commandprint(morvel_object *object, char **result) {
  morvel_value r;
  int rc = morvel_invoke(object, "CommandPrint", NULL, 0, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (char *)r.u.string.data;
  return rc;
}

/* FontType As Integer: 1 when fontName names a printer font (Zebra, SATO), 0 for a system font (Orx, Dothan). */
static inline int morvel_pb_fonttype(morvel_object *object, int16_t *result) {
  morvel_value r;
  int rc = morvel_invoke(object, "FontType", NULL, 0, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (int16_t)r.u.integer;
  return rc;
}

/* RFIDType As Integer: 1 on an RFID model, 0 otherwise, -1 before SetPrint. */
static inline int morvel_pb_rfidtype(morvel_object *object, int16_t *result) {
  morvel_value r;
  int rc = morvel_invoke(object, "RFIDType", NULL, 0, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (int16_t)r.u.integer;
  return rc;
}

/* InitRFID(ByRef labelType As String, ByRef backfeed As String, ByRef readPower As String, ByRef writePower As String, ByRef wire As String, ByRef tryNum As String): Sets up RFID encoding for the next labels (Zebra only; others accept and ignore it). */
static inline int morvel_pb_initrfid(morvel_object *object, const char *labelType, const char *backfeed, const char *readPower, const char *writePower, const char *wire, const char *tryNum) {
  morvel_value args[6];
  args[0] = morvel_string(labelType);
  args[1] = morvel_string(backfeed);
  args[2] = morvel_string(readPower);
  args[3] = morvel_string(writePower);
  args[4] = morvel_string(wire);
  args[5] = morvel_string(tryNum);
  return morvel_invoke(object, "InitRFID", args, 6, NULL);
}

/* OpRFID(ByRef operate As String, ByRef data As String, ByRef dataType As String, ByRef dataLen As String, ByRef startAddress As String, ByRef section As String): Reads or writes tag memory as part of the label (Zebra, SATO). */
static inline int morvel_pb_oprfid(morvel_object *object, const char *operate, const char *data, const char *dataType, const char *dataLen, const char *startAddress, const char *section) {
  morvel_value args[6];
  args[0] = morvel_string(operate);
  args[1] = morvel_string(data);
  args[2] = morvel_string(dataType);
  args[3] = morvel_string(dataLen);
  args[4] = morvel_string(startAddress);
  args[5] = morvel_string(section);
  return morvel_invoke(object, "OpRFID", args, 6, NULL);
}

/* PrintList(ByRef vNewValue As String): Adds brands to the catalogue: "key:keyword,keyword|...", as "zdesigner:zdesigner ". */
static inline int morvel_pb_printlist(morvel_object *object, const char *vNewValue) {
  morvel_value args[1];
  args[0] = morvel_string(vNewValue);
  return morvel_invoke(object, "PrintList", args, 1, NULL);
}

/* DrawImageFromFile(ByVal imageFile As String, ByVal x As Single, ByVal y As Single, ByVal width As Single, ByVal height As Single): Image file (BMP, PNG, JPEG, GIF) at x, y; SATO, Orx, Dothan (Zebra places nothing). */
static inline int morvel_pb_drawimagefromfile(morvel_object *object, const char *imageFile, float x, float y, float width, float height) {
  morvel_value args[5];
  args[0] = morvel_string(imageFile);
  args[1] = morvel_double(x);
  args[2] = morvel_double(y);
  args[3] = morvel_double(width);
  args[4] = morvel_double(height);
  return morvel_invoke(object, "DrawImageFromFile", args, 5, NULL);
}

/* DrawImageFromBase64(ByVal imageBase64 As String, ByVal x As Single, ByVal y As Single, ByVal width As Single, ByVal height As Single): As DrawImageFromFile, the file's bytes given as Base64 text. */
static inline int morvel_pb_drawimagefrombase64(morvel_object *object, const char *imageBase64, float x, float y, float width, float height) {
  morvel_value args[5];
  args[0] = morvel_string(imageBase64);
  args[1] = morvel_double(x);
  args[2] = morvel_double(y);
  args[3] = morvel_double(width);
  args[4] = morvel_double(height);
  return morvel_invoke(object, "DrawImageFromBase64", args, 5, NULL);
}

/* DrawImageFromPicture(ByVal pic As Picture, ByVal x As Single, ByVal y As Single, ByVal width As Single, ByVal height As Single): As DrawImageFromFile, the image given as a picture (@PATH in a script). */
static inline int morvel_pb_drawimagefrompicture(morvel_object *object, morvel_picture *pic, float x, float y, float width, float height) {
  morvel_value args[5];
  args[0] = morvel_picture_value(pic);
  args[1] = morvel_double(x);
  args[2] = morvel_double(y);
  args[3] = morvel_double(width);
  args[4] = morvel_double(height);
  return morvel_invoke(object, "DrawImageFromPicture", args, 5, NULL);
}

/* TagResults() As String: The printer's word on the RFID tag of each label printed since the last call, a line each joined by CR LF: "label N written EPC", or void or unknown, a tab and why. */
static inline int morvel_pb_tagresults(morvel_object *object, char **result) {
  morvel_value r;
  int rc = morvel_invoke(object, "TagResults", NULL, 0, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (char *)r.u.string.data;
  return rc;
}

/* EpcEncode(ByVal Input As String, ByVal Scheme As String, ByVal Filter As Integer, ByVal PrefixLength As Integer) As String: An RFID tag's EPC in hexadecimal: Input a tag URI when Scheme is empty, else an element string or pure-identity URI in Scheme (SGTIN-96...) with Filter and company PrefixLength. */
static inline int morvel_pb_epcencode(morvel_object *object, const char *Input, const char *Scheme, int16_t Filter, int16_t PrefixLength, char **result) {
  morvel_value args[4];
  args[0] = morvel_string(Input);
  args[1] = morvel_string(Scheme);
  args[2] = morvel_integer(Filter);
  args[3] = morvel_integer(PrefixLength);
  morvel_value r;
  int rc = morvel_invoke(object, "EpcEncode", args, 4, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (char *)r.u.string.data;
  return rc;
}

/* EpcDecode(ByVal Hex As String) As String: The tag URI, pure-identity URI and GS1 element string of a hexadecimal EPC, joined by CR LF. */
static inline int morvel_pb_epcdecode(morvel_object *object, const char *Hex, char **result) {
  morvel_value args[1];
  args[0] = morvel_string(Hex);
  morvel_value r;
  int rc = morvel_invoke(object, "EpcDecode", args, 1, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (char *)r.u.string.data;
  return rc;
}

/* PrintInfo: A brand of the printer catalogue (made by the control; PrintList adds brands). */

/* PrintPP As String: The brand key (orx, zdesigner, dothan, sato). */
static inline int morvel_printinfo_printpp(morvel_object *object, char **result) {
  morvel_value r;
  int rc = morvel_invoke(object, "PrintPP", NULL, 0, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (char *)r.u.string.data;
  return rc;
}

/* PrintPP = ByVal value As String: Sets the brand key. */
static inline int morvel_printinfo_set_printpp(morvel_object *object, const char *value) {
  morvel_value args[1];
  args[0] = morvel_string(value);
  return morvel_invoke(object, "PrintPP", args, 1, NULL);
}

/* PrintXH As String(): The printer-name keywords of the brand, each ending in a blank. */
static inline int morvel_printinfo_printxh(morvel_object *object, char ***result, size_t *result_count) {
  morvel_value r;
  int rc = morvel_invoke(object, "PrintXH", NULL, 0, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (char **)r.u.strings.items;
  *result_count = r.u.strings.count;
  return rc;
}

/* PrintXH = ByVal value As String(): Sets the name keywords. */
static inline int morvel_printinfo_set_printxh(morvel_object *object, const char *const *value, size_t value_count) {
  morvel_value args[1];
  args[0] = morvel_strings(value, value_count);
  return morvel_invoke(object, "PrintXH", args, 1, NULL);
}

/* clsBase64: Base64 text and whole-file load and save (C++ hosts; used by the drivers). */

/* LoadFile(ByVal strPathName As String, ByRef pbArrayOutput As Byte()): Reads the whole file into the byte array. */
static inline int morvel_b64_loadfile(morvel_object *object, const char *strPathName, const void *pbArrayOutput, size_t pbArrayOutput_size) {
  morvel_value args[2];
  args[0] = morvel_string(strPathName);
  args[1] = morvel_bytes(pbArrayOutput, pbArrayOutput_size);
  return morvel_invoke(object, "LoadFile", args, 2, NULL);
}

/* SaveFile(ByVal strPathName As String, ByRef pbArrayInput As Byte()): Writes the byte array as the whole file. */
static inline int morvel_b64_savefile(morvel_object *object, const char *strPathName, const void *pbArrayInput, size_t pbArrayInput_size) {
  morvel_value args[2];
  args[0] = morvel_string(strPathName);
  args[1] = morvel_bytes(pbArrayInput, pbArrayInput_size);
  return morvel_invoke(object, "SaveFile", args, 2, NULL);
}

/* SaveFile2(ByVal strPathName As String, ByRef pbArrayInput As String): Writes the text's bytes as the file. */
static inline int morvel_b64_savefile2(morvel_object *object, const char *strPathName, const char *pbArrayInput) {
  morvel_value args[2];
  args[0] = morvel_string(strPathName);
  args[1] = morvel_string(pbArrayInput);
  return morvel_invoke(object, "SaveFile2", args, 2, NULL);
}

/* Base64Encode(ByRef StrArr As Byte()) As String: Base64 text of the bytes; raises EncodeJD with the progress. */
static inline int morvel_b64_base64encode(morvel_object *object, const void *StrArr, size_t StrArr_size, char **result) {
  morvel_value args[1];
  args[0] = morvel_bytes(StrArr, StrArr_size);
  morvel_value r;
  int rc = morvel_invoke(object, "Base64Encode", args, 1, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (char *)r.u.string.data;
  return rc;
}

/* Base64Decode(ByVal B64 As String) As Byte(): The bytes of Base64 text. */
static inline int morvel_b64_base64decode(morvel_object *object, const char *B64, uint8_t **result, size_t *result_size) {
  morvel_value args[1];
  args[0] = morvel_string(B64);
  morvel_value r;
  int rc = morvel_invoke(object, "Base64Decode", args, 1, &r);
  if (rc != MORVEL_OK) return rc;
  if (result == NULL) {
    morvel_value_clear(&r);
    return rc;
  }
  *result = (uint8_t *)r.u.bytes.data;
  *result_size = r.u.bytes.size;
  return rc;
}

#ifdef __cplusplus
}
#endif

#endif
